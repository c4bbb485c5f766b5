"""RTCP on the wire for the interop tests (RFC 3550): compound packets read into dicts,
and the sender and receiver reports a hand-made peer sends."""
import struct
import time

SR, RR, SDES, BYE = 200, 201, 202, 203
NTP_EPOCH_OFFSET = 2208988800


def ntp_now():
    """The wall clock as a 64-bit NTP timestamp."""
    now = time.time() + NTP_EPOCH_OFFSET
    return (int(now) << 32) | int((now % 1) * (1 << 32))


def middle_bits(ntp):
    return (ntp >> 16) & 0xFFFFFFFF


def parse(datagram):
    """The packets of a compound datagram: [(type, count, body)]; None when the lengths
    do not add up."""
    packets, at = [], 0
    while at + 4 <= len(datagram):
        first, packet_type, words = struct.unpack("!BBH", datagram[at:at + 4])
        end = at + 4 * (words + 1)
        if first >> 6 != 2 or end > len(datagram):
            return None
        packets.append((packet_type, first & 0x1F, datagram[at + 4:end]))
        at = end
    return packets if at == len(datagram) else None


def report(datagram):
    """What a compound packet reports: type (SR or RR), ssrc, sender info, blocks by
    SSRC, cname, bye; None when it is not a valid compound packet."""
    packets = parse(datagram)
    if not packets or packets[0][0] not in (SR, RR):
        return None
    packet_type, count, body = packets[0]
    found = {"type": packet_type, "ssrc": struct.unpack("!I", body[:4])[0], "blocks": {}, "cname": None,
             "bye": any(p[0] == BYE for p in packets)}
    at = 4
    if packet_type == SR:
        ntp_high, ntp_low, rtp, packets_sent, octets = struct.unpack("!IIIII", body[4:24])
        found.update(ntp=(ntp_high << 32) | ntp_low, rtp_timestamp=rtp, packet_count=packets_sent,
                     octet_count=octets)
        at = 24
    for _ in range(count):
        ssrc, lost, highest, jitter, lsr, dlsr = struct.unpack("!IIIIII", body[at:at + 24])
        cumulative = lost & 0xFFFFFF
        found["blocks"][ssrc] = {"fraction": lost >> 24, "lost": cumulative - (1 << 24) if cumulative & 0x800000
                                 else cumulative, "highest": highest, "jitter": jitter, "lsr": lsr, "dlsr": dlsr}
        at += 24
    for packet_type, _, body in packets[1:]:
        if packet_type == SDES and len(body) > 6 and body[4] == 1:
            found["cname"] = body[6:6 + body[5]].decode("ascii", "replace")
    return found


def block(ssrc, lost=0, fraction=0, highest=0, jitter=0, lsr=0, dlsr=0):
    return struct.pack("!IIIIII", ssrc, (fraction << 24) | (lost & 0xFFFFFF), highest, jitter, lsr, dlsr)


def packet(packet_type, count, body):
    return struct.pack("!BBH", 0x80 | count, packet_type, (4 + len(body)) // 4 - 1) + body


def cname_chunk(ssrc, cname=b"peer@127.0.0.1"):
    item = bytes([1, len(cname)]) + cname + b"\x00"
    return packet(SDES, 1, struct.pack("!I", ssrc) + item + bytes(-len(item) % 4))


def receiver_report(ssrc, *blocks):
    return packet(RR, len(blocks), struct.pack("!I", ssrc) + b"".join(blocks)) + cname_chunk(ssrc)


def sender_report(ssrc, ntp, rtp_timestamp, packets, octets, *blocks):
    info = struct.pack("!IIIIII", ssrc, ntp >> 32, ntp & 0xFFFFFFFF, rtp_timestamp, packets, octets)
    return packet(SR, len(blocks), info + b"".join(blocks)) + cname_chunk(ssrc)
