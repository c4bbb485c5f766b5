"""Behind a home router: the source filter and latching of RTP, the registrar's view of
this side's address in Contact, STUN for the SDP, keep-alives; on loopback, and through
a real NAT made of network namespaces (nat_lab, root only)."""
import os
import re
import socket
import struct
import tempfile
import threading
import time
import unittest

import nat_lab
from audio_check import assert_tone, goertzel_power, loud_span, read_wav, tone
from nat_lab import HOME, PUBLIC, SERVER, Coturn, NatLab
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, RawPeer, free_udp_port, write_wav
from rtp_media import Collector, PacedSender
from sip_text import body, header, headers
from test_audio import ORVUA_TONE, PEER_TONE, AudioFiles
from test_hold_transfer import assert_tone_at_the_end
from test_hostile_peers import PeerTestCase

FORGED_TONE = 1500
PCMU_CODEC = 3
MEDIA_LINE = re.compile(r"^m=audio (\d+) ", re.MULTILINE)
CONNECTION_LINE = re.compile(r"^c=IN IP4 (\S+)", re.MULTILINE)


def media_address(sdp_text):
    """The c= address and m= port of an SDP body."""
    return CONNECTION_LINE.search(sdp_text).group(1), int(MEDIA_LINE.search(sdp_text).group(1))


def stun_answer(request, ip, port):
    """A Binding success answer to `request` naming ip:port (XOR-MAPPED-ADDRESS)."""
    cookie = struct.pack("!I", 0x2112A442)
    address = bytes(a ^ b for a, b in zip(socket.inet_aton(ip), cookie))
    attribute = struct.pack("!HHBBH", 0x0020, 8, 0, 1, port ^ 0x2112) + address
    return struct.pack("!HH", 0x0101, len(attribute)) + cookie + request[8:20] + attribute


class BoundPeer(RawPeer):
    """A raw UDP socket on another loopback address than 127.0.0.1."""

    def __init__(self, address):
        self.address = address
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((address, 0))
        self.port = self.socket.getsockname()[1]

    def send(self, data, port):
        self.socket.sendto(data, (LOOPBACK, port))


class ForeignRtpTest(PeerTestCase):
    """A stranger sends the call's own stream to its port, from a third address."""

    def setUp(self):
        self.files = AudioFiles(self, "foreign", ORVUA_TONE)
        self.environment = self.files.environment
        super().setUp()

    def test_rtp_from_a_third_address_is_never_played_and_never_steers_the_line(self):
        invite = self.connect()
        _, orvua_rtp = media_address(body(invite))
        arrived = Collector.of_peer(self.rtp)
        self.addCleanup(arrived.stop)
        # The stranger at 127.0.0.3 sends first, as the peer itself would (its SSRC,
        # PCMU, a steady stream); one on the peer's own address but another port
        # joins once the call has settled.
        stranger = BoundPeer("127.0.0.3")
        self.addCleanup(stranger.close)
        forged = PacedSender(stranger, orvua_rtp, tone(FORGED_TONE, 2))
        time.sleep(0.3)
        peer = PacedSender(self.rtp, orvua_rtp, tone(PEER_TONE, 2))
        time.sleep(1)
        neighbour = RawPeer()
        self.addCleanup(neighbour.close)
        forged_too = PacedSender(neighbour, orvua_rtp, tone(FORGED_TONE, 2))
        started = time.monotonic()
        self.ua.drain(3)
        for sender in (forged, peer, forged_too):
            sender.stop()
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.peer.expect("BYE")
        self.assertEqual(self.ua.quit(), 0)

        self.assertGreater(len(arrived.between(started, started + 3)), 0.9 * 50 * 3, "the peer keeps getting audio")
        self.assertEqual(stranger.receive_all(0.2), [], "nothing went to the stranger")
        self.assertEqual(neighbour.receive_all(0.2), [], "nothing went to the other port")
        samples, rate = read_wav(self.files.speaker)
        heard = loud_span(samples, rate, threshold=300)
        assert_tone(self, self.files.speaker, PEER_TONE)
        self.assertLess(goertzel_power(heard, FORGED_TONE, rate), 0.001 * goertzel_power(heard, PEER_TONE, rate),
                        "the stranger's tone was played")


