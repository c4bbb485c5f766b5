"""Forged, crossing, repeated and lost messages from a hand-driven peer: no line is
wedged, no ended call comes back, nothing loops."""
import time
import unittest

from orvua_driver import LOOPBACK, Orvua, RawPeer, free_udp_port
from raw_sip import SipPeer, first_line, sdp
from sip_text import cseq_number, header, tag

PROXY_CHALLENGE = 'Proxy-Authenticate: Digest realm="127.0.0.1", nonce="n{n}", qop="auth"\r\n'
WWW_CHALLENGE = 'WWW-Authenticate: Digest realm="127.0.0.1", nonce="r{n}"\r\n'


class PeerTestCase(unittest.TestCase):
    """orvua on one line with a raw peer as its proxy and far end."""
    # orvua's environment; with one, orvua uses the (virtual) sound device.
    environment = None

    def setUp(self):
        self.peer = SipPeer()
        self.addCleanup(self.peer.close)
        self.rtp = RawPeer()
        self.addCleanup(self.rtp.close)
        self.ua = Orvua(env=self.environment)
        self.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        self.assertTrue(self.ua.initialize(self.sip_port, proxy=f"{LOOPBACK}:{self.peer.port}",
                                           sound=self.environment is not None))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))

    def dial(self):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.peer.port}", -1, -1))
        return self.peer.expect("INVITE")

    def connect(self, to_tag="callee1", contact=None):
        invite = self.dial()
        self.peer.answer(invite, 200, "OK", to_tag=to_tag, body=sdp(self.rtp.port), contact=contact)
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        return invite

    def assert_no_call_events(self, *names):
        self.ua.drain(0.5)
        for name in names:
            self.assertEqual(self.ua.pending(name), [], name)

    def sent(self, start):
        return [args for args in self.ua.pending("OnOutgoingDiagnostic") if args[0].startswith(start)]


class EndedCallTest(PeerTestCase):
    def end_call(self, how):
        invite = self.dial()
        if how == "busy":
            self.peer.answer(invite, 486, "Busy Here")
            self.peer.expect("ACK")
            self.ua.wait_event("OnRequestFailureResponse")
        elif how == "bye":
            self.peer.answer(invite, 200, "OK", body=sdp(self.rtp.port))
            self.peer.expect("ACK")
            self.ua.wait_event("OnSuccessToConnect")
            self.peer.in_dialog("BYE", invite, 1)
            self.peer.expect("SIP/2.0 200")
            self.ua.wait_event("OnDisconnectCall")
        else:
            self.peer.answer(invite, 180, "Ringing")
            self.ua.wait_event("OnProvisionalResponse", where=lambda a: a[1] == 180)
            self.assertTrue(self.ua.call("Disconnect", 0))
            cancel = self.peer.expect("CANCEL")
            self.peer.answer(cancel, 200, "OK")
            self.peer.answer(invite, 487, "Request Terminated")
            self.peer.expect("ACK")

    def forge(self, forger, call_id):
        forger.send(f"SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP {LOOPBACK}:{self.sip_port};branch=z9hG4bKforged\r\n"
                    f"From: <sip:1001@{LOOPBACK}>;tag=x\r\nTo: <sip:2002@{LOOPBACK}>;tag=y\r\n"
                    f"Call-ID: {call_id}\r\nCSeq: 1 INVITE\r\nContact: <sip:f@{LOOPBACK}:{forger.port}>\r\n"
                    f"Content-Type: application/sdp\r\nContent-Length: {len(sdp(forger.port))}\r\n\r\n"
                    + sdp(forger.port), self.sip_port)
        forger.request("INVITE", self.sip_port, call_id, 1, body=sdp(forger.port))

    def test_a_forged_reset_call_id_never_reaches_an_ended_call(self):
        forger = SipPeer()
        self.addCleanup(forger.close)
        for how in ("busy", "bye", "cancel"):
            with self.subTest(ended_by=how):
                self.end_call(how)
                for call_id in ("$$$RESET$$$", "$$$reset$$$"):
                    self.forge(forger, call_id)
                self.assertEqual([first_line(t) for t in forger.quiet(1.5)], [])
                self.assert_no_call_events("OnSuccessToConnect", "OnIncomingCall")
                self.assertFalse(self.ua.call("IsLineBusy", 0))


