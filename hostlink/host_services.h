// Forwarding routines for the host services of XfmContext, one per service,
// with the null-pointer rule of each, and the few platform needs of the
// analysis code (a lockable settings block and a stop message). The analysis
// code in dsp/ and acoustics/ reaches the platform only through this header,
// which includes no Win32 header.
#pragma once

#include <cstdint>

#include "interface/settings.h"
#include "interface/xfm_types.h"

// MB_ICONHAND: stop icon, OK button only.
constexpr uint32_t STOP_MESSAGE_STYLE = 16;

// fnGetSamples: called without a null check; result not used.
void CallGetSamples(const XfmContext* ctx, void* destination, uint32_t firstFrame, uint32_t frameCount,
                    uint32_t formatWord);
// fnProgress: no call when null.
void CallProgress(const XfmContext* ctx, int32_t stepsDone, int32_t stepsTotal);
// fnStatusText (text, 0): no call when null.
void CallStatusText(const XfmContext* ctx, const char* text);
// fnProgressDone (ctx): no call when null.
void CallProgressDone(XfmContext* ctx);
// fnDialogCreated (window, 0): called without a null check.
void CallDialogCreated(const XfmContext* ctx, void* window);
// The word behind cancelFlag (0 when the host gave no word).
uint32_t ReadCancelWord(const XfmContext* ctx);

// Locks ctx->settingsHandle; null when the lock fails.
AnalysisSettings* LockSettings(const XfmContext* ctx);
void UnlockSettings(const XfmContext* ctx);

// Modal message box with the stop icon and an OK button. ownerWindow is a
// slot (0 = no owner).
void ShowStopMessage(AddressSlot ownerWindow, const char* text, const char* caption);
