"""Encrypted calls: SRTP with SDES keys in SDP that travels over TLS, against baresip's
srtp module (srtp: offered beside RTP/AVP; srtp-mand: RTP/SAVP only) through kamailio.
A UdpRelay stands in each direction of the media path (kamailio rewrites the SDP
audio ports to the relays'), so that the tests see what crosses the network."""
import os
import re
import shutil
import socket
import ssl
import tempfile
import time
import unittest

import rtcp_text
from audio_check import assert_tone, dominant_frequency, read_wav, rms, tone, tone_share
from orvua_driver import (LOOPBACK, Baresip, Kamailio, Orvua, RawPeer, TestCertificates, free_udp_port,
                          write_wav)
from raw_sip import RTPMAPS, SipPeer
from rtp_media import is_rtcp, ulaw_to_linear
from sip_text import header
from test_wave_recording import tone_runs
from udp_relay import UdpRelay

ORVUA_TONE = 1000
PEER_TONE = 600
WAVE_TONE = 800
PCMU = 3
SUITES = ("AES_CM_128_HMAC_SHA1_80", "AES_CM_128_HMAC_SHA1_32")
DROPPED = re.compile(r"SRTP dropped (\d+) packets of the call on line 0: (\d+) failed authentication, "
                     r"(\d+) were replays")


def decodes_as(data, frequency):
    """Whether a datagram's payload, read as PCMU, is mostly the tone."""
    payload = data[12:]
    if len(payload) < 160:
        return False
    return tone_share([ulaw_to_linear(b) for b in payload[:160]], frequency, 8000) > 0.5


def segment(path, start, end):
    """The samples of a recording between two times in seconds (negative: from its end)."""
    samples, rate = read_wav(path)
    length = len(samples) / rate
    start, end = (t + length if t < 0 else t for t in (start, end))
    return samples[int(start * rate):int(end * rate)]