class CrossingAnswerTest(PeerTestCase):
    def assert_acked_then_ended(self, to_tag):
        ack = self.peer.expect("ACK")
        bye = self.peer.expect("BYE")
        self.assertEqual(tag(header(ack, "To")), to_tag)
        self.assertEqual(tag(header(bye, "To")), to_tag)
        self.peer.answer(bye, 200, "OK", to_tag=None)
        return bye

    def assert_no_rtp(self):
        self.rtp.receive_all(0.3)
        self.assertEqual(self.rtp.receive_all(1.0), [], "RTP still leaves an ended call")

    def test_answer_crossing_our_cancel_is_acknowledged_and_ended(self):
        invite = self.dial()
        self.peer.answer(invite, 180, "Ringing")
        self.ua.wait_event("OnProvisionalResponse", where=lambda a: a[1] == 180)
        self.assertTrue(self.ua.call("Disconnect", 0))
        cancel = self.peer.expect("CANCEL")
        self.peer.answer(invite, 200, "OK", body=sdp(self.rtp.port))
        self.peer.answer(cancel, 200, "OK")
        self.assert_acked_then_ended("callee1")
        self.peer.answer(invite, 183, "Session Progress", body=sdp(self.rtp.port))
        self.assert_no_call_events("OnSuccessToConnect")
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        self.assert_no_rtp()

    def test_answer_repeated_after_our_bye_is_acknowledged_and_ended(self):
        invite = self.dial()
        answer = self.peer.answer(invite, 200, "OK", body=sdp(self.rtp.port))
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        self.assertTrue(self.ua.call("Disconnect", 0))
        first_bye = self.peer.expect("BYE")
        self.peer.send(answer, self.sip_port)
        second_bye = self.assert_acked_then_ended("callee1")
        self.assertGreater(cseq_number(second_bye), cseq_number(first_bye))
        self.peer.answer(first_bye, 200, "OK", to_tag=None)
        self.assert_no_call_events("OnSuccessToConnect")
        self.assert_no_rtp()

    def test_a_second_fork_is_ended_and_the_first_leg_kept(self):
        invite = self.connect(to_tag="legA")
        self.peer.answer(invite, 200, "OK", to_tag="legB", body=sdp(self.rtp.port))
        self.assert_acked_then_ended("legB")
        self.assert_no_call_events("OnSuccessToConnect")
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(tag(header(self.peer.expect("BYE"), "To")), "legA")


class ChallengeLoopTest(PeerTestCase):
    def test_a_second_challenge_ends_the_call_at_once(self):
        invite = self.dial()
        self.peer.answer(invite, 100, "Trying", to_tag=None)
        self.peer.answer(invite, 407, "Proxy Authentication Required", extra=PROXY_CHALLENGE.format(n=1))
        self.peer.expect("ACK")
        retry = self.peer.expect("INVITE")
        self.assertIsNotNone(header(retry, "Proxy-Authorization"))
        self.peer.answer(retry, 100, "Trying", to_tag=None)
        self.peer.answer(retry, 407, "Proxy Authentication Required", extra=PROXY_CHALLENGE.format(n=2))
        refused = time.monotonic()
        self.peer.expect("ACK")
        _, failed = self.ua.wait_event_at("OnFailToConnect", timeout=5)
        self.assertLess(failed - refused, 1.0)
        later = [first_line(t) for t in self.peer.quiet(2.5)]
        self.assertEqual([line for line in later if line.startswith(("INVITE", "CANCEL"))], [])
        self.assertEqual(len([t for _, t in self.peer.got if t.startswith("INVITE")]), 2)
        self.assertFalse(self.ua.call("IsLineBusy", 0))

    def test_stale_challenges_start_nothing_and_bye_is_challenged_once(self):
        invite = self.dial()
        challenge = self.peer.answer(invite, 407, "Proxy Authentication Required",
                                     extra=PROXY_CHALLENGE.format(n=1))
        self.peer.expect("ACK")
        retry = self.peer.expect("INVITE")
        self.peer.answer(retry, 200, "OK", body=sdp(self.rtp.port))
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        self.peer.send(challenge, self.sip_port)
        self.assertEqual([t for t in self.peer.quiet(1.5) if t.startswith("INVITE")], [])
        self.assertTrue(self.ua.call("Disconnect", 0))
        bye = self.peer.expect("BYE")
        self.peer.answer(bye, 401, "Unauthorized", to_tag=None, extra=WWW_CHALLENGE.format(n=1))
        bye_again = self.peer.expect("BYE")
        self.assertIsNotNone(header(bye_again, "Authorization"))
        self.peer.answer(bye_again, 401, "Unauthorized", to_tag=None, extra=WWW_CHALLENGE.format(n=2))
        self.assertEqual([t for t in self.peer.quiet(2.5) if t.startswith("BYE")], [])
        self.assertFalse(self.ua.call("IsLineBusy", 0))


