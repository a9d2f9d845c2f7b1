// Fixed sixth-order sections and the backward-running resonator band-pass.
//
// Samples are 32-bit floats; every product and sum is taken in double and
// each output is rounded to float as it is stored. Past outputs are always
// read back from the buffer, i.e. as the rounded floats, so the recursion
// runs on exactly the values a reader of the buffer sees.
#include "dsp/filters.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

constexpr uint32_t HISTORY = 6;  // past inputs and outputs a section reads

// The first outputs, while the section fills its history: only the terms
// with non-negative indices are summed, exactly as in FilterSixthOrder.
void StartUp(const SixthOrderCoefficients& set, const float* x, float* y, uint32_t count) {
  for (uint32_t n = 0; n < count; ++n) {
    double acc = set.b[0] * static_cast<double>(x[n]) - set.a[0] * 0.0;
    for (uint32_t k = 1; k <= n; ++k) {
      acc = acc + (set.b[k] * static_cast<double>(x[n - k]) - set.a[k] * static_cast<double>(y[n - k]));
    }
    y[n] = static_cast<float>(acc);
  }
}

}  // namespace

void FilterSixthOrderPair(const SixthOrderCoefficients& first, const SixthOrderCoefficients& second,
                          const float* source, float* firstOut, float* secondOut, uint32_t length,
                          bool decimate) {
  const uint32_t kept = decimate ? length / 2 : length;  // outputs of `second` stored
  auto storeSecond = [&](uint32_t n, float value) {
    if (!decimate) {
      secondOut[n] = value;
    } else if (n % 2 == 0 && n / 2 < kept) {
      secondOut[n / 2] = value;
    }
  };

  // Inputs and outputs are kept here as well as stored: secondOut may be the
  // source, and decimation stores only every second output.
  const uint32_t head = length < HISTORY ? length : HISTORY;
  float x[HISTORY] = {}, y1[HISTORY] = {}, y2[HISTORY] = {};
  for (uint32_t n = 0; n < head; ++n) x[n] = source[n];
  StartUp(first, x, y1, head);
  StartUp(second, x, y2, head);
  for (uint32_t n = 0; n < head; ++n) {
    firstOut[n] = y1[n];
    storeSecond(n, y2[n]);
  }
  if (length <= HISTORY) return;

#if defined(__SSE2__)
  // Lane 0 is `first`, lane 1 `second`. Each lane does the scalar sum's
  // operations in the scalar order; the rounding to float and back is per lane.
  __m128d b[7], a[7];
  for (int k = 0; k <= 6; ++k) {
    b[k] = _mm_set_pd(second.b[k], first.b[k]);
    a[k] = _mm_set_pd(second.a[k], first.a[k]);
  }
  const __m128d zero = _mm_setzero_pd();
  // h[k - 1] holds x[n - k] and g[k - 1] the outputs y[n - k] of both lanes.
  __m128d h[HISTORY], g[HISTORY];
  for (uint32_t k = 1; k <= HISTORY; ++k) {
    h[k - 1] = _mm_set1_pd(static_cast<double>(x[HISTORY - k]));
    g[k - 1] = _mm_set_pd(static_cast<double>(y2[HISTORY - k]), static_cast<double>(y1[HISTORY - k]));
  }
  for (uint32_t n = HISTORY; n < length; ++n) {
    const __m128d x0 = _mm_set1_pd(static_cast<double>(source[n]));
    __m128d acc = _mm_sub_pd(_mm_mul_pd(b[0], x0), _mm_mul_pd(a[0], zero));
    for (int k = 1; k <= 6; ++k) {
      acc = _mm_add_pd(acc, _mm_sub_pd(_mm_mul_pd(b[k], h[k - 1]), _mm_mul_pd(a[k], g[k - 1])));
    }
    const __m128 rounded = _mm_cvtpd_ps(acc);
    firstOut[n] = _mm_cvtss_f32(rounded);
    storeSecond(n, _mm_cvtss_f32(_mm_shuffle_ps(rounded, rounded, 1)));
    for (int k = 5; k > 0; --k) {
      h[k] = h[k - 1];
      g[k] = g[k - 1];
    }
    h[0] = x0;
    g[0] = _mm_cvtps_pd(rounded);
  }
#else
  // Two scalar recursions side by side.
  const SixthOrderCoefficients* sets[2] = {&first, &second};
  double h[HISTORY], g[2][HISTORY];
  for (uint32_t k = 1; k <= HISTORY; ++k) {
    h[k - 1] = static_cast<double>(x[HISTORY - k]);
    g[0][k - 1] = static_cast<double>(y1[HISTORY - k]);
    g[1][k - 1] = static_cast<double>(y2[HISTORY - k]);
  }
  for (uint32_t n = HISTORY; n < length; ++n) {
    const double x0 = static_cast<double>(source[n]);
    float out[2];
    for (int lane = 0; lane < 2; ++lane) {
      const double* bl = sets[lane]->b;
      const double* al = sets[lane]->a;
      double acc = bl[0] * x0 - al[0] * 0.0;
      for (int k = 1; k <= 6; ++k) acc = acc + (bl[k] * h[k - 1] - al[k] * g[lane][k - 1]);
      out[lane] = static_cast<float>(acc);
    }
    firstOut[n] = out[0];
    storeSecond(n, out[1]);
    for (int k = 5; k > 0; --k) {
      h[k] = h[k - 1];
      g[0][k] = g[0][k - 1];
      g[1][k] = g[1][k - 1];
    }
    h[0] = x0;
    g[0][0] = static_cast<double>(out[0]);
    g[1][0] = static_cast<double>(out[1]);
  }
#endif
}

