// J_LF, J_LFC and IACC of one band's pair, and their single numbers. Sums
// are taken in double, in ascending sample order, whatever the sample type.
#include "acoustics/iso3382_spatial.h"

#include <cmath>
#include <initializer_list>

namespace {

constexpr double EARLY_END_SECONDS = 0.080;      // end of the early windows, after the onset
constexpr double LATERAL_START_SECONDS = 0.005;  // start of J_LF's lateral window
constexpr double LAG_LIMIT_SECONDS = 0.001;      // IACC searches |tau| <= 1 ms

// The samples of a window and the weights of its two end samples (those
// between weigh 1). Empty when first > last.
struct Span {
  int64_t first;
  int64_t last;
  double firstWeight;
  double lastWeight;
};

// Part of the interval [i, i + 1) inside [start, end).
double Overlap(int64_t i, double start, double end) {
  const double from = std::fmax(static_cast<double>(i), start);
  const double to = std::fmin(static_cast<double>(i + 1), end);
  return to > from ? to - from : 0.0;
}

// The samples i in [0, lastIndex] whose intervals meet [start, end).
Span WindowSpan(double start, double end, int64_t lastIndex) {
  Span span{static_cast<int64_t>(std::floor(start)), static_cast<int64_t>(std::ceil(end)) - 1, 0.0, 0.0};
  if (span.first < 0) span.first = 0;
  if (span.last > lastIndex) span.last = lastIndex;
  if (span.first <= span.last) {
    span.firstWeight = Overlap(span.first, start, end);
    span.lastWeight = Overlap(span.last, start, end);
  }
  return span;
}

double Plain(double product) { return product; }
double Magnitude(double product) { return std::fabs(product); }

// Sum over k of weight * f(earlier[k] * later[k + shift]), each product
// weighed by the window [start, end) at its mid time k + shift / 2. The
// order of the terms and their grouping depend only on the window, the
// shift and the length, never on which array is which: swapping the two
// arrays gives the same sum bit for bit.
template <typename T, double (*F)(double)>
double PairSum(const T* earlier, const T* later, int64_t length, int64_t shift, double start, double end) {
  if (shift >= length) return 0.0;
  const double half = 0.5 * static_cast<double>(shift);
  const Span span = WindowSpan(start - half, end - half, length - 1 - shift);
  if (span.first > span.last) return 0.0;
  auto term = [&](int64_t k) {
    return F(static_cast<double>(earlier[k]) * static_cast<double>(later[k + shift]));
  };
  if (span.first == span.last) return span.firstWeight * term(span.first);
  double lanes[4] = {0.0, 0.0, 0.0, 0.0};
  int64_t k = span.first + 1;
  for (; k + 3 < span.last; k += 4) {
    lanes[0] += term(k);
    lanes[1] += term(k + 1);
    lanes[2] += term(k + 2);
    lanes[3] += term(k + 3);
  }
  for (; k < span.last; ++k) lanes[0] += term(k);
  double sum = span.firstWeight * term(span.first);
  sum += (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  sum += span.lastWeight * term(span.last);
  return sum;
}

bool ValidIndex(double index) { return std::isfinite(index) && index >= 0.0; }

template <typename T>
IsoLateral Lateral(const T* w, const T* y, size_t length, double rateHz, double onset, double figure8GainDb) {
  IsoLateral out{0.0, 0.0, SPATIAL_INVALID_INPUT};
  if (!(rateHz > 0.0) || length == 0 || !ValidIndex(onset) || !std::isfinite(figure8GainDb)) return out;
  const auto n = static_cast<int64_t>(length);
  const double end = onset + EARLY_END_SECONDS * rateHz;
  const double lateralStart = onset + LATERAL_START_SECONDS * rateHz;
  out.status = onset >= static_cast<double>(n) ? SPATIAL_ONSET_BEYOND_END
               : end > static_cast<double>(n)  ? SPATIAL_RESPONSE_TOO_SHORT
                                               : SPATIAL_OK;
  if (out.status != SPATIAL_OK) return out;
  const double omni = PairSum<T, Plain>(w, w, n, 0, onset, end);
  const double lateral = PairSum<T, Plain>(y, y, n, 0, lateralStart, end);
  const double cross = PairSum<T, Magnitude>(y, w, n, 0, lateralStart, end);
  if (!std::isfinite(omni) || !std::isfinite(lateral) || !std::isfinite(cross)) {
    out.status = SPATIAL_NOT_FINITE;
    return out;
  }
  if (omni == 0.0) {
    out.status = SPATIAL_ZERO_DENOMINATOR;
    return out;
  }
  const double gain = std::pow(10.0, figure8GainDb / 20.0);
  out.jlf = gain * gain * lateral / omni;
  out.jlfc = gain * cross / omni;
  return out;
}

// IACF at whole lag k (right later than left for k > 0), unnormalised.
template <typename T>
double CrossSum(const T* left, const T* right, int64_t n, int64_t lag, double start, double end) {
  return lag >= 0 ? PairSum<T, Plain>(left, right, n, lag, start, end)
                  : PairSum<T, Plain>(right, left, n, -lag, start, end);
}

// The peak of |IACF| between whole lags: the sinusoid A cos(omega (x - d))
// through the peak lag's magnitude and its neighbours' values (signed as the
// peak) below and above. `valid` is false when the three values are not
// those of such a sinusoid with its top within a lag of the peak lag.
struct PeakModel {
  bool valid;
  double amplitude;
  double offset;  // lags from the peak lag to the top
  double omega;   // radians per lag
};

PeakModel RefinePeak(double below, double peak, double above) {
  PeakModel model{false, 0.0, 0.0, 0.0};
  const double magnitude = std::fabs(peak);
  if (magnitude == 0.0) return model;
  const double sign = peak < 0.0 ? -1.0 : 1.0;
  const double p = sign * below;
  const double q = sign * above;
  const double cosOmega = (p + q) / (2.0 * magnitude);
  if (!(cosOmega < 1.0 && cosOmega > -1.0)) return model;
  model.omega = std::acos(cosOmega);
  const double phase = std::atan((q - p) / (2.0 * magnitude * std::sin(model.omega)));
  model.offset = phase / model.omega;
  model.amplitude = magnitude / std::cos(phase);
  model.valid = std::fabs(model.offset) <= 1.0 && std::isfinite(model.amplitude);
  return model;
}

template <typename T>
IsoIacc IaccWindow(const T* left, const T* right, size_t length, double rateHz, double start, double end) {
  IsoIacc out{0.0, 0.0, 0.0, SPATIAL_INVALID_INPUT};
  if (!(rateHz > 0.0) || length == 0 || !ValidIndex(start) || !ValidIndex(end)) return out;
  const auto n = static_cast<int64_t>(length);
  out.status = (end > static_cast<double>(n) || end <= start) ? SPATIAL_RESPONSE_TOO_SHORT : SPATIAL_OK;
  if (out.status != SPATIAL_OK) return out;
  const double energyLeft = PairSum<T, Plain>(left, left, n, 0, start, end);
  const double energyRight = PairSum<T, Plain>(right, right, n, 0, start, end);
  const double normaliser = std::sqrt(energyLeft * energyRight);
  if (!std::isfinite(normaliser)) out.status = SPATIAL_NOT_FINITE;
  if (normaliser == 0.0) out.status = SPATIAL_ZERO_DENOMINATOR;
  if (out.status != SPATIAL_OK) return out;
  // Whole lags 0, +1, -1, +2, -2, ...: the first of equal magnitudes wins.
  const double limitLags = rateHz * LAG_LIMIT_SECONDS;
  const auto maxLag = static_cast<int64_t>(std::floor(limitLags));
  int64_t bestLag = 0;
  double best = CrossSum(left, right, n, 0, start, end) / normaliser;
  for (int64_t k = 1; k <= maxLag; ++k) {
    for (const int64_t lag : {k, -k}) {
      const double c = CrossSum(left, right, n, lag, start, end) / normaliser;
      if (std::fabs(c) > std::fabs(best)) {
        best = c;
        bestLag = lag;
      }
    }
  }
  out.iaccOnLags = std::fabs(best);
  out.iacc = out.iaccOnLags;
  out.tauSeconds = static_cast<double>(bestLag) / rateHz;
  const PeakModel model = RefinePeak(CrossSum(left, right, n, bestLag - 1, start, end) / normaliser, best,
                                     CrossSum(left, right, n, bestLag + 1, start, end) / normaliser);
  if (!model.valid) return out;
  // The top of the sinusoid, or its value at the lag limit when the top lies
  // beyond 1 ms.
  const double topLags = static_cast<double>(bestLag) + model.offset;
  const double tauLags = std::fabs(topLags) > limitLags ? std::copysign(limitLags, topLags) : topLags;
  const double value = model.amplitude * std::cos(model.omega * (tauLags - topLags));
  if (value > out.iaccOnLags) {
    out.iacc = value;
    out.tauSeconds = tauLags / rateHz;
  }
  return out;
}

template <typename T>
IsoIaccSet IaccSet(const T* left, const T* right, size_t length, double rateHz, double onset, double end) {
  IsoIaccSet out{};
  if (!(rateHz > 0.0) || length == 0 || !ValidIndex(onset) || !std::isfinite(end)) {
    out.early.status = out.late.status = out.all.status = SPATIAL_INVALID_INPUT;
    return out;
  }
  if (onset >= static_cast<double>(length)) {
    out.early.status = out.late.status = out.all.status = SPATIAL_ONSET_BEYOND_END;
    return out;
  }
  const double lastEnd = end < 0.0 ? static_cast<double>(length) : end;
  const double earlyEnd = onset + EARLY_END_SECONDS * rateHz;
  out.early = IaccWindow(left, right, length, rateHz, onset, earlyEnd);
  out.late = IaccWindow(left, right, length, rateHz, earlyEnd, lastEnd);
  out.all = IaccWindow(left, right, length, rateHz, onset, lastEnd);
  return out;
}

}  // namespace

SpatialReason SpatialReasonOf(SpatialStatus status) {
  switch (status) {
    case SPATIAL_OK:
      return {"", ""};
    case SPATIAL_INVALID_INPUT:
      return {
          "invalid-input",
          "the band's signal is empty, its rate is not positive, or the onset or end is not a sample index"};
    case SPATIAL_ONSET_BEYOND_END:
      return {"onset-beyond-end", "the direct sound's onset lies at or after the end of the band's signal"};
    case SPATIAL_RESPONSE_TOO_SHORT:
      return {"response-too-short",
              "the response ends before the window does (80 ms after the direct sound, or the given end)"};
    case SPATIAL_ZERO_DENOMINATOR:
      return {"zero-denominator", "W (or one ear) has no energy in the window: the ratio is undefined"};
    case SPATIAL_NOT_FINITE:
      return {"not-finite-sum", "a sum over the window is infinite or not a number (so is a sample)"};
    case SPATIAL_BAND_NOT_VALID:
      return {"band-not-valid", "a band that the single number averages has no valid value"};
  }
  return {"", ""};
}

IsoLateral ComputeIsoLateral(const float* w, const float* y, size_t length, double rateHz, double onsetSample,
                             double figure8GainDb) {
  return Lateral(w, y, length, rateHz, onsetSample, figure8GainDb);
}
IsoLateral ComputeIsoLateral(const double* w, const double* y, size_t length, double rateHz,
                             double onsetSample, double figure8GainDb) {
  return Lateral(w, y, length, rateHz, onsetSample, figure8GainDb);
}

IsoIacc ComputeIsoIaccWindow(const float* left, const float* right, size_t length, double rateHz,
                             double startSample, double endSample) {
  return IaccWindow(left, right, length, rateHz, startSample, endSample);
}
IsoIacc ComputeIsoIaccWindow(const double* left, const double* right, size_t length, double rateHz,
                             double startSample, double endSample) {
  return IaccWindow(left, right, length, rateHz, startSample, endSample);
}

IsoIaccSet ComputeIsoIacc(const float* left, const float* right, size_t length, double rateHz,
                          double onsetSample, double endSample) {
  return IaccSet(left, right, length, rateHz, onsetSample, endSample);
}
IsoIaccSet ComputeIsoIacc(const double* left, const double* right, size_t length, double rateHz,
                          double onsetSample, double endSample) {
  return IaccSet(left, right, length, rateHz, onsetSample, endSample);
}

SpatialSingleNumber OneMinusIaccE3(const IsoIacc& early500Hz, const IsoIacc& early1kHz,
                                   const IsoIacc& early2kHz) {
  if (early500Hz.status != SPATIAL_OK || early1kHz.status != SPATIAL_OK || early2kHz.status != SPATIAL_OK)
    return {0.0, SPATIAL_BAND_NOT_VALID};
  return {1.0 - (early500Hz.iacc + early1kHz.iacc + early2kHz.iacc) / 3.0, SPATIAL_OK};
}

IsoLateral LateralSingleNumbers(const IsoLateral bands[4]) {
  IsoLateral out{0.0, 0.0, SPATIAL_OK};
  for (int b = 0; b < 4; ++b) {
    if (bands[b].status != SPATIAL_OK) return {0.0, 0.0, SPATIAL_BAND_NOT_VALID};
    out.jlf += bands[b].jlf;
    out.jlfc += bands[b].jlfc;
  }
  out.jlf /= 4.0;
  out.jlfc /= 4.0;
  return out;
}
