// The spatial section of the report: J_LF, J_LFC and IACC of synthetic
// pairs with known answers, through the host's ISO evaluation of a declared
// pair (cli::EvaluateIsoFile with --pair).
#include <cmath>
#include <string>
#include <vector>

#include "dsp/iso3382_band_signals.h"
#include "interface/bands.h"
#include "tests/conformance/iso_sections.h"
#include "tests/conformance/synthetic_runs.h"

namespace conformance {
namespace {

// Every arrival of the W/Y pair lies on a multiple of 64 samples, so each
// band (at most six halvings of the rate below 44100 Hz) sees the same
// filtered pulse at each arrival, shifted by whole samples of its own rate.
constexpr size_t DIRECT = 448;
struct Reflection {
  size_t delay;     // samples after the direct sound
  double gain;      // in W
  double cosAngle;  // Y = gain · cos(angle from the lateral axis)
};
constexpr Reflection REFLECTIONS[] = {{640, 0.5, 1.0}, {1536, 0.4, 0.6}, {2432, 0.3, -0.8}, {5120, 0.5, 1.0}};

std::vector<float> Interleave(const std::vector<float>& a, const std::vector<float>& b) {
  std::vector<float> out(2 * a.size());
  for (size_t i = 0; i < a.size(); ++i) out[2 * i] = a[i], out[2 * i + 1] = b[i];
  return out;
}

cli::IsoFileEvaluation EvaluatePair(const std::vector<float>& a, const std::vector<float>& b,
                                    cli::PairKind kind, double figure8GainDb) {
  cli::IsoRequest request;
  request.pair = kind;
  request.figure8GainDb = figure8GainDb;
  return EvaluateIso(Interleave(a, b), 2, request);
}

const cli::IsoPairBand& PairRow(const cli::IsoFileEvaluation& eval, int row) {
  for (const cli::IsoPairBand& band : eval.pair.bands) {
    if (band.row == row) return band;
  }
  return eval.pair.bands.front();
}

std::string RowLabel(int row) {
  return row == 0 ? "broadband" : std::string(OCTAVE_BANDS[row].nominalLabel) + " Hz octave";
}

Row SpatialRow(const std::string& quantity, const std::string& clause, const std::string& input,
               const std::string& expected, const cli::SpatialValue& value, int decimals, double tolerance,
               double expectedValue, const std::string& why) {
  Row r;
  r.quantity = quantity;
  r.clause = clause;
  r.input = input;
  r.expected = expected;
  r.computed = Fixed(value.value, decimals) + (value.Valid() ? "" : " (" + value.reasons.front() + ")");
  r.tolerance = "±" + Fixed(tolerance, decimals) + " (" + why + ")";
  r.pass = value.Valid() && std::fabs(value.value - expectedValue) <= tolerance;
  return r;
}

void AddLateralRows(Section& section) {
  std::vector<float> w(static_cast<size_t>(0.3 * SYNTH_RATE_HZ)), y(w.size());
  w[DIRECT] = SYNTH_PEAK;
  double lateral = 0.0, cosine = 0.0, early = 1.0;
  std::string sums = "1";
  for (const Reflection& r : REFLECTIONS) {
    w[DIRECT + r.delay] = static_cast<float>(r.gain * SYNTH_PEAK);
    y[DIRECT + r.delay] = static_cast<float>(r.gain * r.cosAngle * SYNTH_PEAK);
    if (r.delay >= 0.08 * SYNTH_RATE_HZ) continue;
    early += r.gain * r.gain;
    lateral += r.gain * r.gain * r.cosAngle * r.cosAngle;
    cosine += r.gain * r.gain * std::fabs(r.cosAngle);
  }
  const std::string input =
      "W: direct sound 1 at 10.16 ms, reflections 0.5, 0.4, 0.3, 0.5 at +14.51, +34.83, +55.15, +116.10 ms; "
      "Y: the reflections times cos θ = 1, 0.6, -0.8, 1; 44100 Hz";
  const std::string jlfHand = "(0.5²·1 + 0.4²·0.36 + 0.3²·0.64) / (1 + 0.5² + 0.4² + 0.3²)";
  const std::string jlfcHand = "(0.5²·1 + 0.4²·0.6 + 0.3²·0.8) / (1 + 0.5² + 0.4² + 0.3²)";
  const double jlf = lateral / early, jlfc = cosine / early;
  const cli::IsoFileEvaluation eval = EvaluatePair(w, y, cli::PairKind::OmniFigure8, 0.0);
  for (int row : {0, 6, 8}) {
    const bool band = row != 0;
    const double tol = band ? 0.002 : 1e-5;
    const std::string why =
        band ? "a band sees every arrival through the same filter: the ratio holds" : "float samples";
    section.rows.push_back(SpatialRow("J_LF, " + RowLabel(row), "ISO 3382-1:2009 A.3.2", input,
                                      Fixed(jlf, 5) + " = " + jlfHand, PairRow(eval, row).jlf, 5, tol, jlf,
                                      why));
    section.rows.push_back(SpatialRow("J_LFC, " + RowLabel(row), "ISO 3382-1:2009 A.3.2", input,
                                      Fixed(jlfc, 5) + " = " + jlfcHand, PairRow(eval, row).jlfc, 5, tol,
                                      jlfc, why));
  }
  section.rows.push_back(SpatialRow("J_LF, 125 Hz to 1 kHz (single number)",
                                    "ISO 3382-1:2009 A.3.2, Table A.1", input,
                                    Fixed(jlf, 5) + " (every band alike)", eval.pair.jlf, 5, 0.005, jlf,
                                    "the 125 Hz octave's pulse rings longest"));
  const cli::IsoFileEvaluation gained = EvaluatePair(w, y, cli::PairKind::OmniFigure8, 3.0);
  section.rows.push_back(
      SpatialRow("J_LF, broadband, figure-of-eight 3 dB less sensitive (+3 dB)", "ISO 3382-1:2009 A.3.2",
                 input, Fixed(jlf * std::pow(10.0, 0.3), 5) + " = J_LF · 10^(3/10)", PairRow(gained, 0).jlf,
                 5, 1e-5, jlf * std::pow(10.0, 0.3), "float samples"));
  section.rows.push_back(SpatialRow("J_LFC, broadband, figure-of-eight +3 dB", "ISO 3382-1:2009 A.3.2", input,
                                    Fixed(jlfc * std::pow(10.0, 0.15), 5) + " = J_LFC · 10^(3/20)",
                                    PairRow(gained, 0).jlfc, 5, 1e-5, jlfc * std::pow(10.0, 0.15),
                                    "float samples"));
}

// |IACF| of independent noises over the late window: about 1/sqrt(2 B T_eff)
// (T_eff = 2T/13.82 for an energy decaying 60 dB per T); three times that bounds it.
double IndependentBound(double bandwidthHz) { return 3.0 / std::sqrt(2.0 * bandwidthHz * 2.0 / 13.82); }

// The lag of the maximum, which the outputs do not show: the same core call
// (ComputeIsoIacc) on the same band signals (CollectIsoBandSignals).
void AddLagRows(const std::vector<float>& left, const std::vector<float>& right, Section& section) {
  const uint32_t n = static_cast<uint32_t>(left.size());
  const std::vector<IsoOwnedBandSignal> l = CollectIsoBandSignals(left.data(), n, SYNTH_RATE_HZ, false);
  const std::vector<IsoOwnedBandSignal> r = CollectIsoBandSignals(right.data(), n, SYNTH_RATE_HZ, false);
  const double onset = IsoOnsetSeconds(left.data(), n, SYNTH_RATE_HZ), expected = 22.0 / SYNTH_RATE_HZ;
  for (size_t i = 0; i < l.size(); ++i) {
    if (l[i].row != 0 && l[i].row != 6) continue;
    const IsoIaccSet set = ComputeIsoIacc(l[i].samples.data(), r[i].samples.data(), l[i].samples.size(),
                                          l[i].rateHz, onset * l[i].rateHz, -1.0);
    Row row;
    row.quantity = "lag of IACC_E, right ear 0.4989 ms later, " + RowLabel(l[i].row);
    row.clause = "ISO 3382-1:2009 A.3.3 (the τ of the maximum)";
    row.input = "the delayed pair above, ComputeIsoIacc on the host's band signals";
    row.expected = Fixed(1000 * expected, 4) + " ms (22 samples at 44100 Hz)";
    row.computed = Fixed(1000 * set.early.tauSeconds, 4) + " ms";
    const double tol = l[i].row == 0 ? 0.00001 : 0.01;
    row.tolerance = "±" + Fixed(tol, 5) + " ms" +
                    (l[i].row == 0 ? " (a whole lag)" : " (the refinement between lags of 0.18 ms)");
    row.pass = set.early.status == SPATIAL_OK && std::fabs(1000 * (set.early.tauSeconds - expected)) <= tol;
    section.rows.push_back(row);
  }
}

void AddIaccRows(Section& section) {
  const std::vector<float> left = DecayingNoise(1.0, 0, 27), other = DecayingNoise(1.0, 0, 28);
  const std::string noise = "decaying noise T = 1.0 s (seed 27) with a direct sound at 10 ms, 44100 Hz";
  const cli::IsoFileEvaluation same = EvaluatePair(left, left, cli::PairKind::Binaural, 0);
  const char* iaccClause = "ISO 3382-1:2009 A.3.3";
  for (int row : {0, 6}) {
    const cli::IsoPairBand& b = PairRow(same, row);
    const std::string in = "both ears: " + noise;
    section.rows.push_back(SpatialRow("IACC_E, identical ears, " + RowLabel(row), iaccClause, in,
                                      "1 (Cauchy-Schwarz)", b.iaccEarly, 6, 1e-6, 1.0, "rounding"));
    section.rows.push_back(SpatialRow("IACC_L, identical ears, " + RowLabel(row), iaccClause, in, "1",
                                      b.iaccLate, 6, 1e-6, 1.0, "rounding"));
    section.rows.push_back(SpatialRow("IACC_A, identical ears, " + RowLabel(row), iaccClause, in, "1",
                                      b.iaccAll, 6, 1e-6, 1.0, "rounding"));
  }
  section.rows.push_back(SpatialRow("1 - IACC_E3, identical ears", "ISO 3382-1:2009 A.3.3, Table A.1",
                                    "both ears: " + noise, "0", same.pair.oneMinusIaccE3, 6, 1e-6, 0.0,
                                    "rounding"));

  std::vector<float> delayed(left.size(), 0.0f);
  for (size_t i = 22; i < left.size(); ++i) delayed[i] = left[i - 22];
  const cli::IsoFileEvaluation lag = EvaluatePair(left, delayed, cli::PairKind::Binaural, 0);
  for (int row : {0, 6}) {
    const cli::IsoPairBand& b = PairRow(lag, row);
    const std::string in = "left: " + noise + "; right: the same 22 samples (0.4989 ms) later";
    section.rows.push_back(SpatialRow("IACC_E, right ear 0.4989 ms later, " + RowLabel(row), iaccClause, in,
                                      "1 (the delayed copy)", b.iaccEarly, 4, 0.01, 1.0,
                                      "the window's edges hold 22 unmatched samples"));
  }
  AddLagRows(left, delayed, section);
  std::vector<float> right(left);
  const size_t lateStart = SYNTH_ARRIVAL + static_cast<size_t>(0.08 * SYNTH_RATE_HZ);
  for (size_t i = lateStart; i < right.size(); ++i) right[i] = other[i];
  const cli::IsoFileEvaluation split = EvaluatePair(left, right, cli::PairKind::Binaural, 0);
  for (int row : {0, 6}) {
    const cli::IsoPairBand& b = PairRow(split, row);
    const double bound = IndependentBound(row == 0 ? 22050.0 : 0.71 * 1000.0);
    const std::string in = "left: " + noise +
                           "; right: the same up to 80 ms after the onset, then "
                           "independent noise of the same decay (seed 28)";
    section.rows.push_back(SpatialRow("IACC_E, common early part, " + RowLabel(row), iaccClause, in,
                                      "1 (identical early windows)", b.iaccEarly, 4, 0.001, 1.0,
                                      "the band filter's memory across 80 ms"));
    section.rows.push_back(
        SpatialRow("IACC_L, independent late parts, " + RowLabel(row), iaccClause, in,
                   "0 (independent), bounded by 3/sqrt(2 B · 2T/13.82) = " + Fixed(bound, 3), b.iaccLate, 3,
                   bound, 0.0, "three standard deviations"));
  }
}

}  // namespace

Section SpatialSection() {
  Section section;
  section.title = "Spatial quantities";
  section.introduction =
      "The hosts' evaluation of a declared pair (`cli::EvaluateIsoFile` with `--pair`): J_LF and J_LFC of an "
      "omnidirectional (W) and figure-of-eight (Y) pair, IACC early (0 to 80 ms), late (80 ms to the end) "
      "and "
      "all of a binaural pair, from the direct sound found on the broadband response, in the broadband row "
      "and in octave bands through the plug-in's filters. The W/Y pair is made of single-sample arrivals, so "
      "its broadband J_LF and J_LFC are the hand sums shown; its spectrum is flat, so a band whose filter "
      "pulse ends within the windows gives the same ratios.\n";
  AddLateralRows(section);
  AddIaccRows(section);
  return section;
}

}  // namespace conformance
