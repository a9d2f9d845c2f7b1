// Tests of the headless Win32 stand-in: global memory and injected failures,
// address slots, exports by ordinal, the clipboard, the resource-script
// parser and the modal dialog engine driven by a test observer.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "interface/address_slot.h"
#include "interface/entry_points.h"
#include "platform/headless.h"
#include "tests/ui_dialog_harness.h"

namespace {

class HeadlessPlatform : public ::testing::Test {
 protected:
  void SetUp() override { headless::ResetThreadState(); }
  void TearDown() override { headless::ResetThreadState(); }
};

// --- Global memory ---------------------------------------------------------

TEST_F(HeadlessPlatform, GlobalMemoryFollowsWin32Semantics) {
  const size_t liveBefore = headless::LiveGlobalBlocks();
  const struct {
    UINT flags;
    bool movable, zeroed;
  } cases[] = {
      {GMEM_FIXED, false, false}, {GPTR, false, true}, {GMEM_MOVEABLE, true, false}, {GHND, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    HGLOBAL block = GlobalAlloc(c.flags, 586);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 586u);
    EXPECT_EQ(headless::LiveGlobalBlocks(), liveBefore + 1);
    auto* data = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data == static_cast<void*>(block), !c.movable);  // a movable handle is not its address
    if (c.zeroed) {
      EXPECT_EQ(std::count(data, data + 586, 0), 586);
    }
    std::memset(data, 0x5A, 586);
    if (c.movable) {
      // Lock counts nest: unlock reports TRUE while still locked; data
      // survives unlocking and relocking.
      EXPECT_EQ(GlobalLock(block), data);
      EXPECT_EQ(headless::GlobalLockCount(block), 2);
      EXPECT_EQ(GlobalUnlock(block), TRUE);
      EXPECT_EQ(GlobalUnlock(block), FALSE);
      EXPECT_EQ(GlobalUnlock(block), FALSE);  // not locked
      EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(block))[585], 0x5A);
      GlobalUnlock(block);
    }
    EXPECT_EQ(headless::GlobalLockCount(block), 0);  // fixed blocks have no lock count
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(headless::LiveGlobalBlocks(), liveBefore);
    // The handle is now invalid: every call fails, none crashes.
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalUnlock(block), FALSE);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalFree(block), block);
  }
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  int notABlock = 0;
  EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(&notABlock)), nullptr);
}

TEST_F(HeadlessPlatform, InjectedFailuresSucceedFirstThenFailThenRecover) {
  // Pattern of successes for each call after the injection, for allocations
  // and for locks alike.
  const struct {
    int succeedFirst, failCount;
    std::vector<bool> expected;
  } cases[] = {{0, 1, {false, true, true}},
               {2, 1, {true, true, false, true}},
               {1, 3, {true, false, false, false, true}},
               {-1, 5, {true, true, true}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.succeedFirst);
    std::vector<HGLOBAL> blocks;
    headless::FailGlobalAlloc(c.succeedFirst, c.failCount);
    for (bool succeeds : c.expected) {
      blocks.push_back(GlobalAlloc(GHND, 16));
      EXPECT_EQ(blocks.back() != nullptr, succeeds);
    }
    HGLOBAL locked = GlobalAlloc(GHND, 16);
    headless::FailGlobalLock(c.succeedFirst, c.failCount);
    for (bool succeeds : c.expected) {
      void* data = GlobalLock(locked);
      EXPECT_EQ(data != nullptr, succeeds);
      if (data) GlobalUnlock(locked);
    }
    EXPECT_EQ(headless::GlobalLockCount(locked), 0);
    GlobalFree(locked);
    for (HGLOBAL block : blocks) GlobalFree(block);
  }
  // Injection is per thread: another thread allocates undisturbed.
  headless::FailGlobalAlloc(0, 100);
  bool otherThreadAllocated = false;
  std::thread([&] {
    HGLOBAL block = GlobalAlloc(GHND, 8);
    otherThreadAllocated = block != nullptr;
    GlobalFree(block);
  }).join();
  EXPECT_TRUE(otherThreadAllocated);
  EXPECT_EQ(GlobalAlloc(GHND, 8), nullptr);
}

// --- Address slots ---------------------------------------------------------

