#!/usr/bin/env python3
"""One-way delay of a call, measured black-box on loopback, and playout under jitter.

Caller A's virtual microphone plays a click train (a 40 ms burst of 1 kHz every
second); the far end B plays what it receives straight back into its microphone
(the virtual echo at 0 ms and 0 dB; its echo canceller, noise suppressor and gain
control off); A's virtual speaker file records what comes back. A's microphone and
speaker run on one device clock from the same tick, so the round trip is read off
A's own two files, and one way is half of it: at call start (the click 0.2 s in),
in steady state (the clicks from 10 s on) and its spread there.

The media of every call passes UdpRelays (tests/interop/udp_relay.py): untouched for
the plain figures, delayed by a random 0-40 ms and 1 % dropped for the jitter
figures. The relays' records also give the far end's turnaround: from the packet
that brought a click to B to the packet that took it back out, the part of the loop
that lies in B (jitter buffer, playout, capture, packetisation). It is the figure
read the same way for baresip (its aufile source at A, its aubridge loop at B),
whose modules cannot record what A plays on one timeline with what A sends.

Then, through each relay, B sends A a marked 1 kHz tone in PCMU: every block A
played from 10 s on is matched to the packet it came from, counting late packets,
concealed blocks and packets trimmed (see tests/interop/playout_check.py).

A version of orvua from before ORVSIP_VIRTUAL_ECHO=0,0 looped is measured with
--far-echo 10,0, which is the same loop there.
"""
import argparse
import ctypes
import math
import os
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "interop"))
sys.path.insert(0, HERE)

from audio_check import read_wav  # noqa: E402
from bench_calls import BaresipSide  # noqa: E402
from media_relay import SipMediaRelay  # noqa: E402
from orvua_driver import LOOPBACK, Orvua, free_udp_port, write_wav  # noqa: E402
from playout_check import marked_tone, playout, unwrapped_timestamp  # noqa: E402
from rtp_media import rtp_fields, ulaw_to_linear  # noqa: E402

RATE = 8000
CODECS = {"PCMU": (3, "PCMU/8000/1"), "GSM": (0, "GSM/8000/1"), "G729": (4, None)}
JITTER = {"delay": (0, 40), "drop": 0.01}
CLICK_AT = 0.2          # seconds into each second
CLICK_SECONDS = 0.04
STEADY_FROM = 10        # seconds
SEARCH = (0.02, 0.9)    # where a click's return is looked for, seconds after it left
STALL = 0.06            # a relay holding a packet longer was itself held up, not impairing


# --- the signal ---------------------------------------------------------------

def click_train(seconds):
    """A 40 ms 1 kHz burst at 0.2 s of every second; whole seconds, so it loops in step."""
    samples = [0] * (seconds * RATE)
    for second in range(seconds):
        start = int((second + CLICK_AT) * RATE)
        for n in range(int(CLICK_SECONDS * RATE)):
            ramp = min(1.0, n / 8.0)
            samples[start + n] = int(12000 * ramp * math.sin(2 * math.pi * 1000 * n / RATE))
    return samples


def onset(samples, begin, end, floor=1500):
    """The first sample in [begin, end) reaching a third of the loudest there; None when
    nothing there is louder than `floor`."""
    window = samples[max(0, begin):max(0, end)]
    loudest = max((abs(s) for s in window), default=0)
    if loudest < floor:
        return None
    return begin + next(i for i, s in enumerate(window) if abs(s) >= loudest / 3)


# --- decoding what the relays carried -----------------------------------------------

class Decoder:
    """Payload to samples for PCMU, GSM (libgsm) and G.729 (bcg729), through ctypes."""

    def __init__(self, codec):
        self.codec = codec
        if codec == "GSM":
            self.lib = ctypes.CDLL("libgsm.so.1")
            self.lib.gsm_create.restype = ctypes.c_void_p
            self.state = self.lib.gsm_create()
        elif codec == "G729":
            self.lib = ctypes.CDLL("libbcg729.so.0")
            self.lib.initBcg729DecoderChannel.restype = ctypes.c_void_p
            self.state = self.lib.initBcg729DecoderChannel()

    def decode(self, payload):
        if self.codec == "PCMU":
            return [ulaw_to_linear(b) for b in payload]
        frame_bytes, frame_samples = (33, 160) if self.codec == "GSM" else (10, 80)
        samples = []
        for at in range(0, len(payload) - frame_bytes + 1, frame_bytes):
            out = (ctypes.c_int16 * frame_samples)()
            frame = (ctypes.c_uint8 * frame_bytes).from_buffer_copy(payload[at:at + frame_bytes])
            if self.codec == "GSM":
                self.lib.gsm_decode(ctypes.c_void_p(self.state), frame, out)
            else:
                self.lib.bcg729Decoder(ctypes.c_void_p(self.state), frame, frame_bytes, 0, 0, 0, out)
            samples.extend(out)
        return samples


