"""Registration against kamailio (digest) and against sipp registrars, on loopback."""
import socket
import threading
import time
import unittest

from orvua_driver import LOOPBACK, Kamailio, Orvua, Sipp, free_udp_port
from sip_text import branch, cseq_number, header, tag


def gaps(stamps):
    return [round(b - a, 1) for a, b in zip(stamps, stamps[1:])]


class RegistrarTestCase(unittest.TestCase):
    def start_orvua(self, registrar_port, password="secret"):
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{registrar_port}",
                                           password=password))

    def start_sipp(self, scenario):
        sipp = Sipp(scenario)
        self.addCleanup(sipp.stop)
        return sipp


class KamailioRegistrationTest(RegistrarTestCase):
    def setUp(self):
        self.kamailio = Kamailio({"1001": "secret"})
        self.addCleanup(self.kamailio.stop)

    def test_digest_registration_and_unregistration(self):
        self.start_orvua(self.kamailio.port)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister", timeout=10)
        answers = [args[0] for args in self.ua.pending("OnIncomingDiagnostic")]
        self.assertTrue(any(a.startswith("SIP/2.0 401") for a in answers), "a 401 round came first")
        self.assertTrue(self.kamailio.is_registered("1001"), self.kamailio.log())
        self.assertTrue(self.ua.call("UnRegisterToProxy"))
        self.ua.wait_event("OnSuccessToUnRegister")
        self.assertFalse(self.kamailio.is_registered("1001"))
        self.assertEqual(self.ua.quit(), 0)

    def test_wrong_password_fails_after_the_final_answer(self):
        self.start_orvua(self.kamailio.port, password="wrong")
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnFailToRegister", timeout=10)
        received = [args[0] for args in self.ua.pending("OnIncomingDiagnostic")]
        self.assertTrue(any(a.startswith("SIP/2.0 403") for a in received), received)
        self.assertEqual(self.ua.pending("OnSuccessToRegister"), [])
        self.assertFalse(self.kamailio.is_registered("1001"))


class RefreshTest(RegistrarTestCase):
    def test_expires_5_is_refreshed_2_seconds_later_in_the_same_call(self):
        sipp = self.start_sipp("registrar_expires5.xml")
        self.start_orvua(sipp.local_port)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        self.ua.wait_event("OnSuccessToReRegister", timeout=8)
        self.assertEqual(self.ua.pending("OnSuccessToRegister"), [])
        self.assertEqual(sipp.wait(10), 0, sipp.log())
        (t1, first), (t2, refresh) = sipp.received("REGISTER")
        self.assertAlmostEqual(t2 - t1, 2.0, delta=0.4)
        self.assertEqual(header(first, "Call-ID"), header(refresh, "Call-ID"))
        self.assertNotEqual(tag(header(first, "From")), tag(header(refresh, "From")))
        self.assertNotEqual(branch(first), branch(refresh))
        self.assertEqual(cseq_number(refresh), cseq_number(first) + 1)
        self.assertEqual(header(first, "Expires"), "3600")

    def test_without_any_expiry_the_refresh_comes_17_seconds_later(self):
        sipp = self.start_sipp("registrar_no_expires.xml")
        self.start_orvua(sipp.local_port)
        self.assertTrue(self.ua.call("RegisterToProxy", 60))
        self.ua.wait_event("OnSuccessToRegister")
        self.ua.wait_event("OnSuccessToReRegister", timeout=22)
        self.assertEqual(sipp.wait(10), 0, sipp.log())
        (t1, _), (t2, _) = sipp.received("REGISTER")
        self.assertAlmostEqual(t2 - t1, 17.0, delta=0.5)


