"""The media engine under a hostile RTP peer and with a real headset's echo:
bounded under floods, an echo canceller that sees the echo, volumes kept across calls."""
import math
import os
import tempfile
import time
import unittest

from audio_check import dominant_frequency, frames, read_wav, rms
from orvua_driver import LOOPBACK, Orvua, RawPeer, Sipp, free_udp_port, write_wav
from rtp_media import PACKET_SAMPLES, PCMU, Collector, PacedSender, energy, speech_like, ulaw_payload, ulaw_samples

RATE = 8000


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS")


def options_request(to_port, from_port, number):
    return (f"OPTIONS sip:1001@127.0.0.1:{to_port} SIP/2.0\r\n"
            f"Via: SIP/2.0/UDP 127.0.0.1:{from_port};branch=z9hG4bKflood{number}\r\n"
            f"From: <sip:probe@127.0.0.1:{from_port}>;tag=f{number}\r\nTo: <sip:1001@127.0.0.1>\r\n"
            f"Call-ID: flood-options-{number}\r\nCSeq: {number} OPTIONS\r\nMax-Forwards: 70\r\n"
            f"Content-Length: 0\r\n\r\n")


def frange(start, stop, step):
    values = []
    while start + step <= stop + 1e-9:
        values.append(start)
        start += step
    return values


def sine(frequency, seconds, amplitude=8000):
    return [int(amplitude * math.sin(2 * math.pi * frequency * n / RATE)) for n in range(int(seconds * RATE))]


class CallWithRawMedia:
    """orvua on the virtual sound device calls sipp straight by its address; sipp's SDP
    points the media at a socket of the test, so the test hears what orvua sends and
    speaks to it. Each call has a sipp of its own."""

    def __init__(self, test, env):
        self.test = test
        self.media = RawPeer(free_udp_port())
        test.addCleanup(self.media.close)
        self.ua = Orvua(env=dict({"ORVSIP_AUDIO": "virtual"}, **env))
        test.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        test.assertTrue(self.ua.initialize(self.sip_port, proxy="", sound=True))
        self.rtp_port = free_udp_port()
        test.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, self.rtp_port))
        self.ua.call("DeselectAllVoiceCodec")
        test.assertTrue(self.ua.call("SelectVoiceCodec", 3))
        self.sipp = None

    def connect(self):
        """Calls a new sipp; returns when the call is connected, and when it was placed."""
        self.sipp = Sipp("callee_answers_caller_hangs_up.xml", media_port=self.media.port)
        self.test.addCleanup(self.sipp.stop)
        self.test.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.sipp.local_port}", -1, -1))
        started = time.monotonic()
        self.ua.wait_event("OnSuccessToConnect")
        return started

    def hang_up(self):
        self.test.assertTrue(self.ua.call("Disconnect", 0))
        self.test.assertEqual(self.sipp.wait(20), 0, self.sipp.log())


