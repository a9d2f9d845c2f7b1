#!/usr/bin/env python3
"""End-to-end tests of the terminal table (--format table): the ISO 3382
block beside the plug-in's, flagged cells carrying their mark and a numbered
note, plain decimals, no rows or columns that can only be empty, the
evaluation and pair choices, implementation notes only with --verbose.

    test_cli_table.py --roomstat BIN --fixtures DIR --examples DIR
"""
import argparse
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

ARGS = None
ISO_ROWS = ["EDT (s)", "T20 (s)", "T30 (s)", "C50 (dB)", "C80 (dB)", "D50 (%)", "Ts (ms)", "INR (dB)",
            "truncation (s)", "curvature (%)", "T20 uncertainty (\u00b1s)", "T30 uncertainty (\u00b1s)"]


def table(*args):
    proc = subprocess.run([ARGS.roomstat, "--format", "table", "-q", *args], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise AssertionError("roomstat %s: exit %d\n%s" % (" ".join(args), proc.returncode, proc.stderr.decode()))
    return proc.stdout.decode("utf-8")


def example(name):
    return os.path.join(ARGS.examples, name)


def block(text, title):
    """The lines of the block whose title starts with `title`, up to the next empty line."""
    lines = text.split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith(title))
    end = next((i for i in range(start, len(lines)) if not lines[i]), len(lines))
    return lines[start:end]


def cells(lines):
    """{row label: {band: cell}} of a block printed with the bands across."""
    header_at = next(i for i, line in enumerate(lines) if line.startswith(" "))
    bands = lines[header_at].split()
    out = {}
    for line in lines[header_at + 1:]:
        if line.startswith("  "):
            break  # the notes
        # Labels hold single spaces, cells are two or more spaces apart.
        parts = re.split(r"\s{2,}", line.strip())
        out[parts[0]] = dict(zip(bands, parts[1:]))
    return out


def notes(lines):
    """{number: (symbol, text)} of a block's numbered notes."""
    found = {}
    for line in lines:
        m = re.match(r"  \[(\d+)\] ([*!]) (.*)$", line)
        if m:
            found[int(m.group(1))] = (m.group(2), m.group(3))
    return found


def stereo_wav(path, left, right, rate=44100):
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(b"".join(struct.pack("<hh", a, b) for a, b in zip(left, right)))


