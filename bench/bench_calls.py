#!/usr/bin/env python3
"""CPU of a call: two orvua processes against two baresip processes, side by side.

Rounds alternate an orvua-to-orvua call and a baresip-to-baresip call on loopback,
each fed the same sound file as its microphone, for every codec asked; each side's
CPU comes from /proc over the same window. Then the idle figures (initialised and
registered, keep-alive off, no call) and one orvua process carrying many calls.
With --floor, each round also measures two wake_floor processes: the sleep, send and
read of a call side and nothing else, the least any side can cost on this machine.

CPU is given in per cent of one core: from the scheduler's run time of every thread
(/proc/PID/task/*/schedstat, nanoseconds) and, as a cross-check, from utime+stime
(/proc/PID/stat, clock ticks of 10 ms, too coarse for an idle process). Wake-ups are
the voluntary context switches of all the process's threads.
"""
import argparse
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "interop"))

from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, free_udp_port  # noqa: E402

CODECS = {"PCMU": (3, "PCMU/8000/1"), "GSM": (0, "GSM/8000/1"), "PCMA": (2, "PCMA/8000/1"),
          "G729": (4, None)}
TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")
SETTLE_SECONDS = 2

BARESIP_CONFIG = """poll_method\t\tepoll
sip_listen\t\t127.0.0.1:{sip_port}
net_interface\t\t127.0.0.1
call_local_timeout\t120
call_max_calls\t\t4
audio_player\t\t{player}
audio_source\t\t{source}
audio_alert\t\taubridge,nowhere
audio_level\t\tno
audio_buffer\t\t20-160
rtp_ports\t\t{rtp_port}-{rtp_last}
rtp_tos\t\t\t0
jitter_buffer_delay\t5-10
module_path\t\t/usr/lib/baresip/modules
module\t\t\tg711.so
module\t\t\tgsm.so
module\t\t\taufile.so
module\t\t\taubridge.so
{filters}module_tmp\t\taccount.so
module_app\t\tcontact.so
module_app\t\tmenu.so
module_app\t\tctrl_tcp.so
ctrl_tcp_listen\t\t127.0.0.1:{ctrl_port}
"""


# --- measuring ---------------------------------------------------------------

def tasks(pid):
    try:
        return os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return []


def read_task(pid, task, name):
    try:
        with open(f"/proc/{pid}/task/{task}/{name}") as handle:
            return handle.read()
    except (FileNotFoundError, ProcessLookupError):
        return ""


class Usage:
    """What a process has used so far: run time, clock ticks and wake-ups."""

    def __init__(self, pid):
        self.run_ns = 0
        self.wakeups = 0
        for task in tasks(pid):
            fields = read_task(pid, task, "schedstat").split()
            self.run_ns += int(fields[0]) if fields else 0
            for line in read_task(pid, task, "status").splitlines():
                if line.startswith("voluntary_ctxt_switches:"):
                    self.wakeups += int(line.split()[1])
        with open(f"/proc/{pid}/stat") as handle:
            fields = handle.read().rsplit(")", 1)[1].split()
        self.ticks = int(fields[11]) + int(fields[12])


class Window:
    """CPU and wake-ups of some processes over the same stretch of time."""

    def __init__(self, pids):
        self.pids = pids
        self.start = {pid: Usage(pid) for pid in pids}
        self.started = time.monotonic()

    def close(self):
        seconds = time.monotonic() - self.started
        figures = {}
        for pid in self.pids:
            end, start = Usage(pid), self.start[pid]
            figures[pid] = {
                "cpu": 100.0 * (end.run_ns - start.run_ns) / 1e9 / seconds,
                "cpu_ticks": 100.0 * (end.ticks - start.ticks) / TICKS_PER_SECOND / seconds,
                "wakeups": (end.wakeups - start.wakeups) / seconds,
            }
        return figures


def measure(pids, seconds):
    window = Window(pids)
    time.sleep(seconds)
    return window.close()


# --- the sound both sides send ----------------------------------------------------

