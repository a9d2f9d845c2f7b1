#!/usr/bin/env python3
"""End-to-end tests of the roomstat command-line host: the real binary runs on
the fixture files (see make_fixtures.cpp) and its output is parsed with real
parsers (json, csv): report, json, csv and table agree, and a value that is not
a result reads as missing, with its reason, in every one of them. The report and
table outputs of the bundled examples are compared with reviewed golden files in
tests/golden/; ROOMSTAT_BLESS=1 rewrites them and the git diff is the review.

    test_cli.py --roomstat BIN --fixtures DIR --examples DIR
"""
import argparse
import csv
import io
import json
import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest

ARGS = None
PARAMS = ["C50", "C80", "D50", "TS", "EDT", "RT20", "r RT20", "RT30", "r RT30", "RTU", "r RTU"]
PAIR_KEYS = ("LF", "IACC", "W IACC", "Tau IACC")

# Lossless copies of a 16-bit original hold the same samples in the 16-bit
# scale, so the plug-in computes the same floats: exact equality.
LOSSLESS_MONO = ["mono_pcm24.wav", "mono_pcm32.wav", "mono_float.wav", "mono_double.wav",
                 "mono_ext_pcm24.wav", "mono_pcm16.aiff", "mono_pcm24.aiff", "mono_pcm16.flac",
                 "mono_pcm24.flac", "mono_float.w64", "mono_pcm24.rf64"]
# 8-bit and mu-law copies of the synthetic decay lose the low bits: the noise
# floor rises to about -45 dB below the peak, which shifts the energy sums by
# a few hundredths of a dB and the late fits by up to about 2 per cent.
LOSSY_TOLERANCE = {"C50": 0.1, "C80": 0.1, "D50": 0.5, "TS": 0.5, "EDT": 0.01, "RT20": 0.03,
                   "RT30": 0.03}  # dB, dB, %, ms, s, s, s


GOLDEN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "golden")


