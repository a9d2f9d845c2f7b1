// Settings dialog (template 100): the RTU decay range, the first-arrival
// thresholds with their lock, the LF boost, noise correction and the band
// resolution. It writes the settings record only on OK, silently bringing
// whatever was typed into range.
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "hostlink/host_services.h"
#include "interface/control_ids.h"
#include "interface/entry_points.h"
#include "interface/settings_ranges.h"
#include "ui/dialog_common.h"
#include "ui/number_text.h"

namespace {

// Every field is read into 39 characters: 38 and the terminator.
constexpr int FIELD_TEXT_SIZE = 39;
constexpr uint8_t RTU_FIELD_WIDTH = 6;
constexpr int THRESHOLD_DIGITS = 5;
constexpr int BOOST_DIGITS = 4;

// atof on the decimal prefix of text: leading blanks, a sign, digits with an
// optional point, an optional exponent. Text that is no number gives 0.
// Only the decimal form is read (no "inf", "nan" or hexadecimal, which some
// runtimes accept and others do not), so every build reads the same value.
double ParseDecimalNumber(const char* text) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  int digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p, ++digits;
  if (*p == '.') {
    ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p, ++digits;
  }
  if (digits == 0) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* exponent = p + 1;
    if (*exponent == '+' || *exponent == '-') ++exponent;
    if (std::isdigit(static_cast<unsigned char>(*exponent))) {
      p = exponent;
      while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
  }
  char number[FIELD_TEXT_SIZE + 1];
  const size_t length = static_cast<size_t>(p - start);
  std::memcpy(number, start, length);
  number[length] = '\0';
  return std::atof(number);
}

// atol: leading blanks, a sign and the leading digits (123.9 reads 123).
// Saturates far outside the 0..32767 range instead of overflowing, so that
// every build clamps a long row of digits the same way.
long ParseDecimalInteger(const char* text) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long value = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    if (value < 1000000000L) value = value * 10 + (*p - '0');
    ++p;
  }
  return negative ? -value : value;
}

void ReadField(HWND window, int id, char* text) {
  text[0] = '\0';
  GetDlgItemTextA(window, id, text, FIELD_TEXT_SIZE);
}

float ReadThreshold(HWND window, int id) {
  char text[FIELD_TEXT_SIZE];
  ReadField(window, id, text);
  const long value = ParseDecimalInteger(text);
  if (value < THRESHOLD_LOWEST) return static_cast<float>(THRESHOLD_LOWEST);
  if (value > THRESHOLD_HIGHEST) return static_cast<float>(THRESHOLD_HIGHEST);
  return static_cast<float>(value);
}

bool IsChecked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

void InitialiseSettingsDialog(HWND window, XfmContext* host) {
  DialogState* state = CreateDialogState(window, host);
  if (state == nullptr) {
    // The settings block cannot be locked: nothing to show or store.
    EndDialog(window, 0);
    return;
  }
  const AnalysisSettings* settings = state->settings;
  host->dialogWindow = SlotFromAddress(window);
  CallDialogCreated(host, window);

  char text[NUMBER_TEXT_SIZE];
  SetDlgItemTextA(window, ID_RTU_START,
                  FormatNumberWidth(text, static_cast<double>(settings->rtuStartDb), RTU_FIELD_WIDTH));
  SetDlgItemTextA(window, ID_RTU_END,
                  FormatNumberWidth(text, static_cast<double>(settings->rtuEndDb), RTU_FIELD_WIDTH));
  SetDlgItemTextA(window, ID_W_THRESHOLD,
                  FormatGcvt(static_cast<double>(settings->wThreshold), THRESHOLD_DIGITS, text));
  if (host->channelCount != 1) {
    SetDlgItemTextA(window, ID_Y_THRESHOLD,
                    FormatGcvt(static_cast<double>(settings->yThreshold), THRESHOLD_DIGITS, text));
    SetDlgItemTextA(window, ID_BOOST, FormatGcvt(settings->boostDb, BOOST_DIGITS, text));
  } else {
    SetDlgItemTextA(window, ID_W_THRESHOLD_LABEL, "Threshold");
    EnableWindow(GetDlgItem(window, ID_Y_THRESHOLD), FALSE);
    EnableWindow(GetDlgItem(window, ID_BOOST), FALSE);
    EnableWindow(GetDlgItem(window, ID_LOCK), FALSE);
  }
  CheckDlgButton(window, ID_NOISE_CORRECTION, settings->noiseCorrection != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window, ID_THIRD_OCTAVE, settings->thirdOctave != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window, ID_LOCK, settings->thresholdLock != 0 ? BST_CHECKED : BST_UNCHECKED);
}

