"""orvua and baresip, both registered with kamailio, call each other through it."""
import time
import unittest

from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, free_udp_port


class BaresipCallTest(unittest.TestCase):
    def setUp(self):
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2"})
        self.addCleanup(self.kamailio.stop)
        self.baresip = Baresip(f"<sip:2002@127.0.0.1:{self.kamailio.port}>;auth_pass=secret2;answermode=auto")
        self.addCleanup(self.baresip.stop)
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{self.kamailio.port}"))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        deadline = time.monotonic() + 10
        while not self.kamailio.is_registered("2002"):
            self.assertLess(time.monotonic(), deadline, "baresip did not register:\n" + self.baresip.log())
            time.sleep(0.2)

    def call_baresip(self):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.kamailio.port}", -1, -1))
        self.ua.wait_event("OnConnecting")
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        received = [args[0].split("\r\n")[0] for args in self.ua.pending("OnIncomingDiagnostic")]
        self.assertIn("SIP/2.0 407 Proxy Authentication Required", received, "kamailio challenged the INVITE")

    def call_orvua(self):
        self.baresip.command("dial", f"sip:1001@{LOOPBACK}:{self.kamailio.port}")
        call_id, display, user, *_ = self.ua.wait_event("OnIncomingCall", timeout=15)
        self.assertEqual(user, "2002")
        self.ua.wait_event("OnIncomingCallRingingStart")
        self.baresip.wait_event("CALL_RINGING")
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")

    def test_orvua_calls_and_hangs_up(self):
        self.call_baresip()
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        self.ua.drain(1)
        self.assertEqual(self.ua.pending("OnDisconnectCall"), [])
        self.assertFalse(self.ua.call("IsLineBusy", 0))

    def test_orvua_calls_and_baresip_hangs_up(self):
        self.call_baresip()
        self.baresip.command("hangup")
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])
        self.baresip.wait_event("CALL_CLOSED")

    def test_bye_after_the_peers_reinvite_still_goes_through_the_proxy(self):
        self.call_baresip()
        self.baresip.command("hold")
        self.ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("INVITE "))
        self.ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("ACK "))
        self.assertTrue(self.ua.call("Disconnect", 0))
        bye = self.ua.wait_event("OnOutgoingDiagnostic", where=lambda a: a[0].startswith("BYE "))
        self.assertEqual(bye[1:], [LOOPBACK, self.kamailio.port], "the route set outlives the re-INVITE")
        self.baresip.wait_event("CALL_CLOSED")

    def test_baresip_calls_and_orvua_hangs_up(self):
        self.call_orvua()
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")

    def test_baresip_calls_and_hangs_up(self):
        self.call_orvua()
        self.baresip.command("hangup")
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])
        self.assertFalse(self.ua.call("IsLineBusy", 0))


if __name__ == "__main__":
    unittest.main()
