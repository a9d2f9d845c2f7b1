"""The benchmark responses of tests/benchmarks, written as 16-bit files.

Decaying noise with a direct sound, from the same linear congruential
generator and envelopes as goals_bench.cpp (mono) and run_bench.cpp
(stereo), rounded to 16-bit samples.
"""

import numpy as np
import soundfile

_MASK = np.uint64(0xFFFFFFFF)


def _lcg_states(seed, count):
    """The generator's states after 1..count steps (state = state*a + c)."""
    a = np.full(count, 1664525, dtype=np.uint64)
    powers = np.cumprod(a) & _MASK  # a^n mod 2^32 (wrapping in 2^64 keeps it)
    sums = np.cumsum(np.concatenate(([1], powers[:-1])).astype(np.uint64))
    with np.errstate(over="ignore"):
        states = powers * np.uint64(seed) + sums * np.uint64(1013904223)
    return states & _MASK


def _noise(seed, frames, channels):
    states = _lcg_states(seed, frames * channels)
    return ((states >> np.uint64(8)) / 8388608.0 - 1.0).reshape(frames, channels)


def goals_mono(rate_hz=96000, seconds=9.8, seed=42):
    """goals_bench.cpp's Response: T = 1.2 s (-6.9 nepers), direct at 20 ms."""
    frames = int(rate_hz * seconds)
    envelope = 8000.0 * np.exp(-6.9 * np.arange(frames) / (1.2 * rate_hz))
    out = (envelope[:, None] * _noise(seed, frames, 1)).astype(np.float32)
    out[rate_hz // 50, 0] = 30000.0
    return out


def run_stereo(rate_hz=96000, seconds=10, seed=1234567):
    """run_bench.cpp's StereoResponse: T = 1.5 s, direct sound at frame 1000."""
    frames = rate_hz * seconds
    envelope = 10000.0 * 10.0 ** (-3.0 * np.arange(frames) / (1.5 * rate_hz))
    out = (envelope[:, None] * _noise(seed, frames, 2)).astype(np.float32)
    out[1000, :] = 30000.0
    return out


def write_16bit(path, samples, rate_hz, dither_seed=None):
    """Rounds to 16 bits, with seeded TPDF dither of +-1 LSB when asked.

    Plain rounding turns the decay into digital silence once it falls below
    half a step (after 1.7 s for the mono response); dither leaves a
    stationary noise floor there, as a measured 16-bit response has.
    """
    if dither_seed is not None:
        generator = np.random.default_rng(dither_seed)
        samples = samples + (generator.random(samples.shape)
                             - generator.random(samples.shape))
    pcm = np.clip(np.rint(samples), -32768, 32767).astype(np.int16)
    soundfile.write(path, pcm, rate_hz, subtype="PCM_16")
    return path
