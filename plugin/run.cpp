// The analysis run, XfmDo: reads the selection from the host, has each
// channel analysed band by band, adds the lateral pass (LF, IACC, W IACC,
// Tau IACC) for a stereo selection, and opens the results dialog from inside
// the run, so that the dialog and its clipboard report read the results
// store while it still exists. It changes no audio and always returns 1.
//
// Memory: four working buffers from movable global memory, held only while
// the analysis runs; the results store lives in this call's automatic
// storage and has a fixed size, whatever the length of the response.
#include <windows.h>

#include <cstring>

#include "analysis/band_analysis.h"
#include "analysis/lateral_pass.h"
#include "analysis/selection.h"
#include "analysis/stop_messages.h"
#include "hostlink/host_services.h"
#include "interface/control_ids.h"
#include "interface/entry_points.h"
#include "interface/results.h"

namespace {

// One movable block, locked while the run holds it.
struct WorkingBuffer {
  HGLOBAL handle;
  void* data;
};

// Allocates and locks a movable block; false when either step fails (a block
// that was allocated but not locked is kept in `buffer` to be freed).
bool ObtainBuffer(uint64_t bytes, WorkingBuffer* buffer) {
  buffer->handle = nullptr;
  buffer->data = nullptr;
  if (bytes > static_cast<uint64_t>(static_cast<SIZE_T>(-1))) return false;
  buffer->handle = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(bytes));
  if (buffer->handle == nullptr) return false;
  buffer->data = GlobalLock(buffer->handle);
  return buffer->data != nullptr;
}

void ReleaseBuffer(WorkingBuffer* buffer) {
  if (buffer->handle == nullptr) return;
  if (buffer->data != nullptr) GlobalUnlock(buffer->handle);
  GlobalFree(buffer->handle);
  buffer->handle = nullptr;
  buffer->data = nullptr;
}

void ClearStore(AcousticResults* store) {
  for (int c = 0; c < MAX_CHANNELS; ++c) {
    for (int b = 0; b < MAX_BANDS; ++b) {
      for (int k = 0; k < PARAMS_PER_BAND; ++k) {
        store->values[c][b][k] = 0.0f;
        store->valid[c][b][k] = 'n';
      }
    }
  }
  for (int b = 0; b < MAX_BANDS; ++b) {
    store->noiseCorrected[b] = 'n';
    store->lf[b] = 0.0;
    store->iacc[b] = 0.0;
    store->wIacc[b] = 0.0;
    store->tauIacc[b] = 0.0;
  }
}

// The six result pointers of the settings record, as published by this run.
struct PublishedStore {
  AddressSlot slots[6];
};

void PublishStore(AnalysisSettings* settings, AcousticResults* store, PublishedStore* published) {
  settings->resultValues = SlotFromAddress(&store->values[0][0][0]);
  settings->resultFlags = SlotFromAddress(&store->valid[0][0][0]);
  settings->resultLF = SlotFromAddress(&store->lf[0]);
  settings->resultIACC = SlotFromAddress(&store->iacc[0]);
  settings->resultWIACC = SlotFromAddress(&store->wIacc[0]);
  settings->resultTauIACC = SlotFromAddress(&store->tauIacc[0]);
  published->slots[0] = settings->resultValues;
  published->slots[1] = settings->resultFlags;
  published->slots[2] = settings->resultLF;
  published->slots[3] = settings->resultIACC;
  published->slots[4] = settings->resultWIACC;
  published->slots[5] = settings->resultTauIACC;
}

// The store ends with the run: its slots are forgotten so that many runs do
// not grow the token table (the record keeps them as stale values).
void WithdrawStore(PublishedStore* published) {
  for (AddressSlot slot : published->slots) ReleaseSlot(slot);
}

void OpenResultsDialog(bool thirdOctave, AddressSlot moduleSlot, AddressSlot ownerSlot, XfmContext* ctx) {
  HINSTANCE module = PointerFromSlot<HINSTANCE__>(moduleSlot);
  HWND owner = PointerFromSlot<HWND__>(ownerSlot);
  const WORD ordinal = thirdOctave ? ORDINAL_THIRD_OCTAVE_DIALOG : ORDINAL_OCTAVE_DIALOG;
  const int templateId = thirdOctave ? THIRD_OCTAVE_DIALOG_TEMPLATE : OCTAVE_DIALOG_TEMPLATE;
  FARPROC procedure = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  if (procedure == nullptr) return;
  DLGPROC dialogProc = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(procedure));
  DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), owner, dialogProc, reinterpret_cast<LPARAM>(ctx));
}

