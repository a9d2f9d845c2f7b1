// Interaural cross-correlation of a two-channel response taken as left and
// right ear signals: IACC (largest |normalised correlation| over lags within
// one millisecond), Tau IACC (the lag of that maximum, ms, sign reversed so
// that a later right signal gives a negative value) and W IACC (width in ms
// of the lag interval around the maximum that stays at or above 90 % of it).
//
// Lin (band 0) fixes the integration window from the first arrivals that
// its lateral-fraction step found; the octave bands reuse it.
#include "acoustics/iacc.h"

#include <cmath>

#include "interface/build_guard.h"

namespace {

constexpr int64_t END_MARGIN_SAMPLES = 50;  // the window ends this many samples before the end
// Correlations are kept for the second pass up to this many lags (rates up
// to 512 kHz); above it the second pass computes them again.
constexpr int64_t MAX_KEPT_LAGS = 1023;

// Normalised cross-correlation at one lag over the window [start, end].
double CorrelationAt(const float* left, const float* right, int64_t start, int64_t end, int64_t lag,
                     double normaliser) {
  double sum = 0.0;
  for (int64_t i = start; i <= end; ++i) sum += static_cast<double>(left[i]) * right[i + lag];
  return sum / normaliser;
}

// The same correlations for `count` consecutive lags from `firstLag`, four
// lags per sweep over the window. Each lag keeps its own sum, added in the
// same order as above, so the values are identical; the four independent
// sums only let the processor overlap their additions.
void CorrelateLags(const float* left, const float* right, int64_t start, int64_t end, int64_t firstLag,
                   int64_t count, double normaliser, double* out) {
  int64_t k = 0;
  for (; k + 4 <= count; k += 4) {
    // r[j] is right[start + j + lag] (start + lag >= 1: the window starts
    // at least one lag limit into the selection).
    const float* l = left + start;
    const float* r = right + (start + firstLag + k);
    double sum0 = 0.0, sum1 = 0.0, sum2 = 0.0, sum3 = 0.0;
    for (int64_t j = 0; j <= end - start; ++j) {
      const double x = l[j];
      sum0 += x * r[j];
      sum1 += x * r[j + 1];
      sum2 += x * r[j + 2];
      sum3 += x * r[j + 3];
    }
    out[k] = sum0 / normaliser;
    out[k + 1] = sum1 / normaliser;
    out[k + 2] = sum2 / normaliser;
    out[k + 3] = sum3 / normaliser;
  }
  for (; k < count; ++k) out[k] = CorrelationAt(left, right, start, end, firstLag + k, normaliser);
}

// Positive lags read up to end + lagLimit - 1: ending the window at least
// lagLimit samples before the end keeps every lag inside the selection.
int64_t EndMargin(int64_t lagLimit) { return lagLimit > END_MARGIN_SAMPLES ? lagLimit : END_MARGIN_SAMPLES; }

}  // namespace

IaccStatus FixIaccWindow(int64_t arrivalLeft, int64_t arrivalRight, int64_t length, int32_t rateHz,
                         IaccWindow* window) {
  const int64_t endMargin = EndMargin(rateHz / 1000);
  const int64_t start = arrivalLeft < arrivalRight ? arrivalLeft : arrivalRight;
  if (start == length || start < 0) return IACC_NO_ARRIVAL;
  if (start >= length - endMargin) return IACC_WINDOW_TOO_SHORT;
  window->start = start;
  window->end = length - endMargin;
  return IACC_OK;
}

IaccStatus ComputeIacc(const float* left, const float* right, int64_t length, int32_t rateHz, IaccWindow window,
                       IaccValues* values) {
  const int64_t lagLimit = rateHz / 1000;
  const int64_t endMargin = EndMargin(lagLimit);
  const int64_t start = window.start;
  const int64_t end = window.end;
  if (start > end || end > length - endMargin) return IACC_NO_WINDOW;
  if (start - lagLimit < 0) return IACC_BLANK_NEEDED;

  double energyLeft = 0.0;
  double energyRight = 0.0;
  for (int64_t i = start; i <= end; ++i) energyLeft += static_cast<double>(left[i]) * left[i];
  for (int64_t i = start; i <= end; ++i) energyRight += static_cast<double>(right[i]) * right[i];
  const double normaliser = std::sqrt(energyLeft * energyRight);
  if (normaliser == 0.0) return IACC_ZERO_ENERGY;

  const int64_t firstLag = -(lagLimit - 1);
  const int64_t lastLag = lagLimit - 1;
  const int64_t lagCount = lastLag - firstLag + 1;
  double kept[MAX_KEPT_LAGS];
  const bool keep = lagCount <= MAX_KEPT_LAGS;

  // First pass: the largest magnitude.
  double peak = 0.0;
  if (keep) {
    CorrelateLags(left, right, start, end, firstLag, lagCount, normaliser, kept);
    for (int64_t k = 0; k < lagCount; ++k) {
      if (std::fabs(kept[k]) > peak) peak = std::fabs(kept[k]);
    }
  } else {
    for (int64_t lag = firstLag; lag <= lastLag; ++lag) {
      const double c = CorrelationAt(left, right, start, end, lag, normaliser);
      if (std::fabs(c) > peak) peak = std::fabs(c);
    }
  }

  // Second pass: the 90 % crossings around the peak and the peak's lag.
  const double threshold = 0.9 * peak;
  bool haveLow = false, haveMax = false, haveHigh = false, haveMagnitude = false;
  int64_t lagLow = 0, lagMax = 0, lagHigh = 0, lagMagnitude = 0;
  for (int64_t lag = firstLag; lag <= lastLag; ++lag) {
    const double c = keep ? kept[lag - firstLag] : CorrelationAt(left, right, start, end, lag, normaliser);
    if (c >= threshold && !haveLow) {
      lagLow = lag;
      haveLow = true;
    }
    if (c == peak) {
      lagMax = lag;
      haveMax = true;
    }
    if (c <= threshold && haveMax && !haveHigh) {
      lagHigh = lag;
      haveHigh = true;
    }
    if (std::fabs(c) == peak && !haveMagnitude) {
      lagMagnitude = lag;
      haveMagnitude = true;
    }
  }
  // A peak reached by a negative correlation: its lag is the first one whose
  // magnitude equals IACC; no 90 % crossing surrounds it.
  if (!haveMax && haveMagnitude) lagMax = lagMagnitude;

  values->iacc = peak;
  // 0 marks a width that cannot be measured (a crossing is missing).
  const int64_t width = lagHigh - lagLow;
  values->wIacc = haveLow && haveHigh ? static_cast<double>(width < 0 ? -width : width) / rateHz * 1000 : 0.0;
  values->tauIacc = static_cast<double>(-lagMax) / rateHz * 1000;
  return IACC_OK;
}
