"""orvua as a newcomer meets it: a quiet start on a terminal, help from the control's
own tables, and scripts that see exactly the protocol they always saw."""
import os
import pty
import re
import select
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from orvua_driver import LOOPBACK, ORVUA, Orvua, free_udp_port  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PROTOCOL_LINE = re.compile(r"^(= ?|! |\? |# )")

# Every method of the control.
ALL_METHODS = """UnInitialize GetOrvObjectError CloseLine Connect Disconnect AcceptCall RejectCall TransferCall
HoldLine UnHoldLine RegisterToProxy UnRegisterToProxy IsLineOpen IsLineHold IsLineBusy EnableKeepAlive
DisableKeepAlive DeselectAllVoiceCodec SelectAllVoiceCodec SelectVoiceCodec DeselectVoiceCodec GetMyIP DigitDTMF
MuteMic MuteSpk GetMicVolume SetMicVolume GetSpkVolume SetSpkVolume EnableMicBoost DisableMicBoost
IsMicBoostEnable EnableAGC DisableAGC EnableEchoNoiseCancellation DisableEchoNoiseCancellation IsRecording
StopRecording ResetRecording SaveRecordingToWaveFile IsWaveFilePlaying PlayWaveOpen PlayWaveSkipTo
PlayWaveTotalTime PlayWavePause PlayWaveStart PlayWaveStop PlayWavePosition EnableDonotDisturb
DisableDonotDisturb SetTOS GetTOS EnableForceInbandDTMF DisableForceInbandDTMF GetDTMFVolume SetDTMFVolume
GetMicSoundLevel GetSpkSoundLevel GetAudioInDevTotal GetAudioOutDevTotal GetAudioOutDevName GetAudioInDevName
Initialize OpenLine StartRecording GetOutboundCodec GetInboundCodec GetVersionFile GetVersionSDK
JoinTwoLine SetAcceptTransfer SetMediaEncryption GetMediaEncryption SetStunServer GetCallStatistics SetRecordingChannels
GetRemoteParty""".split()

class Terminal:
    """orvua with a pseudo-terminal as its standard input, output and error."""

    def __init__(self, env):
        self.master, slave = pty.openpty()
        self.process = subprocess.Popen([ORVUA], stdin=slave, stdout=slave, stderr=slave, env=env,
                                        start_new_session=True)
        os.close(slave)
        self.buffer = ""

    def lines_until(self, done, timeout=15):
        """Lines read until `done(lines)` holds."""
        deadline = time.monotonic() + timeout
        while not done(self.buffer.splitlines()):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self.master], [], [], remaining)[0]:
                raise TimeoutError("orvua said:\n" + self.buffer)
            try:
                self.buffer += os.read(self.master, 65536).decode(errors="replace").replace("\r\n", "\n")
            except OSError:
                raise EOFError("orvua ended:\n" + self.buffer)
        return self.buffer.splitlines()

    def send(self, line):
        os.write(self.master, (line + "\n").encode())

    def close(self):
        if self.process.poll() is None:
            self.send("quit")
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        os.close(self.master)


def terminal_env(**extra):
    env = {key: value for key, value in os.environ.items() if not key.startswith("ORVSIP_")}
    env.update(extra)
    return env


class TerminalTest(unittest.TestCase):
    def session(self, **env):
        terminal = Terminal(terminal_env(**env))
        self.addCleanup(terminal.close)
        return terminal

    def run_sound_session(self, terminal):
        """Starts orvua with the sound device in use; every line it printed."""
        sip_port = free_udp_port()
        terminal.send("GetAudioInDevTotal")
        terminal.send(f'Initialize true {LOOPBACK} {sip_port} "" "" {LOOPBACK} 1001 x true 1')
        terminal.send(f"OpenLine 0 true {LOOPBACK} {free_udp_port()}")
        terminal.send(f'Connect 0 "sip:2000@{LOOPBACK}:{free_udp_port()}" -1 -1')
        terminal.send("Disconnect 0")
        terminal.send("GetOrvObjectError")
        return terminal.lines_until(lambda lines: sum(1 for l in lines if l.startswith("=")) >= 6)

    def test_greeting_first_then_only_the_protocol(self):
        terminal = self.session()
        first = terminal.lines_until(lambda lines: len(lines) >= 1)[0]
        self.assertTrue(first.startswith("# "), first)
        self.assertIn("help", first)
        self.assertIn("quit", first)
        lines = self.run_sound_session(terminal)
        echoed = {"GetAudioInDevTotal", "Disconnect 0", "GetOrvObjectError"}
        strangers = [line for line in lines if not PROTOCOL_LINE.match(line) and line not in echoed
                     and not line.startswith(("Initialize ", "OpenLine ", "Connect "))]
        self.assertEqual(strangers, [], "lines from the sound libraries")

    @unittest.skipIf(os.path.exists("/dev/snd"), "a sound card probes without complaint")
    def test_diagnostics_on_request(self):
        terminal = self.session(ORVSIP_DEBUG="1", ORVSIP_AUDIO="portaudio")
        terminal.lines_until(lambda lines: len(lines) >= 1)
        lines = self.run_sound_session(terminal)
        self.assertTrue(any(line.startswith("ALSA lib") for line in lines), "\n".join(lines))


class PipeTest(unittest.TestCase):
    def test_session_output_is_what_it_always_was(self):
        with open(os.path.join(HERE, "pipe_session.txt")) as handle:
            script = handle.read().replace("SIP_PORT", str(free_udp_port()))
        script = script.replace("RTP_PORT", str(free_udp_port()))
        with open(os.path.join(HERE, "pipe_session.expected"), "rb") as handle:
            expected = handle.read()
        for env in (terminal_env(), terminal_env(ORVSIP_AUDIO="virtual")):
            result = subprocess.run([ORVUA], input=script.encode(), capture_output=True, env=env, timeout=60)
            self.assertEqual(result.returncode, 0)
            self.assertEqual(result.stdout, expected)
            self.assertEqual(result.stderr, b"")

    def test_help_lists_exactly_what_the_dispatcher_runs(self):
        ua = Orvua()
        self.addCleanup(ua.quit)
        lines, end = ua.text("help")
        self.assertEqual(end, "=")
        listed = {}
        for line in lines:
            if line.startswith("  "):
                name, *parameters = line.split()
                listed[name] = parameters
        self.assertEqual(set(listed), set(ALL_METHODS))
        for name in ALL_METHODS:
            ua.send(f"{name} " + " ".join(["1"] * 11))
            self.assertEqual(ua.complaint(), f"{name} takes {len(listed[name])} arguments")

        lines, end = ua.text("help Connect")
        self.assertEqual(end, "=")
        self.assertEqual(lines[0], "Connect LineNo ToURI InputDeviceId OutputDeviceId -> boolean")
        self.assertEqual(lines[2:], ["  LineNo: integer", "  ToURI: string", "  InputDeviceId: integer",
                                     "  OutputDeviceId: integer"])
        self.assertEqual(ua.text("help NoSuchThing")[1], "? unknown method NoSuchThing")

        lines, end = ua.text("events")
        events = [line.split()[0] for line in lines if line.startswith("  ")]
        self.assertEqual(len(events), 28)
        self.assertIn("OnIncomingCall CallId DisplayName UserName FromURI ToURI", [l.strip() for l in lines])
        # A script reads exactly one result line after each command.
        self.assertEqual(ua.call("GetVersionSDK"), "3, 0, 0, 0")


if __name__ == "__main__":
    unittest.main()
