#!/usr/bin/env python3
"""End-to-end tests of the roomstat command-line host.

Runs the real binary on the fixture files (see make_fixtures.cpp) and parses
its output with real parsers (json, csv). The report is checked against a
report rebuilt here from the json values with an independent implementation
of the number-text rule, so the report, the json and the csv must agree.

    test_cli.py --roomstat BIN --fixtures DIR --examples DIR
"""
import argparse
import csv
import decimal
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
REPORT_LABELS = ["C50[dB]", "C80[dB]", "D50 [%]", "TS [ms]", "EDT [s]", "RT20[s]", "r RT20", "RT30[s]",
                 "r RT30", "RTU [s]", "r RTU"]
OCTAVE_COLUMNS = ["Lin", "31.5", "63", "125", "250", "500", "1K", "2K", "4K", "8K", "16K"]
THIRD_COLUMNS = ["Lin"] + ["%s(%d)" % (o, t) for o in
                           ["31.5", "63", "125", "250", "500", "1K", "2K", "4K", "8K"] for t in (1, 2, 3)]

# Lossless copies of a 16-bit original hold the same samples in the 16-bit
# scale, so the plug-in computes the same floats: exact equality.
LOSSLESS_MONO = ["mono_pcm24.wav", "mono_pcm32.wav", "mono_float.wav", "mono_double.wav",
                 "mono_ext_pcm24.wav", "mono_pcm16.aiff", "mono_pcm24.aiff", "mono_pcm16.flac",
                 "mono_pcm24.flac", "mono_float.w64", "mono_pcm24.rf64"]
# 8-bit and mu-law copies of the synthetic decay lose the low bits: the noise
# floor rises to about -45 dB below the peak, which shifts the energy sums by
# a few hundredths of a dB and the late fits by up to about 2 per cent.
LOSSY_DECAY = {"decay_u8.wav": 8, "decay_ulaw.wav": 32}
LOSSY_TOLERANCE = {"C50": 0.1, "C80": 0.1, "D50": 0.5, "TS": 0.5, "EDT": 0.01, "RT20": 0.03,
                   "RT30": 0.03}  # dB, dB, %, ms, s, s, s


