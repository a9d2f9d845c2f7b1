"""Room-acoustical parameters of impulse responses, computed by the Roomstat plug-in.

The module drives the plug-in exactly as the ``roomstat`` program does (same
settings dialog, same run, same json writer), so every value, state and
reason equals the program's json output.

    >>> import roomstat
    >>> result = roomstat.analyse_file("examples/binaural_clap.wav")
    >>> result.value("RT30", "1k", channel="left")
    0.70825988...

* :func:`analyse` takes a numpy array (1-D or (frames, 2); float in [-1, 1]
  full scale, or int16 / int8 / int32 samples) and a sampling rate;
* :func:`analyse_file` reads a file through libsndfile, as the program does;
* :func:`table` lays results out one row per file and channel, a column per
  ``parameter@band``; :func:`batch` does the same for many files on a Dask
  cluster.

A failed analysis raises :class:`AnalysisError` with the program's message.
The interpreter lock is released while the plug-in runs, so threads analyse
in parallel.
"""

import json
import math
from typing import Any, Iterable, Sequence

import numpy as np

from . import _roomstat

__all__ = ["AnalysisError", "Result", "analyse", "analyse_file", "batch", "table", "REASONS", "PARAMETERS"]
__version__ = _roomstat.__version__

#: Every reason code a missing value can carry, with its sentence.
REASONS: dict[str, str] = _roomstat.reasons()
#: The eleven parameters of a band, in the order of the last axis of ``Result.values``.
PARAMETERS: tuple[str, ...] = tuple(name for name, _ in _roomstat.parameters())
#: Their units ("" for a correlation coefficient).
UNITS: tuple[str, ...] = tuple(unit for _, unit in _roomstat.parameters())
#: The inter-channel rows of a stereo result, in the order of ``Result.pair_values``.
PAIR_PARAMETERS: tuple[str, ...] = tuple(name for name, _ in _roomstat.pair_rows())
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
    in the json), ``reason`` (the program's explanation), ``messages`` (the
    plug-in's message boxes as (caption, text) pairs) and ``result`` (the
    :class:`Result`, without values, for :func:`table`).
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


