#!/usr/bin/env python3
"""End-to-end tests of `roomstat sweep` and `roomstat deconvolve`: a sweep is
written, "recorded" in the living room by convolution with its bundled
response (with noise 60 dB down and a little distortion; see
record_sweep.cpp), deconvolved, and the real binary's analysis of the
response (over the original's span) equals that of the original: T20, T30
within 2 % and C80 within 0.2 dB in the octaves 250 Hz to 4 kHz. Refusals and usage errors exit with
the program's codes.

    test_sweep.py --roomstat BIN --record BIN --examples DIR
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import unittest

ARGS = None
OCTAVES = ["250", "500", "1000", "2000", "4000"]


def run(*args, expect=0):
    proc = subprocess.run([ARGS.roomstat, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\nstderr: %s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def analyse(*args):
    return json.loads(run("--format", "json", "-q", *args).stdout)[0]


def parameters(*args):
    result = analyse(*args)
    values = {}
    for band in result["channels"][0]["bands"]:
        if band["band"] in OCTAVES:
            values[band["band"]] = {p: band[p]["value"] for p in ("RT20", "RT30", "C80")}
    return values


class SweepChain(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = lambda name: os.path.join(self.dir.name, name)

    def tearDown(self):
        self.dir.cleanup()

    def record(self, sweep, out, *extra):
        subprocess.run([ARGS.record, sweep, os.path.join(ARGS.examples, "living_room.wav"), out, *extra],
                       check=True)

    def test_deconvolved_response_gives_the_original_parameters(self):
        sweep, ir = self.path("sweep.wav"), self.path("ir.wav")
        run("sweep", "-o", sweep, "--rate", "44100", "--seconds", "8", "--silence", "2", "--repeat", "2")
        first, second = self.path("take1.wav"), self.path("take2.wav")
        self.record(sweep, first, "-60", "0.05", "0.02")
        self.record(sweep, second, "-60")
        out = run("deconvolve", "--sweep", sweep, first, second, "-o", ir).stdout.decode()
        self.assertIn("4 sweep(s) averaged", out)
        # The plug-in's results depend on where the selection ends (its noise
        # estimate reads the end), so the response is analysed over the
        # original's span: from its first arrival less the original's, for
        # the original's length.
        room = os.path.join(ARGS.examples, "living_room.wav")
        facts, ours = analyse(room), analyse(ir)
        first = ours["channels"][0]["firstArrival"]["sample"] - facts["channels"][0]["firstArrival"]["sample"]
        span = "%d:%d" % (first, first + facts["audio"]["frames"] - 1)
        original, measured = parameters(room), parameters("--frames", span, ir)
        for band in OCTAVES:
            for name in ("RT20", "RT30"):
                want, got = original[band][name], measured[band][name]
                self.assertLess(abs(got - want) / want, 0.02, f"{band} {name}: {got} vs {want}")
            self.assertLess(abs(measured[band]["C80"] - original[band]["C80"]), 0.2, band)
            print(band, {n: "%.4f / %.4f" % (measured[band][n], original[band][n]) for n in ("RT20", "RT30", "C80")})

    def test_sweep_option_analyses_the_recording_as_its_response(self):
        # `--sweep` deconvolves and cuts the response where its decay meets
        # the noise (plus a quarter), so no --frames is needed to get the
        # original's values: the same tolerances as above.
        sweep, take, html = self.path("sweep.wav"), self.path("take.wav"), self.path("report.html")
        run("sweep", "-o", sweep, "--rate", "44100", "--seconds", "8", "--silence", "2", "--repeat", "2")
        self.record(sweep, take, "-60", "0.05", "0.02")
        room = os.path.join(ARGS.examples, "living_room.wav")
        result = analyse("--sweep", sweep, take, "--html", html)
        self.assertTrue(os.path.getsize(html) > 0)
        facts = result["deconvolution"]
        self.assertEqual((facts["startHz"], facts["endHz"], facts["sweepsAveraged"]), (20, 19845, 2))
        self.assertGreater(facts["peakToNoiseDb"], 40)
        self.assertLess(facts["harmonicCutDb"], -20)
        # The response is cut after its decay, well inside the 2 s silence.
        self.assertLess(facts["decayEndSeconds"], facts["keptSeconds"])
        self.assertLess(facts["keptSeconds"], 1.5)
        self.assertEqual(result["audio"]["frames"], round(facts["keptSeconds"] * 44100))
        original = parameters(room)
        measured = {band["band"]: {p: band[p]["value"] for p in ("RT20", "RT30", "C80")}
                    for band in result["channels"][0]["bands"] if band["band"] in OCTAVES}
        for band in OCTAVES:
            for name in ("RT20", "RT30"):
                want, got = original[band][name], measured[band][name]
                self.assertLess(abs(got - want) / want, 0.02, f"{band} {name}: {got} vs {want}")
            self.assertLess(abs(measured[band]["C80"] - original[band]["C80"]), 0.2, band)
            print("--sweep", band,
                  {n: "%.4f / %.4f" % (measured[band][n], original[band][n]) for n in ("RT20", "RT30", "C80")})
        # The table gives the same facts in one line; the selection options
        # choose from the response.
        table = run("--format", "table", "-q", "--sweep", sweep, take).stdout.decode()
        self.assertIn("Deconvolved from a sweep of 20 to 19845 Hz, 2 sweep(s) averaged", table)
        self.assertIn("frames 0..%d of" % (result["audio"]["frames"] - 1), table)
        part = analyse("--sweep", sweep, "--end", "0.5", take)
        self.assertEqual(part["selection"]["lastFrame"], 22049)

    def test_sweep_option_refuses_recordings_that_do_not_fit(self):
        sweep48, sweep44 = self.path("s48.wav"), self.path("s44.wav")
        run("sweep", "-o", sweep48, "--seconds", "2", "--silence", "1")
        run("sweep", "-o", sweep44, "--rate", "44100", "--seconds", "2", "--silence", "1")
        take = self.path("take.wav")
        self.record(sweep44, take)
        proc = run("--format", "json", "-q", "--sweep", sweep48, take, expect=5)
        self.assertIn("the recording's rate is 44100 Hz, the sweep's 48000 Hz", proc.stderr.decode())
        refused = json.loads(proc.stdout)[0]
        self.assertEqual((refused["exitCode"], refused["reason"]), (5, "sweep-mismatch"))
        self.assertNotIn("deconvolution", refused)
        cases = [
            (["--sweep", self.path("missing.wav"), take], 2, "the sweep"),
            (["--sweep", take, take], 2, "no sweep parameters"),
            (["--sweep", "", take], 1, "empty sweep file name"),
            (["--sweep", sweep44, take, "-o", sweep44], 1, ""),
        ]
        for args, code, text in cases:
            proc = run("-q", *args, expect=code)
            self.assertIn(text, proc.stderr.decode(), args)

    def test_sidecar_carries_the_parameters(self):
        sweep = self.path("sweep.au")
        run("sweep", "-o", sweep, "--rate", "44100", "--seconds", "4", "--silence", "1")
        self.assertTrue(os.path.exists(sweep + ".sweep.json"))
        # The recorder writes WAV from any readable sweep file.
        take = self.path("take.wav")
        self.record(sweep, take)
        run("deconvolve", "--sweep", sweep, take, "-o", self.path("ir.wav"))

    def test_refusals_and_usage(self):
        sweep48, sweep44 = self.path("s48.wav"), self.path("s44.wav")
        run("sweep", "-o", sweep48, "--seconds", "2", "--silence", "1")
        run("sweep", "-o", sweep44, "--rate", "44100", "--seconds", "2", "--silence", "1")
        take = self.path("take.wav")
        self.record(sweep44, take)
        cases = [
            (["deconvolve", "--sweep", sweep48, take, "-o", self.path("a.wav")], 5, "rate"),
            (["deconvolve", "--sweep", sweep44, sweep44, "-o", self.path("b.wav")], 0, ""),
            (["deconvolve", "--sweep", take, take, "-o", self.path("c.wav")], 2, "no sweep parameters"),
            (["deconvolve", "--sweep", sweep44, self.path("missing.wav"), "-o", self.path("d.wav")], 2, ""),
            (["deconvolve", "--sweep", sweep44, take, "-o", take], 1, "is an input"),
            (["deconvolve", "--sweep", sweep44, take], 1, "no output"),
            (["sweep", "-o", self.path("e.wav"), "--to", "30000"], 1, "Nyquist"),
            (["sweep", "-o", self.path("f.wav"), "--seconds", "nan"], 1, "not a number"),
            (["sweep", "-o", self.path("g.xyz")], 1, "extension"),
            (["sweep", "--help"], 0, ""),
        ]
        for args, code, text in cases:
            proc = run(*args, expect=code)
            self.assertIn(text, proc.stderr.decode(), args)
        # A recording cut before the sweep's silence is over is too short.
        short = self.path("short.wav")
        run("sweep", "-o", short, "--rate", "44100", "--seconds", "2", "--silence", "3")
        proc = run("deconvolve", "--sweep", short, take, "-o", self.path("h.wav"), expect=5)
        self.assertIn("needed", proc.stderr.decode())


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--roomstat", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--examples", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
