"""Outgoing and incoming calls of orvua against sipp, on loopback."""
import time
import unittest

from orvua_driver import LOOPBACK, Orvua, RawPeer, Sipp, free_udp_port
from sip_text import body, branch, cseq_number, header, tag


class CallTestCase(unittest.TestCase):
    def setUp(self):
        self.rtp_port = free_udp_port()
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)

    def start(self, proxy_port=None):
        if proxy_port is None:
            # A proxy that never answers, on a port of this test's own: requests sent to
            # 5060 could reach a trn of a test running beside this one.
            silent = RawPeer()
            self.addCleanup(silent.close)
            proxy_port = silent.port
        self.sip_port = free_udp_port()
        self.assertTrue(self.ua.initialize(self.sip_port, proxy=f"{LOOPBACK}:{proxy_port}"))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, self.rtp_port))

    def sipp(self, scenario, remote=False):
        # -nr: sipp must not answer our repeated responses by repeating its own requests.
        sipp = Sipp(scenario, remote_port=self.sip_port if remote else None, extra=["-nr"] if remote else ())
        self.addCleanup(sipp.stop)
        return sipp

    def dial(self, sipp):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{sipp.local_port}", -1, -1))

    def sent(self, start):
        """Texts orvua sent whose first line starts with `start`."""
        return [args[0] for args in self.ua.pending("OnOutgoingDiagnostic") if args[0].startswith(start)]


class OutgoingCallTest(CallTestCase):
    def test_answered_call_and_peer_hang_up(self):
        sipp = self.sipp("callee_answers.xml")
        self.start(sipp.local_port)
        self.dial(sipp)
        self.assertEqual(self.ua.wait_event("OnConnecting"), [0])
        self.assertEqual(self.ua.wait_event("OnProvisionalResponse"), [0, 100, "Trying"])
        self.assertEqual(self.ua.wait_event("OnProvisionalResponse"), [0, 180, "Ringing"])
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect"), [0, LOOPBACK, sipp.media_port])
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertEqual(self.ua.call("GetOutboundCodec", 0), 3)
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        invite = sipp.received("INVITE")[0][1]
        ack = sipp.received("ACK")[0][1]
        self.assertNotEqual(branch(ack), branch(invite), "the ACK of a 2xx has a new branch")
        self.assertEqual(cseq_number(ack), cseq_number(invite))
        self.assertIn("m=audio %d RTP/AVP" % self.rtp_port, body(invite))
        self.assertEqual(header(invite, "Content-Type"), "application/sdp")

    def test_hang_up_sends_bye_with_the_next_cseq(self):
        sipp = self.sipp("callee_answers_caller_hangs_up.xml")
        self.start(sipp.local_port)
        self.dial(sipp)
        self.ua.wait_event("OnSuccessToConnect")
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        invite = sipp.received("INVITE")[0][1]
        bye = sipp.received("BYE")[0][1]
        self.assertEqual(cseq_number(bye), cseq_number(invite) + 1)
        self.assertEqual(header(bye, "Call-ID"), header(invite, "Call-ID"))
        self.assertEqual(tag(header(bye, "From")), tag(header(invite, "From")))
        self.assertEqual(self.ua.pending("OnDisconnectCall"), [], "no event for a local hang-up")

    def test_digest_retry_then_answer(self):
        sipp = self.sipp("callee_challenges.xml")
        self.start(sipp.local_port)
        self.dial(sipp)
        self.ua.wait_event("OnSuccessToConnect")
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        first, second = [text for _, text in sipp.received("INVITE")][:2]
        self.assertEqual(header(first, "Call-ID"), header(second, "Call-ID"))
        self.assertEqual(tag(header(first, "From")), tag(header(second, "From")))
        self.assertEqual(cseq_number(second), cseq_number(first) + 1)
        self.assertIn("nc=00000001", header(second, "Authorization"))
        self.assertNotIn("403", "".join(text.split("\n")[0] for _, d, text in sipp.messages() if d == "sent"))

    def test_busy_answer(self):
        sipp = self.sipp("callee_busy.xml")
        self.start(sipp.local_port)
        self.dial(sipp)
        self.assertEqual(self.ua.wait_event("OnRequestFailureResponse"), [0, 486, "Busy Here Right Now"])
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        invite = sipp.received("INVITE")[0][1]
        ack = sipp.received("ACK")[0][1]
        self.assertEqual(branch(ack), branch(invite), "the ACK of a failure reuses the INVITE's branch")
        self.assertFalse(self.ua.call("IsLineBusy", 0))

    def test_disconnect_while_ringing_cancels(self):
        sipp = self.sipp("callee_ringing.xml")
        self.start(sipp.local_port)
        self.dial(sipp)
        self.ua.wait_event("OnProvisionalResponse", where=lambda a: a[1] == 180)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        invite = sipp.received("INVITE")[0][1]
        cancel = sipp.received("CANCEL")[0][1]
        self.assertEqual(cseq_number(cancel), cseq_number(invite))
        self.assertEqual(branch(cancel), branch(invite))
        self.assertEqual(sipp.received("BYE"), [])


