// Forwarding routines for the host services in XfmContext. Each one reads the
// service's slot, applies that service's null rule and calls through it with
// the arguments in the host's order. The sample service and the
// dialog-created notification are called without a check, as the host always
// provides them; the progress services are optional and skipped when null.
#include "hostlink/host_services.h"

#include <windows.h>

void CallGetSamples(const XfmContext* ctx, void* destination, uint32_t firstFrame, uint32_t frameCount,
                    uint32_t formatWord) {
  XfmGetSamplesFn getSamples = FunctionFromSlot<XfmGetSamplesFn>(ctx->fnGetSamples);
  // The host's own sample flags go into every request unchanged.
  const uint32_t requestWord = formatWord | static_cast<uint32_t>(ctx->sampleFlags);
  getSamples(ctx->waveHandle, destination, firstFrame, frameCount, requestWord);
}

void CallProgress(const XfmContext* ctx, int32_t stepsDone, int32_t stepsTotal) {
  XfmProgressFn progress = FunctionFromSlot<XfmProgressFn>(ctx->fnProgress);
  if (progress == nullptr) return;
  progress(stepsDone, stepsTotal);
}

void CallStatusText(const XfmContext* ctx, const char* text) {
  XfmStatusTextFn statusText = FunctionFromSlot<XfmStatusTextFn>(ctx->fnStatusText);
  if (statusText == nullptr) return;
  statusText(text, 0);
}

void CallProgressDone(XfmContext* ctx) {
  XfmProgressDoneFn progressDone = FunctionFromSlot<XfmProgressDoneFn>(ctx->fnProgressDone);
  if (progressDone == nullptr) return;
  progressDone(ctx);
}

void CallDialogCreated(const XfmContext* ctx, void* window) {
  XfmDialogCreatedFn dialogCreated = FunctionFromSlot<XfmDialogCreatedFn>(ctx->fnDialogCreated);
  dialogCreated(window, 0);
}

uint32_t ReadCancelWord(const XfmContext* ctx) {
  // The host writes this word from its own side while a run is in progress,
  // so every read goes to memory.
  const volatile uint32_t* cancelWord = PointerFromSlot<const volatile uint32_t>(ctx->cancelFlag);
  if (cancelWord == nullptr) return 0;
  return *cancelWord;
}

AnalysisSettings* LockSettings(const XfmContext* ctx) {
  if (ctx == nullptr) return nullptr;
  HGLOBAL settingsBlock = static_cast<HGLOBAL>(AddressFromSlot(ctx->settingsHandle));
  if (settingsBlock == nullptr) return nullptr;
  return static_cast<AnalysisSettings*>(GlobalLock(settingsBlock));
}

void UnlockSettings(const XfmContext* ctx) {
  if (ctx == nullptr) return;
  HGLOBAL settingsBlock = static_cast<HGLOBAL>(AddressFromSlot(ctx->settingsHandle));
  if (settingsBlock == nullptr) return;
  GlobalUnlock(settingsBlock);
}

void ShowStopMessage(AddressSlot ownerWindow, const char* text, const char* caption) {
  HWND owner = static_cast<HWND>(AddressFromSlot(ownerWindow));
  MessageBoxA(owner, text, caption, STOP_MESSAGE_STYLE);
}
