#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/.

A SIP seed is the exchange of one sipp scenario of the interop tests (the messages
sipp sends, with the scenario's keywords filled in and the words the SIP target
replaces, $CALLID, $CSEQ, $BRANCH and $LOCALTAG, where a peer copies what this side
sent), or one exchange of the other interop tests. SDP and digest seeds come out of the same
messages; RTP seeds are packets of every codec and telephone events, and SRTP seeds
the same with the ways the target protects, repeats and damages them; key seeds
are a=crypto lines alone and in SDP of this side and of baresip; sound file
seeds are small WAV and AU files of several formats (GSM 06.10 WAV too); INI seeds
are a TARN.INI, an INPUT.INI record and broken ones; CTI seeds are socket sessions.

Regression inputs (the crash-*, leak-* and timeout-* files) are never touched.
Run it again after changing the scenarios: python3 tests/fuzz/make_corpus.py
"""

import pathlib
import re
import struct
import xml.etree.ElementTree as ElementTree

HERE = pathlib.Path(__file__).resolve().parent
SCENARIOS = HERE.parent / "interop" / "scenarios"
CORPUS = HERE / "corpus"

# Host actions of the SIP target (the first byte of its inputs).
NONE, DIAL, ACCEPT, REJECT, DISCONNECT, HOLD, UNHOLD, TRANSFER, JOIN, DIGIT, REGISTER = range(11)
ONE_TICK, MANY_TICKS = 11, 16
SEPARATOR = b"\n~~~~\n"

FILLS = {
    "[local_ip]": "127.0.0.1", "[local_port]": "5070", "[remote_ip]": "127.0.0.1",
    "[remote_port]": "5060", "[media_ip]": "127.0.0.1", "[$rtpport]": "7078", "[pid]": "1",
    "[call_number]": "1", "[transport]": "UDP", "[media_port]": "7078",
    "[next_url]": "sip:1001@127.0.0.1:5060",
}


def crlf(lines):
    return "\r\n".join(lines)


def fill(text, scenario, as_peer_of_our_request, method, message_number):
    """The sipp keywords of one message, filled in."""
    text = "\n".join(line.strip() for line in text.strip().split("\n"))
    call_id = "$CALLID" if as_peer_of_our_request else f"fz-{scenario}@127.0.0.1"
    replacements = {
        "[last_Via:]": "Via: SIP/2.0/UDP 127.0.0.1:5060;branch=$BRANCH;rport",
        "[last_From:]": "From: <sip:1001@127.0.0.1>;tag=$LOCALTAG" if as_peer_of_our_request
        else "From: <sip:alice@127.0.0.1:5070>;tag=1SIPpTag001",
        "[last_To:]": "To: <sip:200@127.0.0.1:5070>" if as_peer_of_our_request
        else "To: <sip:1001@127.0.0.1>;tag=$LOCALTAG",
        "[last_Call-ID:]": f"Call-ID: {call_id}",
        "[last_CSeq:]": f"CSeq: $CSEQ {method}",
        "[call_id]": call_id,
        "[branch]": f"z9hG4bK-fz-{scenario}-{message_number}",
        **FILLS,
    }
    for keyword, value in replacements.items():
        text = text.replace(keyword, value)
    text = re.sub(r"\[[^\]]*\]", "", text.replace("[len]", "@LEN@"))
    head, _, body = text.partition("\n\n")
    body = crlf(body.split("\n")) + ("\r\n" if body else "")
    head = crlf(head.split("\n")).replace("@LEN@", str(len(body.encode())))
    return head + "\r\n\r\n" + body


def scenario_messages(path):
    """(action, text) for every message a scenario sends, in order."""
    root = ElementTree.parse(path).getroot()
    scenario = path.stem
    first_is_request = None
    last_request = "INVITE"
    seeds = []
    for number, element in enumerate(root):
        if element.tag == "recv" and element.get("request"):
            last_request = element.get("request")
        if element.tag != "send" or not element.text:
            continue
        text = element.text.strip()
        is_response = text.startswith("SIP/2.0")
        if first_is_request is None:
            first_is_request = not is_response
        as_peer_of_our_request = not first_is_request
        message = fill(element.text, scenario, as_peer_of_our_request, last_request, number)
        if not seeds and as_peer_of_our_request:
            action = REGISTER if last_request == "REGISTER" else DIAL
        elif message.startswith("ACK") and first_is_request:
            action = REJECT if re.search("reject|refus|busy", scenario) else ACCEPT
        else:
            action = NONE
        seeds.append((action, message))
    return seeds


def peer_request(method, call_id, cseq, body="", extra="", to_tag="", content_type="application/sdp"):
    to = "<sip:1001@127.0.0.1>" + (f";tag={to_tag}" if to_tag else "")
    text = (f"{method} sip:1001@127.0.0.1:5060 SIP/2.0\r\n"
            f"Via: SIP/2.0/UDP 127.0.0.1:5070;branch=z9hG4bK{call_id}{cseq};rport\r\n"
            f"From: \"Peer\" <sip:peer@127.0.0.1:5070>;tag=caller1\r\nTo: {to}\r\n"
            f"Call-ID: {call_id}\r\nCSeq: {cseq} {method}\r\nMax-Forwards: 70\r\n"
            f"Contact: <sip:peer@127.0.0.1:5070>\r\n{extra}")
    if body:
        text += f"Content-Type: {content_type}\r\n"
    return text + f"Content-Length: {len(body)}\r\n\r\n{body}"


def answer_to_ours(status, reason, method, extra="", body=""):
    text = (f"SIP/2.0 {status} {reason}\r\nVia: SIP/2.0/UDP 127.0.0.1:5060;branch=$BRANCH;rport\r\n"
            f"From: <sip:1001@127.0.0.1>;tag=$LOCALTAG\r\nTo: <sip:200@127.0.0.1:5070>;tag=callee1\r\n"
            f"Call-ID: $CALLID\r\nCSeq: $CSEQ {method}\r\nContact: <sip:200@127.0.0.1:5070>\r\n{extra}")
    if body:
        text += "Content-Type: application/sdp\r\n"
    return text + f"Content-Length: {len(body)}\r\n\r\n{body}"


def other_flows():
    """Exchanges of the other interop tests, as (name, [(action, text), ...])."""
    summary = "Messages-Waiting: yes\r\nMessage-Account: sip:1001@127.0.0.1\r\nVoice-Message: 2/8 (0/2)\r\n"
    answered = answer_to_ours(200, "OK", "INVITE", body=sdp("0 8 101", "sendrecv"))
    return [
        ("message-waiting", [
            (NONE, peer_request("NOTIFY", "mwi-1", 1, summary, "Event: message-summary\r\n",
                                content_type="application/simple-message-summary")),
            (NONE, peer_request("NOTIFY", "mwi-2", 1, "Messages-Waiting: no\r\n", "Event: message-summary\r\n",
                                content_type="application/simple-message-summary"))]),
        ("outside-any-call", [
            (NONE, peer_request("OPTIONS", "opt-1", 3)),
            (NONE, peer_request("CANCEL", "nothing-1", 1)),
            (NONE, peer_request("BYE", "nothing-2", 2, to_tag="x")),
            (NONE, peer_request("SUBSCRIBE", "sub-1", 1, extra="Max-Forwards: 0\r\n"))]),
        ("in-call-requests", [
            (DIAL, answer_to_ours(100, "Trying", "INVITE")),
            (NONE, answered),
            (TRANSFER, answer_to_ours(407, "Proxy Authentication Required", "REFER",
                                      'Proxy-Authenticate: Digest realm="127.0.0.1", nonce="r1", opaque="o"\r\n')),
            (NONE, answer_to_ours(202, "Accepted", "REFER")),
            (DIGIT, answer_to_ours(415, "Unsupported Media Type", "INFO")),
            (HOLD, answer_to_ours(200, "OK", "INVITE", body=sdp("0 101", "recvonly"))),
            (UNHOLD, answer_to_ours(491, "Request Pending", "INVITE")),
            (DISCONNECT, answer_to_ours(401, "Unauthorized", "BYE",
                                        'WWW-Authenticate: Digest realm="127.0.0.1", nonce="b1", qop="auth"\r\n')),
            (NONE, answer_to_ours(200, "OK", "BYE"))]),
        ("early-media-time-out", [
            (DIAL, answer_to_ours(183, "Session Progress", "INVITE", body=sdp("18 3", ""))),
            (MANY_TICKS, answer_to_ours(487, "Request Terminated", "INVITE"))]),
        ("attended-transfer", [
            (DIAL, answered),
            (DIAL | 0x80, answered),
            (JOIN, answer_to_ours(481, "Call Does Not Exist", "REFER"))]),
    ]


def sdp(payloads, direction, address="127.0.0.1"):
    lines = ["v=0", "o=peer 1 1 IN IP4 127.0.0.1", "s=-", f"c=IN IP4 {address}", "t=0 0",
             f"m=audio 7078 RTP/AVP {payloads}"]
    names = {"0": "PCMU/8000", "8": "PCMA/8000", "3": "GSM/8000", "18": "G729/8000", "98": "iLBC/8000",
             "101": "telephone-event/8000"}
    lines += [f"a=rtpmap:{p} {names[p]}" for p in payloads.split() if p in names]
    if direction:
        lines.append(f"a={direction}")
    return crlf(lines) + "\r\n"


def write(folder, name, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def write_sip_and_derived(flows):
    sdp_seen = set()
    for name, messages in flows:
        records = [bytes([action]) + text.encode() for action, text in messages]
        write(CORPUS / "sip_datagram", name, SEPARATOR.join(records))
        for number, (_, text) in enumerate(messages):
            body = text.partition("\r\n\r\n")[2]
            if body.startswith("v=0") and body not in sdp_seen:
                sdp_seen.add(body)
                write(CORPUS / "sdp", f"{name}-{number:02d}", body.encode())
            if "-Authenticate:" in text:
                write(CORPUS / "digest_challenge", f"{name}-{number:02d}", text.replace("$", "x").encode())


def write_sdp_extras():
    extras = {
        "hold-null-address": sdp("0 8 101", "sendonly", "0.0.0.0"),
        "inactive": sdp("3 18", "inactive"),
        "ilbc-dynamic": sdp("97 0", "").replace("m=audio 7078 RTP/AVP 97 0",
                                                "m=audio 7078 RTP/AVP 97 0\r\na=rtpmap:97 iLBC/8000"),
        "named-host": sdp("0", "", "media.example.com"),
        "no-common-codec": sdp("9 96", "sendrecv"),
    }
    for name, text in extras.items():
        write(CORPUS / "sdp", name, text.encode())


def write_digest_extras():
    base = ("SIP/2.0 {status} Unauthorized\r\nVia: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bK1\r\n"
            "From: <sip:1001@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>;tag=2\r\nCall-ID: c1\r\n"
            "CSeq: 1 INVITE\r\n{header}Content-Length: 0\r\n\r\n")
    challenges = {
        "www-no-qop": (401, 'WWW-Authenticate: Digest realm="a", nonce="n"\r\n'),
        "proxy-qop-list": (407, 'Proxy-Authenticate: Digest realm="b", nonce="n", qop="auth,auth-int", '
                                'opaque="op", algorithm=MD5, stale=FALSE\r\n'),
        "both": (401, 'WWW-Authenticate: Digest realm="c", nonce="1"\r\n'
                      'Proxy-Authenticate: Digest realm="d", nonce="2", qop="auth"\r\n'),
        "empty-values": (401, 'WWW-Authenticate: Digest realm="", nonce=""\r\n'),
    }
    for name, (status, header) in challenges.items():
        write(CORPUS / "digest_challenge", name, base.format(status=status, header=header).encode())


def rtp(payload_type, sequence, timestamp, payload, marker=False):
    header = struct.pack("!BBHII", 0x80, (0x80 if marker else 0) | payload_type, sequence, timestamp, 0x1234)
    return header + payload


def framed(*packets):
    return b"".join(struct.pack("!H", len(p)) + p for p in packets)


def write_rtp():
    payloads = {"pcmu": (0, 3, bytes(range(160))), "pcma": (8, 2, bytes(range(96, 256))),
                "gsm": (3, 0, bytes([0xD0]) + bytes(32)), "g729": (18, 4, bytes(20)),
                "ilbc": (98, 1, bytes(50))}
    for name, (payload_type, codec, payload) in payloads.items():
        packets = [rtp(payload_type, 100 + n, 160 * n, payload) for n in (0, 1, 3, 2, 2, 7)]
        write(CORPUS / "rtp_datagram", f"{name}-pulled", bytes([codec | 0x08]) + framed(*packets))
        write(CORPUS / "rtp_datagram", f"{name}-unpulled", bytes([codec]) + framed(*packets[:3]))
    events = [rtp(101, 10 + n, 800, bytes([5, 0x0A if n < 3 else 0x8A]) + struct.pack("!H", 160 * (n + 1)), marker=n == 0)
              for n in range(5)]
    events += [rtp(101, 16, 2400, bytes([11, 0x0A]) + struct.pack("!H", 160), marker=True)]
    write(CORPUS / "rtp_datagram", "telephone-events", bytes([3 | 0x08]) + framed(*events))
    odd = [rtp(0, 1, 0, bytes(161)), b"\x80", bytes([0xA0]) + rtp(0, 2, 160, bytes(160) + b"\x05")[1:],
           bytes([0x83]) + rtp(0, 3, 320, bytes(170))[1:], bytes([0x90]) + rtp(0, 4, 480, bytes(170))[1:],
           rtp(0, 0xFFFF, 0xFFFFFF00, bytes(160)), rtp(0, 0, 0x60, bytes(160))]
    write(CORPUS / "rtp_datagram", "odd-headers-and-wrap", bytes([3 | 0x08]) + framed(*odd))
    write(CORPUS / "rtp_datagram", "held", bytes([2 | 0x10]) + framed(*[rtp(8, 1, 0, bytes(160))]))
    write(CORPUS / "rtp_datagram", "stun-answers", bytes([3]) + framed(*stun_answers()))


def stun_answer(attributes, transaction=bytes(range(1, 13)), kind=0x0101):
    return struct.pack("!HHI", kind, len(attributes), 0x2112A442) + transaction + attributes


def stun_answers():
    """Answers to the fuzz target's STUN request: XOR-MAPPED-ADDRESS, the old
    MAPPED-ADDRESS, an error, another transaction's, and one cut short."""
    xor_mapped = struct.pack("!HHBBH4s", 0x0020, 8, 0, 1, 32853 ^ 0x2112, bytes([0xE1, 0x12, 0xA6, 0x43]))
    mapped = struct.pack("!HHBBH4s", 0x0001, 8, 0, 1, 8080, bytes([192, 0, 2, 7]))
    software = struct.pack("!HH", 0x8022, 3) + b"abc\0"
    good = stun_answer(software + xor_mapped)
    return [good, stun_answer(mapped), stun_answer(xor_mapped, kind=0x0111),
            stun_answer(xor_mapped, transaction=bytes(12)), good[:30], rtp(0, 5, 800, bytes(160))]


