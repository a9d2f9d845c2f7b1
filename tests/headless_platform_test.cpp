// Tests of the headless Win32 stand-in: global memory and injected failures,
// address slots, exports by ordinal, the clipboard, the resource-script
// parser and the modal dialog engine driven by a test observer.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless.h"
#include "plugin/address_slot.h"
#include "plugin/entry_points.h"

namespace {

class HeadlessPlatform : public ::testing::Test {
 protected:
  void SetUp() override { headless::ResetThreadState(); }
  void TearDown() override { headless::ResetThreadState(); }
};

// --- Global memory ---------------------------------------------------------

TEST_F(HeadlessPlatform, GlobalMemoryFollowsWin32Semantics) {
  const size_t liveBefore = headless::LiveGlobalBlocks();
  struct Case {
    UINT flags;
    bool movable;
    bool zeroed;
  };
  const Case cases[] = {{GMEM_FIXED, false, false},
                        {GPTR, false, true},
                        {GMEM_MOVEABLE, true, false},
                        {GHND, true, true},
                        {GMEM_MOVEABLE | GMEM_DDESHARE, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    HGLOBAL block = GlobalAlloc(c.flags, 586);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 586u);
    EXPECT_EQ(headless::LiveGlobalBlocks(), liveBefore + 1);
    auto* data = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    // A movable block's handle is not its address; a fixed one's is.
    EXPECT_EQ(data == static_cast<void*>(block), !c.movable);
    if (c.zeroed) {
      for (int i = 0; i < 586; ++i) ASSERT_EQ(data[i], 0) << i;
    }
    std::memset(data, 0x5A, 586);
    if (c.movable) {
      // Lock counts nest: unlock reports TRUE while still locked.
      EXPECT_EQ(headless::GlobalLockCount(block), 1);
      EXPECT_EQ(GlobalLock(block), data);
      EXPECT_EQ(headless::GlobalLockCount(block), 2);
      EXPECT_EQ(GlobalUnlock(block), TRUE);
      EXPECT_EQ(GlobalUnlock(block), FALSE);
      EXPECT_EQ(headless::GlobalLockCount(block), 0);
      EXPECT_EQ(GlobalUnlock(block), FALSE);  // not locked
      // Data survives unlocking and relocking.
      EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(block))[585], 0x5A);
      GlobalUnlock(block);
    } else {
      EXPECT_EQ(headless::GlobalLockCount(block), 0);  // fixed blocks have no lock count
    }
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
  // Pattern of successes (true) for each call after the injection.
  struct Case {
    int succeedFirst, failCount;
    std::vector<bool> expected;
  };
  const Case cases[] = {{0, 1, {false, true, true}},
                        {2, 1, {true, true, false, true}},
                        {1, 3, {true, false, false, false, true}},
                        {-1, 5, {true, true, true}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.succeedFirst);
    std::vector<HGLOBAL> blocks;
    headless::FailGlobalAlloc(c.succeedFirst, c.failCount);
    for (bool succeeds : c.expected) {
      HGLOBAL block = GlobalAlloc(GHND, 16);
      EXPECT_EQ(block != nullptr, succeeds);
      if (block) blocks.push_back(block);
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
  AddressSlot firstToken = 0;
  bool allSame = true;
  for (int cycle = 0; cycle < 100000; ++cycle) {
    int* address = &cells[static_cast<size_t>(cycle) % cells.size()];
    const AddressSlot slot = SlotFromAddress(address);
    ASSERT_EQ(AddressFromSlot(slot), address);
    if (cycle == 0) firstToken = slot;
    allSame = allSame && slot == firstToken;
    ReleaseSlot(slot);
  }
  EXPECT_TRUE(allSame);
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
  const HMODULE module = GetModuleHandleA("Roomstat_32.xfm");
  ASSERT_EQ(module, headless::PluginModule());
  EXPECT_EQ(GetModuleHandleA("ROOMSTAT_32.XFM"), module);  // module names ignore case
  EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
  struct Export {
    const char* name;
    WORD ordinal;
    const void* address;
  };
  const Export exports[] = {
      {"QueryXfm", 2, reinterpret_cast<const void*>(&QueryXfm)},
      {"XfmInit", 3, reinterpret_cast<const void*>(&XfmInit)},
      {"XfmSetup", 4, reinterpret_cast<const void*>(&XfmSetup)},
      {"XfmDo", 5, reinterpret_cast<const void*>(&XfmDo)},
      {"XfmDestroy", 6, reinterpret_cast<const void*>(&XfmDestroy)},
      {"DIALOGMsgProc", ORDINAL_SETTINGS_DIALOG, reinterpret_cast<const void*>(&DIALOGMsgProc)},
      {"DIALOGMsgProc2", ORDINAL_OCTAVE_DIALOG, reinterpret_cast<const void*>(&DIALOGMsgProc2)},
      {"DIALOGMsgProc3", ORDINAL_THIRD_OCTAVE_DIALOG, reinterpret_cast<const void*>(&DIALOGMsgProc3)},
  };
  for (const Export& e : exports) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(reinterpret_cast<const void*>(GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal))), e.address);
    EXPECT_EQ(reinterpret_cast<const void*>(GetProcAddress(module, e.name)), e.address);
  }
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_EQ(GetProcAddress(module, "xfminit"), nullptr);  // export names keep their case
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "XfmInit"), nullptr);
}

