"""RTP on the wire for the interop tests: packet fields, G.711 mu-law, paced senders,
and a speech-like test signal."""
import math
import struct
import threading
import time

PCMU = 0
PACKET_SAMPLES = 160  # 20 ms at 8000 Hz


def rtp_fields(datagram):
    first, second, sequence, timestamp, ssrc = struct.unpack("!BBHII", datagram[:12])
    return {"marker": bool(second & 0x80), "type": second & 0x7F, "sequence": sequence, "timestamp": timestamp,
            "ssrc": ssrc, "payload": datagram[12:]}


def is_rtcp(datagram):
    """Whether a datagram on an RTP port is RTCP (RFC 5761: packet types 192-223)."""
    return len(datagram) >= 2 and 192 <= datagram[1] <= 223


def rtp_packet(payload_type, sequence, timestamp, payload, ssrc=0x5EED):
    return struct.pack("!BBHII", 0x80, payload_type, sequence & 0xFFFF, timestamp & 0xFFFFFFFF, ssrc) + payload


def ulaw_to_linear(byte):
    byte = ~byte & 0xFF
    sign, exponent, mantissa = byte & 0x80, (byte >> 4) & 0x07, byte & 0x0F
    magnitude = ((mantissa << 3) + 0x84) << exponent
    return 0x84 - magnitude if sign else magnitude - 0x84


def linear_to_ulaw(sample):
    sign = 0x80 if sample < 0 else 0
    magnitude = min(abs(sample), 32635) + 0x84
    exponent = max(0, magnitude.bit_length() - 8)
    mantissa = (magnitude >> (exponent + 3)) & 0x0F
    return ~(sign | (exponent << 4) | mantissa) & 0xFF


def ulaw_payload(samples):
    return bytes(linear_to_ulaw(s) for s in samples)


def ulaw_samples(packets):
    return [ulaw_to_linear(b) for p in packets for b in p["payload"]]


def speech_like(seconds, rate=8000, seed=0):
    """A glottal pulse train with a wandering pitch shaped by three formant resonators
    moving between vowels, in syllables of 250 ms, peaking at 16000."""
    vowels = [(700, 1200, 2500), (300, 2300, 3000), (500, 900, 2400), (400, 1900, 2600)]
    count = int(seconds * rate)
    radius = math.exp(-math.pi * 80.0 / rate)
    state = [[0.0, 0.0] for _ in range(3)]
    phase = 0.0
    shaped = []
    for n in range(count):
        t = n / rate
        vowel = vowels[(n // 2000 + seed) % 4]
        phase += (120.0 + 20.0 * math.sin(2 * math.pi * 1.5 * t) + 15 * seed) / rate
        value = 0.0
        if phase >= 1.0:
            phase -= 1.0
            value = 1.0
        for k in range(3):
            out = value + 2 * radius * math.cos(2 * math.pi * vowel[k] / rate) * state[k][0] - radius * radius * state[k][1]
            state[k][1], state[k][0] = state[k][0], out
            value = out
        shaped.append(value * math.sin(math.pi * math.fmod(t, 0.25) / 0.25) ** 2)
    peak = max(abs(v) for v in shaped) or 1.0
    return [int(v / peak * 16000) for v in shaped]


def energy(samples):
    return sum(s * s for s in samples) / len(samples) if samples else 0.0


class PacedSender:
    """Sends 20 ms PCMU packets of a signal to a port in real time from a thread of its
    own; the signal can be changed on the fly, and sequence and timestamp run on."""

    def __init__(self, peer, port, samples=None):
        self.peer, self.port = peer, port
        self.lock = threading.Lock()
        self.samples, self.position = samples or [], 0
        self.sequence, self.timestamp = 1000, 160000
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def play(self, samples):
        with self.lock:
            self.samples, self.position = samples, 0

    def silence(self):
        self.play([])

    def next_packet(self, payload=None):
        """The following packet of the stream: the given payload, or the signal's next
        20 ms (silence when it is empty)."""
        with self.lock:
            if payload is None:
                chunk = self.samples[self.position:self.position + PACKET_SAMPLES] if self.samples else []
                self.position += PACKET_SAMPLES
                if self.samples and self.position >= len(self.samples):
                    self.position = 0
                payload = ulaw_payload(chunk + [0] * (PACKET_SAMPLES - len(chunk)))
            packet = rtp_packet(PCMU, self.sequence, self.timestamp, payload)
            self.sequence += 1
            self.timestamp += PACKET_SAMPLES
        return packet

    def _run(self):
        due = time.monotonic()
        while not self.stopped.is_set():
            self.peer.send(self.next_packet(), self.port)
            due += PACKET_SAMPLES / 8000
            delay = due - time.monotonic()
            if delay > 0:
                self.stopped.wait(delay)

    def stop(self):
        self.stopped.set()
        self.thread.join()


class ReaderThread:
    """Calls `handle` with every datagram `receive` returns (None when nothing came
    within its time-out), on a thread of its own, until stopped."""

    def __init__(self, receive, handle):
        self.receive, self.handle = receive, handle
        self.stopped = False
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.stopped:
            try:
                data = self.receive()
            except OSError:
                break
            if data is not None:
                self.handle(data)

    def stop(self):
        self.stopped = True
        self.thread.join()


def socket_receiver(sock):
    """A receive function for ReaderThread over a plain socket."""
    sock.settimeout(0.1)

    def receive():
        try:
            return sock.recv(65535)
        except TimeoutError:
            return None
    return receive


class Collector:
    """Collects every datagram a receive function returns, with its arrival time, and
    passes each on to `then` when given."""

    def __init__(self, receive, then=None):
        self.arrivals = []
        self.then = then
        self.reader = ReaderThread(receive, self.keep)

    @classmethod
    def of_peer(cls, peer):
        return cls(lambda: peer.receive_bytes(0.1))

    def keep(self, data):
        self.arrivals.append((time.monotonic(), data))
        if self.then:
            self.then(data)

    def between(self, start, end):
        return [rtp_fields(data) for stamp, data in list(self.arrivals) if start <= stamp < end and len(data) >= 12]

    def stop(self):
        self.reader.stop()
