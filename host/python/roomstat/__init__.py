"""Room-acoustical parameters of impulse responses, computed by the Roomstat plug-in.

The module drives the plug-in exactly as the ``roomstat`` program does (same
settings dialog, same run, same json writer), so every value, state and
reason equals the program's json output.

    >>> import roomstat
    >>> result = roomstat.analyse_file("examples/binaural_clap.wav")
    >>> result.value("T30", 1000, channel="left")
    0.70825988...
    >>> result.value("T30", 1000, channel="left", method="iso")   # the ISO 3382 evaluation

* :func:`analyse` takes a numpy array (1-D or (frames, 2); float in [-1, 1]
  full scale, or int16 / int8 / int32 samples) and a sampling rate;
* :func:`analyse_file` reads a file through libsndfile, as the program does;
* every :class:`Result` holds the plug-in's values and, beside them and never
  mixed with them, the host's ISO 3382 evaluation, each value with its
  validity and warnings;
* :func:`table` lays results out one row per file, channel and method, a
  column per ``parameter@band``; :func:`batch` does the same for many files
  on a Dask cluster;
* :func:`sweep` makes an exponential sine sweep, :func:`deconvolve` turns its
  recording into an impulse response (``analyse(..., sweep=...)`` both).

A wrong argument raises TypeError or ValueError naming it, a file that
cannot be opened an OSError, a lack of memory MemoryError, and an analysis
without results :class:`AnalysisError` with the program's message. The
interpreter lock is released while the plug-in runs, so threads analyse in
parallel.
"""

import dataclasses
import errno
import json
import math
import os
from typing import Any, Iterable, Sequence

import numpy as np

from . import _roomstat
from ._names import (ISO_PARAMETERS, ISO_SINGLE_NUMBERS, ISO_UNITS, PAIR_ISO_PARAMETERS, PAIR_PARAMETERS,
                     PARAMETER_COLUMNS, PARAMETERS, UNITS, python_words)
from ._result import REASONS, Result, sentence

__all__ = ["AnalysisError", "Result", "SweepParameters", "analyse", "analyse_file", "batch", "deconvolve",
           "sweep", "table", "REASONS", "PARAMETERS", "ISO_PARAMETERS", "ISO_SINGLE_NUMBERS",
           "PAIR_PARAMETERS", "PAIR_ISO_PARAMETERS"]
__version__ = _roomstat.__version__

#: What the settings dialog holds: RTU's (lowest, highest) level in dB and the
#: least span between its ends, the (lowest, highest) threshold, and the
#: largest boost in dB either way.
RTU_RANGE_DB: tuple[float, float] = _roomstat.RTU_RANGE_DB
RTU_MIN_SPAN_DB: float = _roomstat.RTU_MIN_SPAN_DB
THRESHOLD_RANGE: tuple[int, int] = _roomstat.THRESHOLD_RANGE
BOOST_LIMIT_DB: float = _roomstat.BOOST_LIMIT_DB

# Sample types the plug-in is offered as such (an editor's 8 and 16-bit
# samples); everything else becomes 32-bit float in the 16-bit scale.
_FULL_SCALE = 32768.0
_MAX_FRAMES = 0x7FFFFFFF // 8


class AnalysisError(RuntimeError):
    """An analysis that gave no results.

    Attributes: ``status`` ("unreadable", "no results", "refused", ... as
    in the json), ``reason`` (the program's explanation, its options written
    as this module's keyword arguments), ``messages`` (the plug-in's message
    boxes as (caption, text) pairs) and ``result`` (the :class:`Result`,
    without values, for :func:`table`).
    """

    def __init__(self, result: "Result"):
        self.result = result
        self.status: str = result.status
        self.reason: str = result.error
        self.messages: list[tuple[str, str]] = result.messages
        text = "%s: %s" % (result.source, result.error)
        if self.messages:
            text += " (" + "; ".join(c + ": " + t if c else t for c, t in self.messages) + ")"
        super().__init__(text)

    def __reduce__(self):
        return AnalysisError, (self.result,)


