// The results store of one analysis run: per channel, band row and parameter
// a value and a 'y'/'n' mark, per row the noise-correction mark, and per row
// the inter-channel values (0.0 = not computed). The run owns it for its
// whole duration; the dialogs and the report reach it through the six result
// pointers of the settings record, so the layout below is binding.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MAX_BANDS = 28;        // band rows: 0 Lin, then octaves or thirds
constexpr int PARAMS_PER_BAND = 11;  // C50 C80 D50 TS EDT RT20 rRT20 RT30 rRT30 RTU rRTU
constexpr int MAX_CHANNELS = 2;
constexpr int CHANNEL_STRIDE = MAX_BANDS * PARAMS_PER_BAND;  // 308 entries per channel

// Parameter slots within a band row.
enum ParameterSlot {
  SLOT_C50 = 0,   // dB
  SLOT_C80 = 1,   // dB
  SLOT_D50 = 2,   // %
  SLOT_TS = 3,    // ms
  SLOT_EDT = 4,   // s
  SLOT_RT20 = 5,  // s
  SLOT_R_RT20 = 6,
  SLOT_RT30 = 7,  // s
  SLOT_R_RT30 = 8,
  SLOT_RTU = 9,  // s
  SLOT_R_RTU = 10,
};

struct AcousticResults {
  float values[MAX_CHANNELS][MAX_BANDS][PARAMS_PER_BAND];  // channel-major
  char valid[MAX_CHANNELS][MAX_BANDS][PARAMS_PER_BAND];    // 'y' computed, anything else not
  char noiseCorrected[MAX_BANDS];                          // directly after valid: valid + 616
  alignas(8) double lf[MAX_BANDS];                         // ratio of energies
  double iacc[MAX_BANDS];                                  // maximum of |normalised correlation|
  double wIacc[MAX_BANDS];                                 // ms
  double tauIacc[MAX_BANDS];                               // ms
};

static_assert(offsetof(AcousticResults, values) == 0);
static_assert(sizeof(float) * CHANNEL_STRIDE == 1232);
static_assert(offsetof(AcousticResults, valid) == 2464);
static_assert(offsetof(AcousticResults, noiseCorrected) - offsetof(AcousticResults, valid) == 616);
static_assert(offsetof(AcousticResults, lf) == 3112);
static_assert(offsetof(AcousticResults, iacc) == 3336);
static_assert(offsetof(AcousticResults, wIacc) == 3560);
static_assert(offsetof(AcousticResults, tauIacc) == 3784);
static_assert(sizeof(AcousticResults) == 4008);

// Offset of noiseCorrected from the start of valid, in bytes.
constexpr size_t NOISE_CORRECTED_OFFSET = 2 * CHANNEL_STRIDE;