class EncryptedPeers:
    """kamailio (over TLS unless told otherwise), a baresip with the given media
    encryption registered as 2002, orvua as 1001, and a relay before each one's RTP
    port: `to_orvua` carries baresip's audio, `to_baresip` orvua's. With `capture`,
    orvua reaches kamailio through one more relay that records its SIP. With
    `transfer_target` baresip is 3003 too, and its audio ports are its own choice (a
    transfer holds two calls at once): `to_baresip` then carries nothing. With
    `rtcp_mux` baresip multiplexes RTCP too, so that it crosses the relays."""

    def __init__(self, test, mediaenc=None, tls=True, relay_options=None, capture=False, transfer_target=False,
                 rtcp_mux=False):
        self.test = test
        self.transfer_target = transfer_target
        self.directory = tempfile.mkdtemp(prefix="orvua-srtp-")
        self.orvua_rtp, self.baresip_rtp = free_udp_port(), free_udp_port()
        self.to_orvua = self._relay((LOOPBACK, self.orvua_rtp), **(relay_options or {}))
        self.to_baresip = self._relay((LOOPBACK, self.baresip_rtp))
        # Each side's audio arrives from the port it sends to, as from a media relay:
        # neither side has a reason to latch onto another source.
        self.to_orvua.sender, self.to_baresip.sender = self.to_baresip, self.to_orvua
        certificates = TestCertificates() if tls else None
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2", "3003": "secret3"}, certificates=certificates,
                                 media_map={self.orvua_rtp: self.to_orvua.port,
                                            self.baresip_rtp: self.to_baresip.port})
        test.addCleanup(self.kamailio.stop)
        self.proxy = (f"{LOOPBACK}:{self.kamailio.tls_port};transport=tls" if tls
                      else f"{LOOPBACK}:{self.kamailio.port}")
        peer_file = os.path.join(self.directory, "peer.wav")
        write_wav(peer_file, tone(PEER_TONE, 150))
        encryption = f";mediaenc={mediaenc}" if mediaenc else ""
        config = "module\t\t\tsrtp.so\n" + (f"sip_cafile\t\t{certificates.ca}\n" if tls else "")
        config += "rtcp_mux\t\tyes\n" if rtcp_mux else ""
        accounts = f"<sip:2002@{self.proxy}>;auth_pass=secret2;answermode=auto{encryption}"
        if transfer_target:
            accounts += f"\n<sip:3003@{self.proxy}>;auth_pass=secret3;answermode=auto{encryption}"
        self.baresip = Baresip(accounts, audio_file=peer_file, extra_config=config,
                               rtp_port=None if transfer_target else self.baresip_rtp)
        test.addCleanup(self.baresip.stop)
        self.microphone = os.path.join(self.directory, "mic.wav")
        self.speaker = os.path.join(self.directory, "speaker.wav")
        write_wav(self.microphone, tone(ORVUA_TONE, 2))
        self.ua = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": self.microphone,
                             "ORVSIP_VIRTUAL_SPEAKER": self.speaker,
                             "ORVSIP_TLS_CA_FILE": certificates.ca if tls else ""})
        test.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        self.capture = self._relay((LOOPBACK, self.kamailio.port)) if capture else None
        first_hop = f"{LOOPBACK}:{self.capture.port}" if capture else self.proxy
        test.assertTrue(self.ua.initialize(self.sip_port, proxy=first_hop, sound=True))
        test.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, self.orvua_rtp))
        test.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.ua.call("DeselectAllVoiceCodec")
        test.assertTrue(self.ua.call("SelectVoiceCodec", PCMU))
        self.calls = 0

    def _relay(self, target, **options):
        relay = UdpRelay(target=target, record=True, **options)
        self.test.addCleanup(relay.stop)
        return relay

    def register(self):
        self.test.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister", timeout=15)
        deadline = time.monotonic() + 10
        for user in ("2002", "3003") if self.transfer_target else ("2002",):
            while not self.kamailio.is_registered(user):
                self.test.assertLess(time.monotonic(), deadline, "baresip did not register:\n" + self.baresip.log())
                time.sleep(0.2)

    def sent(self, start):
        return [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith(start)]

    def call_baresip(self):
        self.test.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{self.proxy}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")

    def called_by_baresip(self):
        self.baresip.command("dial", f"sip:1001@{self.proxy}")
        call_id = self.ua.wait_event("OnIncomingCall", timeout=15)[0]
        self.test.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")

    def heard(self):
        """A copy of what orvua's speaker played in the call that just ended (the file
        starts again with the next call)."""
        self.calls += 1
        heard = os.path.join(self.directory, f"heard-{self.calls}.wav")
        shutil.copy(self.speaker, heard)
        return heard

    def hang_up(self):
        self.test.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        return self.heard()

    def baresip_heard(self):
        """baresip's recordings of what it received, one per call, oldest first."""
        self.baresip.stop()
        names = sorted(n for n in os.listdir(self.baresip.record_dir) if n.endswith("-dec.wav"))
        return [os.path.join(self.baresip.record_dir, n) for n in names]

    def tone_packets(self):
        """How many datagrams toward orvua and toward baresip decode as the other's tone."""
        return (sum(decodes_as(r.data, PEER_TONE) for r in list(self.to_orvua.records)),
                sum(decodes_as(r.data, ORVUA_TONE) for r in list(self.to_baresip.records)))

    def assert_nothing_in_clear(self):
        """Audio crossed the relays both ways, and not one packet of it is the tone."""
        for relay in (self.to_orvua, self.to_baresip):
            self.test.assertGreater(len(relay.records), 100)
        self.test.assertEqual(self.tone_packets(), (0, 0))


def keys_of(text):
    return re.findall(r"^a=crypto:\d+ \S+ inline:(\S+)", text, re.MULTILINE)


def assert_heard(test, samples, frequency):
    """The stretch of audio is the tone, clearly."""
    test.assertGreater(len(samples), 4000)
    test.assertGreater(rms(samples), 1000)
    test.assertAlmostEqual(dominant_frequency(samples, 8000), frequency, delta=20)
    test.assertGreater(tone_share(samples, frequency, 8000), 0.6)


def exchange_digits(test, peers):
    """Telephone events both ways."""
    for digit in ("7", "#"):
        test.assertTrue(peers.ua.call("DigitDTMF", 0, digit))
        test.assertEqual(peers.baresip.wait_event("CALL_DTMF_START").get("param"), digit)
        peers.ua.drain(0.7)
    for digit in ("1", "5"):
        peers.baresip.command("sndcode", digit)
        test.assertEqual(peers.ua.wait_event("OnDTMFDigit"), [0, digit])
        time.sleep(0.3)