class UnansweredCallTest(CallTestCase):
    def test_no_answer_gives_six_invites_then_cancel_and_failure_at_47(self):
        sipp = self.sipp("callee_silent.xml")
        self.start(sipp.local_port)
        pressed = time.time()
        self.dial(sipp)
        _, failed = self.ua.wait_event_at("OnFailToConnect", timeout=60)
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        invites = [stamp - pressed for stamp, _ in sipp.received("INVITE")]
        self.assertEqual(len(invites), 6, sipp.log())
        self.assertLess(invites[0], 0.05, "the first INVITE leaves at once, not at the next tick")
        for sent, expected in zip(invites[1:], [1, 3, 7, 15, 31]):
            self.assertAlmostEqual(sent, expected, delta=1.1)
        cancel_at = sipp.received("CANCEL")[0][0] - pressed
        self.assertAlmostEqual(cancel_at, 47, delta=1.1)
        self.assertEqual(self.ua.pending("OnConnecting"), [[0]])


class IncomingCallTest(CallTestCase):
    def incoming(self, scenario):
        self.start()
        sipp = self.sipp(scenario, remote=True)
        call = self.ua.wait_event("OnIncomingCall")
        self.assertEqual(self.ua.wait_event("OnIncomingCallRingingStart"), [call[0]])
        return sipp, call

    def test_accepted_call_connects_at_the_ack(self):
        sipp, (call_id, display, user, from_uri, to_uri) = self.incoming("caller_accepted.xml")
        self.assertEqual((display, user), ("Alice Example", "alice"))
        self.assertIn("<sip:alice@127.0.0.1:%d>" % sipp.local_port, from_uri)
        self.assertIn("sip:1001@127.0.0.1", to_uri)
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect", timeout=8), [0, LOOPBACK, sipp.media_port])
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        oks = [text for text in self.sent("SIP/2.0 200 OK") if "INVITE" in header(text, "CSeq")]
        self.assertEqual(len(oks), 2, "the 200 is resent until the ACK, and no more")
        sdp = body(oks[0])
        for line in ("s=OrvSoft", f"c=IN IP4 {LOOPBACK}", f"m=audio {self.rtp_port} RTP/AVP 18 3 8 0 101",
                     "a=rtpmap:0 PCMU/8000", "a=sendrecv"):
            self.assertIn(line, sdp)

    def test_repeated_invite_then_cancel(self):
        sipp, (call_id, *_rest) = self.incoming("caller_cancels.xml")
        self.assertEqual(self.ua.wait_event("OnIncomingCallRingingStop", timeout=8), [call_id])
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        self.assertEqual(self.ua.pending("OnIncomingCall"), [], "a repeated INVITE raises no second event")
        self.assertEqual(len(self.sent("SIP/2.0 180 Ringing")), 2)
        self.assertFalse(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 32)

    def test_rejected_call_gets_486_until_the_ack(self):
        sipp, (call_id, *_rest) = self.incoming("caller_rejected.xml")
        self.assertTrue(self.ua.call("RejectCall", call_id))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        self.ua.drain(1.5)
        self.assertEqual(len(self.sent("SIP/2.0 486 Busy Here")), 2, "resent until the ACK, and no more")
        self.assertFalse(self.ua.call("RejectCall", call_id), "the call is gone after the ACK")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 32)

    def test_sendonly_reinvite_is_answered_recvonly(self):
        sipp, (call_id, *_rest) = self.incoming("caller_reinvites.xml")
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect")
        self.ua.wait_event("OnDisconnectCall")
        self.assertEqual(sipp.wait(20), 0, sipp.log())

    def test_do_not_disturb_refuses_without_events(self):
        self.start()
        self.assertIsNone(self.ua.call("EnableDonotDisturb"))
        sipp = self.sipp("caller_refused.xml", remote=True)
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        self.assertEqual(self.ua.pending("OnIncomingCall"), [])

    def test_cancel_and_bye_without_a_call(self):
        self.start()
        peer = RawPeer()
        self.addCleanup(peer.close)
        for method in ("CANCEL", "BYE"):
            peer.send(f"{method} sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:{peer.port};branch=z9hG4bKx\r\n"
                      f"From: <sip:a@127.0.0.1>;tag=1\r\nTo: <sip:1001@127.0.0.1>\r\nCall-ID: none-{method}\r\n"
                      f"CSeq: 5 {method}\r\nContent-Length: 0\r\n\r\n", self.sip_port)
        answers = [peer.receive() for _ in range(3)]
        self.assertTrue(answers[0].startswith("SIP/2.0 487 Request Terminated"))
        self.assertIn("CSeq: 5 INVITE", answers[0])
        self.assertTrue(answers[1].startswith("SIP/2.0 200 OK"))
        self.assertIn("CSeq: 5 CANCEL", answers[1])
        self.assertTrue(answers[2].startswith("SIP/2.0 200 OK"))
        self.assertIn("CSeq: 5 BYE", answers[2])


