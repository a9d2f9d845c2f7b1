"""Tests of the roomstat Python module against the roomstat program it shares its core with.

Environment: ROOMSTAT_CLI (the program; default: roomstat on PATH), ROOMSTAT_EXAMPLES
(default: the repository's examples/). The module must be importable (PYTHONPATH=<build>/python).
"""
import json
import os
import pickle
import shutil
import subprocess
import threading
import wave

import numpy as np
import pytest

import roomstat

EXAMPLES = os.environ.get("ROOMSTAT_EXAMPLES",
                          os.path.join(os.path.dirname(__file__), "..", "..", "examples"))
NAMES = ["binaural_clap.wav", "living_room.wav", "seminar_room_clap.wav"]
OPTION_SETS = [  # (module keywords, the program's options)
    ({}, []),
    ({"third_octave": True, "noise_correction": False, "rtu": (-5, -25), "threshold": 2000},
     ["--third-octave", "--no-noise-correction", "--rtu", "-5,-25", "--threshold", "2000"]),
    ({"y_threshold": 500, "boost_db": 0, "start": 0.01, "channels": [1], "resample": False},
     ["--y-threshold", "500", "--boost", "0", "--start", "0.01", "--channels", "1", "--native-rate"]),
]


def example(name):
    return os.path.join(EXAMPLES, name)


def cli_json(*args):
    program = os.environ.get("ROOMSTAT_CLI") or shutil.which("roomstat")
    assert program, "set ROOMSTAT_CLI to the roomstat program"
    proc = subprocess.run([program, "--format", "json", "-q", *args], stdout=subprocess.PIPE, check=False)
    return json.loads(proc.stdout)


def read_wav(path):
    with wave.open(path) as w:
        assert w.getsampwidth() == 2
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").reshape(-1, w.getnchannels())
        return data, w.getframerate()


def write_wav(path, samples, rate):
    with wave.open(path, "wb") as w:
        w.setnchannels(samples.shape[1])
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.astype("<i2").tobytes())


def same_results(a, b):
    """Values (exactly), states and reasons of two results are the same."""
    np.testing.assert_array_equal(a.values, b.values)
    np.testing.assert_array_equal(a.computed, b.computed)
    np.testing.assert_array_equal(a.reasons, b.reasons)
    np.testing.assert_array_equal(a.pair_values, b.pair_values)
    np.testing.assert_array_equal(a.pair_reasons, b.pair_reasons)
    np.testing.assert_array_equal(a.first_arrival, b.first_arrival)


@pytest.mark.parametrize("keywords,args", OPTION_SETS)
@pytest.mark.parametrize("name", NAMES)
def test_file_equals_program_json(name, keywords, args):
    try:
        result = roomstat.analyse_file(example(name), **keywords)
    except roomstat.AnalysisError as error:  # a refusal must be the program's too
        result = error.result
    expected = cli_json(*args, example(name))[0]
    assert result.to_dict() == expected
    # The arrays say what the json says, cell by cell.
    for c, channel in enumerate(expected.get("channels", [])):
        for b, band in enumerate(channel["bands"]):
            for k, parameter in enumerate(roomstat.PARAMETERS):
                cell = band[parameter]
                assert result.computed[c, b, k] == cell["computed"]
                assert result.reasons[c, b, k] == cell.get("reason", "")
                want = np.float32(cell["value"]) if cell["computed"] else np.nan
                np.testing.assert_equal(result.values[c, b, k], want)
    for b, band in enumerate(expected["interChannel"] if len(expected.get("channels", [])) == 2 else []):
        for i, parameter in enumerate(roomstat.PAIR_PARAMETERS):
            assert result.pair_reasons[i, b] == band[parameter].get("reason", "")
            value = band[parameter]["value"]
            np.testing.assert_equal(result.pair_values[i, b], np.nan if value is None else value)


@pytest.mark.parametrize("name", NAMES)
def test_arrays_of_every_type_equal_the_file(name):
    shorts, rate = read_wav(example(name))
    from_file = roomstat.analyse_file(example(name))
    # Lossless forms of the same 16-bit samples are the same numbers to the plug-in.
    forms = [shorts, shorts.astype(">i2"), shorts / 32768.0, (shorts / 32768.0).astype(np.float32),
             shorts.astype(np.int32) << 16, np.asfortranarray(shorts), np.repeat(shorts, 2, axis=0)[::2]]
    if shorts.shape[1] == 1:
        forms.append(shorts[:, 0])
    for samples in forms:
        same_results(roomstat.analyse(samples, rate), from_file)


def test_first_arrival_lies_in_the_file_whatever_the_selection():
    whole = roomstat.analyse_file(example(NAMES[0]), threshold=2000)
    assert (whole.first_arrival > 300).all()
    part = roomstat.analyse_file(example(NAMES[0]), threshold=2000, frames=(300, 20000))
    np.testing.assert_array_equal(part.first_arrival, whole.first_arrival)
    np.testing.assert_allclose(part.first_arrival_s, whole.first_arrival / 44100)


