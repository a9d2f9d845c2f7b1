// The settings record that the host keeps for the plug-in between calls: the
// user's options, the handles recorded by the settings dialog, working values
// that the lateral pass hands from Lin to the other bands, and the pointers
// into the running analysis's results store. Byte-packed, 586 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interface/address_slot.h"
#include "interface/build_guard.h"

constexpr uint32_t SETTINGS_SIZE = 586;

#pragma pack(push, 1)
struct AnalysisSettings {
  float rtuStartDb;           // 0: first extreme of the RTU decay range, dB, -100..0
  float rtuEndDb;             // 4: second extreme, at least 1 dB below the first
  int16_t arrivalThreshold;   // 8: first-arrival threshold of the band analysis (sample units)
  uint8_t noiseCorrection;    // 10: 1 = estimate the noise floor and correct the decay
  uint8_t thirdOctave;        // 11: 0 octave bands, 1 third-octave bands
  uint8_t shownChannel;       // 12: channel shown by the results dialog, 0 left/mono, 1 right
  AddressSlot resultValues;   // 13: float values[2][28][11] of the running store
  AddressSlot resultFlags;    // 17: char valid[2][28][11], then noiseCorrected[28]
  AddressSlot resultLF;       // 21: double lf[28]
  AddressSlot resultIACC;     // 25: double iacc[28]
  AddressSlot resultWIACC;    // 29: double wIacc[28]
  AddressSlot resultTauIACC;  // 33: double tauIacc[28]
  AddressSlot ownerWindow;    // 37: HWND given to the last confirmed setup
  AddressSlot moduleHandle;   // 41: HINSTANCE given to the last confirmed setup
  uint8_t reserved[512];      // 45: not used by the plug-in
  float wThreshold;           // 557: first-arrival threshold of channel 1 (W / left), 0..32767
  float yThreshold;           // 561: the same for channel 2 (Y / right)
  uint8_t thresholdLock;      // 565: 1 = yThreshold follows wThreshold
  double boostDb;             // 566: gain of channel 1's energy in LF, dB
  int16_t arrivalLeft;        // 574: first arrival of channel 1, found for Lin
  int16_t arrivalRight;       // 576: first arrival of channel 2, found for Lin
  uint32_t iaccStart;         // 578: first sample of the IACC window, fixed for Lin
  uint32_t iaccEnd;           // 582: last sample of that window
};
#pragma pack(pop)

static_assert(offsetof(AnalysisSettings, rtuStartDb) == 0);
static_assert(offsetof(AnalysisSettings, rtuEndDb) == 4);
static_assert(offsetof(AnalysisSettings, arrivalThreshold) == 8);
static_assert(offsetof(AnalysisSettings, noiseCorrection) == 10);
static_assert(offsetof(AnalysisSettings, thirdOctave) == 11);
static_assert(offsetof(AnalysisSettings, shownChannel) == 12);
static_assert(offsetof(AnalysisSettings, resultValues) == 13);
static_assert(offsetof(AnalysisSettings, resultFlags) == 17);
static_assert(offsetof(AnalysisSettings, resultLF) == 21);
static_assert(offsetof(AnalysisSettings, resultIACC) == 25);
static_assert(offsetof(AnalysisSettings, resultWIACC) == 29);
static_assert(offsetof(AnalysisSettings, resultTauIACC) == 33);
static_assert(offsetof(AnalysisSettings, ownerWindow) == 37);
static_assert(offsetof(AnalysisSettings, moduleHandle) == 41);
static_assert(offsetof(AnalysisSettings, reserved) == 45);
static_assert(offsetof(AnalysisSettings, wThreshold) == 557);
static_assert(offsetof(AnalysisSettings, yThreshold) == 561);
static_assert(offsetof(AnalysisSettings, thresholdLock) == 565);
static_assert(offsetof(AnalysisSettings, boostDb) == 566);
static_assert(offsetof(AnalysisSettings, arrivalLeft) == 574);
static_assert(offsetof(AnalysisSettings, arrivalRight) == 576);
static_assert(offsetof(AnalysisSettings, iaccStart) == 578);
static_assert(offsetof(AnalysisSettings, iaccEnd) == 582);
static_assert(sizeof(AnalysisSettings) == SETTINGS_SIZE);
