"""The ISO 3382 evaluation, warnings, names and curves as the module gives them."""
import json
import math
import os

import numpy as np
import pytest

import roomstat
from roomstat import _roomstat

from test_roomstat import EXAMPLES, NAMES, cli_json, example


def exponential_decay(seconds_t, rate=44100, length=2.0, seed=3):
    """White noise decaying by 60 dB in seconds_t, starting 10 ms in, noise floor 90 dB down."""
    rng = np.random.default_rng(seed)
    t = np.arange(int(length * rate)) / rate
    x = rng.standard_normal(t.size) * 10 ** (-3 * t / seconds_t)
    x += rng.standard_normal(t.size) * 10 ** (-90 / 20)
    x = np.concatenate([np.zeros(int(0.01 * rate)), x])
    return x / np.abs(x).max() * 0.9


def test_iso_values_of_a_known_decay():
    """Exponential decays of T = 0.5 s: T20/T30 at T, and the energy parameters at
    their analytic values (C80 = 10 lg(e^(13.8 * 0.08 / T) - 1), Ts = T / 13.8)."""
    t = 0.5
    results = [roomstat.analyse(exponential_decay(t, seed=seed), 44100) for seed in (3, 4, 5, 6)]
    r = results[0]
    assert r.has_iso and r.iso_values.shape == (1, len(r.bands), len(roomstat.ISO_PARAMETERS))
    k = 6 * math.log(10)
    expected = {"T20": t, "T30": t, "C80": 10 * math.log10(math.exp(k * 0.08 / t) - 1),
                "C50": 10 * math.log10(math.exp(k * 0.05 / t) - 1),
                "D50": 100 * (1 - math.exp(-k * 0.05 / t)), "Ts": 1000 * t / k}
    # Means of four noise realisations. Tolerances: 3 % for the decay times, 1 dB,
    # 4 points and 10 % for the energy parameters, whose first 50 ms hold few
    # independent samples of the noise (still far apart: C50 and C80 differ by 4.4 dB).
    tolerance = {"T20": 0.03 * t, "T30": 0.03 * t, "C80": 1.0, "C50": 1.0, "D50": 4.0, "Ts": 0.1 * 1000 * t / k}
    for band in (2000, 4000, 8000):
        for name, want in expected.items():
            mean = np.mean([x.value(name, band, method="iso") for x in results])
            assert mean == pytest.approx(want, abs=tolerance[name]), (name, band)
    for band in (4000, 8000):
        for name in expected:
            assert r.is_valid(name, band, method="iso"), (name, band, r.warning(name, band, method="iso"))
    s = roomstat.ISO_SINGLE_NUMBERS.index("T30mid")
    mid = [r.bands.index("500"), r.bands.index("1000")]
    assert r.iso_single_numbers[0, s] == pytest.approx(np.mean(r.iso_values[0, mid, 2]))
    assert r.iso_onset_s[0] == pytest.approx(0.01, abs=0.001)
    assert (r.iso_facts["inrDb"][0, 3:8] > 45).all()
    # The standard uncertainty of T30 shrinks with the bandwidth: sigma ~ 1 / sqrt(B).
    sigma = r.iso_facts["uncertaintySeconds"][0, 4:8, 1]
    np.testing.assert_allclose(sigma[:-1] / sigma[1:], math.sqrt(2), rtol=0.05)


def test_iso_blocks_equal_the_programs_json_where_it_has_them():
    """The module reads the json's "iso" blocks when the json writer has them, the
    run's otherwise; both must say the same."""
    expected = cli_json(example(NAMES[0]))[0]
    if "iso" not in expected["channels"][0]:
        pytest.skip("this build's json has no iso blocks yet")
    _, _, _, extra = _roomstat.analyse_file(os.fsencode(example(NAMES[0])), ["--evaluation", "both"])
    for c, channel in enumerate(expected["channels"]):
        assert json.loads(json.dumps(extra["iso"][c])) == channel["iso"]