def _number(name: str, value: Any) -> str:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError("%s must be a number, not %r" % (name, value))
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    if not math.isfinite(value):
        raise ValueError("%s must be finite, not %r" % (name, value))
    # Whole numbers as the dialog's whole-number fields take them (2000.0 as "2000").
    return str(int(value)) if float(value).is_integer() else repr(float(value))


def _flag(name: str, value: Any) -> bool:
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError("%s must be True or False, not %r" % (name, value))
    return bool(value)


def _choice(name: str, value: Any, choices: Sequence[str]) -> str:
    if not isinstance(value, str):
        raise TypeError("%s must be one of %s, not %r" % (name, ", ".join(map(repr, choices)), value))
    if value not in choices:
        raise ValueError("%s must be one of %s, not %r" % (name, ", ".join(map(repr, choices)), value))
    return value


def _pair(name: str, value: Any, count: int) -> Sequence:
    if isinstance(value, (str, bytes)) or not isinstance(value, Sequence):
        raise TypeError("%s must be a tuple of %d numbers, not %r" % (name, count, value))
    if len(value) != count:
        raise ValueError("%s must be a tuple of %d numbers, not %r" % (name, count, value))
    return value


def _words(third_octave: bool = False, rtu: tuple[float, float] = (-5, -15), threshold: float | str = "auto",
           y_threshold: float | None = None, boost_db: float = 3, noise_correction: bool = True,
           resample: bool = True, evaluation: str = "both", pair: str | None = None,
           figure8_gain: float | None = None) -> list[str]:
    """The analysis settings as the program's option words; TypeError or
    ValueError naming the argument for a wrong one."""
    rtu = _pair("rtu", rtu, 2)
    if isinstance(threshold, str) and threshold != "auto":
        raise TypeError("threshold must be a number or 'auto', not %r" % (threshold,))
    words = ["--third-octave" if _flag("third_octave", third_octave) else "--octave",
             "--rtu", _number("rtu start", rtu[0]) + "," + _number("rtu end", rtu[1]),
             "--threshold", threshold if threshold == "auto" else _number("threshold", threshold),
             "--boost", _number("boost_db", boost_db),
             "--noise-correction" if _flag("noise_correction", noise_correction) else "--no-noise-correction",
             "--evaluation", _choice("evaluation", evaluation, ("plugin", "iso", "both"))]
    if not _flag("resample", resample):
        words.append("--native-rate")
    if y_threshold is not None:
        words += ["--y-threshold", _number("y_threshold", y_threshold)]
    if pair is not None:
        words += ["--pair", _choice("pair", pair, ("binaural", "wy"))]
    if figure8_gain is not None:
        words += ["--figure8-gain", _number("figure8_gain", figure8_gain)]
    return words


def _selection_words(channels: Sequence[int] | None = None, start: float | None = None,
                     end: float | None = None, frames: tuple[int, int] | None = None) -> list[str]:
    words = []
    if channels is not None:
        if isinstance(channels, (int, np.integer)) and not isinstance(channels, bool):
            channels = [channels]
        if isinstance(channels, (str, bytes)) or not isinstance(channels, Sequence):
            raise TypeError("channels must be a list of one or two channel numbers, not %r" % (channels,))
        words += ["--channels", ",".join(_number("channels", c) for c in channels)]
    if start is not None:
        words += ["--start", _number("start", start)]
    if end is not None:
        words += ["--end", _number("end", end)]
    if frames is not None:
        frames = _pair("frames", frames, 2)
        words += ["--frames", "%s:%s" % (_number("frames", frames[0]), _number("frames", frames[1]))]
    return words


def _native(call, *args, **keywords):
    """A native call whose usage errors speak of this module's keyword arguments."""
    try:
        return call(*args, **keywords)
    except ValueError as error:
        raise ValueError(python_words(str(error))) from None


def _outcome(native: tuple, words: list[str], source: str | None = None) -> Result:
    text, block, arrivals, extra = native
    result = Result(json.loads(text)[0], block, arrivals, extra, source)
    result._failure = extra.get("failure", "")
    result.evaluation = words[words.index("--evaluation") + 1]
    return result


