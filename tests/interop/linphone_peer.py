"""linphonec, Debian's linphone console, as a strict peer of the interop tests.

liblinphone takes its media address from the default route, so these tests run in a
network namespace that has nothing but loopback (see loopback_only.sh): there it
advertises 127.0.0.1, and no datagram can leave the machine.
"""
import os
import queue
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time

from orvua_driver import free_udp_port

CONFIG = """[sip]
sip_tcp_port=-1
sip_tls_port=-1
guess_hostname=0
contact="Linphone" <sip:linphone@127.0.0.1>
inc_timeout=120
[rtp]
audio_rtp_port={rtp}
video_rtp_port={video}
[video]
enabled=0
capture=0
display=0
[net]
ipv6=0
"""

# An account on a registrar of 127.0.0.1 (kamailio): every call then goes through it.
ACCOUNT = """[proxy_0]
reg_proxy=<sip:127.0.0.1:{registrar_port}>
reg_identity=<sip:{user}@127.0.0.1>
reg_expires=3600
reg_sendregister=1
publish=0
[auth_info_0]
username={user}
passwd={password}
domain=127.0.0.1
"""


def unavailable():
    """Why linphone cannot be a peer here, or None when it can."""
    if shutil.which("linphonec") is None:
        return "linphonec is not installed (scripts/install-deps.sh installs linphone-cli)"
    names = [name for _, name in socket.if_nameindex()]
    if names != ["lo"]:
        return ("linphone would advertise a non-loopback address: run in a loopback-only network "
                "namespace (loopback_only.sh, as root)")
    return None


class Linphone:
    """One linphonec on free ports of 127.0.0.1, playing `audio_file` into its calls and
    recording what it hears into `self.recording`. With `account` (user, password,
    Kamailio) it registers there first."""

    def __init__(self, audio_file, autoanswer=True, account=None):
        self.sip_port = free_udp_port()
        self.workdir = tempfile.mkdtemp(prefix="linphone-")
        os.makedirs(os.path.join(self.workdir, ".local", "share", "linphone"))
        config = os.path.join(self.workdir, "linphonerc")
        rtp = free_udp_port()
        with open(config, "w") as handle:
            handle.write(CONFIG.format(rtp=rtp, video=rtp + 1))
            if account:
                user, password, registrar = account
                handle.write(ACCOUNT.format(user=user, password=password, registrar_port=registrar.port))
        self.recording = os.path.join(self.workdir, "heard.wav")
        self.log_path = os.path.join(self.workdir, "linphone.log")
        self.lines = queue.Queue()
        self.output = []
        self.process = subprocess.Popen(
            ["linphonec", "-c", config, "-d", "6", "-l", self.log_path], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=dict(os.environ, HOME=self.workdir), bufsize=0)
        threading.Thread(target=self._read, daemon=True).start()
        # The console takes commands once its core runs; the port command answers first.
        self.command(f"ports sip {self.sip_port}")
        self.wait_output(r"Setting sip port", timeout=20)
        for command in ("soundcard use files", f"play {audio_file}", f"record {self.recording}",
                        "autoanswer " + ("enable" if autoanswer else "disable")):
            self.command(command)
        self.wait_output(r"Auto answer (enabled|disabled)")
        if account:
            self._wait_registered(account[0], account[2])

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("utf-8", "replace").strip()
            self.output.append(line)
            self.lines.put(line)

    def command(self, text):
        self.process.stdin.write((text + "\n").encode())

    def wait_output(self, pattern, timeout=15):
        """The first line of output not yet taken that matches `pattern`."""
        deadline = time.monotonic() + timeout
        while (remaining := deadline - time.monotonic()) > 0:
            try:
                line = self.lines.get(timeout=remaining)
            except queue.Empty:
                break
            if re.search(pattern, line):
                return line
        raise TimeoutError(f"linphone printed no {pattern!r}; output:\n" + "\n".join(self.output[-30:]))

    def _wait_registered(self, user, registrar):
        deadline = time.monotonic() + 15
        while not registrar.is_registered(user):
            if time.monotonic() > deadline:
                raise TimeoutError(f"linphone did not register {user}:\n" + registrar.log())
            time.sleep(0.2)

    def has_no_call(self):
        self.command("calls")
        return "No active call" in self.wait_output(r"No active call|\|")

    def log(self):
        with open(self.log_path, errors="replace") as handle:
            return handle.read()[-8000:]

    def stop(self):
        if self.process.poll() is None:
            try:
                self.command("quit")
                self.process.wait(timeout=10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
