// Lateral energy fraction of a B-format pair: channel 1 is the
// omnidirectional W signal, channel 2 the lateral figure-of-eight Y signal.
//
// LF = Y energy from 5 ms to 80 ms after Y's first arrival, divided by the
// W energy from 0 ms to 80 ms after W's first arrival raised by the Boost.
// Lin finds both first arrivals; the octave bands reuse them.
#include "acoustics/lateral.h"

#include <cmath>

#include "dsp/signal.h"
#include "interface/build_guard.h"

namespace {

// The last arrival that a 16-bit field can keep.
constexpr uint32_t LAST_STORABLE_ARRIVAL = 32767;

}  // namespace

LateralStatus FindLateralArrivals(const float* w, const float* y, uint32_t length, float wThreshold,
                                  float yThreshold, LateralArrivals* arrivals) {
  arrivals->w = -1;
  arrivals->y = -1;
  const uint32_t foundW = FindFirstArrival(w, length, wThreshold);
  if (foundW == length) return LATERAL_NO_ARRIVAL_W;
  if (foundW > LAST_STORABLE_ARRIVAL) return LATERAL_W_BEYOND_INDEX;
  const uint32_t foundY = FindFirstArrival(y, length, yThreshold);
  if (foundY == length) return LATERAL_NO_ARRIVAL_Y;
  if (foundY > LAST_STORABLE_ARRIVAL) return LATERAL_Y_BEYOND_INDEX;
  arrivals->w = static_cast<int32_t>(foundW);
  arrivals->y = static_cast<int32_t>(foundY);
  return LATERAL_OK;
}

LateralStatus ComputeLateralFraction(const float* w, const float* y, int64_t length, double rateHz,
                                     uint16_t bitsPerSample, double boostDb, LateralArrivals arrivals,
                                     double* lf) {
  if (arrivals.w < 0 || arrivals.y < 0) return LATERAL_NO_LIN_ARRIVALS;
  const int64_t arrivalW = arrivals.w;
  const int64_t arrivalY = arrivals.y;
  const double boost = std::pow(10.0, 0.1 * boostDb);

  const int64_t window5 = static_cast<int64_t>(0.005 * rateHz);
  const int64_t window80 = static_cast<int64_t>(0.08 * rateHz);
  if (arrivalY + window80 > length - 1 || arrivalW + window80 > length - 1) return LATERAL_WINDOW_BEYOND_END;

  // 8-bit samples reach this routine centred on zero (the run converts them
  // as signed), so every width squares the samples as they are.
  if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 32) return LATERAL_UNSUPPORTED_WIDTH;

  double omni = 0.0;
  for (int64_t i = arrivalW; i <= arrivalW + window80; ++i) omni += boost * w[i] * w[i];
  double lateral = 0.0;
  for (int64_t i = arrivalY + window5; i <= arrivalY + window80; ++i) {
    const double sample = y[i];
    lateral += sample * sample;
  }
  *lf = lateral / omni;
  return std::isfinite(*lf) ? LATERAL_OK : LATERAL_ZERO_DENOMINATOR;
}
