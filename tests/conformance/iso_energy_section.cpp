// The ISO energy-ratio section of the report: C50, C80, D50, Ts of ideal
// exponential decays from the ISO onset, and the onset itself, through the
// host's ISO evaluation.
#include <cmath>
#include <string>
#include <vector>

#include "tests/conformance/iso_sections.h"
#include "tests/conformance/synthetic_runs.h"

namespace conformance {
namespace {

constexpr double DECAY_60 = 13.815510557964274;  // ln(10^6)

// Energy decaying 60 dB per T from sample `start` (silence before), down to
// -150 dB at the end, so that the background the evaluation estimates from
// the last tenth lies far below every ratio's resolution.
std::vector<float> IdealDecayFrom(size_t start, double t60) {
  std::vector<float> x(start + static_cast<size_t>(2.5 * t60 * SYNTH_RATE_HZ), 0.0f);
  for (size_t i = start; i < x.size(); ++i)
    x[i] = static_cast<float>(
        SYNTH_PEAK * std::exp(-0.5 * DECAY_60 * static_cast<double>(i - start) / (t60 * SYNTH_RATE_HZ)));
  return x;
}

cli::IsoFileEvaluation EvaluateLin(const std::vector<float>& samples) {
  return EvaluateIso(samples, 1, cli::IsoRequest{});
}

Row RatioRow(const std::string& quantity, const std::string& clause, double t60, const std::string& source,
             double expected, const IsoValue& computed, double tolerance, const std::string& unit) {
  Row r;
  r.quantity = quantity + ", Lin, T = " + Fixed(t60, 1) + " s";
  r.clause = clause;
  r.input =
      "ideal exponential decay e^(-13.82 t/T) of energy from 10 ms (silence before), 44100 Hz, to -150 "
      "dB, host's ISO evaluation (broadband row)";
  r.expected = Fixed(expected, 4) + " " + unit + " (" + source + ")";
  r.computed = Fixed(computed.value, 4) + " " + unit + ", " + ReasonText(computed.reasons);
  r.tolerance = "±" + Fixed(tolerance, 3) + " " + unit + " (single-precision samples)";
  r.pass = computed.Valid() && std::fabs(computed.value - expected) <= tolerance;
  return r;
}

// Sample k stands for [k, k + 1): the sums over whole samples from the onset
// are the closed forms exactly (50 ms and 80 ms are whole sample counts).
void AddRatioRows(double t60, Section& section) {
  const cli::IsoFileEvaluation eval = EvaluateLin(IdealDecayFrom(SYNTH_ARRIVAL, t60));
  const IsoBandResult& lin = eval.channels[0].bands[0].result;
  const double k = DECAY_60 / t60;
  section.rows.push_back(RatioRow("C50", "ISO 3382-1:2009 A.2.4", t60, "10 lg(e^(0.05·13.82/T) - 1)",
                                  10 * std::log10(std::exp(0.05 * k) - 1), lin.c50, 0.002, "dB"));
  section.rows.push_back(RatioRow("C80", "ISO 3382-1:2009 A.2.4", t60, "10 lg(e^(0.08·13.82/T) - 1)",
                                  10 * std::log10(std::exp(0.08 * k) - 1), lin.c80, 0.002, "dB"));
  section.rows.push_back(RatioRow("D50", "ISO 3382-1:2009 A.2.4", t60, "100 (1 - e^(-0.05·13.82/T))",
                                  100 * (1 - std::exp(-0.05 * k)), lin.d50, 0.005, "%"));
  section.rows.push_back(RatioRow("Ts", "ISO 3382-1:2009 A.2.5", t60, "1000 T/13.82", 1000 * t60 / DECAY_60,
                                  lin.ts, 0.005, "ms"));
}

Row OnsetRow(const std::string& input, const std::vector<float>& samples, size_t expectedSample,
             const std::string& why) {
  const double onset = EvaluateLin(samples).channels[0].onsetSeconds;
  const double expected = static_cast<double>(expectedSample) / SYNTH_RATE_HZ;
  Row r;
  r.quantity = "onset";
  r.clause = "ISO 3382-1:2009 A.3.4 (20 dB below the peak)";
  r.input = input;
  r.expected = Fixed(1000 * expected, 4) + " ms, sample " + std::to_string(expectedSample) + " (" + why + ")";
  r.computed = Fixed(1000 * onset, 4) + " ms";
  r.tolerance = "exact (the same sample)";
  r.pass = std::fabs(onset - expected) < 0.5 / SYNTH_RATE_HZ;
  return r;
}

void AddOnsetRows(Section& section) {
  section.rows.push_back(OnsetRow("the ideal decay T = 1.0 s from sample 441",
                                  IdealDecayFrom(SYNTH_ARRIVAL, 1.0), SYNTH_ARRIVAL,
                                  "its first sample is its peak"));
  std::vector<float> early = IdealDecayFrom(SYNTH_ARRIVAL, 1.0);
  early[200] = 0.099f * SYNTH_PEAK;  // -20.09 dB: not yet the onset
  early[300] = 0.101f * SYNTH_PEAK;  // -19.91 dB: the onset
  section.rows.push_back(OnsetRow("the same with a sample of 0.099 peak at 200 and of 0.101 peak at 300",
                                  early, 300, "the first sample within 20 dB of the peak; -20.09 dB is not"));
  section.rows.push_back(OnsetRow("decaying noise T = 1.0 s (seed 27) with a direct sound at sample 441",
                                  DecayingNoise(1.0, 0, 27), SYNTH_ARRIVAL,
                                  "the direct sound; the noise before it is silent"));
}

}  // namespace

Section IsoEnergyRatioSection() {
  Section section;
  section.title = "Energy ratios of the ISO evaluation";
  section.introduction =
      "C50, C80, D50 and Ts of the hosts' ISO 3382 evaluation (`cli::EvaluateIsoFile`) from the ISO onset, "
      "on ideal exponential decays that start there. Each sample stands for the interval [k, k + 1) of the "
      "sample clock, so the sums over whole samples from the onset equal the closed forms (50 ms and 80 ms "
      "are whole sample counts at 44100 Hz); Ts takes each sample at its interval's middle, which equals "
      "T/13.82 to within T/13.82 · (Δt · 13.82/T)² / 12. The onset rows show the 20 dB rule on the "
      "broadband response.\n";
  for (double t60 : {0.3, 1.0, 2.0, 4.0}) AddRatioRows(t60, section);
  AddOnsetRows(section);
  return section;
}

}  // namespace conformance
