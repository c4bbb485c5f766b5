"""A SIP relay that puts a tap on every RTP stream of the calls it carries.

Both user agents name the relay as their outbound proxy, so every SIP message they
send reaches it: requests go on to the host and port of their Request-URI, responses
to the sent-by of their top Via. Each SDP body's audio port is replaced by the port
of a tap, which forwards the RTP to the real port and keeps a copy with its arrival
time. Like a real media relay it is symmetric: the RTP of a call reaches each side
from the tap that side sends to, so a user agent that takes RTP only from where it
sends takes it. Everything stays on 127.0.0.1.
"""
import re
import socket

from orvua_driver import LOOPBACK
from rtp_media import Collector, ReaderThread, socket_receiver


def loopback_socket():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((LOOPBACK, 0))
    return sock


class RtpTap:
    """Receives RTP meant for `target_port`, forwards it there and keeps it."""

    def __init__(self, target_port):
        self.target_port = target_port
        # The tap of the other side of the call: what goes to target_port leaves from it.
        self.partner = None
        self.socket = loopback_socket()
        self.port = self.socket.getsockname()[1]
        self.collector = Collector(socket_receiver(self.socket), then=self.forward)

    def forward(self, data):
        (self.partner or self).socket.sendto(data, (LOOPBACK, self.target_port))

    def between(self, start, end):
        return self.collector.between(start, end)

    def stop(self):
        self.collector.stop()
        self.socket.close()


class SipMediaRelay:
    def __init__(self):
        self.socket = loopback_socket()
        self.port = self.socket.getsockname()[1]
        self.taps = {}
        self.calls = {}
        self.reader = ReaderThread(socket_receiver(self.socket), self.relay)

    def address(self):
        return f"{LOOPBACK}:{self.port}"

    def tap_for(self, port):
        """The tap of the RTP arriving at `port` (a port a user agent announced)."""
        return self.taps[port]

    def relay(self, data):
        text = data.decode("utf-8", "replace")
        destination = self._destination(text)
        if destination:
            self.socket.sendto(self._rewrite_sdp(text).encode(), destination)

    @staticmethod
    def _destination(text):
        start = text.split("\r\n", 1)[0]
        if start.startswith("SIP/2.0"):
            via = re.search(r"^Via:\s*SIP/2\.0/UDP\s+([^;:\s]+):(\d+)", text, re.MULTILINE | re.IGNORECASE)
            return (via.group(1), int(via.group(2))) if via else None
        uri = re.match(r"\S+\s+sips?:(?:[^@\s]*@)?([^;:>\s]+):(\d+)", start)
        return (uri.group(1), int(uri.group(2))) if uri else None

    def _rewrite_sdp(self, text):
        head, separator, body = text.partition("\r\n\r\n")
        match = re.search(r"^m=audio (\d+)", body, re.MULTILINE)
        if not separator or not match:
            return text
        port = int(match.group(1))
        if port not in self.taps:
            self.taps[port] = RtpTap(port)
            self._pair(head, self.taps[port])
        body = body[:match.start(1)] + str(self.taps[port].port) + body[match.end(1):]
        head = re.sub(r"^Content-Length:\s*\d+", f"Content-Length: {len(body.encode())}", head,
                      flags=re.MULTILINE | re.IGNORECASE)
        return head + separator + body

    def _pair(self, head, tap):
        call_id = re.search(r"^(?:Call-ID|i):\s*(\S+)", head, re.MULTILINE | re.IGNORECASE)
        other = self.calls.setdefault(call_id.group(1) if call_id else "", tap)
        if other is not tap:
            tap.partner, other.partner = other, tap

    def stop(self):
        self.reader.stop()
        self.socket.close()
        for tap in self.taps.values():
            tap.stop()
