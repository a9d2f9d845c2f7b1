// The exported entry points QueryXfm, XfmInit, XfmSetup and XfmDestroy, seen
// from the host: what they write into the host's records, byte by byte, and
// what they leave alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/kit/plugin_host.h"
#include "platform/headless.h"
#include "plugin/entry_points.h"
#include "plugin/settings.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Stand-ins for the host's windows and for a module that is not the
// plug-in's; the plug-in only passes them on and records them.
HWND const PARENT_A = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x00A10000));
HWND const PARENT_B = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x00B20000));
HINSTANCE const FOREIGN_MODULE = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x7E570000));

void Put(Bytes& block, size_t offset, const Bytes& bytes) {
  std::memcpy(block.data() + offset, bytes.data(), bytes.size());
}

// Acts on every settings dialog as a person would: presses one button once,
// or closes the window; and keeps what the dialog showed first.
struct SettingsPerson : headless::Observer {
  enum Action { PressOk, PressCancel, CloseBox } action;
  explicit SettingsPerson(Action a) : action(a) { previous = headless::SetObserver(this); }
  ~SettingsPerson() override { headless::SetObserver(previous); }
  void OnDialogShown(HWND dialog) override {
    if (shown.empty()) firstView = headless::ViewDialog(dialog);
    shown.push_back(dialog);
  }
  void OnDialogIdle(HWND dialog) override {
    if (acted) return;  // a second idle round: the stand-in closes the window
    acted = true;
    if (action == PressOk) headless::PressButton(dialog, IDOK);
    if (action == PressCancel) headless::PressButton(dialog, IDCANCEL);
    if (action == CloseBox) headless::CloseDialog(dialog);
  }
  void OnDialogEnded(HWND, INT_PTR result) override { results.push_back(result); }
  headless::Observer* previous = nullptr;
  bool acted = false;
  std::vector<HWND> shown;
  std::vector<INT_PTR> results;
  headless::DialogView firstView;
};

class EntryPoints : public ::testing::Test {
 protected:
  void SetUp() override { headless::ResetThreadState(); }
  void TearDown() override { headless::ResetThreadState(); }
  // A block of the host's whole settings size, every byte `fill`.
  void FillSettings(hostkit::PluginHost& host, uint8_t fill) {
    host.SetSettingsBytes(Bytes(SETTINGS_SIZE, fill));
  }
};

TEST_F(EntryPoints, QueryXfmFillsEveryFieldWhateverTheRecordHeld) {
  for (int fill : {0x00, 0xFF, 0x5A}) {
    XfmInfo info;
    std::memset(&info, fill, sizeof info);
    EXPECT_EQ(QueryXfm(&info), 1160);
    // One backslash between the maker and the title.
    EXPECT_STREQ(info.name, "Quindo\\Acoustical Parameters (32-bit)");
    EXPECT_EQ(info.name[6], '\\');
    EXPECT_EQ(info.name[7], 'A');
    EXPECT_STREQ(info.description, "Calculate Acoustical Parameters 32-bit");
    EXPECT_EQ(info.infoWord, 60);
    EXPECT_EQ(info.infoFlags, 0x10021u);
    EXPECT_EQ(info.paramSize, 586u);
    EXPECT_STREQ(info.paramTypes, "fficccllllllhhccffcdssll");
    EXPECT_STREQ(info.paramFlags, "yyyyyyyyyyyyyyyyyyyyyyyy");
    // A one-line notice that fits its field and names the project.
    const size_t length = strnlen(info.copyright, sizeof info.copyright);
    ASSERT_LT(length, sizeof info.copyright);
    EXPECT_NE(std::string(info.copyright).find("Roomstat"), std::string::npos);
    EXPECT_EQ(std::string(info.copyright).find_first_of("\r\n"), std::string::npos);
  }
}

