// Decay and energy-ratio sections of the report; see the header.
#include "tests/conformance/decay_sections.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "acoustics/band_parameters.h"
#include "host/cli/resample.h"
#include "host/cli/run_file.h"
#include "interface/bands.h"
#include "ui/cell_text.h"

namespace conformance {
namespace {

constexpr double RATE_HZ = 44100.0;
constexpr double DECAY_60 = 13.815510557964274;  // ln(10^6): 60 dB of energy, "13.82"

// Energy decaying 60 dB per T from the first sample: amplitude e^(-6.91 t / T).
std::vector<float> IdealDecay(double t60, double seconds) {
  std::vector<float> x(static_cast<size_t>(seconds * RATE_HZ));
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<float>(std::exp(-0.5 * DECAY_60 * i / (t60 * RATE_HZ)));
  return x;
}

Row RatioRow(const std::string& quantity, const std::string& clause, double t60,
             const std::string& expectedSource, double expected, double computed, double tolerance,
             const std::string& unit, int decimals) {
  Row row;
  row.quantity = quantity + ", T = " + Fixed(t60, 1) + " s";
  row.clause = clause;
  row.input = "ideal exponential decay e^(-13.82 t/T) of energy from sample 0 (t0 = 0), 44100 Hz, " +
              Fixed(3 * t60, 1) + " s, through ComputeBandParameters (Lin, no noise correction)";
  row.expected = Fixed(expected, decimals + 2) + " " + unit + " (" + expectedSource + ")";
  row.computed = Fixed(computed, decimals + 2) + " " + unit;
  row.tolerance = "±" + Fixed(tolerance, decimals) + " " + unit;
  row.pass = std::fabs(computed - expected) <= tolerance;
  return row;
}

void AddEnergyRatioRows(double t60, Section& section) {
  std::vector<float> signal = IdealDecay(t60, 3 * t60);
  float values[PARAMS_PER_BAND] = {};
  char flags[PARAMS_PER_BAND] = {};
  BandOutcome outcome;
  ComputeBandParameters(signal.data(), values, flags, DecayRange{-5.0f, -35.0f}, 0, 0.0,
                        static_cast<uint32_t>(signal.size()), static_cast<float>(RATE_HZ), &outcome);
  const double k = DECAY_60 / t60;
  const std::string c = "ISO 3382-1:2009 A.2.4";
  section.rows.push_back(RatioRow("C50", c, t60, "10 lg(e^(0.05·13.82/T) - 1)",
                                  10 * std::log10(std::exp(0.05 * k) - 1), values[SLOT_C50], 0.01, "dB", 2));
  section.rows.push_back(RatioRow("C80", c, t60, "10 lg(e^(0.08·13.82/T) - 1)",
                                  10 * std::log10(std::exp(0.08 * k) - 1), values[SLOT_C80], 0.01, "dB", 2));
  section.rows.push_back(RatioRow("D50", "ISO 3382-1:2009 A.2.4", t60, "100 (1 - e^(-0.05·13.82/T))",
                                  100 * (1 - std::exp(-0.05 * k)), values[SLOT_D50], 0.01, "%", 2));
  // The arrival sample carries weight 1: the discrete centre time is half a
  // sample period (0.0113 ms) later than T/13.82.
  section.rows.push_back(RatioRow("Ts", "ISO 3382-1:2009 A.2.5", t60,
                                  "1000 T/13.82; the plug-in weights the arrival sample 1, +0.0113 ms",
                                  1000 * t60 / DECAY_60, values[SLOT_TS], 0.02, "ms", 2));
  const char* fits[] = {"EDT", "T20", "T30"};
  const int slots[] = {SLOT_EDT, SLOT_RT20, SLOT_RT30};
  for (int i = 0; i < 3; ++i) {
    section.rows.push_back(RatioRow(fits[i], "ISO 3382-1:2009 A.2.1, A.2.2", t60,
                                    "T: the level falls on a straight line", t60, values[slots[i]],
                                    0.001 * t60, "s", 3));
  }
}

Section EnergyRatioSection() {
  Section section;
  section.title = "Energy ratios and decay times of ideal decays";
  section.introduction =
      "`ComputeBandParameters` (acoustics/band_parameters.h), the routine the band analysis calls for every "
      "band, on ideal exponential decays that start at the first arrival. For such a decay the closed forms "
      "are exact: the sums over whole samples reproduce them, since 50 ms and 80 ms are whole sample counts "
      "at "
      "44100 Hz; the tolerances cover the single-precision energy curve. Ts differs by half a sample period "
      "because the plug-in weights the arrival sample 1 (not 0) in the moment.\n";
  for (double t60 : {0.5, 1.0, 2.0}) AddEnergyRatioRows(t60, section);
  return section;
}

}  // namespace

std::vector<Section> DecaySections() {
  std::vector<Section> sections;
  sections.push_back(EnergyRatioSection());
  sections.push_back(PluginEvaluationSection());
  sections.push_back(SampleRateSection());
  return sections;
}

}  // namespace conformance
