"""The tests' UdpRelay itself: what later tests build on must do what it says."""
import time
import unittest

from orvua_driver import LOOPBACK, RawPeer
from udp_relay import UdpRelay


class UdpRelayTest(unittest.TestCase):
    def peers(self, count):
        peers = [RawPeer() for _ in range(count)]
        for peer in peers:
            self.addCleanup(peer.close)
        return peers

    def relay(self, **options):
        relay = UdpRelay(**options)
        self.addCleanup(relay.stop)
        return relay

    def test_it_stands_between_two_peers_records_replays_and_maps_addresses(self):
        caller, callee, stranger = self.peers(3)
        relay = self.relay(target=(LOOPBACK, callee.port), record=True)
        caller.send(b"hello", relay.port)
        self.assertEqual(callee.receive_bytes(), b"hello")
        callee.send(b"back", relay.port)
        self.assertEqual(caller.receive_bytes(), b"back", "the answer goes to whoever wrote last")
        self.assertEqual([(r.source[1], r.destination[1], r.data) for r in relay.records],
                         [(caller.port, callee.port, b"hello"), (callee.port, caller.port, b"back")])
        self.assertTrue(all(r.sent >= r.arrived for r in relay.records))
        relay.replay(relay.records[:1])
        self.assertEqual(callee.receive_bytes(), b"hello")
        relay.replay(relay.records[:1], to=(LOOPBACK, stranger.port))
        self.assertEqual(stranger.receive_bytes(), b"hello")

        mapped = self.relay(route={(LOOPBACK, caller.port): (LOOPBACK, stranger.port)})
        caller.send(b"mapped", mapped.port)
        callee.send(b"unknown sender", mapped.port)
        self.assertEqual(stranger.receive_bytes(), b"mapped")
        self.assertIsNone(stranger.receive_bytes(timeout=0.3), "a sender the route does not know is swallowed")

    def test_it_delays_drops_and_corrupts_as_asked(self):
        sender, receiver = self.peers(2)
        relay = self.relay(target=(LOOPBACK, receiver.port), delay=(30, 60), record=True, seed=1)
        started = time.monotonic()
        for number in range(20):
            sender.send(bytes([number]) * 20, relay.port)
        arrived = receiver.receive_all(0.5)
        self.assertEqual(sorted(arrived), sorted(bytes([n]) * 20 for n in range(20)))
        self.assertNotEqual(arrived, [bytes([n]) * 20 for n in range(20)], "delays reorder")
        held = [r.sent - r.arrived for r in relay.records]
        self.assertGreaterEqual(min(held), 0.029)
        self.assertLess(max(r.sent for r in relay.records) - started, 0.3)

        relay.impair(delay=(0, 0), drop=1.0)
        sender.send(b"lost", relay.port)
        self.assertIsNone(receiver.receive_bytes(timeout=0.3))
        self.assertTrue(relay.records[-1].dropped)
        self.assertIsNone(relay.records[-1].sent)

        relay.impair(drop=0.0, corrupt=1.0, keep=12)
        sender.send(bytes(32), relay.port)
        corrupted = receiver.receive_bytes()
        self.assertEqual(corrupted[:12], bytes(12), "the header is kept")
        self.assertEqual(sum(bin(b).count("1") for b in corrupted), 1, "one bit flipped")
        self.assertTrue(relay.records[-1].corrupted)
        with self.assertRaises(TypeError):
            relay.impair(jitter=3)


if __name__ == "__main__":
    unittest.main()