TEST_F(HeadlessPlatform, MessageBoxesBeepsAndHelpReachTheObserver) {
  headless::RecordingObserver recorder;
  headless::SetObserver(&recorder);
  const char keyword[] = "Some Keyword";
  EXPECT_EQ(MessageBoxA(nullptr, "Line one\nline two", "Caption", MB_ICONHAND), IDOK);
  EXPECT_TRUE(MessageBeep(MB_OK));
  EXPECT_TRUE(WinHelpA(nullptr, "file.hlp", HELP_KEY, reinterpret_cast<ULONG_PTR>(keyword)));
  ASSERT_EQ(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.events[0].kind, headless::Event::MessageBox);
  EXPECT_EQ(recorder.events[0].text, "Line one\nline two");
  EXPECT_EQ(recorder.events[0].caption, "Caption");
  EXPECT_EQ(recorder.events[0].style, 16u);
  EXPECT_EQ(recorder.events[1].kind, headless::Event::Beep);
  EXPECT_EQ(recorder.events[2].kind, headless::Event::Help);
  EXPECT_EQ(recorder.events[2].text, "file.hlp");
  EXPECT_EQ(recorder.events[2].caption, "Some Keyword");
  EXPECT_EQ(recorder.events[2].style, static_cast<uint32_t>(HELP_KEY));
  // Observers are per thread.
  std::thread([] { MessageBoxA(nullptr, "elsewhere", "x", MB_OK); }).join();
  EXPECT_EQ(recorder.Count(headless::Event::MessageBox), 1u);
}

// --- Clipboard -------------------------------------------------------------

HGLOBAL TextBlock(const char* text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, std::strlen(text) + 1);
  std::memcpy(GlobalLock(block), text, std::strlen(text) + 1);
  GlobalUnlock(block);
  return block;
}

TEST_F(HeadlessPlatform, ClipboardHeldElsewhereThenFree) {
  const size_t liveBefore = headless::LiveGlobalBlocks();
  HGLOBAL first = TextBlock("first\ttext\r\n");
  // Nothing works before the clipboard is open.
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, first), nullptr);
  EXPECT_FALSE(CloseClipboard());
  headless::HoldClipboardElsewhere(true);
  EXPECT_FALSE(OpenClipboard(nullptr));
  headless::HoldClipboardElsewhere(false);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));  // already open
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, first), first);
  EXPECT_EQ(GetClipboardData(CF_TEXT), first);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(headless::ClipboardText(), "first\ttext\r\n");
  // A second copy replaces and frees the first block.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GlobalSize(first), 0u);
  HGLOBAL second = TextBlock("second");
  EXPECT_EQ(SetClipboardData(CF_TEXT, second), second);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(headless::ClipboardText(), "second");
  EXPECT_EQ(headless::LiveGlobalBlocks(), liveBefore + 1);  // the clipboard owns it
  headless::ResetClipboard();
  EXPECT_EQ(headless::ClipboardText(), std::nullopt);
  EXPECT_EQ(headless::LiveGlobalBlocks(), liveBefore);
}

// --- Resource scripts --------------------------------------------------------

// The sample template of the stand-in's documentation, with the extras the
// parser accepts (comments, braces, NOT, EXSTYLE, a named dialog).
const char SAMPLE_SCRIPT[] = R"rc(#include <windows.h>
TOOLBARICON BITMAP "toolbaricon.bmp"
/* a block
   comment */
