// Lateral energy fraction of a B-format pair: channel 1 is the
// omnidirectional W signal, channel 2 the lateral figure-of-eight Y signal.
//
// LF = Y energy from 5 ms to 80 ms after Y's first arrival, divided by the
// W energy from 0 ms to 80 ms after W's first arrival raised by the Boost.
// The Lin call (band 0) finds both first arrivals and leaves them in the
// settings record for the octave bands and for the IACC window.
#include "acoustics/lateral.h"

#include <cmath>

#include "hostlink/host_services.h"

namespace {

constexpr double LF_FAILED = 1.0;  // what every failure path returns
constexpr const char* LF_CAPTION = "LF";
// The arrivals are kept in 16-bit fields: a later arrival cannot be stored
// and counts as not found.
constexpr uint32_t LAST_STORABLE_ARRIVAL = 32767;

// Smallest index (within the storable range) whose magnitude reaches the
// threshold, or -1 when there is none.
int32_t FindLateralArrival(const float* signal, uint32_t length, float threshold) {
  const double limit = threshold;
  const uint32_t searched = length <= LAST_STORABLE_ARRIVAL ? length : LAST_STORABLE_ARRIVAL + 1;
  for (uint32_t i = 0; i < searched; ++i) {
    if (std::fabs(static_cast<double>(signal[i])) >= limit) return static_cast<int32_t>(i);
  }
  return -1;
}

}  // namespace

double ComputeLateralFraction(const float* w, const float* y, int16_t band, XfmContext* ctx) {
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) return LF_FAILED;

  const int64_t length = static_cast<int64_t>(ctx->selEnd) - ctx->selStart + 1;
  const double rateHz = ctx->sampleRate;
  const double boost = std::pow(10.0, 0.1 * settings->boostDb);

  int64_t arrivalW;
  int64_t arrivalY;
  if (band == 0) {
    const uint32_t searched = length > 0 ? static_cast<uint32_t>(length) : 0;
    const int32_t foundW = FindLateralArrival(w, searched, settings->wThreshold);
    if (foundW < 0) {
      UnlockSettings(ctx);
      ShowStopMessage(0, "Left Channel: can't calculate first arrival time \nChoose an higher value, please!",
                      LF_CAPTION);
      return LF_FAILED;
    }
    const int32_t foundY = FindLateralArrival(y, searched, settings->yThreshold);
    if (foundY < 0) {
      UnlockSettings(ctx);
      ShowStopMessage(0, "Right Channel: can't calculate first arrival time \nChoose an higher value, please!",
                      LF_CAPTION);
      return LF_FAILED;
    }
    settings->arrivalLeft = static_cast<int16_t>(foundW);
    settings->arrivalRight = static_cast<int16_t>(foundY);
    arrivalW = foundW;
    arrivalY = foundY;
  } else {
    arrivalW = settings->arrivalLeft;
    arrivalY = settings->arrivalRight;
  }
  const uint16_t bits = ctx->bitsPerSample;
  UnlockSettings(ctx);

  // Negative arrivals mean that this run's Lin call found none (the run marks
  // them so before the lateral pass); Lin has already said so.
  if (arrivalW < 0 || arrivalY < 0) return LF_FAILED;

  const int64_t window5 = static_cast<int64_t>(0.005 * rateHz);
  const int64_t window80 = static_cast<int64_t>(0.08 * rateHz);
  if (arrivalY + window80 > length - 1 || arrivalW + window80 > length - 1) {
    ShowStopMessage(0, "Select a longer wave, please!", LF_CAPTION);
    return LF_FAILED;
  }

  // 8-bit samples reach this routine centred on zero (the run converts them
  // as signed), so every width squares the samples as they are.
  if (bits != 8 && bits != 16 && bits != 32) return LF_FAILED;

  double omni = 0.0;
  for (int64_t i = arrivalW; i <= arrivalW + window80; ++i) omni += boost * w[i] * w[i];
  double lateral = 0.0;
  for (int64_t i = arrivalY + window5; i <= arrivalY + window80; ++i) {
    const double sample = y[i];
    lateral += sample * sample;
  }
  return lateral / omni;
}
