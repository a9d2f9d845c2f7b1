#!/usr/bin/env python3
"""End-to-end tests of what makes roomstat's results trustworthy at every
rate: a response resampled to other rates gives the same band values, decays
written at several rates land in their own band columns, selections without
a response are refused with their documented codes, and a failed file stays
visible in every format.

    test_cli_trust.py --roomstat BIN --fixtures DIR --examples DIR --source DIR
"""
import argparse
import csv
import io
import json
import os
import subprocess
import sys
import unittest

ARGS = None
RATES = (48000, 96000, 192000)
# Decay time of each octave-band noise in bands_RATE.wav (make_trust_fixtures.cpp).
BAND_DECAYS = {"125": 0.6, "250": 0.75, "500": 0.9, "1000": 1.1, "2000": 1.3, "4000": 1.6}


def run(*args, expect=0):
    proc = subprocess.run([ARGS.roomstat, "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\n%s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def run_json(*args, expect=0):
    return json.loads(run("--format", "json", *args, expect=expect).stdout)


def run_csv(*args, expect=0):
    return list(csv.DictReader(io.StringIO(run("--format", "csv", *args, expect=expect).stdout.decode(), newline="")))


def fixture(name):
    return os.path.join(ARGS.fixtures, name)


def bands(entry, channel=0):
    return {b["band"]: b for b in entry["channels"][channel]["bands"]}


class Rates(unittest.TestCase):
    def test_resampled_copies_give_the_same_band_values(self):
        original = run_json(os.path.join(ARGS.examples, "binaural_clap.wav"))[0]
        self.assertIsNone(original["resampledFrom"])
        for rate in RATES:
            entry = run_json(fixture("clap_%d.wav" % rate))[0]
            self.assertEqual((entry["resampledFrom"], entry["analysis"]["sampleRate"]), (rate, 44100))
            for channel in (0, 1):
                for name, a in bands(original, channel).items():
                    b = bands(entry, channel)[name]
                    self.assertEqual(b["centreHz"], a["centreHz"])
                    for key, tolerance in (("C50", 0.1), ("C80", 0.1), ("EDT", 0.02), ("RT20", 0.02), ("RT30", 0.02)):
                        with self.subTest(rate=rate, channel=channel, band=name, parameter=key):
                            self.assertEqual(b[key]["computed"], a[key]["computed"])
                            if not a[key]["computed"]:
                                continue
                            if key.startswith("C"):  # dB
                                self.assertAlmostEqual(b[key]["value"], a[key]["value"], delta=tolerance)
                            else:
                                self.assertAlmostEqual(b[key]["value"] / a[key]["value"], 1.0, delta=tolerance)
            # Times stay in the file's own time base.
            self.assertAlmostEqual(entry["channels"][0]["firstArrival"]["seconds"],
                                   original["channels"][0]["firstArrival"]["seconds"], delta=1e-4)
        table = run("--format", "table", fixture("clap_96000.wav")).stdout.decode()
        self.assertIn("Resampled from 96000 Hz to 44100 Hz", table)

    def test_band_decays_land_in_their_own_columns(self):
        for rate in (44100,) + RATES:
            found = bands(run_json(fixture("bands_%d.wav" % rate))[0])
            for name, decay in BAND_DECAYS.items():
                with self.subTest(rate=rate, band=name):
                    self.assertAlmostEqual(found[name]["RT20"]["value"] / decay, 1.0, delta=0.06)
                    self.assertAlmostEqual(found[name]["RT30"]["value"] / decay, 1.0, delta=0.08)
        # Kept at 96 kHz, every filter sits 2.18 times higher: the "1000"
        # column holds the 2 kHz band's decay, and says where it lies.
        proc = run("--format", "json", "--native-rate", fixture("bands_96000.wav"))
        native = bands(json.loads(proc.stdout)[0])
        self.assertAlmostEqual(native["1000"]["centreHz"], 1000 * 96000 / 44100, places=6)
        self.assertIsNone(native["1000"]["nominal"])
        self.assertAlmostEqual(native["1000"]["RT20"]["value"] / BAND_DECAYS["2000"], 1.0, delta=0.06)
        self.assertIn(b"--native-rate", proc.stderr)

    def test_bands_above_the_file_bandwidth_are_not_values(self):
        entry = run_json(fixture("clap_16000.wav"))[0]
        found = bands(entry)
        self.assertTrue(found["4000"]["RT20"]["computed"])
        self.assertEqual(found["8000"]["RT20"]["reason"], "above-bandwidth")
        self.assertEqual(entry["interChannel"][9]["LF"]["reason"], "above-bandwidth")


class Refusals(unittest.TestCase):
    def test_selections_without_a_response_are_refused_in_every_format(self):
        for name, reason in (("silent.wav", "silent"), ("thirteen.wav", "too-short"), ("noise.wav", "no-decay")):
            with self.subTest(file=name):
                proc = run("--format", "json", fixture(name), expect=5)
                entry = json.loads(proc.stdout)[0]
                self.assertEqual((entry["status"], entry["exitCode"], entry["reason"]), ("refused", 5, reason))
                self.assertIn(entry["error"], proc.stderr.decode())
                rows = run_csv(fixture(name), expect=5)
                self.assertEqual([(r["status"], r["exit_code"], r["reason"]) for r in rows], [("refused", "5", reason)])
                self.assertIn("no results: " + entry["error"], run("--format", "table", fixture(name), expect=5).stdout.decode())

    def test_a_quiet_float_file_is_scaled_like_a_loud_one(self):
        quiet, loud = run_json(fixture("quiet_float.wav"), fixture("loud_float.wav"))
        self.assertTrue(quiet["scaling"]["scaled"])
        self.assertGreater(quiet["scaling"]["factor"], 1)
        # The 145 ms of silence stay before the first arrival.
        self.assertAlmostEqual(quiet["channels"][0]["firstArrival"]["seconds"], 0.145, delta=0.001)
        # Scaled samples round differently in single precision: equal to 5 digits.
        for name, band in bands(loud).items():
            for key in ("C50", "C80", "D50", "RT20"):
                a, b = bands(quiet)[name][key]["value"], band[key]["value"]
                self.assertEqual(a is None, b is None, (name, key))
                if a is not None:
                    self.assertAlmostEqual(a, b, delta=1e-5 * abs(b), msg=(name, key))

    def test_a_failed_file_in_a_batch_is_visible_in_every_format(self):
        missing, good = fixture("missing.wav"), fixture("clap_48000.wav")
        proc = run("--format", "json", missing, good, expect=2)
        first, second = json.loads(proc.stdout)
        self.assertEqual((first["status"], first["exitCode"]), ("unreadable", 2))
        self.assertEqual(second["status"], "ok")
        rows = run_csv(missing, good, expect=2)
        self.assertEqual([(r["status"], r["exit_code"], r["computed"]) for r in rows if r["file"] == missing],
                         [("unreadable", "2", "no")])
        self.assertIn("cannot read", [r for r in rows if r["file"] == missing][0]["message"])
        self.assertIn("== %s ==\nno results: cannot read" % missing,
                      run("--format", "table", missing, good, expect=2).stdout.decode())
        # A threshold no sample reaches: the message box verbatim in json,
        # and on stderr followed by what to try.
        proc = run("--format", "json", "--threshold", "32767", good, expect=3)
        self.assertEqual(json.loads(proc.stdout)[0]["messages"][0]["text"].split("\n")[0],
                         "Can not calculate First Arrival Time.")
        self.assertIn("give a lower --threshold", proc.stderr.decode())


class Facts(unittest.TestCase):
    def test_json_keys_are_documented_in_the_schema(self):
        with open(os.path.join(ARGS.source, "docs", "roomstat-output.schema.json")) as f:
            schema = json.load(f)
        file_schema, band_schema = schema["items"], schema["$defs"]["band"]
        entries = run_json(fixture("clap_48000.wav"), fixture("silent.wav"), expect=5)
        for entry in entries:
            self.assertEqual(entry["schemaVersion"], file_schema["properties"]["schemaVersion"]["const"])
            self.assertLessEqual(set(entry), set(file_schema["properties"]), entry["file"])
            self.assertLessEqual(set(file_schema["required"]), set(entry))
        for band in entries[0]["channels"][0]["bands"]:
            self.assertLessEqual(set(band), set(band_schema["properties"]))

    def test_values_name_their_iso_quantity_and_flag_a_low_impulse_to_noise_ratio(self):
        entry = run_json(os.path.join(ARGS.examples, "binaural_clap.wav"))[0]
        found = bands(entry)
        self.assertEqual((found["1000"]["RT20"]["isoName"], found["1000"]["r RT20"]["isoName"]), ("T20", "r2 T20"))
        rows = [r for r in run_csv(os.path.join(ARGS.examples, "binaural_clap.wav"))
                if r["channel"] == "left" and r["parameter"] in ("RT20", "RT30")]
        for r in rows:
            band = found[r["band"]]
            needed = 35 if r["parameter"] == "RT20" else 45
            with self.subTest(band=r["band"], parameter=r["parameter"]):
                low = r["computed"] == "yes" and float(r["inr_db"]) < needed
                self.assertEqual(bool(r["warning"]), low)
                self.assertEqual("warning" in band[r["parameter"]], low)
        # The 250 Hz band of the clap is too noisy for RT20: kept, flagged.
        self.assertTrue(found["250"]["RT20"]["computed"])
        self.assertIn("warning", found["250"]["RT20"])
        # The table marks the cell itself and explains it in a numbered note.
        table = run("--format", "table", os.path.join(ARGS.examples, "binaural_clap.wav")).stdout.decode()
        self.assertRegex(table, r"(?m)^T20 \(s\) .*  [0-9.]+!(\d+)  ")
        self.assertRegex(table, r"(?m)^  \[\d+\] ! T20, r\u00b2 T20 250 Hz: impulse-to-noise ratio [0-9.]+ dB, below "
                                r"the 35 dB this decay range needs$")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--roomstat", "--fixtures", "--examples", "--source"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
