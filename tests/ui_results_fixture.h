// A results store filled by hand and published through a settings block, as
// a run leaves it while its results dialog is open: for the report and the
// results dialog tests.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "interface/results.h"
#include "interface/settings.h"
#include "interface/xfm_types.h"

struct HandFilledResults {
  AcousticResults store;
  XfmContext context;
  HGLOBAL settingsBlock = nullptr;

  // An empty store (every mark 'n', every value 0) behind default settings.
  explicit HandFilledResults(uint16_t channelCount) {
    std::memset(&store, 0, sizeof store);
    std::memset(&store.valid, 'n', sizeof store.valid);
    std::memset(&store.noiseCorrected, 'n', sizeof store.noiseCorrected);
    std::memset(&context, 0, sizeof context);
    context.channelCount = channelCount;
    settingsBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, SETTINGS_SIZE);
    context.settingsHandle = SlotFromAddress(settingsBlock);
    AnalysisSettings* s = Lock();
    s->rtuStartDb = -5.0f;
    s->rtuEndDb = -15.0f;
    s->noiseCorrection = 1;
    s->resultValues = SlotFromAddress(&store.values[0][0][0]);
    s->resultFlags = SlotFromAddress(&store.valid[0][0][0]);
    s->resultLF = SlotFromAddress(store.lf);
    s->resultIACC = SlotFromAddress(store.iacc);
    s->resultWIACC = SlotFromAddress(store.wIacc);
    s->resultTauIACC = SlotFromAddress(store.tauIacc);
    Unlock();
  }
  ~HandFilledResults() {
    AnalysisSettings* s = Lock();
    if (s != nullptr) {
      ReleaseSlot(s->resultValues);
      ReleaseSlot(s->resultFlags);
      ReleaseSlot(s->resultLF);
      ReleaseSlot(s->resultIACC);
      ReleaseSlot(s->resultWIACC);
      ReleaseSlot(s->resultTauIACC);
      Unlock();
    }
    ReleaseSlot(context.settingsHandle);
    GlobalFree(settingsBlock);
  }
  HandFilledResults(const HandFilledResults&) = delete;
  HandFilledResults& operator=(const HandFilledResults&) = delete;

  AnalysisSettings* Lock() { return static_cast<AnalysisSettings*>(GlobalLock(settingsBlock)); }
  void Unlock() { GlobalUnlock(settingsBlock); }

  void Set(int channel, int band, int slot, float value) {
    store.values[channel][band][slot] = value;
    store.valid[channel][band][slot] = 'y';
  }
  void SetNoiseCorrection(uint8_t on) {
    Lock()->noiseCorrection = on;
    Unlock();
  }
  void SetRtuRange(float startDb, float endDb) {
    AnalysisSettings* s = Lock();
    s->rtuStartDb = startDb;
    s->rtuEndDb = endDb;
    Unlock();
  }
};

// "\t--" (or "--\t" when after) repeated: runs of missing report cells.
inline std::string MissingCells(int count, bool tabAfter = false) {
  std::string cells;
  for (int i = 0; i < count; ++i) cells += tabAfter ? "--\t" : "\t--";
  return cells;
}
