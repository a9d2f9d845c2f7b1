// Schroeder backward integration, the level curve and the straight-line
// decay fits from which EDT, RT20, RT30 and RTU are derived.
#include "acoustics/decay.h"

#include <cmath>

#include "interface/build_guard.h"

double BackwardIntegrate(float* signal, uint32_t n, uint32_t t0, double noisePower, double sampleRate) {
  // Walk from the end towards the start: the running sum S is the energy
  // from k to the end, and the moment weights the arrival sample with 1, the
  // next with 2, and so on; samples before the arrival carry no weight.
  double sum = 0.0;
  double moment = 0.0;
  for (uint32_t k = n; k-- > 0;) {
    const double sample = static_cast<double>(signal[k]);
    double energy = sample * sample;
    if (noisePower != 0.0) {
      energy = sample * sample - noisePower;
      if (energy < 0.0) {
        energy = 0.0;
      }
    }
    sum = sum + energy;
    signal[k] = static_cast<float>(sum);
    if (k >= t0) {
      moment = moment + static_cast<double>(k - t0 + 1) * energy;
    }
  }
  return moment / sampleRate;
}

double EnergyToDecibels(double value) {
  // Zero, negative and NaN energies all read 0 dB.
  if (value > 0.0) {
    return 10.0 * std::log10(value);
  }
  return 0.0;
}

FitResult FitDecay(const float* curve, uint32_t n, uint32_t t0, bool withNoiseCorrection, double headDropDb,
                   float fitRangeDb, double sampleRate) {
  FitResult result{0.0f, 0.0f, FIT_RANGE_NOT_REACHED, 0, 0, 0.0, 0.0, 0.0};
  // Levels are relative to the level at the first arrival; the segment runs
  // from headDropDb below it down to lowerDb.
  const double y0 = static_cast<double>(curve[t0]);
  const double lowerDb = -headDropDb - static_cast<double>(fitRangeDb);

  uint32_t i = t0;
  while (i < n && static_cast<double>(curve[i]) > y0 - headDropDb) {
    ++i;
  }
  if (i == n) return result;
  result.firstIndex = i;

  // Regression of level (dB re y0) on the point count 1, 2, 3, ...; the walk
  // examines the first point below lowerDb but does not use it.
  uint32_t x = 1;
  double sumX = 0.0;
  double sumD = 0.0;
  double sumXD = 0.0;
  double sumXX = 0.0;
  double sumDD = 0.0;
  double d = 0.0;
  do {
    d = static_cast<double>(curve[i]) - y0;
    if (d >= lowerDb && i < n) {
      const double xd = static_cast<double>(x);
      sumX = sumX + xd;
      sumD = sumD + d;
      sumXD = sumXD + xd * d;
      sumXX = sumXX + xd * xd;
      sumDD = sumDD + d * d;
      ++x;
    }
    ++i;
  } while (d >= lowerDb && i < n);
  const double count = static_cast<double>(x - 1);
  result.pointCount = x - 1;
  if (x > 1) {
    result.centroidIndex = static_cast<double>(result.firstIndex) - 1.0 + sumX / count;
    result.centroidLevelDb = y0 + sumD / count;
  }

  // The segment must end before the noisy tail: the last tenth of the curve
  // with noise correction, the last sixteenth without. A walk that ran to the
  // end without falling through the segment never reached its lower end.
  const uint32_t tail = withNoiseCorrection ? n / 10 : n / 16;
  if (i > n - tail) {
    result.status = d >= lowerDb ? FIT_RANGE_NOT_REACHED : FIT_TAIL_GUARD;
    return result;
  }

  // The zero tests below are exact: they catch the degenerate sums, not
  // near-degenerate ones.
  double status = 1.0;
  double time = 0.0;
  const double spreadX = count * sumXX - sumX * sumX;
  if (spreadX == 0.0) {
    status = FIT_NO_SPREAD;
    time = 0.0;
  } else {
    const double slopeDbPerSample = (count * sumXD - sumX * sumD) / spreadX;
    result.slopeDbPerSample = slopeDbPerSample;
    if (slopeDbPerSample == 0.0) {
      status = FIT_SLOPE_ZERO;
      time = 0.0;
    } else {
      time = -60.0 / slopeDbPerSample / sampleRate;
    }
  }

  double q = 0.0;
  result.status = FIT_OK;
  const double spreadD = count * sumDD - sumD * sumD;
  if (spreadX * spreadD == 0.0) {
    status = status + 40.0;
    q = 0.0;
    time = 0.0;
  } else {
    const double covariance = count * sumXD - sumX * sumD;
    q = std::fabs(covariance * covariance / (spreadX * spreadD));
    if (q < 0.85) {
      q = 0.0;
      time = 0.0;
      result.status = FIT_LOW_CORRELATION;
    }
  }

  if (status == 1.0) {
    result.decayTime = static_cast<float>(time);
    result.coefficient = static_cast<float>(q);
  } else {
    result.decayTime = 0.0f;
    result.coefficient = static_cast<float>(status);
    result.status = FIT_FLAT;
  }
  return result;
}