def speech_like(path, seconds):
    """Two formant-like tones under a syllable envelope with pauses, and a little noise."""
    samples = []
    seed = 12345
    for n in range(8000 * seconds):
        t = n / 8000.0
        syllable = max(0.0, math.sin(2 * math.pi * 3.0 * t)) * (1.0 if (n // 16000) % 3 else 0.2)
        pitch = 120.0 + 30.0 * math.sin(2 * math.pi * 0.5 * t)
        voice = math.sin(2 * math.pi * pitch * 4 * t) + 0.6 * math.sin(2 * math.pi * pitch * 11 * t)
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        noise = (seed / 0x7FFFFFFF - 0.5) * 300
        samples.append(int(max(-32767, min(32767, 6000 * syllable * voice + noise))))
    with wave.open(path, "wb") as handle:
        handle.setnchannels(1)
        handle.setsampwidth(2)
        handle.setframerate(8000)
        handle.writeframes(struct.pack("<%dh" % len(samples), *samples))


# --- orvua -------------------------------------------------------------------

class OrvuaSide:
    """One orvua on the virtual sound device, its microphone fed from the file."""

    def __init__(self, audio_file, plain, lines=1):
        self.ua = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": audio_file,
                             "ORVSIP_LOCAL_ADDRESS": LOOPBACK})
        self.sip_port = free_udp_port()
        self.plain = plain
        self.lines = lines

    @property
    def pid(self):
        return self.ua.process.pid

    def start(self, codec, proxy_port=None, login="1001", password=""):
        proxy = f"{LOOPBACK}:{proxy_port}" if proxy_port else ""
        self.expect(self.ua.initialize(self.sip_port, lines=self.lines, proxy=proxy, login=login,
                                       password=password, sound=True), "Initialize")
        for line in range(self.lines):
            self.expect(self.ua.call("OpenLine", line, True, LOOPBACK, free_udp_port()), "OpenLine")
        if self.plain:
            self.expect(self.ua.call("DisableEchoNoiseCancellation"), "DisableEchoNoiseCancellation")
        if codec is not None:
            self.ua.call("DeselectAllVoiceCodec")
            self.expect(self.ua.call("SelectVoiceCodec", codec), "SelectVoiceCodec")

    def expect(self, result, what):
        if result is not True:
            raise RuntimeError(f"orvua: {what} failed (error {self.ua.call('GetOrvObjectError')})")

    def stop(self):
        self.ua.quit()


def measure_call(caller, callee, seconds, connect):
    """Sets the call up with `connect`, lets it settle, measures both sides, ends it."""
    try:
        connect()
        time.sleep(SETTLE_SECONDS)
        figures = measure([caller.pid, callee.pid], seconds)
        return [figures[caller.pid], figures[callee.pid]]
    finally:
        caller.stop()
        callee.stop()


def orvua_call(audio_file, codec, seconds, plain, lines=1):
    caller, callee = OrvuaSide(audio_file, plain, lines), OrvuaSide(audio_file, plain, lines)

    def connect():
        caller.start(codec)
        callee.start(codec)
        for line in range(lines):
            caller.expect(caller.ua.call("Connect", line, f"sip:1002@{LOOPBACK}:{callee.sip_port}", -1, -1),
                          "Connect")
            call_id = callee.ua.wait_event("OnIncomingCall", timeout=15)[0]
            callee.expect(callee.ua.call("AcceptCall", line, call_id, -1, -1), "AcceptCall")
            caller.ua.wait_event("OnSuccessToConnect", timeout=15)
        if caller.ua.call("GetOutboundCodec", 0) != codec:
            raise RuntimeError("orvua: the call did not take the codec asked for")

    return measure_call(caller, callee, seconds, connect)


def orvua_idle(audio_file, kamailio, seconds):
    side = OrvuaSide(audio_file, plain=False)
    try:
        side.start(None, kamailio.port, "1001", "secret")
        side.expect(side.ua.call("RegisterToProxy", 3600), "RegisterToProxy")
        side.ua.wait_event("OnSuccessToRegister", timeout=15)
        time.sleep(SETTLE_SECONDS)
        return measure([side.pid], seconds)[side.pid]
    finally:
        side.stop()


# --- baresip -----------------------------------------------------------------