class IsoBlock(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.clap = table(example("seminar_room_clap.wav"))

    def test_the_iso_block_follows_the_plugin_block_labelled(self):
        self.assertLess(self.clap.index("PLUG-IN EVALUATION, octave bands"), self.clap.index("ISO 3382, octave bands"))
        iso = block(self.clap, "ISO 3382, octave bands")
        self.assertRegex(iso[1], r"^Single numbers \(500 Hz and 1000 Hz\): EDT [0-9.]+ s, T20,mid .*, T30,mid .*, "
                                 r"C80 .* dB, D50 .* %, Ts .* ms$")
        self.assertEqual(list(cells(iso)), ISO_ROWS)
        # The plug-in's rows carry ISO names, r² written as such.
        self.assertEqual([label for label in cells(block(self.clap, "PLUG-IN EVALUATION"))][5:9],
                         ["T20 (s)", "r\u00b2 T20", "T30 (s)", "r\u00b2 T30"])

    def test_a_flagged_value_carries_its_mark_and_numbered_note(self):
        # The clap's 500 Hz T30: the plug-in's 1.60 s with an impulse-to-noise
        # ratio of 39.9 dB, below the 45 dB its range needs (a warning, '!');
        # the ISO value invalid for the same reason ('*').
        plugin, iso = block(self.clap, "PLUG-IN EVALUATION"), block(self.clap, "ISO 3382, octave bands")
        for lines, symbol, words in ((plugin, "!", "impulse-to-noise ratio 39.9 dB, below the 45 dB"),
                                     (iso, "*", "inr-too-low")):
            with self.subTest(symbol=symbol):
                cell = cells(lines)["T30 (s)"]["500"]
                m = re.fullmatch(r"([0-9.]+)([*!])(\d+)", cell)
                self.assertIsNotNone(m, cell)
                self.assertEqual(m.group(2), symbol)
                mark, text = notes(lines)[int(m.group(3))]
                self.assertEqual(mark, symbol)
                self.assertRegex(text, r"T30\b.* 500\b.*Hz: .*" + re.escape(words))
        self.assertEqual(cells(plugin)["T30 (s)"]["500"].split("!")[0], "1.60")
        # The sentence of every code used is given once, after the blocks.
        self.assertIn("\ninr-too-low: ", self.clap)
        # A valid, unwarned value is a bare number.
        self.assertRegex(cells(iso)["T30 (s)"]["1000"], r"^[0-9.]+$")

    def test_numbers_are_plain_decimals(self):
        for args in ((), ("--third-octave",), ("--pair", "binaural"), ("--pair", "wy", "--third-octave")):
            with self.subTest(args=args):
                text = table(*args, example("binaural_clap.wav"), example("living_room.wav"))
                for pattern in (r"\d[eE][-+]?\d", r"\d\.(?=[\s,)]|$)"):  # "-4.369e-002", "3276." or "-5."
                    found = re.search(pattern, text, re.M)
                    self.assertIsNone(found, found and text[found.start() - 40:found.end() + 40])

    def test_a_mono_table_has_no_pair_rows_and_no_empty_16k_column(self):
        text = table(example("living_room.wav"))
        for name in ("LF", "IACC", "W IACC", "Tau IACC", "between the channels", "16k", "16000"):
            self.assertNotRegex(text, r"(?m)^%s\b|\s%s\s" % (re.escape(name), re.escape(name)))
        stereo = table(example("binaural_clap.wav"))
        self.assertIn("PLUG-IN EVALUATION, between the channels", stereo)
        self.assertIn("16000", block(stereo, "PLUG-IN EVALUATION, between the channels")[1])

    def test_evaluation_chooses_the_blocks(self):
        self.assertNotIn("ISO 3382", table("--evaluation", "plugin", example("living_room.wav")))
        iso = table("--evaluation", "iso", example("living_room.wav"))
        self.assertNotIn("PLUG-IN", iso)
        self.assertNotIn("RTU", iso)
        self.assertIn("ISO 3382, octave bands", iso)
        both = table(example("living_room.wav"))
        self.assertIn("PLUG-IN", both)
        self.assertIn("ISO 3382", both)


class Pairs(unittest.TestCase):
    def test_a_declared_pair_gets_its_spatial_block_and_words(self):
        binaural = table("--pair", "binaural", example("binaural_clap.wav"))
        self.assertIn("First-arrival thresholds: left ear ", binaural)
        self.assertIn("ISO 3382, octave bands, right ear", binaural)
        spatial = block(binaural, "ISO 3382 spatial, binaural pair")
        self.assertRegex(spatial[1], r"^1 - IACC_E3 \(500 Hz to 2000 Hz\): [0-9.]+")
        rows = cells(spatial)
        self.assertEqual(list(rows), ["IACC_E", "IACC_L", "IACC_A"])
        self.assertEqual(list(rows["IACC_E"])[:3], ["broadband", "31.5", "63"])  # the bands' order
        for value in rows["IACC_A"].values():
            self.assertTrue(0.0 <= float(value.rstrip("*!0123456789") or value) <= 1.0, value)
        wy = table("--pair", "wy", example("binaural_clap.wav"))
        self.assertIn("First-arrival thresholds: omni (W) ", wy)
        self.assertIn("figure-of-eight (Y)", wy)
        self.assertEqual(list(cells(block(wy, "ISO 3382 spatial, omni + figure-of-eight pair"))), ["J_LF", "J_LFC"])
        self.assertRegex(wy, r"Mean over 125 Hz to 1000 Hz: J_LF [0-9.]+")
        self.assertNotIn("ISO 3382 spatial", table(example("binaural_clap.wav")))

    def test_tau_iacc_of_a_frontal_source_reads_zero(self):
        # Both ears receive the same decay: the correlation peaks at lag 0.
        decay = [int(20000 * math.exp(-i / 3000.0) * math.sin(i * 0.7 + (i * i) % 7)) for i in range(22050)]
        lead = [0] * 441
        with tempfile.TemporaryDirectory() as tmp:
            name = os.path.join(tmp, "frontal.wav")
            stereo_wav(name, lead + decay, lead + decay)
            rows = cells(block(table(name), "PLUG-IN EVALUATION, between the channels"))
        self.assertEqual(rows["Tau IACC (ms)"]["broadband"], "0")
        self.assertEqual(rows["IACC"]["broadband"], "1.000")


class Notes(unittest.TestCase):
    def test_float_scaling_only_with_verbose(self):
        loud = os.path.join(ARGS.fixtures, "decay_loud.wav")
        self.assertNotIn("scaled by", table(loud))
        self.assertIn("Float samples above the 16-bit scale, scaled by ", table("--verbose", loud))
        self.assertIn("Float samples above the 16-bit scale, scaled by ", table("-v", loud))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--roomstat", "--fixtures", "--examples"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
