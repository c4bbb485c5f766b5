"""orvua and the user agent core against raw datagrams and sipp, on loopback."""
import socket
import unittest

from orvua_driver import LOOPBACK, Orvua, RawPeer, Sipp, free_udp_port


def options(peer_port, call_id="raw-1@127.0.0.1", extra=""):
    return (f"OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\n"
            f"Via: SIP/2.0/UDP 127.0.0.1:{peer_port};branch=z9hG4bKraw\r\n"
            f"From: <sip:raw@127.0.0.1>;tag=r1\r\nTo: <sip:1001@127.0.0.1>\r\n"
            f"Call-ID: {call_id}\r\nCSeq: 1 OPTIONS\r\n{extra}Content-Length: 0\r\n\r\n")


class CoreTest(unittest.TestCase):
    def setUp(self):
        self.port = free_udp_port()
        self.ua = Orvua()
        self.peer = RawPeer()
        self.addCleanup(self.peer.close)
        self.addCleanup(self.ua.quit)

    def test_any_datagram_is_announced_and_garbage_dropped(self):
        self.assertTrue(self.ua.initialize(self.port))
        self.peer.send(b"\x00\xff binary", self.port)
        self.peer.send(b"NOT SIP\xc3\x28 at all\r\n\r\n", self.port)
        self.peer.send(b"OPTIONS sip:x SIP/2.0\r\nVia: broken\r\n" + bytes(range(1, 200)), self.port)
        self.peer.send(options(self.peer.port), self.port)
        answer = self.peer.receive()
        self.assertIsNotNone(answer, "the user agent stopped answering after garbage")
        self.assertTrue(answer.startswith("SIP/2.0 200 OK\r\n"))
        first = self.ua.wait_event("OnIncomingDiagnostic")
        self.assertEqual(first, ["", LOOPBACK, self.peer.port], "text ends at the first zero byte")
        second = self.ua.wait_event("OnIncomingDiagnostic")
        self.assertTrue(second[0].startswith("NOT SIP"))
        self.ua.wait_event("OnIncomingDiagnostic")
        fourth = self.ua.wait_event("OnIncomingDiagnostic")
        self.assertEqual(fourth, [options(self.peer.port), LOOPBACK, self.peer.port])
        sent = self.ua.wait_event("OnOutgoingDiagnostic")
        self.assertEqual(sent, [answer, LOOPBACK, self.peer.port])
        self.assertEqual(self.ua.quit(), 0)

    def test_sipp_options_is_answered(self):
        self.assertTrue(self.ua.initialize(self.port))
        sipp = Sipp("options_uac.xml", remote_port=self.port)
        self.addCleanup(sipp.stop)
        self.assertEqual(sipp.wait(30), 0, sipp.log())
        text, ip, port = self.ua.wait_event("OnIncomingDiagnostic")
        self.assertTrue(text.startswith("OPTIONS sip:1001@127.0.0.1"))
        self.assertEqual((ip, port), (LOOPBACK, sipp.local_port))

    def test_initialize_and_line_errors(self):
        self.assertFalse(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 10)
        self.assertTrue(self.ua.initialize(self.port, lines=2))
        other = Orvua()
        self.addCleanup(other.quit)
        self.assertFalse(other.initialize(self.port))
        self.assertEqual(other.call("GetOrvObjectError"), 11)
        self.assertFalse(self.ua.call("IsLineOpen", 2))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 29)
        self.assertFalse(self.ua.call("CloseLine", -1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 29)
        self.assertTrue(self.ua.call("OpenLine", 1, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("IsLineOpen", 1))
        self.assertFalse(self.ua.call("IsLineOpen", 0))
        self.assertTrue(self.ua.initialize(self.port, lines=1), "a second Initialize restarts")
        self.assertFalse(self.ua.call("IsLineOpen", 1))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 29)
        self.assertFalse(self.ua.initialize(self.port, lines=2147483647), "no memory for that many lines")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 29)
        self.assertTrue(self.ua.initialize(self.port, lines=1024))

    def test_console_protocol_errors_and_quoting(self):
        for bad in ("NoSuchMethod 1", "OpenLine 0", "OpenLine zero true 127.0.0.1 7000",
                    'OpenLine 0 true "unclosed', "wait soon"):
            self.ua.send(bad)
            self.assertTrue(self.ua.complaint(), bad)
        self.ua.send("# a comment")
        self.ua.send("")
        self.ua.send("waitfor OnSuccessToRegister 100")
        self.assertEqual(self.ua.complaint(), "timeout OnSuccessToRegister")
        self.assertEqual(self.ua.call("GetOrvObjectError"), 0)
        self.assertEqual(len([l for l in self.ua.transcript if l.startswith("?")]), 6, self.ua.transcript)
        self.assertTrue(self.ua.initialize(self.port))
        self.peer.send('OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\nSubject: "quoted" \\ back\r\n\r\n', self.port)
        text = self.ua.wait_event("OnIncomingDiagnostic")[0]
        self.assertIn('Subject: "quoted" \\ back\r\n', text)

    def test_end_of_input_uninitializes_and_exits_zero(self):
        self.assertTrue(self.ua.initialize(self.port))
        self.ua.process.stdin.close()
        self.assertEqual(self.ua.process.wait(timeout=15), 0)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as again:
            again.bind((LOOPBACK, self.port))


class AnswersTest(unittest.TestCase):
    """Requests outside any call get the specified answers."""

    def setUp(self):
        self.port = free_udp_port()
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(self.port))

    def test_sipp_requests_outside_a_call(self):
        sipp = Sipp("answers_outside_call.xml", remote_port=self.port)
        self.addCleanup(sipp.stop)
        self.assertEqual(sipp.wait(30), 0, sipp.log())

    def test_request_without_call_id_gets_400(self):
        peer = RawPeer()
        self.addCleanup(peer.close)
        request = options(peer.port).replace("Call-ID: raw-1@127.0.0.1\r\n", "")
        peer.send(request, self.port)
        answer = peer.receive()
        self.assertIsNotNone(answer)
        self.assertTrue(answer.startswith("SIP/2.0 400 Missing Call-ID header field\r\n"), answer)
        self.assertIn("CSeq: 1 OPTIONS\r\n", answer)

    def test_request_without_via_gets_no_answer(self):
        peer = RawPeer()
        self.addCleanup(peer.close)
        request = options(peer.port).replace(f"Via: SIP/2.0/UDP 127.0.0.1:{peer.port};branch=z9hG4bKraw\r\n", "")
        peer.send(request, self.port)
        self.assertIsNone(peer.receive(timeout=1))
        self.ua.wait_event("OnIncomingDiagnostic")

    def test_answer_goes_to_the_top_via(self):
        sender, listener = RawPeer(), RawPeer()
        self.addCleanup(sender.close)
        self.addCleanup(listener.close)
        sender.send(options(listener.port), self.port)
        self.assertIsNotNone(listener.receive())
        self.assertIsNone(sender.receive(timeout=0.5))


if __name__ == "__main__":
    unittest.main()