def run(*args, expect=None):
    proc = subprocess.run([ARGS.roomstat, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if expect is not None and proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\nstderr: %s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def fixture(name):
    return os.path.join(ARGS.fixtures, name)


def example(name):
    return os.path.join(ARGS.examples, name)


def run_json(*args, expect=0):
    return json.loads(run("--format", "json", "-q", *args, expect=expect).stdout)


def f32(value):
    """The float32 that the %.9g text stands for."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def gcvt(value, digits):
    """Number text with `digits` significant digits: fixed notation when the
    decimal exponent e of the exact value lies in -1..digits-1, else d.ddde+XXX;
    trailing fraction zeros removed, the point kept."""
    d = decimal.Decimal(value)
    sign = "-" if d.is_signed() and d != 0 else ""
    d = abs(d)
    e = 0 if d == 0 else d.adjusted()
    ctx = decimal.Context(prec=60, rounding=decimal.ROUND_HALF_UP)
    if -1 <= e <= digits - 1:
        places = digits - 1 - e
        text = str(d.quantize(decimal.Decimal(1).scaleb(-places), context=ctx))
        if places == 0:
            return sign + text
        text = text.rstrip("0")
        return sign + text
    mantissa = (d.scaleb(-e)).quantize(decimal.Decimal(1).scaleb(-(digits - 1)), context=ctx)
    if mantissa >= 10:
        mantissa = (mantissa / 10).quantize(decimal.Decimal(1).scaleb(-(digits - 1)), context=ctx)
        e += 1
    text = str(mantissa).rstrip("0")
    return "%s%se%s%03d" % (sign, text, "+" if e >= 0 else "-", abs(e))


def report_from_json(entry):
    """The clipboard report of one run, rebuilt from the json values."""
    third = entry["settings"]["thirdOctave"]
    channels = entry["channels"]
    nc_on = entry["settings"]["noiseCorrection"]
    columns = THIRD_COLUMNS if third else OCTAVE_COLUMNS
    n = len(columns)
    out = "OCTAVE BAND ACOUSTICAL PARAMETERS\r\n\r\n"
    for c, channel in enumerate(channels):
        if len(channels) == 2:
            out += ("Left Channel" if c == 0 else "Right Channel") + "\r\n"
        if third:
            out += "Band\t" + "".join(col + "\t" for col in columns) + "\r\n"
        else:
            out += "Band" + "".join("\t" + col for col in columns) + "\r\n"
        out += "Parameters\r\n"
        for k, name in enumerate(PARAMS):
            cells = []
            for b in range(n):
                p = channel["bands"][b][name]
                cells.append(gcvt(f32(p["value"]), 4) if p["computed"] else "--")
            out += REPORT_LABELS[k] + ("\t" + "".join(x + "\t" for x in cells) if third
                                       else "".join("\t" + x for x in cells)) + "\r\n"
        pairs = [("IACC", "IACC"), ("Wiacc", "W IACC"), ("Tau_iacc", "Tau IACC")]
        if not third:
            pairs.insert(0, ("LF", "LF"))
        for label, key in pairs:
            cells = []
            for b in range(n):
                v = entry["interChannel"][b][key]["value"]
                cells.append("--" if v == 0 else gcvt(v, 4))
            out += label + "\t" + "".join(x + "\t" for x in cells) + "\r\n"
        if third:
            out += "\r\n"
        cells = [("--" if not nc_on else ("yes" if entry["noiseCorrected"][b] else "no")) for b in range(n)]
        out += "NC:\t" + "".join(x + "\t" for x in cells) + "\r\n"
        out += "\r\nRTU = RT User (%s dB, %s dB)\r\n\r\n" % (
            gcvt(f32(entry["settings"]["rtuStartDb"]), 4), gcvt(f32(entry["settings"]["rtuEndDb"]), 4))
    return out


def split_reports(data):
    """Report output: per file one heading line, an empty line, then the
    clipboard text. Returns [(heading, text)]."""
    text = data.decode("ascii")
    parts = text.split("File\t")
    sections = []
    for part in parts[1:]:
        heading, _, body = part.partition("\r\n\r\n")
        sections.append(("File\t" + heading, body))
    return sections


def values(entry):
    """{(channel, band, parameter): (value, computed)} and the inter-channel rows."""
    table = {}
    for channel in entry["channels"]:
        for band in channel["bands"]:
            for name in PARAMS:
                table[(channel["channel"], band["band"], name)] = (band[name]["value"], band[name]["computed"])
    for band in entry["interChannel"]:
        for key in ("LF", "IACC", "W IACC", "Tau IACC"):
            table[("pair", band["band"], key)] = (band[key]["value"], band[key]["computed"])
    return table


class Formats(unittest.TestCase):
    """Every container and sample format gives the numbers of the 16-bit original."""

    def test_lossless_copies_give_identical_results(self):
        files = [fixture("mono_pcm16.wav")] + [fixture(f) for f in LOSSLESS_MONO]
        entries = run_json("-j", "2", *files)
        reference = entries[0]
        self.assertEqual(reference["audio"]["bitsOffered"], 16)
        for entry in entries[1:]:
            with self.subTest(file=entry["file"]):
                self.assertEqual(entry["status"], "ok")
                self.assertEqual(entry["audio"]["bitsOffered"], 16 if "pcm16" in entry["file"] else 32)
                self.assertEqual(entry["settings"]["wThreshold"], reference["settings"]["wThreshold"])
                self.assertEqual(values(entry), values(reference))
                self.assertEqual(entry["report"], reference["report"])

    def test_stereo_copies_give_identical_results(self):
        entries = run_json(fixture("stereo_pcm16.wav"), fixture("stereo_float.wav"), fixture("stereo_pcm24.flac"))
        for entry in entries[1:]:
            with self.subTest(file=entry["file"]):
                self.assertEqual(values(entry), values(entries[0]))
        # A binaural pair: LF, IACC and its times are computed for Lin.
        self.assertTrue(entries[0]["interChannel"][0]["IACC"]["computed"])
        self.assertTrue(entries[0]["interChannel"][0]["LF"]["computed"])

    def test_lossy_copies_agree_within_quantisation(self):
        reference = run_json(fixture("decay_pcm16.wav"))[0]
        for name, bits in LOSSY_DECAY.items():
            with self.subTest(file=name):
                entry = run_json(fixture(name))[0]
                self.assertEqual(entry["audio"]["bitsOffered"], bits)
                lin = entry["channels"][0]["bands"][0]
                ref = reference["channels"][0]["bands"][0]
                for param, tolerance in LOSSY_TOLERANCE.items():
                    self.assertTrue(lin[param]["computed"], param)
                    self.assertAlmostEqual(lin[param]["value"], ref[param]["value"], delta=tolerance, msg=param)

    def test_eight_bit_default_threshold_is_unreachable(self):
        # 8-bit samples lie within -128..127: the plug-in's own default of
        # 10000 is never reached, and the plug-in says so.
        proc = run("-q", "--format", "json", "--threshold", "10000", fixture("mono_u8.wav"), expect=3)
        entry = json.loads(proc.stdout)[0]
        self.assertEqual(entry["status"], "no results")
        self.assertEqual(len(entry["messages"]), 1)
        self.assertIn(entry["messages"][0]["text"].splitlines()[0], proc.stderr.decode())

    def test_loud_float_file_is_scaled_to_the_16_bit_scale(self):
        normal, loud = run_json(fixture("decay.wav"), fixture("decay_loud.wav"))
        self.assertFalse(normal["scaling"]["scaled"])
        self.assertTrue(loud["scaling"]["scaled"])
        self.assertAlmostEqual(loud["peaks"][0] * loud["scaling"]["factor"], 32767.0, places=6)
        # Ratios and slopes: a common factor changes nothing beyond rounding.
        lin_n, lin_l = normal["channels"][0]["bands"][0], loud["channels"][0]["bands"][0]
        for name in ("C50", "C80", "D50", "TS", "EDT", "RT20", "RT30"):
            self.assertAlmostEqual(lin_l[name]["value"], lin_n[name]["value"],
                                   delta=1e-3 * max(1.0, abs(lin_n[name]["value"])), msg=name)


class Outputs(unittest.TestCase):
    """Report, csv, table and json tell the same numbers."""

    @classmethod
    def setUpClass(cls):
        cls.files = [example("living_room.wav"), example("binaural_clap.wav")]
        cls.json = run_json(*cls.files)
        cls.third = run_json("--third-octave", example("binaural_clap.wav"))[0]

    def test_report_is_the_copied_text_byte_for_byte(self):
        data = run("--format", "report", "-q", *self.files, expect=0).stdout
        sections = split_reports(data)
        self.assertEqual(len(sections), 2)
        for (heading, body), entry in zip(sections, self.json):
            with self.subTest(file=entry["file"]):
                self.assertEqual(body, entry["report"])
                self.assertEqual(body, report_from_json(entry))
                self.assertIn(gcvt(f32(entry["settings"]["wThreshold"]), 5), heading)

    def test_third_octave_report_matches_the_store(self):
        self.assertEqual(len(self.third["bands"]), 28)
        self.assertEqual(self.third["report"], report_from_json(self.third))
        # Only LF of the wide band is computed between the channels.
        computed = [(b["band"], k) for b in self.third["interChannel"] for k in ("LF", "IACC", "W IACC", "Tau IACC")
                    if b[k]["computed"]]
        self.assertEqual(computed, [("Lin", "LF")])

    def test_csv_parses_back_to_the_json_values(self):
        data = run("--format", "csv", "-q", *self.files, expect=0).stdout.decode()
        self.assertIn("\r\n", data)
        rows = list(csv.DictReader(io.StringIO(data, newline="")))
        by_file = {}
        for row in rows:
            by_file.setdefault(row["file"], []).append(row)
        for entry in self.json:
            table = values(entry)
            rows = by_file[entry["file"]]
            parameter_rows = [r for r in rows if r["parameter"] != "NC"]
            expected = len(entry["channels"]) * 11 * 11 + (44 if len(entry["channels"]) == 2 else 0)
            self.assertEqual(len(parameter_rows), expected)
            for r in parameter_rows:
                channel = "pair" if r["channel"] == "pair" else r["channel"]
                band = "Lin" if r["band"] == "Lin" else r["band"]
                value, computed = table[(channel, band, r["parameter"])]
                self.assertEqual(float(r["value"]), value, r)
                self.assertEqual(r["computed"] == "yes", computed, r)
                self.assertEqual(float(r["w_threshold"]), entry["settings"]["wThreshold"])

    def test_awkward_file_names_survive_json_and_csv(self):
        with tempfile.TemporaryDirectory() as tmp:
            name = os.path.join(tmp, 'räum, "A".wav')
            with open(example("living_room.wav"), "rb") as src, open(name, "wb") as dst:
                dst.write(src.read())
            self.assertEqual(run_json(name)[0]["file"], name)
            rows = list(csv.DictReader(io.StringIO(run("--format", "csv", "-q", name, expect=0).stdout.decode(),
                                                   newline="")))
            self.assertEqual({r["file"] for r in rows}, {name})

    def test_table_shows_the_dialog_cells(self):
        data = run("--format", "table", "-q", example("binaural_clap.wav"), expect=0).stdout.decode()
        entry = self.json[1]
        self.assertIn("W Threshold %s" % gcvt(f32(entry["settings"]["wThreshold"]), 5), data)
        lines = data.splitlines()
        left = lines.index("OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel")
        right = lines.index("OCTAVE BAND ACOUSTICAL PARAMETERS - Right Channel")
        for start, channel in ((left, entry["channels"][0]), (right, entry["channels"][1])):
            rt30 = lines[start + 1 + 1 + PARAMS.index("RT30")]
            self.assertTrue(rt30.startswith("RT30 (s)"))
            expected = [gcvt(f32(b["RT30"]["value"]), 4) if b["RT30"]["computed"] else "- -"
                        for b in channel["bands"]]
            self.assertEqual(rt30[len("RT30 (s)"):].split(), " ".join(expected).split())
        for label in ("N.C.", "LF", "IACC", "W IACC [ms]", "Tau IACC [ms]"):
            self.assertTrue(any(line.startswith(label + " ") for line in lines), label)
        third = run("--format", "table", "-q", "--third-octave", example("living_room.wav"), expect=0).stdout
        self.assertIn(b"8K(3)", third)

    def test_parallel_batch_keeps_input_order_and_results(self):
        files = self.files * 2
        one = run("--format", "json", "-q", "-j", "1", *files, expect=0).stdout
        two = run("--format", "json", "-q", "-j", "2", *files, expect=0).stdout
        self.assertEqual(one, two)
        self.assertEqual([e["file"] for e in json.loads(one)], files)


class Settings(unittest.TestCase):
    """Options go through the settings dialog, which clamps them."""

    def test_dialog_clamps_what_is_typed(self):
        cases = [
            # options, expected (rtuStartDb, rtuEndDb, wThreshold, yThreshold, lock)
            (["--rtu", "5,-20"], (0.0, -20.0, None, None, True)),
            (["--rtu", "-10,-10"], (-10.0, -11.0, None, None, True)),
            (["--rtu", "-150,-30"], (-100.0, -101.0, None, None, True)),
            (["--threshold", "99999"], (-5.0, -15.0, 32767.0, 32767.0, True)),
            (["--threshold", "123.9", "--y-threshold", "-5"], (-5.0, -15.0, 123.0, 0.0, False)),
            (["--threshold", "10000"], (-5.0, -15.0, 10000.0, 10000.0, True)),
        ]
        with tempfile.TemporaryDirectory() as tmp:
            for options, (start, end, w, y, lock) in cases:
                with self.subTest(options=options):
                    saved = os.path.join(tmp, "s.bin")
                    proc = run("-q", "--format", "json", "--save-settings", saved, *options,
                               example("binaural_clap.wav"))
                    entry = json.loads(proc.stdout)[0]
                    s = entry["settings"]
                    self.assertEqual((s["rtuStartDb"], s["rtuEndDb"]), (start, end))
                    if w is not None:
                        self.assertEqual((s["wThreshold"], s["yThreshold"]), (w, y))
                        self.assertEqual(s["arrivalThreshold"], int(w))
                    self.assertEqual(s["thresholdLock"], lock)
                    block = open(saved, "rb").read()
                    self.assertEqual(len(block), 586)
                    self.assertEqual(struct.unpack_from("<ff", block, 0), (s["rtuStartDb"], s["rtuEndDb"]))
                    self.assertEqual(struct.unpack_from("<h", block, 8)[0], s["arrivalThreshold"])
                    self.assertEqual(struct.unpack_from("<ffB", block, 557),
                                     (s["wThreshold"], s["yThreshold"], int(lock)))

    def test_auto_threshold_is_20_db_below_the_weaker_peak(self):
        entry = run_json(example("binaural_clap.wav"))[0]
        weaker = min(entry["peaks"])
        self.assertEqual(entry["settings"]["thresholdSource"], "auto")
        self.assertEqual(entry["settings"]["wThreshold"], math.floor(weaker / 10))
        self.assertEqual(entry["settings"]["yThreshold"], entry["settings"]["wThreshold"])

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
            block_a, block_b = open(first, "rb").read(), open(second, "rb").read()
            self.assertEqual(block_a[:13], block_b[:13])
            self.assertEqual(block_a[557:574], block_b[557:574])

    def test_analytic_decay(self):
        # Exponentially decaying noise whose energy falls 60 dB in T = 1 s:
        # energy ~ exp(-a t) with a = 6 ln(10) / T, so C50 = 10 lg(exp(0.05 a) - 1),
        # C80 likewise, D50 = 1 - exp(-0.05 a) and TS = 1 / a.
        a = 6 * math.log(10) / 1.0
        expected = {"C50": 10 * math.log10(math.exp(0.05 * a) - 1), "C80": 10 * math.log10(math.exp(0.08 * a) - 1),
                    "D50": 100 * (1 - math.exp(-0.05 * a)), "TS": 1000 / a,
                    "EDT": 1.0, "RT20": 1.0, "RT30": 1.0, "RTU": 1.0}
        # The noise is random: its decay curve wobbles by a few per cent of
        # the energy early on and its fitted slopes by about 1 per cent.
        tolerance = {"C50": 0.2, "C80": 0.2, "D50": 1.0, "TS": 1.5, "EDT": 0.03, "RT20": 0.03, "RT30": 0.03,
                     "RTU": 0.03}
        lin = run_json(fixture("decay.wav"))[0]["channels"][0]["bands"][0]
        for name, value in expected.items():
            self.assertTrue(lin[name]["computed"], name)
            self.assertAlmostEqual(lin[name]["value"], value, delta=tolerance[name], msg=name)
        self.assertGreater(lin["r RT30"]["value"], 0.99)

    def test_selection_by_seconds_and_by_frames_agree(self):
        by_time = run_json("--start", "0.1", "--end", "0.5", example("living_room.wav"))[0]
        by_frames = run_json("--frames", "4410:22049", example("living_room.wav"))[0]
        self.assertEqual((by_time["selection"]["firstFrame"], by_time["selection"]["lastFrame"]), (4410, 22049))
        self.assertEqual(values(by_time), values(by_frames))

    def test_channels_option_picks_and_orders_channels(self):
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
            text = os.path.join(tmp, "notes.wav")
            with open(text, "w") as f:
                f.write("this is not audio\n" * 20)
            empty = os.path.join(tmp, "empty.wav")
            open(empty, "wb").close()
            cases = [
                ([os.path.join(tmp, "missing.wav")], "cannot read"),
                ([text], "cannot read"),
                ([empty], "cannot read"),
                ([fixture("zero_frames.wav")], "no sample frames"),
                ([fixture("three_channels.wav")], "--channels"),
                ([fixture("nan.wav")], "not a finite number"),
                ([fixture("inf.wav")], "not a finite number"),
                (["--frames", "0:99999999", example("living_room.wav")], "past the end"),
                (["--start", "5", example("living_room.wav")], "past the end"),
                (["--channels", "3", example("binaural_clap.wav")], "no channel 3"),
            ]
            for args, reason in cases:
                with self.subTest(args=args):
                    proc = run("-q", "--format", "json", *args, expect=2)
                    self.assertIn(reason, proc.stderr.decode())
                    self.assertEqual(json.loads(proc.stdout)[0]["status"], "unreadable")

    def test_usage_errors(self):
        for args in (["--rtu", "abc", "x.wav"], ["--threshold", "loud", "x.wav"], ["--format", "xml", "x.wav"],
                     ["--bogus", "x.wav"], [], ["--frames", "9:1", "x.wav"], ["--end", "1", "--start", "2", "x.wav"]):
            with self.subTest(args=args):
                proc = run(*args, expect=1)
                self.assertIn("roomstat:", proc.stderr.decode())

    def test_threshold_no_sample_reaches_in_a_batch(self):
        proc = run("-q", "--format", "json", "--threshold", "2000", fixture("decay_quiet.wav"), fixture("decay.wav"),
                   expect=3)
        quiet, loud = json.loads(proc.stdout)
        self.assertEqual(quiet["status"], "no results")
        self.assertEqual(len(quiet["messages"]), 1)
        message = quiet["messages"][0]
        shown = (message["caption"] + ": " if message["caption"] else "") + message["text"]
        self.assertIn(shown, proc.stderr.decode())
        self.assertEqual(loud["status"], "ok")
        self.assertTrue(loud["channels"][0]["bands"][0]["RT30"]["computed"])

    def test_help_and_version(self):
        self.assertIn(b"--threshold", run("--help", expect=0).stdout)
        self.assertTrue(run("--version", expect=0).stdout.startswith(b"roomstat "))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--roomstat", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--examples", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
