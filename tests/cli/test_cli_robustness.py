#!/usr/bin/env python3
"""End-to-end tests of what roomstat must never do: replace a user's file,
accept a value that the settings dialog would silently change, wait on a
FIFO, or ignore an interrupt.

    test_cli_robustness.py --roomstat BIN --examples DIR
"""
import argparse
import hashlib
import json
import math
import os
import pty
import random
import resource
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import wave

ARGS = None
# User fields of the settings block: (offset, struct format, name).
FIELDS = [(0, "<f", "rtuStartDb"), (4, "<f", "rtuEndDb"), (8, "<h", "arrivalThreshold"),
          (10, "<B", "noiseCorrection"), (11, "<B", "thirdOctave"), (557, "<f", "wThreshold"),
          (561, "<f", "yThreshold"), (565, "<B", "thresholdLock"), (566, "<d", "boostDb")]


def run(*args, expect=None, **kwargs):
    proc = subprocess.run([ARGS.roomstat, "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if expect is not None and proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\nstderr: %s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def example(name):
    return os.path.join(ARGS.examples, name)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def user_fields(block):
    return {name: struct.unpack_from(fmt, block, offset)[0] for offset, fmt, name in FIELDS}


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


class Outputs(unittest.TestCase):
    """Every output goes through a temporary file; none replaces an input."""

    def test_outputs_never_replace_inputs(self):
        with tempfile.TemporaryDirectory() as tmp:
            audio, link, block = (os.path.join(tmp, n) for n in ("v.wav", "link.wav", "s.bin"))
            with open(example("binaural_clap.wav"), "rb") as src, open(audio, "wb") as dst:
                dst.write(src.read())
            os.symlink(audio, link)
            run("--save-settings", block, audio, expect=0)
            before = (digest(audio), digest(block))
            for args in (["-o", audio, audio], ["--save-settings", audio, audio], ["-o", link, audio],
                         ["--save-settings", audio, link], ["-o", block, "--settings", block, audio],
                         ["-o", os.path.join(tmp, "x"), "--save-settings", os.path.join(tmp, "x"), audio]):
                with self.subTest(args=args):
                    self.assertIn("same file", run(*args, expect=1).stderr.decode())
                    self.assertEqual((digest(audio), digest(block)), before)

    def test_failed_write_leaves_the_previous_output(self):
        # A file-size limit of 4 KiB makes the report's write fail half-way
        # (a tiny tmpfs would need mount rights that CI does not give).
        def small_file_limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "out.txt")
            with open(out, "w") as f:
                f.write("previous results\n")
            proc = run("--format", "json", "-o", out, example("binaural_clap.wav"), expect=4,
                       preexec_fn=small_file_limit)
            self.assertIn("unchanged", proc.stderr.decode())
            run("-o", out, os.path.join(tmp, "missing.wav"), expect=2)  # nothing analysed: nothing written
            with open(out) as f:
                self.assertEqual(f.read(), "previous results\n")
            self.assertEqual(os.listdir(tmp), ["out.txt"])  # no temporary left behind
            run("-o", "/dev/full", example("living_room.wav"), expect=4)
            run("-o", out, example("living_room.wav"), expect=0)
            self.assertEqual(oct(os.stat(out).st_mode & 0o777), oct(0o666 & ~current_umask()))


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


class StrictSettings(unittest.TestCase):
    """Values are refused, not silently changed; a saved block reloads exactly."""

    def test_values_the_dialog_cannot_hold_are_refused(self):
        for option, value in [("--threshold", "1e4"), ("--threshold", "1.5e2"), ("--threshold", "0x10"),
                              ("--threshold", "32768"), ("--threshold", "-1"), ("--y-threshold", "12.5"),
                              ("--boost", "1e308"), ("--boost", "-1e308"), ("--boost", "nan"), ("--boost", "101"),
                              ("--rtu", "0x10,-5"), ("--rtu", "-5,inf"), ("--rtu", "-5,-" + "1" * 38),
                              ("--start", "1e400"), ("--end", "-0.5")]:
            with self.subTest(option=option, value=value):
                self.assertIn("'%s'" % value, run(option, value, example("binaural_clap.wav"), expect=1).stderr.decode())

    def test_changes_made_by_the_dialog_are_reported(self):
        proc = run("--format", "json", "--rtu", "5,-10", example("living_room.wav"), expect=0)
        self.assertEqual(json.loads(proc.stdout)[0]["settings"]["adjustments"],
                         [{"field": "rtuStartDb", "given": 5, "stored": 0}])
        self.assertIn("rtuStartDb = 0 for the given 5", proc.stderr.decode())

    def test_blocks_out_of_range_are_refused_by_field(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "s.bin")
            run("--save-settings", path, example("binaural_clap.wav"), expect=0)
            with open(path, "rb") as f:
                good = f.read()
            for offset, fmt, value, field in [(0, "<f", math.nan, "rtuStartDb"), (0, "<f", 0.5, "rtuStartDb"),
                                              (4, "<f", -4.5, "rtuEndDb"), (4, "<f", -math.inf, "rtuEndDb"),
                                              (557, "<f", 12.5, "wThreshold"), (561, "<f", 40000, "yThreshold"),
                                              (566, "<d", 1e308, "boostDb"), (566, "<d", math.nan, "boostDb"),
                                              (11, "<B", 7, "thirdOctave")]:
                with self.subTest(field=field, value=value):
                    bad = bytearray(good)
                    struct.pack_into(fmt, bad, offset, value)
                    with open(path, "wb") as f:
                        f.write(bad)
                    self.assertIn("field " + field, run("--settings", path, example("binaural_clap.wav"),
                                                        expect=1).stderr.decode())

    def test_saved_blocks_reload_exactly(self):
        # Random valid blocks, with values that the dialog's fields would show
        # shortened: saving after loading gives the same fields, and the
        # reloaded block gives the same analysis.
        rng = random.Random(16)
        with tempfile.TemporaryDirectory() as tmp:
            base, first, second = (os.path.join(tmp, n) for n in ("base.bin", "a.bin", "b.bin"))
            run("--save-settings", base, example("binaural_clap.wav"), expect=0)
            with open(base, "rb") as f:
                block = bytearray(f.read())
            for _ in range(6):
                start = f32(-rng.choice([0.05, 0.001, 12.345678, rng.uniform(0, 60)]))
                end = f32(rng.uniform(max(-100.0, start - 60), start - 1))
                w, lock = rng.randrange(0, 2000), rng.randrange(2)
                values = {"rtuStartDb": start, "rtuEndDb": end, "arrivalThreshold": w, "wThreshold": w,
                          "yThreshold": w if lock else rng.randrange(0, 2000), "thresholdLock": lock, "noiseCorrection": rng.randrange(2),
                          "thirdOctave": rng.randrange(2), "boostDb": rng.uniform(-100, 100)}
                for offset, fmt, name in FIELDS:
                    struct.pack_into(fmt, block, offset, values[name])
                with open(first, "wb") as f:
                    f.write(block)
                with self.subTest(values=values):
                    a = run("--format", "json", "--settings", first, "--save-settings", second,
                            example("binaural_clap.wav"), expect=0)
                    with open(second, "rb") as f:
                        self.assertEqual(user_fields(f.read()), user_fields(block))
                    b = run("--format", "json", "--settings", second, example("binaural_clap.wav"), expect=0)
                    ja, jb = json.loads(a.stdout)[0], json.loads(b.stdout)[0]
                    self.assertEqual(ja["settings"]["adjustments"], [])
                    self.assertEqual((ja["channels"], ja["interChannel"], ja["report"]),
                                     (jb["channels"], jb["interChannel"], jb["report"]))


class Inputs(unittest.TestCase):
    def test_only_regular_files_or_standard_input(self):
        with tempfile.TemporaryDirectory() as tmp:
            fifo = os.path.join(tmp, "fifo")
            os.mkfifo(fifo)
            for path, kind in [(fifo, "a FIFO"), (tmp, "a directory"), ("/dev/zero", "a device")]:
                with self.subTest(path=path):
                    proc = run(path, example("living_room.wav"), expect=2, timeout=60)
                    self.assertIn(kind, proc.stderr.decode())
        with open(example("living_room.wav"), "rb") as f:
            piped = run("--format", "csv", "-", stdin=f, expect=0).stdout
        named = run("--format", "csv", example("living_room.wav"), expect=0).stdout
        rows = lambda text: [line.split(b",", 1)[1] for line in text.split(b"\r\n")[1:] if line]
        self.assertEqual(rows(piped), rows(named))


def write_long_stereo(path, rate, seconds):
    """One second of decaying stereo noise, repeated: slow to analyse in octave mode."""
    rng = random.Random(5)
    second = bytearray(8 * rate // 100)  # 20 ms of silence before the arrival
    for i in range(rate):
        level = 20000 * math.exp(-6.9 * i / rate / 0.3) + 2
        second += struct.pack("<hh", *(max(-32768, min(32767, int(rng.gauss(0, 1) * level))) for _ in range(2)))
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(second) * seconds)


class Interrupts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.long = os.path.join(cls.tmp.name, "long.wav")
        write_long_stereo(cls.long, 96000, 12)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def run_interrupted(self, out, signals, after):
        """Runs the long file and a short one with the progress line on a
        terminal; sends `signals` once `after` has been shown. Returns the
        exit code and everything shown on the terminal."""
        master, slave = pty.openpty()
        proc = subprocess.Popen([ARGS.roomstat, "-j", "1", "--format", "json", "-o", out, self.long,
                                 example("living_room.wav")], stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        shown = b""
        while after not in shown:
            shown += os.read(master, 4096)
        for sig in signals:
            proc.send_signal(sig)
            time.sleep(0.1)
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
        os.close(master)
        return proc.wait(timeout=300), shown.decode(errors="replace")

    def test_first_interrupt_ends_the_batch_with_what_completed(self):
        # During the lateral pass, which cannot be stopped: the file completes,
        # the next one is not analysed, and the run still ends with 130.
        out = os.path.join(self.tmp.name, "out.json")
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sig):
                if os.path.exists(out):
                    os.remove(out)
                code, shown = self.run_interrupted(out, [sig], b"Calculating LF")
                self.assertEqual(code, 130, shown)
                self.assertIn("cannot be stopped", shown)
                with open(out) as f:
                    entries = json.load(f)
                self.assertEqual([e["status"] for e in entries], ["ok", "interrupted"])
        # During the band analysis: nothing completes, so nothing is written.
        code, shown = self.run_interrupted(out, [signal.SIGINT], b"[0/2]")
        self.assertEqual(code, 130, shown)
        self.assertIn("not written", shown)

    def test_second_interrupt_ends_at_once(self):
        # Both during the lateral pass, which the first cannot stop.
        code, shown = self.run_interrupted(os.path.join(self.tmp.name, "never.txt"), [signal.SIGINT] * 2,
                                           b"Calculating LF")
        self.assertEqual(code, 130)
        self.assertIn("ended at once", shown)
        self.assertNotIn("never.txt", " ".join(os.listdir(self.tmp.name)))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--roomstat", "--examples"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
