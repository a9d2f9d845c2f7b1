// Behaviour shared by the settings dialog and the two results dialogs.
#include "ui/dialog_common.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ui/cell_text.h"

const char* const DIALOG_CAPTION = "Acoustical Parameters";

namespace {

constexpr uint8_t RTU_LABEL_WIDTH = 6;
constexpr uint16_t INTERACTIVE_KEEP_OPEN = 0xFFFF;
const char* const HELP_FILE = "quindo96.hlp";
const char* const HELP_KEYWORD = "Acoustical Parameters";
const char* const CLIPBOARD_MESSAGE =
    "Can not access Clipboard Data.\nAnother application or window\nhas the Clipboard opened.";

}  // namespace

DialogState* CreateDialogState(HWND window, XfmContext* host) {
  if (host == nullptr) return nullptr;
  HGLOBAL handle = static_cast<HGLOBAL>(AddressFromSlot(host->settingsHandle));
  AnalysisSettings* settings = static_cast<AnalysisSettings*>(GlobalLock(handle));
  if (settings == nullptr) return nullptr;
  DialogState* state = static_cast<DialogState*>(std::malloc(sizeof(DialogState)));
  if (state == nullptr) {
    GlobalUnlock(handle);
    return nullptr;
  }
  state->settingsHandle = handle;
  state->settings = settings;
  state->host = host;
  SetWindowLongA(window, GWL_USERDATA, static_cast<LONG>(SlotFromAddress(state)));
  return state;
}

DialogState* FetchDialogState(HWND window) {
  return PointerFromSlot<DialogState>(static_cast<AddressSlot>(GetWindowLongA(window, GWL_USERDATA)));
}

void EndDialogWithState(HWND window, DialogState* state, INT_PTR result) {
  if (state->settingsHandle != nullptr) {
    GlobalUnlock(state->settingsHandle);
    state->settingsHandle = nullptr;
  }
  EndDialog(window, result);
  // The window ceases to exist: its token in the host context (written by the
  // settings and octave dialogs) is no longer published. The field keeps its
  // stale value, as on a 32-bit build.
  if (state->host->dialogWindow != 0 && AddressFromSlot(state->host->dialogWindow) == window) {
    ReleaseSlot(state->host->dialogWindow);
  }
  const AddressSlot slot = static_cast<AddressSlot>(GetWindowLongA(window, GWL_USERDATA));
  SetWindowLongA(window, GWL_USERDATA, 0);
  ReleaseSlot(slot);
  std::free(state);
}

void SetValueCell(HWND window, int id, char mark, float value) {
  char text[NUMBER_TEXT_SIZE];
  SetDlgItemTextA(window, id, ParameterCellText(mark, value, DIALOG_MISSING, text));
}

void SetPairCell(HWND window, int id, double value) {
  char text[NUMBER_TEXT_SIZE];
  SetDlgItemTextA(window, id, PairCellText(value, DIALOG_MISSING, text));
}

void SetRtuRangeLabel(HWND window, const AnalysisSettings* settings) {
  char label[64];
  char number[NUMBER_TEXT_SIZE];
  std::strcpy(label, "(");
  std::strcat(label, FormatNumberWidth(number, static_cast<double>(settings->rtuStartDb), RTU_LABEL_WIDTH));
  std::strcat(label, " dB, ");
  std::strcat(label, FormatNumberWidth(number, static_cast<double>(settings->rtuEndDb), RTU_LABEL_WIDTH));
  std::strcat(label, " dB)");
  SetDlgItemTextA(window, ID_RTU_RANGE, label);
}

void ShowPluginHelp(HWND window) {
  WinHelpA(window, HELP_FILE, HELP_KEY, reinterpret_cast<ULONG_PTR>(HELP_KEYWORD));
}

void CloseAutomaticallyUnlessKept(HWND window, const XfmContext* host) {
  if (host->interactiveMark == INTERACTIVE_KEEP_OPEN || host->keepDialogsOpen != 0) return;
  PostMessageA(window, WM_COMMAND, ID_OK, 0);
}

void CopyReportToClipboard(const DialogState* state, ReportForm form) {
  const XfmContext* host = state->host;
  // The report reads the settings record through a lock of its own; when it
  // cannot be locked, an empty text is copied.
  HGLOBAL settingsHandle = static_cast<HGLOBAL>(AddressFromSlot(host->settingsHandle));
  const AnalysisSettings* settings = static_cast<const AnalysisSettings*>(GlobalLock(settingsHandle));
  const uint16_t channels = settings != nullptr ? host->channelCount : 0;
  const AnalysisSettings noSettings{};
  const AnalysisSettings& source = settings != nullptr ? *settings : noSettings;
  const ResultsView results = settings != nullptr ? PublishedResults(*settings) : ResultsView{};
  const uint32_t length = settings != nullptr ? ReportLength(form, channels, source, results) : 0;
  const uint32_t blockSize = ReportBlockSize(host->channelCount, length);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, blockSize);
  char* data = block != nullptr ? static_cast<char*>(GlobalLock(block)) : nullptr;
  if (data == nullptr) {
    if (block != nullptr) GlobalFree(block);
    if (settings != nullptr) GlobalUnlock(settingsHandle);
    return;
  }
  ReportText text;
  ResetReportText(&text, data, blockSize);
  if (settings != nullptr) {
    BuildReport(&text, form, channels, source, results);
    GlobalUnlock(settingsHandle);
  }
  GlobalUnlock(block);

  HWND owner = static_cast<HWND>(AddressFromSlot(state->settings->ownerWindow));
  bool copied = false;
  bool taken = false;
  if (OpenClipboard(owner)) {
    bool emptied = EmptyClipboard() != FALSE;
    if (emptied) taken = SetClipboardData(CF_TEXT, block) != nullptr;
    bool closed = CloseClipboard() != FALSE;
    copied = emptied && taken && closed;
  }
  if (!copied) {
    MessageBoxA(owner, CLIPBOARD_MESSAGE, DIALOG_CAPTION, MB_ICONHAND);
    if (!taken) GlobalFree(block);
  }
}

void SwitchShownChannel(HWND window, AnalysisSettings* settings, const char* leftChannelButtonText,
                        const char* headingLeft, const char* headingRight) {
  if (settings->shownChannel == 0) {
    settings->shownChannel = 1;
    SetDlgItemTextA(window, ID_CHANNEL_BUTTON, leftChannelButtonText);
    SetDlgItemTextA(window, ID_HEADING, headingRight);
  } else {
    settings->shownChannel = 0;
    SetDlgItemTextA(window, ID_CHANNEL_BUTTON, "Right Channel Parameters");
    SetDlgItemTextA(window, ID_HEADING, headingLeft);
  }
}

void PrepareChannelButton(HWND window, const XfmContext* host, const char* headingLeft) {
  if (host->channelCount == 1) {
    EnableWindow(GetDlgItem(window, ID_CHANNEL_BUTTON), FALSE);
  } else {
    SetDlgItemTextA(window, ID_HEADING, headingLeft);
  }
}