class Result:
    """What the plug-in computed for one response.

    Arrays (``c`` channel: 0 mono or left, 1 right; ``b`` band row: 0 is
    the unfiltered "Lin", then octaves or third-octaves; ``k`` parameter in
    :data:`PARAMETERS` order):

    * ``values[c, b, k]``: float64 holding the plug-in's single-precision
      value exactly; NaN where no value was computed;
    * ``computed[c, b, k]``: bool; ``reasons[c, b, k]``: why not (a code of
      :data:`REASONS`, "" where computed);
    * ``pair_values[i, b]``, ``pair_computed``, ``pair_reasons``: the
      inter-channel rows of :data:`PAIR_PARAMETERS` (stereo only; shape
      (4, bands) of NaN / False for mono);
    * ``noise_corrected[b]``: whether the noise floor was subtracted;
    * ``bands`` (labels as the json has them), ``nominal_hz`` (IEC nominal
      frequencies, NaN for Lin) and ``centres_hz`` (the filters' actual
      centres: they are designed for 44.1 kHz and scale with the rate
      analysed / 44100);
    * ``first_arrival``: per channel, the frame of the file (or array) where
      the first arrival lies (-1 when no sample reaches the threshold), and
      ``first_arrival_s`` the same in seconds (NaN).

    Also ``settings`` (the confirmed settings as in the json),
    ``settings_block`` (its 586 bytes), ``messages``, ``status_texts``,
    ``report`` (the clipboard text) and :meth:`to_dict` (the program's json
    object for this response).
    """

    def __init__(self, document: dict, settings_block: bytes, arrivals: Sequence[int]):
        self._document = document
        self.source: str = document["file"]
        self.status: str = document["status"]
        self.error: str = document.get("error", "")
        self.settings: dict = dict(document.get("settings", {}))
        self.settings_block: bytes = settings_block
        self.messages: list[tuple[str, str]] = [(m["caption"], m["text"]) for m in document["messages"]]
        self.status_texts: list[str] = list(document["statusTexts"])
        self.report: str = document.get("report", "")
        audio = document.get("audio", {})
        self.rate: int | None = audio.get("sampleRate")
        self.channels: tuple[str, ...] = tuple(c["channel"] for c in document.get("channels", []))
        self.bands: tuple[str, ...] = tuple(document.get("bands", []))
        self._fill_arrays(document)
        self._fill_arrivals(document, arrivals)

    @property
    def ok(self) -> bool:
        """True when the plug-in gave results."""
        return self.status == "ok"

    def _fill_arrays(self, document: dict) -> None:
        cells = [[[band[name] for name in PARAMETERS] for band in channel["bands"]]
                 for channel in document.get("channels", [])]
        shape = (len(self.channels), len(self.bands), len(PARAMETERS))
        flat = [cell for channel in cells for band in channel for cell in band]
        self.computed = np.array([cell["computed"] for cell in flat], dtype=bool).reshape(shape)
        # The json writes single-precision values with 9 digits: float32 reads them back exactly.
        self.values = np.array([cell["value"] if cell["computed"] else np.nan for cell in flat],
                               dtype=np.float32).astype(np.float64).reshape(shape)
        self.reasons = np.array([cell.get("reason", "") for cell in flat], dtype=object).reshape(shape)
        pair_shape = (len(PAIR_PARAMETERS), len(self.bands))
        pairs = [[band[name] for band in document["interChannel"]] for name in PAIR_PARAMETERS] \
            if len(self.channels) == 2 else [[{"computed": False, "value": None}] * len(self.bands)] * 4
        flat = [cell for row in pairs for cell in row]
        self.pair_computed = np.array([cell["computed"] for cell in flat], dtype=bool).reshape(pair_shape)
        self.pair_values = np.array([cell["value"] if cell["computed"] else np.nan for cell in flat],
                                    dtype=np.float64).reshape(pair_shape)
        self.pair_reasons = np.array([cell.get("reason", "") for cell in flat],
                                     dtype=object).reshape(pair_shape)
        self.noise_corrected = np.array(document.get("noiseCorrected", []), dtype=bool)
        facts = document["channels"][0]["bands"] if self.channels else []
        if facts and "centreHz" in facts[0]:  # the program's centres, and nominal labels where they apply
            self.centres_hz = np.array([band["centreHz"] or np.nan for band in facts], dtype=np.float64)
            self.centres_hz[0] = np.nan
            labels = [band.get("nominal") for band in facts]
            self.nominal_hz = np.array([np.nan if label in (None, "Lin") else float(label)
                                        for label in labels])
        else:
            table = _roomstat.bands(bool(self.settings.get("thirdOctave", False)))[: len(self.bands)]
            self.nominal_hz = np.array([float(label) if label != "Lin" else np.nan for _, label in table])
            design = np.array([hz if hz > 0 else np.nan for hz, _ in table])
            analysed_hz = document.get("analysis", {}).get("sampleRate") or self.rate or np.nan
            self.centres_hz = design * analysed_hz / _roomstat.FILTER_DESIGN_RATE_HZ

    def _fill_arrivals(self, document: dict, arrivals: Sequence[int]) -> None:
        self.first_arrival = np.full(len(self.channels), -1, dtype=np.int64)
        self.first_arrival_s = np.full(len(self.channels), np.nan)
        first_frame = document.get("selection", {}).get("firstFrame", 0)
        for c, channel in enumerate(document.get("channels", [])):
            if "firstArrival" in channel:  # the program's own account, in the file's time base
                if channel["firstArrival"]["sample"] is not None:
                    self.first_arrival[c] = channel["firstArrival"]["sample"]
                    self.first_arrival_s[c] = channel["firstArrival"]["seconds"]
            elif c < len(arrivals) and arrivals[c] >= 0:  # from the run record, at the file's rate
                self.first_arrival[c] = first_frame + arrivals[c]
                self.first_arrival_s[c] = self.first_arrival[c] / self.rate

    def value(self, parameter: str, band: str = "Lin", channel: int | str = 0) -> float:
        """One value by name: ``value("RT30", "1k", "left")``; NaN when not computed.

        ``parameter`` is a name of :data:`PARAMETERS` or :data:`PAIR_PARAMETERS`,
        ``band`` a label of ``bands``, ``channel`` an index or a name of ``channels``.
        """
        b = self.bands.index(band)
        if parameter in PAIR_PARAMETERS:
            return float(self.pair_values[PAIR_PARAMETERS.index(parameter), b])
        c = self.channels.index(channel) if isinstance(channel, str) else channel
        return float(self.values[c, b, PARAMETERS.index(parameter)])

    def to_dict(self) -> dict:
        """The ``roomstat --format json`` object of this response."""
        return json.loads(json.dumps(self._document))

    def __repr__(self) -> str:
        if not self.ok:
            return "<roomstat.Result %s: %s: %s>" % (self.source, self.status, self.error)
        return "<roomstat.Result %s: %s, %d bands, %d of %d values computed>" % (
            self.source, "/".join(self.channels), len(self.bands), self.computed.sum(), self.computed.size)


