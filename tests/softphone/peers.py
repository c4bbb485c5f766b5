"""The real peers of the trn tests, for a test program written in C++.

Starts kamailio (registrar and proxy with digest users) and baresip (the far-end
softphone) with the interop tests' own set-ups, all on 127.0.0.1 with free ports, and
then answers one JSON request per input line with one JSON line:

  {"op": "baresip", "command": "dial", "params": "sip:1001@..."}  baresip's response
  {"op": "event", "type": "CALL_CLOSED", "timeout": 15}            the next such event
  {"op": "registered", "user": "1001"}                              {"registered": bool}
  {"op": "log"}                                                     both peers' logs

Usage: peers.py '{"users": {"1001": "secret"}, "baresip": {"user": "2002",
"password": "secret2", "answermode": "auto", "also": {"3003": "secret3"}}}' ("also":
more accounts of the same baresip, answering by themselves; "mediaenc": baresip's media
encryption, e.g. "srtp-mand"; "tls": true, kamailio takes TLS too, with a certificate of
a CA of the test's own, and baresip registers over it).
The first line out is {"ready": true, "kamailio_port": N, "tls_port": N, "ca_file":
PATH}, once baresip is registered. End of input stops both peers.
"""
import json
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))

from orvua_driver import LOOPBACK, Baresip, Kamailio, TestCertificates  # noqa: E402


def reply(message):
    sys.stdout.write(json.dumps(message) + "\n")
    sys.stdout.flush()


def start(setup):
    certificates = TestCertificates() if setup.get("tls") else None
    kamailio = Kamailio(setup["users"], certificates=certificates)
    proxy = f"{LOOPBACK}:{kamailio.tls_port};transport=tls" if certificates else f"{LOOPBACK}:{kamailio.port}"
    account = setup["baresip"]
    codecs = f";audio_codecs={account['codecs']}" if account.get("codecs") else ""
    encryption = f";mediaenc={account['mediaenc']}" if account.get("mediaenc") else ""
    lines = [f"<sip:{account['user']}@{proxy}>;auth_pass={account['password']}"
             f";answermode={account.get('answermode', 'manual')}{codecs}{encryption}"]
    lines += [f"<sip:{user}@{proxy}>;auth_pass={password};answermode=auto"
              for user, password in account.get("also", {}).items()]
    config = f"sip_cafile\t\t{certificates.ca}\n" if certificates else ""
    config += "module\t\t\tsrtp.so\n" if encryption else ""
    baresip = Baresip("\n".join(lines), extra_config=config)
    kamailio.ca_file = certificates.ca if certificates else ""
    deadline = time.monotonic() + 15
    for user in [account["user"], *account.get("also", {})]:
        while not kamailio.is_registered(user):
            if time.monotonic() > deadline:
                raise RuntimeError("baresip did not register:\n" + baresip.log())
            time.sleep(0.1)
    return kamailio, baresip


def serve(kamailio, baresip, request):
    op = request.get("op")
    if op == "baresip":
        return {"response": baresip.command(request["command"], request.get("params", ""))}
    if op == "event":
        try:
            return {"event": baresip.wait_event(request["type"], timeout=request.get("timeout", 15))}
        except TimeoutError as error:
            return {"error": str(error)}
    if op == "registered":
        return {"registered": kamailio.is_registered(request["user"])}
    if op == "log":
        return {"kamailio": kamailio.log(), "baresip": baresip.log()}
    return {"error": f"unknown op {op!r}"}


def main():
    kamailio, baresip = start(json.loads(sys.argv[1]))
    try:
        reply({"ready": True, "kamailio_port": kamailio.port, "tls_port": kamailio.tls_port,
               "ca_file": kamailio.ca_file})
        for line in sys.stdin:
            if line.strip():
                reply(serve(kamailio, baresip, json.loads(line)))
    finally:
        baresip.stop()
        kamailio.stop()


if __name__ == "__main__":
    main()