TEST_F(HeadlessPlatform, AddressSlotsRoundTripAndStayBounded) {
  int a = 0, b = 0;
  EXPECT_EQ(SlotFromAddress(nullptr), 0u);
  EXPECT_EQ(AddressFromSlot(0), nullptr);
  const AddressSlot slotA = SlotFromAddress(&a);
  EXPECT_NE(slotA, 0u);
  EXPECT_EQ(SlotFromAddress(&a), slotA);  // same address, same slot
  EXPECT_EQ(PointerFromSlot<int>(slotA), &a);
  const AddressSlot slotB = SlotFromAddress(&b);
  EXPECT_NE(slotB, slotA);
  EXPECT_EQ(FunctionFromSlot<decltype(&XfmInit)>(SlotFromFunction(&XfmInit)), &XfmInit);
#if UINTPTR_MAX != 0xFFFFFFFFu
  // 64-bit: tokens. A released token is unknown until it is handed out again.
  ReleaseSlot(slotB);
  EXPECT_EQ(AddressFromSlot(slotB), nullptr);
  EXPECT_EQ(AddressFromSlot(0xFFFFFFF0u), nullptr);
  // Store/release cycles over ever new addresses reuse the one freed token,
  // so the table does not grow.
  const uint32_t liveBefore = LiveSlotCount();
  std::vector<int> cells(1000);
  const AddressSlot firstToken = SlotFromAddress(&cells[0]);
  ReleaseSlot(firstToken);
  for (int cycle = 1; cycle < 100000; ++cycle) {
    int* address = &cells[static_cast<size_t>(cycle) % cells.size()];
    const AddressSlot slot = SlotFromAddress(address);
    ASSERT_EQ(slot, firstToken);
    ASSERT_EQ(AddressFromSlot(slot), address);
    ReleaseSlot(slot);
  }
  EXPECT_EQ(LiveSlotCount(), liveBefore);
  ReleaseSlot(slotA);
  // Threads share one table.
  AddressSlot fromThread = 0;
  std::thread([&] { fromThread = SlotFromAddress(&a); }).join();
  EXPECT_EQ(SlotFromAddress(&a), fromThread);
  ReleaseSlot(fromThread);
#else
  EXPECT_EQ(slotA, static_cast<AddressSlot>(reinterpret_cast<uintptr_t>(&a)));
#endif
}

// --- Module, exports and notifications ------------------------------------

TEST_F(HeadlessPlatform, ExportsAreFoundByOrdinalAndByName) {
  const HMODULE module = headless::PluginModule();
  const struct {
    const char* name;
    WORD ordinal;
    const void* address;
  } exports[] = {
      {"QueryXfm", 2, reinterpret_cast<const void*>(&QueryXfm)},
      {"XfmInit", 3, reinterpret_cast<const void*>(&XfmInit)},
      {"XfmSetup", 4, reinterpret_cast<const void*>(&XfmSetup)},
      {"XfmDo", 5, reinterpret_cast<const void*>(&XfmDo)},
      {"XfmDestroy", 6, reinterpret_cast<const void*>(&XfmDestroy)},
      {"DIALOGMsgProc", ORDINAL_SETTINGS_DIALOG, reinterpret_cast<const void*>(&DIALOGMsgProc)},
      {"DIALOGMsgProc2", ORDINAL_OCTAVE_DIALOG, reinterpret_cast<const void*>(&DIALOGMsgProc2)},
      {"DIALOGMsgProc3", ORDINAL_THIRD_OCTAVE_DIALOG, reinterpret_cast<const void*>(&DIALOGMsgProc3)},
  };
  for (const auto& e : exports) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(reinterpret_cast<const void*>(GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal))), e.address);
    EXPECT_EQ(reinterpret_cast<const void*>(GetProcAddress(module, e.name)), e.address);
  }
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_EQ(GetProcAddress(module, "xfminit"), nullptr);                     // export names keep their case
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "XfmInit"), nullptr);  // not the plug-in
}

// --- Clipboard -------------------------------------------------------------

HGLOBAL TextBlock(const char* text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, std::strlen(text) + 1);
  std::memcpy(GlobalLock(block), text, std::strlen(text) + 1);
  GlobalUnlock(block);
  return block;
}

TEST_F(HeadlessPlatform, ClipboardOpensOnceAndANewCopyFreesTheOld) {
  // (Another program holding it, and the blocks it owns, are checked through
  // the results dialogs' copy.)
  HGLOBAL first = TextBlock("first\ttext\r\n");
  // Nothing works before the clipboard is open.
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, first), nullptr);
  EXPECT_FALSE(CloseClipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));  // already open
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, first), first);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(headless::ClipboardText(), "first\ttext\r\n");
  // A second copy replaces and frees the first block.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GlobalSize(first), 0u);
  EXPECT_NE(SetClipboardData(CF_TEXT, TextBlock("second")), nullptr);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(headless::ClipboardText(), "second");
}

