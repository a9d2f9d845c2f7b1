// The settings dialog driven as a person would: what it shows for a stereo
// and a mono selection, how it brings typed values into range on OK, the
// Lock copy, and that Cancel, Esc and the close box change nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "interface/entry_points.h"
#include "interface/settings.h"
#include "tests/ui_dialog_harness.h"

namespace {

using headless::ControlText;
using headless::IsControlChecked;
using headless::IsControlEnabled;

// A settings block holding the defaults that XfmInit writes.
struct SettingsBlock {
  HGLOBAL handle;
  XfmContext context;
  explicit SettingsBlock(uint16_t channelCount) {
    handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, SETTINGS_SIZE);
    AnalysisSettings* s = static_cast<AnalysisSettings*>(GlobalLock(handle));
    s->rtuStartDb = -5.0f;
    s->rtuEndDb = -15.0f;
    s->noiseCorrection = 1;
    s->wThreshold = 10000.0f;
    s->yThreshold = 10000.0f;
    s->thresholdLock = 1;
    s->boostDb = 3.0;
    GlobalUnlock(handle);
    std::memset(&context, 0, sizeof context);
    context.channelCount = channelCount;
    context.settingsHandle = SlotFromAddress(handle);
  }
  ~SettingsBlock() {
    ReleaseSlot(context.settingsHandle);
    GlobalFree(handle);
  }

  void Edit(void (*change)(AnalysisSettings*)) {
    change(static_cast<AnalysisSettings*>(GlobalLock(handle)));
    GlobalUnlock(handle);
  }
  std::vector<uint8_t> Bytes() const {  // the whole block, byte for byte
    const uint8_t* data = static_cast<const uint8_t*>(GlobalLock(handle));
    std::vector<uint8_t> bytes(data, data + SETTINGS_SIZE);
    GlobalUnlock(handle);
    return bytes;
  }
  AnalysisSettings Read() const {
    AnalysisSettings copy;
    std::memcpy(&copy, Bytes().data(), sizeof copy);
    return copy;
  }
  INT_PTR Open() { return OpenPluginDialog(100, ORDINAL_SETTINGS_DIALOG, &context); }
};

TEST(SettingsDialog, ShowsTheStoredSettingsOfAStereoSelection) {
  PersonScope scope;
  SettingsBlock block(2);
  const int createdBefore = dialogCreatedCalls;
  scope.person.steps.push_back([&](HWND d) {
    EXPECT_EQ(static_cast<HWND>(AddressFromSlot(block.context.dialogWindow)), d);
    ExpectTexts(d, {{1001, "-5."},
                    {1002, "-15."},
                    {1006, "10000"},
                    {1007, "10000"},
                    {1009, "3."},
                    {2000, "W Threshold"}});
    EXPECT_TRUE(IsControlChecked(d, 1008) && IsControlChecked(d, 1000) && !IsControlChecked(d, 1010));
    for (int id : {1007, 1008, 1009}) EXPECT_TRUE(IsControlEnabled(d, id)) << id;
    // The settings block stays locked while the dialog is open.
    EXPECT_EQ(headless::GlobalLockCount(block.handle), 1);
    headless::PressButton(d, 4);  // Help keeps the dialog open
  });
  scope.person.steps.push_back([&](HWND d) { headless::PressButton(d, 2); });
  const std::vector<uint8_t> before = block.Bytes();
  EXPECT_EQ(block.Open(), 0);
  EXPECT_EQ(block.Bytes(), before);
  EXPECT_EQ(headless::GlobalLockCount(block.handle), 0);
  EXPECT_EQ(dialogCreatedCalls, createdBefore + 1);
  ASSERT_EQ(scope.person.Count(headless::Event::Help), 1u);
  for (const headless::Event& e : scope.person.events) {
    if (e.kind == headless::Event::Help) {
      EXPECT_EQ(e.text + "|" + e.caption, "quindo96.hlp|Acoustical Parameters");
      EXPECT_EQ(e.style, static_cast<uint32_t>(HELP_KEY));
    }
  }
}