def _checked(result: Result) -> Result:
    if not result.ok:
        failure = getattr(result, "_failure", "")
        # The host's bad_alloc, or the plug-in's own message that it could not allocate.
        if failure == "memory" or any("not enough memory" in text for _, text in result.messages):
            raise MemoryError(str(AnalysisError(result)))
        if failure == "bounds":
            raise ValueError("%s: %s" % (result.source, result.error))
        raise AnalysisError(result)
    return result


def _offered_samples(samples: Any) -> tuple[np.ndarray, int, bool, str]:
    """The array as the plug-in is offered it: (frames, channels) float32 in
    the 16-bit scale, the width offered, whether the source is float, the dtype's name."""
    array = np.asarray(samples)
    kind = array.dtype
    if array.ndim == 1:
        array = array[:, np.newaxis]
    if array.ndim != 2:
        raise ValueError("samples must be 1-D (mono) or (frames, channels), not %d-D" % array.ndim)
    frames, channels = array.shape
    if channels > 2:
        hint = " (a (channels, frames) array needs .T)" if frames <= 2 else ""
        raise ValueError("samples have %d channels; the analysis takes one or two%s" % (channels, hint))
    if frames == 0 or channels == 0:
        raise ValueError("samples hold no sample frames")
    if frames > _MAX_FRAMES:
        raise ValueError("samples are too long for one analysis (%d frames)" % frames)
    if kind.kind == "i" and kind.itemsize in (1, 2):
        return np.ascontiguousarray(array, dtype=np.float32), kind.itemsize * 8, False, kind.name
    if kind.kind == "i" and kind.itemsize == 4:
        # As a 32-bit PCM file reads: full scale 2^31 becomes 32768.
        return (array / 65536.0).astype(np.float32), 32, False, kind.name
    if kind.kind == "f":
        bad = ~np.isfinite(array)
        if bad.any():
            frame, channel = np.argwhere(bad)[0]
            raise ValueError("frame %d of channel %d is not a finite number "
                             "(NaN or infinite samples cannot be analysed)" % (frame, channel + 1))
        with np.errstate(over="ignore"):
            offered = (array.astype(np.float64) * _FULL_SCALE).astype(np.float32)
        if not np.isfinite(offered).all():
            raise ValueError("samples lie beyond the range of single-precision samples")
        return offered, 32, True, kind.name
    raise TypeError("samples must be floating-point, int8, int16 or int32, not %s" % kind)