def click_packets(records, codec, when):
    """For each click found in a recorded RTP stream: the time of the packet holding its
    onset (`when` picks the record's arrival or departure)."""
    decoder = Decoder(codec)
    audio = [(rtp_fields(r.data), r) for r in records if len(r.data) > 12 and when(r) is not None]
    audio = [(f, r) for f, r in audio if f["type"] != 101]
    if not audio:
        return []
    base = audio[0][0]["timestamp"]
    audio.sort(key=lambda item: unwrapped_timestamp(item[0]["timestamp"], base))
    samples, owner = [], []
    for fields, record in audio:
        decoded = decoder.decode(fields["payload"])
        samples.extend(decoded)
        owner.extend([when(record)] * len(decoded))
    found, at = [], 0
    while at < len(samples):
        start = onset(samples, at, at + RATE // 2, floor=3000)
        if start is None:
            at += RATE // 2
            continue
        found.append(owner[start])
        at = start + int(0.5 * RATE)
    return found


def turnaround(into_far_end, out_of_far_end, codec, connected):
    """(seconds into the call, seconds from a click's packet reaching the far end to its
    echo's packet leaving it) for every click that came back."""
    sent = click_packets(into_far_end, codec, lambda r: r.sent)
    back = click_packets(out_of_far_end, codec, lambda r: r.arrived)
    figures = []
    for leaving in sent:
        later = [t for t in back if leaving < t < leaving + SEARCH[1]]
        if later:
            figures.append((leaving - connected, later[0] - leaving))
    return figures


# --- orvua ---------------------------------------------------------------------------

def start_orvua(env, relay, login, codec, plain):
    ua = Orvua(env=dict({"ORVSIP_AUDIO": "virtual", "ORVSIP_LOCAL_ADDRESS": LOOPBACK}, **env))
    port = free_udp_port()
    rtp = free_udp_port()
    ok = (ua.initialize(port, proxy="", login=login, outbound=relay.address(), sound=True)
          and ua.call("OpenLine", 0, True, LOOPBACK, rtp))
    if plain:
        ok = ok and ua.call("DisableEchoNoiseCancellation")
    ua.call("DeselectAllVoiceCodec")
    if not ok or not ua.call("SelectVoiceCodec", codec):
        raise RuntimeError(f"orvua could not be set up (error {ua.call('GetOrvObjectError')})")
    return ua, port, rtp


def orvua_call(caller_env, callee_env, relay, codec, seconds):
    """A calls B for `seconds`; returns A's and B's RTP ports and when the call was connected."""
    callee, callee_port, callee_rtp = start_orvua(callee_env, relay, "1002", codec, plain=True)
    caller, _, caller_rtp = start_orvua(caller_env, relay, "1001", codec, plain=False)
    try:
        if not caller.call("Connect", 0, f"sip:1002@{LOOPBACK}:{callee_port}", -1, -1):
            raise RuntimeError("Connect failed")
        call_id = callee.wait_event("OnIncomingCall", timeout=15)[0]
        callee.call("AcceptCall", 0, call_id, -1, -1)
        caller.wait_event("OnSuccessToConnect", timeout=15)
        connected = time.monotonic()
        caller.drain(seconds)
        caller.call("Disconnect", 0)
        callee.wait_event("OnDisconnectCall", timeout=10)
    finally:
        caller.quit()
        callee.quit()
    return caller_rtp, callee_rtp, connected


def round_trips(microphone, speaker):
    """(seconds into the call, round trip in seconds) for every click A sent and heard back."""
    trips = []
    for second in range(len(speaker) // RATE):
        base = int((second + CLICK_AT - 0.01) * RATE)
        sent = onset(microphone, base, base + int(0.05 * RATE))
        heard = onset(speaker, base + int(SEARCH[0] * RATE), base + int(SEARCH[1] * RATE))
        if sent is not None and heard is not None:
            trips.append((second + CLICK_AT, (heard - sent) / RATE))
    return trips


def orvua_latency(codec, seconds, impairments, directory, far_echo):
    clicks = os.path.join(directory, "clicks.wav")
    speaker = os.path.join(directory, "a-speaker.wav")
    microphone = click_train(seconds + 10)
    write_wav(clicks, microphone)
    relay = SipMediaRelay(**impairments)
    try:
        caller_rtp, callee_rtp, connected = orvua_call(
            {"ORVSIP_VIRTUAL_MIC": clicks, "ORVSIP_VIRTUAL_SPEAKER": speaker}, {"ORVSIP_VIRTUAL_ECHO": far_echo},
            relay, CODECS[codec][0], seconds)
        into_b, out_of_b = relay.tap_for(callee_rtp).records, relay.tap_for(caller_rtp).records
    finally:
        relay.stop()
    samples, _ = read_wav(speaker)
    return {"trips": round_trips(microphone, samples), "turnaround": turnaround(into_b, out_of_b, codec, connected),
            "held": relay_delays(into_b) + relay_delays(out_of_b)}


def relay_delays(records):
    return [r.sent - r.arrived for r in records if r.sent is not None]


def orvua_playout(seconds, impairments, directory):
    """B sends a marked 1 kHz tone to A through the relay; A's playout of it."""
    tone = os.path.join(directory, "tone.wav")
    speaker = os.path.join(directory, "tone-speaker.wav")
    write_wav(tone, marked_tone(seconds + 10))
    relay = SipMediaRelay(**impairments)
    try:
        caller_rtp, _, _ = orvua_call({"ORVSIP_VIRTUAL_SPEAKER": speaker}, {"ORVSIP_VIRTUAL_MIC": tone}, relay,
                                   CODECS["PCMU"][0], seconds)
        records = relay.tap_for(caller_rtp).records
    finally:
        relay.stop()
    samples, _ = read_wav(speaker)
    return playout(records, samples, start_block=STEADY_FROM * 100)


# --- baresip -------------------------------------------------------------------------

def baresip_turnaround(codec, seconds, impairments, directory):
    clicks = os.path.join(directory, "clicks.wav")
    write_wav(clicks, click_train(seconds + 10))
    relay = SipMediaRelay(**impairments)
    outbound = f';outbound="sip:{LOOPBACK}:{relay.port}"'
    codec_name = CODECS[codec][1]
    callee = BaresipSide(f"<sip:b@127.0.0.1>;regint=0;answermode=auto{outbound}", clicks, codec_name, False,
                         player="aubridge,loop", source="aubridge,loop")
    caller = BaresipSide(f"<sip:a@127.0.0.1>;regint=0{outbound}", clicks, codec_name, False)
    try:
        caller.command("dial", f"sip:b@{LOOPBACK}:{callee.sip_port}")
        caller.wait_event("CALL_ESTABLISHED")
        connected = time.monotonic()
        time.sleep(seconds)
        caller.command("hangup")
        time.sleep(0.5)
        ports = list(relay.taps)
        if len(ports) != 2:
            raise RuntimeError(f"baresip's media did not pass the relay ({ports})")
        # The callee answers: its port is the one in the second SDP.
        into_b, out_of_b = relay.tap_for(ports[1]).records, relay.tap_for(ports[0]).records
    finally:
        caller.stop()
        callee.stop()
        relay.stop()
    return {"turnaround": turnaround(into_b, out_of_b, codec, connected),
            "held": relay_delays(into_b) + relay_delays(out_of_b)}


# --- report --------------------------------------------------------------------------

def ms(value):
    return f"{value * 1000:.0f}"


def steady(pairs):
    return [value for at, value in pairs if at >= STEADY_FROM]


def start_of_call(pairs):
    return [value for at, value in pairs if at < 1.0]


def summary(values):
    if not values:
        return "none measured"
    return (f"median {ms(statistics.median(values))} ms, {ms(min(values))}-{ms(max(values))} ms"
            f" (spread {ms(max(values) - min(values))} ms, {len(values)} clicks)")


def report_orvua(codec, label, results):
    """Prints the figures; returns the median steady one way (None when none was measured)."""
    trips = [pair for result in results for pair in result["trips"]]
    one_way = [(at, trip / 2) for at, trip in trips]
    print(f"{codec} {label} orvua   one way, first second: {summary(start_of_call(one_way))}", flush=True)
    print(f"{codec} {label} orvua   one way, steady state: {summary(steady(one_way))}", flush=True)
    far = [pair for result in results for pair in result["turnaround"]]
    print(f"{codec} {label} orvua   far end turnaround, steady state: {summary(steady(far))}", flush=True)
    held = sorted(h for result in results for h in result["held"])
    if held:
        stalled = sum(1 for h in held if h > STALL)
        print(f"{codec} {label} relay held each packet {ms(statistics.mean(held))} ms on average, 99 % of them at "
              f"most {ms(held[len(held) * 99 // 100])} ms, the longest {ms(held[-1])} ms; {stalled} held over "
              f"{ms(STALL)} ms by a busy machine", flush=True)
    return statistics.median(steady(one_way)) if steady(one_way) else None


def report_baresip(codec, label, results):
    far = [pair for result in results for pair in result["turnaround"]]
    print(f"{codec} {label} baresip far end turnaround, steady state: {summary(steady(far))}", flush=True)


def report_playout(label, figures):
    blocks = sum(f.blocks for f in figures)
    arrived = sum(f.arrived for f in figures)
    concealed = sum(f.concealed for f in figures)
    beyond = sum(f.concealed_beyond_loss for f in figures)
    late = sum(f.late for f in figures)
    trimmed = sum(f.trimmed for f in figures)
    lost = sum(f.lost for f in figures)
    print(f"PCMU {label} orvua   playout from {STEADY_FROM} s: {arrived} packets arrived, {lost} dropped by the relay;"
          f" late {late} ({100.0 * late / max(arrived, 1):.2f} %), trimmed {trimmed}; concealed blocks {concealed}"
          f" of {blocks} ({100.0 * concealed / max(blocks, 1):.2f} %), beyond the relay's losses {beyond}"
          f" ({100.0 * beyond / max(blocks, 1):.2f} %)", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--orvua", default=os.environ.get("ORVUA", "orvua"), help="the orvua to run")
    parser.add_argument("--seconds", type=int, default=20, help="length of each call")
    parser.add_argument("--rounds", type=int, default=3, help="calls per codec and condition")
    parser.add_argument("--codecs", default="PCMU,GSM,G729", help="comma-separated: PCMU, GSM, G729")
    parser.add_argument("--no-baresip", action="store_true", help="orvua alone")
    parser.add_argument("--no-jitter", action="store_true", help="the plain figures alone")
    parser.add_argument("--only", choices=["latency", "playout"], help="run one part only")
    parser.add_argument("--far-echo", default="0,0",
                        help="ORVSIP_VIRTUAL_ECHO of the far end (an orvua before 0,0 looped needs 10,0: the same loop)")
    args = parser.parse_args()
    codecs = [name.strip().upper() for name in args.codecs.split(",") if name.strip()]
    import orvua_driver
    orvua_driver.ORVUA = os.path.abspath(args.orvua) if os.sep in args.orvua else args.orvua
    print(f"orvua: {orvua_driver.ORVUA}; {args.rounds} calls of {args.seconds} s per codec and condition;"
          f" load {os.getloadavg()[0]:.2f}", flush=True)
    conditions = [("plain", {})] + ([] if args.no_jitter else [("jitter", JITTER)])
    with tempfile.TemporaryDirectory(prefix="bench-latency-") as directory:
        for codec in codecs if args.only != "playout" else []:
            medians = {}
            for label, impairments in conditions:
                results = [orvua_latency(codec, args.seconds, impairments, directory, args.far_echo)
                           for _ in range(args.rounds)]
                medians[label] = report_orvua(codec, label, results)
                if not args.no_baresip and CODECS[codec][1]:
                    results = [baresip_turnaround(codec, args.seconds, impairments, directory)
                               for _ in range(args.rounds)]
                    report_baresip(codec, label, results)
            if None not in medians.values() and len(medians) == 2:
                print(f"{codec} jitter added {ms(medians['jitter'] - medians['plain'])} ms to orvua's steady one way",
                      flush=True)
        for label, impairments in conditions if args.only != "latency" else []:
            report_playout(label, [orvua_playout(args.seconds, impairments, directory) for _ in range(args.rounds)])


if __name__ == "__main__":
    main()