def assert_flowing(test, relay, since):
    """A relay carried a steady stream of SRTP packets (20 ms of PCMU and a tag each)
    since a moment."""
    recent = [r for r in list(relay.records) if r.arrived >= since]
    test.assertGreater(len(recent), (time.monotonic() - since) * 40)
    test.assertTrue(all(len(r.data) in (12 + 160 + 10, 12 + 160 + 4) for r in recent if len(r.data) > 100))


class EncryptedCallTest(unittest.TestCase):
    """orvua calls baresip and is called by it, with SRTP both ways."""

    def flow(self, mediaenc, mode, profile):
        peers = EncryptedPeers(self, mediaenc, rtcp_mux=True)
        ua = peers.ua
        self.assertTrue(ua.call("SetMediaEncryption", mode))
        peers.register()

        peers.call_baresip()
        suite = ua.call("GetMediaEncryption", 0)
        self.assertIn(suite, SUITES)
        invite = peers.sent("INVITE ")[-1]
        self.assertIn(f"m=audio {peers.orvua_rtp} {profile} ", invite)
        offered = keys_of(invite)
        self.assertEqual(len(offered), 2, invite)
        self.assertEqual(len(set(offered)), 2, "a key per suite")
        ua.drain(3)

        # Hold and unhold offer the same keys again, and the media goes on both ways:
        # baresip's recording ends with the hold, so digits (telephone events, as
        # SRTP packets) show what it takes after it.
        for method, count in (("HoldLine", 1), ("UnHoldLine", 2)):
            self.assertTrue(ua.call(method, 0))
            ua.wait_event("OnIncomingDiagnostic", timeout=10, where=lambda a: a[0].startswith("SIP/2.0 200 OK")
                          and header(a[0], "CSeq").endswith("INVITE") and "m=audio" in a[0])
        reinvites = peers.sent("INVITE ")[-2:]
        self.assertEqual([keys_of(text) for text in reinvites], [offered, offered])
        self.assertEqual(ua.call("GetMediaEncryption", 0), suite)
        ua.drain(1)
        exchange_digits(self, peers)
        ua.drain(2)
        # RTCP is SRTCP both ways: baresip's reports are read, and one of them answers
        # a sender report of orvua's (the round trip); orvua's are encrypted (the E flag
        # of the index before an 80-bit tag, nothing readable after the first header).
        deadline = time.monotonic() + 15
        while (figures := dict(pair.split("=") for pair in ua.call("GetCallStatistics", 0).split(";")))["rtt_ms"] == "-1":
            self.assertLess(time.monotonic(), deadline, figures)
            ua.drain(0.5)
        self.assertEqual(figures["peer_lost"], "0", figures)
        sent_rtcp = [r.data for r in list(peers.to_baresip.records) if is_rtcp(r.data)]
        self.assertTrue(sent_rtcp)
        for data in sent_rtcp:
            self.assertTrue(data[-14] & 0x80 and rtcp_text.report(data) is None, data.hex())
        first_call = peers.hang_up()
        assert_heard(self, segment(first_call, -2.2, -0.2), PEER_TONE)
        assert_tone(self, first_call, PEER_TONE)

        # baresip calls: orvua answers one of its keys, with a key of its own.
        peers.called_by_baresip()
        self.assertIn(ua.call("GetMediaEncryption", 0), SUITES)
        offer = [a[0] for a in ua.pending("OnIncomingDiagnostic") if a[0].startswith("INVITE ")][-1]
        answer = [a for a in peers.sent("SIP/2.0 200 OK") if header(a, "CSeq").endswith("INVITE")][-1]
        self.assertIn(f" {profile} ", offer)
        chosen = re.findall(r"^a=crypto:(\d+ \S+) ", answer, re.MULTILINE)
        self.assertEqual(len(chosen), 1, answer)
        self.assertIn(f"a=crypto:{chosen[0]} ", offer, "one of the offered tags and suites")
        self.assertNotIn(keys_of(answer)[0], offered + keys_of(offer), "a new key of its own")
        self.assertIn(f"m=audio {peers.orvua_rtp} {profile} ", answer)
        ua.drain(3)
        peers.baresip.command("hangup")
        self.assertEqual(ua.wait_event("OnDisconnectCall"), [0])
        self.assertEqual(ua.call("GetMediaEncryption", 0), "")
        self.assertEqual(ua.call("GetOrvObjectError"), 34)
        assert_tone(self, peers.heard(), PEER_TONE)

        peers.assert_nothing_in_clear()
        self.assertEqual(ua.quit(), 0)
        recordings = peers.baresip_heard()
        self.assertEqual(len(recordings), 2, recordings)
        for recording in recordings:
            assert_tone(self, recording, ORVUA_TONE)

    def test_required_against_srtp_mand(self):
        self.flow("srtp-mand", 2, "RTP/SAVP")

    def test_offered_against_srtp(self):
        self.flow("srtp", 1, "RTP/AVP")