// --- Resource scripts --------------------------------------------------------

// The statements of the module's script, with the styles that a statement's
// defaults, NOT and a trailing style field make.
const char SAMPLE_SCRIPT[] = R"rc(#include <windows.h>
TOOLBARICON BITMAP "toolbaricon.bmp"
100 DIALOG 0, 0, 201, 118
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Acoustical Parameters 32"
FONT 8, "MS Sans Serif"
BEGIN
    DEFPUSHBUTTON   "OK", 1, 159, 9, 37, 14
    EDITTEXT        1001, 17, 16, 45, 12, ES_AUTOHSCROLL
    CTEXT           "000.000", 1060, 56, 50, 35, 10, SS_CENTERIMAGE
    RTEXT           "W Threshold", 2000, 9, 53, 46, 8   // trailing comment
    GROUPBOX        "First Arrival Time settings", -1, 5, 37, 150, 58
    AUTOCHECKBOX    "Lock", 1008, 105, 61, 41, 10
    CONTROL         "", -1, "Button", BS_GROUPBOX | BS_FLAT, 54, 43, 41, 200
    LTEXT           "- -", 1020, 153, 56, 11, 8, NOT WS_VISIBLE
    PUSHBUTTON      "X", 3150, 1, 1, 1, 1, WS_DISABLED
END
)rc";

// One line per control: kind, ID, class, text, rectangle, style in hex and
// the hidden/disabled state.
std::string Describe(const headless::ControlState& c) {
  char rest[96];
  std::snprintf(rest, sizeof rest, " %d,%d,%d,%d %08X%s%s", c.x, c.y, c.width, c.height, c.style,
                c.visible ? "" : " hidden", c.enabled ? "" : " disabled");
  return c.kind + " " + std::to_string(c.id) + " " + c.windowClass + " '" + c.text + "'" + rest;
}

TEST_F(HeadlessPlatform, ParsesTheResourceScriptSubset) {
  std::string error;
  ASSERT_TRUE(headless::UseResourceScript(SAMPLE_SCRIPT, &error)) << error;
  const std::optional<headless::DialogView> view = headless::DialogTemplate(100);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->caption, "Acoustical Parameters 32");
  EXPECT_EQ(view->fontFace, "MS Sans Serif");
  EXPECT_EQ(view->fontPointSize, 8);
  EXPECT_EQ(view->style, 0x80C800C0u);  // DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT
  std::vector<std::string> controls;
  for (const headless::ControlState& c : view->controls) controls.push_back(Describe(c));
  const std::vector<std::string> expected = {
      "DEFPUSHBUTTON 1 Button 'OK' 159,9,37,14 50010001",
      "EDITTEXT 1001 Edit '' 17,16,45,12 50810080",
      "CTEXT 1060 Static '000.000' 56,50,35,10 50000201",
      "RTEXT 2000 Static 'W Threshold' 9,53,46,8 50020002",
      "GROUPBOX -1 Button 'First Arrival Time settings' 5,37,150,58 50000007",
      "AUTOCHECKBOX 1008 Button 'Lock' 105,61,41,10 50010003",
      "CONTROL -1 Button '' 54,43,41,200 50008007",
      "LTEXT 1020 Static '- -' 153,56,11,8 40000000 hidden",
      "PUSHBUTTON 3150 Button 'X' 1,1,1,1 58010000 disabled",
  };
  EXPECT_EQ(controls, expected);
  EXPECT_FALSE(headless::DialogTemplate(101).has_value());
}