@pytest.mark.parametrize("samples,rate,error,words", [
    (np.zeros(100, dtype=np.complex64), 44100, TypeError, "int16"),
    (np.array(["0.5"] * 100), 44100, TypeError, "int16"),
    (np.zeros(100, dtype=bool), 44100, TypeError, "not bool"),
    (np.zeros(100, dtype=np.uint16), 44100, TypeError, "uint16"),
    (np.zeros((100, 3)), 44100, ValueError, "3 channels"),
    (np.zeros((2, 100)), 44100, ValueError, ".T"),
    (np.zeros((10, 2, 2)), 44100, ValueError, "3-D"),
    (np.zeros((0, 2)), 44100, ValueError, "no sample frames"),
    (np.array([0.5, np.nan, 0.1]), 44100, ValueError, "frame 1 of channel 1 is not a finite number"),
    (np.array([[0.5, 0.1], [0.1, np.inf]]), 44100, ValueError, "frame 1 of channel 2"),
    (np.ones(100), 0, ValueError, "rate"),
    (np.ones(100), 44100.5, ValueError, "rate"),
])
def test_bad_arrays_raise_clear_errors(samples, rate, error, words):
    with pytest.raises(error, match=words.replace(".", r"\.")):
        roomstat.analyse(samples, rate)


@pytest.mark.parametrize("keywords,error,words", [
    ({"rtu": ("a", -15)}, TypeError, "rtu start must be a number"),
    ({"rtu": (-5,)}, ValueError, "rtu must be"),
    ({"threshold": "high"}, TypeError, "threshold must be a number"),
    ({"boost_db": True}, TypeError, "boost_db"),
    ({"boost_db": float("nan")}, ValueError, "finite"),
    ({"start": -1}, ValueError, "start= needs a time"),
    ({"start": 0.5, "frames": (0, 10)}, ValueError, "frames= cannot be combined"),
])
def test_bad_options_raise_clear_errors(keywords, error, words):
    with pytest.raises(error, match=words):
        roomstat.analyse_file(example(NAMES[0]), **keywords)


def test_failures_raise_analysis_error_with_the_programs_reason(tmp_path):
    with pytest.raises(roomstat.AnalysisError) as raised:
        roomstat.analyse(np.linspace(0.1, 0.0, 4410), 44100, threshold=32767)
    assert raised.value.status == "no results" and raised.value.messages
    assert raised.value.messages[0][1] in str(raised.value)
    assert str(pickle.loads(pickle.dumps(raised.value))) == str(raised.value)  # crosses to Dask clients
    (tmp_path / "noise.wav").write_bytes(b"RIFF not a sound file")
    with pytest.raises(roomstat.AnalysisError) as raised:
        roomstat.analyse_file(tmp_path / "noise.wav")
    assert raised.value.status == "unreadable"
    assert raised.value.reason == cli_json(str(tmp_path / "noise.wav"))[0]["error"]


def test_threads_give_the_serial_results():
    serial = [roomstat.analyse_file(example(name)) for name in NAMES]
    parallel = [None] * len(NAMES)

    def work(i):
        parallel[i] = roomstat.analyse_file(example(NAMES[i]))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(NAMES))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for a, b in zip(serial, parallel):
        assert a.to_dict() == b.to_dict()


def test_batch_on_a_local_cluster_equals_a_serial_loop(tmp_path):
    from distributed import Client, LocalCluster

    rng = np.random.default_rng(17)
    rate = 44100
    t = np.arange(int(0.3 * rate)) / rate
    paths = []
    for i in range(240):
        channels = 1 + i % 2
        rt = rng.uniform(0.1, 0.6)  # seconds: -60 dB over rt
        decay = rng.standard_normal((t.size, channels)) * 10 ** (-3 * t / rt)[:, np.newaxis]
        paths.append(str(tmp_path / ("r%03d.wav" % i)))
        write_wav(paths[-1], np.round(decay / np.abs(decay).max() * 30000), rate)
    paths.insert(7, str(tmp_path / "missing.wav"))
    serial = []
    for path in paths[:7] + paths[8:]:
        try:
            serial.append(roomstat.analyse_file(path, rtu=(-5, -20)))
        except roomstat.AnalysisError as error:
            serial.append(error.result)
    with pytest.raises(FileNotFoundError):
        roomstat.analyse_file(paths[7])
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        table = roomstat.batch(paths, client=client, rtu=(-5, -20))
    # A row per channel and method (the plug-in's, ISO 3382), one for the missing file.
    assert table.shape[0] == 2 * (120 + 2 * 120) + 1
    assert table.loc[table["file"] == paths[7], "status"].tolist() == ["unreadable"]
    assert table.loc[table["method"] == "plugin", "C50@broadband"].notna().all()
    assert table.loc[table["method"] == "iso3382", "T20@1000"].notna().any()
    import pandas.testing

    # (The thresholds' column of the batch is float: it held the missing file's NaN.)
    pandas.testing.assert_frame_equal(table[table["file"] != paths[7]].reset_index(drop=True),
                                      roomstat.table(serial), check_dtype=False)