class PlainPeerTest(unittest.TestCase):
    """A baresip without SRTP: offered encryption falls back to plain RTP (which the
    relays' check sees), required encryption fails without a plain packet."""

    def test_offered_goes_plain_and_required_fails_both_ways(self):
        peers = EncryptedPeers(self)
        ua = peers.ua
        self.assertTrue(ua.call("SetMediaEncryption", 1))
        peers.register()
        peers.call_baresip()
        self.assertEqual(ua.call("GetMediaEncryption", 0), "")
        ua.drain(2)
        assert_tone(self, peers.hang_up(), PEER_TONE, min_seconds=1.5)
        peers.called_by_baresip()
        self.assertEqual(ua.call("GetMediaEncryption", 0), "")
        ua.drain(2)
        peers.baresip.command("hangup")
        ua.wait_event("OnDisconnectCall")
        toward_orvua, toward_baresip = peers.tone_packets()
        self.assertGreater(toward_orvua, 100, "the check sees plain audio")
        self.assertGreater(toward_baresip, 100)

        # Required: baresip refuses the RTP/SAVP offer, and no plain packet leaves orvua
        # either way.
        self.assertTrue(ua.call("SetMediaEncryption", 2))
        sent_before = len(peers.to_baresip.records)
        self.assertTrue(ua.call("Connect", 0, f"sip:2002@{peers.proxy}", -1, -1))
        self.assertEqual(ua.wait_event("OnRequestFailureResponse", timeout=15), [0, 488, "Not Acceptable Here"])
        self.assertFalse(ua.call("IsLineBusy", 0))
        peers.baresip.command("dial", f"sip:1001@{peers.proxy}")
        peers.baresip.wait_event("CALL_CLOSED")
        ua.drain(1)
        refusals = [a for a in peers.sent("SIP/2.0 488 ") if header(a, "CSeq").endswith("INVITE")]
        self.assertEqual(len(refusals), 1, "the plain offer is refused at once")
        self.assertEqual(ua.pending("OnIncomingCall"), [], "a call that cannot be had never rings")
        self.assertEqual(ua.pending("OnSuccessToConnect"), [])
        self.assertEqual(len(peers.to_baresip.records), sent_before, "no RTP left orvua")