@pytest.mark.parametrize("evaluation,methods", [("both", ["plugin", "iso3382"]), ("plugin", ["plugin"]),
                                                ("iso", ["iso3382"])])
def test_evaluation_chooses_the_methods(evaluation, methods):
    r = roomstat.analyse_file(example("living_room.wav"), evaluation=evaluation)
    assert r.has_iso == ("iso3382" in methods)
    assert roomstat.table([r])["method"].tolist() == methods * len(r.channels)


def test_declared_pairs_give_their_own_quantities():
    plain = roomstat.analyse_file(example("binaural_clap.wav"))
    assert plain.pair_iso is None and (plain.pair_iso_reasons == "pair-not-declared").all()
    ears = roomstat.analyse_file(example("binaural_clap.wav"), pair="binaural")
    wy = roomstat.analyse_file(example("binaural_clap.wav"), pair="wy", figure8_gain=0)
    assert ears.pair_iso == "binaural" and wy.pair_iso == "wy"
    iacc = ears.pair_iso_values[:3]
    assert np.isfinite(iacc).any() and ((iacc[np.isfinite(iacc)] >= 0) & (iacc[np.isfinite(iacc)] <= 1)).all()
    assert np.isnan(ears.pair_iso_values[3:]).all() and np.isnan(wy.pair_iso_values[:3]).all()
    assert set(ears.pair_iso_single_numbers) == {"oneMinusIACC_E3"}
    assert set(wy.pair_iso_single_numbers) == {"JLF", "JLFC"}
    assert ears.value("IACC_E", 1000, method="iso") == ears.pair_iso_values[0, ears.bands.index("1000")]


def test_warnings_travel_with_their_values():
    """The seminar clap's 500 Hz T30 lies on a decay whose INR is too low for it:
    the value carries the warning in the array, value lookups and the table."""
    r = roomstat.analyse_file(example("seminar_room_clap.wav"))
    expected = cli_json(example("seminar_room_clap.wav"))[0]
    assert r.warnings.shape == r.values.shape
    for c, channel in enumerate(expected["channels"]):
        for b, band in enumerate(channel["bands"]):
            for k, name in enumerate(roomstat.PARAMETERS):
                cell = band[name]
                want = "; ".join(roomstat.sentence(w) for w in cell["warnings"]) if cell.get("warnings") \
                    else cell.get("warning")
                assert r.warnings[c, b, k] == want
    warned = [(c, b, k) for c, b, k in zip(*np.nonzero(r.warnings != None))]  # noqa: E711
    assert warned, "the clap's low-INR values carry no warning"
    c, b, k = warned[0]
    assert r.warning(roomstat.PARAMETERS[k], r.bands[b], c) == r.warnings[c, b, k]
    row = roomstat.table([r]).query("method == 'plugin'").iloc[c]
    assert "%s@%s: %s" % (roomstat._names.PARAMETER_COLUMNS[k], r.bands[b], r.warnings[c, b, k]) in row["warning"]
    iso_row = roomstat.table([r]).query("method == 'iso3382'").iloc[0]
    invalid = ~r.iso_valid[0] & np.isfinite(r.iso_values[0])
    for b, k in zip(*np.nonzero(invalid)):  # invalid ISO values are named, not shown
        assert np.isnan(iso_row["%s@%s" % (roomstat.ISO_PARAMETERS[k], r.bands[b])])
        assert "%s@%s not valid" % (roomstat.ISO_PARAMETERS[k], r.bands[b]) in iso_row["warning"]


