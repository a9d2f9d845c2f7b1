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
    finite = edc_db[~(edc_db != edc_db)]
    return finite.size > 0 and float(finite.min()) <= level_db


def _band_values(pf, ra, band, nominal_hz):
    """Lundeby decay curve of one band and the parameters read from it."""
    edc = ra.edc.energy_decay_curve_lundeby(
        band, freq=nominal_hz, time_shift=False, normalize=True)
    values = {"nominalHz": float(nominal_hz)}
    if not (edc.time == edc.time).any():  # Lundeby found no intersection
        return values
    import numpy as np
    edc_db = 10 * np.log10(np.abs(edc.time.ravel()))
    for name, lowest in LOWEST_LEVEL_DB.items():
        if _reaches(edc_db, lowest):
            values[name] = float(
                ra.parameters.reverberation_time_linear_regression(
                    edc, name).ravel()[0])
    values["C80"] = float(ra.parameters.clarity(edc, 80).ravel()[0])
    values["C50"] = float(ra.parameters.clarity(edc, 50).ravel()[0])
    values["D50"] = float(ra.parameters.definition(edc, 50).ravel()[0])
    return {k: v for k, v in values.items() if not math.isnan(v)}


def onset_index(samples):
    """The first sample whose energy rises to 20 dB below the peak's."""
    import numpy as np
    energy = np.square(np.asarray(samples, dtype=float))
    return int(np.argmax(energy >= energy.max() * 0.01))


def band_parameters(samples, rate_hz, frequency_range=(125, 4000),
                    num_fractions=1):
    """Per octave band of one channel's samples: EDT, T20, T30, C50, C80, D50.

    The response is filtered whole, then every band is cut at the broadband
    onset (the first rise to 20 dB below the peak, ISO 3382-1), the same
    instant in every band. A reverberation time is left out where the
    truncated decay curve does not fall through its evaluation range (pyrato
    would otherwise fit a shorter range silently).
    """
    pf, ra = import_peers()
    signal = pf.Signal(samples, rate_hz)
    onset = onset_index(samples)
    bands = pf.dsp.filter.fractional_octave_bands(
        signal, num_fractions, frequency_range=frequency_range)
    nominal = pf.constants.fractional_octave_frequencies_nominal(
        num_fractions, frequency_range)
    result = []
    for index, nominal_hz in enumerate(nominal):
        band = pf.Signal(bands.time[index, 0, onset:], rate_hz)
        result.append(_band_values(pf, ra, band, nominal_hz))
    return result