TEST_F(HeadlessPlatform, UnknownSyntaxIsAClearErrorAndTheDialogFails) {
  const struct {
    const char* script;
    const char* message;
  } cases[] = {
      // message: part of the error
      {"100 DIALOG 0, 0, 10, 10\nMENU 5\nBEGIN\nEND\n", "line 2: unsupported dialog statement"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LISTBOX 3, 1, 1, 1, 1\nEND\n",
       "line 3: unsupported control statement"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 3, 1, 1, 1\nEND\n",
       "line 4: expected ',' but found 'END'"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 3, 1, 1, 1, 1, SS_MADEUP\nEND\n",
       "line 3: unknown style constant 'SS_MADEUP'"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"open, 3, 1, 1, 1, 1\nEND\n", "line 3: text not closed"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\\n\", 3, 1, 1, 1, 1\nEND\n", "line 3: escapes"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 3, 1, 1, 1, 1\n", "dialog not closed by END"},
      {"1 STRINGTABLE\nBEGIN\nEND\n", "line 1: unsupported resource type 'STRINGTABLE'"},
      {"NAMED DIALOG 0, 0, 10, 10\nBEGIN\nEND\n", "line 1: a dialog needs a number"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n100 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n",
       "line 4: dialog 100 declared twice"},
      {"100 DIALOG 0, 0, 10, 10 BEGIN PUSHBUTTON \"x\", 0x12, 1, 1, 1, 1 END", "malformed number"},
  };
  ASSERT_TRUE(headless::UseResourceScript("100 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    std::string error;
    EXPECT_FALSE(headless::UseResourceScript(c.script, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(headless::DialogTemplate(100).has_value());  // the templates in use stay
  }
  // A dialog the module lacks fails with -1, as does a foreign module.
  auto procedure = [](HWND, UINT, WPARAM, LPARAM) CALLBACK -> INT_PTR { return FALSE; };
  EXPECT_EQ(DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(55), nullptr, procedure, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(100), nullptr, procedure, 0), -1);
}

// --- Dialog engine -------------------------------------------------------------

const char TEST_DIALOGS[] = R"rc(
200 DIALOG 0, 0, 100, 60
CAPTION "Test"
BEGIN
    DEFPUSHBUTTON   "OK", 1, 5, 5, 20, 10
    PUSHBUTTON      "Cancel", 2, 30, 5, 20, 10
    PUSHBUTTON      "Ask", 3, 55, 5, 20, 10
    PUSHBUTTON      "Greyed", 4, 80, 5, 20, 10, WS_DISABLED
    PUSHBUTTON      "Hidden", 5, 80, 20, 20, 10, NOT WS_VISIBLE
    EDITTEXT        10, 5, 20, 40, 12
    AUTOCHECKBOX    "Tick", 11, 5, 35, 40, 10
    LTEXT           "label", 12, 5, 50, 40, 8
END
)rc";

// What the test dialog procedure saw: one line per message.
std::vector<std::string>* trace = nullptr;
INT_PTR nestedResult = 0;

// Dialog 200: OK ends with 7, Cancel with 0, "Ask" shows a message box and
// tries to open a second dialog from this one; the check box copies its
// state into the label.
INT_PTR CALLBACK OuterProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      trace->push_back("init " + std::to_string(wParam) + " " + std::to_string(lParam));
      SetDlgItemTextA(dialog, 10, "initial");
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      char text[64];
      GetDlgItemTextA(dialog, 10, text, sizeof text);
      trace->push_back("command " + std::to_string(id) + " code " + std::to_string(HIWORD(wParam)) +
                       (lParam == reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)) ? " from control" : "") +
                       " field '" + text + "'");
      if (id == 1 || id == 2) EndDialog(dialog, id == 1 ? 7 : 0);
      if (id == 3) {
        MessageBoxA(dialog, "asking", "Test", MB_ICONHAND);
        nestedResult =
            DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(200), dialog, OuterProcedure, 0);
      }
      if (id == 11) SetDlgItemTextA(dialog, 12, IsDlgButtonChecked(dialog, 11) == BST_CHECKED ? "on" : "off");
      return TRUE;
    }
    case WM_CLOSE:
      trace->push_back("close");
      return FALSE;  // the dialog manager turns it into Cancel
  }
  return FALSE;
}

// Dialog 200 in use, and a scripted person (one step per idle round)
// installed on a clean thread.
class HeadlessDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(headless::UseResourceScript(TEST_DIALOGS, &error)) << error;
    trace = &lines_;
  }
  void TearDown() override { trace = nullptr; }
  INT_PTR Run() {
    return DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(200), nullptr, OuterProcedure, 0x55);
  }
  PersonScope scope_;
  ScriptedPerson& person_ = scope_.person;
  std::vector<std::string> lines_;
};