TEST_F(EntryPoints, XfmInitWritesExactlyItsFields) {
  hostkit::PluginHost host;
  FillSettings(host, 0xFF);
  ASSERT_EQ(host.Init(), 1);

  // Expected block, from the host's offsets and IEEE-754 bytes written out
  // by hand; everything not listed stays 0xFF (result pointers at 21..36,
  // the unused span at 45..556, the lateral pass's values at 574..585).
  Bytes expected(SETTINGS_SIZE, 0xFF);
  Put(expected, 0, {0x00, 0x00, 0xA0, 0xC0});   // rtuStartDb -5.0
  Put(expected, 4, {0x00, 0x00, 0x70, 0xC1});   // rtuEndDb -15.0
  Put(expected, 8, {0x10, 0x27});               // arrivalThreshold 10000
  Put(expected, 10, {0x01, 0x00, 0x00});        // noise correction, octaves, left channel
  Put(expected, 13, Bytes(8, 0x00));            // resultValues, resultFlags
  Put(expected, 37, Bytes(8, 0x00));            // ownerWindow, moduleHandle
  Put(expected, 557, {0x00, 0x40, 0x1C, 0x46});  // wThreshold 10000.0
  Put(expected, 561, {0x00, 0x40, 0x1C, 0x46});  // yThreshold 10000.0
  Put(expected, 565, {0x01});                   // thresholdLock
  Put(expected, 566, {0, 0, 0, 0, 0, 0, 0x08, 0x40});  // boostDb 3.0
  EXPECT_EQ(host.SettingsBytes(), expected);
  EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);

  // On a zero-filled block the threshold of the band analysis starts equal
  // to the integer part of the W threshold, and the boost is 3 dB.
  FillSettings(host, 0x00);
  ASSERT_EQ(host.Init(), 1);
  // The record is packed: fields are read as values (unary +), never bound
  // to references at their unaligned addresses.
  AnalysisSettings settings;
  std::memcpy(&settings, host.SettingsBytes().data(), sizeof settings);
  EXPECT_EQ(+settings.arrivalThreshold, 10000);
  EXPECT_EQ(+settings.arrivalThreshold, static_cast<int16_t>(settings.wThreshold));
  EXPECT_EQ(+settings.boostDb, 3.0);
  EXPECT_EQ(+settings.arrivalLeft, 0);
  EXPECT_EQ(+settings.iaccEnd, 0u);
}

TEST_F(EntryPoints, LockFailureChangesNothingAndReturnsZero) {
  hostkit::PluginHost host;
  FillSettings(host, 0xC3);
  const Bytes before = host.SettingsBytes();

  headless::FailGlobalLock(0, 1);
  EXPECT_EQ(host.Init(), 0);
  headless::FailGlobalLock(0, 1);
  EXPECT_EQ(host.Destroy(), 0);
  // A template that cannot be opened gives -1, which reaches the second
  // half of the setup; its lock fails, so nothing is recorded.
  headless::FailGlobalLock(0, 1);
  EXPECT_EQ(XfmSetup(PARENT_A, FOREIGN_MODULE, &host.Context()), 0);
  EXPECT_EQ(host.SettingsBytes(), before);
  EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);

  EXPECT_EQ(host.Destroy(), 1);
}

TEST_F(EntryPoints, MissingTemplateGivesMinusOneAndRecordsOwnerAndModule) {
  hostkit::PluginHost host;
  ASSERT_EQ(host.Init(), 1);
  EXPECT_EQ(XfmSetup(PARENT_A, FOREIGN_MODULE, &host.Context()), -1);
  AnalysisSettings settings;
  std::memcpy(&settings, host.SettingsBytes().data(), sizeof settings);
  EXPECT_EQ(AddressFromSlot(settings.ownerWindow), static_cast<void*>(PARENT_A));
  EXPECT_EQ(AddressFromSlot(settings.moduleHandle), static_cast<void*>(FOREIGN_MODULE));
  EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);
}

TEST_F(EntryPoints, CancelledSetupLeavesTheBlockByteForByte) {
  for (auto action : {SettingsPerson::PressCancel, SettingsPerson::CloseBox}) {
    hostkit::PluginHost host;
    host.Context().channelCount = 2;
    ASSERT_EQ(host.Init(), 1);
    // Owner and module of an earlier setup, and odd bytes elsewhere, must
    // all survive a cancelled dialog.
    Bytes block = host.SettingsBytes();
    Put(block, 37, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    Put(block, 45, Bytes(512, 0x3C));
    Put(block, 574, Bytes(12, 0xE1));
    host.SetSettingsBytes(block);

    SettingsPerson person(action);
    EXPECT_EQ(host.Setup(PARENT_A), 0) << "action " << action;
    EXPECT_EQ(person.shown.size(), 1u);
    EXPECT_EQ(host.SettingsBytes(), block) << "action " << action;
    EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);
    EXPECT_TRUE(headless::OpenDialogs().empty());
  }
}

