// The octave and third-octave results dialogs opened over a store filled by
// hand: headings and button texts through two channel presses, the cells of
// each channel, N.C. on and off, the third-octave views, the automatic close,
// the clipboard held by another program, and that every dialog leaves the
// settings block unlocked and its state released.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "interface/entry_points.h"
#include "tests/ui_dialog_harness.h"
#include "tests/ui_results_fixture.h"
#include "ui/report.h"

namespace {

using headless::ControlText;
using headless::IsControlEnabled;
using headless::IsControlVisible;

INT_PTR OpenOctave(HandFilledResults& r) { return OpenPluginDialog(106, ORDINAL_OCTAVE_DIALOG, &r.context); }
INT_PTR OpenThirdOctave(HandFilledResults& r) {
  return OpenPluginDialog(107, ORDINAL_THIRD_OCTAVE_DIALOG, &r.context);
}

int OctaveCell(int band, int slot) { return 1060 + 11 * band + slot; }
int ThirdCell(int column, int row) { return 1500 + 3 * column + row; }

std::string ExpectedReport(HandFilledResults& r, bool thirdOctave) {
  const ReportForm form = thirdOctave ? REPORT_THIRD_OCTAVE : REPORT_OCTAVE;
  const AnalysisSettings* settings = r.Lock();
  const uint32_t length = ReportLength(form, r.context.channelCount, *settings, PublishedResults(*settings));
  std::vector<char> text(length + 1);
  ReportText report;
  ResetReportText(&report, text.data(), length + 1);
  BuildReport(&report, form, r.context.channelCount, *settings, PublishedResults(*settings));
  r.Unlock();
  return text.data();
}

// Left: Lin computed with a degenerate RT20 (0 s, status 21) and a valid 0 in
// C80; 63 Hz with TS only; 16 kHz never computed. Right: Lin C50 only.
void FillStereoOctave(HandFilledResults& r) {
  r.Set(0, 0, SLOT_C50, 1.5f);
  r.Set(0, 0, SLOT_C80, 0.0f);
  r.Set(0, 0, SLOT_RT20, 0.0f);
  r.Set(0, 0, SLOT_R_RT20, 21.0f);
  r.Set(0, 0, SLOT_RTU, 12345.0f);
  r.Set(0, 2, SLOT_TS, 120.5f);
  r.Set(1, 0, SLOT_C50, -2.5f);
  r.store.noiseCorrected[0] = 'y';
  r.store.lf[0] = 0.25;
  r.store.lf[10] = 0.125;
  r.store.iacc[0] = 0.5;
  r.store.iacc[1] = std::numeric_limits<double>::quiet_NaN();
  r.store.wIacc[0] = 1.5;
  r.store.tauIacc[0] = -0.25;
  r.store.tauIacc[2] = std::numeric_limits<double>::infinity();
}

TEST(OctaveDialog, StereoChannelButtonFlipsHeadingTextAndTable) {
  PersonScope scope;
  HandFilledResults r(2);
  FillStereoOctave(r);
  r.SetRtuRange(-10.0f, -40.0f);
  r.Lock()->shownChannel = 1;  // a new dialog starts on the left channel anyway
  r.Unlock();
  r.context.keepDialogsOpen = 1;
  const int createdBefore = dialogCreatedCalls;
  scope.person.steps.push_back([&](HWND d) {
    EXPECT_EQ(static_cast<HWND>(AddressFromSlot(r.context.dialogWindow)), d);
    EXPECT_TRUE(IsControlEnabled(d, 3150));
    ExpectTexts(d, {{3156, "OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel"},
                    {3150, "Right Channel Parameters"},
                    {3154, "(-10. dB, -40. dB)"},
                    {3155, "N.C."}});
    // Lin by slot, C50 to r RTU: a valid 0 is a number, a missing one "- -".
    const char* const M = "- -";
    ExpectRow(d, OctaveCell(0, 0), 1, {"1.5", "0.", M, M, M, "0.", "21.", M, M, "1.235e+004", M});
    ExpectRow(d, OctaveCell(2, 0), 1, {M, M, M, "120.5", M, M, M, M, M, M, M});
    ExpectRow(d, OctaveCell(10, 0), 1, {M, M, M, M, M, M, M, M, M, M, M});
    // The N.C. and pair rows by band: zero, NaN and infinity are missing.
    ExpectRow(d, 1020, 1, {"yes", "no", "no", "no", "no", "no", "no", "no", "no", "no", "no"});
    ExpectRow(d, 3000, 1, {"0.25", M, M, M, M, M, M, M, M, M, "0.125"});
    ExpectRow(d, 3100, 1, {"0.5", M, M, M, M, M, M, M, M, M, M});
    ExpectRow(d, 3200, 1, {"1.5", M, M, M, M, M, M, M, M, M, M});
    ExpectRow(d, 3300, 1, {"-0.25", M, M, M, M, M, M, M, M, M, M});
    headless::PressButton(d, 3150);
  });
  scope.person.steps.push_back([&](HWND d) {
    // The N.C. row and the pair rows belong to both channels.
    ExpectTexts(d, {{3150, "&Left Channel Parameters"},
                    {3156, "OCTAVE BAND ACOUSTICAL PARAMETERS - Right Channel"},
                    {OctaveCell(2, SLOT_TS), "- -"},
                    {1020, "yes"},
                    {3000, "0.25"}});
    ExpectRow(d, OctaveCell(0, 0), 1,
              {"-2.5", "- -", "- -", "- -", "- -", "- -", "- -", "- -", "- -", "- -", "- -"});
    headless::PressButton(d, 3150);
  });
  scope.person.steps.push_back([&](HWND d) {
    ExpectTexts(d, {{3150, "Right Channel Parameters"},
                    {3156, "OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel"},
                    {OctaveCell(0, SLOT_C50), "1.5"}});
    headless::PressButton(d, 4);
    headless::PressEscape(d);  // no Cancel: nothing happens
  });
  scope.person.steps.push_back([&](HWND d) {
    EXPECT_EQ(headless::OpenDialogs().size(), 1u);
    headless::PressEnter(d);
  });
  EXPECT_EQ(OpenOctave(r), 1);
  EXPECT_EQ(scope.person.idleCalls, 4u);
  EXPECT_EQ(dialogCreatedCalls, createdBefore + 1);
  EXPECT_EQ(scope.person.Count(headless::Event::Help), 1u);
  EXPECT_EQ(headless::GlobalLockCount(r.settingsBlock), 0);
  EXPECT_EQ(r.Lock()->shownChannel, 0);
  r.Unlock();
}

TEST(OctaveDialog, MonoWithNoiseCorrectionOffShowsMissingMarks) {
  PersonScope scope;
  HandFilledResults r(1);
  FillStereoOctave(r);
  // A mono run leaves the pair rows zero (non-zero LF would still show in stereo).
  for (double* row : {r.store.lf, r.store.iacc, r.store.wIacc, r.store.tauIacc})
    std::fill(row, row + MAX_BANDS, 0.0);
  r.SetNoiseCorrection(0);
  r.context.interactiveMark = 0xFFFF;
  scope.person.steps.push_back([&](HWND d) {
    EXPECT_FALSE(IsControlEnabled(d, 3150));
    ExpectTexts(d, {{3156, "OCTAVE BAND ACOUSTICAL PARAMETERS"},
                    {3154, "(-5. dB, -15. dB)"},
                    {3155, "N.C."},
                    {1032, "LF"},
                    {1039, "Tau IACC [ms]"}});
    ExpectRow(d, OctaveCell(0, 0), 1, {"1.5", "0.", "- -", "- -", "- -", "0.", "21."});
    for (int b = 0; b <= 10; ++b) {
      for (int row : {1020, 3000, 3100, 3200, 3300}) EXPECT_EQ(ControlText(d, row + b), "- -") << row + b;
    }
    headless::CloseDialog(d);  // the close box is OK
  });
  EXPECT_EQ(OpenOctave(r), 1);
  EXPECT_EQ(headless::GlobalLockCount(r.settingsBlock), 0);
}

TEST(ResultsDialogs, CloseThemselvesUnlessTheHostKeepsThemOpen) {
  struct Keep {
    uint16_t interactiveMark, keepDialogsOpen;
    bool waits;
  };
  const Keep cases[] = {{0, 0, false}, {1, 0, false}, {0xFFFF, 0, true}, {0, 1, true}, {0xFFFF, 7, true}};
  for (const Keep& c : cases) {
    for (const bool thirdOctave : {false, true}) {
      PersonScope scope;
      HandFilledResults r(2);
      r.context.interactiveMark = c.interactiveMark;
      r.context.keepDialogsOpen = c.keepDialogsOpen;
      EXPECT_EQ(thirdOctave ? OpenThirdOctave(r) : OpenOctave(r), 1);
      EXPECT_EQ(scope.person.idleCalls > 0, c.waits) << c.interactiveMark << " " << c.keepDialogsOpen;
      EXPECT_EQ(scope.person.Count(headless::Event::DialogEnded), 1u);
      EXPECT_EQ(headless::GlobalLockCount(r.settingsBlock), 0);
    }
  }
}

TEST(ResultsDialogs, CopyWhileAnotherProgramHoldsTheClipboardThenAgain) {
  for (const bool thirdOctave : {false, true}) {
    PersonScope scope;
    HandFilledResults r(2);
    FillStereoOctave(r);
    if (thirdOctave) {
      // Exponent-notation cells everywhere: far over 4000 bytes per channel.
      for (int c = 0; c < 2; ++c) {
        for (int b = 0; b < MAX_BANDS; ++b) {
          for (int k = 0; k < PARAMS_PER_BAND; ++k) r.Set(c, b, k, -1.234e-10f);
        }
      }
    }
    r.context.keepDialogsOpen = 1;
    const size_t blocksBefore = headless::LiveGlobalBlocks();
    headless::HoldClipboardElsewhere(true);
    scope.person.steps.push_back([](HWND d) { headless::PressButton(d, 3151); });
    scope.person.steps.push_back([&](HWND d) {
      ASSERT_EQ(scope.person.Count(headless::Event::MessageBox), 1u);
      const headless::Event& message = scope.person.events.back();
      EXPECT_EQ(message.text,
                "Can not access Clipboard Data.\nAnother application or window\nhas the Clipboard opened.");
      EXPECT_EQ(message.caption, "Acoustical Parameters");
      EXPECT_EQ(message.style, 16u);
      EXPECT_EQ(headless::LiveGlobalBlocks(), blocksBefore);  // the failed block is freed
      EXPECT_FALSE(headless::ClipboardText().has_value());
      headless::HoldClipboardElsewhere(false);
      headless::PressButton(d, 3151);
    });
    scope.person.steps.push_back([](HWND d) { headless::PressButton(d, 1); });
    EXPECT_EQ(thirdOctave ? OpenThirdOctave(r) : OpenOctave(r), 1);
    EXPECT_EQ(scope.person.Count(headless::Event::MessageBox), 1u);
    const std::string expected = ExpectedReport(r, thirdOctave);
    EXPECT_GT(expected.size(), thirdOctave ? 8000u : 0u);
    ASSERT_TRUE(headless::ClipboardText().has_value());
    EXPECT_EQ(*headless::ClipboardText(), expected);
    EXPECT_EQ(headless::LiveGlobalBlocks(), blocksBefore + 1);  // now the clipboard's
    headless::ResetClipboard();
    EXPECT_EQ(headless::LiveGlobalBlocks(), blocksBefore);
  }
}

// Third-octave store: wide band and a few thirds, with tiny valid values
// that only the wide band shows, and thirds of one octave that differ.
void FillStereoThirds(HandFilledResults& r) {
  r.Set(0, 0, SLOT_C50, 0.00005f);
  r.Set(0, 0, SLOT_C80, 2.5f);
  r.Set(0, 0, SLOT_D50, 40.0f);
  r.Set(0, 1, SLOT_C50, 0.00005f);  // valid, but too close to zero for a third
  r.Set(0, 1, SLOT_C80, -0.0002f);  // just beyond the limit
  r.Set(0, 2, SLOT_C50, 1.25f);     // middle third computed, upper third not
  r.Set(0, 27, SLOT_RT30, 0.75f);
  r.Set(0, 27, SLOT_R_RT30, 0.99f);
  r.Set(0, 0, SLOT_RT30, 1.5f);
  r.Set(1, 0, SLOT_C50, -3.0f);
  r.Set(1, 5, SLOT_D50, 55.5f);
  r.store.noiseCorrected[4] = 'y';
}

void ExpectView(HWND d, int view, const char* const labels[3]) {
  for (int button = 0; button < 5; ++button)
    EXPECT_EQ(IsControlEnabled(d, 1800 + button), button != view) << button;
  const bool clarity = view == 0;
  for (int column = 0; column < 28; ++column) {
    EXPECT_EQ(IsControlVisible(d, ThirdCell(column, 2)), clarity) << column;
    if (column > 0) {
      EXPECT_EQ(IsControlVisible(d, 1019 + column), !clarity) << column;
    }
  }
  for (int label = 0; label < 9; ++label) EXPECT_EQ(ControlText(d, 1810 + label), labels[label % 3]) << label;
}

TEST(ThirdOctaveDialog, ViewsAndChannelButton) {
  PersonScope scope;
  HandFilledResults r(2);
  FillStereoThirds(r);
  r.context.keepDialogsOpen = 1;
  const char* const templateLabels[3] = {"C50 (dB)", "C80 (dB)", "D50 (%)"};
  const char* const clarityLabels[3] = {"C50 [dB]", "C80 [dB]", "D50 [%]"};
  const char* const rt30Labels[3] = {"RT30 [s]", "r RT30", "NC"};
  const char* const userLabels[3] = {"RTUser[s]", "r RTUser", "NC"};
  scope.person.steps.push_back([&](HWND d) {
    EXPECT_TRUE(IsControlEnabled(d, 3151));
    ExpectView(d, 0, templateLabels);
    ExpectTexts(d, {{3156, "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS - Left Channel"},
                    {3150, "&Right Channel Parameters"},
                    {3154, "(-5. dB, -15. dB)"}});
    // C50 by column: the wide band shows a tiny valid value (5e-5), a third does not.
    ExpectRow(d, ThirdCell(0, 0), 3, {"5.e-005", "- -", "1.25", "- -"});
    ExpectRow(d, ThirdCell(0, 1), 3, {"2.5", "-2.e-004"});
    EXPECT_EQ(ControlText(d, ThirdCell(0, 2)), "40.");
    headless::PressButton(d, 1803);
  });
  scope.person.steps.push_back([&](HWND d) {
    ExpectView(d, 3, rt30Labels);
    ExpectTexts(d, {{ThirdCell(0, 0), "1.5"},
                    {ThirdCell(27, 0), "0.75"},
                    {ThirdCell(27, 1), "0.99"},
                    {ThirdCell(26, 0), "- -"}});
    for (int column = 0; column < 28; ++column) EXPECT_EQ(ControlText(d, ThirdCell(column, 2)), " ");
    for (int column = 1; column < 28; ++column) {
      EXPECT_EQ(ControlText(d, 1019 + column), column == 4 ? "yes" : "no") << column;
    }
    headless::PressButton(d, 3150);  // back to Clarity, right channel
  });
  scope.person.steps.push_back([&](HWND d) {
    ExpectView(d, 0, clarityLabels);
    ExpectTexts(d, {{3150, "Left Channel Parameters"},
                    {3156, "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS - Right Channel"},
                    {ThirdCell(0, 0), "-3."},
                    {ThirdCell(5, 2), "55.5"},
                    {ThirdCell(2, 0), "- -"}});
    headless::PressButton(d, 1804);
  });
  scope.person.steps.push_back([&](HWND d) {
    ExpectView(d, 4, userLabels);
    headless::CloseDialog(d);
  });
  EXPECT_EQ(OpenThirdOctave(r), 1);
  EXPECT_EQ(scope.person.idleCalls, 4u);
  EXPECT_EQ(headless::GlobalLockCount(r.settingsBlock), 0);
}

TEST(ThirdOctaveDialog, MonoWithNoiseCorrectionOffInEveryView) {
  PersonScope scope;
  HandFilledResults r(1);
  FillStereoThirds(r);
  r.SetNoiseCorrection(0);
  r.context.interactiveMark = 0xFFFF;
  // Every view in turn (the press takes effect by the next wait): the N.C.
  // row shows missing marks in each.
  int shown = 1800;
  for (const int view : {1801, 1802, 1803, 1804, 1800}) {
    scope.person.steps.push_back([view, &shown](HWND d) {
      EXPECT_FALSE(IsControlEnabled(d, 3150) || IsControlEnabled(d, shown));
      EXPECT_EQ(ControlText(d, 3156), "OCTAVE BAND ACOUSTICAL PARAMETERS");
      for (int column = 1; shown != 1800 && column < 28; ++column)
        EXPECT_EQ(ControlText(d, 1019 + column), "- -");
      headless::PressButton(d, shown = view);
    });
  }
  scope.person.steps.push_back([](HWND d) {
    EXPECT_EQ(ControlText(d, ThirdCell(0, 2)), "40.");
    EXPECT_TRUE(IsControlVisible(d, ThirdCell(0, 2)));
    headless::PressButton(d, 1);
  });
  EXPECT_EQ(OpenThirdOctave(r), 1);
  EXPECT_EQ(scope.person.idleCalls, 6u);
}

#if UINTPTR_MAX != 0xFFFFFFFFu
TEST(ResultsDialogs, RepeatedDialogsKeepTheTokenTableBounded) {
  PersonScope scope;
  HandFilledResults r(2);
  // First opening of each: the function tokens of the procedures and the
  // host callback stay for the process.
  OpenOctave(r);
  OpenThirdOctave(r);
  OpenPluginDialog(100, ORDINAL_SETTINGS_DIALOG, &r.context);
  const uint32_t live = LiveSlotCount();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(OpenOctave(r), 1);
    EXPECT_EQ(OpenThirdOctave(r), 1);
    EXPECT_EQ(OpenPluginDialog(100, ORDINAL_SETTINGS_DIALOG, &r.context), 0);
  }
  EXPECT_EQ(LiveSlotCount(), live);
}
#endif

}  // namespace