def _number(name: str, value: Any) -> str:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError("%s must be a number, not %r" % (name, value))
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    if not math.isfinite(value):
        raise ValueError("%s must be finite, not %r" % (name, value))
    # Whole numbers as the dialog's whole-number fields take them (2000.0 as "2000").
    return str(int(value)) if float(value).is_integer() else repr(float(value))


def _words(third_octave: bool, rtu: tuple[float, float], threshold: float | str, y_threshold: float | None,
           boost_db: float, noise_correction: bool, resample: bool) -> list[str]:
    """The analysis settings as the program's option words."""
    if len(rtu) != 2:
        raise ValueError("rtu must be (start_db, end_db), not %r" % (rtu,))
    words = ["--third-octave" if third_octave else "--octave",
             "--rtu", _number("rtu start", rtu[0]) + "," + _number("rtu end", rtu[1]),
             "--threshold", threshold if threshold == "auto" else _number("threshold", threshold),
             "--boost", _number("boost_db", boost_db),
             "--noise-correction" if noise_correction else "--no-noise-correction"]
    if not resample:
        words.append("--native-rate")
    if y_threshold is not None:
        words += ["--y-threshold", _number("y_threshold", y_threshold)]
    return words


def _selection_words(channels: Sequence[int] | None, start: float | None, end: float | None,
                     frames: tuple[int, int] | None) -> list[str]:
    words = []
    if channels is not None:
        words += ["--channels", ",".join(_number("channel", c) for c in channels)]
    if start is not None:
        words += ["--start", _number("start", start)]
    if end is not None:
        words += ["--end", _number("end", end)]
    if frames is not None:
        words += ["--frames", "%s:%s" % (_number("first frame", frames[0]), _number("last frame", frames[1]))]
    return words


def _outcome(native: tuple) -> Result:
    text, block, arrivals = native
    return Result(json.loads(text)[0], block, arrivals)


def _checked(result: Result) -> Result:
    if not result.ok:
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
            resample: bool = True, name: str = "<array>") -> Result:
    """Analyse an impulse response held in an array.

    samples
        1-D (mono) or (frames, 2) (left, right; for LF and IACC: W and Y, or
        the two ears). float32/float64 in [-1, 1] full scale (louder float
        input is scaled down to the 16-bit peak, which changes no parameter),
        or int16 / int8 / int32 samples, offered as an editor offers files of
        that width. Any memory layout is accepted.
    rate
        Sampling rate in Hz.
    third_octave
        27 one-third-octave bands instead of octave bands.
    rtu
        The user decay range (start, end) in dB, e.g. (-5, -25).
    threshold
        First-arrival threshold of the only channel (or W) in the 16-bit scale
        (0..32767), or "auto": 20 dB below the peak of the weaker channel.
    y_threshold
        Threshold of the second channel; unticks the dialog's Lock.
    boost_db
        Gain of W's energy in LF, dB.
    noise_correction
        Subtract the noise floor before the decay fits.
    resample
        Resample to 44.1 kHz first, the rate the plug-in's filters are
        designed for (at another rate every band centre moves with the rate;
        ``centres_hz`` tells where they lie).
    name
        What ``to_dict()["file"]`` says.

    Settings are typed into the plug-in's dialog, which clamps them; the
    confirmed values are in ``Result.settings``. Raises TypeError or
    ValueError for unusable arguments and :class:`AnalysisError` when the
    plug-in gives no results (its message is in the error).
    """
    offered, bits, float_source, dtype = _offered_samples(samples)
    if isinstance(rate, (bool, np.bool_)) or not isinstance(rate, (int, np.integer)) or rate <= 0:
        raise ValueError("rate must be a positive whole number of Hz, not %r" % (rate,))
    words = _words(third_octave, rtu, threshold, y_threshold, boost_db, noise_correction, resample)
    native = _roomstat.analyse_samples(offered, int(rate), bits, float_source, name, dtype, words)
    return _checked(_outcome(native))