TEST_F(EntryPoints, SetupOpensTheSettingsTemplate) {
  hostkit::PluginHost host;
  host.Context().channelCount = 2;
  ASSERT_EQ(host.Init(), 1);
  SettingsPerson person(SettingsPerson::PressCancel);
  host.Setup(PARENT_A);
  ASSERT_EQ(person.shown.size(), 1u);
  const headless::DialogView& view = person.firstView;
  EXPECT_EQ(view.templateId, 100);
  EXPECT_EQ(view.caption, "Acoustical Parameters 32");
  EXPECT_EQ(view.width, 201);
  EXPECT_GT(view.height, 111);  // below the check-box row (101 + 10)

  // Every control of the settings dialog: kind, ID, text, position. Edit
  // fields' texts are the dialog's to fill and are not compared.
  struct Expected {
    const char* kind;
    int id;
    const char* text;
    int x, y, width, height;
  };
  const Expected controls[] = {
      {"DEFPUSHBUTTON", 1, "OK", 159, 9, 37, 14},
      {"PUSHBUTTON", 2, "Cancel", 159, 30, 37, 14},
      {"PUSHBUTTON", 4, "&Help", 159, 51, 37, 14},
      {"GROUPBOX", -1, "User Defined Reverberation Time Extremes:", 6, 6, 150, 27},
      {"LTEXT", -1, "(", 10, 18, 8, 8},
      {"EDITTEXT", 1001, nullptr, 17, 16, 45, 12},
      {"LTEXT", -1, "dB ,", 66, 18, 13, 8},
      {"EDITTEXT", 1002, nullptr, 89, 16, 45, 12},
      {"LTEXT", -1, "dB )", 137, 18, 17, 8},
      {"GROUPBOX", -1, "First Arrival Time settings", 5, 37, 150, 58},
      {"RTEXT", 2000, "W Threshold", 9, 53, 46, 8},
      {"EDITTEXT", 1006, nullptr, 59, 50, 44, 13},
      {"RTEXT", -1, "Y Threshold", 9, 67, 46, 8},
      {"EDITTEXT", 1007, nullptr, 59, 65, 44, 13},
      {"AUTOCHECKBOX", 1008, "Lock", 105, 61, 41, 10},
      {"RTEXT", -1, "Boost", 9, 81, 46, 8},
      {"EDITTEXT", 1009, nullptr, 59, 79, 44, 13},
      {"LTEXT", -1, "[dB]", 105, 82, 26, 8},
      {"AUTOCHECKBOX", 1000, "&Noise Correction", 7, 101, 81, 10},
      {"AUTOCHECKBOX", 1010, "1/3 Octave", 102, 101, 53, 10},
  };
  ASSERT_EQ(view.controls.size(), std::size(controls));
  for (size_t i = 0; i < std::size(controls); ++i) {
    const Expected& e = controls[i];
    const headless::ControlState& c = view.controls[i];
    SCOPED_TRACE(testing::Message() << "control " << i << " id " << e.id);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.id, e.id);
    if (e.text != nullptr) {
      EXPECT_EQ(c.text, e.text);
    }
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.width, e.width);
    EXPECT_EQ(c.height, e.height);
    EXPECT_TRUE(c.visible);
  }
}

// --- Confirmed setups --------------------------------------------------------
// These need the settings dialog's procedure to end the dialog with 1 on OK.
// A procedure that ignores OK leaves the dialog to be closed by the stand-in
// with 0, and these tests then fail.

TEST_F(EntryPoints, ConfirmedTwiceKeepsTheSecondParent) {
  hostkit::PluginHost host;
  host.Context().channelCount = 2;
  ASSERT_EQ(host.Init(), 1);
  for (HWND parent : {PARENT_A, PARENT_B}) {
    SettingsPerson person(SettingsPerson::PressOk);
    EXPECT_EQ(host.Setup(parent), 1);
    AnalysisSettings settings;
    std::memcpy(&settings, host.SettingsBytes().data(), sizeof settings);
    EXPECT_EQ(AddressFromSlot(settings.ownerWindow), static_cast<void*>(parent));
    EXPECT_EQ(AddressFromSlot(settings.moduleHandle), static_cast<void*>(headless::PluginModule()));
    EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);
  }
}

TEST_F(EntryPoints, ConfirmedSetupWhoseLockFailsReturnsZero) {
  hostkit::PluginHost host;
  host.Context().channelCount = 2;
  ASSERT_EQ(host.Init(), 1);
  const Bytes before = host.SettingsBytes();
  SettingsPerson person(SettingsPerson::PressOk);
  // The dialog's own lock succeeds; the setup's lock after OK fails.
  headless::FailGlobalLock(1, 1);
  EXPECT_EQ(host.Setup(PARENT_B), 0);
  ASSERT_EQ(person.results, std::vector<INT_PTR>{1});
  AnalysisSettings settings;
  std::memcpy(&settings, host.SettingsBytes().data(), sizeof settings);
  EXPECT_EQ(+settings.ownerWindow, 0u);
  EXPECT_EQ(+settings.moduleHandle, 0u);
}

}  // namespace