def test_value_takes_iso_and_plugin_names_and_bands_as_labels_or_hertz():
    r = roomstat.analyse_file(example("binaural_clap.wav"))
    b = r.bands.index("1000")
    t30 = r.values[1, b, roomstat.PARAMETERS.index("RT30")]
    for parameter, band in [("RT30", "1k"), ("T30", "1k"), ("T30", 1000), ("rt30", 1000.0), ("T30", "1000"),
                            ("T30", "1 kHz"), ("T30", np.float32(1000))]:
        assert r.value(parameter, band, "right") == t30
    assert r.value("Ts", "broadband") == r.value("TS", "Lin") == r.values[0, 0, roomstat.PARAMETERS.index("TS")]
    assert r.value("r2 T20", 500) == r.value("r RT20", "500")
    assert r.value("T30", 1000, 1, method="iso") == r.iso_values[1, b, roomstat.ISO_PARAMETERS.index("T30")]
    assert r.value("IACC", 1000) == r.pair_values[roomstat.PAIR_PARAMETERS.index("IACC"), b]
    thirds = roomstat.analyse_file(example("living_room.wav"), third_octave=True)
    assert thirds.bands[:4] == ("broadband", "25", "31.5", "40") and "800" in thirds.bands
    assert thirds.value("C80", 800) == thirds.values[0, thirds.bands.index("800"), 1]
    for call, words in [(lambda: r.value("T60", 1000), "RT30"), (lambda: r.value("T30", "3k"), "1000"),
                        (lambda: r.value("T30", 1000, "centre"), "left"),
                        (lambda: r.value("T30", 1000, method="pyrato"), "'plugin' or 'iso'"),
                        (lambda: r.value("LF", 1000, method="iso"), "IACC_E")]:
        with pytest.raises(ValueError, match=words):
            call()


def test_curves_redraw_the_decay_plots(tmp_path):
    r = roomstat.analyse(exponential_decay(0.5), 44100, curves=True)
    with pytest.raises(ValueError, match="curves=True"):
        roomstat.analyse(exponential_decay(0.5), 44100).level_curves()
    assert set(r.decay_curves()) <= set(r.level_curves()) <= set(r.bands) and "1000" in r.decay_curves()
    plugin, iso = r.level_curves()["1000"], r.decay_curves()["1000"]
    assert plugin["time"].shape == plugin["level"].shape and plugin["level"][0] == 0
    # Each fitted line has the slope of its decay time and runs through the curve
    # it was fitted to (least squares: mean residual near 0 over its range).
    for method, curve, fits in (("plugin", plugin, plugin["fits"]),
                                ("iso", dict(zip(("time", "level"), iso["decay"])), iso["fits"])):
        for name in ("EDT", "T20", "T30"):
            fit = fits[name]
            assert fit["time"].size == 2, (method, name)
            slope = np.diff(fit["level"])[0] / np.diff(fit["time"])[0]
            assert slope == pytest.approx(-60 / r.value(name, 1000, method=method), rel=1e-3), (method, name)
            inside = (curve["time"] >= fit["time"][0]) & (curve["time"] <= fit["time"][1])
            line = np.interp(curve["time"][inside], fit["time"], fit["level"])
            assert abs(np.mean(curve["level"][inside] - line)) < 0.5, (method, name)
    assert 0.5 < iso["truncationSeconds"] <= iso["decay"][0][-1] + 0.01
    assert iso["noiseDb"] < -60
    assert iso["fits"]["T30"]["valid"] == r.is_valid("T30", 1000, method="iso")
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(1, 2)
    axes[0].plot(plugin["time"], plugin["level"], label="decay curve")
    for name, fit in plugin["fits"].items():
        axes[0].plot(fit["time"], fit["level"], label=name)
    axes[1].plot(*iso["decay"], label="ISO 3382 decay")
    axes[1].plot(*iso["envelope"], label="envelope")
    axes[1].axhline(iso["noiseDb"])
    axes[1].axvline(iso["truncationSeconds"])
    for name, fit in iso["fits"].items():
        axes[1].plot(fit["time"], fit["level"], label=name)
    figure.savefig(tmp_path / "decay.png")
    assert (tmp_path / "decay.png").stat().st_size > 5000
    np.testing.assert_array_equal(axes[0].lines[0].get_xydata()[:, 1], plugin["level"])
