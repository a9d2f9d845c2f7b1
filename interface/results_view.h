// The one reader of a run's results: the pieces of the results store that
// the settings record's six result pointers publish while the run's results
// dialog is open, or a store in hand. Dialogs, the report and the hosts read
// values only through it.
#pragma once

#include "interface/address_slot.h"
#include "interface/results.h"
#include "interface/settings.h"

struct ResultsView {
  const float* values;         // [channel][row][slot], channel-major
  const char* valid;           // marks of values, same layout; 'y' = computed
  const char* noiseCorrected;  // [row]: 'y' where the noise floor was subtracted
  const double* lf;            // [row]; 0.0 = not computed
  const double* iacc;
  const double* wIacc;
  const double* tauIacc;

  float Value(int channel, int row, int slot) const { return values[Index(channel, row, slot)]; }
  char Mark(int channel, int row, int slot) const { return valid[Index(channel, row, slot)]; }
  static int Index(int channel, int row, int slot) {
    return channel * CHANNEL_STRIDE + row * PARAMS_PER_BAND + slot;
  }
};

// What the settings record publishes (valid only while the run that wrote
// the pointers has not returned).
inline ResultsView PublishedResults(const AnalysisSettings& settings) {
  const char* valid = PointerFromSlot<const char>(settings.resultFlags);
  return ResultsView{PointerFromSlot<const float>(settings.resultValues),
                     valid,
                     valid + NOISE_CORRECTED_OFFSET,
                     PointerFromSlot<const double>(settings.resultLF),
                     PointerFromSlot<const double>(settings.resultIACC),
                     PointerFromSlot<const double>(settings.resultWIACC),
                     PointerFromSlot<const double>(settings.resultTauIACC)};
}

inline ResultsView ViewOfStore(const AcousticResults& store) {
  return ResultsView{
      &store.values[0][0][0], &store.valid[0][0][0], store.noiseCorrected, store.lf, store.iacc, store.wIacc,
      store.tauIacc};
}
