"""SIP over TCP and TLS: orvua and baresip registered with kamailio over the same
transport call each other through it, with voice; kamailio restarts; certificates that
do not verify; a test CA named by ORVSIP_TLS_CA_FILE."""
import os
import shutil
import tempfile
import time
import unittest

from audio_check import assert_tone, tone
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, TestCertificates, free_udp_port, write_wav

ORVUA_TONE = 1000
PEER_TONE = 600


def first_line(text):
    return text.split("\r\n", 1)[0]


def header(text, name):
    for line in text.split("\r\n"):
        if line.lower().startswith(name.lower() + ":"):
            return line.split(":", 1)[1].strip()
    return ""


class StreamCallTest(unittest.TestCase):
    """One transport (TCP or TLS) between orvua, kamailio and baresip, for a whole flow."""

    def start(self, transport):
        self.transport = transport
        self.certificates = TestCertificates()
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2"}, certificates=self.certificates)
        self.addCleanup(self.kamailio.stop)
        self.proxy_port = self.kamailio.tls_port if transport == "tls" else self.kamailio.port
        self.proxy = f"{LOOPBACK}:{self.proxy_port};transport={transport}"
        directory = tempfile.mkdtemp(prefix="orvua-streams-")
        peer_file = os.path.join(directory, "peer.wav")
        write_wav(peer_file, tone(PEER_TONE, 120))
        self.baresip = Baresip(f"<sip:2002@{self.proxy}>;auth_pass=secret2;answermode=auto", audio_file=peer_file,
                               extra_config=f"sip_cafile\t\t{self.certificates.ca}\n")
        self.addCleanup(self.baresip.stop)
        self.microphone = os.path.join(directory, "mic.wav")
        self.speaker = os.path.join(directory, "speaker.wav")
        write_wav(self.microphone, tone(ORVUA_TONE, 2))
        self.ua = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": self.microphone,
                             "ORVSIP_VIRTUAL_SPEAKER": self.speaker, "ORVSIP_TLS_CA_FILE": self.certificates.ca})
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=self.proxy, sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.ua.call("DeselectAllVoiceCodec")
        self.assertTrue(self.ua.call("SelectVoiceCodec", 3))

    def register(self):
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister", timeout=15)
        deadline = time.monotonic() + 10
        while not self.kamailio.is_registered("2002"):
            self.assertLess(time.monotonic(), deadline, "baresip did not register:\n" + self.baresip.log())
            time.sleep(0.2)

    def sent(self, method):
        return [a for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith(method + " ")]

    def received(self, start):
        return [a for a in self.ua.pending("OnIncomingDiagnostic") if a[0].startswith(start)]

    def check_flow(self):
        name = self.transport.upper()
        self.register()
        registers = self.sent("REGISTER")
        self.assertEqual(len(registers), 2, "the first REGISTER and its answer to the challenge")
        for text, address, port in registers:
            self.assertEqual((address, port), (LOOPBACK, self.proxy_port))
            self.assertTrue(header(text, "Via").startswith(f"SIP/2.0/{name} "), text)
            self.assertIn(f";transport={self.transport}>", header(text, "Contact"))
        self.assertIn(("REGISTER", name.lower() if name == "TCP" else "tls"),
                      [(m, p.lower()) for m, p in self.kamailio.requests()])
        self.assertNotIn(("REGISTER", "UDP"), self.kamailio.requests())

        # orvua calls baresip; voice both ways; hold and unhold; digits; orvua hangs up.
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{self.proxy}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        invite = self.sent("INVITE")[-1]
        self.assertEqual(invite[1:], [LOOPBACK, self.proxy_port])
        self.assertTrue(header(invite[0], "Via").startswith(f"SIP/2.0/{name} "))
        self.ua.drain(3)
        self.assertTrue(self.ua.call("HoldLine", 0))
        self.ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("SIP/2.0 200 OK")
                           and "INVITE" in header(a[0], "CSeq") and "sendonly" not in a[0], timeout=10)
        self.assertTrue(self.ua.call("UnHoldLine", 0))
        self.ua.drain(3)
        for digit in ("7", "#"):
            self.assertTrue(self.ua.call("DigitDTMF", 0, digit))
            self.assertEqual(self.baresip.wait_event("CALL_DTMF_START").get("param"), digit)
            self.ua.drain(0.7)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        # The virtual speaker's file starts again with the next call.
        first_call_heard = self.speaker + ".first.wav"
        shutil.copy(self.speaker, first_call_heard)
        for method in ("INVITE", "ACK", "BYE"):
            for text, address, port in self.sent(method):
                self.assertEqual((address, port), (LOOPBACK, self.proxy_port), method)
                self.assertTrue(header(text, "Via").startswith(f"SIP/2.0/{name} "), text)

        # baresip calls orvua: the INVITE comes over the connection the registration
        # opened; baresip hangs up.
        self.baresip.command("dial", f"sip:1001@{self.proxy}")
        call_id = self.ua.wait_event("OnIncomingCall", timeout=15)[0]
        incoming = self.received("INVITE ")[-1]
        self.assertEqual(incoming[1:], [LOOPBACK, self.proxy_port], "over the registration's connection")
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        ok = [a for a in self.sent("SIP/2.0") if a[0].startswith("SIP/2.0 200") and "INVITE" in header(a[0], "CSeq")]
        self.assertIn(f";transport={self.transport}>", header(ok[-1][0], "Contact"))
        self.ua.drain(1)
        self.baresip.command("hangup")
        self.assertEqual(self.ua.wait_event("OnDisconnectCall"), [0])

        # baresip calls again and orvua hangs up.
        self.baresip.command("dial", f"sip:1001@{self.proxy}")
        call_id = self.ua.wait_event("OnIncomingCall", timeout=15)[0]
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        self.assertNotIn("UDP", {protocol for _, protocol in self.kamailio.requests()},
                         "nothing went over UDP: " + str(self.kamailio.requests()))
        self.assertEqual(self.ua.quit(), 0)
        self.baresip.stop()
        received = sorted(name for name in os.listdir(self.baresip.record_dir) if name.endswith("-dec.wav"))
        self.assertTrue(received, os.listdir(self.baresip.record_dir))
        assert_tone(self, os.path.join(self.baresip.record_dir, received[0]), ORVUA_TONE)
        assert_tone(self, first_call_heard, PEER_TONE)

    def test_tcp(self):
        self.start("tcp")
        self.check_flow()

    def test_tls(self):
        self.start("tls")
        self.check_flow()


if __name__ == "__main__":
    unittest.main()
