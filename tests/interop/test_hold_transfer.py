"""Hold, transfer, attended transfer, DTMF routes and message waiting."""
import os
import struct
import tempfile
import time
import unittest
import urllib.parse

from audio_check import assert_tone, read_wav, tone
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, RawPeer, Sipp, free_udp_port, write_wav
from raw_sip import SipPeer, sdp
from sip_text import body, header, tag
from test_audio import ORVUA_TONE, PEER_TONE, AudioFiles
from test_hostile_peers import PeerTestCase


def rtp_types(datagrams):
    return [struct.unpack("!BB", d[:2])[1] & 0x7F for d in datagrams]


def assert_tone_at_the_end(test, path, frequency, seconds=2.0):
    """The last `seconds` of a recording carry the tone (earlier parts may be held)."""
    samples, rate = read_wav(path)
    tail = os.path.join(tempfile.mkdtemp(prefix="tail-"), "tail.wav")
    write_wav(tail, samples[-int((seconds + 0.5) * rate):], rate)
    assert_tone(test, tail, frequency, min_seconds=seconds)


class HoldWithRawPeerTest(PeerTestCase):
    """orvua with a microphone tone; the raw peer counts the RTP that reaches it."""

    def setUp(self):
        self.environment = AudioFiles(self, "hold", ORVUA_TONE).environment
        super().setUp()

    def rtp_flows(self, flows):
        self.rtp.receive_all(0.3)
        received = self.rtp.receive_all(1.0)
        if flows:
            self.assertGreater(len(received), 30, "RTP flows")
        else:
            self.assertEqual(received, [], "no RTP while held")

    def test_our_hold_and_unhold(self):
        invite = self.connect()
        self.rtp_flows(True)
        self.assertTrue(self.ua.call("HoldLine", 0))
        self.assertTrue(self.ua.call("IsLineHold", 0), "held at once, before any answer")
        hold = self.peer.expect("INVITE")
        self.assertIn("c=IN IP4 0.0.0.0", body(hold))
        self.assertIn("a=sendonly", body(hold))
        self.assertEqual(header(hold, "Call-ID"), header(invite, "Call-ID"))
        self.peer.answer(hold, 200, "OK", to_tag=None, body=sdp(self.rtp.port, "recvonly"))
        self.peer.expect("ACK")
        self.rtp_flows(False)
        self.assertTrue(self.ua.call("UnHoldLine", 0))
        self.assertFalse(self.ua.call("IsLineHold", 0))
        unhold = self.peer.expect("INVITE")
        self.assertIn(f"c=IN IP4 {LOOPBACK}", body(unhold))
        self.assertIn("a=sendrecv", body(unhold))
        self.peer.answer(unhold, 200, "OK", to_tag=None, body=sdp(self.rtp.port))
        self.peer.expect("ACK")
        self.rtp_flows(True)
        self.assert_no_call_events("OnRequestFailureResponse", "OnDisconnectCall")

    def test_the_peer_holds_and_resumes(self):
        invite = self.connect()
        for cseq, (direction, address, answered, flows) in enumerate((("sendonly", LOOPBACK, "a=recvonly", False),
                                                                     ("sendrecv", LOOPBACK, "a=sendrecv", True),
                                                                     ("inactive", LOOPBACK, "a=inactive", False),
                                                                     ("sendrecv", "0.0.0.0", "a=sendrecv", False),
                                                                     ("sendrecv", LOOPBACK, "a=sendrecv", True)),
                                                                    start=10):
            self.peer.in_dialog("INVITE", invite, cseq, body=sdp(self.rtp.port, direction, address))
            self.peer.expect("SIP/2.0 100")
            ok = self.peer.expect("SIP/2.0 200")
            self.assertIn(answered, body(ok))
            self.peer.in_dialog("ACK", invite, cseq)
            self.rtp_flows(flows)

    def test_a_refused_hold_leaves_the_call_up(self):
        self.connect()
        self.assertTrue(self.ua.call("HoldLine", 0))
        hold = self.peer.expect("INVITE")
        self.peer.answer(hold, 488, "Not Acceptable Here", to_tag=None)
        self.peer.expect("ACK")
        self.assertEqual(self.ua.wait_event("OnRequestFailureResponse"), [0, 488, "Not Acceptable Here"])
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.peer.expect("BYE")