def analyse_file(path: str, *, third_octave: bool = False, rtu: tuple[float, float] = (-5, -15),
                 threshold: float | str = "auto", y_threshold: float | None = None, boost_db: float = 3,
                 noise_correction: bool = True, resample: bool = True, channels: Sequence[int] | None = None,
                 start: float | None = None, end: float | None = None,
                 frames: tuple[int, int] | None = None) -> Result:
    """Analyse an impulse-response file, read through libsndfile as ``roomstat`` reads it.

    Settings as for :func:`analyse`; the selection as the program's options:
    ``channels`` (1-based, one or two: needed for files with more than two),
    ``start`` / ``end`` in seconds, or ``frames=(first, last)`` (0-based,
    inclusive). ``to_dict()`` equals the object that
    ``roomstat --format json`` writes for the file with the same options.
    Raises :class:`AnalysisError` when the file cannot be read or the plug-in
    gives no results.
    """
    words = _file_words(third_octave=third_octave, rtu=rtu, threshold=threshold, y_threshold=y_threshold,
                        boost_db=boost_db, noise_correction=noise_correction, resample=resample,
                        channels=channels, start=start, end=end, frames=frames)
    return _checked(_analyse_file(str(path), words))


def _file_words(*, third_octave=False, rtu=(-5, -15), threshold="auto", y_threshold=None, boost_db=3,
                noise_correction=True, resample=True, channels=None, start=None, end=None,
                frames=None) -> list[str]:
    """The options of :func:`analyse_file` (same defaults) as the program's option words."""
    return (_words(third_octave, rtu, threshold, y_threshold, boost_db, noise_correction, resample) +
            _selection_words(channels, start, end, frames))


def _analyse_file(path: str, words: list[str]) -> Result:
    return _outcome(_roomstat.analyse_file(path, words))


_META_COLUMNS = ["file", "channel", "status", "error", "w_threshold", "y_threshold"]


def _rows(result: Result) -> list[dict]:
    """One row per channel (one row for a failed file): the wide layout of :func:`table`."""
    if not result.ok:
        return [{"file": result.source, "channel": "", "status": result.status, "error": result.error}]
    rows = []
    stereo = len(result.channels) == 2
    for c, channel in enumerate(result.channels):
        row = {"file": result.source, "channel": channel, "status": result.status, "error": "",
               "w_threshold": result.settings["wThreshold"],
               "y_threshold": result.settings["yThreshold"] if stereo else np.nan}
        for k, parameter in enumerate(PARAMETERS):
            for b, band in enumerate(result.bands):
                row[parameter + "@" + band] = result.values[c, b, k]
        if stereo:
            for i, parameter in enumerate(PAIR_PARAMETERS):
                for b, band in enumerate(result.bands):
                    row[parameter + "@" + band] = result.pair_values[i, b]
        rows.append(row)
    return rows


def _frame(rows: list[dict]):
    import pandas as pd

    columns = dict.fromkeys(_META_COLUMNS)
    for row in rows:
        columns.update(dict.fromkeys(row))
    data = {name: [row.get(name, np.nan) for row in rows] for name in columns}
    return pd.DataFrame(data, columns=list(columns))


def table(results: Iterable[Result]):
    """A pandas DataFrame of results in the wide layout: one row per response
    and channel (``file``, ``channel`` mono/left/right, ``status``, ``error``,
    the thresholds used), a column per ``parameter@band`` ("RT30@1k",
    "C50@Lin"), NaN where no value was computed. The inter-channel values
    (LF, IACC, W IACC, Tau IACC) stand on both rows of a stereo response. A
    failed response is one row with its status and error."""
    rows: list[dict] = []
    for result in results:
        rows += _rows(result)
    return _frame(rows)


def batch(paths: Iterable[str], *, client=None, partitions: int | None = None, **options):
    """Analyse many files on a Dask cluster; returns :func:`table`'s DataFrame, in the order of ``paths``.

    ``options`` are those of :func:`analyse_file`. ``client`` is a
    ``dask.distributed.Client`` (e.g. ``Client("tcp://scheduler:8786")``; the
    workers need this package importable); without one, a local cluster of
    one single-threaded worker process per core runs for this call. Files
    that fail have their status and error in the table instead of raising.
    """
    from ._batch import run_batch

    return run_batch([str(p) for p in paths], client, partitions, options)
