"""Wave files played into calls and calls recorded, against baresip, through orvua."""
import math
import os
import socket
import stat
import struct
import subprocess
import tempfile
import threading
import time
import unittest
import wave

from audio_check import frames, goertzel_power, read_wav, rms, tone
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, free_udp_port, write_wav
from raw_sip import SipPeer, sdp

RATE = 8000
OUR_TONE = 1000
PEER_TONE = 600
# Linux's option (and control message) for nanosecond arrival stamps; Python names it not.
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)


def write_stereo_44k(path, frequency, seconds):
    samples = tone(frequency, seconds, rate=44100)
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(44100)
        out.writeframes(b"".join(struct.pack("<hh", s, s) for s in samples))


def wave_header(path):
    """The fields of a WAV file's "fmt " chunk and the size of its "data" chunk."""
    with open(path, "rb") as handle:
        data = handle.read()
    fmt = data.index(b"fmt ")
    tag, channels, rate, average, align, bits = struct.unpack("<HHIIHH", data[fmt + 8:fmt + 24])
    at = data.index(b"data")
    return {"tag": tag, "align": align, "rate": rate, "data": struct.unpack("<I", data[at + 4:at + 8])[0],
            "chunks": [data[12:16], data[fmt + 8 + struct.unpack("<I", data[fmt + 4:fmt + 8])[0]:][:4]]}


def tone_runs(samples, candidates, threshold=1500, bridged=10):
    """[(frequency, seconds)] of the runs of 20 ms frames where one candidate tone
    dominates; a run goes on over up to `bridged` quiet frames (a late packet)."""
    runs, quiet = [], 0
    for frame in frames(samples, RATE):
        if rms(frame) <= threshold:
            quiet += 1
            continue
        powers = {f: goertzel_power(frame * 4, f) for f in candidates}
        label = max(powers, key=powers.get)
        if runs and runs[-1][0] == label and quiet <= bridged:
            runs[-1][1] += 0.02
        else:
            runs.append([label, 0.02])
        quiet = 0
    return [(label, seconds) for label, seconds in runs if seconds > 0.1]


