#!/usr/bin/env python3
"""The HTML room report in a real browser: roomstat writes the reports of the
bundled examples, headless Chromium opens them (DevTools protocol over a pipe,
standard library only) and the page's DOM is checked: every chart with its
series and axis labels, fit lines whose drawn slope gives the table's decay
time, the average and the comparison against the json values, no console
errors; screenshots and an A4 print to PDF are saved next to the reports.

    test_html_report.py --roomstat BIN --examples DIR --out DIR [--chromium BIN] [--readme-shot PNG]
"""
import argparse
import array
import base64
import fcntl
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import unittest
import wave

ARGS = None
SKIP = 77  # ctest's skip code: no browser on this machine


class Browser:
    """Chromium driven through --remote-debugging-pipe (fds 3 and 4)."""

    def __init__(self, binary):
        # The child's ends first go above 4, so that placing them on 3 and 4
        # cannot overwrite one with the other.
        to_chrome_r, self._to_chrome = os.pipe()
        self._from_chrome, from_chrome_w = os.pipe()
        for name in ("to_chrome_r", "from_chrome_w"):
            fd = locals()[name]
            high = fcntl.fcntl(fd, fcntl.F_DUPFD, 10)
            os.close(fd)
            if name == "to_chrome_r":
                to_chrome_r = high
            else:
                from_chrome_w = high

        def wire():
            os.dup2(to_chrome_r, 3)
            os.dup2(from_chrome_w, 4)

        self.proc = subprocess.Popen(
            [binary, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--remote-debugging-pipe",
             "--no-first-run", "--user-data-dir=" + os.path.join(ARGS.out, "chromium-profile"), "about:blank"],
            pass_fds=(3, 4), preexec_fn=wire,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable", session=True)

    def _read(self):
        while b"\0" not in self._buffer:
            chunk = os.read(self._from_chrome, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed the pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=False, **params):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self._to_chrome, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._read()
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            event = self._read()
            self.events.append(event)
            if event.get("method") == method:
                return event

    def open(self, path):
        self.events = []
        self.call("Page.navigate", session=True, url="file://" + os.path.abspath(path))
        self.wait_for("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", session=True, expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(json.dumps(result["exceptionDetails"]))
        return result["result"]["value"]

    def console_errors(self):
        errors = []
        for e in self.events:
            method, params = e.get("method"), e.get("params", {})
            if method == "Runtime.exceptionThrown":
                errors.append(params)
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                errors.append(params)
            elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
                errors.append(params["entry"])
        return errors

    def screenshot(self, path, width, selector=None):
        height = self.evaluate("Math.ceil(document.documentElement.scrollHeight)")
        self.call("Emulation.setDeviceMetricsOverride", session=True, width=width, height=min(height, 16000),
                  deviceScaleFactor=1, mobile=False)
        params = {"format": "png", "captureBeyondViewport": True}
        if selector:
            rect = self.evaluate("(() => { const r = document.querySelector(%s).getBoundingClientRect();"
                                 " return {x: r.x + scrollX, y: r.y + scrollY, width: r.width, height: r.height}; })()"
                                 % json.dumps(selector))
            params["clip"] = dict(rect, scale=1)
        data = self.call("Page.captureScreenshot", session=True, **params)["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def print_pdf(self, path):
        data = self.call("Page.printToPDF", session=True, preferCSSPageSize=True, printBackground=True)["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.call("Browser.close")
        except RuntimeError:
            pass
        self.proc.wait(timeout=30)


BROWSER = None

# Per chart: its id, axis labels, and per series its name and the drawn
# points in data units (read back through the tick labels' positions).
CHARTS_JS = r"""
(() => {
  const scale = (ticks, attr, offset) => {
    const t = [...ticks].filter(e => e.textContent !== '' && isFinite(parseFloat(e.textContent)));
    if (t.length < 2) return null;
    const a = t[0], b = t[t.length - 1];
    const pa = parseFloat(a.getAttribute(attr)) - offset, pb = parseFloat(b.getAttribute(attr)) - offset;
    const va = parseFloat(a.textContent), vb = parseFloat(b.textContent);
    return p => va + (p - pa) * (vb - va) / (pb - pa);
  };
  return [...document.querySelectorAll('svg.chart')].map(svg => {
    const sx = scale(svg.querySelectorAll('.x-ticks text'), 'x', 0);
    const sy = scale(svg.querySelectorAll('.y-ticks text'), 'y', 3.5);
    return {
      id: svg.id,
      xLabel: svg.querySelector('.x-label').textContent,
      yLabel: svg.querySelector('.y-label').textContent,
      legend: [...svg.querySelectorAll('.legend-entry text')].map(e => e.textContent),
      series: [...svg.querySelectorAll('g.series')].map(g => ({
        name: g.dataset.series,
        points: [...g.querySelectorAll('polyline')].flatMap(p => p.getAttribute('points').split(' ').map(xy => {
          const [x, y] = xy.split(',').map(parseFloat);
          return [sx ? sx(x) : null, sy ? sy(y) : null];
        })),
        dots: g.querySelectorAll('circle').length,
      })),
    };
  });
})()
"""


def pdf_pages(pdf):
    """Pages of a PDF: its page objects ("/Type /Page", not "/Type /Pages")."""
    return sum(pdf.count(b"/Type /Page" + end) for end in (b"\n", b"\r", b">>", b" ", b"/"))


# Per chart: its flagged points (hollow, class warn) with their tooltips, the
# outliers drawn on the frame, the horizontal level lines and vertical markers.
MARKS_JS = r"""
(() => Object.fromEntries([...document.querySelectorAll('svg.chart')].map(svg => [svg.id, {
  warn: [...svg.querySelectorAll('.warn title')].map(t => t.textContent),
  outliers: svg.querySelectorAll('.outlier').length,
  levels: [...svg.querySelectorAll('line.level')].length,
  markers: [...svg.querySelectorAll('line.marker')].length,
  notes: [...svg.querySelectorAll('.legend-entry text')].map(e => e.textContent),
}])))()
"""


def roomstat(*args, expect=0):
    proc = subprocess.run([ARGS.roomstat, "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d\n%s" % (" ".join(args), proc.returncode, proc.stderr.decode()))
    return proc.stdout


def f32(value):
    """The float32 that the %.9g text stands for."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def example(name):
    return os.path.join(ARGS.examples, name)


def out(name):
    return os.path.join(ARGS.out, name)


def open_report(name, *args):
    path = out(name)
    roomstat("--html", path, *args)
    BROWSER.open(path)
    return {c["id"]: c for c in BROWSER.evaluate(CHARTS_JS)}


class HtmlReportTest(unittest.TestCase):
    def test_binaural_report_has_every_chart_and_fits_match_the_table(self):
        charts = open_report("binaural.html", example("binaural_clap.wav"))
        data = json.loads(roomstat("--format", "json", example("binaural_clap.wav")))[0]
        self.assertEqual(BROWSER.console_errors(), [])
        expected = ["f1-etc", "f1-reverberation", "f1-clarity", "f1-definition", "f1-centre-time", "f1-lateral",
                    "f1-iso-reverberation", "f1-iso-clarity"]
        # Lin and the octaves 31.5 Hz .. 8 kHz of both channels.
        expected += ["f1-decay-%d-%d" % (c, b) for c in (0, 1) for b in range(10)]
        self.assertEqual(sorted(charts), sorted(expected))
        for chart in charts.values():
            self.assertTrue(chart["xLabel"] and chart["yLabel"], chart["id"])
            self.assertTrue(any(len(s["points"]) > 1 for s in chart["series"]), chart["id"])
        self.assertEqual([s["name"] for s in charts["f1-lateral"]["series"]], ["LF", "IACC"])
        self.assertEqual(charts["f1-reverberation"]["xLabel"], "Frequency (Hz)")

        # Every fit that is a result is drawn over its own range: the drawn
        # slope (read back through the axis ticks) gives the table's decay time.
        drawn = 0
        for c, channel in enumerate(data["channels"]):
            for b, band in enumerate(channel["bands"][:10]):
                series = {s["name"].split(" ")[0]: s for s in charts["f1-decay-%d-%d" % (c, b)]["series"]}
                for name, key in (("EDT", "EDT"), ("T20", "RT20"), ("T30", "RT30"), ("RTU", "RTU")):
                    value = band[key]
                    self.assertEqual(name in series, value["computed"], (c, b, name))
                    if not value["computed"]:
                        continue
                    (x0, y0), (x1, y1) = series[name]["points"]
                    decay_time = -60.0 * (x1 - x0) / (y1 - y0)
                    self.assertAlmostEqual(decay_time / value["value"], 1.0, delta=0.01, msg=(c, b, name))
                    # Over the samples the fit used (the selection starts at 0 s; a pixel is about 4 ms).
                    fit = band["fits"][key]
                    self.assertAlmostEqual(x0, fit["startSeconds"], delta=0.002, msg=(c, b, name))
                    self.assertAlmostEqual(x1, fit["endSeconds"], delta=0.002, msg=(c, b, name))
                    drawn += 1
        self.assertGreater(drawn, 40)
        # A refused fit shows the curve and says why.
        self.assertIn("T30 - -: fit range not reached", charts["f1-decay-0-1"]["legend"])

        BROWSER.screenshot(out("binaural.png"), 1200)
        BROWSER.print_pdf(out("binaural.pdf"))
        with open(out("binaural.pdf"), "rb") as f:
            pdf = f.read()
        self.assertTrue(pdf.startswith(b"%PDF"))
        self.assertGreaterEqual(pdf_pages(pdf), 2)
        if ARGS.readme_shot:
            BROWSER.screenshot(ARGS.readme_shot, 1100, "#file-1 div.decays")

    def test_third_octave_report_draws_every_band(self):
        charts = open_report("binaural_third.html", "--third-octave", example("binaural_clap.wav"))
        self.assertEqual(BROWSER.console_errors(), [])
        decays = [i for i in charts if i.startswith("f1-decay-")]
        self.assertEqual(len(decays), 2 * 28)
        # Thirds: only octave centres are labelled on the frequency axis.
        self.assertNotIn("f1-lateral", charts)

    def test_average_of_three_files_is_the_mean_of_their_values(self):
        files = [example(n) for n in ("binaural_clap.wav", "living_room.wav", "seminar_room_clap.wav")]
        charts = open_report("three.html", "--average", "all", *files)
        self.assertEqual(BROWSER.console_errors(), [])
        combined = json.loads(roomstat("--format", "json", "--average", "all", *files))
        per_file = combined["files"]
        group = combined["average"]["groups"][0]
        self.assertEqual(group["channel"], "all")
        checked = 0
        for b, band in enumerate(group["bands"]):
            for name in ("EDT", "RT20", "RT30", "C50", "C80", "D50", "TS"):
                values = [f32(ch["bands"][b][name]["value"]) for f in per_file for ch in f["channels"]
                          if ch["bands"][b][name]["computed"] and "warning" not in ch["bands"][b][name]]
                cell = band[name]
                self.assertEqual(cell["count"], len(values))
                if values:
                    self.assertAlmostEqual(cell["mean"], sum(values) / len(values), delta=1e-12 * abs(cell["mean"]))
                    checked += 1
        self.assertGreater(checked, 40)
        # The page's table shows the same means; the charts show every position and the mean.
        page = BROWSER.evaluate("[...document.querySelectorAll('table.average[data-channel=all] td[data-mean]')]"
                                ".map(td => parseFloat(td.dataset.mean))")
        means = [band[n]["mean"] for band in group["bands"] for n in
                 ("C50", "C80", "D50", "TS", "EDT", "RT20", "RT30", "RTU")
                 if band[n]["count"]]
        self.assertEqual(sorted(page), sorted(means))
        # Stereo counts twice, then the mean and its +-1 SD lines.
        self.assertEqual(len(charts["avg-all-T20"]["series"]), 4 + 3)

    def test_files_analysed_at_different_rates_are_refused_in_one_average(self):
        # The same response labelled 48 kHz: the band centres differ.
        relabelled = out("clap_48k.wav")
        with wave.open(example("binaural_clap.wav")) as src, wave.open(relabelled, "wb") as dst:
            dst.setparams(src.getparams())
            dst.setframerate(48000)
            dst.writeframes(src.readframes(src.getnframes()))
        # Resampled to 44.1 kHz they agree; analysed at their own rates they do not.
        roomstat("--average", "--format", "csv", example("binaural_clap.wav"), relabelled)
        proc = subprocess.run([ARGS.roomstat, "-q", "--native-rate", "--average", "--format", "csv",
                               example("binaural_clap.wav"), relabelled], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 1)
        self.assertIn("one sampling rate", proc.stderr.decode())
        self.assertEqual(proc.stdout, b"")

    def test_compare_flags_differences_above_one_jnd(self):
        # The binaural clap and a copy whose late part decays faster, as
        # after an acoustic treatment: shorter decay times, higher clarity.
        treated = out("clap_treated.wav")
        with wave.open(example("binaural_clap.wav")) as src, wave.open(treated, "wb") as dst:
            dst.setparams(src.getparams())
            samples = array.array("h", src.readframes(src.getnframes()))
            rate, start = src.getframerate(), int(0.03 * src.getframerate())
            for i in range(2 * start, len(samples)):
                samples[i] = int(samples[i] * math.exp(-(i // 2 - start) / (0.15 * rate)))
            dst.writeframes(samples.tobytes())
        files = [example("binaural_clap.wav"), treated]
        open_report("compare.html", "--compare", *files)
        self.assertEqual(BROWSER.console_errors(), [])
        combined = json.loads(roomstat("--format", "json", "--compare", *files))
        a, b = combined["files"]
        jnd = {"EDT": 5.0, "RT20": 5.0, "RT30": 5.0, "C50": 1.0, "C80": 1.0, "D50": 5.0, "TS": 10.0}
        flagged = 0
        for c, channel in enumerate(combined["comparison"]["channels"][:2]):
            for k, band in enumerate(channel["bands"]):
                for name, limit in jnd.items():
                    va, vb = a["channels"][c]["bands"][k][name], b["channels"][c]["bands"][k][name]
                    cell = band[name]
                    self.assertEqual(cell["difference"] is not None, va["computed"] and vb["computed"])
                    if cell["difference"] is None:
                        continue
                    relative = name in ("EDT", "RT20", "RT30")
                    difference = (vb["value"] - va["value"]) / va["value"] * 100 if relative else vb["value"] - va["value"]
                    # Stars only between values without warnings, 125 Hz and above.
                    judged = "warning" not in va and "warning" not in vb and band["band"] not in ("31.5", "63")
                    self.assertEqual(cell["aboveJnd"], abs(difference) > limit if judged else None, (c, k, name))
                    flagged += bool(cell["aboveJnd"])
        self.assertGreater(flagged, 10)
        page_flags = BROWSER.evaluate("document.querySelectorAll('table.compare td.jnd').length")
        all_flags = sum(1 for ch in combined["comparison"]["channels"] for band in ch["bands"]
                        for v in band.values() if isinstance(v, dict) and v["aboveJnd"])
        self.assertEqual(page_flags, all_flags)

    def test_flagged_values_and_the_iso_block_are_marked(self):
        path = out("seminar.html")
        charts = open_report("seminar.html", example("seminar_room_clap.wav"))
        self.assertEqual(BROWSER.console_errors(), [])
        with open(path, encoding="utf-8") as f:
            page = f.read()
        self.assertGreater(page.count("impulse-to-noise"), 0)
        # The plug-in's low-INR T30 cell: class warn and the sentence as its title.
        flagged = BROWSER.evaluate("[...document.querySelectorAll('table.results td.warn')].map(td => td.title)")
        self.assertTrue(any("impulse-to-noise" in t for t in flagged), flagged)
        # ... and its point on the decay-time chart is hollow with the sentence.
        marks = BROWSER.evaluate(MARKS_JS)
        self.assertTrue(any("impulse-to-noise" in t for t in marks["f1-reverberation"]["warn"]))
        # The ISO 3382 single numbers lead the section; every ISO cell carries its validity.
        first = BROWSER.evaluate("document.querySelector('#file-1 h2').nextElementSibling.className")
        self.assertEqual(first, "iso-singles")
        singles = BROWSER.evaluate("[...document.querySelectorAll('table.iso-singles td')]"
                                   ".map(td => [td.dataset.iso, td.dataset.valid, td.className, td.title])")
        self.assertEqual([s[0] for s in singles], ["EDT", "T20mid", "T30mid", "C80", "D50", "Ts"])
        for key, valid, cls, title in singles:
            # An invalid value is marked with its reasons; a clean one is not.
            self.assertEqual(cls == "warn", bool(title), key)
            if valid == "0":
                self.assertIn("not valid", title, key)
        cells = BROWSER.evaluate("[...document.querySelectorAll('table.iso tbody td[data-iso]')]"
                                 ".map(td => [td.dataset.iso, td.dataset.valid, td.className, td.title])")
        self.assertEqual(len(cells), 10 * 7)  # broadband and 31.5 Hz .. 8 kHz, EDT .. Ts
        for key, valid, cls, title in cells:
            self.assertEqual(cls == "warn", bool(title), key)
            if valid == "0":
                self.assertEqual(cls, "warn", key)
                self.assertIn("not valid", title, key)
        self.assertGreater(sum(valid == "0" for _, valid, _, _ in cells), 0)
        self.assertGreater(sum(valid == "1" for _, valid, _, _ in cells), 20)
        # The decay plots: the ISO curve, its fits, the noise level, the
        # truncation point and the evaluation limits (0, -5, -10, -25, -35 dB).
        decay = charts["f1-decay-0-5"]
        names = [s["name"] for s in decay["series"]]
        self.assertIn("ISO 3382 decay curve", names)
        self.assertIn("ISO 3382 band energy", names)
        self.assertTrue(any(n.startswith("ISO 3382 T20") for n in names), names)
        self.assertGreaterEqual(marks["f1-decay-0-5"]["levels"], 6)
        self.assertGreaterEqual(marks["f1-decay-0-5"]["markers"], 2)  # first arrival, truncation
        # IEC labels in the decay plots' titles, never the dialog's.
        titles = BROWSER.evaluate("[...document.querySelectorAll('svg.chart .chart-title')].map(t => t.textContent)")
        self.assertFalse([t for t in titles if "(1)" in t or "(2)" in t or "Wide" in t], titles)

    def test_pair_charts_follow_the_declared_pair(self):
        for pair, present, absent, lateral in (("binaural", "f1-iso-iacc", "f1-iso-jlf", ["IACC"]),
                                               ("wy", "f1-iso-jlf", "f1-iso-iacc", ["LF"])):
            charts = open_report("pair-%s.html" % pair, "--pair", pair, example("binaural_clap.wav"))
            self.assertEqual(BROWSER.console_errors(), [])
            self.assertIn(present, charts)
            self.assertNotIn(absent, charts)
            self.assertEqual([s["name"] for s in charts["f1-lateral"]["series"]], lateral)
            # Octaves 31.5 Hz .. 8 kHz only: no 16 kHz point.
            xs = [p[0] for s in charts["f1-lateral"]["series"] for p in s["points"] if p[0] is not None]
            self.assertLess(max(xs), 12000.0)
            names = [s["name"] for s in charts[present]["series"]]
            self.assertTrue(all(any(s["points"]) for s in charts[present]["series"]), names)
            rows = BROWSER.evaluate("[...document.querySelectorAll('table.results tr.pair th')].map(t => t.textContent)")
            self.assertEqual("LF" in rows, pair == "wy", rows)
            singles = BROWSER.evaluate("[...document.querySelectorAll('table.iso-singles.pair td')]"
                                       ".map(td => td.dataset.iso)")
            self.assertEqual(singles, ["oneMinusIACC_E3"] if pair == "binaural" else ["JLF", "JLFC"])

    def test_print_fits_a_mono_file_on_two_pages_and_a_file_adds_at_most_150_kb(self):
        open_report("mono.html", example("seminar_room_clap.wav"))
        BROWSER.print_pdf(out("mono.pdf"))
        with open(out("mono.pdf"), "rb") as f:
            pages = pdf_pages(f.read())
        print("mono file printed on %d A4 page(s)" % pages, file=sys.stderr)
        self.assertGreaterEqual(pages, 1)
        self.assertLessEqual(pages, 2)
        # Two files bring the average over positions; a third adds only its own section.
        sizes = []
        files = [example("seminar_room_clap.wav"), example("living_room.wav"), example("seminar_room_clap.wav")]
        for n in (1, 2, 3):
            roomstat("--html", out("size.html"), *files[:n])
            sizes.append(os.path.getsize(out("size.html")))
        print("report sizes: 1 file %d B, 2 files %d B, 3 files %d B" % tuple(sizes), file=sys.stderr)
        self.assertLessEqual(sizes[0], 150 * 1024)
        self.assertLessEqual(sizes[2] - sizes[1], 150 * 1024)

    def test_first_arrival_is_given_in_the_files_time_base(self):
        # A 48 kHz file analysed at 44.1 kHz: the sample index of the file, as json gives it.
        relabelled = out("clap_48k_arrival.wav")
        with wave.open(example("seminar_room_clap.wav")) as src, wave.open(relabelled, "wb") as dst:
            dst.setparams(src.getparams())
            dst.setframerate(48000)
            dst.writeframes(src.readframes(src.getnframes()))
        open_report("arrival.html", relabelled)
        sample = json.loads(roomstat("--format", "json", relabelled))[0]["channels"][0]["firstArrival"]["sample"]
        facts = BROWSER.evaluate("[...document.querySelectorAll('table.facts tr')].map(tr => tr.textContent)")
        arrival = [f for f in facts if f.startswith("First arrival")]
        self.assertEqual(len(arrival), 1, facts)
        self.assertIn("(sample %d of the file)" % sample, arrival[0])

    def test_drawing_changes_no_other_output(self):
        # The curves are kept only for the HTML report; every other output
        # is byte for byte the same with and without it.
        for fmt in ("report", "json", "csv"):
            plain = roomstat("--format", fmt, example("binaural_clap.wav"))
            drawn = roomstat("--format", fmt, "--html", out("same.html"), example("binaural_clap.wav"))
            self.assertEqual(plain, drawn, fmt)


def main():
    global ARGS, BROWSER
    parser = argparse.ArgumentParser()
    parser.add_argument("--roomstat", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--chromium", default=shutil.which("chromium") or shutil.which("chromium-browser"))
    parser.add_argument("--readme-shot")
    ARGS, rest = parser.parse_known_args()
    if not ARGS.chromium:
        print("chromium not found: the HTML report's browser test is skipped")
        return SKIP
    os.makedirs(ARGS.out, exist_ok=True)
    BROWSER = Browser(ARGS.chromium)
    try:
        result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    finally:
        BROWSER.close()
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
