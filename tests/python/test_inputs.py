"""Any path, any argument, any rate: a Python exception that names the
argument, one failed row per bad file, and never a crash or a runaway
allocation; the sweep measurement from Python."""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import textwrap
import wave

import numpy as np
import pytest

import roomstat

from test_roomstat import NAMES, example, read_wav, write_wav

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")


def test_paths_as_str_bytes_and_pathlike_with_names_that_are_not_utf8(tmp_path):
    name = os.fsencode(str(tmp_path)) + b"/clap-\xff\xfe.wav"
    shutil.copyfile(example(NAMES[0]), name)
    text = os.fsdecode(name)  # surrogate escapes
    results = [roomstat.analyse_file(p) for p in (name, text, pathlib.Path(text))]
    for r in results:
        assert r.source == text and os.fsencode(r.source) == name
        np.testing.assert_array_equal(r.values, results[0].values)
    reference = roomstat.analyse_file(example(NAMES[0]))
    np.testing.assert_array_equal(results[0].values, reference.values)
    assert roomstat.table(results[:1])["file"].tolist() == [text, text, text, text]


@pytest.mark.parametrize("path,error,words", [
    ("missing.wav", FileNotFoundError, "missing.wav"),
    (".", IsADirectoryError, ""),
    ("-", ValueError, "standard input is not read from Python"),
    (3, TypeError, "path must be a str, bytes or os.PathLike"),
])
def test_files_that_cannot_be_opened_raise_os_errors(tmp_path, monkeypatch, path, error, words):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error, match=words):
        roomstat.analyse_file(path)


MONO = np.exp(-np.arange(44100) / 4000.0) * np.sin(np.arange(44100))


@pytest.mark.parametrize("call,error,words", [
    (lambda: roomstat.analyse(MONO, 44100, noise_correction="no"), TypeError, "noise_correction"),
    (lambda: roomstat.analyse(MONO, 44100, third_octave=1), TypeError, "third_octave"),
    (lambda: roomstat.analyse(MONO, 44100, y_threshold=500), ValueError, "y_threshold"),
    (lambda: roomstat.analyse(MONO, 44100, evaluation="all"), ValueError, "evaluation"),
    (lambda: roomstat.analyse(MONO, 44100, pair=2), TypeError, "pair"),
    (lambda: roomstat.analyse(MONO, 44100, rtu=-5), TypeError, "rtu"),
    (lambda: roomstat.analyse(MONO, 44100, curves="yes"), TypeError, "curves"),
    (lambda: roomstat.analyse(MONO, 44100, name=b"x"), TypeError, "name"),
    (lambda: roomstat.analyse(MONO, 44100, threshold=1e9), ValueError, "threshold= needs"),
    (lambda: roomstat.analyse(MONO, 44100, figure8_gain=3), ValueError, "figure8_gain= needs pair= wy"),
    (lambda: roomstat.analyse_file(example(NAMES[2]), frames=(5,)), ValueError, "frames"),
    (lambda: roomstat.analyse_file(example(NAMES[2]), channels="1"), TypeError, "channels"),
    (lambda: roomstat.analyse_file(example(NAMES[0]), channels=[3]), roomstat.AnalysisError, "no channel 3"),
    (lambda: roomstat.batch([], partitions=0), ValueError, "partitions"),
    (lambda: roomstat.batch([], partitions=-1), ValueError, "partitions"),
    (lambda: roomstat.batch([], partitions=1.5), TypeError, "partitions"),
    (lambda: roomstat.batch([], color="red"), TypeError, "color"),
    # Checked before any work is sent: a client that is not one is never reached.
    (lambda: roomstat.batch(["a.wav"], client=object(), threshold=1e9), ValueError, "threshold= needs"),
])
def test_wrong_arguments_raise_errors_that_name_them(call, error, words):
    with pytest.raises(error, match=words) as raised:
        call()
    assert "--" not in str(raised.value)  # the program's option names are not Python's


LOW_RATE = """
import resource, numpy as np, roomstat, wave, sys
with open("/proc/self/status") as status:
    size = [int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize")][0]
limit = size + (1 << 30)  # a gigabyte beyond what the interpreter holds now
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
x = np.zeros((48000, 2)); x[100] = 0.8
for rate in (1, 8):
    try:
        roomstat.analyse(x, rate)
    except ValueError as error:
        print("ValueError", rate, error)
try:
    roomstat.analyse_file(sys.argv[1])
except ValueError as error:
    print("ValueError file", error)
"""


def test_a_low_rate_is_refused_before_any_allocation(tmp_path):
    """An array or a file header at 1 or 8 Hz would ask for gigabytes once
    resampled: under a memory limit each gives a clean ValueError."""
    shorts = np.zeros((48000, 2), dtype=np.int16)
    shorts[100] = 26000
    write_wav(str(tmp_path / "lr8.wav"), shorts, 8)
    env = dict(os.environ)
    proc = subprocess.run([sys.executable, "-c", LOW_RATE, str(tmp_path / "lr8.wav")], capture_output=True,
                          text=True, env=env, timeout=120)
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    assert [line.split()[:2] for line in lines] == [["ValueError", "1"], ["ValueError", "8"],
                                                    ["ValueError", "file"]], proc.stdout
    assert all("lowest rate that is resampled" in line for line in lines)


MEMORY = """
import resource, numpy as np, roomstat
n = 20_000_000  # 7.5 minutes at 44.1 kHz: the analysis needs far more than its 80 MB
x = np.random.default_rng(1).standard_normal(n) * (np.exp(-np.arange(n) / 8000.0) + 1e-4)
with open("/proc/self/status") as status:
    size = [int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize")][0]
limit = size + (300 << 20)
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
try:
    roomstat.analyse(x, 44100)
except MemoryError as error:
    print("MemoryError", error)
"""