class HoldChallengeTest(unittest.TestCase):
    def test_hold_is_retried_once_with_credentials(self):
        sipp = Sipp("callee_challenges_reinvite.xml")
        self.addCleanup(sipp.stop)
        ua = Orvua()
        self.addCleanup(ua.quit)
        self.assertTrue(ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{sipp.local_port}"))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{sipp.local_port}", -1, -1))
        ua.wait_event("OnSuccessToConnect")
        self.assertTrue(ua.call("HoldLine", 0))
        ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("SIP/2.0 200") and "recvonly" in a[0])
        self.assertTrue(ua.call("IsLineHold", 0))
        self.assertTrue(ua.call("Disconnect", 0))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        reinvites = [text for _, text in sipp.received("INVITE")][1:]
        self.assertEqual(len(reinvites), 2)
        self.assertIsNotNone(header(reinvites[1], "Authorization"))
        self.assertIn("a=sendonly", body(reinvites[1]))


class BaresipHoldAndTransferTest(unittest.TestCase):
    """orvua calls baresip (2002) through kamailio; a second orvua (3003) is the transfer target."""

    def setUp(self):
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2", "3003": "secret3"})
        self.addCleanup(self.kamailio.stop)
        peer_file = os.path.join(tempfile.mkdtemp(prefix="baresip-tone-"), "tone.wav")
        write_wav(peer_file, tone(PEER_TONE, 120))
        self.baresip = Baresip(f"<sip:2002@127.0.0.1:{self.kamailio.port}>;auth_pass=secret2;answermode=auto",
                               audio_file=peer_file)
        self.addCleanup(self.baresip.stop)
        self.files = AudioFiles(self, "a", ORVUA_TONE)
        self.ua = self.registered("1001", "secret", self.files.environment)
        self.wait_registered("2002")

    def registered(self, login, password, environment):
        ua = Orvua(env=environment)
        self.addCleanup(ua.quit)
        proxy = f"{LOOPBACK}:{self.kamailio.port}"
        self.assertTrue(ua.initialize(free_udp_port(), proxy=proxy, login=login, password=password,
                                      sound=bool(environment)))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        if environment:
            self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        ua.call("DeselectAllVoiceCodec")
        ua.call("SelectVoiceCodec", 3)
        self.assertTrue(ua.call("RegisterToProxy", 3600))
        ua.wait_event("OnSuccessToRegister")
        return ua

    def wait_registered(self, user):
        deadline = time.monotonic() + 10
        while not self.kamailio.is_registered(user):
            self.assertLess(time.monotonic(), deadline, f"{user} did not register")
            time.sleep(0.2)

    def call_baresip(self):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.kamailio.port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")

    def sent_invites(self):
        return [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith("INVITE ")]

    def test_hold_and_unhold_with_voice_after(self):
        self.call_baresip()
        self.assertTrue(self.ua.call("HoldLine", 0))
        self.assertTrue(self.ua.call("IsLineHold", 0))
        self.ua.drain(2)
        self.assertTrue(self.ua.call("UnHoldLine", 0))
        self.ua.drain(3.5)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        hold, unhold = self.sent_invites()[-2:]
        self.assertIn("c=IN IP4 0.0.0.0", body(hold))
        self.assertIn("a=sendonly", body(hold))
        self.assertIn(f"c=IN IP4 {LOOPBACK}", body(unhold))
        self.assertIn("a=sendrecv", body(unhold))
        self.assertEqual(self.ua.pending("OnRequestFailureResponse"), [])
        self.assertEqual(self.ua.quit(), 0)
        self.baresip.stop()
        received = [name for name in os.listdir(self.baresip.record_dir) if name.endswith("-dec.wav")]
        self.assertEqual(len(received), 1, os.listdir(self.baresip.record_dir))
        assert_tone_at_the_end(self, os.path.join(self.baresip.record_dir, received[0]), ORVUA_TONE)
        assert_tone_at_the_end(self, self.files.speaker, PEER_TONE)

    def test_blind_transfer_makes_the_peer_call_the_target(self):
        target = self.registered("3003", "secret3", {})
        self.call_baresip()
        self.assertTrue(self.ua.call("TransferCall", 0, f"sip:3003@{LOOPBACK}:{self.kamailio.port}"))
        self.assertEqual(self.ua.wait_event("OnCallTransferAccepted", timeout=10), [0])
        call_id, _, user, *_ = target.wait_event("OnIncomingCall", timeout=15)
        self.assertEqual(user, "2002")
        refer = [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith("REFER ")][0]
        self.assertEqual(header(refer, "Refer-To"), f"sip:3003@{LOOPBACK}:{self.kamailio.port}")
        self.assertTrue(target.call("RejectCall", call_id))


