#!/usr/bin/env python3
"""End-to-end tests of --average and --compare on synthetic responses whose
answer is known: exponentially decaying noise with a chosen decay time at
four positions, one of them with a noise floor too high for T30. The means
hold the values without warnings (n of N), flagged values come back with
--average-include-flagged, squared correlations are never averaged, and a
comparison stars only differences between clean values above one
just-noticeable difference (IACC for a binaural pair, D50 in percentage
points), naming both files in every format.

    test_cli_average.py --roomstat BIN
"""
import argparse
import array
import csv
import io
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import unittest
import wave

ARGS = None
WORK = None
RATE = 44100
# Decay times of the four positions; the last lies in noise 44 dB down:
# its impulse-to-noise ratio (about 42 dB at 1 kHz) is below the 45 dB a
# T30 needs, and its T30 comes out far too long, flagged.
DECAYS = (0.9, 1.0, 1.1, 1.2)
NOISY = 3


def decay(seconds, noise_db, rng, delay=0.05, length=2.5):
    """Gaussian noise decaying by 60 dB in `seconds`, starting after `delay`,
    over a steady noise floor `noise_db` below the decay's start."""
    floor = 10 ** (noise_db / 20)
    rate = 3 * math.log(10) / seconds  # amplitude decay per second for 60 dB
    out = []
    for i in range(int(length * RATE)):
        t = i / RATE - delay
        x = rng.gauss(0, 1) * (math.exp(-rate * t) if t >= 0 else 0.0) + floor * rng.gauss(0, 1)
        out.append(x)
    return out


def write_wav(name, channels):
    path = os.path.join(WORK, name)
    peak = max(abs(x) for ch in channels for x in ch)
    samples = array.array("h", (int(round(24000 * ch[i] / peak)) for i in range(len(channels[0])) for ch in channels))
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())
    return path


