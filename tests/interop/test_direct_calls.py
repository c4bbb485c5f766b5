"""Two user agents without any proxy call each other by address, as an intercom does."""
import shutil
import unittest

from audio_check import assert_tone
from orvua_driver import LOOPBACK, Orvua, RawPeer, free_udp_port
from test_audio import ORVUA_TONE, PEER_TONE, AudioFiles
from test_core import options


class DirectCallTest(unittest.TestCase):
    def start(self, login, frequency):
        files = AudioFiles(self, login, frequency)
        ua = Orvua(env=files.environment)
        self.addCleanup(ua.quit)
        port = free_udp_port()
        self.assertTrue(ua.initialize(port, proxy="", login=login, sound=True))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        return ua, port, files

    def call(self, caller, callee, callee_port, callee_login):
        self.assertTrue(caller.call("Connect", 0, f"sip:{callee_login}@{LOOPBACK}:{callee_port}", -1, -1))
        call_id, _, user, from_uri, _ = callee.wait_event("OnIncomingCall")
        self.assertIn(f"@{LOOPBACK}", from_uri, "the caller's identity is its own address")
        caller.wait_event("OnProvisionalResponse", where=lambda a: a[1] == 180)
        self.assertTrue(callee.call("AcceptCall", 0, call_id, -1, -1))
        caller.wait_event("OnSuccessToConnect")
        callee.wait_event("OnSuccessToConnect")
        return user

    def test_call_by_address_both_ways_with_voice(self):
        alice, alice_port, alice_files = self.start("1001", ORVUA_TONE)
        bob, bob_port, bob_files = self.start("1002", PEER_TONE)
        probe = RawPeer()
        self.addCleanup(probe.close)
        for port in (alice_port, bob_port):
            probe.send(options(probe.port), port)
            self.assertTrue((probe.receive() or "").startswith("SIP/2.0 200 OK"))
        self.assertFalse(alice.call("RegisterToProxy", 3600), "no proxy, nothing to register with")
        self.assertEqual(alice.call("GetOrvObjectError"), 26)

        self.assertEqual(self.call(alice, bob, bob_port, "1002"), "1001")
        alice.drain(3)
        self.assertTrue(alice.call("Disconnect", 0))
        self.assertEqual(bob.wait_event("OnDisconnectCall"), [0])
        bob.drain(0.3)
        # Each call's speaker stream starts its file afresh: keep what the first call heard.
        for files in (alice_files, bob_files):
            shutil.copy(files.speaker, files.speaker + ".first.wav")

        self.assertEqual(self.call(bob, alice, alice_port, "1001"), "1002")
        self.assertTrue(alice.call("Disconnect", 0))
        self.assertEqual(bob.wait_event("OnDisconnectCall"), [0])
        self.assertFalse(bob.call("IsLineBusy", 0))
        self.assertEqual(alice.quit(), 0)
        self.assertEqual(bob.quit(), 0)
        assert_tone(self, bob_files.speaker + ".first.wav", ORVUA_TONE)
        assert_tone(self, alice_files.speaker + ".first.wav", PEER_TONE)


if __name__ == "__main__":
    unittest.main()
