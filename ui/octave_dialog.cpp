// Octave results dialog (template 106): one channel's eleven parameters in
// eleven bands, the noise-correction row and the four inter-channel rows,
// with the channel button, "Copy to Clipboard", Help and OK.
#include "ui/octave_dialog.h"

#include <windows.h>

#include "interface/entry_points.h"
#include "hostlink/host_services.h"
#include "interface/results.h"
#include "ui/dialog_common.h"

namespace {

constexpr int OCTAVE_BANDS = 11;
constexpr int ID_FIRST_VALUE_CELL = 1060;
constexpr int ID_FIRST_NC_CELL = 1020;
constexpr int ID_FIRST_LF_CELL = 3000;
constexpr int ID_FIRST_IACC_CELL = 3100;
constexpr int ID_FIRST_W_IACC_CELL = 3200;
constexpr int ID_FIRST_TAU_IACC_CELL = 3300;

const char* const HEADING_LEFT = "OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel";
const char* const HEADING_RIGHT = "OCTAVE BAND ACOUSTICAL PARAMETERS - Right Channel";

void FillShownChannel(HWND window, const AnalysisSettings* settings) {
  FillOctaveGrid(settings->shownChannel, PointerFromSlot<const char>(settings->resultFlags),
                 PointerFromSlot<const float>(settings->resultValues), settings->noiseCorrection, window);
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
    for (int band = 0; band < OCTAVE_BANDS; ++band)
      SetDlgItemTextA(window, ID_FIRST_NC_CELL + band, DIALOG_MISSING);
  }
  SetRtuRangeLabel(window, settings);
  settings->shownChannel = 0;
  FillShownChannel(window, settings);
  FillLateralRow(PointerFromSlot<const double>(settings->resultLF), window);
  FillBinauralRows(PointerFromSlot<const double>(settings->resultIACC),
                   PointerFromSlot<const double>(settings->resultWIACC),
                   PointerFromSlot<const double>(settings->resultTauIACC), window);
  CloseAutomaticallyUnlessKept(window, host);
}

void SwitchOctaveChannel(HWND window, AnalysisSettings* settings) {
  SwitchShownChannel(window, settings, "&Left Channel Parameters", HEADING_LEFT, HEADING_RIGHT);
  // The inter-channel rows belong to the pair and stay as they are.
  FillShownChannel(window, settings);
}

}  // namespace

void FillOctaveGrid(int channel, const char* valid, const float* values, uint8_t noiseCorrection,
                    HWND window) {
  if (noiseCorrection != 0) {
    const char* noiseCorrected = valid + NOISE_CORRECTED_OFFSET;
    for (int band = 0; band < OCTAVE_BANDS; ++band) {
      SetDlgItemTextA(window, ID_FIRST_NC_CELL + band, noiseCorrected[band] == 'y' ? "yes" : "no");
    }
  }
  const char* channelValid = valid + channel * CHANNEL_STRIDE;
  const float* channelValues = values + channel * CHANNEL_STRIDE;
  for (int i = 0; i < OCTAVE_BANDS * PARAMS_PER_BAND; ++i) {
    // Cell i is parameter i % 11 of band i / 11: the store's own order.
    SetValueCell(window, ID_FIRST_VALUE_CELL + i, channelValid[i], channelValues[i]);
  }
}

void FillLateralRow(const double* lf, HWND window) {
  for (int band = 0; band < OCTAVE_BANDS; ++band) SetPairCell(window, ID_FIRST_LF_CELL + band, lf[band]);
}

void FillBinauralRows(const double* iacc, const double* wIacc, const double* tauIacc, HWND window) {
  for (int band = 0; band < OCTAVE_BANDS; ++band) {
    SetPairCell(window, ID_FIRST_IACC_CELL + band, iacc[band]);
    SetPairCell(window, ID_FIRST_W_IACC_CELL + band, wIacc[band]);
    SetPairCell(window, ID_FIRST_TAU_IACC_CELL + band, tauIacc[band]);
  }
}

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