TEST_F(HeadlessDialogs, PersonTypesTicksAsksAndConfirms) {
  HWND seen = nullptr;
  person_.steps = {
      [&](HWND dialog) {
        seen = dialog;
        EXPECT_EQ(headless::ViewDialog(dialog).templateId, 200);
        EXPECT_EQ(headless::ControlText(dialog, 10), "initial");
        EXPECT_EQ(headless::OpenDialogs(), std::vector<HWND>{dialog});
        // Neither a greyed, a hidden nor a missing button can be pressed; a
        // label cannot be typed into.
        for (int id : {4, 5, 99}) {
          EXPECT_FALSE(headless::PressButton(dialog, id)) << id;
        }
        EXPECT_FALSE(headless::TypeText(dialog, 12, "x"));
        EXPECT_TRUE(headless::TypeText(dialog, 10, "typed"));
        EXPECT_TRUE(headless::SetCheckBox(dialog, 11, true));
        EXPECT_TRUE(headless::IsControlChecked(dialog, 11));   // toggled at once
        EXPECT_TRUE(headless::SetCheckBox(dialog, 11, true));  // already so: no click
      },
      [&](HWND dialog) {
        EXPECT_EQ(headless::ControlText(dialog, 12), "on");
        EXPECT_TRUE(headless::PressButton(dialog, 3));
      },
      [&](HWND dialog) { EXPECT_TRUE(headless::PressEnter(dialog)); },
  };
  EXPECT_EQ(Run(), 7);
  EXPECT_EQ(nestedResult, -1);  // one modal dialog at a time
  const std::vector<std::string> expectedLines = {
      "init 0 85",
      "command 11 code 0 from control field 'typed'",
      "command 3 code 0 from control field 'typed'",
      "command 1 code 0 from control field 'typed'",
  };
  EXPECT_EQ(lines_, expectedLines);
  std::vector<std::string> events;
  for (const headless::Event& e : person_.events) {
    events.push_back(std::to_string(e.kind) + " " + std::to_string(e.templateId) + " " +
                     std::to_string(e.result) + (e.window == seen ? " outer" : ""));
  }
  using K = headless::Event;
  const std::vector<std::string> expectedEvents = {std::to_string(K::DialogShown) + " 200 0 outer",
                                                   std::to_string(K::MessageBox) + " 0 0 outer",
                                                   std::to_string(K::DialogEnded) + " 200 7 outer"};
  EXPECT_EQ(events, expectedEvents);
  // After the end the windows are gone: every call fails, none crashes.
  EXPECT_TRUE(headless::OpenDialogs().empty());
  EXPECT_EQ(GetDlgItem(seen, 10), nullptr);
  EXPECT_FALSE(SetDlgItemTextA(seen, 10, "x"));
  EXPECT_FALSE(PostMessageA(seen, WM_CLOSE, 0, 0));
  EXPECT_FALSE(EndDialog(seen, 1));
  EXPECT_FALSE(headless::PressButton(seen, 1));
  EXPECT_EQ(headless::ForcedDialogEnds(), 0);
}

TEST_F(HeadlessDialogs, CloseBoxAndEscapeCancel) {
  // A person who does nothing closes the window; unhandled WM_CLOSE is Cancel.
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(lines_, (std::vector<std::string>{"init 0 85", "close",
                                              "command 2 code 0 from control field 'initial'"}));
  lines_.clear();
  person_.idleCalls = 0;
  person_.steps = {[](HWND dialog) { EXPECT_TRUE(headless::PressEscape(dialog)); }};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(lines_, (std::vector<std::string>{"init 0 85", "command 2 code 0 from control field 'initial'"}));
  EXPECT_EQ(person_.idleCalls, 1u);
  EXPECT_EQ(headless::ForcedDialogEnds(), 0);
}

TEST_F(HeadlessDialogs, ADialogThatWillNotCloseIsEndedByTheStandIn) {
  auto stubborn = [](HWND, UINT message, WPARAM, LPARAM) CALLBACK -> INT_PTR { return message == WM_CLOSE; };
  EXPECT_EQ(DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(200), nullptr, stubborn, 0), 0);
  EXPECT_EQ(headless::ForcedDialogEnds(), 1);
  EXPECT_EQ(person_.idleCalls, 4u);  // three closes unanswered, then the fourth round gives up
  // Ending during WM_INITDIALOG: never shown, result kept.
  auto quick = [](HWND dialog, UINT message, WPARAM, LPARAM) CALLBACK -> INT_PTR {
    if (message == WM_INITDIALOG) EndDialog(dialog, 3);
    return TRUE;
  };
  person_.events.clear();
  EXPECT_EQ(DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(200), nullptr, quick, 0), 3);
  ASSERT_EQ(person_.events.size(), 1u);
  EXPECT_EQ(person_.events[0].kind, headless::Event::DialogEnded);
}

}  // namespace
