"""orvua's sound-device methods on the virtual sound device."""
import os
import tempfile
import unittest

from audio_check import goertzel_power, read_wav, rms
from orvua_driver import LOOPBACK, Orvua, Sipp, free_udp_port

VIRTUAL = {"ORVSIP_AUDIO": "virtual"}


class SoundMethodsTest(unittest.TestCase):
    def setUp(self):
        self.ua = Orvua(env=VIRTUAL)
        self.addCleanup(self.ua.quit)

    def test_devices_are_listed_before_initialize(self):
        self.assertEqual(self.ua.call("GetAudioInDevTotal"), 1)
        self.assertEqual(self.ua.call("GetAudioOutDevTotal"), 1)
        self.assertEqual(self.ua.call("GetAudioInDevName", 0), "Virtual Microphone")
        self.assertEqual(self.ua.call("GetAudioOutDevName", -1), "Virtual Speaker")
        self.assertEqual(self.ua.call("GetAudioOutDevName", 5), "")
        self.assertEqual(self.ua.call("GetMicSoundLevel"), 0)
        for method in ("EnableMicBoost", "DisableAGC", "EnableEchoNoiseCancellation"):
            self.assertFalse(self.ua.call(method), method)
            self.assertEqual(self.ua.call("GetOrvObjectError"), 10)
        self.assertEqual(self.ua.call("GetMicVolume"), -1)
        self.assertFalse(self.ua.call("MuteSpk", True))

    def test_without_a_sound_device(self):
        self.assertTrue(self.ua.initialize(free_udp_port(), sound=False))
        self.assertTrue(self.ua.call("MuteMic", True), "muting without a device does nothing and succeeds")
        self.assertFalse(self.ua.call("EnableAGC", 9000))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 16)
        self.assertEqual(self.ua.call("GetSpkVolume"), -1)
        self.assertEqual(self.ua.call("GetOrvObjectError"), 17)
        self.assertEqual(self.ua.call("GetSpkSoundLevel"), 0)

    def test_volumes_while_a_call_holds_the_devices(self):
        sipp = Sipp("callee_answers_caller_hangs_up.xml")
        self.addCleanup(sipp.stop)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{sipp.local_port}", sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("EnableAGC", 9000))
        self.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.assertEqual(self.ua.call("GetMicVolume"), -1, "no capture stream before a call")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 16)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{sipp.local_port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect")
        self.assertTrue(self.ua.call("SetMicVolume", 300))
        self.assertEqual(self.ua.call("GetMicVolume"), 44, "the volume is taken modulo 256")
        self.assertTrue(self.ua.call("SetSpkVolume", 300))
        self.assertEqual(self.ua.call("GetSpkVolume"), 255, "the volume is limited to 255")
        self.assertTrue(self.ua.call("EnableMicBoost"))
        self.assertTrue(self.ua.call("IsMicBoostEnable"))
        self.assertTrue(self.ua.call("DisableMicBoost"))
        self.assertFalse(self.ua.call("IsMicBoostEnable"))
        self.assertTrue(self.ua.call("MuteMic", True))
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        self.assertEqual(self.ua.call("GetMicVolume"), -1, "the devices close with the call")
        self.assertEqual(self.ua.quit(), 0)


if __name__ == "__main__":
    unittest.main()


class LocalToneTest(unittest.TestCase):
    def test_key_tone_plays_at_the_dtmf_volume_and_stops(self):
        speaker = os.path.join(tempfile.mkdtemp(prefix="orvua-tone-"), "speaker.wav")
        ua = Orvua(env=dict(VIRTUAL, ORVSIP_VIRTUAL_SPEAKER=speaker))
        self.addCleanup(ua.quit)
        self.assertEqual(ua.call("GetDTMFVolume"), -1, "no volume before Initialize")
        self.assertTrue(ua.initialize(free_udp_port(), sound=True))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertEqual(ua.call("GetDTMFVolume"), 25)
        self.assertTrue(ua.call("DigitDTMF", 0, "5"), "a line without a call only plays the key tone")
        ua.drain(3)
        samples, rate = read_wav(speaker)
        loud = [s for s in samples if abs(s) > 1000]
        self.assertGreater(len(loud), 300)
        powers = {f: goertzel_power(samples, f, rate) for f in (697, 770, 852, 941, 1209, 1336, 1477)}
        self.assertEqual(set(sorted(powers, key=powers.get)[-2:]), {770, 1336})
        self.assertLess(len(samples), rate * 3, "the stream stops after a quiet second")
        self.assertTrue(ua.call("SetDTMFVolume", 40))
        self.assertEqual(ua.call("GetDTMFVolume"), 25)
        self.assertTrue(ua.call("SetDTMFVolume", 0))
        self.assertTrue(ua.call("DigitDTMF", 0, "5"))
        ua.drain(3)
        samples, _ = read_wav(speaker)
        self.assertEqual(rms(samples), 0, "volume 0 is silence")