class BaresipSide(Baresip):
    """baresip as the interop tests set it up (loopback, file source), without their
    call recording, with the speex preprocessor when `filters`. Its player is an
    aubridge device nobody feeds from: ALSA's null device, which the tests use, takes
    audio as fast as it is written and keeps baresip's player thread spinning (25-50 %
    of a core), which would be no fair reference. `player` and `source` name other
    devices (the latency benchmark loops the far end through "aubridge,loop")."""

    STARTS = 3

    def __init__(self, account, audio_file, codec_name, filters, player="aubridge,nowhere", source=None):
        self.workdir = tempfile.mkdtemp(prefix="bench-baresip-")
        with open(os.path.join(self.workdir, "accounts"), "w") as handle:
            handle.write(account + (f";audio_codecs={codec_name}" if codec_name else "") + "\n")
        open(os.path.join(self.workdir, "contacts"), "w").close()
        # A port free a moment ago may be taken by the time baresip binds it (the
        # machine is shared): then it starts again on other ports.
        for attempt in range(self.STARTS):
            self.sip_port = free_udp_port()
            self.ctrl_port = free_udp_port()
            rtp = free_udp_port()
            with open(os.path.join(self.workdir, "config"), "w") as handle:
                handle.write(BARESIP_CONFIG.format(sip_port=self.sip_port, ctrl_port=self.ctrl_port, rtp_port=rtp,
                                                   rtp_last=rtp + 9, player=player,
                                                   source=source or "aufile," + audio_file,
                                                   filters="module\t\t\tspeex_pp.so\n" if filters else ""))
            try:
                self._start()
                return
            except RuntimeError:
                self.process.kill()
                self.process.wait()
                self.log_file.close()
                if attempt + 1 == self.STARTS:
                    raise

    @property
    def pid(self):
        return self.process.pid

    def stop(self):
        super().stop()
        shutil.rmtree(self.workdir, ignore_errors=True)


def floor_call(floor, seconds):
    """Two wake_floor processes: the sleep, send and read of a call side and nothing else."""
    first, second = free_udp_port(), free_udp_port()
    run_seconds = str(SETTLE_SECONDS + seconds + 1)
    sides = [subprocess.Popen([floor, str(first), str(second), run_seconds]),
             subprocess.Popen([floor, str(second), str(first), run_seconds])]
    try:
        time.sleep(SETTLE_SECONDS)
        figures = measure([side.pid for side in sides], seconds)
        return [figures[side.pid] for side in sides]
    finally:
        for side in sides:
            side.kill()
            side.wait()


def baresip_call(audio_file, codec_name, seconds, filters):
    callee = BaresipSide("<sip:b@127.0.0.1>;regint=0;answermode=auto", audio_file, codec_name, filters)
    caller = BaresipSide("<sip:a@127.0.0.1>;regint=0", audio_file, codec_name, filters)

    def connect():
        caller.command("dial", f"sip:b@{LOOPBACK}:{callee.sip_port}")
        caller.wait_event("CALL_ESTABLISHED")
        callee.wait_event("CALL_ESTABLISHED")

    return measure_call(caller, callee, seconds, connect)


def baresip_idle(audio_file, kamailio, seconds, filters):
    side = BaresipSide(f"<sip:2002@127.0.0.1:{kamailio.port}>;auth_pass=secret2;regint=3600", audio_file, None,
                       filters)
    try:
        deadline = time.monotonic() + 15
        while not kamailio.is_registered("2002"):
            if time.monotonic() > deadline:
                raise RuntimeError("baresip did not register:\n" + side.log())
            time.sleep(0.2)
        time.sleep(SETTLE_SECONDS)
        return measure([side.pid], seconds)[side.pid]
    finally:
        side.stop()


# --- report ------------------------------------------------------------------

def mean(values):
    return sum(values) / len(values) if values else float("nan")


def side_text(figures):
    return " ".join(f"{f['cpu']:.3f}% ({f['cpu_ticks']:.2f}%)" for f in figures)


def wakeups_text(figures):
    return " ".join(f"{f['wakeups']:.0f}" for f in figures)


