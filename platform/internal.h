// Internal state of the headless Win32 stand-in, shared by its source files.
// Everything a person could see (windows, the message queue, the clipboard)
// is per thread; global memory and address slots are process-wide.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/headless.h"

namespace headless::detail {

// --- Resource script --------------------------------------------------------

struct ControlTemplate {
  std::string kind;         // statement keyword: "PUSHBUTTON", "LTEXT", "CONTROL", ...
  std::string windowClass;  // "Button", "Static", "Edit", ...
  std::string text;
  int id = -1;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;
};

struct DialogTemplateData {
  int id = 0;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;
  std::string caption;
  std::string fontFace;
  int fontPointSize = 0;
  std::vector<ControlTemplate> controls;
};

struct ResourceScript {
  std::vector<DialogTemplateData> dialogs;
  std::string error;  // "" when the whole script parsed
};

// Parses the subset of resource-script syntax that the module uses. On an
// error, `error` says where and what, and `dialogs` is empty.
ResourceScript ParseResourceScript(std::string_view text);
// The module's script, embedded at build time, parsed on first use.
const ResourceScript& ModuleResourceScript();
// Generated at build time from ui/roomstat.rc.
extern const unsigned char kEmbeddedResourceScript[];  // NUL-terminated
extern const size_t kEmbeddedResourceScriptLength;
extern const bool kEmbeddedResourceScriptPresent;

// Reads a binary dialog template (DLGTEMPLATE and its items, as a resource
// compiler writes it) into the form the script parser gives. The control
// statement (`kind`) is the one that makes the item's class and style, or
// "CONTROL". False, with the reason, for a truncated or unknown record.
bool ParseDialogResource(const uint8_t* data, size_t size, DialogTemplateData* dialog, std::string* error);
// The dialog templates of a registered module; null for any other handle.
const ResourceScript* RegisteredModuleDialogs(HINSTANCE module);

// --- Windows and the per-thread desktop ---------------------------------------

struct Window {
  HWND handle = nullptr;
  HWND dialog = nullptr;  // the dialog that holds a control; null for a dialog
  bool isDialog = false;
  int id = -1;
  std::string kind;
  std::string windowClass;
  std::string text;  // control text or dialog caption
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;
  LONG userData = 0;
  // Dialogs only.
  int templateId = 0;
  std::string fontFace;
  int fontPointSize = 0;
  DLGPROC procedure = nullptr;
  HWND owner = nullptr;
  bool ended = false;
  INT_PTR result = 0;
  std::vector<HWND> controls;  // template order
};

struct PostedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Injected failures of one global-memory call: the next `succeed` calls
// succeed, the `fail` after them fail.
struct FailureInjection {
  bool active = false;
  int succeed = 0;
  int fail = 0;
  // True when this call is to fail; advances the counters.
  bool NextCallFails();
};

struct ThreadState {
  std::unordered_map<HWND, std::unique_ptr<Window>> windows;
  std::deque<PostedMessage> queue;
  uint64_t postedCount = 0;  // every message ever posted on this thread
  std::vector<HWND> dialogStack;
  Observer* observer = nullptr;
  int forcedDialogEnds = 0;
  std::unique_ptr<ResourceScript> scriptOverride;
  // Clipboard.
  bool clipboardOpen = false;
  bool clipboardHeldElsewhere = false;
  HGLOBAL clipboardText = nullptr;
  // Global memory.
  FailureInjection allocFailures;
  FailureInjection lockFailures;
};

ThreadState& CurrentThread();
Observer& CurrentObserver();
Window* LookUpWindow(HWND window);
Window* LookUpControl(HWND dialog, int id);
// Destroys a dialog and its controls and drops messages posted to them.
void DestroyDialogWindows(HWND dialog);

// Reads a movable or fixed text block up to its NUL (or its size).
std::string ReadTextBlock(HGLOBAL block);

// Case-insensitive equality of ASCII texts.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace headless::detail