class WaveErrorsTest(unittest.TestCase):
    """The methods' checks and the media error codes, as the control reports them."""

    def test_line_checks_and_wave_file_errors(self):
        directory = tempfile.mkdtemp(prefix="orvua-wave-errors-")
        ua = Orvua(env={"ORVSIP_AUDIO": "virtual", "TMPDIR": directory})
        self.addCleanup(ua.quit)
        self.assertFalse(ua.call("PlayWaveOpen", 0, "x.wav"))
        self.assertEqual(ua.call("GetOrvObjectError"), 10)
        self.assertTrue(ua.initialize(free_udp_port(), lines=2, sound=False))
        self.assertFalse(ua.call("IsRecording", 2))
        self.assertEqual(ua.call("GetOrvObjectError"), 29)
        self.assertEqual(ua.call("PlayWaveTotalTime", 1), -1)
        self.assertEqual(ua.call("GetOrvObjectError"), 31)
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))

        # The recording's temporary file is the owner's alone, and has no name that a
        # killed process could leave behind.
        self.assertEqual(os.listdir(directory), [])
        descriptors = "/proc/%d/fd" % ua.process.pid
        temporary = [os.path.join(descriptors, fd) for fd in os.listdir(descriptors)
                     if os.readlink(os.path.join(descriptors, fd)).startswith(os.path.join(directory, "Orv"))]
        self.assertEqual(len(temporary), 1)
        self.assertTrue(os.readlink(temporary[0]).endswith(" (deleted)"))
        self.assertEqual(stat.S_IMODE(os.stat(temporary[0]).st_mode), 0o600)

        self.assertFalse(ua.call("PlayWaveOpen", 0, os.path.join(directory, "missing.wav")))
        self.assertEqual(ua.call("GetOrvObjectError"), 21)
        text = os.path.join(directory, "notes.wav")
        with open(text, "w") as handle:
            handle.write("shopping list: milk, bread\n" * 20)
        self.assertFalse(ua.call("PlayWaveOpen", 0, text))
        self.assertEqual(ua.call("GetOrvObjectError"), 35)
        good = os.path.join(directory, "good.wav")
        write_wav(good, tone(440, 1))
        with open(good, "rb") as handle:
            original = handle.read()
        truncated = os.path.join(directory, "truncated.wav")
        with open(truncated, "wb") as handle:
            handle.write(original[:len(original) // 2])
        lying = os.path.join(directory, "lying.wav")
        at = original.index(b"data") + 4
        with open(lying, "wb") as handle:
            handle.write(original[:at] + struct.pack("<I", 0x7FFFFF00) + original[at + 4:])
        for damaged in (truncated, lying):
            self.assertFalse(ua.call("PlayWaveOpen", 0, damaged), damaged)
            self.assertEqual(ua.call("GetOrvObjectError"), 35, damaged)
        odd = os.path.join(directory, "odd.wav")
        fmt = struct.pack("<HHIIHHH", 0x7777, 1, 8000, 8000, 1, 8, 0)
        body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", 800) + bytes(800)
        with open(odd, "wb") as handle:
            handle.write(b"RIFF" + struct.pack("<I", len(body)) + body)
        self.assertFalse(ua.call("PlayWaveOpen", 0, odd))
        self.assertEqual(ua.call("GetOrvObjectError"), 37, "a format with no conversion")

        self.assertTrue(ua.call("PlayWaveOpen", 0, good))
        self.assertEqual(ua.call("PlayWaveTotalTime", 0), 1)
        self.assertFalse(ua.call("PlayWaveStart", 0, False))
        self.assertEqual(ua.call("GetOrvObjectError"), 34, "no call to play into")
        self.assertFalse(ua.call("StartRecording", 0, 3, False))
        self.assertEqual(ua.call("GetOrvObjectError"), 33)
        self.assertFalse(ua.call("SaveRecordingToWaveFile", 0, os.path.join(directory, "no", "such.wav")))
        self.assertEqual(ua.call("GetOrvObjectError"), 21)
        self.assertTrue(ua.call("CloseLine", 0))
        self.assertEqual([name for name in os.listdir(directory) if name.startswith("Orv")], [])
        self.assertEqual(ua.quit(), 0)


class BaresipWaveTest(unittest.TestCase):
    """orvua calls baresip through kamailio; baresip records what it receives."""

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="orvua-wave-")
        kamailio = Kamailio({"1001": "secret", "2002": "secret2"})
        self.addCleanup(kamailio.stop)
        peer_file = os.path.join(self.directory, "peer.wav")
        write_wav(peer_file, tone(PEER_TONE, 120, amplitude=6000))
        self.baresip = Baresip(f"<sip:2002@127.0.0.1:{kamailio.port}>;auth_pass=secret2;answermode=auto",
                               audio_file=peer_file, codecs="PCMU")
        self.addCleanup(self.baresip.stop)
        self.microphone = os.path.join(self.directory, "mic.wav")
        write_wav(self.microphone, tone(OUR_TONE, 2, amplitude=6000))
        self.speaker = os.path.join(self.directory, "speaker.wav")
        self.ua = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": self.microphone,
                             "ORVSIP_VIRTUAL_SPEAKER": self.speaker, "TMPDIR": self.directory})
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{kamailio.port}", sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.ua.call("DeselectAllVoiceCodec")
        self.assertTrue(self.ua.call("SelectVoiceCodec", 3))
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        deadline = time.monotonic() + 10
        while not kamailio.is_registered("2002"):
            self.assertLess(time.monotonic(), deadline, "baresip did not register:\n" + self.baresip.log())
            time.sleep(0.2)
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{kamailio.port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")

    def hang_up(self):
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        self.assertEqual(self.ua.quit(), 0)
        self.baresip.stop()

    def path(self, name):
        return os.path.join(self.directory, name)

    def play(self, path, listen=False):
        """Plays a file to its end; the seconds from start to OnPlayWaveDone."""
        self.assertTrue(self.ua.call("PlayWaveOpen", 0, path), path)
        started = time.monotonic()
        self.assertTrue(self.ua.call("PlayWaveStart", 0, listen))
        self.assertTrue(self.ua.call("IsWaveFilePlaying", 0))
        self.assertEqual(self.ua.wait_event_at("OnPlayWaveDone", timeout=15)[0], [0])
        return time.monotonic() - started

    def test_wave_files_of_every_kind_play_into_the_call(self):
        self.assertTrue(self.ua.call("MuteMic", True), "only the files are heard")
        self.assertTrue(self.ua.call("PlayWaveStart", 0, False), "no file: nothing happens")
        self.assertFalse(self.ua.call("IsWaveFilePlaying", 0))
        empty = self.path("empty.wav")
        write_wav(empty, [])
        self.assertTrue(self.ua.call("PlayWaveOpen", 0, empty))
        self.assertEqual(self.ua.call("PlayWaveTotalTime", 0), 0)
        self.assertTrue(self.ua.call("PlayWaveStart", 0, False))
        self.assertFalse(self.ua.call("IsWaveFilePlaying", 0))

        pcm = self.path("pcm.wav")
        write_wav(pcm, tone(700, 2.5))
        self.assertTrue(self.ua.call("PlayWaveOpen", 0, pcm))
        self.assertEqual(self.ua.call("PlayWaveTotalTime", 0), 3)
        self.assertAlmostEqual(self.play(pcm, listen=True), 3.0, delta=0.35)

        long_file = self.path("long.wav")
        write_wav(long_file, tone(400, 5))
        self.assertTrue(self.ua.call("PlayWaveOpen", 0, long_file))
        self.assertTrue(self.ua.call("PlayWaveStart", 0, False))
        self.ua.drain(1.5)
        self.assertTrue(self.ua.call("PlayWavePause", 0))
        self.assertEqual(self.ua.call("PlayWavePosition", 0), 1)
        self.assertFalse(self.ua.call("IsWaveFilePlaying", 0))
        self.ua.drain(0.6)
        self.assertEqual(self.ua.call("PlayWavePosition", 0), 1, "pause keeps the position")
        self.assertTrue(self.ua.call("PlayWaveStop", 0))
        self.assertEqual(self.ua.call("PlayWavePosition", 0), 0, "stop rewinds")
        self.assertTrue(self.ua.call("PlayWaveSkipTo", 0, 4))
        self.assertEqual(self.ua.call("PlayWavePosition", 0), 4)

        stereo = self.path("stereo.wav")
        write_stereo_44k(stereo, OUR_TONE, 2)
        self.assertAlmostEqual(self.play(stereo), 2.0, delta=0.35)
        gsm = self.path("gsm.wav")
        subprocess.run(["sox", "-n", "-r", "8000", "-c", "1", "-e", "gsm-full-rate", gsm, "synth", "2", "sine",
                        "500"], check=True)
        self.assertAlmostEqual(self.play(gsm), 2.0, delta=0.35)
        self.hang_up()

        received = [name for name in os.listdir(self.baresip.record_dir) if name.endswith("-dec.wav")]
        self.assertEqual(len(received), 1, os.listdir(self.baresip.record_dir))
        samples, _ = read_wav(os.path.join(self.baresip.record_dir, received[0]))
        runs = tone_runs(samples, (700, 400, OUR_TONE, 500))
        self.assertEqual([label for label, _ in runs], [700, 400, OUR_TONE, 500], runs)
        seconds = dict(runs)
        self.assertAlmostEqual(seconds[700], 2.5, delta=0.15, msg=runs)
        self.assertAlmostEqual(seconds[400], 1.5, delta=0.25, msg=runs)
        self.assertAlmostEqual(seconds[OUR_TONE], 2.0, delta=0.15, msg="44.1 kHz stereo at its pitch and length")
        self.assertAlmostEqual(seconds[500], 2.0, delta=0.2, msg=runs)
        heard, _ = read_wav(self.speaker)
        self.assertIn(700, [label for label, _ in tone_runs(heard, (700, PEER_TONE))], "listening to the file")

    def record(self, name, voice, seconds, compress=False):
        self.assertTrue(self.ua.call("ResetRecording", 0))
        started = time.monotonic()
        self.assertTrue(self.ua.call("StartRecording", 0, voice, compress))
        self.assertTrue(self.ua.call("IsRecording", 0))
        self.ua.drain(seconds)
        path = self.path(name)
        self.assertTrue(self.ua.call("SaveRecordingToWaveFile", 0, path))
        return path, time.monotonic() - started

    def levels(self, path):
        samples, rate = read_wav(path)
        middle = samples[rate // 2:]
        return {f: goertzel_power(middle[:RATE], f) / max(1.0, sum(s * s for s in middle[:RATE])) for f in
                (OUR_TONE, PEER_TONE)}

    def test_recording_the_call_with_each_selector_and_compression(self):
        levels = {}
        for voice in (0, 1, 2):
            path, elapsed = self.record(f"voice{voice}.wav", voice, 2)
            header = wave_header(path)
            self.assertEqual((header["tag"], header["rate"]), (1, 8000))
            self.assertEqual(header["chunks"], [b"fmt ", b"fact"])
            self.assertEqual(header["data"] % 640, 0)
            self.assertAlmostEqual(header["data"] / 16000, elapsed, delta=0.8)
            info = subprocess.run(["soxi", "-s", path], check=True, capture_output=True, text=True).stdout
            self.assertEqual(int(info), header["data"] // 2, "sox reads the saved file")
            levels[voice] = self.levels(path)
        self.assertGreater(levels[0][OUR_TONE], 100 * levels[0][PEER_TONE], "own voice only")
        self.assertGreater(levels[1][PEER_TONE], 100 * levels[1][OUR_TONE], "remote voice only")
        self.assertGreater(min(levels[2].values()), max(levels[2].values()) / 10, "both voices")

        self.assertTrue(self.ua.call("StopRecording", 0))
        self.assertFalse(self.ua.call("IsRecording", 0))
        plain = wave_header(self.path("voice2.wav"))["data"]
        self.assertTrue(self.ua.call("SaveRecordingToWaveFile", 0, self.path("again.wav")))
        self.assertEqual(wave_header(self.path("again.wav"))["data"], plain, "stopped, the recording stays")

        # Turning compression on converts what is recorded, and recording goes on
        # until it is stopped again.
        gsm = self.path("gsm.wav")
        recorded_on = self.start_and_stop(compress=True)
        self.assertTrue(self.ua.call("SaveRecordingToWaveFile", 0, gsm))
        header = wave_header(gsm)
        self.assertEqual((header["tag"], header["align"]), (49, 65))
        self.assertEqual(header["data"] % 65, 0)
        converted = header["data"] // 65 * 640
        self.assertGreaterEqual(converted, plain, "converted in whole blocks")
        self.assertLessEqual(converted - plain, recorded_on * 16000 + 640)
        umask = os.umask(0)
        os.umask(umask)
        self.assertEqual(stat.S_IMODE(os.stat(gsm).st_mode), 0o666 & ~umask)
        back = self.path("gsm-by-sox.wav")
        subprocess.run(["sox", gsm, "-e", "signed-integer", "-b", "16", back], check=True)
        sox_levels = self.levels(back)
        self.assertGreater(min(sox_levels.values()), max(sox_levels.values()) / 10, "sox hears both tones")

        recorded_on = self.start_and_stop(compress=False)
        self.assertTrue(self.ua.call("SaveRecordingToWaveFile", 0, self.path("pcm-again.wav")))
        back_again = wave_header(self.path("pcm-again.wav"))["data"]
        self.assertEqual(back_again % 640, 0)
        self.assertGreaterEqual(back_again, converted, "back to PCM of the same length")
        self.assertLessEqual(back_again - converted, recorded_on * 16000 + 640)
        self.hang_up()

    def start_and_stop(self, compress):
        """Starts recording both voices and stops again at once; how long it recorded."""
        started = time.monotonic()
        self.assertTrue(self.ua.call("StartRecording", 0, 2, compress))
        self.assertTrue(self.ua.call("StopRecording", 0))
        return time.monotonic() - started


def tone_bursts(frequency, on, off, seconds, amplitude=6000):
    """A tone on for `on` seconds and off for `off`, over and over: voice-like enough
    that the noise suppressor lets it be."""
    samples = []
    while len(samples) < seconds * RATE:
        samples += tone(frequency, on, amplitude=amplitude) + [0] * int(off * RATE)
    return samples


def read_stereo(path):
    with wave.open(path, "rb") as handle:
        shape = (handle.getnchannels(), handle.getsampwidth(), handle.getframerate())
        data = handle.readframes(handle.getnframes())
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    return shape, list(samples[0::2]), list(samples[1::2])


def level_db(samples, frequency):
    return 10 * math.log10(goertzel_power(samples, frequency) + 1)


def envelope(samples, frequency, step=40):
    """The power of a frequency in 5 ms pieces."""
    return [goertzel_power(samples[at:at + step], frequency) for at in range(0, len(samples) - step, step)]


def lag_ms(later, earlier, step_ms=5, most_ms=200):
    """How many ms `later` runs behind `earlier`, by the best correlation of their envelopes."""
    mean_later, mean_earlier = sum(later) / len(later), sum(earlier) / len(earlier)
    reach = most_ms // step_ms

    def correlation(lag):
        return sum((later[at + lag] - mean_later) * (earlier[at] - mean_earlier)
                   for at in range(reach, len(earlier) - reach))
    return step_ms * max(range(-reach, reach + 1), key=correlation)


class StereoRecordingTest(unittest.TestCase):
    """Each side sends its own tone, in bursts: orvua 440 Hz from its microphone,
    baresip 1 kHz; the virtual speaker leaks into the microphone 30 ms later, 10 dB down."""

    OUR_TONE = 440
    PEER_TONE = 1000
    ECHO_DELAY_MS = 30

    def test_each_side_on_its_own_channel_aligned_and_no_stereo_gsm(self):
        directory = tempfile.mkdtemp(prefix="orvua-stereo-")
        peer_file, microphone = os.path.join(directory, "peer.wav"), os.path.join(directory, "mic.wav")
        write_wav(peer_file, tone_bursts(self.PEER_TONE, 0.25, 0.25, 60))
        write_wav(microphone, tone_bursts(self.OUR_TONE, 0.3, 0.2, 60))
        baresip = Baresip("<sip:2002@127.0.0.1>;regint=0;answermode=auto", audio_file=peer_file, codecs="PCMU")
        self.addCleanup(baresip.stop)
        ua = Orvua(env={"ORVSIP_AUDIO": "virtual", "ORVSIP_VIRTUAL_MIC": microphone, "TMPDIR": directory,
                        "ORVSIP_VIRTUAL_ECHO": f"{self.ECHO_DELAY_MS},10"})
        self.addCleanup(ua.quit)
        self.assertTrue(ua.initialize(free_udp_port(), proxy="", sound=True))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        ua.call("DeselectAllVoiceCodec")
        self.assertTrue(ua.call("SelectVoiceCodec", 3))
        self.assertTrue(ua.call("EnableEchoNoiseCancellation"))

        for channels in (0, 3, -1):
            self.assertFalse(ua.call("SetRecordingChannels", 0, channels), channels)
            self.assertEqual(ua.call("GetOrvObjectError"), 33)
        self.assertTrue(ua.call("SetRecordingChannels", 0, 2))
        self.assertFalse(ua.call("StartRecording", 0, 2, True), "GSM 06.10 has no stereo form")
        self.assertEqual(ua.call("GetOrvObjectError"), 33)
        self.assertFalse(ua.call("IsRecording", 0))

        self.assertTrue(ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{baresip.sip_port}", -1, -1))
        ua.wait_event("OnSuccessToConnect", timeout=15)
        ua.drain(3)  # the canceller learns the echo
        self.assertTrue(ua.call("StartRecording", 0, 2, False))
        ua.drain(5)
        cancelled = os.path.join(directory, "cancelled.wav")
        self.assertTrue(ua.call("SaveRecordingToWaveFile", 0, cancelled))
        # Without the canceller the echo stays: it tells where the left channel holds
        # what the speaker played, against where the right channel holds it.
        self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        self.assertTrue(ua.call("ResetRecording", 0))
        ua.drain(4)
        # Stopped, so that the mixed-down copy below holds exactly what this one does.
        self.assertTrue(ua.call("StopRecording", 0))
        echoed = os.path.join(directory, "echoed.wav")
        self.assertTrue(ua.call("SaveRecordingToWaveFile", 0, echoed))

        # Back to one channel: what was recorded is mixed down; compression is
        # refused for stereo again only while stereo.
        self.assertTrue(ua.call("SetRecordingChannels", 0, 1))
        mixed = os.path.join(directory, "mixed.wav")
        self.assertTrue(ua.call("SaveRecordingToWaveFile", 0, mixed))
        self.assertTrue(ua.call("StartRecording", 0, 2, True))
        self.assertFalse(ua.call("SetRecordingChannels", 0, 2), "no stereo while compressing")
        self.assertEqual(ua.call("GetOrvObjectError"), 33)
        self.assertTrue(ua.call("Disconnect", 0))
        self.assertEqual(ua.quit(), 0)

        shape, left, right = read_stereo(cancelled)
        self.assertEqual(shape, (2, 2, 8000), "16-bit PCM, 8 kHz, two channels")
        self.assertEqual(subprocess.run(["soxi", "-c", cancelled], check=True, capture_output=True,
                                        text=True).stdout.strip(), "2", "sox reads it")
        self.assertGreater(len(left), 4 * RATE)
        settled_left, settled_right = left[RATE:], right[RATE:]
        own = level_db(settled_left, self.OUR_TONE) - level_db(settled_left, self.PEER_TONE)
        peer = level_db(settled_right, self.PEER_TONE) - level_db(settled_right, self.OUR_TONE)
        self.assertGreaterEqual(own, 30, "this side's tone on the left, the echo cancelled")
        self.assertGreaterEqual(peer, 30, "the peer's tone on the right")

        _, left, right = read_stereo(echoed)
        self.assertLess(level_db(left, self.OUR_TONE) - level_db(left, self.PEER_TONE), 20, "the echo is there")
        lag = lag_ms(envelope(left, self.PEER_TONE), envelope(right, self.PEER_TONE))
        self.assertLessEqual(abs(lag - self.ECHO_DELAY_MS), 20,
                             f"the echo is {lag} ms behind what was heard, the air {self.ECHO_DELAY_MS} ms")

        with wave.open(mixed, "rb") as handle:
            self.assertEqual((handle.getnchannels(), handle.getnframes()), (1, len(left)))


class LongRecordingSaveTest(unittest.TestCase):
    """Saving a 10-minute recording during a call. Ten minutes of a call cannot be
    recorded faster than real time, so the test makes the line's temporary file that
    long itself (through /proc, as its owner) and then saves it."""

    MINUTES = 10

    def test_saving_stalls_no_rtp_packet(self):
        directory = tempfile.mkdtemp(prefix="orvua-long-")
        peer = SipPeer()
        self.addCleanup(peer.close)
        media = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(media.close)
        media.bind((LOOPBACK, 0))
        media.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        arrivals = ArrivalStamps(media)
        self.addCleanup(arrivals.stop)
        ua = Orvua(env={"TMPDIR": directory})
        self.addCleanup(ua.quit)
        self.assertTrue(ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{peer.port}"))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{peer.port}", -1, -1))
        invite = peer.expect("INVITE")
        peer.answer(invite, 200, "OK", body=sdp(media.getsockname()[1]))
        peer.expect("ACK")
        ua.wait_event("OnSuccessToConnect")
        self.assertTrue(ua.call("StartRecording", 0, 2, False))
        ua.drain(1)

        with open(temporary_file(ua, directory), "ab") as recording:
            second = struct.pack("<%dh" % RATE, *tone(440, 1))
            for _ in range(self.MINUTES * 60):
                recording.write(second)
        saved = os.path.join(directory, "long.wav")
        ua.drain(0.5)
        started = time.time()
        self.assertTrue(ua.call("SaveRecordingToWaveFile", 0, saved, timeout=60))
        took = time.time() - started
        ua.drain(0.5)
        self.assertTrue(ua.call("Disconnect", 0))
        stamps = arrivals.between(started - 0.5, started + took + 0.5)
        self.assertGreater(len(stamps), 40, "RTP flowed meanwhile")
        longest = max(b - a for a, b in zip(stamps, stamps[1:]))
        self.assertLessEqual(longest, 0.040, f"a gap of {longest * 1000:.0f} ms; the save took {took * 1000:.0f} ms")
        seconds = float(subprocess.run(["soxi", "-D", saved], check=True, capture_output=True, text=True).stdout)
        self.assertGreaterEqual(seconds, self.MINUTES * 60)
        self.assertEqual(ua.quit(), 0)


def temporary_file(ua, directory):
    """The path through /proc to the line's temporary recording file (its name is gone)."""
    descriptors = "/proc/%d/fd" % ua.process.pid
    found = [os.path.join(descriptors, fd) for fd in os.listdir(descriptors)
             if os.readlink(os.path.join(descriptors, fd)).startswith(os.path.join(directory, "Orv"))]
    assert len(found) == 1, found
    return found[0]


class ArrivalStamps:
    """The kernel's arrival times of the datagrams a socket receives (SO_TIMESTAMPNS),
    read on a thread of its own: the Python side's own delays do not count."""

    def __init__(self, sock):
        self.socket, self.stamps, self.stopped = sock, [], False
        sock.settimeout(0.1)
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        space = socket.CMSG_SPACE(16)
        while not self.stopped:
            try:
                _, ancillary, _, _ = self.socket.recvmsg(2048, space)
            except (TimeoutError, socket.timeout):
                continue
            except OSError:
                break
            for level, kind, data in ancillary:
                if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                    seconds, nanoseconds = struct.unpack("qq", data[:16])
                    self.stamps.append(seconds + nanoseconds / 1e9)

    def between(self, start, end):
        return [stamp for stamp in list(self.stamps) if start <= stamp <= end]

    def stop(self):
        self.stopped = True
        self.thread.join()


if __name__ == "__main__":
    unittest.main()
