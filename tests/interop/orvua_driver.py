"""Drives orvua, the console host, and the real peers of the interop tests.

Every peer is started by the test itself on 127.0.0.1 with free ports.
"""
import datetime
import json
import os
import queue
import random
import re
import socket
import struct
import subprocess
import tempfile
import threading
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
SCENARIOS = os.path.join(HERE, "scenarios")
ORVUA = os.environ.get("ORVUA", "orvua")
LOOPBACK = "127.0.0.1"


# Ports the tests hand to their processes lie below the kernel's ephemeral range
# (32768 and up), so no socket the system numbers itself can take one between the
# choice and the bind; the random pick keeps tests running side by side apart.
TEST_PORTS = range(10000, 32000, 2)


def is_free(port):
    for kind in (socket.SOCK_DGRAM, socket.SOCK_STREAM):
        with socket.socket(socket.AF_INET, kind) as probe:
            try:
                probe.bind((LOOPBACK, port))
            except OSError:
                return False
    return True


def udp_port_bound(port):
    """Whether some socket is bound to this UDP port (read from the kernel's table, so
    that asking cannot take the port from the process about to bind it)."""
    with open("/proc/net/udp") as table:
        next(table)
        return any(int(line.split()[1].split(":")[1], 16) == port for line in table)


# Tests running side by side claim the ports they pick here, so that two of them never
# pick one port between one's choice and its bind (or while a test has let it go to
# bind it again); a claim lapses after CLAIM_SECONDS, longer than any test runs.
CLAIMS = os.path.join(tempfile.gettempdir(), f"orvsip-test-ports-{os.getuid()}")
CLAIM_SECONDS = 900


def claim(port):
    """Whether this test may have `port`: nobody claimed it lately."""
    os.makedirs(CLAIMS, mode=0o700, exist_ok=True)
    path = os.path.join(CLAIMS, str(port))
    try:
        if time.time() - os.stat(path).st_mtime > CLAIM_SECONDS:
            os.unlink(path)
    except FileNotFoundError:
        pass
    try:
        os.close(os.open(path, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o600))
        return True
    except FileExistsError:
        return False


def free_udp_port(span=2):
    """An even port free for UDP and TCP right now, with the ports after it up to `span`
    (RTP pairs, baresip's TCP and TLS listeners, baresip's range of audio ports)."""
    for _ in range(len(TEST_PORTS)):
        port = random.choice(TEST_PORTS)
        ports = range(port, port + span)
        if all(is_free(p) for p in ports) and all(claim(p) for p in ports):
            return port
    raise RuntimeError(f"no free test port left: see {CLAIMS}")


class Loopback:
    """Where the tests' processes run unless a test says otherwise: this machine,
    each bound to 127.0.0.1. A test's own network (nat_lab) offers the same."""
    address = LOOPBACK

    @staticmethod
    def command(argv):
        return list(argv)

    @staticmethod
    def socket(kind=socket.SOCK_DGRAM):
        return socket.socket(socket.AF_INET, kind)


LOCAL = Loopback()


def split_words(line):
    """Splits a protocol line into words, undoing the quoting of strings (a \\xHH escape
    is a byte; bytes that are not UTF-8 come back as surrogate escapes)."""
    words, at = [], 0
    escapes = {"r": b"\r", "n": b"\n"}
    while at < len(line):
        if line[at] == " ":
            at += 1
            continue
        if line[at] == '"':
            word, at = bytearray(), at + 1
            while at < len(line) and line[at] != '"':
                if line[at] == "\\" and line[at + 1:at + 2] == "x" and _is_hex(line[at + 2:at + 4]):
                    word.append(int(line[at + 2:at + 4], 16))
                    at += 3
                elif line[at] == "\\" and at + 1 < len(line):
                    at += 1
                    word += escapes.get(line[at], line[at].encode())
                else:
                    word += line[at].encode("utf-8", "surrogateescape")
                at += 1
            words.append(word.decode("utf-8", "surrogateescape"))
            at += 1
        else:
            end = line.find(" ", at)
            end = len(line) if end < 0 else end
            word = line[at:end]
            words.append(int(word) if word.lstrip("-").isdigit() else word)
            at = end
    return words


def _is_hex(text):
    return len(text) == 2 and all(c in "0123456789abcdefABCDEF" for c in text)


