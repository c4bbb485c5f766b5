"""orvua's sound-device methods on the virtual sound device."""
import unittest

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