class CallErrorsTest(CallTestCase):
    def test_guards(self):
        self.assertFalse(self.ua.call("Connect", 0, "sip:2002@127.0.0.1", -1, -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 10)
        self.start()
        self.assertFalse(self.ua.call("Connect", 1, "sip:2002@127.0.0.1", -1, -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 29)
        self.assertFalse(self.ua.call("AcceptCall", 0, "no-such-call", -1, -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 32)
        self.assertFalse(self.ua.call("RejectCall", "no-such-call"))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 32)
        self.assertEqual(self.ua.call("GetOutboundCodec", 0), -1)
        self.assertEqual(self.ua.call("GetOrvObjectError"), 34)
        self.assertTrue(self.ua.call("Disconnect", 0), "an idle line disconnects fine")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 34, "success leaves the last error alone")
        self.assertTrue(self.ua.call("Connect", 0, "sip:2002@127.0.0.1:9", -1, -1))
        self.assertFalse(self.ua.call("Connect", 0, "sip:2003@127.0.0.1:9", -1, -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 30)
        self.assertFalse(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 30)


if __name__ == "__main__":
    unittest.main()


def resident_kilobytes(pid):
    with open(f"/proc/{pid}/status") as handle:
        for line in handle:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class RingingLimitTest(CallTestCase):
    def test_a_call_ringing_for_three_minutes_ends_with_480(self):
        self.start()
        sipp = Sipp("caller_waits_out_ringing.xml", remote_port=self.sip_port, extra=["-nr"])
        self.addCleanup(sipp.stop)
        call_id = self.ua.wait_event("OnIncomingCall")[0]
        _, rang = self.ua.wait_event_at("OnIncomingCallRingingStart")
        _, stopped = self.ua.wait_event_at("OnIncomingCallRingingStop", timeout=200, where=lambda a: a == [call_id])
        self.assertAlmostEqual(stopped - rang, 180, delta=2)
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        self.ua.drain(0.5)
        self.assertFalse(self.ua.call("AcceptCall", 0, call_id, -1, -1), "the call is gone")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 32)


class InviteFloodTest(CallTestCase):
    def setUp(self):
        super().setUp()
        # Under AddressSanitizer freed memory waits in a quarantine of 256 MB; keep it
        # small so that the resident size shows what the process really holds.
        self.ua.quit()
        self.ua = Orvua(env={"ASAN_OPTIONS": "quarantine_size_mb=1:thread_local_quarantine_size_kb=64"})
        self.addCleanup(self.ua.quit)

    def test_flood_of_never_cancelled_invites_stays_bounded(self):
        self.start()
        warm_up = Sipp("caller_flood.xml", remote_port=self.sip_port, extra=["-nr", "-r", "100"], calls=50)
        self.addCleanup(warm_up.stop)
        warm_up.wait(60)
        self.ua.drain(1)
        before = resident_kilobytes(self.ua.process.pid)
        flood = Sipp("caller_flood.xml", remote_port=self.sip_port, extra=["-nr", "-r", "200"], calls=2000)
        self.addCleanup(flood.stop)
        flood.wait(120)
        self.ua.drain(2)
        peer = RawPeer()
        self.addCleanup(peer.close)
        peer.send(f"OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:{peer.port};branch=z9hG4bKo\r\n"
                  f"From: <sip:a@127.0.0.1>;tag=1\r\nTo: <sip:1001@127.0.0.1>\r\nCall-ID: still-there\r\n"
                  f"CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n", self.sip_port)
        answer = peer.receive(timeout=5)
        self.assertIsNotNone(answer, "OPTIONS must still be answered after the flood")
        self.assertTrue(answer.startswith("SIP/2.0 200 OK"))
        self.assertEqual(len(self.ua.pending("OnIncomingCall")), 16, "only 16 calls ring at once")
        self.assertGreaterEqual(len(self.sent("SIP/2.0 486 Busy Here")), 2000)
        grown = resident_kilobytes(self.ua.process.pid) - before
        self.assertLess(grown, 20 * 1024, f"memory grew by {grown} kB")


class CodecChoiceTest(CallTestCase):
    def offered_and_chosen(self, *codecs):
        sipp = self.sipp("callee_g729_then_pcmu.xml")
        self.start(sipp.local_port)
        self.assertIsNone(self.ua.call("DeselectAllVoiceCodec"))
        for codec in codecs:
            self.assertTrue(self.ua.call("SelectVoiceCodec", codec))
        self.dial(sipp)
        self.ua.wait_event("OnSuccessToConnect")
        chosen = self.ua.call("GetOutboundCodec", 0)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(sipp.wait(20), 0, sipp.log())
        media_line = [line for line in body(sipp.received("INVITE")[0][1]).splitlines() if line.startswith("m=")][0]
        return media_line.split("RTP/AVP ")[1], chosen

    def test_this_sides_order_decides(self):
        offered, chosen = self.offered_and_chosen(3, 4)
        self.assertEqual(offered, "0 18 101")
        self.assertEqual(chosen, 3, "the peer lists 18 first, but PCMU is preferred here")

    def test_nothing_selected_falls_back_to_pcmu_and_pcma(self):
        offered, chosen = self.offered_and_chosen()
        self.assertEqual(offered, "0 8 101")
        self.assertEqual(chosen, 3)

    def test_selection_errors(self):
        self.assertFalse(self.ua.call("SelectVoiceCodec", 5))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 23)
        self.assertFalse(self.ua.call("DeselectVoiceCodec", -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 23)