struct TypedSettings {
  const char* start;
  const char* end;
  const char* w;
  const char* y;  // Lock unchecked, so Y is read from its field
  const char* boost;
  float startDb, endDb, wThreshold, yThreshold;
  int16_t arrival;
  double boostDb;
};

TEST(SettingsDialog, OkBringsTypedValuesIntoRange) {
  const TypedSettings cases[] = {
      {"-100", "-100", "10000", "10000", "3", -100.0f, -101.0f, 10000.0f, 10000.0f, 10000, 3.0},
      {"5", "-20", "40000", "-3", "-2.5", 0.0f, -20.0f, 32767.0f, 0.0f, 32767, -2.5},
      {"-20", "-10", "-3", "123.9", "0", -20.0f, -21.0f, 0.0f, 123.0f, 0, 0.0},
      {"3", "-10", "123.9", "99999", "1e2", 0.0f, -10.0f, 123.0f, 32767.0f, 123, 100.0},
      {"-10", "-10", "letters", "  42xyz", "abc", -10.0f, -11.0f, 0.0f, 42.0f, 0, 0.0},
      {"-150", "-15", "99999", "+7", " 12.5dB", -100.0f, -101.0f, 32767.0f, 7.0f, 32767, 12.5},
      // The second extreme: not below 0 gives 0, then the 1 dB rule; below
      // -100 gives -100.
      {"-5", "5", "1", "1", "3", -5.0f, -6.0f, 1.0f, 1.0f, 1, 3.0},
      {"-5", "-150", "1", "1", "3", -5.0f, -100.0f, 1.0f, 1.0f, 1, 3.0},
      // Single precision of the stored extremes, the 1 dB rule in float.
      {"-33.3", "-33.5", "2", "2", "3", -33.3f, -34.3f, 2.0f, 2.0f, 2, 3.0},
      {"", "", "", "", "", 0.0f, -1.0f, 0.0f, 0.0f, 0, 0.0},
  };
  for (const TypedSettings& c : cases) {
    PersonScope scope;
    SettingsBlock block(2);
    scope.person.steps.push_back([&](HWND d) {
      for (const auto& [id, text] :
           {std::pair(1001, c.start), {1002, c.end}, {1006, c.w}, {1007, c.y}, {1009, c.boost}})
        headless::TypeText(d, id, text);
      headless::SetCheckBox(d, 1008, false);
      headless::SetCheckBox(d, 1000, false);
      headless::SetCheckBox(d, 1010, true);
    });
    scope.person.steps.push_back([&](HWND d) { headless::PressButton(d, 1); });
    EXPECT_EQ(block.Open(), 1) << c.start;
    const AnalysisSettings s = block.Read();
    EXPECT_EQ(+s.rtuStartDb, c.startDb) << c.start << " " << c.end;
    EXPECT_EQ(+s.rtuEndDb, c.endDb) << c.start << " " << c.end;
    EXPECT_EQ(+s.wThreshold, c.wThreshold) << c.w;
    EXPECT_EQ(+s.arrivalThreshold, c.arrival) << c.w;
    EXPECT_EQ(+s.yThreshold, c.yThreshold) << c.y;
    EXPECT_EQ(+s.boostDb, c.boostDb) << c.boost;
    EXPECT_EQ(std::vector<int>({+s.thresholdLock, +s.noiseCorrection, +s.thirdOctave}),
              std::vector<int>({0, 0, 1}));
    EXPECT_EQ(headless::GlobalLockCount(block.handle), 0);
  }
}

