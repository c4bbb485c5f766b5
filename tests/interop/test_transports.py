"""SIP over TCP and TLS: orvua and baresip registered with kamailio over the same
transport call each other through it, with voice; kamailio restarts; certificates that
do not verify; a test CA named by ORVSIP_TLS_CA_FILE."""
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from audio_check import assert_tone, tone
from orvua_driver import (LOOPBACK, Baresip, Kamailio, Orvua, TestCertificates, free_udp_port, udp_port_bound,
                          write_wav)

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
        self.assertIn(("REGISTER", name), self.kamailio.requests())

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
        # The test's own OPTIONS probes aside, nothing reached kamailio over UDP.
        self.assertEqual({protocol for method, protocol in self.kamailio.requests() if method != "OPTIONS"}, {name})
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


def orvua_for(test, proxy, ca_file=None, extra=None):
    """An initialised orvua for `proxy`, trusting `ca_file` beside the system's CAs
    (only those without it, whatever the test's own environment says)."""
    environment = {"ORVSIP_TLS_CA_FILE": ca_file or ""}
    environment.update(extra or {})
    ua = Orvua(env=environment)
    test.addCleanup(ua.quit)
    test.assertTrue(ua.initialize(free_udp_port(), proxy=proxy))
    return ua


def problems(ua):
    """The diagnostics that are no SIP message: what the transport had to say."""
    return [a[0] for a in ua.pending("OnIncomingDiagnostic") if not a[0].startswith(("SIP/2.0", "OPTIONS", "INVITE"))]


