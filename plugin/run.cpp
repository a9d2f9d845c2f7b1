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

#include "acoustics/iacc.h"
#include "acoustics/lateral.h"
#include "analysis/band_analysis.h"
#include "dsp/filters.h"
#include "interface/entry_points.h"
#include "hostlink/host_services.h"
#include "interface/results.h"
#include "interface/control_ids.h"

namespace {

constexpr int OCTAVE_LATERAL_BANDS = 11;       // Lin and the octaves 31.5 Hz to 16 kHz
constexpr int THIRD_OCTAVE_PROGRESS_TOTAL = 27;

// Nominal centres of the lateral bands, Hz; band 0 (Lin) is unfiltered.
const float LATERAL_CENTRE_HZ[OCTAVE_LATERAL_BANDS] = {0.0f,    31.5f,   63.0f,   125.0f,  250.0f, 500.0f,
                                                       1000.0f, 2000.0f, 4000.0f, 8000.0f, 16000.0f};

// Nearest single-precision value to 1/2.1: a lateral band runs only while its
// centre does not exceed this fraction of the rate.
constexpr float BAND_LIMIT_FACTOR = 0.4761905f;

// What the host delivers: N interleaved frames, each sample in the width that
// the format word asked for.
struct SelectionFormat {
  uint32_t frameCount;
  uint32_t channelCount;  // 2 for stereo, 1 otherwise
  uint16_t bitsPerSample;
  uint32_t formatWord;    // channel code | width code; sampleFlags is added by the forwarding call
};

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

// Converts one channel of the delivered frames into floats in the integer
// scale of the source. False for a width that cannot be converted (the run
// then ends at the first sample it meets).
bool ConvertChannel(const void* raw, const SelectionFormat& format, uint32_t channel, float* destination) {
  const uint32_t stride = format.channelCount;
  switch (format.bitsPerSample) {
    case 8: {
      const int8_t* samples = static_cast<const int8_t*>(raw);
      for (uint32_t i = 0; i < format.frameCount; ++i) destination[i] = samples[i * stride + channel];
      return true;
    }
    case 16: {
      const uint8_t* bytes = static_cast<const uint8_t*>(raw);
      for (uint32_t i = 0; i < format.frameCount; ++i) {
        const uint8_t* at = bytes + 2 * (static_cast<size_t>(i) * stride + channel);
        const int16_t sample = static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
        destination[i] = sample;
      }
      return true;
    }
    case 32: {
      const uint8_t* bytes = static_cast<const uint8_t*>(raw);
      for (uint32_t i = 0; i < format.frameCount; ++i) {
        float sample;
        std::memcpy(&sample, bytes + 4 * (static_cast<size_t>(i) * stride + channel), sizeof sample);
        destination[i] = sample;
      }
      return true;
    }
    default:
      return format.frameCount == 0;
  }
}

void FetchSelection(XfmContext* ctx, const SelectionFormat& format, void* raw) {
  CallGetSamples(ctx, raw, ctx->selStart, format.frameCount, format.formatWord);
}

// The resonator filter needs at least two samples; a shorter selection has
// no lateral value in any band anyway (its 80 ms window cannot fit).
void FilterLateralBand(float* samples, uint32_t length, float centreHz, float rateHz) {
  if (length >= 2) ResonatorOctaveFilter(samples, length, centreHz, rateHz);
}

// Lin, then every octave whose centre lies within the band limit. Band 0
// comes first: it fixes the first arrivals and the correlation window.
void RunOctaveLateralPass(XfmContext* ctx, const SelectionFormat& format, void* raw, float* left, float* right,
                          AcousticResults* store) {
  const float rateHz = static_cast<float>(ctx->sampleRate);
  const float bandLimitHz = ctx->sampleRate * BAND_LIMIT_FACTOR;
  CallProgress(ctx, 0, OCTAVE_LATERAL_BANDS);
  for (int band = 0; band < OCTAVE_LATERAL_BANDS; ++band) {
    const float centreHz = LATERAL_CENTRE_HZ[band];
    if (band >= 1 && centreHz > bandLimitHz) return;
    FetchSelection(ctx, format, raw);
    ConvertChannel(raw, format, 0, left);
    ConvertChannel(raw, format, 1, right);
    store->iacc[band] = 0.0;
    store->wIacc[band] = 0.0;
    store->tauIacc[band] = 0.0;
    if (band >= 1) {
      FilterLateralBand(left, format.frameCount, centreHz, rateHz);
      FilterLateralBand(right, format.frameCount, centreHz, rateHz);
    }
    store->lf[band] = ComputeLateralFraction(left, right, static_cast<int16_t>(band), ctx);
    ComputeIacc(left, right, static_cast<int16_t>(band), ctx, store->iacc, store->wIacc, store->tauIacc);
    CallProgress(ctx, band + 1, OCTAVE_LATERAL_BANDS);
  }
}

// Third-octave mode: LF of Lin only; the progress still counts 27 bands.
void RunThirdOctaveLateralPass(XfmContext* ctx, const SelectionFormat& format, void* raw, float* left,
                               float* right, AcousticResults* store) {
  CallProgress(ctx, 0, THIRD_OCTAVE_PROGRESS_TOTAL);
  FetchSelection(ctx, format, raw);
  ConvertChannel(raw, format, 0, left);
  ConvertChannel(raw, format, 1, right);
  store->lf[0] = ComputeLateralFraction(left, right, 0, ctx);
  for (int done = 1; done <= THIRD_OCTAVE_PROGRESS_TOTAL; ++done) {
    CallProgress(ctx, done, THIRD_OCTAVE_PROGRESS_TOTAL);
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

}  // namespace

extern "C" LONG WINAPI XfmDo(XfmContext* ctx) {
  // A host outside the interface's contract: any channel count but 2 is
  // analysed as mono (below); a rate that is not positive has no band
  // windows or filter frequencies to compute, so nothing runs.
  if (ctx->sampleRate <= 0) {
    ShowStopMessage(0, "The sampling rate of the selection is not positive:\nno acoustical parameters can be "
                    "calculated.", "Acoustical Parameters");
    return 1;
  }
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) return 1;
  const AddressSlot ownerSlot = settings->ownerWindow;
  const AddressSlot moduleSlot = settings->moduleHandle;

  AcousticResults store;
  PublishedStore published;
  PublishStore(settings, &store, &published);

  const bool stereo = ctx->channelCount == 2;
  SelectionFormat format;
  format.frameCount = ctx->selEnd - ctx->selStart + 1;
  format.channelCount = stereo ? 2 : 1;
  format.bitsPerSample = ctx->bitsPerSample;
  const uint32_t widthCode = ctx->bitsPerSample == 32 ? 32 : ctx->bitsPerSample == 16 ? 16 : 8;
  format.formatWord = format.channelCount | widthCode;

  const uint64_t frames = format.frameCount;
  const uint64_t channelBytes = frames * 8;
  const uint64_t pairBytes = channelBytes * format.channelCount;

  // Left and right buffers: the lateral pass's two band signals.
  WorkingBuffer leftBuffer{}, rightBuffer{}, channelBuffer{}, rawBuffer{};
  if (!ObtainBuffer(pairBytes, &leftBuffer) || !ObtainBuffer(pairBytes, &rightBuffer)) {
    ShowStopMessage(0, "Can't allocate: not enough memory", "");
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
    ShowStopMessage(ownerSlot,
                    "The system cannot allocate enough memory\nto calculate acoustical parameters.\n\n"
                    "Retry after closing some windows or\nwith a shorter impulse response.",
                    PointerFromSlot<const char>(ctx->hostCaption));
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

  uint8_t ok = 0;
  if (!stereo) {
    if (ConvertChannel(raw, format, 0, channel)) {
      ok = AnalyseChannelBands(channel, work, &store.values[0][0][0], &store.valid[0][0][0], settings, 'm', ctx);
    }
  } else if (ConvertChannel(raw, format, 0, channel)) {
    ok = AnalyseChannelBands(channel, work, &store.values[0][0][0], &store.valid[0][0][0], settings, 'l', ctx);
    if (ok) {
      FetchSelection(ctx, format, raw);
      ConvertChannel(raw, format, 1, channel);
      ok = AnalyseChannelBands(channel, work, &store.values[1][0][0], &store.valid[1][0][0], settings, 'r', ctx);
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
        RunOctaveLateralPass(ctx, format, raw, left, right, &store);
      } else if (settings->thirdOctave == 1) {
        RunThirdOctaveLateralPass(ctx, format, raw, left, right, &store);
      }
      CallProgressDone(ctx);
    }
  }
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
