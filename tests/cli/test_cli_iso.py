#!/usr/bin/env python3
"""End-to-end tests of the ISO 3382 evaluation in roomstat's json and csv:
the json validates against docs/roomstat-output.schema.json, synthetic
decays of known T give T20/T30 within 2 % (and invalid where the noise is too
close), --evaluation chooses the blocks, a synthetic omni + figure-of-eight
pair gives the hand-computed J_LF, a binaural pair gives IACC and hides the
plug-in's LF, and a selection much longer than the decay marks the plug-in's
fits that reach into the noise.

    test_cli_iso.py --roomstat BIN --examples DIR --source DIR

Needs numpy, soundfile and jsonschema (Debian: python3-numpy,
python3-soundfile, python3-jsonschema).
"""
import argparse
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

import jsonschema
import numpy as np
import soundfile as sf

ARGS = None
RATE = 44100  # the analysis rate: no resampling, so the band filters sit at their nominal centres
WORK = None


def run(*args, expect=0):
    proc = subprocess.run([ARGS.roomstat, "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\n%s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def run_json(*args):
    return json.loads(run("--format", "json", *args).stdout)


def run_csv(*args):
    return list(csv.DictReader(io.StringIO(run("--format", "csv", *args).stdout.decode(), newline="")))


def example(name):
    return os.path.join(ARGS.examples, name)


def decay(seconds, t60, noise_db=None, seed=1):
    """A tone at every octave centre (31.5 Hz to 8 kHz) under one exponential
    envelope of decay time t60 (60 dB in t60 seconds), after 10 ms of
    silence, plus stationary white noise noise_db below the envelope's start.
    Each band holds one exactly exponential decay, so its T is known without
    the fluctuation of a noise decay."""
    rng = np.random.default_rng(seed)
    n = int(seconds * RATE)
    t = np.arange(n) / RATE
    tones = sum(np.cos(2 * np.pi * f * t + rng.uniform(0, 2 * np.pi))
                for f in (31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000))
    x = np.concatenate([np.zeros(int(0.01 * RATE)), tones * 10 ** (-3 * t / t60)])
    x = x / np.max(np.abs(x))
    if noise_db is not None:
        x = x + rng.standard_normal(len(x)) * 10 ** (noise_db / 20)
    return 0.5 * x / np.max(np.abs(x))


def noise_decay(seconds, t60, seed=3):
    """White noise under an exponential envelope, after 10 ms of silence."""
    rng = np.random.default_rng(seed)
    n = int(seconds * RATE)
    x = rng.standard_normal(n) * 10 ** (-3 * (np.arange(n) / RATE) / t60)
    return 0.5 * np.concatenate([np.zeros(int(0.01 * RATE)), x]) / np.max(np.abs(x))


def write(name, samples):
    path = os.path.join(WORK, name)
    sf.write(path, samples.astype(np.float32), RATE, subtype="PCM_24")
    return path


def iso_bands(entry, channel=0):
    return {b["band"]: b for b in entry["channels"][channel]["iso"]["bands"]}


def plugin_bands(entry, channel=0):
    return {b["band"]: b for b in entry["channels"][channel]["bands"]}


class Schema(unittest.TestCase):
    def test_every_output_validates_against_the_schema(self):
        with open(os.path.join(ARGS.source, "docs", "roomstat-output.schema.json")) as f:
            schema = json.load(f)
        wy = write("pair_wy_schema.wav", wy_pair()[0])
        for args in (["--third-octave", example("living_room.wav")], ["--pair", "binaural", example("binaural_clap.wav")],
                     [example("binaural_clap.wav")], ["--pair", "wy", wy], ["--evaluation", "iso", wy],
                     ["--evaluation", "plugin", example("living_room.wav")], [os.path.join(WORK, "missing.wav")]):
            with self.subTest(args=args):
                proc = subprocess.run([ARGS.roomstat, "-q", "--format", "json", *args], stdout=subprocess.PIPE)
                document = json.loads(proc.stdout)
                jsonschema.validate(document, schema)
                self.assertEqual(document[0]["schemaVersion"], 2)


class Decays(unittest.TestCase):
    def test_known_decay_times_within_two_percent(self):
        # Every band of white noise under one envelope decays with the same T;
        # 2 %: the band filters' own ringing and the noise's randomness.
        for t60 in (0.5, 1.2):
            entry = run_json(write("decay_%g.wav" % t60, decay(3 * t60 + 0.5, t60, noise_db=-90)))[0]
            found = iso_bands(entry)
            for band in ("broadband", "250", "500", "1000", "2000", "4000"):
                for key in ("T20", "T30"):
                    with self.subTest(t60=t60, band=band, key=key):
                        cell = found[band][key]
                        self.assertTrue(cell["valid"], cell["reasons"])
                        self.assertEqual(cell["reasons"], [])
                        self.assertAlmostEqual(cell["value"] / t60, 1.0, delta=0.02)
                        if band != "broadband":  # no bandwidth, no uncertainty
                            self.assertGreater(cell["uncertaintySeconds"], 0.0)
            singles = entry["channels"][0]["iso"]["singleNumbers"]
            self.assertTrue(singles["T30mid"]["valid"])
            self.assertAlmostEqual(singles["T30mid"]["value"] / t60, 1.0, delta=0.02)

    def test_noise_too_close_makes_t30_invalid(self):
        # 30 dB below the start: no band has the 45 dB a T30 needs.
        entry = run_json(write("noisy.wav", decay(2.5, 0.8, noise_db=-30)))[0]
        for band in ("500", "1000", "2000"):
            cell = iso_bands(entry)[band]["T30"]
            with self.subTest(band=band):
                self.assertFalse(cell["valid"])
                self.assertIn("inr-too-low", cell["reasons"])
                self.assertLess(iso_bands(entry)[band]["inrDb"], 45.0)

    def test_evaluation_chooses_the_blocks(self):
        path = write("choose.wav", decay(1.5, 0.5, noise_db=-90))
        both, plugin, iso = (run_json("--evaluation", e, path)[0] for e in ("both", "plugin", "iso"))
        self.assertIn("bands", both["channels"][0])
        self.assertIn("iso", both["channels"][0])
        self.assertNotIn("iso", plugin["channels"][0])
        self.assertIn("interChannel", plugin)
        self.assertNotIn("bands", iso["channels"][0])
        for key in ("interChannel", "noiseCorrected", "report"):
            self.assertNotIn(key, iso)
        self.assertEqual([b["band"] for b in iso["channels"][0]["iso"]["bands"]], both["bands"])
        methods = {e: {r["method"] for r in run_csv("--evaluation", e, path)} for e in ("both", "plugin", "iso")}
        self.assertEqual(methods, {"both": {"plugin", "iso3382"}, "plugin": {"plugin"}, "iso": {"iso3382"}})

    def test_csv_iso_rows_carry_validity_and_single_numbers(self):
        rows = run_csv(write("csv.wav", decay(2.5, 0.8, noise_db=-30)))
        iso = {(r["band"], r["parameter"]): r for r in rows if r["method"] == "iso3382"}
        t30 = iso[("1000", "T30")]
        self.assertEqual((t30["valid"], t30["computed"]), ("no", "yes"))
        self.assertIn("inr-too-low", t30["reasons"].split(";"))
        self.assertEqual(set(p for b, p in iso if b == "single"), {"EDT", "T20mid", "T30mid", "C80", "D50", "Ts"})
        plugin = [r for r in rows if r["method"] == "plugin"]
        self.assertTrue(all(r["valid"] == r["computed"] for r in plugin))
        low = [r for r in plugin if r["warnings"]]
        self.assertTrue(low and all(r["warnings"] == "low-inr" and r["warning"] for r in low))


def wy_pair():
    """Direct sound in the omni (W) only, one lateral reflection 10 ms later
    in both; a decaying tail from 90 ms on, outside the 80 ms windows. J_LF
    and J_LFC are then the integrals by hand."""
    n = int(1.0 * RATE)
    start, delay = int(0.02 * RATE), int(0.01 * RATE)
    w, y = np.zeros(n), np.zeros(n)
    w[start], w[start + delay], y[start + delay] = 0.8, 0.32, 0.4
    tail = start + int(0.09 * RATE)
    rng = np.random.default_rng(7)
    t = np.arange(n - tail) / RATE
    w[tail:] += 0.02 * rng.standard_normal(n - tail) * 10 ** (-3 * t / 0.4)
    y[tail:] += 0.02 * rng.standard_normal(n - tail) * 10 ** (-3 * t / 0.4)
    jlf = 0.4 ** 2 / (0.8 ** 2 + 0.32 ** 2)
    jlfc = 0.4 * 0.32 / (0.8 ** 2 + 0.32 ** 2)
    return np.stack([w, y], axis=1), jlf, jlfc


class Pairs(unittest.TestCase):
    def test_wy_pair_gives_the_hand_computed_jlf(self):
        samples, jlf, jlfc = wy_pair()
        entry = run_json("--pair", "wy", write("pair_wy.wav", samples))[0]
        pair = entry["pairIso"]
        self.assertEqual(pair["pair"], "wy")
        broadband = {b["band"]: b for b in pair["bands"]}["broadband"]
        self.assertNotIn("IACC_E", broadband)
        # 1 %: the broadband signal is the file's own, so only rounding to 24 bits remains.
        self.assertTrue(broadband["JLF"]["valid"], broadband["JLF"]["reasons"])
        self.assertAlmostEqual(broadband["JLF"]["value"] / jlf, 1.0, delta=0.01)
        self.assertAlmostEqual(broadband["JLFC"]["value"] / jlfc, 1.0, delta=0.01)
        self.assertEqual(set(pair["singleNumbers"]), {"JLF", "JLFC"})
        # The plug-in's IACC rows do not fit an omni + figure-of-eight pair; its LF stays.
        for band in entry["interChannel"]:
            for key in ("IACC", "W IACC", "Tau IACC"):
                self.assertEqual(band[key]["reason"], "not-meaningful-for-wy-pair")
        self.assertTrue(entry["interChannel"][0]["LF"]["computed"])

    def test_binaural_pair_gives_iacc_and_hides_lf(self):
        path = example("binaural_clap.wav")
        entry = run_json("--pair", "binaural", path)[0]
        pair = entry["pairIso"]
        self.assertEqual(pair["pair"], "binaural")
        found = {b["band"]: b for b in pair["bands"]}
        for band in ("500", "1000", "2000"):
            for key in ("IACC_E", "IACC_L", "IACC_A"):
                cell = found[band][key]
                self.assertTrue(cell["valid"], (band, key, cell["reasons"]))
                self.assertTrue(0.0 <= cell["value"] <= 1.0)
            self.assertNotIn("JLF", found[band])
        self.assertEqual(set(pair["singleNumbers"]), {"oneMinusIACC_E3"})
        self.assertTrue(all(b["LF"]["reason"] == "not-meaningful-for-binaural-pair" for b in entry["interChannel"]))
        rows = run_csv("--pair", "binaural", path)
        lf = [r for r in rows if r["method"] == "plugin" and r["parameter"] == "LF"]
        self.assertTrue(lf and all(r["reason"] == "not-meaningful-for-binaural-pair" and not r["value"] for r in lf))
        iacc = [r for r in rows if r["method"] == "iso3382" and r["channel"] == "pair"]
        self.assertEqual({r["parameter"] for r in iacc}, {"IACC_E", "IACC_L", "IACC_A", "oneMinusIACC_E3"})
        # The clipboard report keeps the plug-in's LF row.
        self.assertIn("LF", run("--format", "report", "--pair", "binaural", path).stdout.decode("latin-1"))

    def test_undeclared_pair_is_null_with_its_reason(self):
        entry = run_json(example("binaural_clap.wav"))[0]
        self.assertIsNone(entry["pairIso"])
        self.assertEqual(entry["pairIsoReason"], "pair-not-declared")
        self.assertNotIn("pairIso", run_json(example("living_room.wav"))[0])


class LongSelection(unittest.TestCase):
    def test_decay_followed_by_a_minute_of_noise(self):
        # A 0.8 s decay, then 60 s of noise 70 dB below its start.
        rng = np.random.default_rng(3)
        head = noise_decay(0.8, 0.8)
        noise = rng.standard_normal(60 * RATE) * 0.5 * 10 ** (-70 / 20)
        samples = np.concatenate([head, noise])
        samples[: len(head)] += noise[: len(head)]
        path = write("long_tail.wav", samples)
        proc = run("--format", "json", path)
        entry = json.loads(proc.stdout)[0]
        iso = iso_bands(entry)["1000"]["T30"]
        # 10 %: the bound; the decay has 70 dB of range and the ISO
        # evaluation truncates where it meets the noise.
        self.assertAlmostEqual(iso["value"] / 0.8, 1.0, delta=0.1)
        self.assertEqual(plugin_bands(entry)["1000"]["RT30"]["reason"], "fit-ends-in-noise")
        self.assertIsNone(plugin_bands(entry)["1000"]["RT30"]["value"])
        self.assertEqual(proc.stderr.decode().count("much longer than the decay"), 1)


def main():
    global ARGS, WORK
    parser = argparse.ArgumentParser()
    for option in ("--roomstat", "--examples", "--source"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    with tempfile.TemporaryDirectory(prefix="roomstat-iso-") as work:
        WORK = work
        program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
