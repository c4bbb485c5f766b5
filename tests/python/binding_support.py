"""What the tests of the Python binding share: the orvsip package of the build (on
PYTHONPATH), the peers of the interop tests, user agents on loopback, and a record of
every event with the thread it came on and whether it came inside a method call."""
import os
import socket
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "interop"))

from orvua_driver import LOOPBACK, RawPeer, Sipp, free_udp_port, write_wav  # noqa: E402,F401

import orvsip  # noqa: E402

EXAMPLES = os.path.join(HERE, "..", "..", "examples")
# A sanitized build runs Python with the sanitizer's run time preloaded: the Python
# processes a test starts need it too, the peers must not inherit it.
PRELOAD = os.environ.pop("LD_PRELOAD", "")


def python_env(**extra):
    env = dict(os.environ, **extra)
    if PRELOAD:
        env["LD_PRELOAD"] = PRELOAD
    return env


def port_is_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((LOOPBACK, port))
        except OSError:
            return False
    return True


def bound_udp_ports():
    """The local UDP ports of this machine, read without binding any."""
    with open("/proc/net/udp") as table:
        return {int(line.split()[1].split(":")[1], 16) for line in table.readlines()[1:]}


def started_sipp(scenario, **options):
    """sipp on its scenario, once its SIP socket is bound: what a user agent sends
    earlier is lost."""
    peer = Sipp(scenario, **options)
    deadline = time.monotonic() + 15
    while peer.local_port not in bound_udp_ports():
        if peer.process.poll() is not None or time.monotonic() > deadline:
            peer.stop()
            raise RuntimeError("sipp did not start:\n" + peer.log())
        time.sleep(0.02)
    return peer


class Agent:
    """A user agent on 127.0.0.1 with its ports, one line open."""

    def __init__(self, login, from_uri="", proxy="", lines=1):
        self.sip_port = free_udp_port()
        self.rtp_port = free_udp_port()
        self.ua = orvsip.OrvSIPUserAgentOCX()
        if not self.ua.Initialize(True, LOOPBACK, self.sip_port, from_uri, "", proxy, login, "secret", False, lines):
            raise RuntimeError(f"Initialize failed: {self.ua.GetOrvObjectError()}")
        if not self.ua.OpenLine(0, True, LOOPBACK, self.rtp_port):
            raise RuntimeError(f"OpenLine failed: {self.ua.GetOrvObjectError()}")
        self.uri = f"sip:{login}@{LOOPBACK}:{self.sip_port}"


class EventLog:
    """Every event of the watched user agents: (agent, name, arguments), with the
    threads they came on and the method calls made through call() they came inside."""

    def __init__(self, **agents):
        self.events = []
        self.threads = set()
        self.inside_calls = []
        self._calling = None
        for label, agent in agents.items():
            agent.on("*", lambda name, *args, label=label: self._note(label, name, args))

    def _note(self, label, name, args):
        self.events.append((label, name, args))
        self.threads.add(threading.get_ident())
        if self._calling is not None:
            self.inside_calls.append((self._calling, name))

    def call(self, agent, method, *args):
        self._calling = method
        try:
            return getattr(agent, method)(*args)
        finally:
            self._calling = None

    def names(self, label):
        return [name for who, name, _ in self.events if who == label]
