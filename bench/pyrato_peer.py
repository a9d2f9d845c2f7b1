"""The peer evaluation: pyrato's Lundeby-truncated decay curves on pyfar's
IEC 61260 octave filters, per band of one channel.

pyrato and pyfar are not part of this repository. Put their source checkouts
(and the `sofar` stand-in, see bench/README.md) on PYTHONPATH, or pass the
folder that holds them as `--peers DIR` to the scripts, which calls
`add_peer_paths`.
"""

import math
import os
import sys
import warnings

import numpy as np

# ISO 3382 evaluation ranges (dB below the start of the decay curve) that the
# regression must reach for the peer's value to count as computed.
LOWEST_LEVEL_DB = {"EDT": -10.1, "T20": -25.0, "T30": -35.0}


def add_peer_paths(folder):
    """Puts DIR/pyfar, DIR/pyrato and DIR/shims first on the import path."""
    for name in ("shims", "pyrato", "pyfar"):
        path = os.path.join(folder, name)
        if os.path.isdir(path) and path not in sys.path:
            sys.path.insert(0, path)


def import_peers():
    """Imports pyfar and pyrato, or exits with how to get them."""
    try:
        import pyfar  # noqa: F401
        import pyrato  # noqa: F401
    except ImportError as error:
        sys.exit(f"cannot import the peers ({error}); see bench/README.md "
                 "for fetching pyrato and pyfar and pass --peers DIR")
    warnings.simplefilter("ignore")  # pyrato warns per band on low INR
    return pyfar, pyrato


def versions():
    pyfar, pyrato = import_peers()
    return f"pyrato {pyrato.__version__}, pyfar {pyfar.__version__}"


def _reaches(edc_db, level_db):
    finite = edc_db[np.isfinite(edc_db)]
    return finite.size > 0 and float(finite.min()) <= level_db


def _band_values(ra, band, nominal_hz, check_ranges):
    """Lundeby decay curve of one band and the parameters read from it."""
    edc = ra.edc.energy_decay_curve_lundeby(band, freq=nominal_hz)
    values = {"nominalHz": float(nominal_hz)}
    if not (edc.time == edc.time).any():  # Lundeby found no intersection
        return values
    edc_db = 10 * np.log10(np.abs(edc.time.ravel())) if check_ranges else None
    for name, lowest in LOWEST_LEVEL_DB.items():
        if not check_ranges or _reaches(edc_db, lowest):
            values[name] = float(
                ra.parameters.reverberation_time_linear_regression(
                    edc, name).ravel()[0])
    values["C80"] = float(ra.parameters.clarity(edc, 80).ravel()[0])
    values["C50"] = float(ra.parameters.clarity(edc, 50).ravel()[0])
    values["D50"] = float(ra.parameters.definition(edc, 50).ravel()[0])
    return {k: v for k, v in values.items() if not math.isnan(v)}


def band_parameters(samples, rate_hz, frequency_range=(125, 4000),
                    num_fractions=1, check_ranges=True):
    """Per octave band of one channel's samples: EDT, T20, T30, C50, C80, D50.

    pyrato's documented use: the whole response filtered by pyfar's octave
    bank (Butterworth, order 14), then per band the Lundeby-truncated,
    compensated Schroeder curve with pyrato's defaults (the band's own onset,
    ISO 3382-1's 20 dB below the peak, moved to time zero; the Lundeby
    window set by the band's nominal frequency). A reverberation time is left
    out where the truncated curve does not fall through its evaluation range
    (pyrato would otherwise fit a shorter range silently; `check_ranges`
    False leaves that check, which is not pyrato's work, out of a timing),
    and a band whose Lundeby iteration fails (pyrato raises on some noisy
    low bands) has no values.
    """
    pf, ra = import_peers()
    signal = pf.Signal(samples, rate_hz)
    bands = pf.dsp.filter.fractional_octave_bands(
        signal, num_fractions, frequency_range=frequency_range)
    nominal = pf.constants.fractional_octave_frequencies_nominal(
        num_fractions, frequency_range)
    result = []
    for index, nominal_hz in enumerate(nominal):
        band = pf.Signal(bands.time[index, 0], rate_hz)
        try:
            result.append(_band_values(ra, band, nominal_hz, check_ranges))
        except (ValueError, IndexError):
            result.append({"nominalHz": float(nominal_hz)})
    return result
