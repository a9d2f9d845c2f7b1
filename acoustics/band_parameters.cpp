// The eleven parameters of one band: clarity C50 and C80, definition D50 and
// centre time TS from the backward-integrated energy, then EDT, RT20, RT30
// and RTU fitted on the level curve. All times are measured from the band's
// first arrival t0.
#include "acoustics/band_parameters.h"

#include <cmath>

#include "interface/build_guard.h"

namespace {

ValueStatus StatusOfFit(FitStatus status) {
  switch (status) {
    case FIT_OK:
      return VALUE_OK;
    case FIT_RANGE_NOT_REACHED:
      return VALUE_FIT_RANGE_NOT_REACHED;
    case FIT_TAIL_GUARD:
      return VALUE_FIT_TAIL_GUARD;
    case FIT_LOW_CORRELATION:
      return VALUE_FIT_LOW_CORRELATION;
    case FIT_FLAT:
      return VALUE_FIT_FLAT;
  }
  return VALUE_NOT_FINITE;
}

// Stores a value computed in double as a float with its mark; a value that
// is not finite (zero late energy, a silent band) is not stored and reads
// as missing.
void StoreValue(float* values, char* flags, ValueStatus* status, uint32_t slot, double value) {
  const float stored = static_cast<float>(value);
  if (std::isfinite(stored)) {
    values[slot] = stored;
    flags[slot] = 'y';
    status[slot] = VALUE_OK;
  } else {
    flags[slot] = 'n';
    status[slot] = VALUE_NOT_FINITE;
  }
}

// One reverberation fit: decay time into `slot`, coefficient into slot + 1,
// both marked by whether the coefficient is non-zero.
void StoreFit(const FitResult& fit, float* values, char* flags, ValueStatus* status, uint32_t slot) {
  if (std::isfinite(fit.decayTime) && std::isfinite(fit.coefficient)) {
    values[slot] = fit.decayTime;
    values[slot + 1] = fit.coefficient;
    const char mark = fit.coefficient != 0.0f ? 'y' : 'n';
    flags[slot] = mark;
    flags[slot + 1] = mark;
    status[slot] = StatusOfFit(fit.status);
  } else {
    flags[slot] = 'n';
    flags[slot + 1] = 'n';
    status[slot] = VALUE_NOT_FINITE;
  }
  status[slot + 1] = status[slot];
}

}  // namespace

void ComputeBandParameters(float* signal, float* values, char* flags, DecayRange rtu, uint32_t t0,
                           double noisePower, uint32_t n, float sampleRate, BandOutcome* outcome) {
  ValueStatus* status = outcome->status;
  for (FitResult& fit : outcome->fits)
    fit = FitResult{0.0f, 0.0f, FIT_RANGE_NOT_REACHED, 0, 0, 0.0, 0.0, 0.0};
  outcome->levelsEnd = n;
  // Nothing can be measured from an arrival at or past the end.
  if (t0 >= n) {
    for (uint32_t slot = 0; slot < PARAMS_PER_BAND; ++slot) {
      flags[slot] = 'n';
      status[slot] = VALUE_NO_ARRIVAL;
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
    StoreValue(values, flags, status, SLOT_C50, 10.0 * std::log10((energy0 - energy50) / energy50));
    StoreValue(values, flags, status, SLOT_D50, 100.0 * (energy0 - energy50) / energy0);
  } else {
    flags[SLOT_C50] = 'n';
    flags[SLOT_D50] = 'n';
    status[SLOT_C50] = VALUE_WINDOW_TOO_SHORT;
    status[SLOT_D50] = VALUE_WINDOW_TOO_SHORT;
  }

  // The single-precision 0.08 lies below 0.08: with exactly window80 samples
  // after t0 the duration test passes but the index test does not.
  if (remainingS >= static_cast<double>(0.08f) && window80 <= n - 1 - t0) {
    const double energy80 = static_cast<double>(signal[t0 + window80]);
    StoreValue(values, flags, status, SLOT_C80, 10.0 * std::log10((energy0 - energy80) / energy80));
  } else {
    flags[SLOT_C80] = 'n';
    status[SLOT_C80] = VALUE_WINDOW_TOO_SHORT;
  }

  StoreValue(values, flags, status, SLOT_TS, moment * 1000.0 / energy0);

  // Energy curve to level curve, in place, as far as the fits read it.
  PartialLevelCurve curve{signal, n, t0, t0};

  const bool withNoiseCorrection = noisePower != 0.0;

  // EDT: from 0.1 dB below the arrival level down 10 dB further; its
  // coefficient is not kept, and a zero decay time reads as not computed.
  const FitResult edt =
      FitDecayOnEnergy(&curve, withNoiseCorrection, static_cast<double>(0.1f), 10.0f, rateHz);
  outcome->fits[DECAY_EDT] = edt;
  if (std::isfinite(edt.decayTime)) {
    values[SLOT_EDT] = edt.decayTime;
    flags[SLOT_EDT] = edt.decayTime != 0.0f ? 'y' : 'n';
    status[SLOT_EDT] = StatusOfFit(edt.status);
  } else {
    flags[SLOT_EDT] = 'n';
    status[SLOT_EDT] = VALUE_NOT_FINITE;
  }

  outcome->fits[DECAY_RT20] = FitDecayOnEnergy(&curve, withNoiseCorrection, 5.0, 20.0f, rateHz);
  StoreFit(outcome->fits[DECAY_RT20], values, flags, status, SLOT_RT20);
  outcome->fits[DECAY_RT30] = FitDecayOnEnergy(&curve, withNoiseCorrection, 5.0, 30.0f, rateHz);
  StoreFit(outcome->fits[DECAY_RT30], values, flags, status, SLOT_RT30);

  // RTU: the user's range, its extremes in dB relative to the arrival level.
  const float rtuHeadDropDb = -rtu.startDb;
  const float rtuRangeDb = rtu.startDb - rtu.endDb;
  outcome->fits[DECAY_RTU] =
      FitDecayOnEnergy(&curve, withNoiseCorrection, static_cast<double>(rtuHeadDropDb), rtuRangeDb, rateHz);
  StoreFit(outcome->fits[DECAY_RTU], values, flags, status, SLOT_RTU);
  outcome->levelsEnd = curve.convertedEnd;
}