def rtcp(packet_type, count, body, padding=0):
    """One RTCP packet: header, body, and `padding` bytes of padding (its count last)."""
    pad = bytes(padding - 1) + bytes([padding]) if padding else b""
    words = (4 + len(body) + len(pad)) // 4 - 1
    return struct.pack("!BBH", 0x80 | (0x20 if padding else 0) | count, packet_type, words) + body + pad


def report_block(ssrc, lost=0, jitter=80, lsr=0x12345678, dlsr=0x10000):
    return struct.pack("!IIIIII", ssrc, (13 << 24) | (lost & 0xFFFFFF), 0x10064, jitter, lsr, dlsr)


def cname(ssrc, text):
    item = bytes([1, len(text)]) + text + b"\x00"
    return rtcp(202, 1, struct.pack("!I", ssrc) + item + bytes(-len(item) % 4))


def write_rtcp():
    sender = struct.pack("!IIIIII", 0x5EED, 0xE0000000, 0x80000000, 16000, 100, 16000)
    compounds = {
        "sender-report": rtcp(200, 1, sender + report_block(0x1234)) + cname(0x5EED, b"peer@127.0.0.1"),
        "receiver-report-bye": rtcp(201, 1, struct.pack("!I", 0x5EED) + report_block(0x1234, lost=0xFFFFFF))
        + cname(0x5EED, b"x") + rtcp(203, 1, struct.pack("!I", 0x5EED) + b"\x03bye"),
        "padded-last": rtcp(201, 0, struct.pack("!I", 7)) + rtcp(204, 0, struct.pack("!I", 7) + b"name", padding=4),
        "too-many-blocks": rtcp(201, 31, struct.pack("!I", 7) + report_block(1)),
        "length-beyond": rtcp(200, 0, sender)[:-4],
        "description-overrun": rtcp(201, 0, struct.pack("!I", 7)) + rtcp(202, 2, struct.pack("!I", 7) + b"\x01\xff"),
    }
    for name, data in compounds.items():
        write(CORPUS / "rtcp_compound", name, data)


