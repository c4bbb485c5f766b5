"""What a listener played of a G.711 stream that came through a UdpRelay.

Every 10 ms block the listener's speaker file holds is matched to the half packet it
plays, so it can be told which packets played, which blocks were played again or
left silent to cover a gap (concealed), and which packets arrived and never played:
late ones (their turn was concealed before they came) or ones the jitter buffer
trimmed to cut its delay. The sender's microphone must never repeat a block:
`marked_tone` makes such a file.
"""
import bisect
import math
from dataclasses import dataclass

from rtp_media import PCMU, rtp_fields, ulaw_to_linear

BLOCK = 80


def marked_tone(seconds, frequency=1000, amplitude=8000, rate=8000):
    """A tone with a faint hiss 40 dB below it: no two 10 ms blocks alike, even in mu-law."""
    state, samples = 12345, []
    for n in range(int(seconds * rate)):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        samples.append(int(amplitude * math.sin(2 * math.pi * frequency * n / rate)) + (state >> 16) % 161 - 80)
    return samples


def unwrapped_timestamp(timestamp, base):
    """The timestamp's distance from the stream's first, across a wrap of the 32 bits."""
    return ((timestamp - base + (1 << 31)) & 0xFFFFFFFF) - (1 << 31)


def _blocks_of(payload):
    samples = [ulaw_to_linear(b) for b in payload]
    return [tuple(samples[at:at + BLOCK]) for at in range(0, len(samples) - BLOCK + 1, BLOCK)]


@dataclass
class Playout:
    blocks: int = 0           # blocks from the first to the last one that played the stream
    concealed: int = 0        # of those, blocks played again or silent
    arrived: int = 0          # packets the relay passed on within that stretch
    lost: int = 0             # packets the relay dropped within it
    late: int = 0             # arrived, never played, their turn concealed
    trimmed: int = 0          # arrived, never played, skipped without concealment

    @property
    def concealed_beyond_loss(self):
        """Concealed blocks beyond those that stood in for packets the relay dropped."""
        return max(0, self.concealed - 2 * self.lost)


def _packets(records):
    """The 20 ms PCMU packets of the records, by their timestamp's distance from the first."""
    packets, base = {}, None
    for record in records:
        fields = rtp_fields(record.data) if len(record.data) >= 12 else None
        if fields and fields["type"] == PCMU and len(fields["payload"]) == 2 * BLOCK:
            base = fields["timestamp"] if base is None else base
            packets[unwrapped_timestamp(fields["timestamp"], base)] = record
    return packets


def _heard(packets, speaker, start_block):
    """For each speaker block from `start_block`: (timestamp, half) of the packet it plays,
    or None. Blocks sent more than once (silence, say) tell nothing and are left out."""
    where = {}
    for timestamp, record in packets.items():
        for half, block in enumerate(_blocks_of(rtp_fields(record.data)["payload"])):
            if any(block):
                where[block] = None if block in where else (timestamp, half)
    return [where.get(tuple(speaker[at:at + BLOCK])) for at in range(start_block * BLOCK, len(speaker) - BLOCK + 1,
                                                                     BLOCK)]


def playout(records, speaker, start_block=0):
    """Reads the speaker samples against the relay's records of the stream into it.
    Blocks before `start_block` (the call's first moments, say) are left out."""
    packets = _packets(records)
    heard = _heard(packets, speaker, start_block)
    known = [index for index, block in enumerate(heard) if block is not None]
    result = Playout()
    if not known:
        return result
    heard = heard[known[0]:known[-1] + 1]
    result.blocks = len(heard)
    played, order, repeats_before = set(), [], {}
    repeats = 0
    for block in heard:
        if block is None or block in played:
            result.concealed += 1
            repeats += block is not None
            continue
        played.add(block)
        if not order or order[-1] != block[0]:
            repeats_before[block[0]] = repeats
            order.append(block[0])
            repeats = 0
    within = [t for t in sorted(packets) if order[0] <= t <= order[-1]]
    result.lost = sum(1 for t in within if packets[t].dropped)
    result.arrived = len(within) - result.lost
    # Between two packets that played in turn: the missing ones the repeats in
    # between stood in for came too late (or were lost); the others were trimmed.
    for earlier, later in zip(order, order[1:]):
        missing = within[bisect.bisect_right(within, earlier):bisect.bisect_left(within, later)]
        dropped = sum(1 for t in missing if packets[t].dropped)
        covered = min(len(missing), repeats_before[later] // 2)
        result.late += max(0, covered - dropped)
        result.trimmed += len(missing) - max(covered, dropped)
    return result
