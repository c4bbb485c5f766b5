"""Drives orvua, the console host, and the real peers of the interop tests.

Every peer is started by the test itself on 127.0.0.1 with free ports.
"""
import os
import queue
import socket
import subprocess
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCENARIOS = os.path.join(HERE, "scenarios")
ORVUA = os.environ.get("ORVUA", "orvua")
LOOPBACK = "127.0.0.1"


def free_udp_port():
    """A UDP port nobody uses right now (and its neighbour, for RTP pairs)."""
    while True:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            probe.bind((LOOPBACK, 0))
            port = probe.getsockname()[1]
        if port < 65000 and port % 2 == 0:
            return port


def split_words(line):
    """Splits a protocol line into words, undoing the quoting of strings."""
    words, at = [], 0
    escapes = {"r": "\r", "n": "\n"}
    while at < len(line):
        if line[at] == " ":
            at += 1
            continue
        if line[at] == '"':
            word, at = "", at + 1
            while at < len(line) and line[at] != '"':
                if line[at] == "\\" and at + 1 < len(line):
                    at += 1
                    word += escapes.get(line[at], line[at])
                else:
                    word += line[at]
                at += 1
            words.append(word)
            at += 1
        else:
            end = line.find(" ", at)
            end = len(line) if end < 0 else end
            word = line[at:end]
            words.append(int(word) if word.lstrip("-").isdigit() else word)
            at = end
    return words


def quote(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace("\n", "\\n") + '"'


class Orvua:
    """One orvua process: method calls in, results and events out."""

    def __init__(self, env=None):
        self.process = subprocess.Popen(
            [ORVUA], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=dict(os.environ, **(env or {})), bufsize=0)
        self.lines = queue.Queue()
        self.events = []
        self.transcript = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            self.transcript.append(line)
            self.lines.put(line)
        self.lines.put(None)

    def send(self, line):
        self.process.stdin.write((line + "\n").encode())

    def _next_line(self, deadline):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise TimeoutError("orvua said nothing in time; transcript:\n" + "\n".join(self.transcript[-40:]))
        line = self.lines.get(timeout=remaining)
        if line is None:
            raise EOFError("orvua ended; transcript:\n" + "\n".join(self.transcript[-40:]))
        return line

    def _take(self, deadline, wanted):
        while True:
            line = self._next_line(deadline)
            if line.startswith("! "):
                words = split_words(line[2:])
                self.events.append((words[0], words[1:]))
            if wanted(line):
                return line

    def call(self, method, *args, timeout=10):
        """Calls a method and returns its result (bool, int, str or None)."""
        text = " ".join([method] + [self._argument(a) for a in args])
        self.send(text)
        line = self._take(time.monotonic() + timeout, lambda l: l.startswith("=") or l.startswith("?"))
        if line.startswith("?"):
            raise RuntimeError(f"orvua refused {text!r}: {line}")
        result = line[1:].strip()
        if result == "":
            return None
        if result in ("true", "false"):
            return result == "true"
        return split_words(result)[0]

    def complaint(self, timeout=10):
        """The next "?" line: a command orvua could not run."""
        return self._take(time.monotonic() + timeout, lambda l: l.startswith("?"))[2:]

    @staticmethod
    def _argument(value):
        if isinstance(value, bool):
            return "true" if value else "false"
        if isinstance(value, int):
            return str(value)
        return quote(value)

    def wait_event(self, name, timeout=10, where=None):
        """Returns the arguments of the first event `name` not yet taken."""
        deadline = time.monotonic() + timeout
        while True:
            for index, (event, args) in enumerate(self.events):
                if event == name and (where is None or where(args)):
                    del self.events[index]
                    return args
            self._take(deadline, lambda l: l.startswith("! "))

    def drain(self, seconds):
        """Collects events for a while."""
        deadline = time.monotonic() + seconds
        try:
            while True:
                self._take(deadline, lambda l: False)
        except TimeoutError:
            pass

    def taken(self, name):
        return [args for event, args in self.events if event == name]

    def initialize(self, sip_port, lines=1, proxy=LOOPBACK, login="1001", password="secret",
                   from_uri="", outbound="", sound=False):
        return self.call("Initialize", True, LOOPBACK, sip_port, from_uri, outbound, proxy, login, password,
                         sound, lines)

    def quit(self, timeout=15):
        if self.process.poll() is None:
            try:
                self.send("quit")
            except BrokenPipeError:
                pass
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        return self.process.returncode


class Sipp:
    """A sipp process playing one scenario against orvua."""

    def __init__(self, scenario, remote_port=None, local_port=None, extra=(), calls=1):
        self.local_port = local_port or free_udp_port()
        self.workdir = tempfile.mkdtemp(prefix="sipp-")
        command = ["sipp", "-sf", os.path.join(SCENARIOS, scenario), "-i", LOOPBACK, "-mi", LOOPBACK,
                   "-p", str(self.local_port), "-m", str(calls), "-nostdin",
                   "-trace_err", "-trace_msg", "-timeout", "90s"]
        command += list(extra)
        if remote_port:
            command.append(f"{LOOPBACK}:{remote_port}")
        self.process = subprocess.Popen(command, cwd=self.workdir, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def wait(self, timeout=90):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def log(self):
        text = []
        for name in sorted(os.listdir(self.workdir)):
            with open(os.path.join(self.workdir, name), errors="replace") as handle:
                text.append(f"--- {name}\n" + handle.read()[-6000:])
        return "\n".join(text)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class RawPeer:
    """A plain UDP socket on loopback for hand-made datagrams."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((LOOPBACK, 0))
        self.port = self.socket.getsockname()[1]

    def send(self, data, port):
        self.socket.sendto(data.encode() if isinstance(data, str) else data, (LOOPBACK, port))

    def receive(self, timeout=3):
        self.socket.settimeout(timeout)
        try:
            return self.socket.recvfrom(65535)[0].decode("utf-8", "replace")
        except socket.timeout:
            return None

    def close(self):
        self.socket.close()