100 DIALOG 0, 0, 201, 118
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Acoustical ""Parameters"" 32"
FONT 8, "MS Sans Serif"
BEGIN
    DEFPUSHBUTTON   "OK", 1, 159, 9, 37, 14
    PUSHBUTTON      "Cancel", 2, 159, 30, 37, 14
    EDITTEXT        1001, 17, 16, 45, 12, ES_AUTOHSCROLL
    LTEXT           "(", -1, 10, 18, 8, 8
    CTEXT           "000.000", 1060, 56, 50, 35, 10, SS_CENTERIMAGE
    RTEXT           "W Threshold", 2000, 9, 53, 46, 8   // trailing comment
    GROUPBOX        "First Arrival Time settings", -1, 5, 37, 150, 58
    AUTOCHECKBOX    "Lock", 1008, 105, 61, 41, 10
    CONTROL         "", -1, "Static", SS_ETCHEDFRAME, 8, 5, 541, 17
    CONTROL         "", -1, "Button", BS_GROUPBOX | BS_FLAT, 54, 43, 41, 200
    LTEXT           "- -", 1020, 153, 56, 11, 8, NOT WS_VISIBLE
    PUSHBUTTON      "X", 3150, 1, 1, 1, 1, WS_DISABLED
END
NAMED DIALOG DISCARDABLE 5, 6, 70, 80
EXSTYLE WS_EX_CLIENTEDGE
{
    CONTROL "Tick", 7, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 1, 2, 3, 4, WS_EX_STATICEDGE
}
)rc";

TEST_F(HeadlessPlatform, ParsesTheResourceScriptSubset) {
  std::string error;
  ASSERT_TRUE(headless::UseResourceScript(SAMPLE_SCRIPT, &error)) << error;
  const std::optional<headless::DialogView> view = headless::DialogTemplate(100);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->caption, "Acoustical \"Parameters\" 32");
  EXPECT_EQ(view->fontFace, "MS Sans Serif");
  EXPECT_EQ(view->fontPointSize, 8);
  EXPECT_EQ(view->width, 201);
  EXPECT_EQ(view->height, 118);
  EXPECT_EQ(view->style, 0x80C800C0u);  // DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT
  ASSERT_EQ(view->controls.size(), 12u);
  // Styles: the statement's defaults (with WS_CHILD | WS_VISIBLE) and the
  // trailing field, written out as numbers.
  struct Expected {
    size_t index;
    int id;
    const char* kind;
    const char* windowClass;
    const char* text;
    int x, y, width, height;
    uint32_t style;
    bool visible, enabled;
  };
  const Expected expected[] = {
      {0, 1, "DEFPUSHBUTTON", "Button", "OK", 159, 9, 37, 14, 0x50010001u, true, true},
      {2, 1001, "EDITTEXT", "Edit", "", 17, 16, 45, 12, 0x50810080u, true, true},
      {3, -1, "LTEXT", "Static", "(", 10, 18, 8, 8, 0x50020000u, true, true},
      {4, 1060, "CTEXT", "Static", "000.000", 56, 50, 35, 10, 0x50020201u, true, true},
      {5, 2000, "RTEXT", "Static", "W Threshold", 9, 53, 46, 8, 0x50020002u, true, true},
      {6, -1, "GROUPBOX", "Button", "First Arrival Time settings", 5, 37, 150, 58, 0x50000007u, true, true},
      {7, 1008, "AUTOCHECKBOX", "Button", "Lock", 105, 61, 41, 10, 0x50010003u, true, true},
      {8, -1, "CONTROL", "Static", "", 8, 5, 541, 17, 0x50000012u, true, true},
      {9, -1, "CONTROL", "Button", "", 54, 43, 41, 200, 0x50008007u, true, true},
      {10, 1020, "LTEXT", "Static", "- -", 153, 56, 11, 8, 0x40020000u, false, true},
      {11, 3150, "PUSHBUTTON", "Button", "X", 1, 1, 1, 1, 0x58010000u, true, false},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.index);
    const headless::ControlState& c = view->controls[e.index];
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.windowClass, e.windowClass);
    EXPECT_EQ(c.text, e.text);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.width, e.width);
    EXPECT_EQ(c.height, e.height);
    EXPECT_EQ(c.style, e.style);
    EXPECT_EQ(c.visible, e.visible);
    EXPECT_EQ(c.enabled, e.enabled);
  }
  EXPECT_FALSE(headless::DialogTemplate(101).has_value());
  // A named dialog is found by its name, in any case.
  auto endAtOnce = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) EndDialog(dialog, 9);
    return TRUE;
  };
  EXPECT_EQ(DialogBoxParamA(headless::PluginModule(), "named", nullptr, endAtOnce, 0), 9);
}

