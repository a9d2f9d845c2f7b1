// Fixed sixth-order sections and the backward-running resonator band-pass.
//
// Samples are 32-bit floats; every product and sum is taken in double and
// each output is rounded to float as it is stored. Past outputs are always
// read back from the buffer, i.e. as the rounded floats, so the recursion
// runs on exactly the values a reader of the buffer sees.
#include "dsp/filters.h"

#include <cmath>

#include "dsp/lanes.h"
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

namespace {

constexpr uint32_t HISTORY = 6;  // past inputs and outputs a section reads

// b_k and a_k of two sections, one per lane.
struct SectionLanes {
  Lanes2 b[7];
  Lanes2 a[7];
};

SectionLanes MakeSectionLanes(const SixthOrderCoefficients& first, const SixthOrderCoefficients& second) {
  SectionLanes c;
  for (int k = 0; k <= 6; ++k) {
    c.b[k] = Lanes2::Of(first.b[k], second.b[k]);
    c.a[k] = Lanes2::Of(first.a[k], second.a[k]);
  }
  return c;
}

// Two sections over the same input, one per lane. The histories are kept
// twice over in rings of 2 * HISTORY entries, so that the last HISTORY
// values always lie side by side, newest first, from `newest` on: nothing is
// shifted per sample. Zero-initialised, it is a section at rest.
struct SectionPair {
  uint32_t received;      // input samples so far
  uint32_t newest;        // ring index of the newest input and outputs
  Lanes2 x[2 * HISTORY];  // the input, in both lanes
  Lanes2 y[2 * HISTORY];  // the two lanes' outputs, as stored (floats)
};

// The section step, the one place where its sum is written. With
// h[k - 1] = x[n - k] and g[k - 1] = y[n - k], the output is
//   b0 x[n] + (b1 x[n-1] - a1 y[n-1]) + ... + (b6 x[n-6] - a6 y[n-6]),
// summed in this order and rounded to float. a0 = 1 weighs the output not
// yet computed, which counts as 0: b0 x[n] - a0 * 0 is b0 x[n] exactly (a
// difference with +0 is its first operand, -0 included), so that term is
// not written. While the section starts up (`terms` < HISTORY), the terms of
// samples before index 0 are left out rather than added as zeros (a zero
// term would turn a sum of -0 into +0). `last` is y[n-1], the same value as
// g[0]: a caller that holds it in a register spares the recursion's chain
// reading it back from the ring.
inline Lanes2 Step(const SectionLanes& c, SectionPair* s, Lanes2 x0, Lanes2 last, uint32_t terms) {
  const Lanes2* h = s->x + s->newest;
  const Lanes2* g = s->y + s->newest;
  Lanes2 acc = c.b[0] * x0;
  if (terms >= 1) acc = acc + (c.b[1] * h[0] - c.a[1] * last);
  for (uint32_t k = 2; k <= terms; ++k) acc = acc + (c.b[k] * h[k - 1] - c.a[k] * g[k - 1]);
  const Lanes2 out = RoundToFloat(acc);
  s->newest = s->newest == 0 ? HISTORY - 1 : s->newest - 1;
  s->x[s->newest] = s->x[s->newest + HISTORY] = x0;
  s->y[s->newest] = s->y[s->newest + HISTORY] = out;
  ++s->received;
  return out;
}

// Filters one input sample through both lanes; returns the two outputs.
// `last` is the section's previous output (anything before the first).
inline Lanes2 Push(const SectionLanes& c, SectionPair* s, float input, Lanes2 last) {
  const Lanes2 x0 = Lanes2::Both(static_cast<double>(input));
  return s->received < HISTORY ? Step(c, s, x0, last, s->received) : Step(c, s, x0, last, HISTORY);
}

// The same, reading the previous output back from the ring.
inline Lanes2 Push(const SectionLanes& c, SectionPair* s, float input) {
  return Push(c, s, input, s->y[s->newest]);
}

}  // namespace

void FilterSixthOrder(const SixthOrderCoefficients& set, const float* source, float* destination,
                      uint32_t length) {
  // Both lanes run the same section; each output is stored twice over.
  FilterSixthOrderPair(set, set, source, destination, destination, length, false);
}

void FilterSixthOrderPair(const SixthOrderCoefficients& first, const SixthOrderCoefficients& second,
                          const float* source, float* firstOut, float* secondOut, uint32_t length,
                          bool decimate) {
  const SectionLanes c = MakeSectionLanes(first, second);
  SectionPair section{};
  // secondOut may be the source when decimating: its sample n / 2 is written
  // only once the source's sample n has been read.
  const uint32_t kept = decimate ? length / 2 : length;  // outputs of `second` stored
  for (uint32_t n = 0; n < length; ++n) {
    const Lanes2 out = Push(c, &section, source[n]);
    firstOut[n] = static_cast<float>(out.First());
    if (!decimate) {
      secondOut[n] = static_cast<float>(out.Second());
    } else if (n % 2 == 0 && n / 2 < kept) {
      secondOut[n / 2] = static_cast<float>(out.Second());
    }
  }
}

namespace {

constexpr int MAX_CASCADE_LEVELS = 16;

// One level of the octave cascade: band-pass (lane 0) and low-pass (lane 1)
// of the same input.
struct CascadeLevel {
  uint32_t length;  // input samples in all
  float* band;      // band-pass output, `length` samples
  SectionPair section;
};

// Levels below the second: each input sample goes to `from`, and the
// low-pass outputs on down, every second one, while the next level wants
// more.
void PushLowerLevels(const SectionLanes& c, CascadeLevel* levels, int from, int levelCount, float value) {
  for (int i = from; i < levelCount; ++i) {
    CascadeLevel& level = levels[i];
    const uint32_t index = level.section.received;  // this sample's index at level i
    const Lanes2 out = Push(c, &level.section, value);
    level.band[index] = static_cast<float>(out.First());
    value = static_cast<float>(out.Second());
    if (i + 1 == levelCount || index % 2 != 0 || index / 2 >= levels[i + 1].length) break;
  }
}

}  // namespace