namespace {

struct ResonatorDesign {
  double alpha, beta, gamma;
};

// Design values in double from the float arguments.
ResonatorDesign DesignResonator(float centreHz, float q, float rateHz) {
  const double twoPi = 6.283185307179586;
  const double omega0 = twoPi * static_cast<double>(centreHz) / static_cast<double>(rateHz);
  const double d = std::tan(omega0 / (2.0 * static_cast<double>(q)));
  const double beta = 0.5 * (1.0 - d) / (1.0 + d);
  const double gamma = (0.5 + beta) * std::cos(omega0);
  const double alpha = (0.5 - beta) * 0.5;
  return ResonatorDesign{alpha, beta, gamma};
}

}  // namespace

namespace {

constexpr int MAX_CASCADE_LEVELS = 16;

// One level of the octave cascade: band-pass (lane 0) and low-pass (lane 1)
// of the same input. The histories are kept twice over in rings of
// 2 * HISTORY entries, so that the last HISTORY values always lie side by
// side, newest first, from `newest` on: nothing is shifted per sample.
struct CascadeLevel {
  uint32_t received;         // input samples so far
  uint32_t length;           // input samples in all
  float* band;               // band-pass output, `length` samples
  uint32_t newest;           // ring index of the newest input and outputs
  double x[2 * HISTORY][2];  // the input, in both lanes
  double y[2 * HISTORY][2];  // the two lanes' outputs (stored floats)
};

// b_k and a_k of both lanes, side by side.
struct CascadeCoefficients {
  double b[7][2];
  double a[7][2];
};

CascadeCoefficients MakeCascadeCoefficients() {
  CascadeCoefficients c;
  for (int k = 0; k <= 6; ++k) {
    c.b[k][0] = OctaveBandPass.b[k];
    c.b[k][1] = DecimationLowPass.b[k];
    c.a[k][0] = OctaveBandPass.a[k];
    c.a[k][1] = DecimationLowPass.a[k];
  }
  return c;
}

void Remember(CascadeLevel* level, double x0, const float* out) {
  level->newest = level->newest == 0 ? HISTORY - 1 : level->newest - 1;
  for (uint32_t copy = 0; copy < 2; ++copy) {
    const uint32_t at = level->newest + copy * HISTORY;
    level->x[at][0] = level->x[at][1] = x0;
    level->y[at][0] = static_cast<double>(out[0]);
    level->y[at][1] = static_cast<double>(out[1]);
  }
}

// Filters one input sample; returns the low-pass output. The first HISTORY
// outputs sum only the terms that exist, as FilterSixthOrder does.
float PushSample(CascadeLevel* level, const CascadeCoefficients& c, float input) {
  const uint32_t n = level->received++;
  const double x0 = static_cast<double>(input);
  // x[k - 1] and y[k - 1] are the values k samples back.
  const double(*x)[2] = level->x + level->newest;
  const double(*y)[2] = level->y + level->newest;
  float out[2];
  if (n < HISTORY) {
    for (int lane = 0; lane < 2; ++lane) {
      double acc = c.b[0][lane] * x0 - c.a[0][lane] * 0.0;
      for (uint32_t k = 1; k <= n; ++k)
        acc = acc + (c.b[k][lane] * x[k - 1][lane] - c.a[k][lane] * y[k - 1][lane]);
      out[lane] = static_cast<float>(acc);
    }
  } else {
#if defined(__SSE2__)
    __m128d acc = _mm_sub_pd(_mm_mul_pd(_mm_loadu_pd(c.b[0]), _mm_set1_pd(x0)),
                             _mm_mul_pd(_mm_loadu_pd(c.a[0]), _mm_setzero_pd()));
    for (uint32_t k = 1; k <= HISTORY; ++k) {
      const __m128d bx = _mm_mul_pd(_mm_loadu_pd(c.b[k]), _mm_loadu_pd(x[k - 1]));
      const __m128d ay = _mm_mul_pd(_mm_loadu_pd(c.a[k]), _mm_loadu_pd(y[k - 1]));
      acc = _mm_add_pd(acc, _mm_sub_pd(bx, ay));
    }
    const __m128 rounded = _mm_cvtpd_ps(acc);
    out[0] = _mm_cvtss_f32(rounded);
    out[1] = _mm_cvtss_f32(_mm_shuffle_ps(rounded, rounded, 1));
#else
    for (int lane = 0; lane < 2; ++lane) {
      double acc = c.b[0][lane] * x0 - c.a[0][lane] * 0.0;
      for (uint32_t k = 1; k <= HISTORY; ++k) {
        acc = acc + (c.b[k][lane] * x[k - 1][lane] - c.a[k][lane] * y[k - 1][lane]);
      }
      out[lane] = static_cast<float>(acc);
    }
#endif
  }
  Remember(level, x0, out);
  level->band[n] = out[0];
  return out[1];
}

}  // namespace

