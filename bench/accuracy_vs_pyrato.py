#!/usr/bin/env python3
"""roomstat's T20/T30 beside pyrato's with Lundeby truncation, per band.

For every response file (default: examples/*.wav), every channel roomstat
analyses and every octave band 125 Hz .. 4 kHz: pyrato's T20 and T30 (pyfar's
IEC 61260 octave filters, Lundeby-truncated Schroeder curve, least squares
over -5..-25 / -5..-35 dB; see pyrato_peer.py) and roomstat's, read from
`roomstat --format json FILE`:
  --method plugin  the plug-in's values, channels[c].bands[b].RT20 / RT30
                   (a cell counts where `computed` is true);
  --method iso     the ISO 3382 evaluation, channels[c].iso.bands[j].T20 /
                   T30 (a cell counts where `valid` is true).
Prints a table per file, channel and band, then per parameter and overall:
the number of cells both sides computed, the share within 10 %, and the
median difference (signed and absolute) in % of pyrato's value.

Usage: /usr/bin/python3 bench/accuracy_vs_pyrato.py --roomstat build/roomstat
           [--peers DIR] [--method plugin|iso] [--roomstat-args "..."]
           [--no-examples] [FILE ...]
"""

import argparse
import glob
import json
import os
import shlex
import statistics
import subprocess
import sys

import soundfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pyrato_peer  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NOMINAL_HZ = (125, 250, 500, 1000, 2000, 4000)
PARAMETERS = ("T20", "T30")
PLUGIN_NAMES = {"T20": "RT20", "T30": "RT30"}
WITHIN_PERCENT = 10.0


def roomstat_json(roomstat, extra, path):
    done = subprocess.run([roomstat, *extra, "--format", "json", "-q", path],
                          capture_output=True, text=True)
    if done.returncode not in (0, 3):
        sys.exit(f"roomstat failed on {path} ({done.returncode}): {done.stderr}")
    document = json.loads(done.stdout)
    files = document["files"] if isinstance(document, dict) else document
    return files[0]


def plugin_values(channel):
    """nominal Hz -> {parameter: value or None} from the plug-in's bands."""
    values = {}
    for band in channel["bands"]:
        if band.get("nominal") in (None, "Lin") or band.get("centreHz") in (None, 0):
            continue
        cells = {}
        for name, key in PLUGIN_NAMES.items():
            cell = band.get(key) or {}
            cells[name] = cell.get("value") if cell.get("computed") else None
        values[float(band["nominal"])] = cells
    return values


def iso_values(channel):
    """nominal Hz -> {parameter: value or None} from the ISO 3382 bands."""
    iso = channel.get("iso")
    if iso is None:
        sys.exit("this roomstat's json has no ISO 3382 evaluation "
                 "(channels[c].iso); use --method plugin")
    values = {}
    for band in iso["bands"]:
        cells = {}
        for name in PARAMETERS:
            cell = band.get(name) or {}
            cells[name] = cell.get("value") if cell.get("valid") else None
        values[float(band["nominalHz"])] = cells
    return values


def compare_file(path, roomstat, extra, method):
    """Rows (file, channel, band, parameter, roomstat, pyrato) of one file."""
    result = roomstat_json(roomstat, extra, path)
    samples, rate_hz = soundfile.read(path, always_2d=True)
    used = result.get("audio", {}).get("channelsUsed") or range(1, samples.shape[1] + 1)
    rows = []
    for channel, file_channel in zip(result.get("channels", []), used):
        ours = (iso_values if method == "iso" else plugin_values)(channel)
        peer = pyrato_peer.band_parameters(
            samples[:, file_channel - 1], rate_hz,
            frequency_range=(NOMINAL_HZ[0], NOMINAL_HZ[-1]))
        for band in peer:
            cells = ours.get(band["nominalHz"], {})
            for name in PARAMETERS:
                rows.append((os.path.basename(path), channel["channel"],
                             band["nominalHz"], name, cells.get(name),
                             band.get(name)))
    return rows


def percent(ours, peer):
    return 100.0 * (ours - peer) / peer


def number(value, digits=3):
    return "-" if value is None else f"{value:.{digits}f}"


def print_table(rows):
    print(f"{'file':24} {'channel':7} {'band':>6} {'param':5} "
          f"{'roomstat':>9} {'pyrato':>9} {'diff %':>8}")
    for name, channel, band, parameter, ours, peer in rows:
        both = ours is not None and peer is not None
        diff = f"{percent(ours, peer):+8.1f}" if both else "       -"
        flag = " *" if both and abs(percent(ours, peer)) > WITHIN_PERCENT else ""
        print(f"{name:24} {channel:7} {band:6.0f} {parameter:5} "
              f"{number(ours):>9} {number(peer):>9} {diff}{flag}")
    print(f"(* more than {WITHIN_PERCENT:.0f} % apart; - not computed"
          " or not valid on that side)")


def summary_line(label, rows):
    diffs = [percent(o, p) for *_, o, p in rows if o is not None and p is not None]
    total = len(rows)
    if not diffs:
        return f"{label:8} 0 of {total} cells computed on both sides"
    within = sum(abs(d) <= WITHIN_PERCENT for d in diffs)
    return (f"{label:8} {len(diffs):3d} of {total:3d} cells on both sides; "
            f"within {WITHIN_PERCENT:.0f} %: {within}/{len(diffs)} = "
            f"{100.0 * within / len(diffs):5.1f} %; median difference "
            f"{statistics.median(diffs):+.1f} % (absolute "
            f"{statistics.median(abs(d) for d in diffs):.1f} %)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("files", nargs="*", help="more response files")
    parser.add_argument("--roomstat", required=True, help="the roomstat binary")
    parser.add_argument("--method", choices=("plugin", "iso"), default="plugin")
    parser.add_argument("--roomstat-args", default="",
                        help="more arguments for roomstat (e.g. --native-rate)")
    parser.add_argument("--peers", help="folder holding the pyfar, pyrato and shims checkouts")
    parser.add_argument("--no-examples", action="store_true",
                        help="leave out the bundled examples/*.wav")
    args = parser.parse_args()
    if args.peers:
        pyrato_peer.add_peer_paths(args.peers)
    pyrato_peer.import_peers()

    paths = [] if args.no_examples else sorted(glob.glob(os.path.join(REPO, "examples", "*.wav")))
    paths += args.files
    rows = []
    for path in paths:
        rows += compare_file(path, args.roomstat, shlex.split(args.roomstat_args),
                             args.method)
    print(f"roomstat ({args.method}) against {pyrato_peer.versions()}, "
          f"Lundeby truncation, octave bands {NOMINAL_HZ[0]} Hz .. {NOMINAL_HZ[-1]} Hz\n")
    print_table(rows)
    print()
    for name in PARAMETERS:
        print(summary_line(name, [r for r in rows if r[3] == name]))
    print(summary_line("T20+T30", rows))


if __name__ == "__main__":
    main()
