"""The Result of one analysis: the program's json object as numpy arrays,
the plug-in's values beside the ISO 3382 evaluation, never mixed."""

import json
from typing import Any, Sequence

import numpy as np

from . import _roomstat
from ._names import (ISO_PARAMETERS, ISO_SINGLE_NUMBERS, PAIR_ISO_PARAMETERS, PAIR_PARAMETERS, PARAMETERS,
                     band_index, band_labels, parameter_index, python_words)

#: Every reason code a missing plug-in value can carry, with its sentence.
REASONS: dict[str, str] = _roomstat.reasons()


def sentence(code: str) -> str:
    """The sentence of a reason or warning code (the code itself when it has none)."""
    return _roomstat.iso_sentence(code) or REASONS.get(code) or code


def _warning_text(cell: dict) -> str | None:
    """A cell's warnings as one text: the json's "warnings" (codes or sentences) or its "warning"."""
    warnings = cell.get("warnings")
    if warnings:
        return "; ".join(sentence(w) for w in warnings)
    return cell.get("warning") or None


def _number(value: Any) -> float:
    return np.nan if value is None else float(value)


def _with_plugin_cells(document: dict, band_count: int) -> dict:
    """The document with every plug-in cell present: evaluation="iso" leaves the
    plug-in's values out of the json, and they read as not computed."""
    missing = {"computed": False, "value": None, "reason": "not-evaluated"}
    channels = document.get("channels", [])
    if all("bands" in channel for channel in channels) and \
            (len(channels) != 2 or "interChannel" in document):
        return document
    document = dict(document)
    document["channels"] = [channel if "bands" in channel else
                            dict(channel, bands=[{name: missing for name in PARAMETERS}
                                                 for _ in range(band_count)])
                            for channel in channels]
    document.setdefault("interChannel", [{name: missing for name in PAIR_PARAMETERS}
                                         for _ in range(band_count)])
    return document


