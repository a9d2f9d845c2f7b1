#!/usr/bin/env python3
"""End-to-end tests of roomstat's bounds: no header can make it take memory
beyond the work asked for, no output can hang it, be two outputs at once or
lose its identity, and no killed run leaves temporaries for ever.

    test_cli_bounds.py --roomstat BIN --examples DIR
"""
import argparse
import fcntl
import json
import os
import resource
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest
import wave

ARGS = None
NOBODY = 65534
MAX_ANALYSED_FRAMES = 0x7FFFFFFF // 8  # the plug-in's working buffers: 8 bytes per frame and channel


def run(*args, expect=None, timeout=120, **kwargs):
    proc = subprocess.run([ARGS.roomstat, "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, **kwargs)
    if expect is not None and proc.returncode != expect:
        raise AssertionError("roomstat %s: exit %d, expected %d\nstderr: %s" %
                             (" ".join(args), proc.returncode, expect, proc.stderr.decode(errors="replace")))
    return proc


def example(name):
    return os.path.join(ARGS.examples, name)


def write_impulse(path, rate, frames, channels):
    """Silence with one click at frame 100: a response whose header alone decides its size."""
    data = bytearray(2 * channels * frames)
    data[200 * channels:200 * channels + 2 * channels] = (26214).to_bytes(2, "little", signed=True) * channels
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(data))


def limited_memory():
    # The machine of the report: 3 GB of address space.
    resource.setrlimit(resource.RLIMIT_AS, (3000000 * 1024, 3000000 * 1024))


class Memory(unittest.TestCase):
    """The resampled length and the rate are checked before anything grows."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.files = {}
        for name, rate, frames, channels in [("r1", 1, 48000, 2), ("r8", 8, 48000, 2),
                                             ("long", 1000, MAX_ANALYSED_FRAMES * 1000 // 44100 + 2, 1)]:
            cls.files[name] = os.path.join(cls.tmp.name, name + ".wav")
            write_impulse(cls.files[name], rate, frames, channels)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_low_rates_and_long_results_are_refused_before_allocation(self):
        for name, says in [("r1", "lies below 1000 Hz"), ("r8", "lies below 1000 Hz"),
                           ("long", "at most %d frames" % MAX_ANALYSED_FRAMES)]:
            with self.subTest(file=name):
                proc = run(self.files[name], expect=2, timeout=60, preexec_fn=limited_memory)
                self.assertIn(says, proc.stderr.decode())

    def test_a_refused_file_leaves_the_batch_whole(self):
        proc = run("-j", "2", "--format", "json", self.files["r8"], example("living_room.wav"), expect=2,
                   timeout=120, preexec_fn=limited_memory)
        self.assertEqual([e["status"] for e in json.loads(proc.stdout)], ["unreadable", "ok"])


def assert_unchanged(test, path, content):
    with open(path, "rb") as f:
        test.assertEqual(f.read(), content)


class OutputPlaces(unittest.TestCase):
    def test_two_spellings_of_one_new_path_are_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            os.mkdir(os.path.join(tmp, "real"))
            os.symlink("real", os.path.join(tmp, "alias"))
            os.symlink("real/target", os.path.join(tmp, "dangling"))
            cases = [("-o", "new.out", "--html", "./new.out"), ("-o", "n2", "--save-settings", "./n2"),
                     ("-o", "real/../n3", "--html", "n3"), ("-o", "alias/n4", "--save-settings", "real/n4"),
                     ("--html", "dangling", "-o", "real/target")]
            for args in cases:
                with self.subTest(args=args):
                    proc = run(*args, example("living_room.wav"), expect=1, cwd=tmp)
                    self.assertIn("same file", proc.stderr.decode())
                    self.assertEqual(sorted(os.listdir(tmp)), ["alias", "dangling", "real"])
                    self.assertEqual(os.listdir(os.path.join(tmp, "real")), [])

    def test_html_is_not_replaced_when_no_file_was_analysed(self):
        with tempfile.TemporaryDirectory() as tmp:
            page = os.path.join(tmp, "r.html")
            with open(page, "wb") as f:
                f.write(b"<p>the last report</p>")
            run("--html", page, os.path.join(tmp, "missing.wav"), expect=2)
            assert_unchanged(self, page, b"<p>the last report</p>")


def wait_until_full(reader, size):
    """Until the writer has filled the pipe (and so blocks in its write)."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        waiting = fcntl.ioctl(reader, termios.FIONREAD, b"\0\0\0\0")
        if int.from_bytes(waiting, sys.byteorder) >= size:
            return
        time.sleep(0.05)
    raise AssertionError("the pipe never filled")


class Fifos(unittest.TestCase):
    def test_a_fifo_without_reader_is_refused_at_once(self):
        with tempfile.TemporaryDirectory() as tmp:
            fifo = os.path.join(tmp, "o.fifo")
            os.mkfifo(fifo)
            for option in ("-o", "--html"):
                with self.subTest(option=option):
                    proc = run(option, fifo, example("living_room.wav"), expect=4, timeout=60)
                    self.assertIn("no process reads", proc.stderr.decode())

    def test_an_interrupt_ends_a_blocked_write_with_130(self):
        with tempfile.TemporaryDirectory() as tmp:
            fifo = os.path.join(tmp, "o.fifo")
            os.mkfifo(fifo)
            for sig in (signal.SIGTERM, signal.SIGINT):
                with self.subTest(signal=sig):
                    # A reader that never reads, on the smallest pipe.
                    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
                    size = fcntl.fcntl(reader, fcntl.F_SETPIPE_SZ, 4096)
                    proc = subprocess.Popen([ARGS.roomstat, "-q", "--format", "json", "-o", fifo,
                                             example("living_room.wav")], stderr=subprocess.PIPE)
                    try:
                        wait_until_full(reader, size)
                        proc.send_signal(sig)
                        _, err = proc.communicate(timeout=60)
                    finally:
                        proc.kill()
                        os.close(reader)
                    self.assertEqual(proc.returncode, 130, err)
                    self.assertIn(b"interrupted", err)


def dead_pid():
    child = subprocess.Popen(["true"])
    child.wait()
    return child.pid


def as_nobody():
    os.setgid(NOBODY)
    os.setuid(NOBODY)


class AtomicReplace(unittest.TestCase):
    def test_leftover_temporaries_of_killed_writers_are_removed(self):
        with tempfile.TemporaryDirectory() as tmp:
            old = time.time() - 7200
            dead, alive = dead_pid(), os.getpid()
            names = {".a.json.roomstat-Ab3dE9": (old, False),  # an older version's, untouched for 2 h
                     ".b.json.roomstat-%d-Xy12Zq" % dead: (time.time() - 120, False),
                     ".c.json.roomstat-%d-Xy12Zq" % dead: (time.time(), True),  # maybe still written
                     ".d.json.roomstat-%d-Xy12Zq" % alive: (old, True),  # its writer lives
                     ".e.json.roomstat-12-ab": (old, True),  # not a temporary's name
                     "f.json.roomstat-%d-Xy12Zq" % dead: (old, True)}
            for name, (when, _) in names.items():
                with open(os.path.join(tmp, name), "w") as f:
                    f.write("partial")
                os.utime(os.path.join(tmp, name), (when, when))
            run("--format", "json", "-o", os.path.join(tmp, "out.json"), example("living_room.wav"), expect=0)
            kept = sorted(name for name, (_, stays) in names.items() if stays)
            self.assertEqual(sorted(os.listdir(tmp)), sorted(kept + ["out.json"]))

    def test_identity_kept_where_a_replacement_would_lose_it(self):
        with tempfile.TemporaryDirectory() as tmp:
            os.chmod(tmp, 0o755)
            target = os.path.join(tmp, "target.txt")
            cases = {"hard link": self.hard_link, "dangling link": self.dangling_link}
            if os.geteuid() == 0:
                cases.update({"foreign owner": self.foreign_owner, "read-only folder": self.read_only_folder})
            for name, case in cases.items():
                with self.subTest(case=name):
                    try:
                        case(tmp, target)
                    finally:
                        os.chmod(tmp, 0o755)
                        for entry in os.listdir(tmp):
                            os.remove(os.path.join(tmp, entry))

    def report(self, path, **kwargs):
        run("--format", "csv", "-o", path, example("living_room.wav"), expect=0, **kwargs)
        with open(path, "rb") as f:
            self.assertIn(b"living_room.wav", f.read())

    def hard_link(self, tmp, target):
        with open(target, "w") as f:
            f.write("old")
        os.link(target, os.path.join(tmp, "other-name.txt"))
        inode = os.stat(target).st_ino
        # Written in place, yet the space is reserved first: a file-size
        # limit leaves the old content whole.
        run("--format", "csv", "-o", target, example("living_room.wav"), expect=4,
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096)))
        assert_unchanged(self, target, b"old")
        self.report(target)
        self.assertEqual(os.stat(target).st_ino, inode)
        with open(os.path.join(tmp, "other-name.txt"), "rb") as f:
            self.assertIn(b"living_room.wav", f.read())

    def dangling_link(self, tmp, target):
        link = os.path.join(tmp, "link.txt")
        os.symlink("target.txt", link)
        self.report(link)
        self.assertTrue(os.path.islink(link))
        self.assertTrue(os.path.isfile(target))

    def foreign_owner(self, tmp, target):
        with open(target, "w") as f:
            f.write("old")
        os.chown(target, NOBODY, NOBODY)
        self.report(target)
        facts = os.stat(target)
        self.assertEqual((facts.st_uid, facts.st_gid), (NOBODY, NOBODY))

    def read_only_folder(self, tmp, target):
        # As nobody: a file it may write in a folder it may not.
        with open(target, "w") as f:
            f.write("old")
        os.chown(target, NOBODY, NOBODY)
        os.chmod(tmp, 0o555)
        inode = os.stat(target).st_ino
        self.report(target, preexec_fn=as_nobody)
        self.assertEqual(os.stat(target).st_ino, inode)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--roomstat", "--examples"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
