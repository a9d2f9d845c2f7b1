// Fixed sixth-order sections and the backward-running resonator band-pass.
//
// Samples are 32-bit floats; every product and sum is taken in double and
// each output is rounded to float as it is stored. Past outputs are always
// read back from the buffer, i.e. as the rounded floats, so the recursion
// runs on exactly the values a reader of the buffer sees.
#include "dsp/filters.h"

#include <cmath>

#include "interface/build_guard.h"

static_assert(sizeof(SixthOrderCoefficients) == 112, "b0..b6 then a0..a6, seven doubles each");

// 8 kHz octave band-pass at 44100 Hz, edges 8000/sqrt2 and 8000*sqrt2 Hz.
const SixthOrderCoefficients OctaveBandPass = {
    {0.0338, 0, -0.1013, 0, 0.1013, 0, -0.0338},
    {1, -1.7009, 2.4150, -1.9683, 1.4337, -0.5565, 0.1890},
};

// Lower third of the 8 kHz octave (6.3 kHz third) at 44100 Hz.
const SixthOrderCoefficients ThirdOctaveBandPass1 = {
    {0.0009, 0, -0.0028, 0, 0.0028, 0, -0.0009},
    {1, -3.4420, 6.5401, -7.4752, 5.6862, -2.6009, 0.6571},
};

// Middle third of the 8 kHz octave (8 kHz third) at 44100 Hz.
const SixthOrderCoefficients ThirdOctaveBandPass2 = {
    {0.0018, 0, -0.0054, 0, 0.0054, 0, -0.0018},
    {1, -2.2691, 4.1963, -4.2103, 3.5196, -1.5935, 0.5890},
};

// Upper third of the 8 kHz octave (10 kHz third) at 44100 Hz.
const SixthOrderCoefficients ThirdOctaveBandPass3 = {
    {0.0034, 0, -0.0101, 0, 0.0101, 0, -0.0034},
    {1, -0.6767, 2.4916, -1.0806, 2.0005, -0.4331, 0.5128},
};

// Half-band low-pass, corner at a quarter of the rate.
const SixthOrderCoefficients DecimationLowPass = {
    {0.0296, 0.1775, 0.4438, 0.5918, 0.4438, 0.1775, 0.0296},
    {1, 0, 0.7777, 0, 0.1142, 0, 0.0018},
};

void FilterSixthOrder(const SixthOrderCoefficients& set, const float* source, float* destination,
                      uint32_t length) {
  const double* b = set.b;
  const double* a = set.a;
  const float* x = source;
  float* y = destination;

  // Start-up: inputs and outputs before index 0 are zero, so their terms
  // vanish. The k = 0 term's y[n] is the output not yet computed and counts
  // as 0, so a0 contributes nothing.
  uint32_t n = 0;
  for (; n < length && n < 6; ++n) {
    double acc = b[0] * static_cast<double>(x[n]) - a[0] * 0.0;
    for (uint32_t k = 1; k <= n; ++k) {
      acc = acc + (b[k] * static_cast<double>(x[n - k]) - a[k] * static_cast<double>(y[n - k]));
    }
    y[n] = static_cast<float>(acc);
  }

  // Steady run: all seven terms, summed in the order k = 0 .. 6.
  for (; n < length; ++n) {
    double acc = b[0] * static_cast<double>(x[n]) - a[0] * 0.0;
    acc = acc + (b[1] * static_cast<double>(x[n - 1]) - a[1] * static_cast<double>(y[n - 1]));
    acc = acc + (b[2] * static_cast<double>(x[n - 2]) - a[2] * static_cast<double>(y[n - 2]));
    acc = acc + (b[3] * static_cast<double>(x[n - 3]) - a[3] * static_cast<double>(y[n - 3]));
    acc = acc + (b[4] * static_cast<double>(x[n - 4]) - a[4] * static_cast<double>(y[n - 4]));
    acc = acc + (b[5] * static_cast<double>(x[n - 5]) - a[5] * static_cast<double>(y[n - 5]));
    acc = acc + (b[6] * static_cast<double>(x[n - 6]) - a[6] * static_cast<double>(y[n - 6]));
    y[n] = static_cast<float>(acc);
  }
}

void ResonatorBandPass(float centreHz, float q, float* samples, float rateHz, uint32_t length) {
  if (length == 0) {
    return;
  }
  // Design values in double from the float arguments.
  const double twoPi = 6.283185307179586;
  const double omega0 = twoPi * static_cast<double>(centreHz) / static_cast<double>(rateHz);
  const double d = std::tan(omega0 / (2.0 * static_cast<double>(q)));
  const double beta = 0.5 * (1.0 - d) / (1.0 + d);
  const double gamma = (0.5 + beta) * std::cos(omega0);
  const double alpha = (0.5 - beta) * 0.5;

  // The pass runs from the last sample to the first: each output replaces its
  // input as soon as the input has been read, so the two later inputs that
  // the recursion still needs are kept here.
  const uint32_t last = length - 1;
  double xNext = static_cast<double>(samples[last]);  // x[i+1]
  samples[last] = static_cast<float>(2.0 * alpha * xNext);
  if (length == 1) {
    return;
  }

  double xAfter = xNext;  // x[i+2]
  xNext = static_cast<double>(samples[last - 1]);
  samples[last - 1] =
      static_cast<float>(2.0 * (alpha * xNext + gamma * static_cast<double>(samples[last])));

  for (uint32_t i = last - 1; i-- > 0;) {
    const double xi = static_cast<double>(samples[i]);
    const double y1 = static_cast<double>(samples[i + 1]);
    const double y2 = static_cast<double>(samples[i + 2]);
    samples[i] = static_cast<float>(2.0 * (alpha * (xi - xAfter) + gamma * y1 - beta * y2));
    xAfter = xNext;
    xNext = xi;
  }
}

void ResonatorOctaveFilter(float* samples, uint32_t length, float centreHz, float rateHz) {
  // The outer centres are formed in single precision.
  const float lowerHz = centreHz * 0.75f;
  const float upperHz = centreHz * 1.3f;
  ResonatorBandPass(lowerHz, 8.0f, samples, rateHz, length);
  ResonatorBandPass(centreHz, 4.0f, samples, rateHz, length);
  ResonatorBandPass(upperHz, 8.0f, samples, rateHz, length);
}
