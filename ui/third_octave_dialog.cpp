// Third-octave results dialog (template 107): the wide band and 27 thirds of
// one channel, three table rows chosen by five view buttons (the clarity
// parameters, or a pair with the noise-correction row), the channel button,
// "Copy to Clipboard", Help and OK.
#include <windows.h>

#include "hostlink/host_services.h"
#include "interface/bands.h"
#include "interface/entry_points.h"
#include "ui/dialog_common.h"

namespace {

constexpr int THIRD_OCTAVE_COLUMNS = THIRD_OCTAVE_ROWS;  // wide band and 27 thirds
constexpr int ID_FIRST_CELL = 1500;                      // + 3 * column + row
constexpr int ID_FIRST_NC_CELL = 1019;                   // + column, columns 1..27
constexpr int ID_FIRST_VIEW_BUTTON = 1800;
constexpr int ID_FIRST_ROW_LABEL = 1810;  // + 3 * block + row
constexpr int VIEW_COUNT = 5;
constexpr int LABEL_BLOCKS = 3;

const char* const HEADING_LEFT = "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel";
const char* const HEADING_RIGHT = "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS - Right Channel";

struct ThirdOctaveView {
  int firstParameter;
  int rows;
  const char* labels[3];
};

// Clarity, TS - EDT, RT20, RT30, RT User: in the order of buttons 1800..1804.
constexpr const char* Label(int slot) { return PARAMETERS[slot].thirdDialogLabel; }
constexpr ThirdOctaveView VIEWS[VIEW_COUNT] = {
    {SLOT_C50, 3, {Label(SLOT_C50), Label(SLOT_C80), Label(SLOT_D50)}},
    {SLOT_TS, 2, {Label(SLOT_TS), Label(SLOT_EDT), "NC"}},
    {SLOT_RT20, 2, {Label(SLOT_RT20), Label(SLOT_R_RT20), "NC"}},
    {SLOT_RT30, 2, {Label(SLOT_RT30), Label(SLOT_R_RT30), "NC"}},
    {SLOT_RTU, 2, {Label(SLOT_RTU), Label(SLOT_R_RTU), "NC"}},
};

void FillThirdOctaveGrid(int channel, int firstParameter, int rows, uint8_t noiseCorrection,
                         const ResultsView& results, HWND window) {
  if (noiseCorrection != 0) {
    for (int column = 1; column < THIRD_OCTAVE_COLUMNS; ++column) {
      SetDlgItemTextA(
          window, ID_FIRST_NC_CELL + column,
          NoiseCorrectionCellText(noiseCorrection, results.noiseCorrected[column], DIALOG_MISSING));
    }
  }
  char text[NUMBER_TEXT_SIZE];
  for (int column = 0; column < THIRD_OCTAVE_COLUMNS; ++column) {
    for (int row = 0; row < rows; ++row) {
      const int slot = firstParameter + row;
      SetDlgItemTextA(window, ID_FIRST_CELL + 3 * column + row,
                      ThirdOctaveCellText(column, results.Mark(channel, column, slot),
                                          results.Value(channel, column, slot), text));
    }
  }
}

void ShowView(HWND window, const AnalysisSettings* settings, int view) {
  for (int button = 0; button < VIEW_COUNT; ++button) {
    EnableWindow(GetDlgItem(window, ID_FIRST_VIEW_BUTTON + button), button == view ? FALSE : TRUE);
  }
  const bool clarity = view == 0;
  for (int column = 0; column < THIRD_OCTAVE_COLUMNS; ++column) {
    const int rowTwoCell = ID_FIRST_CELL + 3 * column + 2;
    if (!clarity) SetDlgItemTextA(window, rowTwoCell, " ");
    ShowWindow(GetDlgItem(window, rowTwoCell), clarity ? SW_SHOW : SW_HIDE);
  }
  for (int column = 1; column < THIRD_OCTAVE_COLUMNS; ++column) {
    ShowWindow(GetDlgItem(window, ID_FIRST_NC_CELL + column), clarity ? SW_HIDE : SW_SHOW);
    if (clarity && settings->noiseCorrection == 0)
      SetDlgItemTextA(window, ID_FIRST_NC_CELL + column, DIALOG_MISSING);
  }
  FillThirdOctaveGrid(settings->shownChannel, VIEWS[view].firstParameter, VIEWS[view].rows,
                      settings->noiseCorrection, PublishedResults(*settings), window);
  for (int block = 0; block < LABEL_BLOCKS; ++block) {
    for (int row = 0; row < 3; ++row) {
      SetDlgItemTextA(window, ID_FIRST_ROW_LABEL + 3 * block + row, VIEWS[view].labels[row]);
    }
  }
}

void InitialiseThirdOctaveDialog(HWND window, XfmContext* host) {
  DialogState* state = CreateDialogState(window, host);
  if (state == nullptr) {
    EndDialog(window, 0);
    return;
  }
  AnalysisSettings* settings = state->settings;
  settings->shownChannel = 0;
  PrepareChannelButton(window, host, HEADING_LEFT);
  SetRtuRangeLabel(window, settings);
  CallDialogCreated(host, window);
  EnableWindow(GetDlgItem(window, ID_COPY), TRUE);
  EnableWindow(GetDlgItem(window, ID_FIRST_VIEW_BUTTON), FALSE);
  EnableWindow(GetDlgItem(window, ID_FIRST_VIEW_BUTTON + 1), TRUE);
  EnableWindow(GetDlgItem(window, ID_FIRST_VIEW_BUTTON + 2), TRUE);
  FillThirdOctaveGrid(0, VIEWS[0].firstParameter, VIEWS[0].rows, settings->noiseCorrection,
                      PublishedResults(*settings), window);
  for (int column = 0; column < THIRD_OCTAVE_COLUMNS; ++column) {
    ShowWindow(GetDlgItem(window, ID_FIRST_CELL + 3 * column + 2), SW_SHOW);
  }
  for (int column = 1; column < THIRD_OCTAVE_COLUMNS; ++column) {
    ShowWindow(GetDlgItem(window, ID_FIRST_NC_CELL + column), SW_HIDE);
  }
  CloseAutomaticallyUnlessKept(window, host);
}

void SwitchThirdOctaveChannel(HWND window, AnalysisSettings* settings) {
  SwitchShownChannel(window, settings, "Left Channel Parameters", HEADING_LEFT, HEADING_RIGHT);
  ShowView(window, settings, 0);
}

}  // namespace

// Called by the dialog manager for every message of the third-octave results
// dialog, which the run opens modally once a third-octave analysis has
// finished.
extern "C" INT_PTR CALLBACK DIALOGMsgProc3(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitialiseThirdOctaveDialog(window, reinterpret_cast<XfmContext*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      DialogState* state = FetchDialogState(window);
      if (state == nullptr) return TRUE;
      const int id = LOWORD(wParam);
      if (id >= ID_FIRST_VIEW_BUTTON && id < ID_FIRST_VIEW_BUTTON + VIEW_COUNT) {
        ShowView(window, state->settings, id - ID_FIRST_VIEW_BUTTON);
      } else if (id == ID_CHANNEL_BUTTON) {
        SwitchThirdOctaveChannel(window, state->settings);
      } else if (id == ID_COPY) {
        CopyReportToClipboard(state, REPORT_THIRD_OCTAVE);
      } else if (id == ID_HELP) {
        ShowPluginHelp(window);
      } else if (id == ID_OK) {
        EndDialogWithState(window, state, 1);
      }
      return TRUE;
    }
    case WM_CLOSE:
      PostMessageA(window, WM_COMMAND, ID_OK, 0);
      return TRUE;
    default:
      return FALSE;
  }
}