void FilterOctaveCascade(const float* source, uint32_t length, int levelCount, float* bands) {
  if (levelCount > MAX_CASCADE_LEVELS) levelCount = MAX_CASCADE_LEVELS;
  CascadeLevel levels[MAX_CASCADE_LEVELS];
  const CascadeCoefficients coefficients = MakeCascadeCoefficients();
  uint32_t levelLength = length;
  float* band = bands;
  for (int i = 0; i < levelCount; ++i) {
    levels[i] = CascadeLevel{0, levelLength, band, 0, {}, {}};
    band += levelLength;
    levelLength /= 2;
  }
  // Feeds one input sample to level `first` and the low-pass outputs on
  // down: every second one, while the next level wants more.
  auto feed = [&](int first, float value) {
    for (int i = first; i < levelCount; ++i) {
      const uint32_t index = levels[i].received;  // this sample's index at level i
      value = PushSample(&levels[i], coefficients, value);
      if (i + 1 == levelCount || index % 2 != 0 || index / 2 >= levels[i + 1].length) break;
    }
  };
  uint32_t n = 0;
#if defined(__SSE2__)
  // Level 0 runs every sample and sets the pace: after its start-up its
  // recursion stays in registers, and the lower levels fill its gaps.
  for (; n < length && n < HISTORY; ++n) feed(0, source[n]);
  if (n < length && levelCount > 0) {
    const SixthOrderCoefficients& band = OctaveBandPass;
    const SixthOrderCoefficients& low = DecimationLowPass;
    __m128d b[7], a[7];
    for (int k = 0; k <= 6; ++k) {
      b[k] = _mm_set_pd(low.b[k], band.b[k]);
      a[k] = _mm_set_pd(low.a[k], band.a[k]);
    }
    const __m128d zero = _mm_setzero_pd();
    __m128d h[HISTORY], g[HISTORY];
    for (uint32_t k = 0; k < HISTORY; ++k) {
      h[k] = _mm_loadu_pd(levels[0].x[levels[0].newest + k]);
      g[k] = _mm_loadu_pd(levels[0].y[levels[0].newest + k]);
    }
    const uint32_t nextLength = levelCount > 1 ? levels[1].length : 0;
    float* bandOut = levels[0].band;
    for (; n < length; ++n) {
      const __m128d x0 = _mm_set1_pd(static_cast<double>(source[n]));
      __m128d acc = _mm_sub_pd(_mm_mul_pd(b[0], x0), _mm_mul_pd(a[0], zero));
      for (int k = 1; k <= 6; ++k) {
        acc = _mm_add_pd(acc, _mm_sub_pd(_mm_mul_pd(b[k], h[k - 1]), _mm_mul_pd(a[k], g[k - 1])));
      }
      const __m128 rounded = _mm_cvtpd_ps(acc);
      bandOut[n] = _mm_cvtss_f32(rounded);
      if (n % 2 == 0 && n / 2 < nextLength) feed(1, _mm_cvtss_f32(_mm_shuffle_ps(rounded, rounded, 1)));
      for (int k = 5; k > 0; --k) {
        h[k] = h[k - 1];
        g[k] = g[k - 1];
      }
      h[0] = x0;
      g[0] = _mm_cvtps_pd(rounded);
    }
  }
#endif
  for (; n < length; ++n) feed(0, source[n]);
}