class Result:
    """What the plug-in and the ISO 3382 evaluation computed for one response.

    The plug-in's values (``c`` channel: 0 mono or left, 1 right; ``b`` band
    row: 0 the unfiltered "broadband", then octaves or third-octaves; ``k``
    parameter in :data:`PARAMETERS` order):

    * ``values[c, b, k]``: float64 holding the plug-in's single-precision
      value exactly; NaN where no value was computed; ``computed``,
      ``reasons`` (a code of :data:`REASONS`, "" where computed) and
      ``warnings`` (a sentence, or None) of the same shape;
    * ``pair_values[i, b]``, ``pair_computed``, ``pair_reasons``: the
      inter-channel rows of :data:`PAIR_PARAMETERS` (stereo only);
    * ``noise_corrected[b]``.

    The ISO 3382 evaluation (labelled so in every output; absent with
    ``evaluation="plugin"``: ``has_iso`` False, the arrays NaN / False):

    * ``iso_values[c, b, k]`` (k in :data:`ISO_PARAMETERS` order: EDT, T20,
      T30 in s, C50, C80 in dB, D50 in %, Ts in ms; NaN where no number
      exists), ``iso_valid``, ``iso_reasons`` (the codes that make a value
      invalid, comma-separated, "" for a valid one) and ``iso_warnings``;
    * ``iso_facts``: per (c, b) arrays "inrDb", "truncationSeconds",
      "noiseDb", "curvaturePercent", and (c, b, 2) arrays "xiPermille" and
      "uncertaintySeconds" of T20 and T30; ``iso_onset_s[c]``;
    * ``iso_single_numbers[c, s]`` (:data:`ISO_SINGLE_NUMBERS`),
      ``iso_single_valid``, ``iso_single_reasons``;
    * a declared pair (``pair="binaural"`` or ``"wy"``): ``pair_iso`` the
      kind (None without one), ``pair_iso_values[i, b]`` with rows
      :data:`PAIR_ISO_PARAMETERS` (NaN for the other kind's rows),
      ``pair_iso_valid``, ``pair_iso_reasons``, and
      ``pair_iso_single_numbers`` ({name: (value, valid, reasons)}).

    Also ``bands`` (IEC 61260-1 nominal labels: "broadband", "31.5", "1000"),
    ``plugin_bands`` (the json's labels), ``nominal_hz``, ``centres_hz``,
    ``first_arrival``/``first_arrival_s``, ``settings``, ``settings_block``,
    ``messages``, ``status_texts``, ``report``, ``deconvolution`` (the sweep
    deconvolution's facts, or None) and :meth:`to_dict` (the program's json
    object for this response).
    """

    def __init__(self, document: dict, settings_block: bytes, arrivals: Sequence[int], extra: dict,
                 source: str | None = None):
        self._document = document
        self.source: str = document["file"] if source is None else source
        self.status: str = document["status"]
        self.error: str = python_words(document.get("error", ""))
        self.settings: dict = dict(document.get("settings", {}))
        self.settings_block: bytes = settings_block
        self.messages: list[tuple[str, str]] = [(m["caption"], m["text"]) for m in document["messages"]]
        self.status_texts: list[str] = list(document["statusTexts"])
        self.report: str = document.get("report", "")
        self.deconvolution: dict | None = None
        audio = document.get("audio", {})
        self.rate: int | None = audio.get("sampleRate")
        self.channels: tuple[str, ...] = tuple(c["channel"] for c in document.get("channels", []))
        self.plugin_bands: tuple[str, ...] = tuple(document.get("bands", []))
        third = bool(self.settings.get("thirdOctave", False))
        self.bands, _, nominal = band_labels(third, len(self.plugin_bands))
        self._nominal = nominal
        self._curves = extra.get("curves") or []
        self._fill_plugin(document)
        self._fill_iso(document, extra)
        self._fill_arrivals(document, arrivals)

    @property
    def ok(self) -> bool:
        """True when the plug-in gave results."""
        return self.status == "ok"

    def _fill_plugin(self, document: dict) -> None:
        document = _with_plugin_cells(document, len(self.bands))
        cells = [[[band[name] for name in PARAMETERS] for band in channel["bands"]]
                 for channel in document.get("channels", [])]
        shape = (len(self.channels), len(self.bands), len(PARAMETERS))
        flat = [cell for channel in cells for band in channel for cell in band]
        self.computed = np.array([cell["computed"] for cell in flat], dtype=bool).reshape(shape)
        # The json writes single-precision values with 9 digits: float32 reads them back exactly.
        self.values = np.array([cell["value"] if cell["computed"] else np.nan for cell in flat],
                               dtype=np.float32).astype(np.float64).reshape(shape)
        self.reasons = np.array([cell.get("reason", "") for cell in flat], dtype=object).reshape(shape)
        self.warnings = np.array([_warning_text(cell) for cell in flat], dtype=object).reshape(shape)
        pair_shape = (len(PAIR_PARAMETERS), len(self.bands))
        pairs = [[band[name] for band in document["interChannel"]] for name in PAIR_PARAMETERS] \
            if len(self.channels) == 2 else [[{"computed": False, "value": None}] * len(self.bands)] * 4
        flat = [cell for row in pairs for cell in row]
        self.pair_computed = np.array([cell["computed"] for cell in flat], dtype=bool).reshape(pair_shape)
        self.pair_values = np.array([cell["value"] if cell["computed"] else np.nan for cell in flat],
                                    dtype=np.float64).reshape(pair_shape)
        self.pair_reasons = np.array([cell.get("reason", "") for cell in flat],
                                     dtype=object).reshape(pair_shape)
        self.pair_warnings = np.array([_warning_text(cell) for cell in flat], dtype=object).reshape(pair_shape)
        self.noise_corrected = np.array(document.get("noiseCorrected", []), dtype=bool)
        self.nominal_hz = np.array([np.nan if hz == 0 else hz for hz in self._nominal], dtype=np.float64)
        facts = document["channels"][0]["bands"] if self.channels else []
        if facts and facts[0].get("centreHz") is not None:
            self.centres_hz = np.array([band["centreHz"] or np.nan for band in facts], dtype=np.float64)
            self.centres_hz[0] = np.nan
        else:
            self.centres_hz = self.nominal_hz.copy()

    def _row_of(self, nominal_hz: float) -> int | None:
        for b, hz in enumerate(self._nominal):
            if abs(hz - nominal_hz) <= 1e-3 * max(hz, 1.0):
                return b
        return None

    def _fill_iso(self, document: dict, extra: dict) -> None:
        channels = document.get("channels", [])
        # The json's own blocks where it has them; the run's, in the same layout, otherwise.
        blocks = [c["iso"] for c in channels] if channels and "iso" in channels[0] else extra.get("iso")
        self.has_iso = bool(blocks) and any(block is not None for block in blocks)
        shape = (len(self.channels), len(self.bands), len(ISO_PARAMETERS))
        self.iso_values = np.full(shape, np.nan)
        self.iso_valid = np.zeros(shape, dtype=bool)
        self.iso_reasons = np.full(shape, "not-evaluated", dtype=object)
        self.iso_warnings = np.full(shape, None, dtype=object)
        self.iso_facts = {name: np.full(shape[:2], np.nan)
                          for name in ("inrDb", "truncationSeconds", "noiseDb", "curvaturePercent")}
        self.iso_facts.update({name: np.full(shape[:2] + (2,), np.nan)
                               for name in ("xiPermille", "uncertaintySeconds")})
        self.iso_onset_s = np.full(len(self.channels), np.nan)
        single_shape = (len(self.channels), len(ISO_SINGLE_NUMBERS))
        self.iso_single_numbers = np.full(single_shape, np.nan)
        self.iso_single_valid = np.zeros(single_shape, dtype=bool)
        self.iso_single_reasons = np.full(single_shape, "not-evaluated", dtype=object)
        for c, block in enumerate(blocks or []):
            if block is not None and c < len(self.channels):
                self._fill_iso_channel(c, block)
        pair = document["pairIso"] if "pairIso" in document else extra.get("pairIso")
        self._fill_pair_iso(pair)

    def _fill_iso_channel(self, c: int, block: dict) -> None:
        self.iso_onset_s[c] = _number(block.get("onsetSeconds"))
        for band in block["bands"]:
            b = self._row_of(float(band["nominalHz"]))
            if b is None:
                continue
            for name in self.iso_facts:
                if name in ("xiPermille", "uncertaintySeconds"):
                    for i, fit in enumerate(("T20", "T30")):
                        self.iso_facts[name][c, b, i] = _number(band[fit].get(name))
                else:
                    self.iso_facts[name][c, b] = _number(band.get(name))
            for k, name in enumerate(ISO_PARAMETERS):
                cell = band[name]
                self.iso_values[c, b, k] = _number(cell["value"])
                self.iso_valid[c, b, k] = cell["valid"]
                self.iso_reasons[c, b, k] = ",".join(cell["reasons"])
                self.iso_warnings[c, b, k] = _warning_text(cell)
        for s, name in enumerate(ISO_SINGLE_NUMBERS):
            cell = block["singleNumbers"][name]
            self.iso_single_numbers[c, s] = _number(cell["value"])
            self.iso_single_valid[c, s] = cell["valid"]
            self.iso_single_reasons[c, s] = ",".join(cell["reasons"])

    def _fill_pair_iso(self, pair: dict | None) -> None:
        shape = (len(PAIR_ISO_PARAMETERS), len(self.bands))
        self.pair_iso: str | None = pair["pair"] if pair else None
        self.pair_iso_values = np.full(shape, np.nan)
        self.pair_iso_valid = np.zeros(shape, dtype=bool)
        self.pair_iso_reasons = np.full(shape, "pair-not-declared" if pair is None else "not-evaluated",
                                        dtype=object)
        self.pair_iso_single_numbers: dict[str, tuple[float, bool, tuple[str, ...]]] = {}
        if pair is None:
            return
        for band in pair["bands"]:
            b = self._row_of(float(band["nominalHz"]))
            for i, name in enumerate(PAIR_ISO_PARAMETERS):
                if b is not None and name in band:
                    self.pair_iso_values[i, b] = _number(band[name]["value"])
                    self.pair_iso_valid[i, b] = band[name]["valid"]
                    self.pair_iso_reasons[i, b] = ",".join(band[name]["reasons"])
        for name, cell in pair["singleNumbers"].items():
            self.pair_iso_single_numbers[name] = (_number(cell["value"]), bool(cell["valid"]),
                                                  tuple(cell["reasons"]))

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

    # --- Looking values up -------------------------------------------------

    def _channel(self, channel: int | str) -> int:
        if isinstance(channel, str):
            if channel in self.channels:
                return self.channels.index(channel)
        elif isinstance(channel, (int, np.integer)) and not isinstance(channel, bool) and \
                -len(self.channels) <= channel < len(self.channels):
            return int(channel) % len(self.channels)
        raise ValueError("channel %r is not one of this result's channels: %s, or an index below %d"
                         % (channel, ", ".join(self.channels), len(self.channels)))

    def _cell(self, parameter: str, band: Any, channel: int | str, method: str):
        kind, k = parameter_index(parameter, method)
        b = band_index(band, self.bands, self.plugin_bands, self._nominal)
        if kind == "pair":
            if method == "plugin":
                return self.pair_values[k, b], self.pair_warnings[k, b], self.pair_computed[k, b]
            return self.pair_iso_values[k, b], None, self.pair_iso_valid[k, b]
        c = self._channel(channel)
        if method == "plugin":
            return self.values[c, b, k], self.warnings[c, b, k], self.computed[c, b, k]
        return self.iso_values[c, b, k], self.iso_warnings[c, b, k], self.iso_valid[c, b, k]

    def value(self, parameter: str, band: Any = "broadband", channel: int | str = 0,
              method: str = "plugin") -> float:
        """One value by name: ``value("T30", 1000, "left")``; NaN where none was computed.

        ``parameter``: a name of :data:`PARAMETERS` (ISO spellings accepted:
        "T30" for "RT30", "Ts" for "TS", "r2 T20" for "r RT20") or
        :data:`PAIR_PARAMETERS`; with ``method="iso"`` one of
        :data:`ISO_PARAMETERS` or :data:`PAIR_ISO_PARAMETERS`. ``band``: a
        label ("1000", "1k", "broadband") or a frequency in Hz (1000,
        1000.0). ``channel``: an index or a name of ``channels``. An ISO
        value that is not valid is returned as computed: ``is_valid`` and
        ``warning`` tell. A wrong name raises ValueError listing the valid ones.
        """
        return float(self._cell(parameter, band, channel, method)[0])

    def warning(self, parameter: str, band: Any = "broadband", channel: int | str = 0,
                method: str = "plugin") -> str | None:
        """The warning that goes with :meth:`value`'s value (a sentence), or None; for an
        invalid ISO value the reasons it is invalid."""
        value, warning, valid = self._cell(parameter, band, channel, method)
        if method == "iso" and not valid and not np.isnan(value):
            kind, k = parameter_index(parameter, method)
            b = band_index(band, self.bands, self.plugin_bands, self._nominal)
            reasons = self.iso_reasons[self._channel(channel), b, k] if kind == "band" else \
                self.pair_iso_reasons[k, b]
            why = "not valid: " + "; ".join(sentence(r) for r in reasons.split(",") if r)
            return why + ("; " + warning if warning else "")
        return warning

    def is_valid(self, parameter: str, band: Any = "broadband", channel: int | str = 0,
                 method: str = "plugin") -> bool:
        """Whether the value is a result (plug-in: computed; ISO: valid)."""
        return bool(self._cell(parameter, band, channel, method)[2])

    # --- Curves --------------------------------------------------------------

    def _curve_list(self, channel: int | str, method: str) -> dict:
        if not self._curves:
            raise ValueError("this result holds no curves: analyse with curves=True")
        c = self._channel(channel)
        return {self.bands[b]: band[method] for b, band in enumerate(self._curves[c])
                if band[method] is not None}

    def level_curves(self, channel: int | str = 0) -> dict:
        """The plug-in's decay curves and fits, as the HTML report's decay plots draw them.

        {band label: {"time", "level" (arrays: s from the start of the
        selection, dB re the curve's start), "fitEndSeconds" (the fits keep
        before it), "endSeconds", "arrivalSeconds", "fits": {"EDT", "T20",
        "T30", "RTU": {"time", "level" (the fitted line's two ends; empty
        when not computed), "computed", "reason"}}}}. Needs ``curves=True``.
        """
        return self._curve_list(channel, "plugin")

    def decay_curves(self, channel: int | str = 0) -> dict:
        """The ISO 3382 decay curves: {band label: {"decay" (time from the
        onset in s, level in dB re E(onset)), "envelope" (time, dB: the
        block-averaged squared response), "noiseDb", "truncationSeconds",
        "fits": {"EDT", "T20", "T30": {"time", "level", "rangeDb", "value",
        "valid", "reasons", "warnings"}}}}. Needs ``curves=True``."""
        return self._curve_list(channel, "iso")

    def to_dict(self) -> dict:
        """The ``roomstat --format json`` object of this response."""
        return json.loads(json.dumps(self._document))

    def __repr__(self) -> str:
        if not self.ok:
            return "<roomstat.Result %s: %s: %s>" % (self.source, self.status, self.error)
        return "<roomstat.Result %s: %s, %d bands, %d of %d values computed, %s>" % (
            self.source, "/".join(self.channels), len(self.bands), self.computed.sum(), self.computed.size,
            "%d of %d ISO 3382 values valid" % (self.iso_valid.sum(), self.iso_valid.size)
            if self.has_iso else "no ISO 3382 evaluation")
