"""A SIP relay that puts a UdpRelay on every RTP stream of the calls it carries.

Both user agents name the relay as their outbound proxy, so every SIP request they
send reaches it: requests go on to the host and port of their Request-URI with the
relay's own Via on top, so that their responses come back through it and go on to
the Via below. Each SDP body's audio port is replaced by the port of a UdpRelay
that forwards the RTP to the real port, records it and applies the impairments
given (delay, drop, corrupt: see UdpRelay). RTCP on a port of its own (a=rtcp, else
the RTP port + 1) goes through a second UdpRelay, unimpaired, announced with a=rtcp;
RTCP multiplexed on the RTP port (once a=rtcp-mux is agreed) shares the RTP relay. Like a real
media relay it is symmetric: the media of a call reaches each side from the relay
that side sends to, so a user agent that takes media only from where it sends takes
it. Everything stays on 127.0.0.1.
"""
import re
import socket

from orvua_driver import LOOPBACK
from rtp_media import ReaderThread, socket_receiver
from udp_relay import UdpRelay

VIA = re.compile(r"^(?:Via|v):\s*SIP/2\.0/UDP\s+([^;:\s,]+)(?::(\d+))?[^\r\n]*\r\n", re.MULTILINE | re.IGNORECASE)


class SipMediaRelay:
    def __init__(self, **impairments):
        self.impairments = impairments
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind((LOOPBACK, 0))
        self.port = self.socket.getsockname()[1]
        self.taps = {}
        self.rtcp_taps = {}
        self.calls = {}
        self.reader = ReaderThread(socket_receiver(self.socket), self.relay)

    def address(self):
        return f"{LOOPBACK}:{self.port}"

    def tap_for(self, port):
        """The relay of the RTP going to `port` (a port a user agent announced)."""
        return self.taps[port]

    def rtcp_tap_for(self, port):
        """The relay of the RTCP going to the user agent whose RTP port is `port`."""
        return self.rtcp_taps[port]

    def relay(self, data):
        text = data.decode("utf-8", "replace")
        if text.startswith("SIP/2.0"):
            text, destination = self._unwrap_response(text)
        else:
            text, destination = self._wrap_request(text)
        if destination:
            self.socket.sendto(self._rewrite_sdp(text).encode(), destination)

    def _own_via(self, match):
        return match.group(1) == LOOPBACK and int(match.group(2) or 5060) == self.port

    def _wrap_request(self, text):
        start, _, rest = text.partition("\r\n")
        uri = re.match(r"\S+\s+sips?:(?:[^@\s]*@)?([^;:>\s]+):(\d+)", start)
        if not uri:
            return text, None
        branch = re.search(r"branch=([^;,\s]+)", rest)
        via = f"Via: SIP/2.0/UDP {LOOPBACK}:{self.port};branch=z9hG4bKrelay{branch.group(1) if branch else ''}\r\n"
        return start + "\r\n" + via + rest, (uri.group(1), int(uri.group(2)))

    def _unwrap_response(self, text):
        top = VIA.search(text)
        if top and self._own_via(top):
            text = text[:top.start()] + text[top.end():]
            top = VIA.search(text)
        return text, (top.group(1), int(top.group(2) or 5060)) if top else None

    def _rewrite_sdp(self, text):
        head, separator, body = text.partition("\r\n\r\n")
        match = re.search(r"^m=audio (\d+)", body, re.MULTILINE)
        if not separator or not match:
            return text
        port = int(match.group(1))
        call_id = re.search(r"^(?:Call-ID|i):\s*(\S+)", head, re.MULTILINE | re.IGNORECASE)
        call = call_id.group(1) if call_id else ""
        if port not in self.taps:
            self.taps[port] = UdpRelay(target=(LOOPBACK, port), record=True, **self.impairments)
            self._pair((call, "rtp"), self.taps[port])
        body = body[:match.start(1)] + str(self.taps[port].port) + body[match.end(1):]
        body = self._relay_rtcp(body, port, call)
        head = re.sub(r"^Content-Length:\s*\d+", f"Content-Length: {len(body.encode())}", head,
                      flags=re.MULTILINE | re.IGNORECASE)
        return head + separator + body

    def _relay_rtcp(self, body, port, call):
        announced = re.search(r"^a=rtcp:(\d+)[^\r\n]*\r\n", body, re.MULTILINE)
        if port not in self.rtcp_taps:
            rtcp_port = int(announced.group(1)) if announced else port + 1
            self.rtcp_taps[port] = UdpRelay(target=(LOOPBACK, rtcp_port), record=True)
            self._pair((call, "rtcp"), self.rtcp_taps[port])
        if announced:
            body = body[:announced.start()] + body[announced.end():]
        return body + f"a=rtcp:{self.rtcp_taps[port].port}\r\n"

    def _pair(self, key, tap):
        other = self.calls.setdefault(key, tap)
        if other is not tap:
            tap.sender, other.sender = other, tap

    def stop(self):
        self.reader.stop()
        self.socket.close()
        for tap in list(self.taps.values()) + list(self.rtcp_taps.values()):
            tap.stop()
