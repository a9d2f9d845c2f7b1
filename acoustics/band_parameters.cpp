// The eleven parameters of one band: clarity C50 and C80, definition D50 and
// centre time TS from the backward-integrated energy, then EDT, RT20, RT30
// and RTU fitted on the level curve. All times are measured from the band's
// first arrival t0.
#include "acoustics/band_parameters.h"

#include <cmath>

#include "acoustics/decay.h"
#include "interface/build_guard.h"

namespace {

// Slots of one band row.
constexpr uint32_t SLOT_C50 = 0;
constexpr uint32_t SLOT_C80 = 1;
constexpr uint32_t SLOT_D50 = 2;
constexpr uint32_t SLOT_TS = 3;
constexpr uint32_t SLOT_EDT = 4;
constexpr uint32_t SLOT_RT20 = 5;
constexpr uint32_t SLOT_RT30 = 7;
constexpr uint32_t SLOT_RTU = 9;
constexpr uint32_t BAND_SLOTS = 11;

// Stores a value computed in double as a float with its mark; a value that
// is not finite (zero late energy, a silent band) is not stored and reads
// as missing.
void StoreValue(float* values, char* flags, uint32_t slot, double value) {
  const float stored = static_cast<float>(value);
  if (std::isfinite(stored)) {
    values[slot] = stored;
    flags[slot] = 'y';
  } else {
    flags[slot] = 'n';
  }
}

// One reverberation fit: decay time into `slot`, coefficient into slot + 1,
// both marked by whether the coefficient is non-zero.
void StoreFit(const float* levels, uint32_t n, uint32_t t0, bool withNoiseCorrection, double headDropDb,
              float fitRangeDb, double rateHz, float* values, char* flags, uint32_t slot) {
  float decayTime = 0.0f;
  float coefficient = 0.0f;
  FitDecay(levels, n, t0, withNoiseCorrection, headDropDb, fitRangeDb, rateHz, &decayTime, &coefficient);
  if (std::isfinite(decayTime) && std::isfinite(coefficient)) {
    values[slot] = decayTime;
    values[slot + 1] = coefficient;
    const char mark = coefficient != 0.0f ? 'y' : 'n';
    flags[slot] = mark;
    flags[slot + 1] = mark;
  } else {
    flags[slot] = 'n';
    flags[slot + 1] = 'n';
  }
}

}  // namespace

void ComputeBandParameters(float* signal, float* values, char* flags, const AnalysisSettings* settings,
                           uint32_t t0, double noisePower, uint32_t n, float sampleRate) {
  // Nothing can be measured from an arrival at or past the end.
  if (t0 >= n) {
    for (uint32_t slot = 0; slot < BAND_SLOTS; ++slot) {
      flags[slot] = 'n';
    }
    return;
  }

  const double rateHz = static_cast<double>(sampleRate);
  const double moment = BackwardIntegrate(signal, n, t0, noisePower, rateHz);

  // Remaining duration after the arrival, and the early windows in samples.
  const double remainingS = static_cast<double>(n - t0) / rateHz;
  const uint32_t window50 = static_cast<uint32_t>(std::trunc(0.05 * rateHz));
  const uint32_t window80 = static_cast<uint32_t>(std::trunc(0.08 * rateHz));
  const double energy0 = static_cast<double>(signal[t0]);

  // The single-precision 0.05 lies above 0.05, so passing this test already
  // leaves at least window50 + 1 samples from t0; the index test only keeps
  // the read inside the buffer should the rounding ever say otherwise.
  if (remainingS >= static_cast<double>(0.05f) && window50 <= n - 1 - t0) {
    const double energy50 = static_cast<double>(signal[t0 + window50]);
    StoreValue(values, flags, SLOT_C50, 10.0 * std::log10((energy0 - energy50) / energy50));
    StoreValue(values, flags, SLOT_D50, 100.0 * (energy0 - energy50) / energy0);
  } else {
    flags[SLOT_C50] = 'n';
    flags[SLOT_D50] = 'n';
  }

  // The single-precision 0.08 lies below 0.08: with exactly window80 samples
  // after t0 the duration test passes but the index test does not.
  if (remainingS >= static_cast<double>(0.08f) && window80 <= n - 1 - t0) {
    const double energy80 = static_cast<double>(signal[t0 + window80]);
    StoreValue(values, flags, SLOT_C80, 10.0 * std::log10((energy0 - energy80) / energy80));
  } else {
    flags[SLOT_C80] = 'n';
  }

  StoreValue(values, flags, SLOT_TS, moment * 1000.0 / energy0);

  // Energy curve to level curve, in place.
  for (uint32_t k = 0; k < n; ++k) {
    signal[k] = static_cast<float>(EnergyToDecibels(static_cast<double>(signal[k])));
  }

  const bool withNoiseCorrection = noisePower != 0.0;

  // EDT: from 0.1 dB below the arrival level down 10 dB further; its
  // coefficient is not kept, and a zero decay time reads as not computed.
  {
    float decayTime = 0.0f;
    float coefficient = 0.0f;
    FitDecay(signal, n, t0, withNoiseCorrection, static_cast<double>(0.1f), 10.0f, rateHz, &decayTime,
             &coefficient);
    if (std::isfinite(decayTime)) {
      values[SLOT_EDT] = decayTime;
      flags[SLOT_EDT] = decayTime != 0.0f ? 'y' : 'n';
    } else {
      flags[SLOT_EDT] = 'n';
    }
  }

  StoreFit(signal, n, t0, withNoiseCorrection, 5.0, 20.0f, rateHz, values, flags, SLOT_RT20);
  StoreFit(signal, n, t0, withNoiseCorrection, 5.0, 30.0f, rateHz, values, flags, SLOT_RT30);

  // RTU: the user's range, its extremes in dB relative to the arrival level.
  const float rtuHeadDropDb = -settings->rtuStartDb;
  const float rtuRangeDb = settings->rtuStartDb - settings->rtuEndDb;
  StoreFit(signal, n, t0, withNoiseCorrection, static_cast<double>(rtuHeadDropDb), rtuRangeDb, rateHz, values,
           flags, SLOT_RTU);
}
