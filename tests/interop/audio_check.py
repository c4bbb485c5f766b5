"""Measures on recorded audio: is it the expected tone, loud enough, without long gaps?"""
import math
import struct
import wave

RATE = 8000


def read_wav(path):
    """Samples of a 16-bit WAV file (first channel), and its rate."""
    with wave.open(path, "rb") as handle:
        channels, width, rate, frames = (handle.getnchannels(), handle.getsampwidth(), handle.getframerate(),
                                         handle.getnframes())
        data = handle.readframes(frames)
    if width != 2:
        raise ValueError(f"{path}: {width * 8}-bit samples")
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    return list(samples[::channels]), rate


def tone(frequency, seconds, amplitude=8000, rate=RATE):
    return [int(amplitude * math.sin(2 * math.pi * frequency * i / rate)) for i in range(int(seconds * rate))]


def goertzel_power(samples, frequency, rate=RATE):
    coefficient = 2 * math.cos(2 * math.pi * frequency / rate)
    previous = before = 0.0
    for sample in samples:
        previous, before = sample + coefficient * previous - before, previous
    return previous * previous + before * before - coefficient * previous * before


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


def frames(samples, rate, milliseconds=20):
    size = rate * milliseconds // 1000
    return [samples[at:at + size] for at in range(0, len(samples) - size + 1, size)]


def loud_span(samples, rate, threshold):
    """The samples from the first to the last 20 ms frame louder than threshold."""
    levels = [rms(frame) for frame in frames(samples, rate)]
    loud = [index for index, level in enumerate(levels) if level > threshold]
    if not loud:
        return []
    size = rate // 50
    return samples[loud[0] * size:(loud[-1] + 1) * size]


def longest_gap_ms(samples, rate, threshold):
    """The longest run of quiet 20 ms frames inside the loud span."""
    longest = run = 0
    for frame in frames(loud_span(samples, rate, threshold), rate):
        run = run + 1 if rms(frame) <= threshold else 0
        longest = max(longest, run)
    return longest * 20


def dominant_frequency(samples, rate, low=100, high=3800, step=10):
    window = samples[:rate // 2]
    return max(range(low, high, step), key=lambda f: goertzel_power(window, f, rate))


def tone_share(samples, frequency, rate):
    """The part of a window's energy that lies at `frequency` (1.0 for a pure tone)."""
    window = samples[:rate // 2]
    energy = sum(s * s for s in window) * len(window) / 2
    return goertzel_power(window, frequency, rate) / energy if energy else 0.0


def assert_tone(test, path, frequency, min_seconds=2.0):
    """The recording carries `frequency` clearly, for min_seconds, without long gaps."""
    samples, rate = read_wav(path)
    span = loud_span(samples, rate, threshold=300)
    test.assertGreaterEqual(len(span) / rate, min_seconds, f"{path}: only {len(span) / rate:.2f} s of sound")
    middle = span[len(span) // 4:]
    test.assertAlmostEqual(dominant_frequency(middle, rate), frequency, delta=20, msg=f"{path}: wrong tone")
    test.assertGreater(tone_share(middle, frequency, rate), 0.6, f"{path}: the tone is buried in noise")
    test.assertGreater(rms(middle), 1000, f"{path}: too quiet")
    test.assertLessEqual(longest_gap_ms(samples, rate, threshold=300), 200, f"{path}: audio has a long gap")
