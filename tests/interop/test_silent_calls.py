"""Calls between two orvua processes without a sound device: each line keeps sending
silence, so peers that watch for media keep the call and NAT bindings stay open."""
import math
import os
import tempfile
import time
import unittest

from media_relay import SipMediaRelay
from orvua_driver import LOOPBACK, Orvua, free_udp_port, write_wav
from rtp_media import PCMU, ulaw_samples

PCMU_CODEC = 3


def start_orvua(test, login, proxy, relay):
    ua = Orvua()
    test.addCleanup(ua.quit)
    sip_port = free_udp_port()
    test.assertTrue(ua.initialize(sip_port, proxy=proxy, login=login, outbound=relay.address(), sound=False))
    rtp_port = free_udp_port()
    test.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, rtp_port))
    ua.call("DeselectAllVoiceCodec")
    test.assertTrue(ua.call("SelectVoiceCodec", PCMU_CODEC))
    return ua, sip_port, rtp_port


class SilentCallTest(unittest.TestCase):
    SECONDS = 10

    def setUp(self):
        self.relay = SipMediaRelay()
        self.addCleanup(self.relay.stop)
        self.callee, callee_port, self.callee_rtp = start_orvua(self, "1002", f"{LOOPBACK}:{free_udp_port()}", self.relay)
        self.caller, _, self.caller_rtp = start_orvua(self, "1001", f"{LOOPBACK}:{callee_port}", self.relay)
        self.assertTrue(self.caller.call("Connect", 0, f"sip:1002@{LOOPBACK}:{callee_port}", -1, -1))
        call_id = self.callee.wait_event("OnIncomingCall")[0]
        self.assertTrue(self.callee.call("AcceptCall", 0, call_id, -1, -1))
        self.caller.wait_event("OnSuccessToConnect")
        self.callee.wait_event("OnSuccessToConnect")
        self.connected = time.monotonic()

    def check_silence_stream(self, packets, direction):
        self.assertGreater(len(packets), 0.9 * 50 * self.SECONDS, f"{direction}: packets in {self.SECONDS} s")
        self.assertLess(len(packets), 1.1 * 50 * self.SECONDS, f"{direction}: packets in {self.SECONDS} s")
        self.assertEqual({p["type"] for p in packets}, {PCMU}, direction)
        self.assertEqual({p["payload"] for p in packets}, {bytes([0xFF]) * 160}, f"{direction}: mu-law silence")
        sequences = [p["sequence"] for p in packets]
        self.assertEqual(sequences, list(range(sequences[0], sequences[0] + len(sequences))), direction)
        self.assertEqual({b["timestamp"] - a["timestamp"] for a, b in zip(packets, packets[1:])}, {160}, direction)

    def test_each_side_sends_fifty_packets_of_silence_a_second(self):
        self.caller.drain(self.SECONDS + 1.5)
        window = (self.connected + 1, self.connected + 1 + self.SECONDS)
        self.check_silence_stream(self.relay.tap_for(self.callee_rtp).between(*window), "caller to callee")
        self.check_silence_stream(self.relay.tap_for(self.caller_rtp).between(*window), "callee to caller")
        self.assertEqual(self.caller.call("GetInboundCodec", 0), PCMU_CODEC)
        self.assertEqual(self.callee.call("GetInboundCodec", 0), PCMU_CODEC)

        # Held, the call is quiet both ways: the caller holds it, the callee is held.
        self.assertTrue(self.caller.call("HoldLine", 0))
        self.caller.drain(1)
        self.assertTrue(self.caller.call("IsLineHold", 0))
        held = time.monotonic()
        self.caller.drain(2)
        self.assertEqual(self.relay.tap_for(self.callee_rtp).between(held, time.monotonic()), [], "caller while held")
        self.assertEqual(self.relay.tap_for(self.caller_rtp).between(held, time.monotonic()), [], "callee while held")
        self.assertTrue(self.caller.call("UnHoldLine", 0))
        self.caller.drain(1)
        resumed = time.monotonic()
        self.caller.drain(2)
        for port in (self.callee_rtp, self.caller_rtp):
            self.assertGreater(len(self.relay.tap_for(port).between(resumed, time.monotonic())), 80, "resumed")

        # A wave file played into the call arrives intact, sample for sample.
        wave = os.path.join(tempfile.mkdtemp(prefix="orvua-silent-"), "wave.wav")
        played = [int(8000 * math.cos(2 * math.pi * 440 * n / 8000) + 4000 * math.sin(2 * math.pi * 1130 * n / 8000))
                  for n in range(8000)]
        write_wav(wave, played)
        self.assertTrue(self.caller.call("PlayWaveOpen", 0, wave))
        started = time.monotonic()
        self.assertTrue(self.caller.call("PlayWaveStart", 0, False))
        self.caller.wait_event("OnPlayWaveDone", timeout=5)
        self.caller.drain(0.2)
        arrived = ulaw_samples(self.relay.tap_for(self.callee_rtp).between(started, time.monotonic()))
        first = next(index for index, sample in enumerate(arrived) if abs(sample) > 1000)
        self.assertGreaterEqual(len(arrived) - first, 8000, "the whole file")
        self.assertEqual(len([s for s in arrived[first + 8000:] if s != 0]), 0, "silence after the file")
        for got, sent in zip(arrived[first:first + 8000], played):
            self.assertLessEqual(abs(got - sent), abs(sent) / 12 + 16, (got, sent))

        self.assertTrue(self.caller.call("Disconnect", 0))
        self.callee.wait_event("OnDisconnectCall")
        time.sleep(0.3)
        quiet_from = time.monotonic()
        self.caller.drain(1)
        self.assertEqual(self.relay.tap_for(self.callee_rtp).between(quiet_from, time.monotonic()), [],
                         "nothing after the call")
        self.assertEqual(self.caller.quit(), 0)
        self.assertEqual(self.callee.quit(), 0)


if __name__ == "__main__":
    unittest.main()