class UdpSignallingTest(unittest.TestCase):
    """Keys never go into SDP that travels in clear: over UDP, required encryption
    fails before anything is sent, offered encryption is plain RTP, and a baresip that
    offers its own keys in clear is answered without any."""

    def test_no_key_leaves_in_clear(self):
        peers = EncryptedPeers(self, "srtp", tls=False, capture=True)
        ua = peers.ua
        self.assertTrue(ua.call("SetMediaEncryption", 2))
        peers.register()
        self.assertFalse(ua.call("Connect", 0, f"sip:2002@{peers.proxy}", -1, -1))
        self.assertEqual(ua.call("GetOrvObjectError"), 41)
        self.assertFalse(ua.call("IsLineBusy", 0))
        ua.drain(1)
        self.assertEqual(peers.sent("INVITE "), [], "nothing was sent")
        self.assertEqual(ua.pending("OnConnecting"), [])

        self.assertTrue(ua.call("SetMediaEncryption", 1))
        peers.call_baresip()
        self.assertEqual(ua.call("GetMediaEncryption", 0), "")
        self.assertIn(" RTP/AVP ", peers.sent("INVITE ")[-1])
        ua.drain(1)
        peers.hang_up()
        peers.called_by_baresip()
        offer = [a[0] for a in ua.pending("OnIncomingDiagnostic") if a[0].startswith("INVITE ")][-1]
        self.assertIn("a=crypto:", offer, "baresip offers its key, in clear")
        self.assertEqual(ua.call("GetMediaEncryption", 0), "")
        ua.drain(1)
        peers.baresip.command("hangup")
        ua.wait_event("OnDisconnectCall")

        self.assertTrue(ua.call("SetMediaEncryption", 2))
        peers.baresip.command("dial", f"sip:1001@{peers.proxy}")
        peers.baresip.wait_event("CALL_CLOSED")
        ua.drain(1)
        self.assertEqual(len(peers.sent("SIP/2.0 488 ")), 1)
        self.assertEqual(ua.pending("OnIncomingCall"), [])

        said = [a[0] for a in ua.pending("OnOutgoingDiagnostic")]
        self.assertGreater(len(said), 10)
        self.assertFalse([text for text in said if "a=crypto" in text])
        captured = [r.data for r in peers.capture.records if r.source == (LOOPBACK, peers.sip_port)]
        self.assertTrue(any(data.startswith(b"INVITE ") for data in captured), "the capture saw the INVITE")
        self.assertFalse([data for data in captured if b"a=crypto" in data])

class EncryptedTransferTest(unittest.TestCase):
    """baresip (srtp-mand) transfers its encrypted call with orvua to another of its
    accounts: the new call has new keys, and its audio is encrypted too."""

    def test_the_transferred_call_has_keys_of_its_own(self):
        peers = EncryptedPeers(self, "srtp-mand", transfer_target=True)
        ua = peers.ua
        self.assertTrue(ua.call("SetMediaEncryption", 2))
        ua.call("SetAcceptTransfer", True)
        peers.register()
        peers.call_baresip()
        first = keys_of(peers.sent("INVITE sip:2002@")[-1])
        peers.baresip.command("transfer", f"sip:3003@{peers.proxy}")
        self.assertEqual(ua.wait_event("OnConnecting", timeout=15), [0])
        ua.wait_event("OnSuccessToConnect", timeout=15)
        self.assertIn("sip:3003@", ua.call("GetRemoteParty", 0))
        self.assertIn(ua.call("GetMediaEncryption", 0), SUITES)
        invite = peers.sent("INVITE sip:3003@")[-1]
        self.assertIn(" RTP/SAVP ", invite)
        self.assertEqual(len(keys_of(invite)), 2)
        self.assertFalse(set(keys_of(invite)) & set(first), "new keys for the new call")
        ua.drain(3)
        heard = peers.hang_up()
        assert_heard(self, segment(heard, -2.2, -0.2), PEER_TONE)
        self.assertGreater(len(peers.to_orvua.records), 100)
        self.assertEqual(peers.tone_packets()[0], 0)