class FailureTest(RegistrarTestCase):
    def test_trying_stops_resends_and_timeout(self):
        sipp = self.start_sipp("registrar_trying_only.xml")
        self.start_orvua(sipp.local_port)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnTryingToRegister")
        self.ua.drain(17)
        self.assertEqual(self.ua.pending("OnFailToRegister"), [])
        self.assertEqual(len(sipp.received("REGISTER")), 1, sipp.log())

    def test_silence_gives_resends_every_3_seconds_then_failure_at_15(self):
        sipp = self.start_sipp("registrar_silent.xml")
        self.start_orvua(sipp.local_port)
        started = time.monotonic()
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        _, failed_at = self.ua.wait_event_at("OnFailToRegister", timeout=20)
        self.assertAlmostEqual(failed_at - started, 15.0, delta=0.6)
        stamps = [stamp for stamp, _ in sipp.received("REGISTER")]
        self.assertEqual(len(stamps), 5, sipp.log())
        for gap in gaps(stamps):
            self.assertAlmostEqual(gap, 3.0, delta=0.3)

    def test_forbidden_fails(self):
        sipp = self.start_sipp("registrar_forbidden.xml")
        self.start_orvua(sipp.local_port)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnFailToRegister")
        self.assertEqual(self.ua.pending("OnSuccessToRegister"), [])

    def test_endless_challenges_end_in_failure(self):
        sipp = self.start_sipp("registrar_always_challenges.xml")
        self.start_orvua(sipp.local_port)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnFailToRegister")
        self.assertEqual(sipp.wait(10), 0, sipp.log())
        registers = [text for _, text in sipp.received("REGISTER")]
        self.assertEqual(len(registers), 4)
        self.assertIsNone(header(registers[0], "Authorization"))
        for number, text in enumerate(registers[1:], start=1):
            self.assertIn(f"nc={number:08x}", header(text, "Authorization"))
            self.assertEqual(header(text, "Call-ID"), header(registers[0], "Call-ID"))

    def test_unanswered_unregister_is_resent_each_second_then_fails_at_4(self):
        sipp = self.start_sipp("registrar_ignores_unregister.xml")
        self.start_orvua(sipp.local_port)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        started = time.monotonic()
        self.assertTrue(self.ua.call("UnRegisterToProxy"))
        self.assertAlmostEqual(time.monotonic() - started, 4.0, delta=0.5)
        self.ua.wait_event("OnFailToUnRegister")
        self.assertTrue(self.ua.call("UnRegisterToProxy"), "not registered any more: nothing to do")
        unregisters = [(stamp, text) for stamp, text in sipp.received("REGISTER") if header(text, "Expires") == "0"]
        self.assertEqual(len(unregisters), 4, sipp.log())
        for gap in gaps([stamp for stamp, _ in unregisters]):
            self.assertAlmostEqual(gap, 1.0, delta=0.2)


class TinyRegistrar:
    """Answers every REGISTER with 200 and counts keep-alive datagrams."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((LOOPBACK, 0))
        self.socket.settimeout(0.2)
        self.port = self.socket.getsockname()[1]
        self.keepalives = []
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while self.running:
            try:
                data, source = self.socket.recvfrom(65535)
            except socket.timeout:
                continue
            text = data.decode(errors="replace")
            if text == "\r\n":
                self.keepalives.append(time.monotonic())
            elif text.startswith("REGISTER"):
                lines = [line for line in text.split("\r\n") if line.split(":")[0] in
                         ("Via", "From", "To", "Call-ID", "CSeq", "Contact")]
                answer = "SIP/2.0 200 OK\r\n" + "\r\n".join(lines) + "\r\nExpires: 3600\r\nContent-Length: 0\r\n\r\n"
                self.socket.sendto(answer.encode(), source)

    def stop(self):
        self.running = False
        self.thread.join()
        self.socket.close()


class KeepAliveTest(RegistrarTestCase):
    def test_crlf_every_second_only_while_registered_and_unannounced(self):
        registrar = TinyRegistrar()
        self.addCleanup(registrar.stop)
        self.start_orvua(registrar.port)
        self.assertTrue(self.ua.call("EnableKeepAlive", 1))
        self.ua.drain(2.2)
        self.assertEqual(registrar.keepalives, [], "nothing before registration")
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        self.ua.drain(4.2)
        count = len(registrar.keepalives)
        self.assertIn(count, (4, 5), registrar.keepalives)
        for gap in gaps(registrar.keepalives):
            self.assertAlmostEqual(gap, 1.0, delta=0.2)
        self.assertTrue(self.ua.call("UnRegisterToProxy"))
        self.ua.wait_event("OnSuccessToUnRegister")
        count = len(registrar.keepalives)
        self.ua.drain(2.5)
        self.assertEqual(len(registrar.keepalives), count, "nothing once unregistered")
        outgoing = [args[0] for args in self.ua.pending("OnOutgoingDiagnostic")]
        self.assertFalse(any(text.strip() == "" for text in outgoing))
        self.assertFalse(self.ua.call("EnableKeepAlive", 0))


class RegistrationErrorsTest(unittest.TestCase):
    def test_register_needs_initialize_and_a_registrar(self):
        ua = Orvua()
        self.addCleanup(ua.quit)
        self.assertFalse(ua.call("RegisterToProxy", 3600))
        self.assertEqual(ua.call("GetOrvObjectError"), 10)
        self.assertFalse(ua.call("UnRegisterToProxy"))
        self.assertFalse(ua.call("EnableKeepAlive", 5))
        self.assertTrue(ua.initialize(free_udp_port(), proxy='"unclosed <sip:x'))
        self.assertFalse(ua.call("RegisterToProxy", 3600))
        self.assertEqual(ua.call("GetOrvObjectError"), 26)
        self.assertTrue(ua.call("UnRegisterToProxy"), "not registered: nothing to do")
        ua.drain(0.3)
        self.assertEqual(ua.pending("OnOutgoingDiagnostic"), [])


if __name__ == "__main__":
    unittest.main()
