"""Names of parameters, bands and options as a Python user writes them, and
the program's option names in its messages turned into keyword arguments."""

import math
import re
from typing import Any, Sequence

from . import _roomstat

#: The eleven parameters of a band, in the order of the last axis of ``Result.values``
#: (the plug-in's names: "RT30", "r RT30", "TS").
PARAMETERS: tuple[str, ...] = tuple(name for name, _ in _roomstat.parameters())
#: Their units ("" for a correlation coefficient).
UNITS: tuple[str, ...] = tuple(unit for _, unit in _roomstat.parameters())
#: The same parameters with ISO spelling ("T30", "r2 T30", "Ts"): table columns.
PARAMETER_COLUMNS: tuple[str, ...] = ("C50", "C80", "D50", "Ts", "EDT", "T20", "r2 T20", "T30", "r2 T30",
                                      "RTU", "r2 RTU")
#: The plug-in's inter-channel rows, in the order of ``Result.pair_values``.
PAIR_PARAMETERS: tuple[str, ...] = tuple(name for name, _ in _roomstat.pair_rows())
#: The ISO 3382 values of a band, in the order of the last axis of ``Result.iso_values``.
ISO_PARAMETERS: tuple[str, ...] = tuple(name for name, _ in _roomstat.iso_names(False))
ISO_UNITS: tuple[str, ...] = tuple(unit for _, unit in _roomstat.iso_names(False))
#: The ISO 3382-1 Annex A single numbers, in the order of ``Result.iso_single_numbers``.
ISO_SINGLE_NUMBERS: tuple[str, ...] = tuple(name for name, _ in _roomstat.iso_names(True))
#: The ISO 3382-1 spatial values of a declared pair, rows of ``Result.pair_iso_values``
#: (IACC for a binaural pair, J_LF and J_LFC for an omni and a figure-of-eight).
PAIR_ISO_PARAMETERS: tuple[str, ...] = ("IACC_E", "IACC_L", "IACC_A", "JLF", "JLFC")

METHODS = ("plugin", "iso")


def _key(name: str) -> str:
    return name.replace("²", "2").replace(" ", "").lower()


_PLUGIN_INDEX = {}
for _k, (_name, _iso) in enumerate(zip(PARAMETERS, PARAMETER_COLUMNS)):
    _PLUGIN_INDEX[_key(_name)] = _k
    _PLUGIN_INDEX[_key(_iso)] = _k
_ISO_INDEX = {_key(name): k for k, name in enumerate(ISO_PARAMETERS)}
_ISO_INDEX.update({"rt20": 1, "rt30": 2})
_PAIR_INDEX = {_key(name): i for i, name in enumerate(PAIR_PARAMETERS)}
_PAIR_ISO_INDEX = {_key(name): i for i, name in enumerate(PAIR_ISO_PARAMETERS)}


def parameter_index(parameter: Any, method: str) -> tuple[str, int]:
    """("band", k) or ("pair", i) of a parameter name of `method`; ValueError listing the names."""
    if method not in METHODS:
        raise ValueError("method must be 'plugin' or 'iso', not %r" % (method,))
    if not isinstance(parameter, str):
        raise TypeError("parameter must be a name such as 'T30', not %r" % (parameter,))
    key = _key(parameter)
    bands, pairs = (_PLUGIN_INDEX, _PAIR_INDEX) if method == "plugin" else (_ISO_INDEX, _PAIR_ISO_INDEX)
    if key in bands:
        return "band", bands[key]
    if key in pairs:
        return "pair", pairs[key]
    names = (PARAMETERS + PAIR_PARAMETERS) if method == "plugin" else (ISO_PARAMETERS + PAIR_ISO_PARAMETERS)
    raise ValueError("parameter %r is not a %s value; the names are: %s (ISO spellings such as 'T30' "
                     "and 'Ts' are accepted too)" % (parameter, "plug-in" if method == "plugin" else
                                                     "ISO 3382", ", ".join(names)))


def band_labels(third_octave: bool, count: int) -> tuple[tuple[str, ...], tuple[str, ...], list[float]]:
    """(IEC nominal labels, "broadband" first; the plug-in's dialog labels; nominal Hz, 0 for broadband)."""
    table = _roomstat.bands(third_octave)[:count]
    labels = tuple("broadband" if hz == 0 else label for hz, label in table)
    return labels, tuple(label for _, label in table), [float(hz) for hz, _ in table]


def band_index(band: Any, labels: Sequence[str], other_labels: Sequence[str], nominal_hz: Sequence[float]) -> int:
    """Row of a band given as a label ("1000", "1k", "broadband", "Lin") or a frequency in Hz."""
    if isinstance(band, str):
        key = band.strip().lower().removesuffix("hz").strip()
        for names in (labels, other_labels):
            for b, name in enumerate(names):
                if name.lower() == key:
                    return b
        if key in ("lin", "broadband", "wide band", "wideband"):
            return 0
        try:
            band = float(key[:-1]) * 1000 if key.endswith("k") else float(key)
        except ValueError:
            band = None
    hz = math.nan
    if band is not None and not isinstance(band, bool):
        try:
            hz = float(band)
        except (TypeError, ValueError):
            pass
    for b, nominal in enumerate(nominal_hz):
        if b > 0 and abs(hz - nominal) <= 0.02 * nominal:
            return b
    raise ValueError("band %r is not one of this result's bands: %s (a label or a frequency in Hz)"
                     % (band, ", ".join(labels)))


# The program's options in its messages, as this module's keyword arguments.
_KEYWORDS = {"--channels": "channels=", "--start": "start=", "--end": "end=", "--frames": "frames=",
             "--rtu": "rtu=", "--threshold": "threshold=", "--y-threshold": "y_threshold=",
             "--boost": "boost_db=", "--third-octave": "third_octave=True", "--octave": "third_octave=False",
             "--native-rate": "resample=False", "--noise-correction": "noise_correction=True",
             "--no-noise-correction": "noise_correction=False", "--evaluation": "evaluation=",
             "--pair": "pair=", "--figure8-gain": "figure8_gain=", "--sweep": "sweep="}


def python_words(text: str) -> str:
    """A message of the program with its option names written as keyword arguments."""
    return re.sub(r"--[a-z0-9-]+", lambda m: _KEYWORDS.get(m.group(0), m.group(0)), text)