class StunLoopbackTest(PeerTestCase):
    """A scripted STUN server on loopback telling a public address (192.0.2.7)."""

    def test_the_servers_answer_is_the_sdp_address_of_the_whole_call(self):
        self.assertFalse(self.ua.call("SetStunServer", "stun server"))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 11)
        server = RawPeer()
        self.addCleanup(server.close)
        server.socket.settimeout(3)
        self.assertTrue(self.ua.call("SetStunServer", f"{LOOPBACK}:{server.port}"))
        first, source = server.socket.recvfrom(2048)
        again, _ = server.socket.recvfrom(2048)
        self.assertEqual(first[:2], b"\x00\x01", "a Binding request")
        self.assertEqual(again, first, "unanswered, it is sent again as it was")
        server.socket.sendto(stun_answer(again, "192.0.2.7", 40000), source)
        self.ua.drain(0.3)

        invite = self.connect()
        self.assertEqual(media_address(body(invite)), ("192.0.2.7", 40000))
        self.assertIn(f"IN IP4 {LOOPBACK}", body(invite).split("\r\n")[1], "the origin keeps the line's address")
        self.assertIn(f"@{LOOPBACK}:{self.sip_port}>", header(invite, "Contact"), "SIP is not STUN's business")
        self.assertGreater(len(self.rtp.receive_all(1.0)), 30, "the audio goes to the peer as before")
        self.assertTrue(self.ua.call("HoldLine", 0))
        hold = self.peer.expect("INVITE")
        self.assertEqual(media_address(body(hold)), ("0.0.0.0", 40000))
        self.assertTrue(self.ua.call("Disconnect", 0))

        # Off again: the next call names the line's own address.
        self.assertTrue(self.ua.call("SetStunServer", ""))
        invite = self.dial()
        self.assertEqual(media_address(body(invite)), (LOOPBACK, source[1]))


class SeenAddressRegistrar:
    """Answers REGISTER with 200, writing into the top Via the address `seen(n)` gives
    for the n-th REGISTER (received, rport); keeps the REGISTERs and keep-alives."""

    def __init__(self, seen):
        self.seen = seen
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((LOOPBACK, 0))
        self.socket.settimeout(0.2)
        self.port = self.socket.getsockname()[1]
        self.registers, self.keepalives = [], []
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
                self.registers.append(text)
                ip, port = self.seen(len(self.registers))
                via = headers(text, "Via")[0].replace(";rport", f";received={ip};rport={port}")
                lines = [f"Via: {via}"] + [f"{name}: {header(text, name)}" for name in ("From", "To", "Call-ID", "CSeq")]
                answer = "SIP/2.0 200 OK\r\n" + "\r\n".join(lines) + "\r\nExpires: 3600\r\nContent-Length: 0\r\n\r\n"
                self.socket.sendto(answer.encode(), source)

    def stop(self):
        self.running = False
        self.thread.join()
        self.socket.close()


class RegistrarSeenAddressTest(unittest.TestCase):
    def start(self, seen):
        self.registrar = SeenAddressRegistrar(seen)
        self.addCleanup(self.registrar.stop)
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        self.assertTrue(self.ua.initialize(self.sip_port, proxy=f"{LOOPBACK}:{self.registrar.port}"))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        self.ua.drain(0.5)
        self.assertEqual(self.ua.pending("OnSuccessToRegister") + self.ua.pending("OnSuccessToReRegister"), [],
                         "the host hears of one registration")
        return self.registrar.registers

    def test_the_address_the_registrar_saw_is_registered_at_once_and_kept_open(self):
        registers = self.start(lambda n: ("192.0.2.9", 45000))
        self.assertEqual(len(registers), 2)
        own = f"<sip:1001@{LOOPBACK}:{self.sip_port}>"
        self.assertEqual(headers(registers[0], "Contact"), [f'"1001" {own}'])
        self.assertEqual(headers(registers[1], "Contact"), ['"1001" <sip:1001@192.0.2.9:45000>', f"{own};expires=0"])
        self.assertEqual(header(registers[1], "Call-ID"), header(registers[0], "Call-ID"))
        self.assertIn(f"{LOOPBACK}:{self.sip_port};", header(registers[1], "Via"), "Via keeps the local address")

        # Calls name it too.
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}", -1, -1))
        invite = self.ua.wait_event("OnOutgoingDiagnostic", where=lambda a: a[0].startswith("INVITE "))[0]
        self.assertIn("@192.0.2.9:45000>", header(invite, "Contact"))
        self.assertIn(f"{LOOPBACK}:{self.sip_port};", header(invite, "Via"))
        self.assertTrue(self.ua.call("Disconnect", 0))

        # Behind the NAT a keep-alive goes every 25 s at most; a host's shorter period wins.
        self.assertTrue(self.ua.call("EnableKeepAlive", 2))
        self.ua.drain(4.5)
        self.assertEqual(len(self.registrar.keepalives), 2, self.registrar.keepalives)
        self.assertTrue(self.ua.call("EnableKeepAlive", 60))
        changed = time.monotonic()
        deadline = changed + 30
        while time.monotonic() < deadline and len(self.registrar.keepalives) < 3:
            self.ua.drain(0.5)
        self.assertEqual(len(self.registrar.keepalives), 3)
        self.assertAlmostEqual(self.registrar.keepalives[2] - changed, 25, delta=1)

    def test_a_registrar_telling_nonsense_or_ever_new_addresses_gets_no_register_storm(self):
        registers = self.start(lambda n: ("not-an-address", 5060))
        self.assertEqual(len(registers), 1)
        self.assertTrue(self.ua.call("UnRegisterToProxy"))
        self.registrar.registers.clear()
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        self.ua.drain(1)
        self.assertEqual(len(self.registrar.registers), 1)
        self.assertEqual(headers(self.registrar.registers[0], "Contact"),
                         [f'"1001" <sip:1001@{LOOPBACK}:{self.sip_port}>'])

    def test_one_correction_per_registration(self):
        registers = self.start(lambda n: (f"192.0.2.{n}", 40000 + n))
        self.assertEqual(len(registers), 2)
        self.assertEqual(headers(registers[1], "Contact")[0], '"1001" <sip:1001@192.0.2.1:40001>')