TEST(SettingsDialog, LockCopiesTheWThresholdAndOverridesYOnOk) {
  PersonScope scope;
  SettingsBlock block(2);
  block.Edit([](AnalysisSettings* s) { s->thresholdLock = 0; });
  scope.person.steps.push_back([](HWND d) {
    EXPECT_FALSE(IsControlChecked(d, 1008));
    headless::TypeText(d, 1006, "2500");
    headless::SetCheckBox(d, 1008, true);
  });
  scope.person.steps.push_back([](HWND d) {
    EXPECT_EQ(ControlText(d, 1007), "2500");
    headless::SetCheckBox(d, 1008, false);
  });
  scope.person.steps.push_back([](HWND d) {
    EXPECT_EQ(ControlText(d, 1007), "2500");  // unchecking changes no field
    EXPECT_TRUE(IsControlEnabled(d, 1007));
    headless::TypeText(d, 1006, "3000");
    headless::SetCheckBox(d, 1008, true);
  });
  scope.person.steps.push_back([](HWND d) {
    EXPECT_EQ(ControlText(d, 1007), "3000");
    headless::TypeText(d, 1007, "1234");  // still editable, but Lock wins
    headless::PressButton(d, 1);
  });
  EXPECT_EQ(block.Open(), 1);
  const AnalysisSettings s = block.Read();
  EXPECT_EQ(+s.thresholdLock, 1);
  EXPECT_EQ(+s.wThreshold, 3000.0f);
  EXPECT_EQ(+s.yThreshold, 3000.0f);
  EXPECT_EQ(+s.arrivalThreshold, 3000);
}

TEST(SettingsDialog, MonoSelectionDisablesTheSecondChannel) {
  for (const bool locked : {false, true}) {
    PersonScope scope;
    SettingsBlock block(1);
    if (!locked) block.Edit([](AnalysisSettings* s) { s->thresholdLock = 0; });
    scope.person.steps.push_back([](HWND d) {
      for (int id : {1007, 1008, 1009}) EXPECT_FALSE(IsControlEnabled(d, id)) << id;
      ExpectTexts(d, {{2000, "Threshold"}, {1007, ""}, {1009, ""}, {1006, "10000"}});
      headless::TypeText(d, 1006, "2000");
      headless::PressButton(d, 1);
    });
    EXPECT_EQ(block.Open(), 1);
    const AnalysisSettings s = block.Read();
    EXPECT_EQ(+s.wThreshold, 2000.0f);
    EXPECT_EQ(+s.yThreshold, locked ? 2000.0f : 10000.0f);
    EXPECT_EQ(+s.boostDb, 3.0);
    EXPECT_EQ(+s.thresholdLock, locked ? 1 : 0);
  }
}

TEST(SettingsDialog, CancelEscAndTheCloseBoxLeaveTheBlockUnchanged) {
  enum Leave { CANCEL_BUTTON, ESC_KEY, CLOSE_BOX, WALK_AWAY };
  for (const Leave leave : {CANCEL_BUTTON, ESC_KEY, CLOSE_BOX, WALK_AWAY}) {
    PersonScope scope;
    SettingsBlock block(2);
    const std::vector<uint8_t> before = block.Bytes();
    scope.person.steps.push_back([leave](HWND d) {
      headless::TypeText(d, 1001, "-50");
      headless::TypeText(d, 1006, "7");
      headless::SetCheckBox(d, 1010, true);
      if (leave == CANCEL_BUTTON) headless::PressButton(d, 2);
      if (leave == ESC_KEY) headless::PressEscape(d);
      if (leave == CLOSE_BOX) headless::CloseDialog(d);
    });
    EXPECT_EQ(block.Open(), 0) << leave;
    EXPECT_EQ(block.Bytes(), before) << leave;
    EXPECT_EQ(headless::GlobalLockCount(block.handle), 0) << leave;
  }
}

TEST(SettingsDialog, UnlockableSettingsEndTheDialogUntouched) {
  PersonScope scope;
  SettingsBlock block(2);
  const std::vector<uint8_t> before = block.Bytes();
  const int createdBefore = dialogCreatedCalls;
  headless::FailGlobalLock(0, 1);
  EXPECT_EQ(block.Open(), 0);
  EXPECT_EQ(block.Bytes(), before);
  EXPECT_EQ(block.context.dialogWindow, 0u);
  EXPECT_EQ(dialogCreatedCalls, createdBefore);
  EXPECT_EQ(scope.person.idleCalls, 0u);
}

}  // namespace