void FilterOctaveCascade(const float* source, uint32_t length, int levelCount, float* bands) {
  if (levelCount < 1) return;
  if (levelCount > MAX_CASCADE_LEVELS) levelCount = MAX_CASCADE_LEVELS;
  CascadeLevel levels[MAX_CASCADE_LEVELS];
  const SectionLanes c = MakeSectionLanes(OctaveBandPass, DecimationLowPass);
  uint32_t levelLength = length;
  float* band = bands;
  for (int i = 0; i < levelCount; ++i) {
    levels[i] = CascadeLevel{levelLength, band, {}};
    band += levelLength;
    levelLength /= 2;
  }
  // The first two levels take three quarters of the steps, and the first
  // level's recursion sets the pace: their previous outputs stay in
  // registers. Each level takes every second low-pass output of the one
  // above, while it wants more.
  const uint32_t secondLength = levelCount > 1 ? levels[1].length : 0;
  const uint32_t thirdLength = levelCount > 2 ? levels[2].length : 0;
  // Their sections are locals of their own (the levels' entries then only
  // give their lengths and outputs), which the compiler keeps closer.
  SectionPair first{}, second{};
  float* firstBand = levels[0].band;
  float* secondBand = levelCount > 1 ? levels[1].band : nullptr;
  Lanes2 last0 = Lanes2::Both(0.0), last1 = Lanes2::Both(0.0);
  for (uint32_t n = 0; n < length; ++n) {
    last0 = Push(c, &first, source[n], last0);
    firstBand[n] = static_cast<float>(last0.First());
    if (n % 2 != 0 || n / 2 >= secondLength) continue;
    const uint32_t m = n / 2;
    last1 = Push(c, &second, static_cast<float>(last0.Second()), last1);
    secondBand[m] = static_cast<float>(last1.First());
    if (m % 2 != 0 || m / 2 >= thirdLength) continue;
    PushLowerLevels(c, levels, 2, levelCount, static_cast<float>(last1.Second()));
  }
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

// One resonator pass on both channels (lane 0 left, lane 1 right): the
// inputs and outputs it still needs, as doubles of the stored floats.
struct PassLanes {
  Lanes2 twoAlpha, alpha, beta, gamma;
  Lanes2 xNext, xAfter;  // inputs x[i+1], x[i+2]
  Lanes2 yNext, yAfter;  // outputs y[i+1], y[i+2]
};

Lanes2 LoadLanes(const float* left, const float* right, uint32_t i) {
  return Lanes2::Of(static_cast<double>(left[i]), static_cast<double>(right[i]));
}

// Lanes that hold floats already: the conversion is exact.
void StoreLanes(Lanes2 value, float* left, float* right, uint32_t i) {
  left[i] = static_cast<float>(value.First());
  right[i] = static_cast<float>(value.Second());
}

}  // namespace

void ResonatorOctaveFilterPair(float* left, float* right, uint32_t length, float centreHz, float rateHz) {
  const float lowerHz = centreHz * 0.75f;
  const float upperHz = centreHz * 1.3f;
  const ResonatorDesign designs[PASSES] = {DesignResonator(lowerHz, 8.0f, rateHz),
                                           DesignResonator(centreHz, 4.0f, rateHz),
                                           DesignResonator(upperHz, 8.0f, rateHz)};
  const Lanes2 two = Lanes2::Both(2.0);
  PassLanes pass[PASSES];
  const uint32_t last = length - 1;
  // The last sample: y = 2 alpha x. The one before: y = 2 (alpha x + gamma y[i+1]).
  Lanes2 x = LoadLanes(left, right, last);
  for (int p = 0; p < PASSES; ++p) {
    PassLanes& s = pass[p];
    s.twoAlpha = Lanes2::Both(2.0 * designs[p].alpha);
    s.alpha = Lanes2::Both(designs[p].alpha);
    s.beta = Lanes2::Both(designs[p].beta);
    s.gamma = Lanes2::Both(designs[p].gamma);
    s.xNext = x;
    s.yNext = RoundToFloat(s.twoAlpha * x);
    x = s.yNext;
  }
  x = LoadLanes(left, right, last - 1);
  for (PassLanes& s : pass) {
    const Lanes2 y = RoundToFloat(two * (s.alpha * x + s.gamma * s.yNext));
    s.xAfter = s.xNext;
    s.xNext = x;
    s.yAfter = s.yNext;
    s.yNext = y;
    x = y;
  }
  StoreLanes(pass[PASSES - 1].yAfter, left, right, last);
  StoreLanes(x, left, right, last - 1);
  // y[i] = 2 (alpha (x[i] - x[i+2]) + gamma y[i+1] - beta y[i+2]), each pass
  // taking the pass before's output at i as its input.
  for (uint32_t i = last - 1; i-- > 0;) {
    x = LoadLanes(left, right, i);
    for (PassLanes& s : pass) {
      const Lanes2 sum = s.alpha * (x - s.xAfter) + s.gamma * s.yNext;
      const Lanes2 y = RoundToFloat(two * (sum - s.beta * s.yAfter));
      s.xAfter = s.xNext;
      s.xNext = x;
      s.yAfter = s.yNext;
      s.yNext = y;
      x = y;
    }
    StoreLanes(x, left, right, i);
  }
}
