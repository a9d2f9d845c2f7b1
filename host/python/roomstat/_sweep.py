"""From a recorded sweep to the room's impulse response: the exponential
sine sweep that is played, and the deconvolution of its recording
(regularised spectral division by the sweep's own spectrum, the harmonic
distortion products cut; see the program's ``roomstat sweep`` and
``roomstat deconvolve``)."""

import dataclasses
import math
from typing import Any

import numpy as np

from . import _roomstat


@dataclasses.dataclass(frozen=True)
class SweepParameters:
    """Everything a deconvolution needs to rebuild the played sweep sample for sample.

    ``start_hz``/``end_hz`` the sweep's range, ``seconds`` its length
    without silence, ``rate`` in Hz, ``level_dbfs`` its peak, ``fade_in``/
    ``fade_out`` raised-cosine fades in s (within the sweep), ``silence``
    after each sweep in s (the response's length), ``repetitions`` sweeps
    played one after the other. :meth:`to_json` gives the object the
    program writes beside a sweep file; :meth:`from_json` reads it.
    """

    start_hz: float = 20.0
    end_hz: float = 20000.0
    seconds: float = 10.0
    rate: int = 48000
    level_dbfs: float = -6.0
    fade_in: float = 0.05
    fade_out: float = 0.01
    silence: float = 3.0
    repetitions: int = 1

    def __post_init__(self):
        for field in dataclasses.fields(self):
            value = getattr(self, field.name)
            whole = field.type is int or field.type == "int"
            if isinstance(value, bool) or not isinstance(value, (int, np.integer) if whole else
                                                         (int, float, np.integer, np.floating)):
                raise TypeError("%s must be a %s, not %r" % (field.name, "whole number" if whole else "number",
                                                             value))
            if not math.isfinite(value):
                raise ValueError("%s must be finite, not %r" % (field.name, value))
        _roomstat.sweep_parameters_to_json(self._fields())  # ValueError with the sweep's sentence

    def _fields(self) -> dict:
        return dataclasses.asdict(self)

    def to_json(self) -> str:
        return _roomstat.sweep_parameters_to_json(self._fields())

    @classmethod
    def from_json(cls, text: str) -> "SweepParameters":
        return cls(**_roomstat.sweep_parameters_from_json(text))


def sweep(start_hz: float = 20.0, end_hz: float = 20000.0, seconds: float = 10.0, rate: int = 48000,
          level_dbfs: float = -6.0, fade_in: float = 0.05, fade_out: float = 0.01, silence: float = 3.0,
          repetitions: int = 1) -> tuple[np.ndarray, SweepParameters]:
    """An exponential sine sweep to play: (float32 samples, full scale 1.0, each
    sweep followed by its silence; its :class:`SweepParameters`). ``end_hz``
    is clamped to 0.45 of the rate (below any converter's anti-alias filter),
    as the program clamps it. ValueError with a sentence for parameters
    out of range."""
    if isinstance(rate, (int, np.integer)) and not isinstance(rate, bool) and rate > 0 and \
            isinstance(end_hz, (int, float)) and not isinstance(end_hz, bool):
        end_hz = min(float(end_hz), _roomstat.sweep_highest_end_hz(int(rate)))
    parameters = SweepParameters(start_hz, end_hz, seconds, rate, level_dbfs, fade_in, fade_out, silence,
                                 repetitions)
    return _roomstat.sweep_playback(parameters._fields()), parameters


def deconvolve(recording: Any, sweep_parameters: SweepParameters, *, rate: int | None = None,
               facts: bool = False):
    """The impulse response in a recording of the sweep ``sweep_parameters`` describes.

    ``recording``: 1-D or (frames, channels), float in full scale 1.0 (or
    int16 / int32 samples), at ``rate`` (default: the sweep's; another rate
    is refused). Returns the response in the same layout as float32, its
    direct sound 5 ms after its start, as long as the sweep's silence, the
    repetitions averaged; with ``facts=True`` also the deconvolution's facts
    (range, peak-to-noise ratio, harmonic energy cut). ValueError with a
    sentence for a recording that does not fit the sweep.
    """
    if not isinstance(sweep_parameters, SweepParameters):
        raise TypeError("sweep_parameters must be roomstat.SweepParameters, not %r" % (sweep_parameters,))
    rate = sweep_parameters.rate if rate is None else rate
    if isinstance(rate, bool) or not isinstance(rate, (int, np.integer)) or rate <= 0:
        raise ValueError("rate must be a positive whole number of Hz, not %r" % (rate,))
    array = np.asarray(recording)
    if array.dtype.kind == "i":
        array = array / float(2 ** (8 * array.dtype.itemsize - 1))
    elif array.dtype.kind != "f":
        raise TypeError("recording must be floating-point or integer samples, not %s" % array.dtype)
    mono = array.ndim == 1
    if mono:
        array = array[:, np.newaxis]
    if array.ndim != 2:
        raise ValueError("recording must be 1-D or (frames, channels), not %d-D" % array.ndim)
    response, found = _roomstat.deconvolve(np.ascontiguousarray(array, dtype=np.float32), int(rate),
                                           sweep_parameters._fields())
    response = response[:, 0] if mono else response
    return (response, found) if facts else response
