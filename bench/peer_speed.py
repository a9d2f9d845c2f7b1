#!/usr/bin/env python3
"""roomstat's whole process beside pyrato's in-process computation, one run.

On the 9.8 s 96 kHz mono benchmark response (decaying noise with a direct
sound, as tests/benchmarks/goals_bench.cpp makes it, written as 16-bit with
seeded dither: without it the decay turns into 8 s of digital silence, on
which pyrato's Lundeby iteration fails), octave bands:
  - roomstat: the whole process (start, reading, analysis, json output),
    wall time and CPU time (user + system of the child, from getrusage);
  - pyrato: filtering with pyfar's octave bank, Lundeby-truncated Schroeder
    curves, EDT/T20/T30/C50/C80/D50 per band, in this process; file reading
    and imports not counted (one untimed call first loads pyfar's lazy
    modules).
The two alternate, `--runs` times each (default 5); medians and their ratio.
Then a 10 s stereo 96 kHz response (run_bench.cpp's) for roomstat alone.

Usage: /usr/bin/python3 bench/peer_speed.py --roomstat build-release/roomstat
           [--peers DIR] [--runs 5] [--roomstat-args "..."] [--before OLD_ROOMSTAT]
"""

import argparse
import os
import resource
import shlex
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pyrato_peer  # noqa: E402
import responses  # noqa: E402
import soundfile  # noqa: E402

DEFAULT_ARGS = "--native-rate --threshold 20000 --format json -q"
DITHER_SEED = 2024


def time_process(command):
    """Wall and CPU seconds of one child process."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)  # --native-rate warns
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode}): "
                 f"{done.stderr.decode(errors='replace')}")
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def time_peer(samples, rate_hz):
    start_wall, start_cpu = time.perf_counter(), time.process_time()
    pyrato_peer.band_parameters(samples, rate_hz, frequency_range=(31.5, 8000),
                                check_ranges=False)
    return time.perf_counter() - start_wall, time.process_time() - start_cpu


def median_pair(pairs):
    return (statistics.median(p[0] for p in pairs),
            statistics.median(p[1] for p in pairs))


def load_text():
    one, five, fifteen = os.getloadavg()
    return f"load average {one:.2f} {five:.2f} {fifteen:.2f} on {os.cpu_count()} cores"


def mono_comparison(roomstat, extra, folder, runs, before=None):
    path = responses.write_16bit(os.path.join(folder, "mono_96k_9.8s.wav"),
                                 responses.goals_mono(), 96000, DITHER_SEED)
    samples, rate_hz = soundfile.read(path)  # what roomstat reads, scaled to +-1
    command = [roomstat, *extra, path]
    earlier = [before, *extra, path] if before else None
    # Untimed first runs: the page cache for roomstat, pyfar's lazy imports.
    time_process(command)
    time_peer(samples, rate_hz)
    own, peer, old = [], [], []
    for _ in range(runs):
        own.append(time_process(command))
        peer.append(time_peer(samples, rate_hz))
        if earlier:
            old.append(time_process(earlier))
    return median_pair(own), median_pair(peer), own, peer, (median_pair(old) if old else None)


def roomstat_alone(roomstat, extra, folder, runs, name, samples, dither_seed):
    path = responses.write_16bit(os.path.join(folder, name), samples, 96000,
                                 dither_seed)
    command = [roomstat, *extra, path]
    time_process(command)
    return median_pair([time_process(command) for _ in range(runs)])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--roomstat", required=True, help="the roomstat binary")
    parser.add_argument("--roomstat-args", default=DEFAULT_ARGS,
                        help=f'arguments before the file (default "{DEFAULT_ARGS}")')
    parser.add_argument("--peers", help="folder holding the pyfar, pyrato and shims checkouts")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--before", help="an earlier roomstat binary, timed in the same runs")
    args = parser.parse_args()
    if args.peers:
        pyrato_peer.add_peer_paths(args.peers)
    pyrato_peer.import_peers()
    extra = shlex.split(args.roomstat_args)

    print(f"peers: {pyrato_peer.versions()}; roomstat {' '.join(extra)} FILE")
    print(f"before: {load_text()}")
    with tempfile.TemporaryDirectory(prefix="roomstat_peer_speed_") as folder:
        own, peer, own_runs, peer_runs, before = mono_comparison(
            args.roomstat, extra, folder, args.runs, args.before)
        undithered = roomstat_alone(args.roomstat, extra, folder, args.runs,
                                    "mono_plain.wav", responses.goals_mono(), None)
        stereo = roomstat_alone(args.roomstat, extra, folder, args.runs,
                                "stereo_96k_10s.wav", responses.run_stereo(),
                                DITHER_SEED)
        stereo_before = roomstat_alone(args.before, extra, folder, args.runs,
                                       "stereo_96k_10s.wav", responses.run_stereo(),
                                       DITHER_SEED) if args.before else None
    print(f"after:  {load_text()}")

    ms = lambda seconds: f"{seconds * 1000:8.1f} ms"  # noqa: E731
    print(f"\n9.8 s 96 kHz mono, octave, {args.runs} runs each, medians")
    print(f"  roomstat whole process   wall {ms(own[0])}   cpu {ms(own[1])}")
    print(f"  pyrato in-process        wall {ms(peer[0])}   cpu {ms(peer[1])}")
    print(f"  ratio pyrato / roomstat  wall {peer[0] / own[0]:8.1f} x     "
          f"cpu {peer[1] / own[1]:8.1f} x")
    print("  runs (wall ms): roomstat "
          + " ".join(f"{w * 1000:.0f}" for w, _ in own_runs)
          + "; pyrato " + " ".join(f"{w * 1000:.0f}" for w, _ in peer_runs))
    if before:
        print(f"  the --before roomstat        wall {ms(before[0])}   cpu {ms(before[1])}")
    print(f"  roomstat, the same response rounded without dither "
          f"wall {ms(undithered[0])}   cpu {ms(undithered[1])}")
    print(f"\n10 s 96 kHz stereo, octave, roomstat alone, {args.runs} runs, medians")
    print(f"  roomstat whole process   wall {ms(stereo[0])}   cpu {ms(stereo[1])}")
    if stereo_before:
        print(f"  the --before roomstat    wall {ms(stereo_before[0])}   cpu {ms(stereo_before[1])}")


if __name__ == "__main__":
    main()
