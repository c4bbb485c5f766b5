#!/usr/bin/env python3
"""Registers, calls a number, plays a WAV file into the call, hangs up, and prints
each event on the way.

    python3 call.py LOCAL_IP SIP_PORT RTP_PORT REGISTRAR_HOST:PORT sip:NUMBER@HOST[:PORT] [FILE.wav]

The account is 1001 with password "secret" (--login, --password). Without a WAV file
the call lasts --seconds.
"""
import argparse
import sys

import orvsip


def print_event(name, *args):
    if name.endswith("Diagnostic"):  # a whole SIP message: its first line is enough here
        args = (args[0].split("\r\n", 1)[0],) + args[1:]
    print(name, *args, flush=True)


def first_of(ua, names, seconds):
    """Runs the user agent until one of these events comes: its name, or None."""
    seen = []
    listeners = {name: ua.on(name, lambda *args, name=name: seen.append(name)) for name in names}
    ua.run_until(lambda: seen, seconds)
    for name, listener in listeners.items():
        ua.off(name, listener)
    return seen[0] if seen else None


def play(ua, path, seconds):
    """Plays the file into line 0's call; whether the peer hung up meanwhile."""
    if path:
        if ua.PlayWaveOpen(0, path) and ua.PlayWaveStart(0, False):
            return first_of(ua, ["OnPlayWaveDone", "OnDisconnectCall"], 600) == "OnDisconnectCall"
        print(f"cannot play {path}: error {ua.GetOrvObjectError()}", flush=True)
    return first_of(ua, ["OnDisconnectCall"], seconds) is not None


def main():
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("local_ip")
    options.add_argument("sip_port", type=int)
    options.add_argument("rtp_port", type=int)
    options.add_argument("registrar")
    options.add_argument("number")
    options.add_argument("wav", nargs="?")
    options.add_argument("--login", default="1001")
    options.add_argument("--password", default="secret")
    options.add_argument("--seconds", type=float, default=3)
    args = options.parse_args()

    with orvsip.OrvSIPUserAgentOCX() as ua:
        ua.on("*", print_event)
        if not (ua.Initialize(True, args.local_ip, args.sip_port, "", "", args.registrar, args.login,
                              args.password, False, 1)
                and ua.OpenLine(0, True, args.local_ip, args.rtp_port)):
            sys.exit(f"cannot start: error {ua.GetOrvObjectError()}")
        ua.RegisterToProxy(300)
        if first_of(ua, ["OnSuccessToRegister", "OnFailToRegister"], 10) != "OnSuccessToRegister":
            sys.exit("not registered")
        if not ua.Connect(0, args.number, -1, -1):
            sys.exit(f"cannot call: error {ua.GetOrvObjectError()}")
        outcome = first_of(ua, ["OnSuccessToConnect", "OnFailToConnect", "OnRequestFailureResponse",
                                "OnServerFailureResponse", "OnGeneralFailureResponse"], 60)
        if outcome != "OnSuccessToConnect":
            sys.exit("the call failed")
        if not play(ua, args.wav, args.seconds):
            ua.Disconnect(0)
        ua.UnRegisterToProxy()
        first_of(ua, ["OnSuccessToUnRegister", "OnFailToUnRegister"], 5)
    print("done", flush=True)


if __name__ == "__main__":
    main()