// The band analysis of each channel, then for a stereo selection the
// lateral pass; 1 when every part ran to its end.
uint8_t AnalyseChannels(XfmContext* ctx, const SelectionFormat& format, AnalysisSettings* settings, void* raw,
                        float* channel, float* work, float* left, float* right, size_t pairBytes,
                        AcousticResults* storePointer) {
  AcousticResults& store = *storePointer;
  const bool stereo = format.channelCount == 2;
  uint8_t ok = 0;
  if (!stereo) {
    if (ConvertChannel(raw, format, 0, channel)) {
      ok = AnalyseChannelBands(channel, work, &store.values[0][0][0], &store.valid[0][0][0], settings, 'm',
                               ctx);
    }
  } else if (ConvertChannel(raw, format, 0, channel)) {
    ok =
        AnalyseChannelBands(channel, work, &store.values[0][0][0], &store.valid[0][0][0], settings, 'l', ctx);
    if (ok) {
      FetchSelection(ctx, format, raw);
      ConvertChannel(raw, format, 1, channel);
      ok = AnalyseChannelBands(channel, work, &store.values[1][0][0], &store.valid[1][0][0], settings, 'r',
                               ctx);
    }
    if (ok) {
      CallStatusText(ctx, "Calculating LF and ANDO's parameters");
      // This run's Lin call has not yet found first arrivals or a window:
      // mark them invalid so that nothing of an earlier run is reused.
      settings->arrivalLeft = -1;
      settings->arrivalRight = -1;
      settings->iaccStart = 0xFFFFFFFFu;
      settings->iaccEnd = 0;
      if (settings->thirdOctave == 0) {
        RunOctaveLateralPass(ctx, format, raw, left, right, pairBytes, &store);
      } else if (settings->thirdOctave == 1) {
        RunThirdOctaveLateralPass(ctx, format, raw, left, right, &store);
      }
      CallProgressDone(ctx);
    }
  }
  return ok;
}

}  // namespace

extern "C" LONG WINAPI XfmDo(XfmContext* ctx) {
  // A host outside the interface's contract: any channel count but 2 is
  // analysed as mono (below); a rate that is not positive has no band
  // windows or filter frequencies to compute, so nothing runs.
  if (ctx->sampleRate <= 0) {
    ShowStopMessage(0,
                    "The sampling rate of the selection is not positive:\nno acoustical parameters can be "
                    "calculated.",
                    "Acoustical Parameters");
    return 1;
  }
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) return 1;
  const AddressSlot ownerSlot = settings->ownerWindow;
  const AddressSlot moduleSlot = settings->moduleHandle;

  AcousticResults store;
  PublishedStore published;
  PublishStore(settings, &store, &published);

  const SelectionFormat format = SelectionFormatOf(ctx);

  const uint64_t frames = format.frameCount;
  const uint64_t channelBytes = frames * 8;
  const uint64_t pairBytes = channelBytes * format.channelCount;

  // Left and right buffers: the lateral pass's two band signals.
  WorkingBuffer leftBuffer{}, rightBuffer{}, channelBuffer{}, rawBuffer{};
  if (!ObtainBuffer(pairBytes, &leftBuffer) || !ObtainBuffer(pairBytes, &rightBuffer)) {
    ShowStopMessage(0, PAIR_BUFFERS_MESSAGE, "");
    ReleaseBuffer(&leftBuffer);
    ReleaseBuffer(&rightBuffer);
    UnlockSettings(ctx);
    WithdrawStore(&published);
    return 1;
  }
  // Channel buffer (the band analysis's source) and raw buffer (the host's
  // frames, then the band analysis's work buffer of 2N floats).
  if (!ObtainBuffer(channelBytes, &channelBuffer) || !ObtainBuffer(channelBytes, &rawBuffer)) {
    ReleaseBuffer(&leftBuffer);
    ReleaseBuffer(&rightBuffer);
    ReleaseBuffer(&channelBuffer);
    ReleaseBuffer(&rawBuffer);
    UnlockSettings(ctx);
    ShowStopMessage(ownerSlot, CHANNEL_BUFFERS_MESSAGE, PointerFromSlot<const char>(ctx->hostCaption));
    WithdrawStore(&published);
    return 1;
  }
  float* left = static_cast<float*>(leftBuffer.data);
  float* right = static_cast<float*>(rightBuffer.data);
  float* channel = static_cast<float*>(channelBuffer.data);
  void* raw = rawBuffer.data;
  float* work = static_cast<float*>(rawBuffer.data);

  ClearStore(&store);
  FetchSelection(ctx, format, raw);

  const uint8_t ok = AnalyseChannels(ctx, format, settings, raw, channel, work, left, right,
                                     static_cast<size_t>(pairBytes), &store);
  const bool thirdOctave = settings->thirdOctave != 0;

  ReleaseBuffer(&leftBuffer);
  ReleaseBuffer(&rightBuffer);
  ReleaseBuffer(&channelBuffer);
  ReleaseBuffer(&rawBuffer);
  UnlockSettings(ctx);

  if (ok) {
    MessageBeep(0);
    OpenResultsDialog(thirdOctave, moduleSlot, ownerSlot, ctx);
  }
  WithdrawStore(&published);
  return 1;
}
