"""linphone, a strict third-party softphone, peer to peer with orvua (no proxy to mend
what either side sends): calls both ways with voice, hang-up and cancel."""
import os
import tempfile
import unittest

from audio_check import assert_tone, tone
from linphone_peer import Linphone, unavailable
from orvua_driver import LOOPBACK, Orvua, free_udp_port, write_wav
from sip_text import header
from test_audio import ORVUA_TONE, PEER_TONE, AudioFiles

METHODS = ("INVITE", "ACK", "BYE", "CANCEL", "REFER", "INFO", "NOTIFY", "OPTIONS", "REGISTER")


class LinphoneDirectTest(unittest.TestCase):
    def setUp(self):
        reason = unavailable()
        if reason:
            self.skipTest(reason)
        peer_file = os.path.join(tempfile.mkdtemp(prefix="linphone-tone-"), "tone.wav")
        write_wav(peer_file, tone(PEER_TONE, 30))
        self.peer_file = peer_file
        self.files = AudioFiles(self, "direct", ORVUA_TONE)
        self.ua = Orvua(env=self.files.environment)
        self.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        self.assertTrue(self.ua.initialize(self.sip_port, proxy="", sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.ua.call("DeselectAllVoiceCodec")
        self.assertTrue(self.ua.call("SelectVoiceCodec", 3))

    def linphone(self, autoanswer):
        peer = Linphone(self.peer_file, autoanswer=autoanswer)
        self.addCleanup(peer.stop)
        return peer

    def assert_every_request_has_max_forwards(self):
        requests = [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].split(" ", 1)[0] in METHODS]
        self.assertTrue(requests)
        for request in requests:
            self.assertEqual(header(request, "Max-Forwards"), "70", request.split("\r\n")[0])

    def test_orvua_calls_and_hangs_up_with_voice_both_ways(self):
        peer = self.linphone(autoanswer=True)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:linphone@{LOOPBACK}:{peer.sip_port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        peer.wait_output(r"Media streams established")
        self.ua.drain(3)
        self.assertTrue(self.ua.call("Disconnect", 0))
        peer.wait_output(r"Call \d+ with .* ended")
        self.ua.drain(1.5)
        self.assertTrue(peer.has_no_call())
        sent = [a[0].split("\r\n")[0] for a in self.ua.pending("OnOutgoingDiagnostic")]
        self.assertEqual(len([line for line in sent if line.startswith("BYE ")]), 1, "the BYE is answered at once")
        self.assertEqual(len([line for line in sent if line.startswith("ACK ")]), 1, "linphone's 200 is taken")
        self.assert_every_request_has_max_forwards()
        self.assertEqual(self.ua.quit(), 0)
        peer.stop()
        assert_tone(self, peer.recording, ORVUA_TONE)
        assert_tone(self, self.files.speaker, PEER_TONE)

    def test_linphone_calls_and_hangs_up(self):
        peer = self.linphone(autoanswer=True)
        peer.command(f"call sip:1001@{LOOPBACK}:{self.sip_port}")
        call_id, display, user, *_ = self.ua.wait_event("OnIncomingCall", timeout=15)
        self.assertEqual(user, "linphone")
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect")
        peer.wait_output(r"Call \d+ .* connected")
        self.ua.drain(2)
        peer.command("terminate")
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])
        peer.wait_output(r"ended")
        self.assertFalse(self.ua.call("IsLineBusy", 0))

    def test_linphone_transfers_its_call_with_orvua_to_another_linphone(self):
        self.ua.call("SetAcceptTransfer", True)
        referrer = self.linphone(autoanswer=True)
        target = self.linphone(autoanswer=True)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:linphone@{LOOPBACK}:{referrer.sip_port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        referrer.wait_output(r"Media streams established")
        referrer.command(f"transfer sip:linphone@{LOOPBACK}:{target.sip_port}")
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        target.wait_output(r"Media streams established")
        referrer.wait_output(r"ended")
        self.assertIn(f":{target.sip_port}", self.ua.call("GetRemoteParty", 0))
        self.ua.drain(3)
        self.assertEqual(self.ua.pending("OnDisconnectCall"), [])
        notifies = [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith("NOTIFY ")]
        self.assertEqual(notifies[-1].split("\r\n\r\n", 1)[1], "SIP/2.0 200 OK\r\n")
        self.assert_every_request_has_max_forwards()
        self.assertEqual(self.ua.quit(), 0)
        target.stop()
        assert_tone(self, target.recording, ORVUA_TONE)

    def test_orvua_cancels_a_call_ringing_at_linphone(self):
        peer = self.linphone(autoanswer=False)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:linphone@{LOOPBACK}:{peer.sip_port}", -1, -1))
        peer.wait_output(r"Receiving new incoming call")
        self.ua.wait_event("OnProvisionalResponse", where=lambda a: a[1] == 180)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("SIP/2.0 487"))
        peer.wait_output(r"ended")
        self.ua.drain(1.0)
        self.assertTrue(peer.has_no_call(), "linphone stops ringing")
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        sent = [a[0].split("\r\n")[0] for a in self.ua.pending("OnOutgoingDiagnostic")]
        self.assertEqual(len([line for line in sent if line.startswith("CANCEL ")]), 1, "the CANCEL is answered")
        self.assert_every_request_has_max_forwards()


if __name__ == "__main__":
    unittest.main()