class IncomingTest(PeerTestCase):
    def invite(self, call_id):
        self.peer.request("INVITE", self.sip_port, call_id, 1, body=sdp(self.rtp.port))
        self.peer.expect("SIP/2.0 100")
        ringing = self.peer.expect("SIP/2.0 180")
        self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], call_id)
        return ringing

    def test_invites_that_cannot_be_answered_never_fill_the_pending_list(self):
        broken = ("INVITE sip:1001@127.0.0.1 SIP/2.0\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\n"
                  "To: <sip:1001@127.0.0.1>\r\nCall-ID: novia{n}\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n")
        for n in range(40):
            self.peer.send(broken.format(n=n), self.sip_port)
        for missing in ("CSeq", "From", "To"):
            text = self.peer.request("INVITE", self.sip_port, f"no{missing}", 1, send=False)
            text = "\r\n".join(line for line in text.split("\r\n") if not line.startswith(missing + ":"))
            self.peer.send(text, self.sip_port)
        self.invite("valid-after-garbage")
        self.assertEqual(len(self.ua.pending("OnIncomingCall")), 0)

    def test_cancel_after_the_answer_is_answered_and_changes_nothing(self):
        call_id = "late-cancel"
        self.invite(call_id)
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        ok = self.peer.expect("SIP/2.0 200")
        local_tag = tag(header(ok, "To"))
        for attempt in range(2):
            self.peer.request("CANCEL", self.sip_port, call_id, 1)
            answer = self.peer.expect("SIP/2.0")
            self.assertTrue(answer.startswith("SIP/2.0 200 OK"), answer)
            self.assertIn("CANCEL", header(answer, "CSeq"))
            if attempt == 0:
                self.peer.request("ACK", self.sip_port, call_id, 1, to_tag=local_tag)
                self.ua.wait_event("OnSuccessToConnect")
        self.assertEqual([t for t in self.peer.quiet(1.0) if t.startswith("BYE")], [])
        self.assert_no_call_events("OnDisconnectCall")
        self.assertTrue(self.ua.call("IsLineBusy", 0))


