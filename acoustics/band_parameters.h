// The eleven parameters of one band of one channel, with their marks and,
// for each, why it was or was not computed.
#pragma once

#include <cstdint>

#include "acoustics/decay.h"
#include "interface/results.h"

// The state of one value of a band.
enum ValueStatus : uint8_t {
  VALUE_OK = 0,
  VALUE_NO_ARRIVAL,             // the first arrival lies at or past the end of the band's signal
  VALUE_WINDOW_TOO_SHORT,       // the signal ends less than 50 (80) ms after the first arrival
  VALUE_NOT_FINITE,             // infinite or not a number (no energy after the early window, a silent band)
  VALUE_FIT_RANGE_NOT_REACHED,  // the decay does not fall through the fit's range before the end
  VALUE_FIT_TAIL_GUARD,         // the fit's range ends in the tail kept free of fits
  VALUE_FIT_LOW_CORRELATION,    // squared correlation below 0.85
  // A degenerate fit: the store holds decay time 0 and a fit status number in
  // the "r" slot, marked computed; the values are not results.
  VALUE_FIT_FLAT,
};

// The four decay fits of a band, in the order of their slots.
enum DecayFit { DECAY_EDT = 0, DECAY_RT20, DECAY_RT30, DECAY_RTU, DECAY_FIT_COUNT };

struct BandOutcome {
  ValueStatus status[PARAMS_PER_BAND];  // by parameter slot
  FitResult fits[DECAY_FIT_COUNT];
  // The signal holds levels in dB from t0 up to this index (the span the fits
  // read) and energies elsewhere.
  uint32_t levelsEnd;
};

// The user's decay range of RTU: its extremes in dB re the arrival level.
struct DecayRange {
  float startDb;
  float endDb;
};

// signal is consumed: it ends as the energy curve with the level curve in dB
// over the span that the fits read (outcome->levelsEnd). Writes all eleven
// flags and the outcome; writes a value only when it computes it.
void ComputeBandParameters(float* signal, float* values, char* flags, DecayRange rtu, uint32_t t0,
                           double noisePower, uint32_t n, float sampleRate, BandOutcome* outcome);
