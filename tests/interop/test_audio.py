"""Voice end to end: tones through orvua's virtual microphone and speaker files."""
import os
import tempfile
import time
import unittest

from audio_check import assert_tone, tone
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, free_udp_port, write_wav

ORVUA_TONE = 1000
PEER_TONE = 600
TALK_SECONDS = 4


class AudioFiles:
    def __init__(self, test, name, frequency):
        directory = tempfile.mkdtemp(prefix="orvua-audio-")
        self.microphone = os.path.join(directory, f"{name}-mic.wav")
        self.speaker = os.path.join(directory, f"{name}-speaker.wav")
        write_wav(self.microphone, tone(frequency, 2))
        self.environment = {"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": self.microphone,
                            "ORVSIP_VIRTUAL_SPEAKER": self.speaker}


def start_orvua(test, files, codec, proxy_port, login):
    ua = Orvua(env=files.environment)
    test.addCleanup(ua.quit)
    sip_port = free_udp_port()
    test.assertTrue(ua.initialize(sip_port, proxy=f"{LOOPBACK}:{proxy_port}", login=login, sound=True))
    test.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
    # The noise suppressor rightly learns a steady tone as noise and fades it; the
    # tones here measure the codec and transport path.
    test.assertTrue(ua.call("DisableEchoNoiseCancellation"))
    ua.call("DeselectAllVoiceCodec")
    test.assertTrue(ua.call("SelectVoiceCodec", codec))
    return ua, sip_port


class BaresipAudioTest(unittest.TestCase):
    def check_codec(self, codec):
        kamailio = Kamailio({"1001": "secret", "2002": "secret2"})
        self.addCleanup(kamailio.stop)
        peer_file = os.path.join(tempfile.mkdtemp(prefix="baresip-tone-"), "tone.wav")
        write_wav(peer_file, tone(PEER_TONE, 120))
        baresip = Baresip(f"<sip:2002@127.0.0.1:{kamailio.port}>;auth_pass=secret2;answermode=auto",
                          audio_file=peer_file)
        self.addCleanup(baresip.stop)
        files = AudioFiles(self, "orvua", ORVUA_TONE)
        ua, _ = start_orvua(self, files, codec, kamailio.port, "1001")
        self.assertTrue(ua.call("RegisterToProxy", 3600))
        ua.wait_event("OnSuccessToRegister")
        deadline = time.monotonic() + 10
        while not kamailio.is_registered("2002"):
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.2)
        self.assertTrue(ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{kamailio.port}", -1, -1))
        ua.wait_event("OnSuccessToConnect", timeout=15)
        baresip.wait_event("CALL_ESTABLISHED")
        self.assertEqual(ua.call("GetOutboundCodec", 0), codec)
        ua.drain(TALK_SECONDS)
        self.assertEqual(ua.call("GetInboundCodec", 0), codec)
        self.assertTrue(ua.call("Disconnect", 0))
        baresip.wait_event("CALL_CLOSED")
        self.assertEqual(ua.quit(), 0)
        baresip.stop()
        received = [name for name in os.listdir(baresip.record_dir) if name.endswith("-dec.wav")]
        self.assertEqual(len(received), 1, os.listdir(baresip.record_dir))
        assert_tone(self, os.path.join(baresip.record_dir, received[0]), ORVUA_TONE)
        assert_tone(self, files.speaker, PEER_TONE)

    def test_pcmu(self):
        self.check_codec(3)

    def test_pcma(self):
        self.check_codec(2)

    def test_gsm(self):
        self.check_codec(0)


class OrvuaToOrvuaAudioTest(unittest.TestCase):
    def check_codec(self, codec):
        caller_files = AudioFiles(self, "caller", ORVUA_TONE)
        callee_files = AudioFiles(self, "callee", PEER_TONE)
        callee, callee_port = start_orvua(self, callee_files, codec, free_udp_port(), "1002")
        caller, _ = start_orvua(self, caller_files, codec, callee_port, "1001")
        self.assertTrue(caller.call("Connect", 0, f"sip:1002@{LOOPBACK}:{callee_port}", -1, -1))
        call_id = callee.wait_event("OnIncomingCall")[0]
        self.assertTrue(callee.call("AcceptCall", 0, call_id, -1, -1))
        caller.wait_event("OnSuccessToConnect")
        callee.wait_event("OnSuccessToConnect")
        caller.drain(TALK_SECONDS)
        self.assertEqual(caller.call("GetInboundCodec", 0), codec)
        self.assertEqual(callee.call("GetInboundCodec", 0), codec)
        self.assertTrue(caller.call("Disconnect", 0))
        callee.wait_event("OnDisconnectCall")
        self.assertEqual(caller.quit(), 0)
        self.assertEqual(callee.quit(), 0)
        assert_tone(self, callee_files.speaker, ORVUA_TONE)
        assert_tone(self, caller_files.speaker, PEER_TONE)

    def test_g729(self):
        self.check_codec(4)

    def test_ilbc(self):
        probe = Orvua()
        self.addCleanup(probe.quit)
        if not probe.call("SelectVoiceCodec", 1):
            self.skipTest("this build has no iLBC library")
        self.check_codec(1)


if __name__ == "__main__":
    unittest.main()