@unittest.skipIf(nat_lab.available(), nat_lab.available())
class NatTestCase(unittest.TestCase):
    """orvua at home behind the lab's router; kamailio (no NAT help of its own),
    baresip and coturn on the internet side."""

    def setUp(self):
        self.lab = NatLab()
        self.addCleanup(self.lab.close)
        internet = self.lab.internet
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2", "3003": "secret3"}, host=internet)
        self.addCleanup(self.kamailio.stop)
        self.coturn = Coturn(internet, free_udp_port())
        self.addCleanup(self.coturn.stop)
        peer_file = os.path.join(tempfile.mkdtemp(prefix="baresip-tone-"), "tone.wav")
        write_wav(peer_file, tone(PEER_TONE, 120))
        self.baresip = Baresip(f"<sip:2002@{SERVER}:{self.kamailio.port}>;auth_pass=secret2;answermode=auto",
                               audio_file=peer_file, host=internet)
        self.addCleanup(self.baresip.stop)
        self.files = AudioFiles(self, "home", ORVUA_TONE)
        self.ua = Orvua(env=dict(self.files.environment, ORVSIP_LOCAL_ADDRESS=HOME), host=self.lab.home)
        self.addCleanup(self.ua.quit)
        self.sip_port, self.rtp_port = free_udp_port(), free_udp_port()
        self.public_sip, self.public_rtp = self.lab.map_port(self.sip_port), self.lab.map_port(self.rtp_port)
        self.assertTrue(self.ua.initialize(self.sip_port, proxy=f"{SERVER}:{self.kamailio.port}", sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, HOME, self.rtp_port))
        self.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.ua.call("DeselectAllVoiceCodec")
        self.assertTrue(self.ua.call("SelectVoiceCodec", PCMU_CODEC))
        deadline = time.monotonic() + 10
        while not self.kamailio.is_registered("2002"):
            self.assertLess(time.monotonic(), deadline, "baresip did not register:\n" + self.baresip.log())
            time.sleep(0.2)

    def use_stun(self):
        self.assertTrue(self.ua.call("SetStunServer", f"{SERVER}:{self.coturn.port}"))

    def register(self):
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister", timeout=15)
        self.assertEqual(self.kamailio.contacts("1001"), [f"sip:1001@{PUBLIC}:{self.public_sip}"],
                         "kamailio's location holds the router's public address and port")

    def call_baresip(self):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{SERVER}:{self.kamailio.port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        return [args[0] for args in self.ua.pending("OnOutgoingDiagnostic") if args[0].startswith("INVITE ")][-1]

    def baresip_recording(self):
        received = [name for name in os.listdir(self.baresip.record_dir) if name.endswith("-dec.wav")]
        self.assertEqual(len(received), 1, os.listdir(self.baresip.record_dir))
        return os.path.join(self.baresip.record_dir, received[0])

    def end_and_check_tones(self, hang_up_here=True):
        if hang_up_here:
            self.assertTrue(self.ua.call("Disconnect", 0))
        else:
            self.baresip.command("hangup")
            self.ua.wait_event("OnDisconnectCall", timeout=10)
        self.baresip.wait_event("CALL_CLOSED")
        self.assertEqual(self.ua.quit(), 0)
        self.baresip.stop()
        assert_tone(self, self.baresip_recording(), ORVUA_TONE)
        assert_tone(self, self.files.speaker, PEER_TONE)


class NatCallTest(NatTestCase):
    def test_orvua_calls_baresip_with_two_way_audio(self):
        self.use_stun()
        self.register()
        invite = self.call_baresip()
        self.assertEqual(media_address(body(invite)), (PUBLIC, self.public_rtp), "STUN's answer")
        self.assertIn(f"@{PUBLIC}:{self.public_sip}>", header(invite, "Contact"))
        self.ua.drain(4)
        self.end_and_check_tones()

    def test_baresip_calls_orvua_with_two_way_audio(self):
        self.use_stun()
        self.register()
        self.baresip.command("dial", f"sip:1001@{SERVER}:{self.kamailio.port}")
        call_id = self.ua.wait_event("OnIncomingCall", timeout=15)[0]
        self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        answer = [args[0] for args in self.ua.pending("OnOutgoingDiagnostic") if args[0].startswith("SIP/2.0 200")][-1]
        self.assertEqual(media_address(body(answer)), (PUBLIC, self.public_rtp))
        self.ua.drain(4)
        self.end_and_check_tones(hang_up_here=False)

    def test_without_stun_the_sdp_names_the_home_address(self):
        """What latching alone does: the SDP names 192.168.35.10, which nobody on the
        internet can reach. baresip sends there in vain, so only orvua's voice gets
        through; another orvua on the internet side latches onto the router's address
        the audio comes from and answers there, so that call has audio both ways."""
        self.register()
        invite = self.call_baresip()
        self.assertEqual(media_address(body(invite)), (HOME, self.rtp_port))
        self.ua.drain(4)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        self.baresip.stop()
        assert_tone(self, self.baresip_recording(), ORVUA_TONE)
        samples, rate = read_wav(self.files.speaker)
        self.assertEqual(loud_span(samples, rate, threshold=300), [], "baresip's voice cannot reach the home")

        far_files = AudioFiles(self, "far", PEER_TONE)
        far = Orvua(env=far_files.environment, host=self.lab.internet)
        self.addCleanup(far.quit)
        self.assertTrue(far.initialize(free_udp_port(), proxy=f"{SERVER}:{self.kamailio.port}", login="3003",
                                       password="secret3", sound=True))
        self.assertTrue(far.call("OpenLine", 0, True, SERVER, free_udp_port()))
        self.assertTrue(far.call("DisableEchoNoiseCancellation"))
        self.assertTrue(far.call("RegisterToProxy", 3600))
        far.wait_event("OnSuccessToRegister")
        self.assertTrue(self.ua.call("Connect", 0, f"sip:3003@{SERVER}:{self.kamailio.port}", -1, -1))
        call_id = far.wait_event("OnIncomingCall", timeout=10)[0]
        self.assertTrue(far.call("AcceptCall", 0, call_id, -1, -1))
        far.wait_event("OnSuccessToConnect")
        self.ua.drain(4)
        self.assertTrue(self.ua.call("Disconnect", 0))
        far.wait_event("OnDisconnectCall")
        self.assertEqual(far.quit(), 0)
        self.assertEqual(self.ua.quit(), 0)
        assert_tone(self, far_files.speaker, ORVUA_TONE)
        assert_tone_at_the_end(self, self.files.speaker, PEER_TONE)


class NatHoldTest(NatTestCase):
    HOLD_SECONDS = 60

    def test_a_held_call_resumes_with_two_way_audio_after_a_minute(self):
        """The router forgets idle bindings after 30 s and gives a binding made again a
        new port: only keep-alives on the SIP flow and the held RTP stream carry the
        call through the minute."""
        self.use_stun()
        self.register()
        self.call_baresip()
        self.ua.drain(2)
        self.assertTrue(self.ua.call("HoldLine", 0))
        self.ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("SIP/2.0 200") and "recvonly" in a[0])
        self.lab.renumber()
        self.ua.drain(self.HOLD_SECONDS)
        self.assertTrue(self.ua.call("UnHoldLine", 0))
        self.ua.wait_event("OnIncomingDiagnostic", where=lambda a: a[0].startswith("SIP/2.0 200") and "sendrecv" in a[0])
        self.ua.drain(4)
        # baresip's BYE reaches home through the binding of the registration.
        self.baresip.command("hangup")
        self.ua.wait_event("OnDisconnectCall", timeout=10)
        self.baresip.wait_event("CALL_CLOSED")
        self.assertEqual(self.ua.quit(), 0)
        self.baresip.stop()
        assert_tone_at_the_end(self, self.baresip_recording(), ORVUA_TONE)
        assert_tone_at_the_end(self, self.files.speaker, PEER_TONE)


if __name__ == "__main__":
    unittest.main()
