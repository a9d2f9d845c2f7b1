// The exported entry points of the plug-in module (names and ordinals are
// listed once, in Roomstat_32.def) and the three dialog procedures, which the
// plug-in itself finds by ordinal in its own module.
#pragma once

#include <windows.h>

#include "interface/xfm_types.h"

extern "C" {

// Describes the plug-in to the host; callable at any time. Returns 1160.
WORD WINAPI QueryXfm(XfmInfo* info);
// Writes the default settings into the host's new settings block.
LONG WINAPI XfmInit(XfmContext* ctx);
// Settings dialog (DIALOG 100); records owner window and module on OK.
LONG WINAPI XfmSetup(HWND parent, HINSTANCE module, XfmContext* ctx);
// The analysis run; shows its results dialog before it returns. Always 1.
LONG WINAPI XfmDo(XfmContext* ctx);
// End of an instance; releases nothing.
LONG WINAPI XfmDestroy(XfmContext* ctx);

// Settings dialog (DIALOG 100), ordinal 100.
INT_PTR CALLBACK DIALOGMsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Octave results dialog (DIALOG 106), ordinal 101.
INT_PTR CALLBACK DIALOGMsgProc2(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Third-octave results dialog (DIALOG 107), ordinal 102.
INT_PTR CALLBACK DIALOGMsgProc3(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // extern "C"

// Ordinals by which the plug-in looks up its own dialog procedures.
constexpr WORD ORDINAL_SETTINGS_DIALOG = 100;
constexpr WORD ORDINAL_OCTAVE_DIALOG = 101;
constexpr WORD ORDINAL_THIRD_OCTAVE_DIALOG = 102;