def analyse(samples: np.ndarray, rate: int, *, third_octave: bool = False,
            rtu: tuple[float, float] = (-5, -15), threshold: float | str = "auto",
            y_threshold: float | None = None, boost_db: float = 3, noise_correction: bool = True,
            resample: bool = True, evaluation: str = "both", pair: str | None = None,
            figure8_gain: float | None = None, curves: bool = False,
            sweep: "SweepParameters | None" = None, name: str = "<array>") -> Result:
    """Analyse an impulse response held in an array.

    samples
        1-D (mono) or (frames, 2) (left, right; for LF and IACC: W and Y, or
        the two ears). float32/float64 in [-1, 1] full scale (louder float
        input is scaled down to the 16-bit peak, which changes no parameter),
        or int16 / int8 / int32 samples, offered as an editor offers files of
        that width. Any memory layout is accepted. With ``sweep``, the
        recording of that sweep instead (see :func:`deconvolve`).
    rate
        Sampling rate in Hz. Below 1000 Hz a rate is refused (ValueError)
        before anything is allocated, unless ``resample=False``.
    third_octave
        27 one-third-octave bands instead of octave bands.
    rtu
        The user decay range (start, end) in dB, e.g. (-5, -25).
    threshold
        First-arrival threshold of the only channel (or W) in the 16-bit scale
        (0..32767), or "auto": 20 dB below the peak of the weaker channel.
    y_threshold
        Threshold of the second channel (two channels only); unticks the dialog's Lock.
    boost_db
        Gain of W's energy in the plug-in's LF, dB.
    noise_correction
        Subtract the noise floor before the plug-in's decay fits.
    resample
        Resample to 44.1 kHz first, the rate the plug-in's filters are
        designed for (at another rate every band centre moves with the rate;
        ``centres_hz`` tells where they lie).
    evaluation
        "both" (the plug-in's values and the ISO 3382 evaluation), "plugin" or "iso".
    pair
        What the two channels are, for the ISO 3382-1 spatial values:
        "binaural" (IACC_E, IACC_L, IACC_A) or "wy" (omni first,
        figure-of-eight second: J_LF, J_LFC); None: not declared.
    figure8_gain
        dB added to the figure-of-eight's level (``pair="wy"`` only).
    curves
        Keep the decay curves for :meth:`Result.level_curves` and :meth:`Result.decay_curves`.
    sweep
        :class:`SweepParameters` of the sweep that ``samples`` recorded: the
        response is deconvolved first (``Result.deconvolution`` holds the facts).
    name
        What ``to_dict()["file"]`` says.

    Raises TypeError or ValueError naming an unusable argument, MemoryError
    when the memory runs out, and :class:`AnalysisError` when the plug-in
    gives no results (its message is in the error).
    """
    facts = None
    if sweep is not None:
        samples, facts = deconvolve(samples, sweep, rate=rate, facts=True)
    if isinstance(rate, (bool, np.bool_)) or not isinstance(rate, (int, np.integer)) or rate <= 0:
        raise ValueError("rate must be a positive whole number of Hz, not %r" % (rate,))
    offered, bits, float_source, dtype = _offered_samples(samples)
    if y_threshold is not None and offered.shape[1] == 1:
        raise ValueError("y_threshold is the second channel's threshold; samples have one channel")
    if not isinstance(name, str):
        raise TypeError("name must be a str, not %r" % (name,))
    words = _words(third_octave, rtu, threshold, y_threshold, boost_db, noise_correction, resample,
                   evaluation, pair, figure8_gain)
    native = _native(_roomstat.analyse_samples, offered, int(rate), bits, float_source, name, dtype, words,
                     _flag("curves", curves))
    result = _outcome(native, words)
    result.deconvolution = facts
    return _checked(result)


def _fspath(path: Any) -> bytes:
    """A path (str, bytes or os.PathLike, any name the file system holds) as the file system's bytes."""
    try:
        path = os.fspath(path)
    except TypeError:
        raise TypeError("path must be a str, bytes or os.PathLike, not %r" % (path,)) from None
    return os.fsencode(path)


def analyse_file(path: str | bytes | os.PathLike, *, third_octave: bool = False,
                 rtu: tuple[float, float] = (-5, -15), threshold: float | str = "auto",
                 y_threshold: float | None = None, boost_db: float = 3, noise_correction: bool = True,
                 resample: bool = True, evaluation: str = "both", pair: str | None = None,
                 figure8_gain: float | None = None, channels: Sequence[int] | None = None,
                 start: float | None = None, end: float | None = None,
                 frames: tuple[int, int] | None = None, curves: bool = False) -> Result:
    """Analyse an impulse-response file, read through libsndfile as ``roomstat`` reads it.

    ``path`` is a str, bytes or os.PathLike (names that are not UTF-8
    included: ``Result.source`` is ``os.fsdecode`` of it). Settings as for
    :func:`analyse`; the selection as the program's options: ``channels``
    (1-based, one or two: needed for files with more than two), ``start`` /
    ``end`` in seconds, or ``frames=(first, last)`` (0-based, inclusive).
    ``to_dict()`` equals the object that ``roomstat --format json`` writes
    for the file with the same options. Raises FileNotFoundError or another
    OSError for a file that cannot be opened, ValueError for standard input
    ("-"), for wrong options and for a rate or length that cannot be
    resampled, MemoryError when the memory runs out, and
    :class:`AnalysisError` when the file cannot be decoded or the plug-in
    gives no results.
    """
    name = _fspath(path)
    words = _file_words(third_octave=third_octave, rtu=rtu, threshold=threshold, y_threshold=y_threshold,
                        boost_db=boost_db, noise_correction=noise_correction, resample=resample,
                        evaluation=evaluation, pair=pair, figure8_gain=figure8_gain, channels=channels,
                        start=start, end=end, frames=frames)
    _openable(name)
    return _checked(_analyse_file(name, words, _flag("curves", curves)))