def srtp_framed(*packets):
    """SRTP target datagrams: each (way, packet) as its way byte, length and bytes."""
    return b"".join(bytes([way]) + struct.pack("!H", len(p)) + p for way, p in packets)


def write_srtp():
    for name, (payload_type, codec, payload) in {"pcmu": (0, 3, bytes(range(160))), "g729": (18, 4, bytes(20)),
                                                 "gsm": (3, 0, bytes([0xD0]) + bytes(32))}.items():
        packets = [(1, rtp(payload_type, 100 + n, 160 * n, payload)) for n in range(8)]
        packets += [(2, rtp(payload_type, 108, 1280, payload)), (3 | (45 << 2), rtp(payload_type, 109, 1440, payload)),
                    (0, rtp(payload_type, 110, 1600, payload + bytes(10))), (1, rtp(payload_type, 104, 640, payload))]
        write(CORPUS / "srtp_receive", f"{name}-80-pulled", bytes([codec | 0x10]) + srtp_framed(*packets))
        write(CORPUS / "srtp_receive", f"{name}-32", bytes([codec | 0x08]) + srtp_framed(*packets[:5]))
    events = [(1 if n != 2 else 2, rtp(101, 10 + n, 800, bytes([5, 0x0A if n < 3 else 0x8A]) + struct.pack("!H", 160)))
              for n in range(5)]
    write(CORPUS / "srtp_receive", "telephone-events", bytes([3 | 0x10]) + srtp_framed(*events))
    odd = [(1, b"\x80"), (1, rtp(0, 1, 0, b"")), (1, bytes([0x90]) + rtp(0, 2, 160, bytes(170))[1:]),
           (1, bytes([0xA0]) + rtp(0, 3, 320, bytes(160) + b"\x05")[1:]), (0, bytes(5)), (3, rtp(0, 4, 480, bytes(160)))]
    write(CORPUS / "srtp_receive", "odd-packets", bytes([3]) + srtp_framed(*odd))


