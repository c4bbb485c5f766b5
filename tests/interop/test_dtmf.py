"""DTMF: RFC 2833 events, in-band tones and SIP INFO, on the wire and through baresip."""
import random
import struct
import time
import unittest

from audio_check import goertzel_power
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, RawPeer, Sipp, free_udp_port
from rtp_media import rtp_fields, ulaw_to_linear

TELEPHONE_EVENT = 101


class WireTest(unittest.TestCase):
    """orvua calls sipp; sipp's SDP points the media at a socket of the test."""

    def call(self, scenario):
        self.media = RawPeer(free_udp_port())
        self.addCleanup(self.media.close)
        self.sipp = Sipp(scenario, media_port=self.media.port)
        self.addCleanup(self.sipp.stop)
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{self.sipp.local_port}"))
        self.rtp_port = free_udp_port()
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, self.rtp_port))
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.sipp.local_port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect")

    def hang_up(self):
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.assertEqual(self.sipp.wait(20), 0, self.sipp.log())
        self.assertEqual(self.ua.quit(), 0)

    def test_digit_5_is_eight_telephone_event_packets(self):
        self.call("callee_answers_caller_hangs_up.xml")
        self.assertTrue(self.ua.call("DigitDTMF", 0, "5"))
        arrived = [rtp_fields(d) for d in self.media.receive_all(1.0)]
        # Without a sound device the call carries silence around the digit.
        packets = [p for p in arrived if p["type"] == TELEPHONE_EVENT]
        self.assertEqual(len(packets), 8, packets)
        self.assertEqual({p["type"] for p in arrived}, {TELEPHONE_EVENT, 0})
        self.assertEqual([p["payload"] for p in packets],
                         [bytes([5, 0x0A, 0, 0])] * 5 + [bytes([5, 0x8A, 0x03, 0x20])] * 3)
        self.assertEqual(len({p["timestamp"] for p in packets}), 1)
        sequences = [p["sequence"] for p in packets]
        self.assertEqual(len(set(sequences)), 4)
        self.assertEqual(sequences[3] - sequences[0], 1)
        self.assertEqual([p["marker"] for p in packets], [True] * 3 + [False] * 5)
        self.hang_up()

    def test_pcmu_without_telephone_event_sends_the_tone_in_band(self):
        self.call("callee_pcmu_no_telephone_event.xml")
        self.assertTrue(self.ua.call("DigitDTMF", 0, "#"))
        packets = [rtp_fields(d) for d in self.media.receive_all(1.0)]
        self.assertGreaterEqual(len(packets), 5, "120 ms of tone in 20 ms packets")
        self.assertEqual({p["type"] for p in packets}, {0})
        samples = [ulaw_to_linear(b) for p in packets for b in p["payload"]]
        tones = {f: goertzel_power(samples, f) for f in (697, 770, 852, 941, 1209, 1336, 1477)}
        self.assertEqual(set(sorted(tones, key=tones.get)[-2:]), {941, 1477}, tones)
        self.hang_up()

    def test_forced_in_band_wins_over_telephone_event(self):
        self.call("callee_answers_caller_hangs_up.xml")
        self.assertTrue(self.ua.call("EnableForceInbandDTMF", 0))
        self.assertTrue(self.ua.call("DigitDTMF", 0, "5"))
        types = {rtp_fields(d)["type"] for d in self.media.receive_all(1.0)}
        self.assertEqual(types, {0})
        self.hang_up()

    def test_gsm_without_telephone_event_sends_info(self):
        self.call("callee_gsm_info.xml")
        self.assertEqual(self.ua.call("GetOutboundCodec", 0), 0)
        self.assertTrue(self.ua.call("DigitDTMF", 0, "#"))
        self.ua.drain(1)
        infos = [a[0] for a in self.ua.pending("OnOutgoingDiagnostic") if a[0].startswith("INFO ")]
        self.assertEqual(len(infos), 1, "answered at once, so not resent")
        self.hang_up()

    def test_malformed_rtp_is_dropped_without_harm(self):
        self.call("callee_answers_caller_hangs_up.xml")
        sender = RawPeer()
        self.addCleanup(sender.close)
        header = struct.pack("!BBHII", 0x80, 0, 1, 160, 7)
        bad = [header[:11], bytes([0x90]) + header[1:] + bytes(160), bytes([0xC0]) + header[1:] + bytes(160),
               bytes([0xA0]) + header[1:] + bytes(3) + bytes([200]), struct.pack("!BBHII", 0x80, 3, 2, 0, 7) + bytes(20),
               struct.pack("!BBHII", 0x80, 18, 3, 0, 7) + bytes(15), struct.pack("!BBHII", 0x80, 98, 4, 0, 7) + bytes(40),
               struct.pack("!BBHII", 0x80, 101, 5, 0, 7) + bytes(1)]
        generator = random.Random(11)
        bad += [bytes(generator.randrange(256) for _ in range(generator.randrange(0, 300))) for _ in range(2000)]
        for datagram in bad:
            sender.send(datagram, self.rtp_port)
        for sequence in range(10, 30):
            sender.send(struct.pack("!BBHII", 0x80, 0, sequence, sequence * 160, 7) + bytes([0xFF] * 160),
                        self.rtp_port)
            time.sleep(0.02)
        self.ua.drain(0.5)
        self.assertEqual(self.ua.call("GetInboundCodec", 0), 3, "valid packets are still taken")
        self.hang_up()


class BaresipDtmfTest(unittest.TestCase):
    def setUp(self):
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2"})
        self.addCleanup(self.kamailio.stop)
        self.baresip = Baresip(f"<sip:2002@127.0.0.1:{self.kamailio.port}>;auth_pass=secret2;answermode=auto")
        self.addCleanup(self.baresip.stop)
        self.ua = Orvua(env={"ORVSIP_AUDIO": "virtual"})
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{self.kamailio.port}", sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        deadline = time.monotonic() + 10
        while not self.kamailio.is_registered("2002"):
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.2)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.kamailio.port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")

    def test_digits_from_baresip_raise_one_event_each(self):
        for digit in ("1", "5", "#"):
            self.baresip.command("sndcode", digit)
            self.assertEqual(self.ua.wait_event("OnDTMFDigit"), [0, digit])
            time.sleep(0.3)
        self.ua.drain(1)
        self.assertEqual(self.ua.pending("OnDTMFDigit"), [], "each digit is reported once")

    def test_digits_from_orvua_arrive_at_baresip(self):
        for digit in ("7", "*", "0"):
            self.assertTrue(self.ua.call("DigitDTMF", 0, digit))
            event = self.baresip.wait_event("CALL_DTMF_START")
            self.assertEqual(event.get("param"), digit, event)
            self.ua.drain(0.7)


if __name__ == "__main__":
    unittest.main()