TEST_F(HeadlessPlatform, UnknownSyntaxIsAClearErrorAndTheDialogFails) {
  struct Case {
    const char* script;
    const char* message;  // part of the error
  };
  const Case cases[] = {
      {"100 DIALOG 0, 0, 10, 10\nMENU 5\nBEGIN\nEND\n", "line 2: unsupported dialog statement"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LISTVIEW 3, 1, 1, 1, 1\nEND\n", "line 3: unsupported control statement"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 3, 1, 1, 1\nEND\n", "line 4: expected ',' but found 'END'"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 3, 1, 1, 1, 1, SS_MADEUP\nEND\n",
       "line 3: unknown style constant 'SS_MADEUP'"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"open, 3, 1, 1, 1, 1\nEND\n", "line 3: text not closed"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"a\", 3, 1, 1, 1, 1\n", "dialog not closed by END"},
      {"1 STRINGTABLE\nBEGIN\nEND\n", "line 1: unsupported resource type 'STRINGTABLE'"},
      {"100 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n100 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n", "line 4: dialog 100 declared twice"},
      {"/* never closed\n100 DIALOG 0, 0, 10, 10\n", "comment not closed"},
      {"100 DIALOG 0, 0, 10, 10 BEGIN PUSHBUTTON \"x\", 12abc, 1, 1, 1, 1 END", "malformed number"},
  };
  ASSERT_TRUE(headless::UseResourceScript("100 DIALOG 0, 0, 10, 10\nBEGIN\nEND\n"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::string error;
    EXPECT_FALSE(headless::UseResourceScript(c.script, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    // The templates in use stay as they were.
    EXPECT_TRUE(headless::DialogTemplate(100).has_value());
  }
  // A dialog the module lacks fails with -1, as does a foreign module.
  auto procedure = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
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
201 DIALOG 0, 0, 50, 30
CAPTION "Inner"
BEGIN
    DEFPUSHBUTTON   "Done", 7, 5, 5, 20, 10
END
)rc";

// What the test dialog procedures saw, and what they do on each command.
struct Trace {
  std::vector<std::string> lines;
  LPARAM initParam = 0;
  int innerResult = 0;
};
Trace* trace = nullptr;

// Dialog 200: OK ends with 7, Cancel with 0, "Ask" shows a message box and
// opens dialog 201 nested; the check box copies its state into the label.
INT_PTR CALLBACK OuterProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      trace->initParam = lParam;
      trace->lines.push_back("init wParam=" + std::to_string(wParam));
      SetWindowLongA(dialog, GWL_USERDATA, 0x12345678);
      SetDlgItemTextA(dialog, 10, "initial");
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      char text[64];
      GetDlgItemTextA(dialog, 10, text, sizeof text);
      trace->lines.push_back("command " + std::to_string(id) + " code " + std::to_string(HIWORD(wParam)) +
                             (lParam == reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)) ? " from control" : "") +
                             " field '" + text + "'");
      if (id == 1) EndDialog(dialog, 7);
      if (id == 2) EndDialog(dialog, 0);
      if (id == 3) {
        MessageBoxA(dialog, "asking", "Test", MB_ICONHAND);
        trace->innerResult = static_cast<int>(DialogBoxParamA(
            headless::PluginModule(), MAKEINTRESOURCEA(201), dialog,
            [](HWND inner, UINT innerMessage, WPARAM innerW, LPARAM) -> INT_PTR {
              if (innerMessage == WM_COMMAND && LOWORD(innerW) == 7) EndDialog(inner, 42);
              return innerMessage == WM_INITDIALOG || innerMessage == WM_COMMAND;
            },
            0));
      }
      if (id == 11) SetDlgItemTextA(dialog, 12, IsDlgButtonChecked(dialog, 11) == BST_CHECKED ? "on" : "off");
      return TRUE;
    }
    case WM_CLOSE:
      trace->lines.push_back("close");
      return FALSE;  // the dialog manager turns it into Cancel
  }
  return FALSE;
}

