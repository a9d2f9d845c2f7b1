// Schroeder backward integration, the level curve and the straight-line
// decay fits from which EDT, RT20, RT30 and RTU are derived.
#include "acoustics/decay.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interface/build_guard.h"

namespace {

// Energy of one sample, less the noise power when it is subtracted (never
// below 0 then).
template <bool SUBTRACT_NOISE>
double SampleEnergy(float value, double noisePower) {
  const double sample = static_cast<double>(value);
  if (!SUBTRACT_NOISE) return sample * sample;
  const double energy = sample * sample - noisePower;
#if defined(__SSE2__)
  // Without a branch: near the noise floor its outcome is a coin toss. The
  // mask keeps every energy that is not below 0 (NaN included).
  const __m128d wide = _mm_set_sd(energy);
  return _mm_cvtsd_f64(_mm_and_pd(_mm_cmpnlt_sd(wide, _mm_setzero_pd()), wide));
#else
  return energy < 0.0 ? 0.0 : energy;
#endif
}

template <bool SUBTRACT_NOISE>
double Integrate(float* signal, uint32_t n, uint32_t t0, double noisePower) {
  // Walk from the end towards the start: the running sum S is the energy
  // from k to the end, and the moment weights the arrival sample with 1, the
  // next with 2, and so on; samples before the arrival carry no weight.
  double sum = 0.0;
  double moment = 0.0;
  uint32_t k = n;
  if (t0 < n) {
    double weight = static_cast<double>(n - t0);  // k - t0 + 1, counted down exactly
    for (; k-- > t0; weight = weight - 1.0) {
      const double energy = SampleEnergy<SUBTRACT_NOISE>(signal[k], noisePower);
      sum = sum + energy;
      signal[k] = static_cast<float>(sum);
      moment = moment + weight * energy;
    }
    k = t0;
  }
  while (k-- > 0) {
    sum = sum + SampleEnergy<SUBTRACT_NOISE>(signal[k], noisePower);
    signal[k] = static_cast<float>(sum);
  }
  return moment;
}

}  // namespace

double BackwardIntegrate(float* signal, uint32_t n, uint32_t t0, double noisePower, double sampleRate) {
  const double moment = noisePower != 0.0 ? Integrate<true>(signal, n, t0, noisePower)
                                          : Integrate<false>(signal, n, t0, noisePower);
  return moment / sampleRate;
}

double EnergyToDecibels(double value) {
  // Zero, negative and NaN energies all read 0 dB.
  if (value > 0.0) {
    return 10.0 * std::log10(value);
  }
  return 0.0;
}

namespace {

// Samples converted at a time when a fit walks past the converted span.
constexpr uint32_t CONVERSION_STEP = 512;

void ConvertToLevels(float* samples, uint32_t from, uint32_t to) {
  for (uint32_t k = from; k < to; ++k) {
    samples[k] = static_cast<float>(EnergyToDecibels(static_cast<double>(samples[k])));
  }
}

// A level curve that is already converted.
struct ConvertedCurve {
  const float* samples;
  float operator[](uint32_t i) const { return samples[i]; }
};

// A level curve converted as far as it is read; reads go from t0 upward.
struct ConvertingCurve {
  PartialLevelCurve* curve;
  float operator[](uint32_t i) const {
    if (i >= curve->convertedEnd) {
      const uint32_t to = curve->length - i > CONVERSION_STEP ? i + CONVERSION_STEP : curve->length;
      ConvertToLevels(curve->samples, curve->convertedEnd, to);
      curve->convertedEnd = to;
    }
    return curve->samples[i];
  }
};

template <typename Curve>
FitResult FitSegment(const Curve& curve, uint32_t n, uint32_t t0, bool withNoiseCorrection, double headDropDb,
                     float fitRangeDb, double sampleRate) {
  FitResult result{0.0f, 0.0f, FIT_RANGE_NOT_REACHED, 0, 0, 0.0, 0.0, 0.0};
  // Levels are relative to the level at the first arrival; the segment runs
  // from headDropDb below it down to lowerDb.
  const double y0 = static_cast<double>(curve[t0]);
  const double lowerDb = -headDropDb - static_cast<double>(fitRangeDb);

  uint32_t i = t0;
  while (i<n&& static_cast<double>(curve[i])> y0 - headDropDb) {
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

}  // namespace

FitResult FitDecay(const float* curve, uint32_t n, uint32_t t0, bool withNoiseCorrection, double headDropDb,
                   float fitRangeDb, double sampleRate) {
  return FitSegment(ConvertedCurve{curve}, n, t0, withNoiseCorrection, headDropDb, fitRangeDb, sampleRate);
}

FitResult FitDecayOnEnergy(PartialLevelCurve* curve, bool withNoiseCorrection, double headDropDb,
                           float fitRangeDb, double sampleRate) {
  return FitSegment(ConvertingCurve{curve}, curve->length, curve->t0, withNoiseCorrection, headDropDb,
                    fitRangeDb, sampleRate);
}