void CopyLockedThreshold(HWND window) {
  if (!IsChecked(window, ID_LOCK)) return;
  char text[FIELD_TEXT_SIZE];
  ReadField(window, ID_W_THRESHOLD, text);
  SetDlgItemTextA(window, ID_Y_THRESHOLD, text);
}

void StoreSettings(HWND window, AnalysisSettings* settings, const XfmContext* host) {
  const bool stereo = host->channelCount != 1;
  char text[FIELD_TEXT_SIZE];

  ReadField(window, ID_RTU_START, text);
  const double start = ParseDecimalNumber(text);
  if (start > static_cast<double>(RTU_HIGHEST_DB)) {
    settings->rtuStartDb = RTU_HIGHEST_DB;
  } else {
    const float startDb = static_cast<float>(start);
    settings->rtuStartDb = startDb < RTU_LOWEST_DB ? RTU_LOWEST_DB : startDb;
  }

  ReadField(window, ID_RTU_END, text);
  const double end = ParseDecimalNumber(text);
  if (!(end < static_cast<double>(RTU_HIGHEST_DB))) {
    settings->rtuEndDb = RTU_HIGHEST_DB;
  } else if (end < static_cast<double>(RTU_LOWEST_DB)) {
    settings->rtuEndDb = RTU_LOWEST_DB;
  } else {
    settings->rtuEndDb = static_cast<float>(end);
  }
  // The second extreme lies at least 1 dB below the first, even below -100.
  if (settings->rtuStartDb - RTU_MIN_SPAN_DB < settings->rtuEndDb)
    settings->rtuEndDb = settings->rtuStartDb - RTU_MIN_SPAN_DB;

  settings->wThreshold = ReadThreshold(window, ID_W_THRESHOLD);
  settings->arrivalThreshold = static_cast<int16_t>(settings->wThreshold);
  const bool locked = IsChecked(window, ID_LOCK);
  settings->thresholdLock = locked ? 1 : 0;
  if (locked) {
    settings->yThreshold = settings->wThreshold;
  } else if (stereo) {
    settings->yThreshold = ReadThreshold(window, ID_Y_THRESHOLD);
  }
  settings->thirdOctave = IsChecked(window, ID_THIRD_OCTAVE) ? 1 : 0;
  if (stereo) {
    ReadField(window, ID_BOOST, text);
    settings->boostDb = ParseDecimalNumber(text);
  }
  settings->noiseCorrection = IsChecked(window, ID_NOISE_CORRECTION) ? 1 : 0;
}

}  // namespace

// Called by the dialog manager for every message of the settings dialog,
// which XfmSetup opens modally when the user asks for the settings.
extern "C" INT_PTR CALLBACK DIALOGMsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitialiseSettingsDialog(window, reinterpret_cast<XfmContext*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      DialogState* state = FetchDialogState(window);
      if (state == nullptr) return TRUE;
      switch (LOWORD(wParam)) {
        case ID_LOCK:
          CopyLockedThreshold(window);
          break;
        case ID_OK:
          StoreSettings(window, state->settings, state->host);
          EndDialogWithState(window, state, 1);
          break;
        case ID_CANCEL:
          EndDialogWithState(window, state, 0);
          break;
        case ID_HELP:
          ShowPluginHelp(window);
          break;
        default:
          break;
      }
      return TRUE;
    }
    case WM_CLOSE:
      PostMessageA(window, WM_COMMAND, ID_CANCEL, 0);
      return TRUE;
    default:
      return FALSE;
  }
}