class RtpFloodTest(unittest.TestCase):
    def test_a_flood_neither_fills_memory_nor_stops_sip_nor_leaves_a_backlog(self):
        speaker = os.path.join(tempfile.mkdtemp(prefix="orvua-flood-"), "speaker.wav")
        # The sanitizers keep freed memory in quarantine, which would count as growth;
        # only the user agent's own keeping is measured.
        asan = (os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=1:thread_local_quarantine_size_kb=64")
        call = CallWithRawMedia(self, {"ORVSIP_VIRTUAL_SPEAKER": speaker, "ASAN_OPTIONS": asan.lstrip(":")})
        ua = call.ua
        self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        call.connect()
        sender = PacedSender(call.media, call.rtp_port, sine(400, 1))
        ua.drain(1.5)
        before = resident_kb(ua.process.pid)

        # Several thousand packets a second for five seconds, the stream's timestamps
        # running ahead of real time.
        sender.stop()
        probe = RawPeer()
        self.addCleanup(probe.close)
        answered, sent = [], 0
        end = time.monotonic() + 5
        next_probe = time.monotonic() + 0.5
        flood_payload = ulaw_payload(sine(400, PACKET_SAMPLES / RATE))
        while time.monotonic() < end:
            for _ in range(80):
                call.media.send(sender.next_packet(flood_payload), call.rtp_port)
            time.sleep(0.01)
            if time.monotonic() >= next_probe:
                sent += 1
                probe.send(options_request(call.sip_port, probe.port, sent), call.sip_port)
                next_probe += 0.5
                reply = probe.receive(timeout=0.02)
                while reply is not None:
                    answered.append(reply)
                    reply = probe.receive(timeout=0.02)
        flooded = sender.sequence - 1000
        self.assertGreater(flooded / 5, 2000, "packets a second")
        reply = probe.receive(timeout=2)
        while reply is not None:
            answered.append(reply)
            reply = probe.receive(timeout=0.3)
        self.assertEqual(sum(1 for r in answered if r.startswith("SIP/2.0 200")), sent,
                         "every OPTIONS during the flood is answered")
        grown = resident_kb(ua.process.pid) - before
        self.assertLess(grown, 5 * 1024, f"resident memory grew by {grown} kB")

        # Real time again: a new tone is heard within the playout delay, not after a backlog.
        sender = PacedSender(call.media, call.rtp_port)
        size_when_sent = os.path.getsize(speaker)
        sender.play(sine(1000, 1))
        ua.drain(2)
        sender.stop()
        probe.send(options_request(call.sip_port, probe.port, sent + 1), call.sip_port)
        self.assertTrue((probe.receive(timeout=3) or "").startswith("SIP/2.0 200"), "OPTIONS after the flood")
        call.hang_up()
        self.assertEqual(ua.quit(), 0)

        samples, rate = read_wav(speaker)
        header = os.path.getsize(speaker) - 2 * len(samples)
        sent_at = (size_when_sent - header) // 2
        tone_frames = [index for index, frame in enumerate(frames(samples[sent_at:], rate))
                       if rms(frame) > 1000 and abs(dominant_frequency(frame * 4, rate, 300, 1200) - 1000) < 60]
        self.assertTrue(tone_frames, "the tone sent after the flood is never heard")
        delay_ms = tone_frames[0] * 20
        self.assertLess(delay_ms, 800, "the tone comes out behind a backlog")


class EchoCancellationTest(unittest.TestCase):
    """The far end talks, the virtual speaker's sound leaks into the virtual
    microphone 30 ms later and 10 dB down; later the near end talks alone."""

    FAR_END_UNTIL = 12.0
    NEAR_END_FROM = 12.0

    def test_the_canceller_removes_the_echo_and_keeps_the_near_end_talker(self):
        directory = tempfile.mkdtemp(prefix="orvua-echo-")
        microphone = os.path.join(directory, "near.wav")
        near = speech_like(6, seed=1)
        write_wav(microphone, [0] * int(self.NEAR_END_FROM * RATE) + near)
        call = CallWithRawMedia(self, {"ORVSIP_VIRTUAL_MIC": microphone, "ORVSIP_VIRTUAL_ECHO": "30,10"})
        ua = call.ua
        heard = Collector.of_peer(call.media)
        self.addCleanup(heard.stop)
        sender = PacedSender(call.media, call.rtp_port)
        self.addCleanup(sender.stop)
        start = call.connect()

        def at(seconds):
            ua.drain(max(0.0, start + seconds - time.monotonic()))

        def sent_level(begin, end):
            return energy(ulaw_samples(p for p in heard.between(start + begin, start + end) if p["type"] == PCMU))

        def steady_level(begin, end):
            """The median over half seconds: a moment when the machine was too busy to
            keep real time does not count."""
            halves = sorted(sent_level(at, at + 0.5) for at in frange(begin, end, 0.5))
            return halves[len(halves) // 2]

        self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        at(1)
        sender.play(speech_like(self.FAR_END_UNTIL - 1))
        at(5)
        echo = sent_level(2, 5)
        self.assertTrue(ua.call("EnableEchoNoiseCancellation"))
        at(self.FAR_END_UNTIL)
        sender.silence()
        left = steady_level(8.5, self.FAR_END_UNTIL)
        at(15)
        talker_cancelling = sent_level(12.5, 15)
        self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        at(17.8)
        talker_plain = sent_level(15.3, 17.8)
        call.hang_up()

        self.assertGreater(echo, 1e5, "the echo reaches the microphone")
        reduction = 10 * math.log10(echo / max(left, 1.0))
        self.assertGreaterEqual(reduction, 20.0, f"echo reduced by {reduction:.1f} dB")
        talker_loss = 10 * math.log10(talker_plain / max(talker_cancelling, 1.0))
        self.assertGreater(talker_plain, 1e6, "the near end talks")
        self.assertLess(talker_loss, 3.0, f"the near-end talker lost {talker_loss:.1f} dB")


class VolumeAndGainTest(unittest.TestCase):
    def test_the_speaker_volume_carries_over_and_a_huge_agc_level_is_the_maximum(self):
        directory = tempfile.mkdtemp(prefix="orvua-volume-")
        speaker = os.path.join(directory, "speaker.wav")
        microphone = os.path.join(directory, "near.wav")
        near = [s // 4 for s in speech_like(4, seed=2)]
        write_wav(microphone, near)
        call = CallWithRawMedia(self, {"ORVSIP_VIRTUAL_SPEAKER": speaker, "ORVSIP_VIRTUAL_MIC": microphone})
        ua = call.ua
        heard = Collector.of_peer(call.media)
        self.addCleanup(heard.stop)
        sender = PacedSender(call.media, call.rtp_port, sine(1000, 1))
        self.addCleanup(sender.stop)

        call.connect()
        self.assertEqual(ua.call("GetSpkVolume"), 255)
        self.assertTrue(ua.call("SetSpkVolume", 100))
        call.hang_up()
        self.assertEqual(ua.call("GetSpkVolume"), -1, "no volume without an open device")
        self.assertEqual(ua.call("GetOrvObjectError"), 17)
        ua.drain(1)

        call.connect()
        self.assertEqual(ua.call("GetSpkVolume"), 100, "the next call keeps the volume")
        self.assertTrue(ua.call("EnableAGC", 2147483647))
        self.assertTrue(ua.call("EnableEchoNoiseCancellation"))
        ua.drain(3)
        measured_from = time.monotonic() - 1.5
        call.hang_up()
        self.assertEqual(ua.quit(), 0)

        samples, rate = read_wav(speaker)
        played = [frame for frame in frames(samples, rate) if rms(frame) > 300]
        self.assertGreater(len(played), 50, "the second call plays the tone")
        level = rms([s for frame in played[len(played) // 4:] for s in frame])
        expected = 8000 / math.sqrt(2) * 100 * 256 / 65535
        self.assertAlmostEqual(level, expected, delta=expected * 0.1)

        # The gain control aims at the loudest level, so it never turns the talker down.
        sent = ulaw_samples(p for p in heard.between(measured_from, measured_from + 1.5) if p["type"] == PCMU)
        self.assertGreater(len(sent), RATE)
        self.assertGreater(energy(sent), energy(near) * 0.8)


if __name__ == "__main__":
    unittest.main()
