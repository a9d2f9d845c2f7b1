// Observer and control interface of the headless Win32 stand-in.
//
// A host or a test sees through it what a person would see (message boxes,
// beeps, help requests, each dialog's controls, the clipboard) and acts as a
// person would (types into a field, ticks a box, presses a button, closes the
// window). All state is per thread: each thread is its own desktop, so a host
// may run independent plug-in instances on several threads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace headless {

// One control of an open dialog, as the dialog template made it and the
// dialog procedure has changed it since.
struct ControlState {
  int id = -1;              // -1 for controls without an ID (IDC_STATIC)
  std::string kind;         // "PUSHBUTTON", "DEFPUSHBUTTON", "EDITTEXT", "LTEXT", "CTEXT",
                            // "RTEXT", "GROUPBOX", "AUTOCHECKBOX", "CONTROL", ...
  std::string windowClass;  // "Button", "Static", "Edit", ... (as the template names it)
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  uint32_t style = 0;                       // WS_/SS_/BS_/ES_ bits as in the template
};

// A dialog as the template declares it plus its live controls.
struct DialogView {
  HWND window = nullptr;
  int templateId = 0;
  std::string caption;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;    // WS_/DS_ bits of the template (WS_CAPTION added by CAPTION)
  std::string fontFace;  // FONT statement ("" without one)
  int fontPointSize = 0;
  std::vector<ControlState> controls;
  const ControlState* Find(int id) const;
};

// What a person (or a test standing in for one) sees and does. Every call is
// made on the thread that runs the plug-in, in order.
class Observer {
 public:
  virtual ~Observer() = default;
  // A modal message box. Returns the button pressed (IDOK).
  virtual int OnMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style);
  virtual void OnBeep(UINT type);
  virtual void OnHelp(HWND window, const std::string& file, UINT command, const std::string& keyword);
  // A dialog has run WM_INITDIALOG and shows itself.
  virtual void OnDialogShown(HWND dialog);
  // The dialog's message queue is empty: the person may act now (type, tick,
  // press, close). If nothing was posted during this call, the stand-in
  // closes the window (WM_CLOSE), as a person who walks away would.
  virtual void OnDialogIdle(HWND dialog);
  // The dialog has ended with this result (after EndDialog).
  virtual void OnDialogEnded(HWND dialog, INT_PTR result);
};

// Records everything it sees; presses nothing (so every dialog is closed
// with its close box when it waits for input).
struct Event {
  enum Kind { MessageBox, Beep, Help, DialogShown, DialogEnded } kind;
  std::string text;       // message text / help file
  std::string caption;    // message caption / help keyword
  HWND window = nullptr;  // owner / dialog
  uint32_t style = 0;     // message style / beep type / help command
  INT_PTR result = 0;     // dialog result
  int templateId = 0;     // dialog template
};
class RecordingObserver : public Observer {
 public:
  std::vector<Event> events;
  int OnMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style) override;
  void OnBeep(UINT type) override;
  void OnHelp(HWND window, const std::string& file, UINT command, const std::string& keyword) override;
  void OnDialogShown(HWND dialog) override;
  void OnDialogEnded(HWND dialog, INT_PTR result) override;
  size_t Count(Event::Kind kind) const;
};

// Installs the observer of the calling thread (null: the default behaviour
// of the base class). Returns the previous one.
Observer* SetObserver(Observer* observer);

// --- The plug-in module -------------------------------------------------
// The module handle under which the plug-in's exports and resources are
// found (what the Windows loader would give for Roomstat_32.xfm).
HINSTANCE PluginModule();

// One export of the plug-in module: its name, ordinal and address.
struct ModuleExport {
  const char* name;
  WORD ordinal;
  void (*function)();
};
struct ModuleExports {
  const char* moduleName;  // what GetModuleHandleA knows the module by
  const ModuleExport* exports;
  size_t count;
};
// Makes `exports` the table that GetProcAddress serves for PluginModule()
// (process-wide; the host installs it before its first entry-point call).
void InstallPluginExports(const ModuleExports& exports);