class TamperedMediaTest(unittest.TestCase):
    """Packets replayed by the relay or with one bit flipped fail the SRTP checks: they
    are dropped and counted, and the peer's tone plays as before."""

    def test_replayed_and_damaged_packets_are_dropped_and_counted(self):
        peers = EncryptedPeers(self, "srtp-mand", relay_options={"corrupt": 0.05, "keep": 12, "seed": 34})
        ua = peers.ua
        self.assertTrue(ua.call("SetMediaEncryption", 2))
        peers.register()
        peers.call_baresip()
        connected = time.monotonic()
        ua.drain(2.5)
        # Packets forwarded before orvua's media started were never taken: they would
        # count as new.
        first = [r for r in list(peers.to_orvua.records) if r.sent is not None and r.arrived > connected][:100]
        peers.to_orvua.replay(first)
        ua.drain(1)
        peers.to_orvua.replay(first[-20:])
        ua.drain(2)
        # A packet whose first copy was damaged arrives whole for the first time when
        # replayed: that copy is taken, later ones are replays.
        taken = set()
        expected_replays = 0
        for record in first + first[-20:]:
            if record.corrupted and id(record) not in taken:
                taken.add(id(record))
            else:
                expected_replays += 1
        heard = peers.hang_up()
        ua.drain(1)
        corrupted = sum(r.corrupted for r in peers.to_orvua.records)
        reports = [DROPPED.search(a[0]) for a in ua.pending("OnIncomingDiagnostic")]
        counts = [tuple(map(int, m.groups())) for m in reports if m]
        self.assertEqual(len(counts), 1, "told once, as the call's media stops")
        dropped, authentication, replays = counts[0]
        self.assertEqual(dropped, authentication + replays)
        self.assertEqual(replays, expected_replays)
        self.assertGreater(corrupted, 5)
        self.assertLessEqual(authentication, corrupted)
        self.assertGreaterEqual(authentication, corrupted - 3, "a damaged packet in flight at the end may be lost")
        assert_tone(self, heard, PEER_TONE)
        peers.assert_nothing_in_clear()


class LongCallTest(unittest.TestCase):
    """A minute of SRTP with baresip (srtp-mand): a wave file played into the call, a
    recording, hold and unhold, and at the end audio still both ways."""

    def test_a_minute_with_a_wave_file_a_recording_and_hold(self):
        peers = EncryptedPeers(self, "srtp-mand")
        ua = peers.ua
        wave_file = os.path.join(peers.directory, "wave.wav")
        write_wav(wave_file, tone(WAVE_TONE, 3))
        recording = os.path.join(peers.directory, "recording.wav")
        self.assertTrue(ua.call("SetMediaEncryption", 2))
        peers.register()
        peers.call_baresip()
        started = time.monotonic()
        suite = ua.call("GetMediaEncryption", 0)
        self.assertIn(suite, SUITES)
        self.assertTrue(ua.call("StartRecording", 0, 1, False))
        ua.drain(5)
        self.assertTrue(ua.call("PlayWaveOpen", 0, wave_file))
        self.assertTrue(ua.call("PlayWaveStart", 0, False))
        ua.wait_event("OnPlayWaveDone", timeout=10)
        ua.drain(15)
        self.assertTrue(ua.call("HoldLine", 0))
        ua.drain(3)
        self.assertTrue(ua.call("UnHoldLine", 0))
        unheld = time.monotonic()
        ua.drain(max(0.0, 58 - (unheld - started)))
        exchange_digits(self, peers)
        self.assertEqual(ua.call("GetMediaEncryption", 0), suite)
        self.assertTrue(ua.call("SaveRecordingToWaveFile", 0, recording))
        for relay in (peers.to_orvua, peers.to_baresip):
            assert_flowing(self, relay, unheld + 1)
        heard = peers.hang_up()
        self.assertGreater(time.monotonic() - started, 60)
        self.assertEqual(ua.quit(), 0)

        assert_heard(self, segment(heard, -4.2, -0.2), PEER_TONE)
        assert_tone(self, recording, PEER_TONE, min_seconds=40)
        # baresip's recording ends with the hold.
        runs = tone_runs(read_wav(peers.baresip_heard()[0])[0], (ORVUA_TONE, WAVE_TONE))
        self.assertIn(WAVE_TONE, [frequency for frequency, seconds in runs if seconds > 2.5], runs)
        self.assertGreater(sum(seconds for frequency, seconds in runs if frequency == ORVUA_TONE), 15, runs)
        peers.assert_nothing_in_clear()