// A person following a script: one step per idle round.
class ScriptedPerson : public headless::RecordingObserver {
 public:
  std::vector<std::function<void(HWND)>> steps;
  size_t next = 0;
  int idleRounds = 0;
  void OnDialogIdle(HWND dialog) override {
    ++idleRounds;
    if (next < steps.size()) steps[next++](dialog);
  }
};

class HeadlessDialogs : public HeadlessPlatform {
 protected:
  void SetUp() override {
    HeadlessPlatform::SetUp();
    std::string error;
    ASSERT_TRUE(headless::UseResourceScript(TEST_DIALOGS, &error)) << error;
    trace = &trace_;
    headless::SetObserver(&person_);
  }
  void TearDown() override {
    trace = nullptr;
    HeadlessPlatform::TearDown();
  }
  INT_PTR Run(LPARAM initParam = 0x55) {
    return DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(200), nullptr, OuterProcedure, initParam);
  }
  Trace trace_;
  ScriptedPerson person_;
};

TEST_F(HeadlessDialogs, PersonTypesTicksAsksAndConfirms) {
  HWND seen = nullptr;
  person_.steps = {
      [&](HWND dialog) {
        seen = dialog;
        const headless::DialogView view = headless::ViewDialog(dialog);
        EXPECT_EQ(view.templateId, 200);
        EXPECT_EQ(view.caption, "Test");
        EXPECT_EQ(headless::ControlText(dialog, 10), "initial");
        EXPECT_EQ(GetWindowLongA(dialog, GWL_USERDATA), 0x12345678);
        EXPECT_FALSE(headless::IsControlEnabled(dialog, 4));
        EXPECT_FALSE(headless::IsControlVisible(dialog, 5));
        EXPECT_FALSE(headless::IsControlChecked(dialog, 11));
        EXPECT_EQ(headless::OpenDialogs(), std::vector<HWND>{dialog});
        // Neither a greyed nor a hidden button can be pressed; a label
        // cannot be typed into.
        EXPECT_FALSE(headless::PressButton(dialog, 4));
        EXPECT_FALSE(headless::PressButton(dialog, 5));
        EXPECT_FALSE(headless::PressButton(dialog, 99));
        EXPECT_FALSE(headless::TypeText(dialog, 12, "x"));
        EXPECT_TRUE(headless::TypeText(dialog, 10, "typed"));
        EXPECT_TRUE(headless::SetCheckBox(dialog, 11, true));
        EXPECT_TRUE(headless::IsControlChecked(dialog, 11));  // toggled at once
        EXPECT_TRUE(headless::SetCheckBox(dialog, 11, true));  // already so: no click
      },
      [&](HWND dialog) {
        EXPECT_EQ(headless::ControlText(dialog, 12), "on");
        EXPECT_TRUE(headless::PressButton(dialog, 3));
      },
      // Inside the nested dialog: its idle round comes first.
      [&](HWND inner) {
        EXPECT_EQ(headless::OpenDialogs().size(), 2u);
        EXPECT_EQ(headless::OpenDialogs().back(), inner);
        EXPECT_TRUE(headless::PressEnter(inner));  // the default button, 7
      },
      [&](HWND dialog) { EXPECT_TRUE(headless::PressEnter(dialog)); },
  };
  EXPECT_EQ(Run(), 7);
  EXPECT_EQ(trace_.initParam, 0x55);
  EXPECT_EQ(trace_.innerResult, 42);
  const std::vector<std::string> expectedLines = {
      "init wParam=0",
      "command 11 code 0 from control field 'typed'",
      "command 3 code 0 from control field 'typed'",
      "command 1 code 0 from control field 'typed'",
  };
  EXPECT_EQ(trace_.lines, expectedLines);
  using K = headless::Event;
  std::vector<K::Kind> kinds;
  for (const headless::Event& event : person_.events) kinds.push_back(event.kind);
  const std::vector<K::Kind> expectedKinds = {K::DialogShown, K::MessageBox, K::DialogShown, K::DialogEnded,
                                              K::DialogEnded};
  EXPECT_EQ(kinds, expectedKinds);
  EXPECT_EQ(person_.events[2].templateId, 201);
  EXPECT_EQ(person_.events[3].result, 42);
  EXPECT_EQ(person_.events[4].result, 7);
  EXPECT_EQ(person_.events[1].window, seen);  // the message box's owner
  // After the end the windows are gone: every call fails, none crashes.
  EXPECT_TRUE(headless::OpenDialogs().empty());
  EXPECT_EQ(GetDlgItem(seen, 10), nullptr);
  EXPECT_FALSE(SetDlgItemTextA(seen, 10, "x"));
  EXPECT_EQ(GetWindowLongA(seen, GWL_USERDATA), 0);
  EXPECT_FALSE(PostMessageA(seen, WM_CLOSE, 0, 0));
  EXPECT_FALSE(EndDialog(seen, 1));
  EXPECT_FALSE(headless::PressButton(seen, 1));
  EXPECT_EQ(headless::ViewDialog(seen).window, nullptr);
  EXPECT_EQ(headless::ForcedDialogEnds(), 0);
}

