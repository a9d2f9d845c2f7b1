// The exported entry points QueryXfm, XfmInit, XfmSetup and XfmDestroy, seen
// from the host: what they write into the host's records, byte by byte, and
// what they leave alone.
#include "interface/entry_points.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/settings.h"
#include "platform/headless.h"
#include "tests/ui_dialog_harness.h"

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

// One act of a person on the settings dialog: press a button, or (0) close
// the window. Once the steps run out the stand-in closes the window.
std::function<void(HWND)> Press(int button) {
  return [button](HWND dialog) {
    button != 0 ? headless::PressButton(dialog, button) : headless::CloseDialog(dialog);
  };
}

// The results of the dialogs that ended, in order.
std::vector<INT_PTR> Ended(const ScriptedPerson& person) {
  std::vector<INT_PTR> results;
  for (const headless::Event& e : person.events) {
    if (e.kind == headless::Event::DialogEnded) results.push_back(e.result);
  }
  return results;
}

// A block of the host's whole settings size, every byte `fill`.
void FillSettings(hostkit::PluginHost& host, uint8_t fill) {
  host.SetSettingsBytes(Bytes(SETTINGS_SIZE, fill));
}

// A host after XfmInit on a stereo selection.
void InitStereo(hostkit::PluginHost& host) {
  host.Context().channelCount = 2;
  ASSERT_EQ(host.Init(), 1);
}

class EntryPoints : public ::testing::Test {
 protected:
  void SetUp() override { headless::ResetThreadState(); }
  void TearDown() override { headless::ResetThreadState(); }
};

// Reads the host's settings block as the record (packed: compare fields as
// values, never bound to references at their unaligned addresses).
AnalysisSettings Settings(const hostkit::PluginHost& host) {
  AnalysisSettings settings;
  std::memcpy(&settings, host.SettingsBytes().data(), sizeof settings);
  return settings;
}

TEST_F(EntryPoints, QueryXfmFillsEveryFieldWhateverTheRecordHeld) {
  for (int fill : {0x00, 0xFF, 0x5A}) {
    XfmInfo info;
    std::memset(&info, fill, sizeof info);
    EXPECT_EQ(QueryXfm(&info), 1160);
    EXPECT_STREQ(info.name, "Quindo\\Acoustical Parameters (32-bit)");  // one backslash
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
  Put(expected, 0, {0x00, 0x00, 0xA0, 0xC0});          // rtuStartDb -5.0
  Put(expected, 4, {0x00, 0x00, 0x70, 0xC1});          // rtuEndDb -15.0
  Put(expected, 8, {0x10, 0x27});                      // arrivalThreshold 10000
  Put(expected, 10, {0x01, 0x00, 0x00});               // noise correction, octaves, left channel
  Put(expected, 13, Bytes(8, 0x00));                   // resultValues, resultFlags
  Put(expected, 37, Bytes(8, 0x00));                   // ownerWindow, moduleHandle
  Put(expected, 557, {0x00, 0x40, 0x1C, 0x46});        // wThreshold 10000.0
  Put(expected, 561, {0x00, 0x40, 0x1C, 0x46});        // yThreshold 10000.0
  Put(expected, 565, {0x01});                          // thresholdLock
  Put(expected, 566, {0, 0, 0, 0, 0, 0, 0x08, 0x40});  // boostDb 3.0
  EXPECT_EQ(host.SettingsBytes(), expected);
  EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);

  // On a zero-filled block the threshold of the band analysis starts equal
  // to the integer part of the W threshold; the lateral pass's values stay.
  FillSettings(host, 0x00);
  ASSERT_EQ(host.Init(), 1);
  const AnalysisSettings settings = Settings(host);
  EXPECT_EQ(+settings.arrivalThreshold, static_cast<int16_t>(settings.wThreshold));
  EXPECT_EQ(+settings.iaccEnd, 0u);
}

TEST_F(EntryPoints, LockFailureChangesNothingAndMissingTemplateGivesMinusOne) {
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
  // With the lock working, the -1 comes back and owner and module are kept.
  EXPECT_EQ(XfmSetup(PARENT_A, FOREIGN_MODULE, &host.Context()), -1);
  EXPECT_EQ(AddressFromSlot(Settings(host).ownerWindow), static_cast<void*>(PARENT_A));
  EXPECT_EQ(AddressFromSlot(Settings(host).moduleHandle), static_cast<void*>(FOREIGN_MODULE));
  EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);
  EXPECT_EQ(host.Destroy(), 1);
}

TEST_F(EntryPoints, CancelledSetupLeavesTheBlockByteForByte) {
  for (int button : {IDCANCEL, 0}) {
    hostkit::PluginHost host;
    InitStereo(host);
    // Owner and module of an earlier setup, and odd bytes elsewhere, must
    // all survive a cancelled dialog.
    Bytes block = host.SettingsBytes();
    Put(block, 37, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    Put(block, 45, Bytes(512, 0x3C));
    Put(block, 574, Bytes(12, 0xE1));
    host.SetSettingsBytes(block);

    PersonScope scope;
    scope.person.steps = {Press(button)};
    EXPECT_EQ(host.Setup(PARENT_A), 0) << "button " << button;
    EXPECT_EQ(scope.person.Count(headless::Event::DialogShown), 1u);
    for (const headless::Event& e : scope.person.events) {
      EXPECT_TRUE(e.kind != headless::Event::DialogShown || e.templateId == 100);  // the settings template
    }
    EXPECT_EQ(host.SettingsBytes(), block) << "button " << button;
    EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);
    EXPECT_TRUE(headless::OpenDialogs().empty());
  }
}

// --- Confirmed setups --------------------------------------------------------
// These need the settings dialog's procedure to end the dialog with 1 on OK.
// A procedure that ignores OK leaves the dialog to be closed by the stand-in
// with 0, and these tests then fail.

TEST_F(EntryPoints, ConfirmedSetupsRecordTheirParentUnlessTheLockFails) {
  hostkit::PluginHost host;
  InitStereo(host);
  for (HWND parent : {PARENT_A, PARENT_B}) {
    PersonScope scope;
    scope.person.steps = {Press(IDOK)};
    EXPECT_EQ(host.Setup(parent), 1);
    EXPECT_EQ(AddressFromSlot(Settings(host).ownerWindow), static_cast<void*>(parent));
    EXPECT_EQ(AddressFromSlot(Settings(host).moduleHandle), static_cast<void*>(headless::PluginModule()));
    EXPECT_EQ(headless::GlobalLockCount(host.SettingsHandle()), 0);
  }
  // The dialog's own lock succeeds and OK ends it with 1; the setup's lock
  // after OK fails, so it returns 0 and records no new owner.
  PersonScope scope;
  scope.person.steps = {Press(IDOK)};
  headless::FailGlobalLock(1, 1);
  EXPECT_EQ(host.Setup(PARENT_A), 0);
  EXPECT_EQ(Ended(scope.person), std::vector<INT_PTR>{1});
  EXPECT_EQ(AddressFromSlot(Settings(host).ownerWindow), static_cast<void*>(PARENT_B));
}

}  // namespace