def run(*args, expect=0):
    proc = subprocess.run([ARGS.roomstat, "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\n%s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc.stdout.decode()


def run_json(*args, expect=0):
    return json.loads(run("--format", "json", *args, expect=expect))


def run_csv(*args, expect=0):
    return list(csv.DictReader(io.StringIO(run("--format", "csv", *args, expect=expect), newline="")))


def positions():
    rng = random.Random(3382)
    return [write_wav("position%d.wav" % i, [decay(t, -44.0 if i == NOISY else -80.0, rng)])
            for i, t in enumerate(DECAYS)]


def band_of(entry, band, channel=0):
    return next(b for b in entry["channels"][channel]["bands"] if b["band"] == band)


class Average(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = positions()
        cls.doc = run_json("--average", *cls.files)
        cls.group = cls.doc["average"]["groups"][0]

    def test_means_hold_the_values_without_warnings(self):
        self.assertEqual(self.group["channel"], "mono")
        checked = 0
        for k, band in enumerate(self.group["bands"]):
            for name in ("EDT", "RT20", "RT30", "C50", "C80", "D50", "TS"):
                cells = [f["channels"][0]["bands"][k][name] for f in self.doc["files"]]
                clean = [c["value"] for c in cells if c["computed"] and "warning" not in c]
                mean = band[name]
                # The 16 kHz octave has no decay values in any file: no position.
                positions = sum(1 for c in cells if c.get("reason") != "not-computed-in-this-mode")
                self.assertIn(positions, (0, 4))
                self.assertEqual((mean["count"], mean["positions"]), (len(clean), positions), (band["band"], name))
                self.assertEqual(mean["flagged"], sum(1 for c in cells if c["computed"] and "warning" in c))
                if clean:
                    self.assertAlmostEqual(mean["mean"], sum(clean) / len(clean), delta=1e-6 * abs(mean["mean"]))
                    checked += 1
        self.assertGreater(checked, 40)

    def test_noisy_position_is_left_out_of_t30_and_kept_on_request(self):
        # 1 kHz: the three clean decays give T30 near their mean (0.9, 1.0,
        # 1.1 s: 1.0 s; 5 % for the randomness of a noise decay), 3 of 4.
        t30 = next(b for b in self.group["bands"] if b["band"] == "1000")["RT30"]
        self.assertEqual((t30["count"], t30["positions"], t30["flagged"]), (3, 4, 1))
        self.assertAlmostEqual(t30["mean"], 1.0, delta=0.05)
        self.assertFalse(t30["fewerThanHalf"])
        [left] = t30["leftOut"]
        self.assertEqual((left["file"], left["flagged"]), (self.files[NOISY], True))
        self.assertIn("impulse-to-noise", left["sentence"])
        kept = run_json("--average", "--average-include-flagged", *self.files)["average"]
        t30 = next(b for b in kept["groups"][0]["bands"] if b["band"] == "1000")["RT30"]
        values = [band_of(f, "1000")["RT30"]["value"] for f in self.doc["files"]]
        self.assertEqual((t30["count"], t30["positions"]), (4, 4))
        self.assertAlmostEqual(t30["mean"], sum(values) / 4, delta=1e-6)
        self.assertTrue(kept["includeFlagged"])

    def test_squared_correlations_are_never_averaged(self):
        for band in self.group["bands"]:
            self.assertFalse([k for k in band if k.startswith("r ")])
        rows = run_csv("--average", *self.files)
        self.assertFalse([r for r in rows if r["parameter"].startswith("r ")])

    def test_iso_values_have_their_own_rows(self):
        iso = next(b for b in self.group["iso3382"] if b["band"] == "1000")
        self.assertEqual(iso["T30"]["positions"], 4)
        self.assertLessEqual(iso["T30"]["count"], 3)  # the noisy position's T30 is not valid
        self.assertAlmostEqual(iso["T30"]["mean"], 1.0, delta=0.05)
        rows = run_csv("--average", *self.files)
        self.assertEqual({r["evaluation"] for r in rows}, {"plugin", "ISO 3382"})
        self.assertIn("AVERAGE ISO 3382 - mono", run("--format", "table", "--average", *self.files))

    def test_few_positions_and_failed_files_are_named(self):
        # A clean position, the flagged one, one whose T30 cannot be fitted
        # (noise 30 dB down) and a file that is not audio: 1 of 4.
        noisy = [self.files[NOISY], write_wav("noisy.wav", [decay(1.0, -30.0, random.Random(7))])]
        broken = os.path.join(WORK, "broken.wav")
        with open(broken, "wb") as f:
            f.write(b"not audio")
        files = [self.files[0], *noisy, broken]
        doc = run_json("--average", *files, expect=2)["average"]
        t30 = next(b for b in doc["groups"][0]["bands"] if b["band"] == "1000")["RT30"]
        self.assertEqual((t30["count"], t30["positions"], t30["fewerThanHalf"]), (1, 4, True))
        self.assertEqual([f["file"] for f in doc["leftOutFiles"]], [broken])
        rows = run_csv("--average", *files, expect=2)
        row = next(r for r in rows if (r["evaluation"], r["band"], r["parameter"]) == ("plugin", "1000", "RT30"))
        self.assertEqual((row["count"], row["positions"], row["fewer_than_half"]), ("1", "4", "yes"))
        for name in (*noisy, broken):
            self.assertIn(name, row["left_out"])
        self.assertIn("unreadable", row["left_out"])
        self.assertIn("flagged low-impulse-to-noise", row["left_out"])
        self.assertIn("\u2020", run("--format", "table", "--average", *files, expect=2))


class Compare(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = positions()

    def test_stars_only_clean_differences_above_one_jnd(self):
        a, b = self.files[0], self.files[NOISY]  # 0.9 s against 1.2 s, a T30 in noise
        doc = run_json("--compare", a, b)
        comparison = doc["comparison"]
        self.assertEqual((comparison["a"], comparison["b"]), (a, b))
        bands = {band["band"]: band for band in comparison["channels"][0]["bands"]}
        edt = bands["1000"]["EDT"]
        self.assertGreater(edt["difference"], 5.0)
        self.assertEqual((edt["unit"], edt["aboveJnd"], edt["flagged"]), ("%", True, False))
        t30 = bands["1000"]["RT30"]
        self.assertGreater(t30["difference"], 20.0)
        self.assertEqual((t30["flagged"], t30["aboveJnd"]), (True, None))
        for name in ("31.5", "63"):
            for cell in bands[name].values():
                if isinstance(cell, dict):
                    self.assertIsNone(cell["aboveJnd"])
        self.assertEqual(bands["1000"]["D50"]["unit"], "pp")
        self.assertFalse([k for k in bands["1000"] if k.startswith("r ")])
        rows = run_csv("--compare", a, b)
        self.assertTrue(rows)
        self.assertTrue(all((r["file_a"], r["file_b"]) == (a, b) for r in rows))
        d50 = [r for r in rows if r["parameter"] == "D50"]
        self.assertTrue(d50 and all(r["difference_unit"] == "pp" for r in d50))
        table = run("--format", "table", "--compare", a, b)
        self.assertIn("D50 [pp]", table)
        self.assertIn("A " + a + ", B " + b, table)

    def test_iacc_is_starred_for_a_binaural_pair_and_lf_is_not(self):
        rng = random.Random(11)
        same = decay(1.0, -80.0, rng)
        coherent = write_wav("coherent.wav", [same, same])
        apart = write_wav("apart.wav", [decay(1.0, -80.0, rng), decay(1.0, -80.0, rng)])
        doc = run_json("--pair", "binaural", "--compare", coherent, apart)["comparison"]
        self.assertEqual(doc["pair"], "binaural")
        pair = next(c for c in doc["channels"] if c["channel"] == "pair")
        starred = [band["band"] for band in pair["bands"] if band["IACC"]["aboveJnd"]]
        self.assertTrue(starred)
        for band in pair["bands"]:
            self.assertIsNone(band["LF"]["aboveJnd"])
            self.assertIsNone(band["LF"]["difference"])
            if band["IACC"]["difference"] is not None:
                self.assertEqual(band["IACC"]["jnd"], 0.075)
        # As an omni + figure-of-eight pair: LF has the JND, IACC no meaning.
        doc = run_json("--pair", "wy", "--compare", coherent, apart)["comparison"]
        pair = next(c for c in doc["channels"] if c["channel"] == "pair")
        for band in pair["bands"]:
            self.assertIsNone(band["IACC"]["difference"])
            if band["LF"]["difference"] is not None:
                self.assertEqual(band["LF"]["jnd"], 0.05)


def main():
    global ARGS, WORK
    parser = argparse.ArgumentParser()
    parser.add_argument("--roomstat", required=True)
    ARGS, rest = parser.parse_known_args()
    with tempfile.TemporaryDirectory() as work:
        WORK = work
        result = unittest.main(argv=[sys.argv[0], *rest], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
