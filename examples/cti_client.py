#!/usr/bin/env python3
"""A tiny client of trn's CTI socket: dials a number, waits until the call is
connected, then hangs up.

    python3 cti_client.py [--host 127.0.0.1] [--port 2500] [--timeout 30] 2001
    python3 cti_client.py --unix ~/.local/share/trn/cti.sock 2001

trn must run with "Enable CTI" and "TCP API Communication" ticked in its settings; it
serves only its own user, over TCP on 127.0.0.1 or over the Unix-domain socket it
names on its terminal when it starts. Every line trn sends is printed. The exit status
is 0 when the call was connected and hung up, 1 otherwise.
"""
import argparse
import socket
import sys
import time


class CtiClient:
    """One connection to trn: send commands, read tab-separated lines."""

    def __init__(self, host, port, path=None):
        if path:
            self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.sock.settimeout(5)
            self.sock.connect(path)
        else:
            self.sock = socket.create_connection((host, port), timeout=5)
        self.buffer = b""

    def send(self, command, parameter=""):
        line = f"{command} {parameter}".strip() + "\n"
        self.sock.sendall(line.encode("utf-8"))

    def next_line(self, deadline):
        while b"\n" not in self.buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TimeoutError("trn said nothing in time")
            self.sock.settimeout(remaining)
            data = self.sock.recv(4096)
            if not data:
                raise ConnectionError("trn closed the connection")
            self.buffer += data
        line, _, self.buffer = self.buffer.partition(b"\n")
        text = line.decode("utf-8", errors="replace")
        print(text.replace("\t", " | "), flush=True)
        return text.split("\t")

    def wait_for(self, accept, timeout):
        """Reads lines until accept(fields) says True (the line is wanted) or False
        (the line means failure); None goes on reading."""
        deadline = time.monotonic() + timeout
        while True:
            verdict = accept(self.next_line(deadline))
            if verdict is not None:
                return verdict


def reply_to(command):
    def accept(fields):
        words = fields[0].split(" ")
        if len(fields) == 1 and words[0] in ("OK", "ERROR") and len(words) > 1 and words[1] == command:
            return words[0] == "OK"
        return None
    return accept


def connected(fields):
    if fields[0] == "EVENT" and fields[1:3] == ["STATUS", "SUCCESS TO CONNECT"]:
        return True
    if fields[0] == "FAILURE" or (fields[0] == "EVENT" and fields[1] in ("ERROR", "SERVER ERROR")):
        return False
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("number")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=2500)
    parser.add_argument("--unix", metavar="PATH", help="the Unix-domain socket instead of TCP")
    parser.add_argument("--timeout", type=float, default=30)
    args = parser.parse_args()

    client = CtiClient(args.host, args.port, args.unix)
    client.wait_for(lambda fields: True if fields[:2] == ["SNAPSHOT", "END"] else None, 5)
    client.send("Dial", args.number)
    if not client.wait_for(reply_to("Dial"), 5):
        return 1
    if not client.wait_for(connected, args.timeout):
        return 1
    client.send("Hangup")
    return 0 if client.wait_for(reply_to("Hangup"), 5) else 1


if __name__ == "__main__":
    sys.exit(main())