class HangUpBeforeAckTest(PeerTestCase):
    """Hanging up right after answering: the line is free at once, and the caller gets
    its BYE after its ACK, or when the 2xx is given up (RFC 3261 §15)."""

    def of_call(self, call_id, start, timeout=3):
        """The next message of the call that starts with `start`, or None."""
        return self.peer.next_message(timeout, lambda t: t.startswith(start) and header(t, "Call-ID") == call_id)

    def answer_and_hang_up(self, call_id):
        self.peer.request("INVITE", self.sip_port, call_id, 1, body=sdp(self.rtp.port))
        self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], call_id)
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        answered = time.monotonic()
        ok = self.of_call(call_id, "SIP/2.0 200")
        self.assertIsNotNone(ok)
        return ok, answered

    def assert_no_events_of_the_ended_call(self):
        self.ua.drain(0.3)
        for name in ("OnSuccessToConnect", "OnDisconnectCall", "OnFailToConnect"):
            self.assertEqual(self.ua.pending(name), [], name)

    def test_the_bye_follows_the_ack_and_the_line_takes_a_new_call_meanwhile(self):
        ok, _ = self.answer_and_hang_up("hung-up-early")
        self.peer.request("INVITE", self.sip_port, "next-call", 1, body=sdp(self.rtp.port))
        self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], "next-call")
        self.assertTrue(self.ua.call("AcceptCall", 0, "next-call", -1, -1))
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertIsNone(self.of_call("hung-up-early", "BYE", timeout=2), "a BYE came before the ACK")

        self.peer.request("ACK", self.sip_port, "hung-up-early", 1, to_tag=tag(header(ok, "To")))
        bye = self.of_call("hung-up-early", "BYE")
        self.assertIsNotNone(bye, "no BYE after the ACK")
        self.assertEqual(tag(header(bye, "From")), tag(header(ok, "To")))
        self.peer.answer(bye, 200, "OK", to_tag=None)
        self.assertIsNone(self.of_call("hung-up-early", "", timeout=2), "the ended call went on sending")
        self.assert_no_events_of_the_ended_call()
        self.assertTrue(self.ua.call("IsLineBusy", 0), "the new call lost its line")

    def test_without_an_ack_the_bye_goes_when_the_answer_is_given_up(self):
        ok, answered = self.answer_and_hang_up("never-acknowledged")
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.peer.port}", -1, -1))
        self.peer.answer(self.peer.expect("INVITE"), 180, "Ringing")
        answers = 1
        while (text := self.of_call("never-acknowledged", "", timeout=60)) is not None and not text.startswith("BYE"):
            self.assertTrue(text.startswith("SIP/2.0 200"), text)
            answers += 1
        self.assertIsNotNone(text, "no BYE came")
        self.assertGreaterEqual(answers, 5, "the 2xx was not resent until given up")
        self.assertGreater(time.monotonic() - answered, 40)
        self.peer.answer(text, 200, "OK", to_tag=None)
        self.assertIsNone(self.of_call("never-acknowledged", "", timeout=2), "the ended call went on sending")
        self.assert_no_events_of_the_ended_call()
        self.assertTrue(self.ua.call("IsLineBusy", 0))


class OrvuaTextTest(PeerTestCase):
    def test_a_peers_control_bytes_and_broken_utf8_come_out_escaped(self):
        note = b"a\x1b[31mb\xc2\x85c\xffd\xe2\x82\xac"
        text = self.peer.request("OPTIONS", self.sip_port, "escapes", 1, extra="X-Note: NOTE\r\n", send=False)
        self.peer.send(text.encode().replace(b"NOTE", note), self.sip_port)
        diagnostic = self.ua.wait_event("OnIncomingDiagnostic")[0]
        self.assertIn(note.decode("utf-8", "surrogateescape"), diagnostic, "the words did not give the bytes back")
        line = next(raw for raw in self.ua.raw_lines if raw.startswith(b"! OnIncomingDiagnostic"))
        printed = line.decode("utf-8")
        self.assertIn("X-Note: a\\x1B[31mb\\xC2\\x85c\\xFFd\u20ac\\r\\n", printed)
        self.assertEqual([c for c in printed[:-1] if ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F], [])

    def test_escaped_input_reaches_the_control_whole(self):
        self.assertFalse(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}\x00:{self.peer.port}", -1, -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 25)
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        self.ua.send(f'Connect 0 "sip:\\x32002@{LOOPBACK}:{self.peer.port}" -1 -1')
        self.assertEqual(self.peer.expect("INVITE").split(" ")[1], f"sip:2002@{LOOPBACK}:{self.peer.port}")