def run_calls(args, audio_file):
    ratios = {}
    for name in args.codecs:
        number, baresip_name = CODECS[name]
        for round_number in range(1, args.rounds + 1):
            orvua = orvua_call(audio_file, number, args.seconds, args.plain)
            print(f"{name} round {round_number}  orvua   per side: {side_text(orvua)}"
                  f"  wake-ups/s {wakeups_text(orvua)}", flush=True)
            if baresip_name is None:
                continue
            baresip = baresip_call(audio_file, baresip_name, args.seconds, not args.plain)
            ratio = mean([f["cpu"] for f in orvua]) / mean([f["cpu"] for f in baresip])
            ratios.setdefault(name, []).append(ratio)
            print(f"{name} round {round_number}  baresip per side: {side_text(baresip)}"
                  f"  wake-ups/s {wakeups_text(baresip)}", flush=True)
            print(f"{name} round {round_number}  ratio orvua/baresip: {ratio:.2f}", flush=True)
            if args.floor:
                floor = floor_call(args.floor, args.seconds)
                print(f"{name} round {round_number}  floor   per side: {side_text(floor)}"
                      f"  wake-ups/s {wakeups_text(floor)}  floor/baresip: "
                      f"{mean([f['cpu'] for f in floor]) / mean([f['cpu'] for f in baresip]):.2f}", flush=True)
    for name, values in ratios.items():
        print(f"{name}: ratio orvua/baresip per round {' '.join(f'{v:.2f}' for v in values)}"
              f" (mean {mean(values):.2f})", flush=True)


def run_idle(args, audio_file):
    kamailio = Kamailio({"1001": "secret", "2002": "secret2"})
    try:
        for round_number in range(1, args.rounds + 1):
            orvua = orvua_idle(audio_file, kamailio, args.seconds)
            print(f"idle round {round_number}  orvua   {orvua['cpu']:.4f}% ({orvua['cpu_ticks']:.2f}%)"
                  f"  wake-ups/s {orvua['wakeups']:.2f}", flush=True)
            baresip = baresip_idle(audio_file, kamailio, args.seconds, not args.plain)
            print(f"idle round {round_number}  baresip {baresip['cpu']:.4f}% ({baresip['cpu_ticks']:.2f}%)"
                  f"  wake-ups/s {baresip['wakeups']:.2f}", flush=True)
    finally:
        kamailio.stop()


def run_many(args, audio_file):
    number = CODECS[args.codecs[0]][0]
    figures = orvua_call(audio_file, number, args.seconds, args.plain, lines=args.lines)
    print(f"{args.lines} calls in one process ({args.codecs[0]}): orvua per process {side_text(figures)}"
          f"  wake-ups/s {wakeups_text(figures)}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--orvua", default=os.environ.get("ORVUA", "orvua"), help="the orvua to run")
    parser.add_argument("--floor", help="wake_floor of `make bench`: also measure the least a call side can cost")
    parser.add_argument("--seconds", type=int, default=30, help="length of each measuring window")
    parser.add_argument("--rounds", type=int, default=3, help="rounds per codec (and of the idle figures)")
    parser.add_argument("--codecs", default="PCMU,GSM", help="comma-separated: PCMU, GSM, PCMA, G729")
    parser.add_argument("--lines", type=int, default=16, help="calls of the many-calls figure (0: skip)")
    parser.add_argument("--only", choices=["calls", "idle", "many"], help="run one part only")
    parser.add_argument("--plain", action="store_true",
                        help="orvua without echo and noise cancellation, baresip without its preprocessor")
    args = parser.parse_args()
    args.codecs = [name.strip().upper() for name in args.codecs.split(",") if name.strip()]
    unknown = [name for name in args.codecs if name not in CODECS]
    if unknown:
        parser.error(f"unknown codec {unknown[0]}")
    import orvua_driver
    orvua_driver.ORVUA = os.path.abspath(args.orvua) if os.sep in args.orvua else args.orvua
    print(f"orvua: {orvua_driver.ORVUA}; {'plain' if args.plain else 'default processing'}: orvua "
          f"{'without' if args.plain else 'with'} echo and noise cancellation, baresip "
          f"{'without' if args.plain else 'with'} speex_pp; {args.seconds} s windows, {args.rounds} rounds; "
          f"CPU in % of one core from schedstat (utime+stime in brackets); load {os.getloadavg()[0]:.2f}",
          flush=True)
    directory = tempfile.mkdtemp(prefix="bench-calls-")
    try:
        audio_file = os.path.join(directory, "speech.wav")
        speech_like(audio_file, args.seconds + 45)
        if args.only in (None, "calls"):
            run_calls(args, audio_file)
        if args.only in (None, "idle"):
            run_idle(args, audio_file)
        if args.only in (None, "many") and args.lines > 0:
            run_many(args, audio_file)
    finally:
        shutil.rmtree(directory, ignore_errors=True)


if __name__ == "__main__":
    main()
