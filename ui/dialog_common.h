// What the three dialogs share: the per-dialog state record kept in the
// window's user data, the cell texts, the RTU range label, Help, the
// automatic close and "Copy to Clipboard".
#pragma once

#include <windows.h>

#include <cstdint>

#include "interface/control_ids.h"
#include "interface/settings.h"
#include "interface/xfm_types.h"
#include "ui/cell_text.h"
#include "ui/report.h"

// Per-dialog state: from WM_INITDIALOG to the dialog's end, held in the
// window's user data as an address slot.
struct DialogState {
  HGLOBAL settingsHandle;      // locked from initialisation until OK/Cancel; 0 once unlocked
  AnalysisSettings* settings;  // the address that locking settingsHandle gave
  XfmContext* host;            // the dialog's creation parameter
};
static_assert(sizeof(DialogState) == 3 * sizeof(void*));

// Caption of the dialogs' messages.
extern const char* const DIALOG_CAPTION;

// Locks the host context's settings block and keeps the state in the
// window's user data. Null (and nothing kept) when the block cannot be
// locked or no memory is left.
DialogState* CreateDialogState(HWND window, XfmContext* host);
// The state kept in the window's user data, or null.
DialogState* FetchDialogState(HWND window);
// Unlocks the settings block (once), ends the dialog with `result` and
// releases the state.
void EndDialogWithState(HWND window, DialogState* state, INT_PTR result);

// Value cell text: the number at 4 digits, or the missing mark when not
// computed (or not finite, which the analysis never marks computed).
void SetValueCell(HWND window, int id, char mark, float value);
// Inter-channel cell: the missing mark for 0, not-a-number or infinity.
void SetPairCell(HWND window, int id, double value);
// "(" start " dB, " end " dB)" with each extreme cut to six characters.
void SetRtuRangeLabel(HWND window, const AnalysisSettings* settings);
// The help file at the keyword of the plug-in.
void ShowPluginHelp(HWND window);
// Mono: the channel button is disabled and the heading keeps its template
// text. Stereo: the heading names the left channel, which is shown first.
void PrepareChannelButton(HWND window, const XfmContext* host, const char* headingLeft);
// Channel button of a results dialog: flips shownChannel and sets the
// button's text and the heading for the channel now shown. The caller then
// refills the table.
void SwitchShownChannel(HWND window, AnalysisSettings* settings, const char* leftChannelButtonText,
                        const char* headingLeft, const char* headingRight);
// Posts OK to the dialog unless the host asks to keep results dialogs open.
void CloseAutomaticallyUnlessKept(HWND window, const XfmContext* host);
// Builds the report into a clipboard block sized for it and hands the block
// to the clipboard; a clipboard that cannot be used gives a message.
void CopyReportToClipboard(const DialogState* state, ReportForm form);
