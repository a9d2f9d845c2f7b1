// IEC 61260-1:2014 Table 1 and the effective bandwidth; see the header.
#include "tests/conformance/iec61260_limits.h"

#include <algorithm>
#include <limits>

namespace conformance {
namespace {

// Table 1 above the mid-band frequency, as octave exponents x of G^x.
// Pass band: the maximum relative attenuation (the minimum is -0.4 dB for
// class 1, -0.6 dB for class 2 throughout); the last row is G^(1/2) itself.
struct PassRow {
  double exponent, class1Max, class2Max;
};
constexpr PassRow PASS_BAND[] = {
    {0.0, 0.4, 0.6}, {0.125, 0.5, 0.7}, {0.25, 0.7, 0.9}, {0.375, 1.4, 1.7}, {0.5, 5.3, 5.8},
};
// Stop band: the minimum relative attenuation, from just above G^(1/2); the
// maximum is unbounded.
struct StopRow {
  double exponent, class1Min, class2Min;
};
constexpr StopRow STOP_BAND[] = {
    {0.5, 1.2, 0.8}, {1.0, 16.6, 15.6}, {2.0, 40.5, 39.5}, {3.0, 60.0, 54.0}, {4.0, 70.0, 60.0},
};
constexpr double PASS_MIN_CLASS1 = -0.4;
constexpr double PASS_MIN_CLASS2 = -0.6;

// Formula (9): the octave-band breakpoint G^x carried to a 1/b-octave band.
double CarriedBreakpoint(double exponent, int b) {
  const double g = OCTAVE_RATIO_G;
  const double scale = (std::pow(g, 1.0 / (2.0 * b)) - 1.0) / (std::sqrt(g) - 1.0);
  return 1.0 + scale * (std::pow(g, exponent) - 1.0);
}

// Linear interpolation in lg(omega) over (omega_i, value_i), held constant
// beyond both ends.
double InterpolateLog(const std::vector<double>& omegas, const std::vector<double>& values, double omega) {
  if (omega <= omegas.front()) return values.front();
  if (omega >= omegas.back()) return values.back();
  size_t i = 1;
  while (omegas[i] < omega) ++i;
  const double t = std::log10(omega / omegas[i - 1]) / std::log10(omegas[i] / omegas[i - 1]);
  return values[i - 1] + t * (values[i] - values[i - 1]);
}

}  // namespace

double ExactMidBandHz(int x, int b) { return 1000.0 * std::pow(OCTAVE_RATIO_G, static_cast<double>(x) / b); }

Corridor AcceptanceCorridor(int filterClass, int b, double omega) {
  const double upper = omega < 1.0 ? 1.0 / omega : omega;  // Formula (10)
  const bool class1 = filterClass == 1;
  std::vector<double> passOmega, passMax, stopOmega, stopMin;
  for (const PassRow& row : PASS_BAND) {
    passOmega.push_back(CarriedBreakpoint(row.exponent, b));
    passMax.push_back(class1 ? row.class1Max : row.class2Max);
  }
  for (const StopRow& row : STOP_BAND) {
    stopOmega.push_back(CarriedBreakpoint(row.exponent, b));
    stopMin.push_back(class1 ? row.class1Min : row.class2Min);
  }
  if (upper <= passOmega.back()) {
    return {class1 ? PASS_MIN_CLASS1 : PASS_MIN_CLASS2, InterpolateLog(passOmega, passMax, upper)};
  }
  return {InterpolateLog(stopOmega, stopMin, upper), std::numeric_limits<double>::infinity()};
}

double CorridorMargin(const Corridor& corridor, double relativeAttenuationDb) {
  return std::min(relativeAttenuationDb - corridor.minDb, corridor.maxDb - relativeAttenuationDb);
}

std::vector<Breakpoint> TableBreakpoints(int b) {
  const double exponents[] = {0.125, 0.25, 0.375, 0.5, 1.0, 2.0, 3.0, 4.0};
  std::vector<Breakpoint> points;
  for (int i = 7; i >= 0; --i) points.push_back({-exponents[i], 1.0 / CarriedBreakpoint(exponents[i], b)});
  points.push_back({0.0, 1.0});
  for (double e : exponents) points.push_back({e, CarriedBreakpoint(e, b)});
  return points;
}

double EffectiveBandwidthDeviationDb(const std::vector<double>& omega,
                                     const std::vector<double>& relativeAttenuationDb, int b) {
  double be = 0.0;
  for (size_t i = 1; i < omega.size(); ++i) {
    const double w0 = std::pow(10.0, -0.1 * relativeAttenuationDb[i - 1]);
    const double w1 = std::pow(10.0, -0.1 * relativeAttenuationDb[i]);
    be += 0.5 * (w0 + w1) * std::log(omega[i] / omega[i - 1]);
  }
  const double br = std::log(OCTAVE_RATIO_G) / b;
  return 10.0 * std::log10(be / br);
}

double BandwidthDeviationLimitDb(int filterClass) { return filterClass == 1 ? 0.4 : 0.6; }

}  // namespace conformance