void ResonatorBandPass(float centreHz, float q, float* samples, float rateHz, uint32_t length) {
  if (length == 0) {
    return;
  }
  const ResonatorDesign design = DesignResonator(centreHz, q, rateHz);
  const double alpha = design.alpha;
  const double beta = design.beta;
  const double gamma = design.gamma;

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
  samples[last - 1] = static_cast<float>(2.0 * (alpha * xNext + gamma * static_cast<double>(samples[last])));

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

namespace {

// The three passes of the octave filter, in their order.
constexpr int PASSES = 3;

#if defined(__SSE2__)
// One resonator pass on both channels (lane 0 left, lane 1 right): the
// inputs and outputs it still needs, as doubles of the stored floats.
struct PassLanes {
  __m128d twoAlpha, alpha, beta, gamma;
  __m128d xNext, xAfter;  // inputs x[i+1], x[i+2]
  __m128d yNext, yAfter;  // outputs y[i+1], y[i+2]
};

__m128d RoundToFloat(__m128d value) { return _mm_cvtps_pd(_mm_cvtpd_ps(value)); }
#endif

}  // namespace

void ResonatorOctaveFilterPair(float* left, float* right, uint32_t length, float centreHz, float rateHz) {
  const float lowerHz = centreHz * 0.75f;
  const float upperHz = centreHz * 1.3f;
#if defined(__SSE2__)
  const ResonatorDesign designs[PASSES] = {DesignResonator(lowerHz, 8.0f, rateHz),
                                           DesignResonator(centreHz, 4.0f, rateHz),
                                           DesignResonator(upperHz, 8.0f, rateHz)};
  const __m128d two = _mm_set1_pd(2.0);
  PassLanes pass[PASSES];
  const uint32_t last = length - 1;
  // The last sample: y = 2 alpha x. The one before: y = 2 (alpha x + gamma y[i+1]).
  __m128d x = _mm_set_pd(static_cast<double>(right[last]), static_cast<double>(left[last]));
  for (int p = 0; p < PASSES; ++p) {
    PassLanes& s = pass[p];
    s.twoAlpha = _mm_set1_pd(2.0 * designs[p].alpha);
    s.alpha = _mm_set1_pd(designs[p].alpha);
    s.beta = _mm_set1_pd(designs[p].beta);
    s.gamma = _mm_set1_pd(designs[p].gamma);
    s.xNext = x;
    s.yNext = RoundToFloat(_mm_mul_pd(s.twoAlpha, x));
    x = s.yNext;
  }
  x = _mm_set_pd(static_cast<double>(right[last - 1]), static_cast<double>(left[last - 1]));
  for (PassLanes& s : pass) {
    const __m128d y =
        RoundToFloat(_mm_mul_pd(two, _mm_add_pd(_mm_mul_pd(s.alpha, x), _mm_mul_pd(s.gamma, s.yNext))));
    s.xAfter = s.xNext;
    s.xNext = x;
    s.yAfter = s.yNext;
    s.yNext = y;
    x = y;
  }
  __m128 out = _mm_cvtpd_ps(x);
  left[last] = _mm_cvtss_f32(_mm_cvtpd_ps(pass[PASSES - 1].yAfter));
  right[last] = _mm_cvtss_f32(_mm_shuffle_ps(_mm_cvtpd_ps(pass[PASSES - 1].yAfter), out, 1));
  left[last - 1] = _mm_cvtss_f32(out);
  right[last - 1] = _mm_cvtss_f32(_mm_shuffle_ps(out, out, 1));
  // y[i] = 2 (alpha (x[i] - x[i+2]) + gamma y[i+1] - beta y[i+2]), each pass
  // taking the pass before's output at i as its input.
  for (uint32_t i = last - 1; i-- > 0;) {
    x = _mm_set_pd(static_cast<double>(right[i]), static_cast<double>(left[i]));
    for (PassLanes& s : pass) {
      const __m128d sum =
          _mm_add_pd(_mm_mul_pd(s.alpha, _mm_sub_pd(x, s.xAfter)), _mm_mul_pd(s.gamma, s.yNext));
      const __m128d y = RoundToFloat(_mm_mul_pd(two, _mm_sub_pd(sum, _mm_mul_pd(s.beta, s.yAfter))));
      s.xAfter = s.xNext;
      s.xNext = x;
      s.yAfter = s.yNext;
      s.yNext = y;
      x = y;
    }
    out = _mm_cvtpd_ps(x);
    left[i] = _mm_cvtss_f32(out);
    right[i] = _mm_cvtss_f32(_mm_shuffle_ps(out, out, 1));
  }
#else
  ResonatorOctaveFilter(left, length, centreHz, rateHz);
  ResonatorOctaveFilter(right, length, centreHz, rateHz);
  (void)lowerHz;
  (void)upperHz;
#endif
}
