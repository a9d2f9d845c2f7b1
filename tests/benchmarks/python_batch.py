#!/usr/bin/env python3
"""Responses per second of roomstat.batch on a local Dask cluster, of two
Python threads, and of the roomstat program with -j 2, on the same short
synthetic responses (mono, 16-bit, 44.1 kHz, exponential decays of noise).

    PYTHONPATH=<build>/python /usr/bin/python3 python_batch.py ROOMSTAT_PROGRAM [COUNT] [SECONDS] [DIR]
"""
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import time
import wave

import numpy as np

import roomstat


def write_responses(directory, count, seconds, rate=44100):
    rng = np.random.default_rng(1)
    t = np.arange(int(seconds * rate)) / rate
    paths = []
    for i in range(count):
        decay = rng.standard_normal(t.size) * 10 ** (-3 * t / rng.uniform(0.1, 0.5))
        path = os.path.join(directory, "r%05d.wav" % i)
        with wave.open(path, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(rate)
            w.writeframes(np.round(decay / np.abs(decay).max() * 30000).astype("<i2").tobytes())
        paths.append(path)
    return paths


def timed(label, count, work):
    start = time.perf_counter()
    work()
    elapsed = time.perf_counter() - start
    print("%-44s %7.1f s  %6.0f responses/s" % (label, elapsed, count / elapsed), flush=True)


def main():
    program = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 0.25
    directory = sys.argv[4] if len(sys.argv) > 4 else tempfile.mkdtemp(prefix="roomstat-bench-")
    os.makedirs(directory, exist_ok=True)
    paths = write_responses(directory, count, seconds)
    print("%d responses of %.2f s in %s, %d cores" % (count, seconds, directory, os.cpu_count()))

    def program_run():
        with open(os.devnull, "wb") as sink:
            subprocess.run([program, "-j", "2", "-q", "--format", "csv", *paths], stdout=sink, check=True)

    timed("roomstat -j 2 (csv)", count, program_run)
    timed("roomstat.batch, LocalCluster (with start-up)", count, lambda: roomstat.batch(paths))

    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=os.cpu_count(), threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        timed("roomstat.batch, running LocalCluster", count, lambda: roomstat.batch(paths, client=client))

    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        timed("analyse_file on 2 threads + table", count,
              lambda: roomstat.table(pool.map(roomstat.analyse_file, paths)))


if __name__ == "__main__":
    main()
