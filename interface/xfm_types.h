// The records of the XFM transform interface: the information record that
// QueryXfm fills and the host context block that the host passes to every
// other entry point and, as creation parameter, to every plug-in dialog.
// Offsets are fixed by the host and are binding; only the fields that the
// plug-in reads or writes are named, the rest belongs to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interface/address_slot.h"
#include "interface/build_guard.h"

// Host callbacks use the Win32 calling convention (stdcall on 32-bit x86,
// also on the 32-bit Linux build, which can load the Windows module).
#if defined(__i386__)
#define XFM_STDCALL __attribute__((stdcall))
#else
#define XFM_STDCALL
#endif

struct XfmContext;

// Host services (called through the slots of XfmContext).
typedef int32_t(XFM_STDCALL* XfmGetSamplesFn)(uint32_t waveHandle, void* destination, uint32_t firstFrame,
                                              uint32_t frameCount, uint32_t formatWord);
typedef int32_t(XFM_STDCALL* XfmProgressFn)(int32_t stepsDone, int32_t stepsTotal);
typedef int32_t(XFM_STDCALL* XfmStatusTextFn)(const char* text, int32_t zero);
typedef int32_t(XFM_STDCALL* XfmProgressDoneFn)(XfmContext* ctx);
typedef int32_t(XFM_STDCALL* XfmDialogCreatedFn)(void* window, int32_t zero);

// Filled by QueryXfm.
struct XfmInfo {
  char name[80];         // 0: name under which the host lists the transform
  char copyright[80];    // 80: one-line copyright notice
  char description[80];  // 160
  uint16_t infoWord;     // 240: 60
  uint8_t reserved0[2];  // 242
  uint32_t infoFlags;    // 244: 65569 (0x10021)
  uint32_t paramSize;    // 248: size in bytes of the host-kept settings block
  char paramTypes[96];   // 252: one type letter per settings field
  char paramFlags[96];   // 348: one "y" per type letter
};
static_assert(offsetof(XfmInfo, name) == 0);
static_assert(offsetof(XfmInfo, copyright) == 80);
static_assert(offsetof(XfmInfo, description) == 160);
static_assert(offsetof(XfmInfo, infoWord) == 240);
static_assert(offsetof(XfmInfo, infoFlags) == 244);
static_assert(offsetof(XfmInfo, paramSize) == 248);
static_assert(offsetof(XfmInfo, paramTypes) == 252);
static_assert(offsetof(XfmInfo, paramFlags) == 348);
static_assert(sizeof(XfmInfo) == 444);

// Host context block. Pointer, handle and callback fields are 32-bit slots
// (see address_slot.h).
struct XfmContext {
  uint16_t channelCount;        // 0: 1 mono, 2 stereo
  uint16_t bitsPerSample;       // 2: 8 or 16 (signed integers), 32 (IEEE float)
  uint8_t reserved0[4];         // 4
  int32_t sampleRate;           // 8: Hz
  AddressSlot settingsHandle;   // 12: HGLOBAL of the settings block (paramSize bytes)
  uint32_t selStart;            // 16: first frame of the selection
  uint32_t selEnd;              // 20: last frame of the selection, inclusive
  uint8_t reserved1[4];         // 24
  AddressSlot hostCaption;      // 28: const char*, caption of the out-of-memory message
  AddressSlot fnDialogCreated;  // 32: XfmDialogCreatedFn
  uint8_t reserved2[8];         // 36
  AddressSlot cancelFlag;       // 44: const uint32_t*, non-zero when the user asks to stop
  AddressSlot fnProgress;       // 48: XfmProgressFn
  AddressSlot fnStatusText;     // 52: XfmStatusTextFn
  AddressSlot fnProgressDone;   // 56: XfmProgressDoneFn
  uint8_t reserved3[84];        // 60
  uint16_t interactiveMark;     // 144: 0xFFFF keeps a results dialog open
  uint16_t keepDialogsOpen;     // 146: non-zero keeps a results dialog open
  uint8_t reserved4[176];       // 148
  AddressSlot dialogWindow;     // 324: HWND written by the settings and octave dialogs
  AddressSlot fnGetSamples;     // 328: XfmGetSamplesFn
  uint8_t reserved5[4];         // 332
  uint16_t sampleFlags;         // 336: ORed into every fnGetSamples format word
  uint8_t reserved6[2];         // 338
  uint32_t waveHandle;          // 340: first argument of fnGetSamples
  uint8_t reserved7[168];       // 344: rest of the host's block
};
static_assert(offsetof(XfmContext, channelCount) == 0);
static_assert(offsetof(XfmContext, bitsPerSample) == 2);
static_assert(offsetof(XfmContext, sampleRate) == 8);
static_assert(offsetof(XfmContext, settingsHandle) == 12);
static_assert(offsetof(XfmContext, selStart) == 16);
static_assert(offsetof(XfmContext, selEnd) == 20);
static_assert(offsetof(XfmContext, hostCaption) == 28);
static_assert(offsetof(XfmContext, fnDialogCreated) == 32);
static_assert(offsetof(XfmContext, cancelFlag) == 44);
static_assert(offsetof(XfmContext, fnProgress) == 48);
static_assert(offsetof(XfmContext, fnStatusText) == 52);
static_assert(offsetof(XfmContext, fnProgressDone) == 56);
static_assert(offsetof(XfmContext, interactiveMark) == 144);
static_assert(offsetof(XfmContext, keepDialogsOpen) == 146);
static_assert(offsetof(XfmContext, dialogWindow) == 324);
static_assert(offsetof(XfmContext, fnGetSamples) == 328);
static_assert(offsetof(XfmContext, sampleFlags) == 336);
static_assert(offsetof(XfmContext, waveHandle) == 340);
static_assert(sizeof(XfmContext) == 512);