def write_sdp_crypto():
    key, other = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwd", "HRwbGhkYFxYVFBMSERAPDg0MCwoJCAcGBQQDAgEA"

    def keyed(profile, *cryptos):
        return sdp("0 101", "sendrecv").replace("RTP/AVP", profile) + "".join(f"a=crypto:{c}\r\n" for c in cryptos)

    seeds = {
        "line-80": f"1 AES_CM_128_HMAC_SHA1_80 inline:{key}",
        "line-lifetime-wsh": f"7 AES_CM_128_HMAC_SHA1_32 inline:{key}|2^31 WSH=64",
        "ours-offered": keyed("RTP/AVP", f"1 AES_CM_128_HMAC_SHA1_80 inline:{key}",
                              f"2 AES_CM_128_HMAC_SHA1_32 inline:{other}"),
        "ours-required": keyed("RTP/SAVP", f"1 AES_CM_128_HMAC_SHA1_80 inline:{key}",
                               f"2 AES_CM_128_HMAC_SHA1_32 inline:{other}"),
        "answer-32": keyed("RTP/SAVP", f"2 AES_CM_128_HMAC_SHA1_32 inline:{other}"),
        "baresip-mandatory": keyed("RTP/SAVP", f"1 AES_CM_128_HMAC_SHA1_32 inline:{key}",
                                   f"2 AES_CM_128_HMAC_SHA1_80 inline:{other}",
                                   f"3 AES_256_CM_HMAC_SHA1_32 inline:{key}{other[:20]}",
                                   f"4 AES_256_CM_HMAC_SHA1_80 inline:{other}{key[:20]}"),
        "unusable": keyed("RTP/SAVP", f"1 AES_CM_128_HMAC_SHA1_80 inline:{key}|2^20|1:4",
                          f"2 AES_CM_128_HMAC_SHA1_80 inline:{key[:30]}", f"x AES_CM_128_HMAC_SHA1_80 inline:{key}",
                          f"3 AES_CM_128_HMAC_SHA1_80 inline:{key} UNENCRYPTED_SRTP"),
        "plain": sdp("0 8 101", "sendrecv"),
    }
    for name, text in seeds.items():
        write(CORPUS / "sdp_crypto", name, text.encode())