class TlsSipPeer(SipPeer):
    """A hand-driven SIP peer that orvua reaches over TLS (a certificate of the test's
    CA): what SipPeer sends and receives goes over the one connection orvua opens."""

    def __init__(self, certificates):
        super().__init__()
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(certificates.certificate, certificates.key)
        self.listener = socket.create_server((LOOPBACK, 0))
        self.port = self.listener.getsockname()[1]
        self.connection = None
        self.buffer = b""

    def send(self, data, port=None):
        self.connection.sendall(data.encode() if isinstance(data, str) else data)

    def receive_bytes(self, timeout=3):
        deadline = time.monotonic() + timeout
        if self.connection is None:
            self.listener.settimeout(timeout)
            try:
                self.connection = self.context.wrap_socket(self.listener.accept()[0], server_side=True)
            except (socket.timeout, ssl.SSLError):
                return None
        while (message := self._framed()) is None:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            self.connection.settimeout(remaining)
            try:
                data = self.connection.recv(65536)
            except (socket.timeout, ssl.SSLError):
                return None
            if not data:
                return None
            self.buffer += data
        return message

    def _framed(self):
        self.buffer = self.buffer.lstrip(b"\r\n")
        head, separator, rest = self.buffer.partition(b"\r\n\r\n")
        if not separator:
            return None
        length = re.search(rb"^Content-Length:\s*(\d+)", head, re.MULTILINE | re.IGNORECASE)
        size = int(length.group(1)) if length else 0
        if len(rest) < size:
            return None
        self.buffer = rest[size:]
        return head + separator + rest[:size]

    def close(self):
        if self.connection is not None:
            self.connection.close()
        self.listener.close()
        super().close()


def crypto_sdp(port, profile="RTP/SAVP", cryptos=()):
    lines = "".join(f"a=crypto:{crypto}\r\n" for crypto in cryptos)
    return (f"v=0\r\no=peer 1 1 IN IP4 {LOOPBACK}\r\ns=peer\r\nc=IN IP4 {LOOPBACK}\r\nt=0 0\r\n"
            f"m=audio {port} {profile} 0 101\r\na=rtpmap:0 {RTPMAPS[0]}\r\na=rtpmap:101 {RTPMAPS[101]}\r\n"
            f"{lines}a=sendrecv\r\n")


GOOD_KEY = "WVNfX19zZW1jdGwgKCkgewkyMjA7fQp9CnVubGVz"