class TransferWithRawPeersTest(PeerTestCase):
    def test_a_refused_transfer_ends_the_call(self):
        self.connect()
        self.assertFalse(self.ua.call("TransferCall", 1, "sip:300@127.0.0.1"))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 29)
        self.assertTrue(self.ua.call("TransferCall", 0, "sip:300@127.0.0.1"))
        refer = self.peer.expect("REFER")
        self.assertEqual(header(refer, "Refer-To"), "sip:300@127.0.0.1")
        self.peer.answer(refer, 403, "Forbidden", to_tag=None)
        self.assertEqual(self.ua.wait_event("OnRequestFailureResponse"), [0, 403, "Forbidden"])
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        self.peer.expect("BYE")
        self.assertFalse(self.ua.call("TransferCall", 0, "sip:300@127.0.0.1"))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 34)

    def test_attended_transfer_sends_the_replaces_of_the_other_line(self):
        self.ua.call("UnInitialize")
        self.assertTrue(self.ua.initialize(self.sip_port, lines=2, proxy=""))
        for line in (0, 1):
            self.assertTrue(self.ua.call("OpenLine", line, True, LOOPBACK, free_udp_port()))
        first = Sipp("callee_answers_caller_hangs_up.xml", calls=2, extra=["-l", "2"])
        self.addCleanup(first.stop)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{first.local_port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect")
        self.assertTrue(self.ua.call("Connect", 1, f"sip:3003@{LOOPBACK}:{self.peer.port}", -1, -1))
        second = self.peer.expect("INVITE")
        self.peer.answer(second, 200, "OK", body=sdp(self.rtp.port))
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        self.assertFalse(self.ua.call("JoinTwoLine", 0, 2))
        self.assertTrue(self.ua.call("JoinTwoLine", 0, 1))
        refer = self.peer.expect("REFER")
        self.assertEqual(header(refer, "Call-ID"), header(second, "Call-ID"))
        refer_to = header(refer, "Refer-To")
        target, _, escaped = refer_to.strip("<>").partition("?Replaces=")
        self.assertEqual(target, f"sip:2002@{LOOPBACK}:{first.local_port}")
        for character in "@;=":
            self.assertNotIn(character, escaped)
        replaces = urllib.parse.unquote(escaped)
        first_invite = first.received("INVITE")[0][1]
        self.assertTrue(replaces.startswith(header(first_invite, "Call-ID") + ";to-tag="), replaces)
        self.peer.answer(refer, 202, "Accepted", to_tag=None)
        self.assertEqual(self.ua.wait_event("OnCallTransferAccepted"), [1])
        self.peer.request("INVITE", first.local_port, "transferred-1", 1, user="2002", body=sdp(self.rtp.port),
                          extra=f"Replaces: {replaces}\r\n")
        to_tag = tag(header(self.peer.expect("SIP/2.0 200"), "To"))
        self.peer.request("ACK", first.local_port, "transferred-1", 1, user="2002", to_tag=to_tag)
        self.peer.request("BYE", first.local_port, "transferred-1", 2, user="2002", to_tag=to_tag)
        self.peer.expect("SIP/2.0 200")
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(first.wait(20), 0, first.log())
        self.assertEqual(header(first.received("INVITE")[1][1], "Replaces"), replaces)


class DtmfRouteTest(PeerTestCase):
    def call_with(self, codec_sdp):
        invite = self.dial()
        self.peer.answer(invite, 200, "OK", body=codec_sdp)
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        return invite

    def test_hash_goes_as_event_11_and_five_forced_in_band(self):
        self.call_with(sdp(self.rtp.port))
        self.assertTrue(self.ua.call("DigitDTMF", 0, "#"))
        events = [d for d in self.rtp.receive_all(1.0) if rtp_types([d]) == [101]]
        self.assertEqual({d[12] for d in events}, {11})
        self.assertTrue(self.ua.call("EnableForceInbandDTMF", 0))
        self.assertTrue(self.ua.call("DigitDTMF", 0, "5"))
        self.assertEqual(set(rtp_types(self.rtp.receive_all(1.0))), {0})

    def test_info_on_a_gsm_call_is_resent_until_answered(self):
        self.call_with(sdp(self.rtp.port, payloads=(3,)))
        self.assertTrue(self.ua.call("DigitDTMF", 0, "#"))
        info = self.peer.expect("INFO")
        self.assertEqual(body(info), "Signal=11\n\rDuration=800\n\r")
        again = self.peer.expect("INFO", timeout=2.5)
        self.assertEqual(header(again, "CSeq"), header(info, "CSeq"))
        self.peer.answer(again, 200, "OK", to_tag=None)
        self.assertEqual([t for t in self.peer.quiet(2.5) if t.startswith("INFO")], [])
        self.assertTrue(self.ua.call("DigitDTMF", 0, "1"))
        refused = self.peer.expect("INFO")
        self.peer.answer(refused, 415, "Unsupported Media Type", to_tag=None)
        self.assertEqual(self.ua.wait_event("OnRequestFailureResponse"), [0, 415, "Unsupported Media Type"])
        self.assertTrue(self.ua.call("IsLineBusy", 0), "a refused digit does not end the call")


class MessageWaitingTest(PeerTestCase):
    def notify(self, call_id, summary):
        return self.peer.request("NOTIFY", self.sip_port, call_id, 1, body=summary, extra="Event: message-summary\r\n",
                                 content_type="application/simple-message-summary")

    def test_summaries_and_plain_notifies(self):
        summary = ("Messages-Waiting: yes\r\nMessage-Account: sip:1001@127.0.0.1\r\n"
                   "Voice-Message: 2/8 (0/2)\r\n")
        sent = self.notify("mwi-1", summary)
        self.assertEqual(self.ua.wait_event("OnVoiceMailMsg"), ["true", 2, 8, 0, 2, "sip:1001@127.0.0.1"])
        self.assertEqual(self.ua.wait_event("OnMsgNOTIFY"), [sent])
        self.notify("mwi-2", "Messages-Waiting: no\r\n")
        self.ua.wait_event("OnMsgNOTIFY")
        self.peer.quiet(1.0)
        answers = [t for _, t in self.peer.got if t.startswith("SIP/2.0")]
        self.assertEqual([t.split("\r\n")[0] for t in answers], ["SIP/2.0 200 OK"] * 2)
        self.assertEqual(self.ua.pending("OnVoiceMailMsg"), [])


if __name__ == "__main__":
    unittest.main()