def run(*args, expect=0, cwd=None):
    proc = subprocess.run([ARGS.roomstat, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=cwd)
    if proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\nstderr: %s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def run_json(*args, expect=0):
    return json.loads(run("--format", "json", "-q", *args, expect=expect).stdout)


def fixture(name):
    return os.path.join(ARGS.fixtures, name)


def example(name):
    return os.path.join(ARGS.examples, name)


def golden_output(test, name, *args):
    """Runs roomstat on bundled examples named as from the repository root
    (examples/...), and compares its standard output with tests/golden/NAME."""
    examples = os.path.basename(ARGS.examples)
    output = run(*[a.replace("examples/", examples + "/") for a in args], cwd=os.path.dirname(ARGS.examples)).stdout
    path = os.path.join(GOLDEN, name)
    if os.environ.get("ROOMSTAT_BLESS") == "1":
        with open(path, "wb") as f:
            f.write(output)
        return
    with open(path, "rb") as f:
        test.assertEqual(output.decode("latin-1"), f.read().decode("latin-1"), "golden " + name)


def values(entry):
    """{(channel, band, parameter): (value, computed)}, with the inter-channel rows as channel "pair"."""
    table = {(ch["channel"], b["band"], name): (b[name]["value"], b[name]["computed"])
             for ch in entry["channels"] for b in ch["bands"] for name in PARAMS}
    table.update({("pair", b["band"], key): (b[key]["value"], b[key]["computed"])
                  for b in entry["interChannel"] for key in PAIR_KEYS})
    return table


def lin(entry):
    return entry["channels"][0]["bands"][0]


class Formats(unittest.TestCase):
    """Every container and sample format gives the numbers of the 16-bit original."""

    def test_lossless_copies_give_identical_results(self):
        entries = run_json("-j", "2", *[fixture(f) for f in ["mono_pcm16.wav"] + LOSSLESS_MONO])
        stereo = run_json(fixture("stereo_pcm16.wav"), fixture("stereo_float.wav"), fixture("stereo_pcm24.flac"))
        self.assertEqual(entries[0]["audio"]["bitsOffered"], 16)
        for reference, copies in ((entries[0], entries[1:]), (stereo[0], stereo[1:])):
            for entry in copies:
                with self.subTest(file=entry["file"]):
                    self.assertEqual(entry["status"], "ok")
                    self.assertEqual(entry["audio"]["bitsOffered"], 16 if "pcm16" in entry["file"] else 32)
                    self.assertEqual(entry["settings"]["wThreshold"], reference["settings"]["wThreshold"])
                    self.assertEqual(values(entry), values(reference))
                    self.assertEqual(entry["report"], reference["report"])
        # A binaural pair: LF, IACC and its times are computed for Lin.
        self.assertTrue(stereo[0]["interChannel"][0]["IACC"]["computed"])
        self.assertTrue(stereo[0]["interChannel"][0]["LF"]["computed"])

    def test_decay_copies_agree_within_quantisation_and_scaling(self):
        normal, loud, pcm16, u8, ulaw = run_json(*[fixture("decay%s.wav" % s)
                                                   for s in ("", "_loud", "_pcm16", "_u8", "_ulaw")])
        for entry, bits in ((u8, 8), (ulaw, 32)):
            with self.subTest(file=entry["file"]):
                self.assertEqual(entry["audio"]["bitsOffered"], bits)
                for param, tolerance in LOSSY_TOLERANCE.items():
                    self.assertTrue(lin(entry)[param]["computed"], param)
                    self.assertAlmostEqual(lin(entry)[param]["value"], lin(pcm16)[param]["value"], delta=tolerance,
                                           msg=param)
        # A float file louder than full scale is scaled to the 16-bit scale;
        # ratios and slopes: a common factor changes nothing beyond rounding.
        self.assertFalse(normal["scaling"]["scaled"])
        self.assertTrue(loud["scaling"]["scaled"])
        self.assertAlmostEqual(loud["peaks"][0] * loud["scaling"]["factor"], 32767.0, places=6)
        for name in ("C50", "C80", "D50", "TS", "EDT", "RT20", "RT30"):
            expected = lin(normal)[name]["value"]
            self.assertAlmostEqual(lin(loud)[name]["value"], expected, delta=1e-3 * max(1.0, abs(expected)),
                                   msg=name)


class Outputs(unittest.TestCase):
    """Report, csv, table and json tell the same numbers."""

    @classmethod
    def setUpClass(cls):
        cls.files = [example("living_room.wav"), example("binaural_clap.wav")]
        cls.json = run_json(*cls.files)

    def test_reports_are_the_copied_text_byte_for_byte(self):
        # Report output: per file a "File\t..." heading line, an empty line, then the clipboard text.
        sections = run("--format", "report", "-q", *self.files).stdout.decode("ascii").split("File\t")[1:]
        self.assertEqual(len(sections), 2)
        for section, entry in zip(sections, self.json):
            self.assertEqual(section.partition("\r\n\r\n")[2], entry["report"], entry["file"])
        golden_output(self, "cli_examples.report", "--format", "report", "-q", "examples/living_room.wav",
                      "examples/binaural_clap.wav")
        golden_output(self, "cli_binaural_clap_third.report", "--format", "report", "-q", "--third-octave",
                      "examples/binaural_clap.wav")
        third = run_json("--third-octave", example("binaural_clap.wav"))[0]
        self.assertEqual(len(third["bands"]), 28)
        # Only LF of the wide band is computed between the channels.
        self.assertEqual([(b["band"], k) for b in third["interChannel"] for k in PAIR_KEYS if b[k]["computed"]],
                         [("broadband", "LF")])

    def test_csv_parses_back_to_the_json_values(self):
        data = run("--format", "csv", "-q", *self.files).stdout.decode()
        self.assertIn("\r\n", data)
        rows = [r for r in csv.DictReader(io.StringIO(data, newline="")) if r["parameter"] != "NC" and r["method"] == "plugin"]
        for entry in self.json:
            table, mine = values(entry), [r for r in rows if r["file"] == entry["file"]]
            self.assertEqual(len(mine), len(entry["channels"]) * 11 * 11 + (44 if len(entry["channels"]) == 2 else 0))
            for r in mine:
                value, computed = table[(r["channel"], r["band"], r["parameter"])]
                # A value that is not a result is empty in csv and null in json, with a reason.
                self.assertEqual(float(r["value"]) if r["value"] else None, value, r)
                self.assertEqual(r["computed"] == "yes", computed, r)
                self.assertEqual(r["reason"] == "", computed, r)
                self.assertEqual(float(r["w_threshold"]), entry["settings"]["wThreshold"])

    def test_awkward_file_names_survive_json_and_csv(self):
        with tempfile.TemporaryDirectory() as tmp:
            name = os.path.join(tmp, 'räum, "A".wav')
            with open(example("living_room.wav"), "rb") as src, open(name, "wb") as dst:
                dst.write(src.read())
            self.assertEqual(run_json(name)[0]["file"], name)
            rows = csv.DictReader(io.StringIO(run("--format", "csv", "-q", name).stdout.decode(), newline=""))
            self.assertEqual({r["file"] for r in rows}, {name})

    def test_table_shows_the_dialog_cells(self):
        golden_output(self, "cli_binaural_clap.table", "--format", "table", "-q", "examples/binaural_clap.wav")
        golden_output(self, "cli_living_room_third.table", "--format", "table", "-q", "--third-octave",
                      "examples/living_room.wav")

    def test_a_silent_start_of_w_reads_as_missing_everywhere(self):
        # W silent for the first 100 ms with threshold 0: W's first arrival is
        # sample 0, its 80 ms window holds no energy, and LF is not finite.
        # The dialog and the report show it missing; so must every format.
        import wave
        rate, lead = 44100, 4410
        decay = [int(20000 * math.exp(-i / 2000.0) * (1 if i % 2 else -1)) for i in range(22050)]
        w = [0] * lead + decay
        y = decay + [0] * lead
        with tempfile.TemporaryDirectory() as tmp:
            name = os.path.join(tmp, "w_silent.wav")
            with wave.open(name, "wb") as out:
                out.setnchannels(2)
                out.setsampwidth(2)
                out.setframerate(rate)
                out.writeframes(b"".join(struct.pack("<hh", a, b) for a, b in zip(w, y)))
            entry = run_json("--threshold", "0", name)[0]
            lf = entry["interChannel"][0]["LF"]
            self.assertEqual(lf, {"value": None, "computed": False, "reason": "zero-denominator"})
            rows = csv.DictReader(io.StringIO(run("--format", "csv", "-q", "--threshold", "0", name).stdout.decode(),
                                              newline=""))
            lin_lf = [r for r in rows if r["channel"] == "pair" and r["band"] == "broadband" and r["parameter"] == "LF"]
            self.assertEqual([(r["value"], r["computed"], r["reason"]) for r in lin_lf], [("", "no", "zero-denominator")])
            table = run("--format", "table", "-q", "--threshold", "0", name).stdout.decode()
            lf_rows = [line.split() for line in table.splitlines() if line.startswith("LF ")]
            # One LF row, between the channels, its broadband cell missing.
            self.assertEqual([row[1] + " " + row[2] for row in lf_rows], ["- -"])
            self.assertIn("zero-denominator: LF broadband", table.replace("LF Lin", "LF broadband"))
            self.assertNotIn("INF", table)
            report = entry["report"]
            self.assertTrue(report.split("\r\nLF\t")[1].startswith("--\t"))

    def test_parallel_batch_keeps_input_order_and_results(self):
        files = self.files * 2
        one = run("--format", "json", "-q", "-j", "1", *files).stdout
        self.assertEqual(one, run("--format", "json", "-q", "-j", "2", *files).stdout)
        self.assertEqual([e["file"] for e in json.loads(one)], files)


class Settings(unittest.TestCase):
    """Options go through the settings dialog, which clamps them."""

    def test_dialog_clamps_what_is_typed_and_saves_the_block(self):
        cases = [  # options, expected (rtuStartDb, rtuEndDb, wThreshold, yThreshold, lock, exit code)
            (["--rtu", "5,-20"], (0.0, -20.0, None, None, True, 0)),
            (["--rtu", "-10,-10"], (-10.0, -11.0, None, None, True, 0)),
            (["--rtu", "-150,-30"], (-100.0, -101.0, None, None, True, 0)),
            (["--threshold", "32767"], (-5.0, -15.0, 32767.0, 32767.0, True, 3)),  # beyond every peak
            (["--threshold", "123", "--y-threshold", "0"], (-5.0, -15.0, 123.0, 0.0, False, 0)),
            (["--threshold", "10000"], (-5.0, -15.0, 10000.0, 10000.0, True, 0)),
        ]
        with tempfile.TemporaryDirectory() as tmp:
            saved = os.path.join(tmp, "s.bin")
            for options, (start, end, w, y, lock, code) in cases:
                with self.subTest(options=options):
                    s = run_json("--save-settings", saved, *options, example("binaural_clap.wav"),
                                 expect=code)[0]["settings"]
                    self.assertEqual((s["rtuStartDb"], s["rtuEndDb"], s["thresholdLock"]), (start, end, lock))
                    if w is not None:
                        self.assertEqual((s["wThreshold"], s["yThreshold"], s["arrivalThreshold"]), (w, y, int(w)))
                    with open(saved, "rb") as f:
                        block = f.read()
                    self.assertEqual(len(block), 586)
                    self.assertEqual(struct.unpack_from("<ffh", block, 0),
                                     (s["rtuStartDb"], s["rtuEndDb"], s["arrivalThreshold"]))
                    self.assertEqual(struct.unpack_from("<ffB", block, 557),
                                     (s["wThreshold"], s["yThreshold"], int(lock)))

    def test_auto_threshold_is_20_db_below_the_weaker_peak(self):
        s = run_json(example("binaural_clap.wav"))[0]
        self.assertEqual(s["settings"]["thresholdSource"], "auto")
        self.assertEqual(s["settings"]["wThreshold"], math.floor(min(s["peaks"]) / 10))
        self.assertEqual(s["settings"]["yThreshold"], s["settings"]["wThreshold"])

    def test_saved_settings_round_trip(self):
        with tempfile.TemporaryDirectory() as tmp:
            first, second = os.path.join(tmp, "a.bin"), os.path.join(tmp, "b.bin")
            a = run_json("--save-settings", first, "--rtu", "-10,-40", "--threshold", "800", "--boost", "6",
                         "--no-noise-correction", "--third-octave", example("binaural_clap.wav"))[0]
            b = run_json("--settings", first, "--save-settings", second, example("binaural_clap.wav"))[0]
            self.assertEqual(b["settings"]["thresholdSource"], "settings file")
            for key in ("rtuStartDb", "rtuEndDb", "wThreshold", "yThreshold", "boostDb", "noiseCorrection",
                        "thirdOctave", "thresholdLock", "arrivalThreshold"):
                self.assertEqual(a["settings"][key], b["settings"][key], key)
            self.assertEqual((a["settings"]["boostDb"], a["settings"]["noiseCorrection"]), (6.0, False))
            self.assertEqual(a["report"], b["report"])
            self.assertIn("RTU = RT User (-10. dB, -40. dB)", a["report"])
            # The user's fields (offsets 0..12 and 557..574) are the same bytes.
            with open(first, "rb") as fa, open(second, "rb") as fb:
                block_a, block_b = fa.read(), fb.read()
            self.assertEqual((block_a[:13], block_a[557:574]), (block_b[:13], block_b[557:574]))

    def test_analytic_decay(self):
        # Exponentially decaying noise whose energy falls 60 dB in T = 1 s:
        # energy ~ exp(-a t) with a = 6 ln(10) / T, so C50 = 10 lg(exp(0.05 a) - 1),
        # C80 likewise, D50 = 1 - exp(-0.05 a) and TS = 1 / a.
        a = 6 * math.log(10) / 1.0
        # The noise is random: its decay curve wobbles by a few per cent of
        # the energy early on and its fitted slopes by about 1 per cent.
        expected = {"C50": (10 * math.log10(math.exp(0.05 * a) - 1), 0.2),
                    "C80": (10 * math.log10(math.exp(0.08 * a) - 1), 0.2),
                    "D50": (100 * (1 - math.exp(-0.05 * a)), 1.0), "TS": (1000 / a, 1.5),
                    "EDT": (1.0, 0.03), "RT20": (1.0, 0.03), "RT30": (1.0, 0.03), "RTU": (1.0, 0.03)}
        band = lin(run_json(fixture("decay.wav"))[0])
        for name, (value, tolerance) in expected.items():
            self.assertTrue(band[name]["computed"], name)
            self.assertAlmostEqual(band[name]["value"], value, delta=tolerance, msg=name)
        self.assertGreater(band["r RT30"]["value"], 0.99)

    def test_selection_and_channel_options(self):
        by_time = run_json("--start", "0.1", "--end", "0.5", example("living_room.wav"))[0]
        by_frames = run_json("--frames", "4410:22049", example("living_room.wav"))[0]
        self.assertEqual((by_time["selection"]["firstFrame"], by_time["selection"]["lastFrame"]), (4410, 22049))
        self.assertEqual(values(by_time), values(by_frames))
        original = run_json(example("binaural_clap.wav"))[0]
        swapped = run_json("--channels", "2,1", example("binaural_clap.wav"))[0]
        picked = run_json("--channels", "1,3", fixture("three_channels.wav"))[0]
        self.assertEqual(picked["audio"]["channelsUsed"], [1, 3])
        self.assertEqual(values(picked), values(original))
        # Same threshold (the weaker peak is the same): the right channel's
        # own analysis becomes the left one's.
        self.assertEqual(swapped["channels"][0]["bands"], original["channels"][1]["bands"])


class Errors(unittest.TestCase):
    """Clear messages and distinct exit codes; a failing file never stops a batch."""

    def test_unusable_files(self):
        with tempfile.TemporaryDirectory() as tmp:
            text, empty = os.path.join(tmp, "notes.wav"), os.path.join(tmp, "empty.wav")
            with open(text, "w") as f:
                f.write("this is not audio\n" * 20)
            open(empty, "wb").close()
            for args, reason in [([os.path.join(tmp, "missing.wav")], "cannot read"), ([text], "cannot read"),
                                 ([empty], "cannot read"), ([fixture("zero_frames.wav")], "no sample frames"),
                                 ([fixture("three_channels.wav")], "--channels"),
                                 ([fixture("nan.wav")], "not a finite number"),
                                 ([fixture("inf.wav")], "not a finite number"),
                                 (["--frames", "0:99999999", example("living_room.wav")], "past the end"),
                                 (["--start", "5", example("living_room.wav")], "past the end"),
                                 (["--channels", "3", example("binaural_clap.wav")], "no channel 3")]:
                with self.subTest(args=args):
                    proc = run("-q", "--format", "json", *args, expect=2)
                    self.assertIn(reason, proc.stderr.decode())
                    self.assertEqual(json.loads(proc.stdout)[0]["status"], "unreadable")

    def test_usage_errors(self):
        for args in (["--rtu", "abc", "x.wav"], ["--threshold", "loud", "x.wav"], ["--format", "xml", "x.wav"],
                     ["--bogus", "x.wav"], [], ["--frames", "9:1", "x.wav"], ["--end", "1", "--start", "2", "x.wav"]):
            with self.subTest(args=args):
                self.assertIn("roomstat:", run(*args, expect=1).stderr.decode())

    def test_threshold_no_sample_reaches(self):
        # 8-bit samples lie within -128..127, so the plug-in's own default of
        # 10000 is never reached; in a batch the quiet file fails alone.
        for threshold, files in (("10000", ["mono_u8.wav"]), ("2000", ["decay_quiet.wav", "decay.wav"])):
            with self.subTest(files=files):
                proc = run("-q", "--format", "json", "--threshold", threshold, *map(fixture, files), expect=3)
                entries = json.loads(proc.stdout)
                self.assertEqual(entries[0]["status"], "no results")
                self.assertEqual(len(entries[0]["messages"]), 1)
                message = entries[0]["messages"][0]
                shown = (message["caption"] + ": " if message["caption"] else "") + message["text"]
                self.assertIn(shown, proc.stderr.decode())
                for entry in entries[1:]:
                    self.assertEqual(entry["status"], "ok")
                    self.assertTrue(lin(entry)["RT30"]["computed"])

    def test_help_and_version(self):
        self.assertIn(b"--threshold", run("--help").stdout)
        self.assertTrue(run("--version").stdout.startswith(b"roomstat "))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--roomstat", "--fixtures", "--examples"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    for key in ("roomstat", "fixtures", "examples"):
        setattr(ARGS, key, os.path.abspath(getattr(ARGS, key)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