def riff_wave(format_tag, channels, rate, bits, frames, declared_bytes=None):
    """A RIFF WAVE file of a ramp, its data chunk length as declared (or true)."""
    block = channels * bits // 8
    data = bytes((n * 7) & 0xFF for n in range(frames * block))
    length = len(data) if declared_bytes is None else declared_bytes
    fmt = struct.pack("<HHIIHH", format_tag, channels, rate, rate * block, block, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", length) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def sun_au(rate, channels, frames):
    data = bytes((n * 5) & 0xFF for n in range(frames * channels))
    return b".snd" + struct.pack(">IIIII", 24, len(data), 1, rate, channels) + data


def write_wav():
    files = {
        "pcm16-8k-mono.wav": riff_wave(1, 1, 8000, 16, 160),
        "pcm16-16k-stereo.wav": riff_wave(1, 2, 16000, 16, 320),
        "pcm8-11k-mono.wav": riff_wave(1, 1, 11025, 8, 200),
        "mulaw-8k.wav": riff_wave(7, 1, 8000, 8, 160),
        "float-44k-stereo.wav": riff_wave(3, 2, 44100, 32, 100),
        "pcm16-1k-upsampled.wav": riff_wave(1, 1, 1000, 16, 50),
        "data-longer-than-file.wav": riff_wave(1, 1, 8000, 16, 40, declared_bytes=0x7FFFFFF0),
        "mulaw-8k.au": sun_au(8000, 1, 160),
    }
    for name, data in files.items():
        write(CORPUS / "wav_source", name, data)


def gsm_wav49(blocks):
    """A GSM 06.10 WAV (format 49): 65-byte blocks of two frames, 320 samples each."""
    fmt = struct.pack("<HHIIHHHH", 49, 1, 8000, 1625, 65, 0, 2, 320)
    data = bytes((n * 13) & 0xFF for n in range(65 * blocks))
    fact = struct.pack("<I", 320 * blocks)
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"fact" + struct.pack("<I", 4) + fact
            + b"data" + struct.pack("<I", len(data)) + data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def write_wave_files():
    files = {
        "pcm16-8k-mono.wav": riff_wave(1, 1, 8000, 16, 8000 * 4),
        "pcm16-16k-stereo.wav": riff_wave(1, 2, 16000, 16, 320),
        "mulaw-8k.wav": riff_wave(7, 1, 8000, 8, 160),
        "gsm-wav49.wav": gsm_wav49(30),
        "gsm-wav49-cut.wav": gsm_wav49(3)[:-20],
        "data-longer-than-file.wav": riff_wave(1, 1, 8000, 16, 40, declared_bytes=0x7FFFFFF0),
        "odd-chunks.wav": riff_wave(1, 1, 8000, 16, 10).replace(b"fmt ", b"junk\x01\x00\x00\x00xfmt ", 1),
    }
    for name, data in files.items():
        write(CORPUS / "wave_file", name, data)


def write_ini_files():
    files = {
        "input-record.ini": "[ACTION]\r\nCOMMAND=Dial\r\nPARAMETER=2001\r\nMESSAGE=\r\n",
        "tarn.ini": "[SIP]\nSIPLogin=1001\nSIPPass=secret\nSIPProxy=127.0.0.1\nSIPPort=5060\n"
                    "SIPOutboundProxy=\n[AUDIO]\nAudioFoneDeviceIndex=-1\nEchoCancel=1\n"
                    "[GENERAL]\nAwaysOnTop=0\n; a comment\n[CODECS]\nGSM=1\nPCMU=1\n",
        "broken-sections.ini": "[ACTION\nCOMMAND=Dial\n[\n=\n==\nPARAMETER\n]x[\n [ action ] \nMESSAGE = spaced \n",
        "long-value.ini": "[ACTION]\nPARAMETER=" + "9" * 600 + "\nCOMMAND=Hangup\n",
        "binary.ini": "[ACTION]\nCOMMAND=Di\0al\r\rPARAMETER=\xff\xfe\n",
    }
    for name, text in files.items():
        write(CORPUS / "ini_file", name, text.encode("latin-1"))


def write_cti_lines():
    sessions = {
        "every-command": "Status\nDial 2001\nSendDTMF 12#\nHold\nHold\nAnswer\nRejectCall\nHangup\nShutDown\n",
        "crlf-and-blanks": "  Dial\t 2001 \r\n\r\n\t\nStatus\r\n",
        "refused": "dial 2001\nDial\nSendDTMF \x01\x02\nNoSuchCommand with words\n\xc3\xa9t\xc3\xa9 1\n",
        "too-long": "Dial " + "9" * 1100 + "\nStatus\n" + "x" * 5000 + "\nHangup",
    }
    for name, text in sessions.items():
        write(CORPUS / "cti_line", name, text.encode("latin-1"))


def write_sip_streams():
    register = crlf(["REGISTER sip:127.0.0.1 SIP/2.0", "Via: SIP/2.0/TCP 127.0.0.1:5070;branch=z9hG4bK1",
                     "From: <sip:1001@127.0.0.1>;tag=1", "To: <sip:1001@127.0.0.1>", "Call-ID: s1@127.0.0.1",
                     "CSeq: 1 REGISTER", "Content-Length: 0", "", ""]).encode()
    invite = crlf(["INVITE sip:1001@127.0.0.1 SIP/2.0", "Via: SIP/2.0/TLS 127.0.0.1:5061;branch=z9hG4bK2",
                   "Call-ID: s2", "CSeq: 1 INVITE", "Content-Type: application/sdp", "l: 9", "", "v=0\r\ns=-"]).encode()
    streams = {
        # The first byte picks the size of the reads.
        "pings-and-messages": b"\x07\r\n\r\n" + register + b"\r\n" + invite + b"\r\n\r\n" + register,
        "one-byte-reads": b"\x00" + register + invite,
        "huge-header": b"\xff" + b"OPTIONS sip:x SIP/2.0\r\nX: " + b"a" * 70000,
        "huge-length": b"\x10" + register.replace(b"Content-Length: 0", b"Content-Length: 1000000000"),
        "two-lengths": b"\x20" + register.replace(b"Content-Length: 0", b"Content-Length: 0\r\nl: 4"),
        "cut-half-way": b"\x03" + invite[:len(invite) // 2],
        "bare-line-feeds": b"\x05" + register.replace(b"\r\n", b"\n"),
    }
    for name, data in streams.items():
        write(CORPUS / "sip_stream", name, data)


def main():
    flows = [(path.stem, scenario_messages(path)) for path in sorted(SCENARIOS.glob("*.xml"))]
    write_sip_and_derived([(name, messages) for name, messages in flows + other_flows() if messages])
    write_sdp_extras()
    write_digest_extras()
    write_rtp()
    write_rtcp()
    write_srtp()
    write_sdp_crypto()
    write_wav()
    write_wave_files()
    write_ini_files()
    write_cti_lines()
    write_sip_streams()


if __name__ == "__main__":
    main()