class LineTest(PeerTestCase):
    def test_close_line_hangs_up_and_frees_the_line(self):
        self.connect()
        self.assertTrue(self.ua.call("CloseLine", 0))
        bye = self.peer.expect("BYE")
        self.peer.answer(bye, 200, "OK", to_tag=None)
        self.assertFalse(self.ua.call("IsLineBusy", 0))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.dial()

    def test_a_host_name_in_the_answer_is_resolved_when_media_starts(self):
        invite = self.dial()
        self.peer.answer(invite, 200, "OK", body=sdp(self.rtp.port, address="localhost"))
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect"), [0, LOOPBACK, self.rtp.port])

    def test_rtp_follows_a_reinvite_that_moves_the_media_and_only_there(self):
        invite = self.connect()
        self.assertIsNotNone(self.rtp.receive_bytes(timeout=3), "no RTP before the move")
        moved = RawPeer()
        self.addCleanup(moved.close)
        self.peer.in_dialog("INVITE", invite, 2, body=sdp(moved.port))
        self.peer.expect("SIP/2.0 200")
        self.peer.in_dialog("ACK", invite, 2)
        self.assertIsNotNone(moved.receive_bytes(timeout=3), "no RTP after the move")
        self.rtp.receive_all(0.1)  # what was sent before the move
        self.assertGreater(len(moved.receive_all(1.0)), 30)
        self.assertEqual(self.rtp.receive_all(0.5), [])

    def test_remote_target_keeps_its_parameters(self):
        alias = f";alias={LOOPBACK}~{self.peer.port}~1"
        self.connect(contact=f"<sip:peer@{LOOPBACK}:{self.peer.port}{alias}>;expires=60")
        self.assertTrue(self.ua.call("Disconnect", 0))
        bye = self.peer.expect("BYE")
        self.assertEqual(bye.split(" ")[1], f"sip:peer@{LOOPBACK}:{self.peer.port}{alias}")

    def test_symmetric_response_goes_where_the_request_came_from(self):
        elsewhere = RawPeer()
        self.addCleanup(elsewhere.close)
        self.peer.request("OPTIONS", self.sip_port, "rport-1", 1, via_port=elsewhere.port)
        answer = self.peer.expect("SIP/2.0 200")
        self.assertIn(f"rport={self.peer.port}", header(answer, "Via"))
        self.assertIsNone(elsewhere.receive(timeout=0.5))


class RegistrationTest(PeerTestCase):
    def register(self):
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        return self.peer.expect("REGISTER")

    def forge_answers(self, register):
        for status, reason in ((100, "Trying"), (200, "OK"), (403, "Forbidden")):
            forged = register.replace(header(register, "Call-ID"), "forged-call-id")
            self.peer.answer(forged, status, reason, to_tag=None)

    def test_forged_answers_do_not_stop_the_refresh(self):
        register = self.register()
        self.forge_answers(register)
        resent = self.peer.expect("REGISTER", timeout=4)
        self.assertEqual(header(resent, "CSeq"), header(register, "CSeq"))
        self.peer.answer(resent, 200, "OK", to_tag=None, extra="Expires: 5\r\n")
        self.ua.wait_event("OnSuccessToRegister")
        self.forge_answers(register)
        refresh = self.peer.expect("REGISTER", timeout=4)
        self.peer.answer(refresh, 200, "OK", to_tag=None, extra="Expires: 4000000000\r\n")
        self.ua.wait_event("OnSuccessToReRegister")
        self.assertEqual([t for t in self.peer.quiet(3) if t.startswith("REGISTER")], [])
        self.assert_no_call_events("OnFailToRegister", "OnFailToReRegister")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 0, "orvua still answers")

    def test_a_lost_challenged_register_is_resent_and_times_out(self):
        register = self.register()
        self.peer.answer(register, 401, "Unauthorized", to_tag=None, extra=WWW_CHALLENGE.format(n=1))
        lost = self.peer.expect("REGISTER")
        self.assertIsNotNone(header(lost, "Authorization"))
        resent = self.peer.expect("REGISTER", timeout=4)
        self.assertEqual(resent.split("\r\n"), lost.split("\r\n"))
        self.ua.wait_event("OnFailToRegister", timeout=20)
        self.peer.quiet(0.2)
        self.assertGreater(len([t for _, t in self.peer.got if t.startswith("REGISTER")]), 3)


if __name__ == "__main__":
    unittest.main()