// A module that a loader has mapped into this process (the Windows plug-in
// module itself, on the 32-bit x86 build): its handle is its image base.
// While registered, GetModuleHandleA finds it by `exports.moduleName`,
// GetProcAddress serves `exports` (which must stay valid until
// UnregisterModule), and DialogBoxParamA builds its dialogs from the binary
// templates it carries. Returns false, with the reason, when a template
// cannot be read; nothing is registered then.
struct DialogResource {
  int id;  // numeric resource name
  const uint8_t* data;
  size_t size;
};
bool RegisterModule(HINSTANCE handle, const ModuleExports& exports,
                    const std::vector<DialogResource>& dialogs, std::string* error);
void UnregisterModule(HINSTANCE handle);

// --- Looking at and acting on dialogs ------------------------------------
DialogView ViewDialog(HWND dialog);
std::string ControlText(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
bool IsControlChecked(HWND dialog, int id);
// A person can act only on a control that exists, is enabled and is
// visible; the actions below return false (and do nothing) otherwise.
// Replaces the text of an edit field (what typing does).
bool TypeText(HWND dialog, int id, const std::string& text);
// Clicks a check box unless it already has the state `checked`: an automatic
// check box toggles, then WM_COMMAND (id, BN_CLICKED) with the control's
// window as lParam is posted to the dialog. Returns true also when no click
// was needed.
bool SetCheckBox(HWND dialog, int id, bool checked);
// Clicks a push button: posts WM_COMMAND (id, BN_CLICKED), lParam the button.
bool PressButton(HWND dialog, int id);
// The Esc key: posts WM_COMMAND (IDCANCEL, BN_CLICKED), whether or not the
// dialog has a Cancel button.
bool PressEscape(HWND dialog);
// The Enter key: posts the command of the default push button (IDOK when the
// template has none); false when that button is disabled or hidden.
bool PressEnter(HWND dialog);
// The close box: posts WM_CLOSE.
bool CloseDialog(HWND dialog);
// Windows of the dialogs open on this thread: one at most, as the plug-in
// never opens a dialog from another (a second one fails with -1).
std::vector<HWND> OpenDialogs();
// Dialogs that the stand-in had to end itself (result 0) on this thread
// because they stayed open although the person kept closing them, or kept
// running without end.
int ForcedDialogEnds();

// --- Dialog templates -------------------------------------------------------
// The plug-in module's templates come from the resource script ui/roomstat.rc,
// embedded at build time and parsed on first use. If the script cannot be
// parsed, the error is reported once on stderr and every dialog fails with -1.
// A dialog template as the script declares it (window null, controls in
// template order), or nothing when the script has no such dialog.
// `module` may be a registered module (its binary templates).
std::optional<DialogView> DialogTemplate(int templateId, HINSTANCE module = PluginModule());
// Replaces, on this thread and until ResetThreadState, the module's templates
// by those of `script` (tests of the dialog engine). Returns false and the
// parse error when the script cannot be parsed; the templates then stay as
// they were.
bool UseResourceScript(const std::string& script, std::string* error = nullptr);

// --- Clipboard ----------------------------------------------------------
// Another program holds the clipboard open: OpenClipboard fails while true.
void HoldClipboardElsewhere(bool held);
// The CF_TEXT data on the clipboard, if any.
std::optional<std::string> ClipboardText();
// Empties the clipboard and frees its data.
void ResetClipboard();

// --- Global memory --------------------------------------------------------
// The next `succeedFirst` calls of GlobalAlloc (or GlobalLock) on this thread
// succeed, then `failCount` calls fail, then all succeed again.
// succeedFirst < 0 switches injection off.
void FailGlobalAlloc(int succeedFirst, int failCount = 1);
void FailGlobalLock(int succeedFirst, int failCount = 1);
// Blocks allocated and not yet freed, on this thread.
size_t LiveGlobalBlocks();
// Current lock count of a block (0 if unlocked or unknown).
int GlobalLockCount(HGLOBAL memory);

// Clears all per-thread state: dialogs, clipboard, injected failures,
// observer. Live global blocks are kept (they may belong to a host).
void ResetThreadState();

}  // namespace headless
