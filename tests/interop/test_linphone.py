"""linphone, a strict third-party softphone, with orvua: peer to peer (no proxy to mend
what either side sends) calls both ways with voice, hang-up, cancel and a blind transfer;
through kamailio, an attended transfer whose target is orvua."""
import os
import tempfile
import unittest

from audio_check import assert_tone, tone
from linphone_peer import Linphone, unavailable
from orvua_driver import LOOPBACK, Kamailio, Orvua, free_udp_port, write_wav
from sip_text import header
from test_audio import ORVUA_TONE, PEER_TONE, AudioFiles, start_orvua
from test_hold_transfer import assert_tone_at_the_end

METHODS = ("INVITE", "ACK", "BYE", "CANCEL", "REFER", "INFO", "NOTIFY", "OPTIONS", "REGISTER")
TRANSFEROR_TONE = 400


def tone_file(frequency):
    path = os.path.join(tempfile.mkdtemp(prefix="linphone-tone-"), "tone.wav")
    write_wav(path, tone(frequency, 30))
    return path


class LinphoneDirectTest(unittest.TestCase):
    def setUp(self):
        reason = unavailable()
        if reason:
            self.skipTest(reason)
        self.peer_file = tone_file(PEER_TONE)
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


class LinphoneAttendedTransferTest(unittest.TestCase):
    """Through kamailio, linphone 2002 talks with linphone 3003, holds it, calls orvua
    (1001), then joins the two: its REFER sends 3003 to orvua with a Replaces that names
    2002's call with orvua."""

    def setUp(self):
        reason = unavailable()
        if reason:
            self.skipTest(reason)
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2", "3003": "secret3"})
        self.addCleanup(self.kamailio.stop)
        self.proxy = f"{LOOPBACK}:{self.kamailio.port}"
        self.files = AudioFiles(self, "replaced", ORVUA_TONE)
        self.ua, _ = start_orvua(self, self.files, 3, self.kamailio.port, "1001")
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        self.transferor = self.linphone("2002", "secret2", TRANSFEROR_TONE)
        self.newcomer = self.linphone("3003", "secret3", PEER_TONE)

    def linphone(self, user, password, frequency):
        peer = Linphone(tone_file(frequency), account=(user, password, self.kamailio))
        self.addCleanup(peer.stop)
        return peer

    def received_invite(self, replaces_call_id):
        def replacing(args):
            replaces = header(args[0], "Replaces") or ""
            return args[0].startswith("INVITE ") and replaces.startswith(replaces_call_id + ";")
        return self.ua.wait_event("OnIncomingDiagnostic", timeout=15, where=replacing)[0]

    def answers_to(self, call_id):
        return [a[0].split("\r\n")[0] for a in self.ua.pending("OnOutgoingDiagnostic")
                if a[0].startswith("SIP/2.0") and header(a[0], "Call-ID") == call_id]

    def connect_transferor_with_both(self):
        self.transferor.command(f"call sip:3003@{self.proxy}")
        self.transferor.wait_output(r"Media streams established .* call 1 ")
        self.transferor.command("pause 1")
        self.transferor.wait_output(r"Call 1 .* paused")
        self.transferor.command(f"call sip:1001@{self.proxy}")
        call_id = self.ua.wait_event("OnIncomingCall", timeout=15)[0]
        self.assertEqual(self.ua.wait_event("OnIncomingCallRingingStart"), [call_id])
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect")
        self.transferor.wait_output(r"Media streams established .* call 2 ")
        return call_id

    def test_the_transferred_party_replaces_the_call_without_ringing(self):
        self.ua.call("SetAcceptTransfer", True)
        call_id = self.connect_transferor_with_both()
        self.assertIn("sip:2002@", self.ua.call("GetRemoteParty", 0))

        self.transferor.command(f"transfer 1 sip:1001@{self.proxy}?Replaces=nosuchcall%3Bto-tag%3Dx%3Bfrom-tag%3Dy")
        unknown = header(self.received_invite("nosuchcall"), "Call-ID")
        refusal = self.ua.wait_event("OnOutgoingDiagnostic", where=lambda a: (
            a[0].startswith("SIP/2.0 4") and header(a[0], "Call-ID") == unknown))[0]
        self.assertEqual(refusal.split("\r\n")[0], "SIP/2.0 481 Call/Transaction Does Not Exist")
        self.newcomer.wait_output(r"Call 2 .* error")
        # linphone takes back its held call after a failed transfer: once it has, the next
        # REFER starts from a settled state.
        self.newcomer.wait_output(r"Resuming call 1 ")
        self.newcomer.wait_output(r"Call 1 has been paused by")
        self.assertIn("sip:2002@", self.ua.call("GetRemoteParty", 0), "a Replaces naming no call leaves ours alone")

        self.transferor.command("transfer 1 --to-call 2")
        replacing = header(self.received_invite(call_id), "Call-ID")
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect", timeout=15)[0], 0)
        self.newcomer.wait_output(r"Media streams established with .*Replaces=")
        self.transferor.wait_output(r"Call 2 .* ended")
        # Until then linphone beeps into the new call that another one is held.
        self.newcomer.wait_output(r"Call 1 .* ended")
        self.assertIn("sip:3003@", self.ua.call("GetRemoteParty", 0))
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertFalse(self.ua.call("IsLineHold", 0))
        self.ua.drain(3)
        for silent in ("OnIncomingCall", "OnIncomingCallRingingStart", "OnDisconnectCall"):
            self.assertEqual(self.ua.pending(silent), [], silent)
        # A 200 resent before linphone's ACK arrives is still an answer without ringing.
        self.assertEqual(sorted(set(self.answers_to(replacing))), ["SIP/2.0 100 Trying", "SIP/2.0 200 OK"])
        byes = [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith("BYE ")]
        # One BYE, on the old dialog (resent if its answer is late).
        self.assertEqual({(header(bye, "Call-ID"), header(bye, "CSeq")) for bye in byes}, {(call_id, "1 BYE")})
        self.newcomer.command("terminate all")
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])
        self.assertEqual(self.ua.quit(), 0)
        self.newcomer.stop()
        assert_tone_at_the_end(self, self.newcomer.recording, ORVUA_TONE)
        assert_tone_at_the_end(self, self.files.speaker, PEER_TONE)


if __name__ == "__main__":
    unittest.main()
