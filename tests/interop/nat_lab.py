"""A home network behind a NAT router, made of network namespaces for one test.

    home 192.168.35.10 --- 192.168.35.1 router 10.35.0.1 --- 10.35.0.2 internet

The router masquerades the home network behind its internet address with nftables, as
a home router does: a datagram going out makes a binding, answers come back through
it, and whatever else arrives from the internet is dropped (a port-restricted NAT).
The router forgets a binding after 30 s without a datagram either way (its conntrack
UDP time-outs). The home ports a test names with `map_port` leave on a public port of
the test's choosing, other than their own, and `renumber()` moves them all to other
public ports for the bindings made from then on, as a real router gives a forgotten
binding a new port: a binding kept alive keeps its port.

The namespaces are linked to nothing but each other, so nothing the test sends leaves
them; their addresses belong to the test alone. Making one needs root (`available()`
says why not); `close()` ends every process left in them and deletes them, also after
a failed test, and a new lab removes those of a test process that was killed.
"""
import ctypes
import os
import re
import secrets
import socket
import struct
import subprocess
import tempfile
import threading
import time

HOME = "192.168.35.10"
ROUTER_HOME = "192.168.35.1"
PUBLIC = "10.35.0.1"
SERVER = "10.35.0.2"
BINDING_SECONDS = 30
CLONE_NEWNET = 0x40000000

_libc = ctypes.CDLL(None, use_errno=True)
_setns_lock = threading.Lock()


def available():
    """None when a lab can be made here, else the reason it cannot."""
    if os.geteuid() != 0:
        return "network namespaces need root"
    for tool in ("ip", "nft", "kamailio", "baresip", "turnserver", "kamcmd"):
        if subprocess.run(["which", tool], capture_output=True).returncode != 0:
            return f"{tool} is not installed (scripts/install-deps.sh)"
    return None


def run(*argv, stdin=None):
    subprocess.run(argv, input=stdin, check=True, capture_output=True, text=True)


class Namespace:
    """One namespace of the lab: processes run in it, sockets are made in it."""

    def __init__(self, name, address):
        self.name, self.address = name, address

    def command(self, argv):
        return ["ip", "netns", "exec", self.name, *argv]

    def socket(self, kind=socket.SOCK_DGRAM):
        """A socket of this namespace: made while this thread stands in it."""
        with _setns_lock, open(f"/run/netns/{self.name}") as target, open("/proc/self/ns/net") as own:
            if _libc.setns(target.fileno(), CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), f"cannot enter {self.name}")
            try:
                return socket.socket(socket.AF_INET, kind)
            finally:
                _libc.setns(own.fileno(), CLONE_NEWNET)


def _remove_namespace(name):
    """Ends every process left in a namespace of a lab, then deletes it."""
    pids = subprocess.run(["ip", "netns", "pids", name], capture_output=True, text=True).stdout
    for pid in pids.split():
        try:
            os.kill(int(pid), 9)
        except ProcessLookupError:
            pass
    subprocess.run(["ip", "netns", "del", name], capture_output=True)


def _remove_abandoned_labs():
    """The namespaces of labs whose test process is gone (killed at its time-out)."""
    names = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout.split()
    for name in names:
        owner = re.match(r"orv(\d+)x", name)
        if owner and not os.path.exists(f"/proc/{owner.group(1)}"):
            _remove_namespace(name)