def test_memory_running_out_is_a_memory_error():
    proc = subprocess.run([sys.executable, "-c", MEMORY], capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.startswith("MemoryError") and "not enough memory" in proc.stdout


def test_one_bad_file_is_one_failed_row(tmp_path):
    from distributed import Client, LocalCluster

    odd = os.fsencode(str(tmp_path)) + b"/r\xff.wav"
    shutil.copyfile(example(NAMES[2]), odd)
    (tmp_path / "not-audio.wav").write_bytes(b"RIFF....WAVE")
    shorts = np.zeros((4800, 1), dtype=np.int16)
    shorts[10] = 20000
    write_wav(str(tmp_path / "low.wav"), shorts, 8)
    paths = [odd, tmp_path / "missing.wav", str(tmp_path / "not-audio.wav"), str(tmp_path), "-",
             str(tmp_path / "low.wav"), example(NAMES[2])]
    with LocalCluster(n_workers=1, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        table = roomstat.batch(paths, client=client, partitions=3)
    by_file = table.groupby("file", sort=False)["status"].first()
    names = [os.fsdecode(os.fspath(p)) for p in paths]
    assert list(by_file.index) == names
    assert by_file.tolist() == ["ok", "unreadable", "unreadable", "unreadable", "unreadable", "unreadable", "ok"]


def test_readme_dask_example_runs_as_a_script(tmp_path):
    """The README's batch example, as written, from a script file (Dask's
    spawned workers import the script: it needs the __main__ guard)."""
    with open(README, encoding="utf-8") as f:
        blocks = re.findall(r"```python\n(.*?)```", f.read(), re.S)
    script = [b for b in blocks if "roomstat.batch(" in b and "__main__" in b]
    assert script, "the README has no batch example with the __main__ guard"
    (tmp_path / "batch_example.py").write_text(script[0])
    repo = os.path.join(os.path.dirname(__file__), "..", "..")
    proc = subprocess.run([sys.executable, str(tmp_path / "batch_example.py")], capture_output=True, text=True,
                          cwd=repo, timeout=300, stdin=subprocess.DEVNULL)
    assert proc.returncode == 0, proc.stderr
    assert "living_room.wav" in proc.stdout


def band_limited(signal, low_hz, high_hz, rate):
    """`signal` without anything outside low_hz..high_hz (an ideal band-pass): what a sweep measures."""
    n = 2 * signal.size
    spectrum = np.fft.rfft(signal, n)
    hz = np.fft.rfftfreq(n, 1 / rate)
    spectrum[(hz < low_hz) | (hz > high_hz)] = 0
    return np.fft.irfft(spectrum, n)[: signal.size]


def test_sweep_convolved_with_a_room_deconvolves_back_to_it():
    shorts, rate = read_wav(example("living_room.wav"))
    room = shorts[:, 0] / 32768.0
    signal, parameters = roomstat.sweep(start_hz=50, end_hz=18000, seconds=3, rate=rate, silence=2)
    assert parameters.rate == rate and signal.dtype == np.float32
    assert signal.size == round((3 + 2) * rate)
    assert roomstat.SweepParameters.from_json(parameters.to_json()) == parameters
    # "Recorded": the sweep through the room (FFT convolution), with noise 80 dB down.
    n = signal.size + room.size - 1
    recorded = np.fft.irfft(np.fft.rfft(signal, 2 * n) * np.fft.rfft(room, 2 * n), 2 * n)[:n]
    recorded += np.random.default_rng(5).standard_normal(n) * 1e-4 * np.abs(recorded).max()
    response, facts = roomstat.deconvolve(recorded, parameters, facts=True)
    assert response.ndim == 1 and response.size == 2 * rate
    assert facts["startHz"] == 50 and facts["sweepsAveraged"] == 1
    reference = band_limited(room, 50, 18000, rate)
    lead, peak = round(0.005 * rate), int(np.argmax(np.abs(reference)))
    compared = int(0.5 * rate)

    def correlation(shift):
        a = response[lead - peak + shift: lead - peak + shift + compared]
        b = reference[:compared]
        return np.dot(a, b) / np.sqrt(np.dot(a, a) * np.dot(b, b))

    # The direct sound lies 5 ms in, to a sample (the largest magnitude of the
    # band-limited response may fall a sample from the original's).
    best = max(range(-1, 2), key=correlation)
    assert correlation(best) > 0.998
    # analyse(sweep=...) is the analysis of the deconvolved response.
    direct = roomstat.analyse(recorded, rate, sweep=parameters)
    np.testing.assert_array_equal(direct.values, roomstat.analyse(response, rate).values)
    assert direct.deconvolution == facts


@pytest.mark.parametrize("call,error,words", [
    (lambda: roomstat.sweep(start_hz=0), ValueError, ""),
    (lambda: roomstat.sweep(seconds="10"), TypeError, "seconds"),
    (lambda: roomstat.sweep(repetitions=1.5), TypeError, "repetitions"),
    (lambda: roomstat.deconvolve(np.zeros(100), roomstat.SweepParameters(seconds=1, silence=1)), ValueError, ""),
    (lambda: roomstat.deconvolve(np.zeros(100), {"rate": 48000}), TypeError, "SweepParameters"),
])
def test_sweep_arguments_are_checked(call, error, words):
    with pytest.raises(error, match=words):
        call()
