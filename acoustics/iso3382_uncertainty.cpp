// Nominal bandwidths and the standard uncertainty of T20 and T30,
// ISO 3382-2:2008, 7.2 (formulas in iso3382_decay.h).
#include <cmath>
#include <limits>

#include "acoustics/iso3382_decay.h"

double IsoNominalBandwidthHz(double nominalHz, bool thirdOctave) {
  return (thirdOctave ? 0.23 : 0.71) * nominalHz;
}

double IsoReverberationUncertaintySeconds(double decayTimeSeconds, double bandwidthHz, int rangeDb,
                                          int decaysPerPosition, int positions) {
  double factor = 0.0, perDecay = 0.0;
  if (rangeDb == 20) factor = 0.88, perDecay = 1.90;
  if (rangeDb == 30) factor = 0.55, perDecay = 1.52;
  const double t = decayTimeSeconds;
  if (factor == 0.0 || !(bandwidthHz > 0.0) || !(t > 0.0) || decaysPerPosition < 1 || positions < 1)
    return std::numeric_limits<double>::quiet_NaN();
  return factor * t * std::sqrt((1.0 + perDecay / decaysPerPosition) / (positions * bandwidthHz * t));
}