class NatLab:
    def __init__(self):
        _remove_abandoned_labs()
        tag = secrets.token_hex(3)
        prefix = f"orv{os.getpid()}x{tag}"
        self.home = Namespace(prefix + "home", HOME)
        self.router = Namespace(prefix + "rtr", PUBLIC)
        self.internet = Namespace(prefix + "net", SERVER)
        self.mapped = {}
        self.generation = 1
        try:
            self._build(tag)
        except Exception:
            self.close()
            raise

    def _build(self, tag):
        for namespace in (self.home, self.router, self.internet):
            run("ip", "netns", "add", namespace.name)
            run("ip", "-n", namespace.name, "link", "set", "lo", "up")
        self._link(self.home, f"o{tag}h", HOME, self.router, f"o{tag}rh", ROUTER_HOME)
        self._link(self.router, f"o{tag}ri", PUBLIC, self.internet, f"o{tag}i", SERVER)
        run("ip", "-n", self.home.name, "route", "add", "default", "via", ROUTER_HOME)
        self.wan = f"o{tag}ri"
        router = self.router.command
        run(*router(["sysctl", "-qw", "net.ipv4.ip_forward=1"]))
        run(*router(["nft", "-f", "-"]), stdin=f"""
table ip lab {{
  chain postrouting {{
    type nat hook postrouting priority srcnat;
    oifname "{self.wan}" jump mapped
    oifname "{self.wan}" masquerade
  }}
  chain mapped {{
  }}
  chain forward {{
    type filter hook forward priority filter; policy drop;
    ct state established,related accept
    iifname != "{self.wan}" oifname "{self.wan}" accept
  }}
  chain input {{
    type filter hook input priority filter; policy drop;
    iifname "lo" accept
  }}
}}
""")
        # nf_conntrack is loaded by now: its time-outs exist, and are the router's own.
        for key in ("nf_conntrack_udp_timeout", "nf_conntrack_udp_timeout_stream"):
            run(*router(["sysctl", "-qw", f"net.netfilter.{key}={BINDING_SECONDS}"]))

    @staticmethod
    def _link(left, left_name, left_address, right, right_name, right_address):
        run("ip", "link", "add", left_name, "netns", left.name, "type", "veth", "peer", "name", right_name,
            "netns", right.name)
        for namespace, name, address in ((left, left_name, left_address), (right, right_name, right_address)):
            run("ip", "-n", namespace.name, "addr", "add", f"{address}/24", "dev", name)
            run("ip", "-n", namespace.name, "link", "set", name, "up")

    def public_port(self, home_port):
        """The public port the home port's bindings made now get."""
        return self.mapped[home_port]

    def map_port(self, home_port):
        """UDP from the home port leaves on a public port other than its own."""
        self.mapped[home_port] = home_port + 20000 + 5000 * (self.generation - 1)
        self._write_mapped()
        return self.mapped[home_port]

    def renumber(self):
        """Bindings made from now on get new public ports; live ones keep theirs."""
        self.generation += 1
        for home_port in self.mapped:
            self.map_port(home_port)

    def _write_mapped(self):
        rules = "".join(f"add rule ip lab mapped ip saddr {HOME} udp sport {home} snat to {PUBLIC}:{public}\n"
                        for home, public in self.mapped.items())
        run(*self.router.command(["nft", "-f", "-"]), stdin="flush chain ip lab mapped\n" + rules)

    def close(self):
        for namespace in (self.home, self.router, self.internet):
            _remove_namespace(namespace.name)


class Coturn:
    """coturn as a plain STUN server (RFC 5389 Binding) on a free port of `host`."""

    def __init__(self, host, port):
        self.host, self.port = host, port
        self.workdir = tempfile.mkdtemp(prefix="coturn-")
        self.log_path = os.path.join(self.workdir, "coturn.log")
        self.log_file = open(self.log_path, "w")
        self.process = subprocess.Popen(host.command(
            ["turnserver", "-n", "--stun-only", "--listening-ip", host.address, "--listening-port", str(port),
             "--no-cli", "--no-tls", "--no-dtls", "--no-tcp", "--no-software-attribute", "--simple-log",
             "--log-file", "stdout", "--userdb", os.path.join(self.workdir, "turndb"),
             "--pidfile", os.path.join(self.workdir, "turnserver.pid")]),
            stdout=self.log_file, stderr=subprocess.STDOUT)
        self._wait_ready()

    def _wait_ready(self):
        probe = self.host.socket()
        probe.bind((self.host.address, 0))
        probe.settimeout(0.3)
        request = struct.pack("!HHI", 0x0001, 0, 0x2112A442) + secrets.token_bytes(12)
        try:
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and self.process.poll() is None:
                probe.sendto(request, (self.host.address, self.port))
                try:
                    if probe.recv(2048)[:2] == b"\x01\x01":
                        return
                except socket.timeout:
                    pass
            raise RuntimeError("coturn does not answer:\n" + self.log())
        finally:
            probe.close()

    def log(self):
        self.log_file.flush()
        with open(self.log_path, errors="replace") as handle:
            return handle.read()[-4000:]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log_file.close()