def _openable(name: bytes) -> None:
    """The OSError that opening the file would give, raised before the analysis."""
    if name == b"-":
        raise ValueError("path '-': standard input is not read from Python; pass the samples to analyse()")
    shown = os.fsdecode(name)
    if os.path.isdir(name):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), shown)
    with open(name, "rb", opener=lambda p, flags: os.open(p, flags | os.O_NONBLOCK)):
        pass


def _file_words(*, channels=None, start=None, end=None, frames=None, **settings) -> list[str]:
    """The options of :func:`analyse_file` (same defaults) as the program's option words."""
    return _words(**settings) + _selection_words(channels, start, end, frames)


def _analyse_file(name: bytes, words: list[str], curves: bool = False) -> Result:
    if name == b"-":
        raise ValueError("path '-': standard input is not read from Python")
    return _outcome(_native(_roomstat.analyse_file, name, words, curves), words, os.fsdecode(name))


_META_COLUMNS = ["file", "channel", "method", "status", "error", "warning", "w_threshold", "y_threshold"]


def _plugin_row(result: Result, c: int, row: dict) -> None:
    notes = []
    for k, column in enumerate(PARAMETER_COLUMNS):
        for b, band in enumerate(result.bands):
            row[column + "@" + band] = result.values[c, b, k]
            if result.warnings[c, b, k]:
                notes.append("%s@%s: %s" % (column, band, result.warnings[c, b, k]))
    if len(result.channels) == 2:
        for i, parameter in enumerate(PAIR_PARAMETERS):
            for b, band in enumerate(result.bands):
                row[parameter + "@" + band] = result.pair_values[i, b]
                if result.pair_warnings[i, b]:
                    notes.append("%s@%s: %s" % (parameter, band, result.pair_warnings[i, b]))
    row["warning"] = "; ".join(notes)


def _iso_row(result: Result, c: int, row: dict, include_invalid: bool) -> None:
    notes = []

    def cell(name, band, value, valid, reasons, warning):
        row[name + "@" + band] = value if valid or include_invalid else np.nan
        if not valid and not np.isnan(value):
            notes.append("%s@%s not valid: %s" % (name, band, "; ".join(sentence(r) for r in reasons.split(","))))
        if warning:
            notes.append("%s@%s: %s" % (name, band, warning))

    for k, name in enumerate(ISO_PARAMETERS):
        for b, band in enumerate(result.bands):
            cell(name, band, result.iso_values[c, b, k], result.iso_valid[c, b, k], result.iso_reasons[c, b, k],
                 result.iso_warnings[c, b, k])
    for s, name in enumerate(ISO_SINGLE_NUMBERS):
        cell(name, "single", result.iso_single_numbers[c, s], result.iso_single_valid[c, s],
             result.iso_single_reasons[c, s], None)
    if result.pair_iso is not None:
        for i, name in enumerate(PAIR_ISO_PARAMETERS):
            for b, band in enumerate(result.bands):
                if not np.isnan(result.pair_iso_values[i, b]):
                    cell(name, band, result.pair_iso_values[i, b], result.pair_iso_valid[i, b],
                         result.pair_iso_reasons[i, b], None)
        for name, (value, valid, reasons) in result.pair_iso_single_numbers.items():
            cell(name, "single", value, valid, ",".join(reasons), None)
    row["warning"] = "; ".join(notes)