class TlsTrustTest(unittest.TestCase):
    """A certificate that does not verify ends the registration; nothing goes in clear."""

    def test_unknown_ca_and_another_name_fail_and_the_named_ca_registers(self):
        certificates = TestCertificates()
        kamailio = Kamailio({"1001": "secret"}, certificates=certificates)
        self.addCleanup(kamailio.stop)
        proxy = f"{LOOPBACK}:{kamailio.tls_port};transport=tls"

        unknown = orvua_for(self, proxy)
        self.assertTrue(unknown.call("RegisterToProxy", 3600))
        unknown.wait_event("OnFailToRegister", timeout=10)
        said = problems(unknown)
        self.assertTrue(any("certificate verify failed" in text and "local issuer" in text for text in said), said)
        self.assertEqual(unknown.pending("OnOutgoingDiagnostic"), [], "nothing was sent")
        # A call to the same server fails the same way, and its line is free again.
        self.assertTrue(unknown.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(unknown.call("Connect", 0, f"sip:2002@{proxy}", -1, -1))
        self.assertEqual(unknown.wait_event("OnFailToConnect", timeout=10), [0])
        self.assertFalse(unknown.call("IsLineBusy", 0))
        self.assertEqual(unknown.pending("OnOutgoingDiagnostic"), [], "no INVITE was sent")

        renamed = TestCertificates(names=("other.test",))
        elsewhere = Kamailio({"1001": "secret"}, certificates=renamed)
        self.addCleanup(elsewhere.stop)
        mismatched = orvua_for(self, f"{LOOPBACK}:{elsewhere.tls_port};transport=tls", renamed.ca)
        self.assertTrue(mismatched.call("RegisterToProxy", 3600))
        mismatched.wait_event("OnFailToRegister", timeout=10)
        said = problems(mismatched)
        self.assertTrue(any("IP address mismatch" in text for text in said), said)
        self.assertEqual(mismatched.pending("OnOutgoingDiagnostic"), [])

        time.sleep(0.5)
        self.assertEqual([m for m, _ in kamailio.requests() + elsewhere.requests() if m == "REGISTER"], [],
                         "no REGISTER reached kamailio on any socket")

        trusted = orvua_for(self, proxy, certificates.ca)
        self.assertTrue(trusted.call("RegisterToProxy", 3600))
        trusted.wait_event("OnSuccessToRegister", timeout=10)
        self.assertIn(("REGISTER", "TLS"), kamailio.requests())


class ReconnectTest(unittest.TestCase):
    def test_a_restarted_registrar_is_connected_to_and_registered_with_again_at_once(self):
        certificates = TestCertificates()
        kamailio = Kamailio({"1001": "secret"}, certificates=certificates)
        self.addCleanup(kamailio.stop)
        ua = orvua_for(self, f"{LOOPBACK}:{kamailio.tls_port};transport=tls", certificates.ca)
        self.assertTrue(ua.call("RegisterToProxy", 3600))
        ua.wait_event("OnSuccessToRegister", timeout=10)
        kamailio.restart()
        back = time.monotonic()
        ua.wait_event("OnSuccessToReRegister", timeout=5)
        self.assertLess(time.monotonic() - back, 5)
        self.assertTrue(kamailio.is_registered("1001"), "the new kamailio knows orvua")
        self.assertTrue(any("broke" in text for text in problems(ua)), problems(ua))
        self.assertEqual(ua.pending("OnFailToReRegister"), [])


class Dnsmasq:
    """dnsmasq answering for a test domain on a free loopback port, nothing else."""

    def __init__(self, *records):
        self.port = free_udp_port()
        self.process = subprocess.Popen(
            ["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--no-resolv", "--no-hosts",
             "--no-poll", "--pid-file=", f"--port={self.port}", "--listen-address=127.0.0.1", "--bind-interfaces",
             "--user=root", *records], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        # Read from the kernel's table: a probe bind could take the port from dnsmasq.
        while not udp_port_bound(self.port):
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError("dnsmasq did not start")
            time.sleep(0.05)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class DnsLocationTest(unittest.TestCase):
    def test_the_domain_registers_over_tls_at_its_second_server_when_the_first_refuses(self):
        certificates = TestCertificates(names=("example.test", "127.0.0.1"))
        kamailio = Kamailio({"1001": "secret"}, certificates=certificates)
        self.addCleanup(kamailio.stop)
        refusing = free_udp_port()
        dns = Dnsmasq(f"--srv-host=_sips._tcp.example.test,first.example.test,{refusing},10,0",
                      f"--srv-host=_sips._tcp.example.test,second.example.test,{kamailio.tls_port},20,0",
                      f"--srv-host=_sip._udp.example.test,second.example.test,{kamailio.port},10,0",
                      "--host-record=first.example.test,127.0.0.1", "--host-record=second.example.test,127.0.0.1")
        self.addCleanup(dns.stop)
        ua = orvua_for(self, "example.test", certificates.ca, {"ORVSIP_DNS_SERVER": f"127.0.0.1:{dns.port}"})
        self.assertTrue(ua.call("RegisterToProxy", 3600))
        ua.wait_event("OnSuccessToRegister", timeout=15)
        self.assertTrue(any(f"TLS connection to 127.0.0.1:{refusing} failed" in text for text in problems(ua)),
                        problems(ua))
        registers = [a for a in ua.pending("OnOutgoingDiagnostic") if a[0].startswith("REGISTER ")]
        self.assertTrue(registers)
        for text, address, port in registers:
            self.assertEqual((address, port), (LOOPBACK, kamailio.tls_port))
            self.assertTrue(header(text, "Via").startswith("SIP/2.0/TLS "), text)
        self.assertIn(("REGISTER", "TLS"), kamailio.requests())
        self.assertNotIn(("REGISTER", "UDP"), kamailio.requests(), "never in clear while TLS is offered")


class SlowDnsServer:
    """Answers every query with "no such name", two seconds late."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((LOOPBACK, 0))
        self.port = self.socket.getsockname()[1]
        self.queries = 0
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                query, peer = self.socket.recvfrom(512)
            except OSError:
                return
            self.queries += 1
            answer = query[:2] + bytes([0x81, 0x83]) + query[4:6] + bytes(6) + query[12:]
            threading.Timer(2.0, self._answer, (answer, peer)).start()

    def _answer(self, answer, peer):
        try:
            self.socket.sendto(answer, peer)
        except OSError:
            pass

    def close(self):
        self.socket.close()


class SlowDnsTest(unittest.TestCase):
    def test_a_slow_look_up_holds_neither_the_loop_nor_another_lines_voice(self):
        dns = SlowDnsServer()
        self.addCleanup(dns.close)
        directory = tempfile.mkdtemp(prefix="orvua-slow-dns-")
        caller_mic, callee_mic = os.path.join(directory, "caller.wav"), os.path.join(directory, "callee.wav")
        heard = os.path.join(directory, "heard.wav")
        write_wav(caller_mic, tone(ORVUA_TONE, 2))
        write_wav(callee_mic, tone(PEER_TONE, 2))
        callee = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": callee_mic,
                            "ORVSIP_VIRTUAL_SPEAKER": heard})
        self.addCleanup(callee.quit)
        callee_port = free_udp_port()
        self.assertTrue(callee.initialize(callee_port, sound=True, proxy=""))
        self.assertTrue(callee.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        caller = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": caller_mic,
                            "ORVSIP_DNS_SERVER": f"127.0.0.1:{dns.port}"})
        self.addCleanup(caller.quit)
        self.assertTrue(caller.initialize(free_udp_port(), lines=2, sound=True, proxy=""))
        for line in (0, 1):
            self.assertTrue(caller.call("OpenLine", line, True, LOOPBACK, free_udp_port()))
        for ua in (caller, callee):
            self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        self.assertTrue(caller.call("Connect", 0, f"sip:1002@{LOOPBACK}:{callee_port}", -1, -1))
        call_id = callee.wait_event("OnIncomingCall")[0]
        self.assertTrue(callee.call("AcceptCall", 0, call_id, -1, -1))
        caller.wait_event("OnSuccessToConnect")
        caller.drain(1)

        self.assertTrue(caller.call("Connect", 1, "sip:3000@slow.test", -1, -1))
        started = time.monotonic()
        longest = 0
        while time.monotonic() - started < 2.5:
            before = time.monotonic()
            caller.send("wait 100")
            self.assertTrue(caller.call("IsLineBusy", 0))
            longest = max(longest, time.monotonic() - before)
        self.assertLess(longest, 0.5, "RunFor(100) came back in time while the name was looked up")
        self.assertGreaterEqual(dns.queries, 1)
        self.assertEqual(caller.wait_event("OnFailToConnect", timeout=15), [1])
        self.assertTrue(caller.call("IsLineBusy", 0))
        self.assertTrue(caller.call("Disconnect", 0))
        callee.wait_event("OnDisconnectCall")
        self.assertEqual(callee.quit(), 0)
        assert_tone(self, heard, ORVUA_TONE, min_seconds=4.0)


def rss_kib(process):
    with open(f"/proc/{process.pid}/status") as handle:
        for line in handle:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class HostileStreamTest(unittest.TestCase):
    """Peers that abuse orvua's TCP listen port never hold up its loop or its memory."""

    def setUp(self):
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.port = free_udp_port()
        self.assertTrue(self.ua.initialize(self.port, proxy=""))
        self.connections = []
        self.addCleanup(self.close_all)
        self.asked = 0

    def close_all(self):
        for connection in self.connections:
            connection.close()

    def connect(self):
        connection = socket.create_connection((LOOPBACK, self.port), timeout=5)
        self.connections.append(connection)
        return connection

    def options(self, via):
        self.asked += 1
        return (f"OPTIONS sip:1001@127.0.0.1:{self.port} SIP/2.0\r\n"
                f"Via: SIP/2.0/{via} 127.0.0.1:9;branch=z9hG4bKhostile{self.asked}\r\n"
                f"From: <sip:probe@127.0.0.1>;tag=h{self.asked}\r\nTo: <sip:1001@127.0.0.1>\r\n"
                f"Call-ID: hostile-{self.asked}\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\n"
                "Content-Length: 0\r\n\r\n").encode()

    def assert_answers_options(self):
        """OPTIONS is answered within a second over UDP and over a new connection."""
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind((LOOPBACK, 0))
        probe.settimeout(1)
        started = time.monotonic()
        probe.sendto(self.options("UDP").replace(b"127.0.0.1:9", f"127.0.0.1:{probe.getsockname()[1]}".encode()),
                     (LOOPBACK, self.port))
        self.assertTrue(probe.recv(65535).startswith(b"SIP/2.0 200 OK"))
        probe.close()
        connection = self.connect()
        connection.settimeout(1)
        connection.sendall(self.options("TCP"))
        answer = b""
        while b"\r\n\r\n" not in answer:
            answer += connection.recv(65535)
        self.assertTrue(answer.startswith(b"SIP/2.0 200 OK"), answer)
        self.assertLess(time.monotonic() - started, 1.0)

    @staticmethod
    def still_open(connection):
        try:
            return connection.recv(1) != b""
        except BlockingIOError:
            return True
        except OSError:
            return False

    def closed_by_orvua(self, connection, seconds):
        connection.settimeout(seconds)
        try:
            while connection.recv(65536):
                pass
        except ConnectionResetError:
            pass
        except socket.timeout:
            return False
        return True

    def test_floods_huge_headers_and_lengths_cut_and_slow_messages(self):
        baseline = rss_kib(self.ua.process)
        header_flood = self.connect()
        header_flood.sendall(b"OPTIONS sip:x SIP/2.0\r\nX: " + b"a" * (1 << 20))
        self.assertTrue(self.closed_by_orvua(header_flood, 3), "a 1 MB header section closes its connection")
        huge_length = self.connect()
        huge_length.sendall(self.options("TCP").replace(b"Content-Length: 0", b"Content-Length: 1000000000"))
        self.assertTrue(self.closed_by_orvua(huge_length, 3), "a Content-Length of 10^9 closes its connection")
        self.assert_answers_options()

        # 1000 connections: the oldest idle ones give way, the user agent goes on.
        crowd = [self.connect() for _ in range(1000)]
        self.assert_answers_options()
        for connection in crowd:
            connection.setblocking(False)
        deadline = time.monotonic() + 10
        while (alive := sum(1 for c in crowd if self.still_open(c))) > 128 and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertLessEqual(alive, 128, "no more than 128 inbound connections are kept")
        for connection in crowd:
            connection.close()
        self.connections = [c for c in self.connections if c not in crowd]

        # A byte a second, and a message cut half way: both end ten seconds after their
        # first byte, while everything else goes on.
        cut = self.connect()
        cut.sendall(self.options("TCP")[:60])
        slow = self.connect()
        slow_message = self.options("TCP")
        started = time.monotonic()
        sent = 0
        while sent < 15:
            try:
                slow.send(slow_message[sent:sent + 1])
            except OSError:
                break
            sent += 1
            self.assert_answers_options()
            time.sleep(max(0.0, started + sent - time.monotonic()))
        self.assertTrue(self.closed_by_orvua(slow, 3), "a message not complete after 10 s closes its connection")
        self.assertGreaterEqual(time.monotonic() - started, 9.5)
        self.assertLess(sent, 14)
        self.assertTrue(self.closed_by_orvua(cut, 1))
        self.assertLess(rss_kib(self.ua.process) - baseline, 64 * 1024, "memory stays bounded")
        self.assertTrue(self.ua.call("GetMyIP"))


if __name__ == "__main__":
    unittest.main()