class HostileTlsPeerTest(unittest.TestCase):
    """A peer over TLS that answers and offers keys orvua cannot use: a call that
    needs encryption ends, or is refused, and no plain packet leaves."""

    def setUp(self):
        certificates = TestCertificates()
        self.peer = TlsSipPeer(certificates)
        self.addCleanup(self.peer.close)
        self.rtp = RawPeer()
        self.addCleanup(self.rtp.close)
        self.ua = Orvua(env={"ORVSIP_TLS_CA_FILE": certificates.ca})
        self.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        self.proxy = f"{LOOPBACK}:{self.peer.port};transport=tls"
        self.assertTrue(self.ua.initialize(self.sip_port, proxy=self.proxy))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("SetMediaEncryption", 2))

    def dial(self):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{self.proxy}", -1, -1))
        return self.peer.expect("INVITE", timeout=10)

    def test_answers_without_a_usable_key_end_the_call_unheard(self):
        refused_answers = [
            crypto_sdp(self.rtp.port, "RTP/AVP"),
            crypto_sdp(self.rtp.port, cryptos=[f"3 AES_CM_128_HMAC_SHA1_80 inline:{GOOD_KEY}"]),
            crypto_sdp(self.rtp.port, cryptos=[f"2 AES_CM_128_HMAC_SHA1_80 inline:{GOOD_KEY}"]),
            crypto_sdp(self.rtp.port, cryptos=[f"1 AES_CM_128_HMAC_SHA1_80 inline:{GOOD_KEY[:-4]}"]),
            crypto_sdp(self.rtp.port, cryptos=[f"1 AES_CM_128_HMAC_SHA1_80 inline:{GOOD_KEY}|2^20|1:4"]),
            crypto_sdp(self.rtp.port, cryptos=[f"1 AES_CM_128_HMAC_SHA1_80 inline:{GOOD_KEY}|2^10"]),
            crypto_sdp(self.rtp.port, cryptos=[f"1 AES_CM_128_HMAC_SHA1_80 inline:{GOOD_KEY} UNENCRYPTED_SRTP"]),
            crypto_sdp(self.rtp.port, cryptos=[f"1 AES_256_CM_HMAC_SHA1_80 inline:{GOOD_KEY}{GOOD_KEY[:20]}"]),
            crypto_sdp(self.rtp.port, cryptos=["1 AES_CM_128_HMAC_SHA1_80 inline:" + "!" * 40]),
        ]
        for number, answer in enumerate(refused_answers):
            invite = self.dial()
            self.peer.answer(invite, 200, "OK", to_tag=f"refuser{number}", body=answer)
            self.peer.expect("ACK")
            self.peer.expect("BYE")
            self.assertEqual(self.ua.wait_event("OnFailToConnect"), [0], answer)
            self.assertEqual(self.ua.call("GetOrvObjectError"), 41)
            self.assertFalse(self.ua.call("IsLineBusy", 0))
        self.assertEqual(self.ua.pending("OnSuccessToConnect"), [])
        self.assertEqual(self.rtp.receive_all(0.5), [], "not one packet, plain or not")

    def test_a_connected_call_keeps_its_keys_against_offers_that_would_drop_them(self):
        invite = self.dial()
        ours = keys_of(invite)
        self.assertEqual(len(ours), 2)
        self.peer.answer(invite, 200, "OK", body=crypto_sdp(self.rtp.port, cryptos=[
            "7 AES_256_CM_HMAC_SHA1_80 inline:" + GOOD_KEY + GOOD_KEY[:20],
            f"2 AES_CM_128_HMAC_SHA1_32 inline:{GOOD_KEY}"]))
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        self.assertEqual(self.ua.call("GetMediaEncryption", 0), "AES_CM_128_HMAC_SHA1_32")
        self.assertTrue(self.ua.call("DigitDTMF", 0, "4"))
        sent = self.rtp.receive_all(0.6)
        self.assertTrue(sent)
        self.assertEqual({len(data) for data in sent}, {12 + 4 + 4}, "telephone events with a 32-bit tag")

        # A plain re-offer is refused and the call goes on as it was; so does one
        # whose only key is forged.
        for cseq, offer in ((5, crypto_sdp(self.rtp.port, "RTP/AVP")),
                            (6, crypto_sdp(self.rtp.port, cryptos=["1 AES_CM_128_HMAC_SHA1_80 inline:short"]))):
            self.peer.in_dialog("INVITE", invite, cseq, body=offer)
            refusal = self.peer.expect("SIP/2.0 488")
            self.peer.in_dialog("ACK", invite, cseq)
            self.assertEqual(header(refusal, "CSeq"), f"{cseq} INVITE")
        self.ua.drain(0.5)
        self.assertEqual(self.ua.call("GetMediaEncryption", 0), "AES_CM_128_HMAC_SHA1_32")
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertEqual(self.ua.pending("OnDisconnectCall"), [])

        # A re-offer with a new key of the peer's is answered with this side's same key.
        self.peer.in_dialog("INVITE", invite, 7, body=crypto_sdp(self.rtp.port, cryptos=[
            "9 AES_CM_128_HMAC_SHA1_80 inline:" + GOOD_KEY[::-1]]))
        ok = self.peer.expect("SIP/2.0 200")
        self.assertEqual(re.findall(r"a=crypto:(\d+ \S+) inline:(\S+)", ok),
                         [("9 AES_CM_128_HMAC_SHA1_80", ours[0])])
        self.peer.in_dialog("ACK", invite, 7)
        self.ua.drain(0.5)
        self.assertEqual(self.ua.call("GetMediaEncryption", 0), "AES_CM_128_HMAC_SHA1_80")
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.peer.expect("BYE")

    def test_an_incoming_call_without_a_usable_key_never_rings(self):
        for number, offer in enumerate((crypto_sdp(4000, "RTP/AVP"),
                                        crypto_sdp(4000, cryptos=["x AES_CM_128_HMAC_SHA1_80 inline:" + GOOD_KEY]))):
            self.peer.connection or self.dial()
            request = self.peer.request("INVITE", self.sip_port, f"refused{number}", 1, body=offer, send=False)
            self.peer.send(request.replace("SIP/2.0/UDP", "SIP/2.0/TLS"))
            self.assertTrue(self.peer.expect("SIP/2.0 488").startswith("SIP/2.0 488 Not Acceptable Here"))
        self.ua.drain(0.5)
        self.assertEqual(self.ua.pending("OnIncomingCall"), [])


if __name__ == "__main__":
    unittest.main()