def write_wav(path, samples, rate=8000):
    """Writes 16-bit mono samples as a WAV file."""
    with wave.open(path, "wb") as handle:
        handle.setnchannels(1)
        handle.setsampwidth(2)
        handle.setframerate(rate)
        handle.writeframes(struct.pack("<%dh" % len(samples), *samples))


def quote(text):
    """A string argument as orvua reads it: \\" \\\\ \\r \\n, and \\xHH for other control
    bytes, C1 controls and bytes that are not UTF-8 (surrogate escapes in `text`)."""
    quoted = []
    for char in text:
        code = ord(char)
        if char in '"\\':
            quoted.append("\\" + char)
        elif char in "\r\n":
            quoted.append("\\r" if char == "\r" else "\\n")
        elif code < 0x20 or 0x7F <= code <= 0x9F or 0xDC80 <= code <= 0xDCFF:
            quoted.append("".join(f"\\x{byte:02X}" for byte in char.encode("utf-8", "surrogateescape")))
        else:
            quoted.append(char)
    return '"' + "".join(quoted) + '"'


class Orvua:
    """One orvua process: method calls in, results and events out."""

    def __init__(self, env=None, host=LOCAL):
        self.host = host
        self.process = subprocess.Popen(
            host.command([ORVUA]), stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=dict(os.environ, **(env or {})), bufsize=0)
        self.lines = queue.Queue()
        self.events = []
        self.transcript = []
        # Every line as orvua wrote it.
        self.raw_lines = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.raw_lines.append(raw)
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
        try:
            line = self.lines.get(timeout=remaining)
        except queue.Empty:
            raise TimeoutError("orvua said nothing in time; transcript:\n" + "\n".join(self.transcript[-40:]))
        if line is None:
            raise EOFError("orvua ended; transcript:\n" + "\n".join(self.transcript[-40:]))
        return line

    def _take(self, deadline, wanted):
        while True:
            line = self._next_line(deadline)
            if line.startswith("! "):
                words = split_words(line[2:])
                self.events.append((words[0], words[1:], time.monotonic()))
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

    def text(self, command, timeout=10):
        """Runs a console command (help, events): its "# " lines without the "# ",
        and the line that ended them ("=", or a "?" complaint)."""
        self.send(command)
        lines = []
        deadline = time.monotonic() + timeout
        while True:
            line = self._take(deadline, lambda l: l == "=" or l.startswith(("?", "# ")))
            if not line.startswith("# "):
                return lines, line
            lines.append(line[2:])

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
        return self.wait_event_at(name, timeout, where)[0]

    def wait_event_at(self, name, timeout=10, where=None):
        """The arguments of the first event `name` not yet taken, and when it came."""
        deadline = time.monotonic() + timeout
        while True:
            for index, (event, args, stamp) in enumerate(self.events):
                if event == name and (where is None or where(args)):
                    del self.events[index]
                    return args, stamp
            self._take(deadline, lambda l: l.startswith("! "))

    def drain(self, seconds):
        """Collects events for a while."""
        deadline = time.monotonic() + seconds
        try:
            while True:
                self._take(deadline, lambda l: False)
        except TimeoutError:
            pass

    def pending(self, name):
        """Arguments of the events `name` printed and not yet taken."""
        return [args for event, args, _ in self.events if event == name]

    def initialize(self, sip_port, lines=1, proxy=LOOPBACK, login="1001", password="secret",
                   from_uri="", outbound="", sound=False):
        return self.call("Initialize", True, self.host.address, sip_port, from_uri, outbound, proxy, login, password,
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

    def __init__(self, scenario, remote_port=None, local_port=None, extra=(), calls=1, media_port=None):
        self.local_port = local_port or free_udp_port()
        self.workdir = tempfile.mkdtemp(prefix="sipp-")
        # media_port is what the scenarios' SDP announces (the global rtpport); sipp's
        # own media sockets take another port, so a test may listen on this one.
        self.media_port = media_port or free_udp_port()
        path = os.path.join(SCENARIOS, scenario)
        with open(path) as handle:
            announces_media = "rtpport" in handle.read()
        # sipp's media sockets take -mp and the ports up to -mp + 3 (audio, video, RTCP).
        command = ["sipp", "-sf", path, "-i", LOOPBACK, "-mi", LOOPBACK, "-mp", str(free_udp_port(span=4)),
                   "-p", str(self.local_port), "-m", str(calls), "-nostdin",
                   "-trace_err", "-trace_msg", "-timeout", "90s"]
        if announces_media:
            command += ["-set", "rtpport", str(self.media_port)]
        command += list(extra)
        if remote_port:
            command.append(f"{LOOPBACK}:{remote_port}")
        self.process = subprocess.Popen(command, cwd=self.workdir, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self._wait_bound()

    def _wait_bound(self):
        # On a loaded machine sipp may bind its port after the test's first datagram.
        deadline = time.monotonic() + 15
        while self.process.poll() is None and time.monotonic() < deadline:
            if udp_port_bound(self.local_port):
                return
            time.sleep(0.02)

    def wait(self, timeout=90):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def messages(self):
        """(seconds since the epoch, "received" or "sent", text) of every SIP message sipp handled."""
        found = []
        for name in sorted(os.listdir(self.workdir)):
            if not name.endswith("_messages.log"):
                continue
            with open(os.path.join(self.workdir, name), errors="replace") as handle:
                blocks = handle.read().split("----------------------------------------------- ")[1:]
            for block in blocks:
                stamp_line, _, rest = block.partition("\n")
                heading, _, text = rest.partition("\n\n")
                stamp = datetime.datetime.strptime(stamp_line.strip(), "%Y-%m-%d %H:%M:%S.%f").timestamp()
                direction = "received" if "received" in heading else "sent"
                found.append((stamp, direction, text.strip("\n")))
        return found

    def received(self, method):
        """(time, text) of the requests `method` sipp received, in order."""
        return [(stamp, text) for stamp, direction, text in self.messages()
                if direction == "received" and text.startswith(method + " ")]

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

    def __init__(self, port=0, host=LOCAL):
        self.address = host.address
        self.socket = host.socket()
        self.socket.bind((self.address, port))
        self.port = self.socket.getsockname()[1]

    def send(self, data, port):
        self.socket.sendto(data.encode() if isinstance(data, str) else data, (self.address, port))

    def receive(self, timeout=3):
        data = self.receive_bytes(timeout)
        return data.decode("utf-8", "replace") if data is not None else None

    def receive_bytes(self, timeout=3):
        self.socket.settimeout(timeout)
        try:
            return self.socket.recvfrom(65535)[0]
        except socket.timeout:
            return None

    def receive_all(self, seconds):
        """Every datagram arriving within `seconds`."""
        datagrams = []
        deadline = time.monotonic() + seconds
        while (remaining := deadline - time.monotonic()) > 0:
            data = self.receive_bytes(remaining)
            if data is not None:
                datagrams.append(data)
        return datagrams

    def close(self):
        self.socket.close()


class TestCertificates:
    """A CA and a server certificate signed by it, made with openssl for one test. The
    server certificate names `names` (addresses and host names)."""

    def __init__(self, names=("127.0.0.1", "localhost")):
        self.directory = tempfile.mkdtemp(prefix="tls-")
        self.ca = self._path("ca.pem")
        self.certificate = self._path("server.pem")
        self.key = self._path("server.key")
        key_options = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
        self._openssl("req", "-x509", *key_options, "-keyout", self._path("ca.key"), "-out", self.ca, "-days", "2",
                      "-subj", "/CN=Orv Test CA")
        self._openssl("req", "-new", *key_options, "-keyout", self.key, "-out", self._path("server.csr"),
                      "-subj", "/CN=" + names[0])
        alternatives = ",".join(("IP:" if name[0].isdigit() else "DNS:") + name for name in names)
        with open(self._path("names.ext"), "w") as handle:
            handle.write(f"subjectAltName={alternatives}\n")
        self._openssl("x509", "-req", "-in", self._path("server.csr"), "-CA", self.ca, "-CAkey", self._path("ca.key"),
                      "-CAcreateserial", "-out", self.certificate, "-days", "2", "-extfile", self._path("names.ext"))

    def _path(self, name):
        return os.path.join(self.directory, name)

    @staticmethod
    def _openssl(*arguments):
        subprocess.run(["openssl", *arguments], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Kamailio:
    """kamailio as registrar and proxy on 127.0.0.1, with digest users. With
    `certificates` (TestCertificates) it also takes TCP on its UDP port and TLS on the
    next one (tls_port), and logs every request it receives."""

    def __init__(self, users, config="registrar.cfg", certificates=None, media_map=None, host=LOCAL):
        self.host = host
        self.port = free_udp_port()
        self.tls_port = self.port + 1
        self.workdir = tempfile.mkdtemp(prefix="kamailio-")
        with open(os.path.join(HERE, "kamailio", config)) as handle:
            text = handle.read()
        passwords = "\n    ".join(
            f'if ($fU == "{user}") {{ $var(password) = "{password}"; }}' for user, password in users.items())
        text = text.replace("SIP_PORT", str(self.port)).replace("PASSWORDS", passwords)
        text = text.replace(LOOPBACK, host.address)
        # Its control socket, for kamcmd: a file, reachable from any network namespace.
        self.control = os.path.join(self.workdir, "ctl")
        text = text.replace('loadmodule "tm.so"',
                            f'loadmodule "ctl.so"\nmodparam("ctl", "binrpc", "unix:{self.control}")\nloadmodule "tm.so"', 1)
        if certificates:
            text = text.replace("#!KAMAILIO\n", "#!KAMAILIO\n#!define WITH_STREAMS\n", 1)
            text = text.replace("TLS_PORT", str(self.tls_port)).replace("TLS_CERTIFICATE", certificates.certificate)
            text = text.replace("TLS_KEY", certificates.key)
        # media_map: {port: other port}; every SDP it carries announces the other port
        # for the audio of the first (a test's relay in the media path).
        substitutions = "\n    ".join(f"subst_body('/m=audio {port} /m=audio {other} /');"
                                       for port, other in (media_map or {}).items())
        text = text.replace("MEDIA_MAP", substitutions)
        self.config = os.path.join(self.workdir, "kamailio.cfg")
        with open(self.config, "w") as handle:
            handle.write(text)
        self.log_path = os.path.join(self.workdir, "kamailio.log")
        self.log_file = open(self.log_path, "w")
        self._start()

    def _start(self):
        self.process = subprocess.Popen(
            self.host.command(["kamailio", "-f", self.config, "-DD", "-E", "-m", "32", "-M", "4", "-Y", self.workdir,
                          "-P", os.path.join(self.workdir, "kamailio.pid"), "-w", self.workdir]),
            stdout=self.log_file, stderr=subprocess.STDOUT, start_new_session=True)
        self._wait_ready()

    def restart(self):
        """Stops kamailio (its connections close) and starts it again on the same ports."""
        self.stop()
        self.log_file = open(self.log_path, "a")
        self._start()

    def requests(self):
        """(method, protocol: UDP, TCP or TLS) of every request kamailio logged receiving,
        in order."""
        if not self.log_file.closed:
            self.log_file.flush()
        with open(self.log_path, errors="replace") as handle:
            found = re.findall(r"request (\S+) over (\S+) from", handle.read())
        return [(method, protocol.upper()) for method, protocol in found]

    def _wait_ready(self):
        probe = RawPeer(host=self.host)
        try:
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline:
                if self.process.poll() is not None:
                    raise RuntimeError("kamailio did not start:\n" + self.log())
                probe.send(self.options(probe.port), self.port)
                if probe.receive(timeout=0.3):
                    return
            raise RuntimeError("kamailio does not answer:\n" + self.log())
        finally:
            probe.close()

    def options(self, from_port, user="nobody", call_id=None):
        call_id = call_id or f"probe-{time.monotonic_ns()}"
        address = self.host.address
        return (f"OPTIONS sip:{user}@{address}:{self.port} SIP/2.0\r\n"
                f"Via: SIP/2.0/UDP {address}:{from_port};branch=z9hG4bK{call_id}\r\n"
                f"From: <sip:probe@{address}:{from_port}>;tag=p1\r\nTo: <sip:{user}@{address}>\r\n"
                f"Call-ID: {call_id}\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n")

    def is_registered(self, user):
        """Whether a request for the user is routed on (its contact is known)."""
        probe = RawPeer(host=self.host)
        try:
            probe.send(self.options(probe.port, user), self.port)
            answer = probe.receive(timeout=3) or ""
            return not answer.startswith("SIP/2.0 404")
        finally:
            probe.close()

    def contacts(self, user):
        """The contact URIs kamailio's location holds for the user (through kamcmd)."""
        result = subprocess.run(["kamcmd", "-s", f"unix:{self.control}", "ul.lookup", "location",
                                 f"{user}@{self.host.address}"], capture_output=True, text=True, timeout=10)
        return [line.split(":", 1)[1].strip() for line in result.stdout.splitlines()
                if line.strip().startswith("Address:")]

    def log(self):
        if not self.log_file.closed:
            self.log_file.flush()
        with open(self.log_path, errors="replace") as handle:
            return handle.read()[-8000:]

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, 15)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, 9)
                self.process.wait()
        self.log_file.close()


class Baresip:
    """baresip as the far-end softphone, driven through its ctrl_tcp module."""

    def __init__(self, account, audio_file=None, codecs=None, extra_config="", rtp_port=None, host=LOCAL):
        self.host = host
        self.sip_port = free_udp_port()
        self.ctrl_port = free_udp_port()
        # With rtp_port (a test's choice) every call's audio takes that port and its
        # RTCP the next one: one call at a time then.
        rtp = rtp_port or free_udp_port(span=10)
        self.workdir = tempfile.mkdtemp(prefix="baresip-")
        if audio_file is None:
            audio_file = os.path.join(self.workdir, "silence.wav")
            write_wav(audio_file, [0] * 8000 * 120)  # baresip ends the call when its file ends
        self.record_dir = os.path.join(self.workdir, "records")
        os.makedirs(self.record_dir)
        with open(os.path.join(HERE, "baresip", "config")) as handle:
            config = handle.read()
        rtp_ports = f"{rtp}-{rtp + (1 if rtp_port else 9)}"
        for key, value in (("SIP_PORT", self.sip_port), ("CTRL_PORT", self.ctrl_port), ("RTP_PORTS", rtp_ports),
                           ("AUDIO_SOURCE", "aufile," + audio_file), ("RECORD_PATH", self.record_dir)):
            config = config.replace(key, str(value))
        config = config.replace(LOOPBACK, host.address)
        with open(os.path.join(self.workdir, "config"), "w") as handle:
            handle.write(config + extra_config)
        with open(os.path.join(self.workdir, "accounts"), "w") as handle:
            handle.write(account + (f";audio_codecs={codecs}" if codecs else "") + "\n")
        open(os.path.join(self.workdir, "contacts"), "w").close()
        self._start()

    def _start(self):
        """Starts baresip on the set-up in self.workdir and connects to its control."""
        self.log_path = os.path.join(self.workdir, "baresip.log")
        self.log_file = open(self.log_path, "w")
        self.process = subprocess.Popen(self.host.command(["baresip", "-f", self.workdir]), stdin=subprocess.PIPE,
                                        stdout=self.log_file, stderr=subprocess.STDOUT, cwd=self.workdir)
        self.events = queue.Queue()
        self.seen = []
        self.responses = queue.Queue()
        self.connection = self._connect()
        threading.Thread(target=self._read, daemon=True).start()

    def _connect(self):
        deadline = time.monotonic() + 15
        while True:
            connection = self.host.socket(socket.SOCK_STREAM)
            try:
                connection.settimeout(2)
                connection.connect((self.host.address, self.ctrl_port))
                return connection
            except OSError:
                connection.close()
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise RuntimeError("baresip did not start:\n" + self.log())
                time.sleep(0.1)

    def _read(self):
        buffer = b""
        self.connection.settimeout(None)
        while True:
            try:
                data = self.connection.recv(65536)
            except OSError:
                break
            if not data:
                break
            buffer += data
            while b":" in buffer:
                length_text, _, rest = buffer.partition(b":")
                length = int(length_text)
                if len(rest) < length + 1:
                    break
                message = json.loads(rest[:length].decode(errors="replace"))
                buffer = rest[length + 1:]
                if message.get("event"):
                    self.seen.append(message)
                    self.events.put(message)
                elif message.get("response"):
                    self.responses.put(message)

    def command(self, name, params=""):
        payload = json.dumps({"command": name, "params": params, "token": "t"}).encode()
        self.connection.sendall(str(len(payload)).encode() + b":" + payload + b",")
        return self.responses.get(timeout=10)

    def wait_event(self, kind, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TimeoutError(f"baresip gave no {kind}; events: {[e.get('type') for e in self.seen]}\n"
                                   + self.log())
            try:
                message = self.events.get(timeout=remaining)
            except queue.Empty:
                continue
            if message.get("type") == kind:
                return message

    def log(self):
        if not self.log_file.closed:
            self.log_file.flush()
        with open(self.log_path, errors="replace") as handle:
            return handle.read()[-6000:]

    def stop(self):
        try:
            self.connection.close()
        except OSError:
            pass
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log_file.close()