TEST_F(HeadlessDialogs, CloseBoxAndEscapeCancel) {
  // A person who does nothing closes the window; unhandled WM_CLOSE is Cancel.
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(trace_.lines.back(), "command 2 code 0 from control field 'initial'");
  EXPECT_EQ(trace_.lines[1], "close");
  trace_.lines.clear();
  person_.idleRounds = 0;
  person_.steps = {[](HWND dialog) { EXPECT_TRUE(headless::PressEscape(dialog)); }};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(trace_.lines.size(), 2u);
  EXPECT_EQ(person_.idleRounds, 1);
  EXPECT_EQ(headless::ForcedDialogEnds(), 0);
}

TEST_F(HeadlessDialogs, ControlCallsOnALiveDialog) {
  person_.steps = {[](HWND dialog) {
    char buffer[5];
    SetDlgItemTextA(dialog, 10, "abcdefgh");
    // At most maxCount - 1 characters and the terminator.
    EXPECT_EQ(GetDlgItemTextA(dialog, 10, buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(GetDlgItemTextA(dialog, 10, buffer, 1), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetDlgItemTextA(dialog, 99, buffer, sizeof buffer), 0u);
    // EnableWindow and ShowWindow report the previous state.
    HWND greyed = GetDlgItem(dialog, 4);
    EXPECT_TRUE(EnableWindow(greyed, TRUE));
    EXPECT_FALSE(EnableWindow(greyed, FALSE));
    EXPECT_FALSE(ShowWindow(GetDlgItem(dialog, 5), SW_SHOW));
    EXPECT_TRUE(headless::IsControlVisible(dialog, 5));
    EXPECT_TRUE(ShowWindow(GetDlgItem(dialog, 5), SW_HIDE));
    EXPECT_TRUE(SetWindowTextA(GetDlgItem(dialog, 12), "renamed"));
    EXPECT_TRUE(SetWindowTextA(dialog, "New caption"));
    EXPECT_EQ(headless::ViewDialog(dialog).caption, "New caption");
    EXPECT_EQ(headless::ControlText(dialog, 12), "renamed");
    EXPECT_TRUE(CheckDlgButton(dialog, 11, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 11), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(SetWindowLongA(dialog, GWL_USERDATA, -5), 0x12345678);
    EXPECT_EQ(GetWindowLongA(dialog, GWL_USERDATA), -5);
    // SendMessageA calls the procedure at once.
    EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0), TRUE);
  }};
  EXPECT_EQ(Run(), 7);
}

TEST_F(HeadlessDialogs, ADialogThatWillNotCloseIsEndedByTheStandIn) {
  auto stubborn = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_CLOSE; };
  EXPECT_EQ(DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(201), nullptr, stubborn, 0), 0);
  EXPECT_EQ(headless::ForcedDialogEnds(), 1);
  EXPECT_EQ(person_.idleRounds, 4);  // three closes unanswered, then the fourth round gives up
  // Ending during WM_INITDIALOG: never shown, result kept.
  auto quick = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) EndDialog(dialog, 3);
    return TRUE;
  };
  person_.events.clear();
  EXPECT_EQ(DialogBoxParamA(headless::PluginModule(), MAKEINTRESOURCEA(201), nullptr, quick, 0), 3);
  ASSERT_EQ(person_.events.size(), 1u);
  EXPECT_EQ(person_.events[0].kind, headless::Event::DialogEnded);
}

}  // namespace