def _rows(result: Result, include_invalid: bool = False) -> list[dict]:
    """Rows per channel and method (one row for a failed file): the wide layout of :func:`table`."""
    if not result.ok:
        return [{"file": result.source, "channel": "", "method": "", "status": result.status,
                 "error": result.error, "warning": ""}]
    rows = []
    stereo = len(result.channels) == 2
    for c, channel in enumerate(result.channels):
        base = {"file": result.source, "channel": channel, "status": result.status, "error": "",
                "w_threshold": result.settings["wThreshold"],
                "y_threshold": result.settings["yThreshold"] if stereo else np.nan}
        if getattr(result, "evaluation", "both") != "iso" or not result.has_iso:
            rows.append(dict(base, method="plugin"))
            _plugin_row(result, c, rows[-1])
        if result.has_iso:
            rows.append(dict(base, method="iso3382"))
            _iso_row(result, c, rows[-1], include_invalid)
    return rows


def _frame(rows: list[dict]):
    import pandas as pd

    columns = dict.fromkeys(_META_COLUMNS)
    for row in rows:
        columns.update(dict.fromkeys(row))
    data = {name: [row.get(name, np.nan) for row in rows] for name in columns}
    return pd.DataFrame(data, columns=list(columns))


def table(results: Iterable[Result], *, include_invalid: bool = False):
    """A pandas DataFrame of results in the wide layout: one row per response,
    channel and method (``file``, ``channel`` mono/left/right, ``method``
    "plugin" or "iso3382", ``status``, ``error``, ``warning`` (every warning
    of the row's values, and for ISO rows every invalid value with its
    reasons, as "T30@500: sentence"), the thresholds used), a column per
    ``parameter@band`` with IEC band labels and ISO names ("T30@1000",
    "C50@broadband", "T30mid@single" on ISO rows), NaN where no value was
    computed and, unless ``include_invalid``, where an ISO value is not
    valid. The plug-in's inter-channel values (LF, IACC, ...) stand on both
    plug-in rows of a stereo response, a declared pair's ISO values on both
    ISO rows. A failed response is one row with its status and error."""
    include_invalid = _flag("include_invalid", include_invalid)
    rows: list[dict] = []
    for result in results:
        rows += _rows(result, include_invalid)
    return _frame(rows)


def batch(paths: Iterable[str | bytes | os.PathLike], *, client=None, partitions: int | None = None,
          include_invalid: bool = False, **options):
    """Analyse many files on a Dask cluster; returns :func:`table`'s DataFrame, in the order of ``paths``.

    ``options`` are those of :func:`analyse_file`, checked here before any
    work is sent. ``client`` is a ``dask.distributed.Client`` (e.g.
    ``Client("tcp://scheduler:8786")``; the workers need this package
    importable); without one, a local cluster of one single-threaded worker
    process per core runs for this call (a script that calls it needs the
    ``if __name__ == "__main__":`` guard, as every script that starts
    processes). A file that fails, for whatever reason, is one row with its
    status and error; the batch goes on.
    """
    from ._batch import run_batch

    if partitions is not None:
        if isinstance(partitions, bool) or not isinstance(partitions, (int, np.integer)):
            raise TypeError("partitions must be a whole number, not %r" % (partitions,))
        if partitions < 1:
            raise ValueError("partitions must be at least 1, not %d" % partitions)
    unknown = set(options) - set(_ANALYSE_FILE_OPTIONS)
    if unknown:
        raise TypeError("batch() got unknown options: %s (the options of analyse_file are: %s)"
                        % (", ".join(sorted(unknown)), ", ".join(_ANALYSE_FILE_OPTIONS)))
    curves = options.pop("curves", False)
    if curves:
        raise ValueError("curves=True is not kept in a table; use analyse_file")
    words = _file_words(**options)
    _native(_roomstat.check_words, words)  # every option checked before any work is sent
    names = [os.fsdecode(_fspath(p)) for p in paths]
    return run_batch(names, client, partitions, words, _flag("include_invalid", include_invalid))


_ANALYSE_FILE_OPTIONS = ("third_octave", "rtu", "threshold", "y_threshold", "boost_db", "noise_correction",
                         "resample", "evaluation", "pair", "figure8_gain", "channels", "start", "end", "frames",
                         "curves")

from ._sweep import SweepParameters, deconvolve, sweep  # noqa: E402  (uses analyse's helpers)
