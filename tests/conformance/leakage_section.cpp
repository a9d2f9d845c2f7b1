// The leakage section of the report: a response whose decay time rises
// toward low frequencies (T quadrupling from 250 Hz down to 63 Hz), made of
// one decaying band-limited noise per octave, through the host's ISO
// evaluation and through the plug-in, each band against its own T and
// against the same band's noise alone.
#include <fftw3.h>

#include <cmath>
#include <string>
#include <vector>

#include "interface/bands.h"
#include "interface/results.h"
#include "tests/conformance/iso_sections.h"
#include "tests/conformance/synthetic_runs.h"

namespace conformance {
namespace {

constexpr size_t LENGTH = 1u << 17;  // 2.97 s at 44100 Hz
constexpr double FLOOR_DB = -70.0;   // each octave's stationary floor below its decay's initial level

// T of octave rows 1 (31.5 Hz) .. 9 (8 kHz).
double OctaveT(int row) {
  const double t[] = {0, 2.0, 2.0, 1.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
  return t[row];
}

// Unit-power noise whose spectrum is flat between fc/sqrt 2 and fc sqrt 2
// (fc = 1000 · 2^(row - 6)) and zero elsewhere: random phases on the FFT bins.
std::vector<double> OctaveNoise(int row, uint32_t seed) {
  const double fc = 1000.0 * std::pow(2.0, row - 6), df = static_cast<double>(SYNTH_RATE_HZ) / LENGTH;
  fftw_complex* spectrum = fftw_alloc_complex(LENGTH / 2 + 1);
  std::vector<double> out(LENGTH);
  fftw_plan plan = fftw_plan_dft_c2r_1d(static_cast<int>(LENGTH), spectrum, out.data(), FFTW_ESTIMATE);
  Lcg lcg{seed};
  for (size_t k = 0; k <= LENGTH / 2; ++k) {
    const double f = static_cast<double>(k) * df, phase = M_PI * lcg.Next();
    const bool in = f >= fc / std::sqrt(2.0) && f < fc * std::sqrt(2.0);
    spectrum[k][0] = in ? std::cos(phase) : 0.0;
    spectrum[k][1] = in ? std::sin(phase) : 0.0;
  }
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  fftw_free(spectrum);
  double power = 0.0;
  for (double x : out) power += x * x;
  const double scale = 1.0 / std::sqrt(power / LENGTH);
  for (double& x : out) x *= scale;
  return out;
}

// The octaves `rows` each decaying with its own T from 10 ms, equal initial
// power per octave, each over its own stationary floor.
std::vector<float> Profile(const std::vector<int>& rows) {
  std::vector<double> sum(LENGTH, 0.0);
  const double floorGain = std::pow(10.0, FLOOR_DB / 20);
  for (int row : rows) {
    const std::vector<double> decay = OctaveNoise(row, 500 + row), floor = OctaveNoise(row, 600 + row);
    for (size_t i = 0; i < LENGTH; ++i) {
      const double t = (static_cast<double>(i) - SYNTH_ARRIVAL) / SYNTH_RATE_HZ;
      const double envelope = t >= 0 ? std::pow(10.0, -3.0 * t / OctaveT(row)) : 0.0;
      sum[i] += decay[i] * envelope + floor[i] * floorGain;
    }
  }
  std::vector<float> out(LENGTH);
  for (size_t i = 0; i < LENGTH; ++i) out[i] = static_cast<float>(0.1 * SYNTH_PEAK * sum[i]);
  return out;
}

struct BandTimes {
  double isoT20, isoT30, pluginT30;
};

struct Evaluated {
  cli::IsoFileEvaluation iso;
  cli::FileResult plugin;
};

Evaluated Evaluate(const std::vector<float>& samples) {
  return {EvaluateIso(samples, 1, cli::IsoRequest{}), AnalyseWithPlugin(samples, SYNTH_RATE_HZ, false)};
}

BandTimes TimesOf(const Evaluated& e, int row) {
  const IsoBandResult& band = e.iso.channels[0].bands[static_cast<size_t>(row)].result;
  const double pluginT30 =
      e.plugin.outcome.haveResults && e.plugin.outcome.store.valid[0][row][SLOT_RT30] == 'y'
          ? e.plugin.outcome.store.values[0][row][SLOT_RT30]
          : std::nan("");
  return {band.t20.time.value, band.t30.time.value, pluginT30};
}

Row LeakageRow(const char* name, int row, double full, double alone) {
  const double t = OctaveT(row), bias = 100 * (full / alone - 1);
  Row r;
  r.quantity = std::string(name) + ", " + OCTAVE_BANDS[row].nominalLabel + " Hz octave";
  r.clause = "IEC 61260-1:2014 5.10 (leakage of the neighbouring octaves), ISO 3382-1:2009 A.2.2";
  r.input =
      "octave noises 31.5 Hz..8 kHz, T = 2, 2, 1, 0.5 s at 31.5, 63, 125, 250 Hz and 0.5 s above, "
      "equal power, floors 70 dB below, 44100 Hz, 2.97 s";
  r.expected =
      Fixed(t, 3) + " s (the octave's own T); the octave's noise alone gives " + Fixed(alone, 4) + " s";
  r.computed = Fixed(full, 4) + " s: " + Signed(bias, 1) + " % against the octave alone, " +
               Signed(100 * (full / t - 1), 1) + " % against T";
  r.tolerance = "±5 % against the octave alone (ISO 3382-1 Table A.1: the just noticeable difference of T)";
  r.pass = std::isfinite(full) && std::fabs(bias) <= 5.0;
  if (!r.pass) r.verdict = "biased by the neighbouring octaves";
  return r;
}

}  // namespace

Section LeakageSection() {
  Section section;
  section.title = "Leakage of the octave filters on a rising decay-time profile";
  section.introduction =
      "The octave filters pass the octave below at about -18 dB at its centre and more toward the shared "
      "edge (IEC 61260-1 Table 1 asks at least 16.6 dB at Ω = 1/2 for class 1, 15.6 dB for class 2, so a "
      "conforming octave filter leaks as much). Where the octave below decays more slowly, its leaked energy "
      "outlasts the band's own and bends "
      "the band's decay curve late. The response is a sum of band-limited decaying noises, one per octave "
      "(random phases on the FFT bins between fc/√2 and fc·√2), with T = 2 s at 31.5 and 63 Hz, 1 s at 125 "
      "Hz "
      "and 0.5 s from 250 Hz up. Each band's T20 and T30 through the host's ISO evaluation and the plug-in's "
      "T30 (noise correction off) are held against the same band's noise analysed alone, so the "
      "realisation's own scatter cancels and the difference is the neighbours' leakage. The ISO evaluation "
      "and "
      "the plug-in read the same band signals, so they share the bias.\n";
  std::vector<int> all;
  for (int row = 1; row <= 9; ++row) all.push_back(row);
  const Evaluated full = Evaluate(Profile(all));
  for (int row : {2, 3, 4, 5, 6}) {
    const BandTimes f = TimesOf(full, row), alone = TimesOf(Evaluate(Profile({row})), row);
    section.rows.push_back(LeakageRow("ISO T20", row, f.isoT20, alone.isoT20));
    section.rows.push_back(LeakageRow("ISO T30", row, f.isoT30, alone.isoT30));
    section.rows.push_back(LeakageRow("plug-in T30", row, f.pluginT30, alone.pluginT30));
  }
  return section;
}

}  // namespace conformance
