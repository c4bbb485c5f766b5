"""A UDP relay on loopback that misbehaves on purpose: the network of the tests.

A relay listens on a port of 127.0.0.1 and forwards every datagram it receives to the
address its route gives for the sender. The default route makes it a middlebox for
one peer, `target`: datagrams from anywhere else go to `target`, and those from
`target` go back to whoever last wrote from elsewhere. Give a peer the relay's port
instead of the other peer's and the stream runs through it; `route` (a dict from a
sender's (host, port) to a destination, or a callable of the sender giving one, or
None to swallow the datagram) maps addresses otherwise.

    relay = UdpRelay(target=(LOOPBACK, rtp_port), delay=(0, 40), drop=0.01, record=True)
    ...announce relay.port instead of rtp_port...
    relay.records                  # every datagram: arrival, departure, from, to, data
    relay.replay(relay.records[:5])   # send the first five again, now
    relay.impair(drop=0.05)        # change an impairment while it runs
    relay.stop()

Impairments, each drawn per datagram from a generator seeded with `seed`, so a
failing run can be repeated:
- delay=(low_ms, high_ms): hold the datagram for a uniformly drawn time; datagrams
  may overtake one another, as on a real network;
- drop=p: lose it with probability p;
- corrupt=p: flip one random bit beyond the first `keep` bytes (12 keeps an RTP
  header intact) with probability p.
With record=True every datagram is kept as a Record: `arrived` and `sent`
(time.monotonic(); `sent` stays None for a dropped one), `source`, `destination`,
`data` as it arrived, and `dropped`/`corrupted`. Nothing is sent beyond 127.0.0.0/8,
wherever a route points.
"""
import heapq
import itertools
import random
import socket
import threading
import time
from dataclasses import dataclass
from typing import Optional

from orvua_driver import LOOPBACK
from rtp_media import is_rtcp, rtp_fields


@dataclass
class Record:
    arrived: float
    source: tuple
    destination: Optional[tuple]
    data: bytes
    dropped: bool = False
    corrupted: bool = False
    sent: Optional[float] = None


class UdpRelay:
    def __init__(self, target=None, route=None, delay=(0, 0), drop=0.0, corrupt=0.0, keep=0, record=False,
                 seed=None, port=0):
        self.target = target
        self.route = route
        self.record = record
        self.records = []
        self.random = random.Random(seed)
        self.impair(delay=delay, drop=drop, corrupt=corrupt, keep=keep)
        self._last_other = None
        # Another relay whose socket the datagrams leave from: two relays, each the
        # other's sender, make one symmetric media relay (see SipMediaRelay).
        self.sender = None
        self._due = []
        self._order = itertools.count()
        self._lock = threading.Condition()
        self._stopped = False
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((LOOPBACK, port))
        self.socket.settimeout(0.1)
        self.port = self.socket.getsockname()[1]
        self._threads = [threading.Thread(target=self._receive, daemon=True),
                         threading.Thread(target=self._send_due, daemon=True)]
        for thread in self._threads:
            thread.start()

    def impair(self, **changes):
        """Changes delay, drop, corrupt or keep from now on."""
        for name, value in changes.items():
            if name not in ("delay", "drop", "corrupt", "keep"):
                raise TypeError(f"no impairment {name}")
            setattr(self, name, value)

    def destination(self, source):
        if self.route is not None:
            return self.route(source) if callable(self.route) else self.route.get(source)
        if source == self.target:
            return self._last_other
        self._last_other = source
        return self.target

    def between(self, start, end):
        """The recorded RTP datagrams that arrived in [start, end), as RTP fields (RTCP
        sharing the port is left out)."""
        return [rtp_fields(r.data) for r in list(self.records)
                if start <= r.arrived < end and len(r.data) >= 12 and not is_rtcp(r.data)]

    def replay(self, records, to=None):
        """Sends recorded datagrams again, at once and in order, to `to` or where they went."""
        for record in records:
            address = to or record.destination
            if address:
                self.socket.sendto(record.data, address)

    def _receive(self):
        while not self._stopped:
            try:
                data, source = self.socket.recvfrom(65535)
            except (TimeoutError, socket.timeout):
                continue
            except OSError:
                break
            self._handle(time.monotonic(), data, source)

    def _handle(self, arrived, data, source):
        entry = Record(arrived, source, self.destination(source), data)
        if self.record:
            self.records.append(entry)
        if entry.destination is None or not entry.destination[0].startswith("127."):
            return
        if self.random.random() < self.drop:
            entry.dropped = True
            return
        if self.corrupt and len(data) > self.keep and self.random.random() < self.corrupt:
            data = self._flip_bit(data)
            entry.corrupted = True
        low, high = self.delay
        hold = self.random.uniform(low, high) / 1000.0 if high > 0 else 0.0
        if hold <= 0:
            self._send(entry, data)
            return
        with self._lock:
            heapq.heappush(self._due, (arrived + hold, next(self._order), entry, data))
            self._lock.notify()

    def _flip_bit(self, data):
        at = self.random.randrange(self.keep, len(data))
        flipped = bytearray(data)
        flipped[at] ^= 1 << self.random.randrange(8)
        return bytes(flipped)

    def _send_due(self):
        with self._lock:
            while not self._stopped:
                if not self._due:
                    self._lock.wait(0.1)
                    continue
                wait = self._due[0][0] - time.monotonic()
                if wait > 0:
                    self._lock.wait(wait)
                    continue
                _, _, entry, data = heapq.heappop(self._due)
                self._send(entry, data)

    def _send(self, entry, data):
        entry.sent = time.monotonic()
        try:
            (self.sender or self).socket.sendto(data, entry.destination)
        except OSError:
            entry.sent = None

    def stop(self):
        with self._lock:
            self._stopped = True
            self._lock.notify()
        for thread in self._threads:
            thread.join()
        self.socket.close()
