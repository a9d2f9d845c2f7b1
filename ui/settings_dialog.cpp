// Placeholder dialog procedure until the dialog is in place: handles nothing.
#include <windows.h>

#include "plugin/entry_points.h"

extern "C" INT_PTR CALLBACK DIALOGMsgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
