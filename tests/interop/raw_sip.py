"""A hand-driven SIP peer on a raw UDP socket: it answers and forges what a test says.

Unlike sipp it can send anything at any moment (crossing answers, forged Call-IDs,
a second fork), which is what the tests of hostile and unlucky peers need.
"""
import time

from orvua_driver import LOOPBACK, RawPeer
from sip_text import header, headers


RTPMAPS = {0: "PCMU/8000", 3: "GSM/8000", 8: "PCMA/8000", 18: "G729/8000", 101: "telephone-event/8000"}


def sdp(port, direction="sendrecv", address=LOOPBACK, payloads=(0, 101)):
    rtpmaps = "".join(f"a=rtpmap:{payload} {RTPMAPS[payload]}\r\n" for payload in payloads)
    return (f"v=0\r\no=peer 1 1 IN IP4 {address}\r\ns=peer\r\nc=IN IP4 {address}\r\nt=0 0\r\n"
            f"m=audio {port} RTP/AVP {' '.join(map(str, payloads))}\r\n{rtpmaps}a={direction}\r\n")


def first_line(text):
    return text.split("\r\n", 1)[0] if text else ""


class SipPeer(RawPeer):
    """Receives requests and answers them, remembering everything it got."""

    def __init__(self):
        super().__init__()
        self.got = []

    def next_message(self, timeout=3, wanted=lambda text: True):
        deadline = time.monotonic() + timeout
        while (remaining := deadline - time.monotonic()) > 0:
            text = self.receive(remaining)
            if text is None:
                break
            self.got.append((time.monotonic(), text))
            if wanted(text):
                return text
        return None

    def expect(self, start, timeout=3):
        """The next message whose first line starts with `start` (others are kept in got)."""
        text = self.next_message(timeout, lambda t: t.startswith(start))
        if text is None:
            raise AssertionError(f"no {start!r} arrived; got: {[first_line(t) for _, t in self.got[-10:]]}")
        return text

    def quiet(self, seconds):
        """Everything that arrives within `seconds` (a test expecting silence asserts it is empty)."""
        found = []
        deadline = time.monotonic() + seconds
        while (text := self.next_message(max(deadline - time.monotonic(), 0.01))) is not None:
            found.append(text)
        return found

    def answer(self, request, status, reason, to_tag="callee1", body="", extra="", contact=None):
        """A response built from a request, sent back to its Via."""
        to = header(request, "To")
        if to_tag and ";tag=" not in to:
            to += f";tag={to_tag}"
        lines = [f"SIP/2.0 {status} {reason}"]
        lines += [f"Via: {via}" for via in headers(request, "Via")]
        lines += [f"From: {header(request, 'From')}", f"To: {to}", f"Call-ID: {header(request, 'Call-ID')}",
                  f"CSeq: {header(request, 'CSeq')}",
                  f"Contact: {contact or f'<sip:peer@{LOOPBACK}:{self.port}>'}"]
        text = "\r\n".join(lines) + "\r\n" + extra
        if body:
            text += "Content-Type: application/sdp\r\n"
        text += f"Content-Length: {len(body)}\r\n\r\n{body}"
        self.send(text, self.via_port(request))
        return text

    @staticmethod
    def via_port(request):
        via = headers(request, "Via")[0]
        return int(via.split()[1].split(";")[0].split(":")[1])

    def request(self, method, target_port, call_id, cseq, from_tag="caller1", to_tag="", body="", extra="",
                via_port=None, user="1001", cseq_method=None, send=True, content_type="application/sdp"):
        """A request to the user agent; the Via names this peer (or via_port) and asks for rport."""
        to = f"<sip:{user}@{LOOPBACK}>" + (f";tag={to_tag}" if to_tag else "")
        text = (f"{method} sip:{user}@{LOOPBACK}:{target_port} SIP/2.0\r\n"
                f"Via: SIP/2.0/UDP {LOOPBACK}:{via_port or self.port};branch=z9hG4bK{call_id}{cseq}{method};rport\r\n"
                f"From: \"Peer\" <sip:peer@{LOOPBACK}:{self.port}>;tag={from_tag}\r\nTo: {to}\r\n"
                f"Call-ID: {call_id}\r\nCSeq: {cseq} {cseq_method or method}\r\nMax-Forwards: 70\r\n"
                f"Contact: <sip:peer@{LOOPBACK}:{self.port}>\r\n{extra}")
        if body:
            text += f"Content-Type: {content_type}\r\n"
        text += f"Content-Length: {len(body)}\r\n\r\n{body}"
        if send:
            self.send(text, target_port)
        return text

    def in_dialog(self, method, invite, cseq, to_tag="callee1", body="", extra=""):
        """A request of the callee inside the dialog that the user agent's INVITE opened."""
        contact = header(invite, "Contact").strip("<>").split(">")[0]
        target_port = int(contact.split(":")[-1].split(";")[0])
        text = (f"{method} {contact} SIP/2.0\r\n"
                f"Via: SIP/2.0/UDP {LOOPBACK}:{self.port};branch=z9hG4bKdlg{cseq}{method}\r\n"
                f"From: {header(invite, 'To')};tag={to_tag}\r\nTo: {header(invite, 'From')}\r\n"
                f"Call-ID: {header(invite, 'Call-ID')}\r\nCSeq: {cseq} {method}\r\nMax-Forwards: 70\r\n"
                f"Contact: <sip:peer@{LOOPBACK}:{self.port}>\r\n{extra}")
        if body:
            text += "Content-Type: application/sdp\r\n"
        text += f"Content-Length: {len(body)}\r\n\r\n{body}"
        self.send(text, target_port)
        return text
