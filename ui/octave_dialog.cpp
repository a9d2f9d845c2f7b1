// Octave results dialog (template 106): one channel's eleven parameters in
// eleven bands, the noise-correction row and the four inter-channel rows,
// with the channel button, "Copy to Clipboard", Help and OK.
#include <windows.h>

#include "hostlink/host_services.h"
#include "interface/bands.h"
#include "interface/entry_points.h"
#include "ui/dialog_common.h"

namespace {

constexpr int ID_FIRST_VALUE_CELL = 1060;
constexpr int ID_FIRST_NC_CELL = 1020;
constexpr int ID_FIRST_LF_CELL = 3000;
constexpr int ID_FIRST_IACC_CELL = 3100;
constexpr int ID_FIRST_W_IACC_CELL = 3200;
constexpr int ID_FIRST_TAU_IACC_CELL = 3300;

const char* const HEADING_LEFT = "OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel";
const char* const HEADING_RIGHT = "OCTAVE BAND ACOUSTICAL PARAMETERS - Right Channel";

void FillOctaveGrid(int channel, const ResultsView& results, uint8_t noiseCorrection, HWND window) {
  if (noiseCorrection != 0) {
    for (int band = 0; band < OCTAVE_ROWS; ++band) {
      SetDlgItemTextA(window, ID_FIRST_NC_CELL + band,
                      NoiseCorrectionCellText(noiseCorrection, results.noiseCorrected[band], DIALOG_MISSING));
    }
  }
  // Cell ID_FIRST_VALUE_CELL + 11 * band + slot: the store's own order.
  for (int band = 0; band < OCTAVE_ROWS; ++band) {
    for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
      SetValueCell(window, ID_FIRST_VALUE_CELL + band * PARAMS_PER_BAND + slot,
                   results.Mark(channel, band, slot), results.Value(channel, band, slot));
    }
  }
}

void FillPairRows(const ResultsView& results, HWND window) {
  for (int band = 0; band < OCTAVE_ROWS; ++band)
    SetPairCell(window, ID_FIRST_LF_CELL + band, results.lf[band]);
  for (int band = 0; band < OCTAVE_ROWS; ++band) {
    SetPairCell(window, ID_FIRST_IACC_CELL + band, results.iacc[band]);
    SetPairCell(window, ID_FIRST_W_IACC_CELL + band, results.wIacc[band]);
    SetPairCell(window, ID_FIRST_TAU_IACC_CELL + band, results.tauIacc[band]);
  }
}

void FillShownChannel(HWND window, const AnalysisSettings* settings) {
  FillOctaveGrid(settings->shownChannel, PublishedResults(*settings), settings->noiseCorrection, window);
}

void InitialiseOctaveDialog(HWND window, XfmContext* host) {
  DialogState* state = CreateDialogState(window, host);
  if (state == nullptr) {
    // Without the settings block there is nothing to show.
    EndDialog(window, 0);
    return;
  }
  AnalysisSettings* settings = state->settings;
  host->dialogWindow = SlotFromAddress(window);
  CallDialogCreated(host, window);
  PrepareChannelButton(window, host, HEADING_LEFT);
  if (settings->noiseCorrection == 0) {
    for (int band = 0; band < OCTAVE_ROWS; ++band)
      SetDlgItemTextA(window, ID_FIRST_NC_CELL + band, DIALOG_MISSING);
  }
  SetRtuRangeLabel(window, settings);
  settings->shownChannel = 0;
  FillShownChannel(window, settings);
  FillPairRows(PublishedResults(*settings), window);
  CloseAutomaticallyUnlessKept(window, host);
}

void SwitchOctaveChannel(HWND window, AnalysisSettings* settings) {
  SwitchShownChannel(window, settings, "&Left Channel Parameters", HEADING_LEFT, HEADING_RIGHT);
  // The inter-channel rows belong to the pair and stay as they are.
  FillShownChannel(window, settings);
}

}  // namespace

// Called by the dialog manager for every message of the octave results
// dialog, which the run opens modally once an octave analysis has finished.
extern "C" INT_PTR CALLBACK DIALOGMsgProc2(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitialiseOctaveDialog(window, reinterpret_cast<XfmContext*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      DialogState* state = FetchDialogState(window);
      if (state == nullptr) return TRUE;
      switch (LOWORD(wParam)) {
        case ID_CHANNEL_BUTTON:
          SwitchOctaveChannel(window, state->settings);
          break;
        case ID_COPY:
          CopyReportToClipboard(state, REPORT_OCTAVE);
          break;
        case ID_HELP:
          ShowPluginHelp(window);
          break;
        case ID_OK:
          EndDialogWithState(window, state, 1);
          break;
        default:
          break;
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
