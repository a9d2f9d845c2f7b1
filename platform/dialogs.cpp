// Modal dialogs, their controls and the per-thread message loop, plus the
// person's actions on them (headless.h). A dialog is built from its template
// in the module's resource script; the loop dispatches posted messages in
// order and, when the queue is empty, lets the observer act. A person who
// does nothing closes the window, so no dialog waits forever.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/headless.h"
#include "platform/internal.h"

namespace headless::detail {

namespace {

// Loop guards. A person who closes a window this many times in a row and
// still sees it open gives up: the stand-in ends the dialog with 0.
constexpr int MAX_UNANSWERED_CLOSES = 3;
// Rounds of one modal loop in which the person acted (an observer that acts
// forever), and messages one loop dispatches (a procedure that keeps posting
// to itself), before the stand-in ends the dialog with 0.
constexpr int MAX_IDLE_ROUNDS = 100000;
constexpr uint64_t MAX_DISPATCHED_MESSAGES = 1000000;

// Window handles are never reused, so a handle kept past its dialog's end
// stays invalid. Process-wide so that threads never share a handle value.
std::atomic<uintptr_t> nextWindowHandle{0x00010000u};
constexpr uintptr_t WINDOW_HANDLE_STEP = 4;

HWND NewWindowHandle() { return reinterpret_cast<HWND>(nextWindowHandle.fetch_add(WINDOW_HANDLE_STEP)); }

const ResourceScript& CurrentScript() {
  const ThreadState& state = CurrentThread();
  return state.scriptOverride ? *state.scriptOverride : ModuleResourceScript();
}

const DialogTemplateData* FindTemplate(const ResourceScript& script, LPCSTR templateName) {
  if (templateName == nullptr || !IS_INTRESOURCE(templateName)) return nullptr;  // numbered templates only
  for (const DialogTemplateData& dialog : script.dialogs) {
    if (static_cast<WORD>(dialog.id) == reinterpret_cast<ULONG_PTR>(templateName)) return &dialog;
  }
  return nullptr;
}

bool IsButtonClass(const Window& control) { return SameTextIgnoringCase(control.windowClass, "Button"); }

uint32_t ButtonType(const Window& control) { return control.style & 0x0Fu; }

// The plug-in's check boxes are all automatic: a click toggles them.
bool IsCheckBox(const Window& control) {
  return IsButtonClass(control) && ButtonType(control) == BS_AUTOCHECKBOX;
}

bool IsDefaultButton(const Window& control) {
  return IsButtonClass(control) && ButtonType(control) == BS_DEFPUSHBUTTON;
}

HWND CreateDialogWindows(const DialogTemplateData& data, DLGPROC procedure, HWND owner) {
  ThreadState& state = CurrentThread();
  auto dialog = std::make_unique<Window>();
  dialog->handle = NewWindowHandle();
  dialog->isDialog = true;
  dialog->id = data.id;
  dialog->kind = "DIALOG";
  dialog->text = data.caption;
  dialog->enabled = (data.style & WS_DISABLED) == 0;
  dialog->x = data.x;
  dialog->y = data.y;
  dialog->width = data.width;
  dialog->height = data.height;
  dialog->style = data.style;
  dialog->templateId = data.id;
  dialog->fontFace = data.fontFace;
  dialog->fontPointSize = data.fontPointSize;
  dialog->procedure = procedure;
  dialog->owner = owner;
  for (const ControlTemplate& item : data.controls) {
    auto control = std::make_unique<Window>();
    control->handle = NewWindowHandle();
    control->dialog = dialog->handle;
    control->id = item.id;
    control->kind = item.kind;
    control->windowClass = item.windowClass;
    control->text = item.text;
    control->enabled = (item.style & WS_DISABLED) == 0;
    control->visible = (item.style & WS_VISIBLE) != 0;
    control->x = item.x;
    control->y = item.y;
    control->width = item.width;
    control->height = item.height;
    control->style = item.style;
    dialog->controls.push_back(control->handle);
    state.windows.emplace(control->handle, std::move(control));
  }
  const HWND handle = dialog->handle;
  state.windows.emplace(handle, std::move(dialog));
  return handle;
}

// Queues a message without checking the target (internal use).
void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ThreadState& state = CurrentThread();
  state.queue.push_back(PostedMessage{window, message, wParam, lParam});
  ++state.postedCount;
}

LPARAM ControlParam(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control ? reinterpret_cast<LPARAM>(control->handle) : 0;
}

// Calls the dialog procedure, then does what the dialog manager does for a
// message the procedure leaves alone: an unhandled WM_CLOSE becomes the
// Cancel command, unless a Cancel button exists and is disabled.
LRESULT CallDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  const Window* window = LookUpWindow(dialog);
  if (window == nullptr || !window->isDialog || window->procedure == nullptr) return 0;
  const DLGPROC procedure = window->procedure;
  const INT_PTR handled = procedure(dialog, message, wParam, lParam);
  if (message == WM_CLOSE && handled == FALSE && LookUpWindow(dialog) != nullptr) {
    const Window* cancel = LookUpControl(dialog, IDCANCEL);
    if (cancel == nullptr || cancel->enabled)
      Post(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), ControlParam(dialog, IDCANCEL));
  }
  return handled;
}

void Dispatch(const PostedMessage& message) {
  const Window* target = LookUpWindow(message.window);
  if (target == nullptr || !target->isDialog) return;  // controls have no procedures here
  CallDialogProcedure(message.window, message.message, message.wParam, message.lParam);
}

void ForceEnd(HWND dialog) {
  Window* window = LookUpWindow(dialog);
  if (window == nullptr || window->ended) return;
  window->ended = true;
  window->result = 0;
  ++CurrentThread().forcedDialogEnds;
}

void RunModalLoop(HWND dialog) {
  ThreadState& state = CurrentThread();
  int unansweredCloses = 0;
  int idleRounds = 0;
  uint64_t dispatched = 0;
  while (true) {
    const Window* window = LookUpWindow(dialog);
    if (window == nullptr || window->ended) return;
    if (!state.queue.empty()) {
      const PostedMessage message = state.queue.front();
      state.queue.pop_front();
      Dispatch(message);
      if (++dispatched > MAX_DISPATCHED_MESSAGES) ForceEnd(dialog);
      continue;
    }
    const uint64_t postedBefore = state.postedCount;
    CurrentObserver().OnDialogIdle(dialog);
    window = LookUpWindow(dialog);
    if (window == nullptr || window->ended) return;
    if (++idleRounds > MAX_IDLE_ROUNDS) {
      ForceEnd(dialog);
      return;
    }
    if (state.postedCount != postedBefore) {
      unansweredCloses = 0;
      continue;
    }
    if (unansweredCloses == MAX_UNANSWERED_CLOSES) {
      ForceEnd(dialog);
      return;
    }
    ++unansweredCloses;
    Post(dialog, WM_CLOSE, 0, 0);
  }
}

// A control a person can act on: exists, enabled, visible, in a live dialog.
Window* ReachableControl(HWND dialog, int id) {
  Window* control = LookUpControl(dialog, id);
  if (control == nullptr || !control->enabled || !control->visible) return nullptr;
  return control;
}

Window* LiveDialog(HWND dialog) {
  Window* window = LookUpWindow(dialog);
  return window != nullptr && window->isDialog ? window : nullptr;
}

ControlState ViewControl(const Window& control) {
  ControlState view;
  view.id = control.id;
  view.kind = control.kind;
  view.windowClass = control.windowClass;
  view.text = control.text;
  view.enabled = control.enabled;
  view.visible = control.visible;
  view.checked = control.checked;
  view.x = control.x;
  view.y = control.y;
  view.width = control.width;
  view.height = control.height;
  view.style = control.style;
  return view;
}

}  // namespace

Window* LookUpWindow(HWND window) {
  if (window == nullptr) return nullptr;
  ThreadState& state = CurrentThread();
  auto it = state.windows.find(window);
  return it == state.windows.end() ? nullptr : it->second.get();
}

Window* LookUpControl(HWND dialog, int id) {
  const Window* window = LookUpWindow(dialog);
  if (window == nullptr || !window->isDialog) return nullptr;
  for (HWND handle : window->controls) {
    Window* control = LookUpWindow(handle);
    if (control != nullptr && control->id == id) return control;
  }
  return nullptr;
}

void DestroyDialogWindows(HWND dialog) {
  ThreadState& state = CurrentThread();
  Window* window = LookUpWindow(dialog);
  if (window == nullptr) return;
  const std::vector<HWND> controls = window->controls;
  for (HWND control : controls) state.windows.erase(control);
  state.windows.erase(dialog);
  for (auto it = state.queue.begin(); it != state.queue.end();) {
    if (it->window == dialog) {
      it = state.queue.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = state.dialogStack.begin(); it != state.dialogStack.end(); ++it) {
    if (*it == dialog) {
      state.dialogStack.erase(it);
      break;
    }
  }
}

}  // namespace headless::detail

using headless::detail::CurrentThread;
using headless::detail::LookUpControl;
using headless::detail::LookUpWindow;
using headless::detail::Window;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                               LPARAM initParam) {
  const headless::detail::ResourceScript* script = instance == headless::PluginModule()
                                                       ? &headless::detail::CurrentScript()
                                                       : headless::detail::RegisteredModuleDialogs(instance);
  if (script == nullptr || dialogProc == nullptr) return -1;
  if (!CurrentThread().dialogStack.empty()) return -1;  // one modal dialog at a time
  const headless::detail::DialogTemplateData* data = headless::detail::FindTemplate(*script, templateName);
  if (data == nullptr) return -1;
  const HWND dialog = headless::detail::CreateDialogWindows(*data, dialogProc, owner);
  CurrentThread().dialogStack.push_back(dialog);
  headless::detail::CallDialogProcedure(dialog, WM_INITDIALOG, 0, initParam);
  const Window* window = LookUpWindow(dialog);
  if (window != nullptr && !window->ended) {
    headless::detail::CurrentObserver().OnDialogShown(dialog);
    headless::detail::RunModalLoop(dialog);
  }
  window = LookUpWindow(dialog);
  const INT_PTR result = window != nullptr && window->ended ? window->result : 0;
  headless::detail::CurrentObserver().OnDialogEnded(dialog, result);
  headless::detail::DestroyDialogWindows(dialog);
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  Window* window = headless::detail::LiveDialog(dialog);
  if (window == nullptr) return FALSE;
  window->ended = true;
  window->result = result;
  return TRUE;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (LookUpWindow(window) == nullptr) return FALSE;
  headless::detail::Post(window, message, wParam, lParam);
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control ? control->handle : nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  Window* control = LookUpControl(dialog, id);
  if (control == nullptr) return FALSE;
  control->text = text ? text : "";
  return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
  if (text == nullptr || maxCount <= 0) return 0;
  const Window* control = LookUpControl(dialog, id);
  if (control == nullptr) {
    text[0] = '\0';
    return 0;
  }
  const size_t room = static_cast<size_t>(maxCount) - 1;
  const size_t count = control->text.size() < room ? control->text.size() : room;
  std::memcpy(text, control->text.data(), count);
  text[count] = '\0';
  return static_cast<UINT>(count);
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  Window* target = LookUpWindow(window);
  if (target == nullptr) return FALSE;
  const BOOL wasDisabled = target->enabled ? FALSE : TRUE;
  target->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
  Window* target = LookUpWindow(window);
  if (target == nullptr) return FALSE;
  const BOOL wasVisible = target->visible ? TRUE : FALSE;
  target->visible = command != SW_HIDE;
  return wasVisible;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
  Window* control = LookUpControl(dialog, id);
  if (control == nullptr) return FALSE;
  control->checked = check != BST_UNCHECKED;
  return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control != nullptr && control->checked ? BST_CHECKED : BST_UNCHECKED;
}

LONG WINAPI SetWindowLongA(HWND window, int index, LONG value) {
  Window* target = LookUpWindow(window);
  if (target == nullptr || index != GWL_USERDATA) return 0;
  const LONG previous = target->userData;
  target->userData = value;
  return previous;
}

LONG WINAPI GetWindowLongA(HWND window, int index) {
  const Window* target = LookUpWindow(window);
  if (target == nullptr || index != GWL_USERDATA) return 0;
  return target->userData;
}

}  // extern "C"

namespace headless {

const ControlState* DialogView::Find(int id) const {
  for (const ControlState& control : controls)
    if (control.id == id) return &control;
  return nullptr;
}

DialogView ViewDialog(HWND dialog) {
  DialogView view;
  const Window* window = detail::LiveDialog(dialog);
  if (window == nullptr) return view;
  view.window = dialog;
  view.templateId = window->templateId;
  view.caption = window->text;
  view.x = window->x;
  view.y = window->y;
  view.width = window->width;
  view.height = window->height;
  view.style = window->style;
  view.fontFace = window->fontFace;
  view.fontPointSize = window->fontPointSize;
  for (HWND handle : window->controls) {
    const Window* control = LookUpWindow(handle);
    if (control != nullptr) view.controls.push_back(detail::ViewControl(*control));
  }
  return view;
}

std::string ControlText(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control ? control->text : std::string();
}

bool IsControlEnabled(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control != nullptr && control->enabled;
}

bool IsControlVisible(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control != nullptr && control->visible;
}

bool IsControlChecked(HWND dialog, int id) {
  const Window* control = LookUpControl(dialog, id);
  return control != nullptr && control->checked;
}

bool TypeText(HWND dialog, int id, const std::string& text) {
  Window* control = detail::ReachableControl(dialog, id);
  if (control == nullptr || !detail::SameTextIgnoringCase(control->windowClass, "Edit")) return false;
  control->text = text;
  return true;
}

bool SetCheckBox(HWND dialog, int id, bool checked) {
  Window* control = detail::ReachableControl(dialog, id);
  if (control == nullptr || !detail::IsCheckBox(*control)) return false;
  if (control->checked == checked) return true;
  control->checked = checked;
  detail::Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control->handle));
  return true;
}

bool PressButton(HWND dialog, int id) {
  Window* control = detail::ReachableControl(dialog, id);
  if (control == nullptr || !detail::IsButtonClass(*control)) return false;
  detail::Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control->handle));
  return true;
}

bool PressEscape(HWND dialog) {
  if (detail::LiveDialog(dialog) == nullptr) return false;
  detail::Post(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), detail::ControlParam(dialog, IDCANCEL));
  return true;
}

bool PressEnter(HWND dialog) {
  const Window* window = detail::LiveDialog(dialog);
  if (window == nullptr) return false;
  int id = IDOK;
  for (HWND handle : window->controls) {
    const Window* control = LookUpWindow(handle);
    if (control != nullptr && detail::IsDefaultButton(*control)) {
      id = control->id;
      break;
    }
  }
  const Window* button = LookUpControl(dialog, id);
  if (button != nullptr && (!button->enabled || !button->visible)) return false;
  detail::Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), detail::ControlParam(dialog, id));
  return true;
}

bool CloseDialog(HWND dialog) {
  if (detail::LiveDialog(dialog) == nullptr) return false;
  detail::Post(dialog, WM_CLOSE, 0, 0);
  return true;
}

std::vector<HWND> OpenDialogs() { return CurrentThread().dialogStack; }

int ForcedDialogEnds() { return CurrentThread().forcedDialogEnds; }

std::optional<DialogView> DialogTemplate(int templateId, HINSTANCE module) {
  const detail::ResourceScript* script =
      module == PluginModule() ? &detail::CurrentScript() : detail::RegisteredModuleDialogs(module);
  if (script == nullptr) return std::nullopt;
  const detail::DialogTemplateData* data = detail::FindTemplate(*script, MAKEINTRESOURCEA(templateId));
  if (data == nullptr) return std::nullopt;
  DialogView view;
  view.templateId = data->id;
  view.caption = data->caption;
  view.x = data->x;
  view.y = data->y;
  view.width = data->width;
  view.height = data->height;
  view.style = data->style;
  view.fontFace = data->fontFace;
  view.fontPointSize = data->fontPointSize;
  for (const detail::ControlTemplate& item : data->controls) {
    ControlState control;
    control.id = item.id;
    control.kind = item.kind;
    control.windowClass = item.windowClass;
    control.text = item.text;
    control.enabled = (item.style & WS_DISABLED) == 0;
    control.visible = (item.style & WS_VISIBLE) != 0;
    control.x = item.x;
    control.y = item.y;
    control.width = item.width;
    control.height = item.height;
    control.style = item.style;
    view.controls.push_back(control);
  }
  return view;
}

bool UseResourceScript(const std::string& script, std::string* error) {
  detail::ResourceScript parsed = detail::ParseResourceScript(script);
  if (error != nullptr) *error = parsed.error;
  if (!parsed.error.empty()) return false;
  CurrentThread().scriptOverride = std::make_unique<detail::ResourceScript>(std::move(parsed));
  return true;
}

void ResetThreadState() {
  detail::ThreadState& state = CurrentThread();
  const std::vector<HWND> dialogs = state.dialogStack;
  for (HWND dialog : dialogs) detail::DestroyDialogWindows(dialog);
  state.windows.clear();
  state.queue.clear();
  state.dialogStack.clear();
  state.observer = nullptr;
  state.forcedDialogEnds = 0;
  state.scriptOverride.reset();
  ResetClipboard();
  state.clipboardOpen = false;
  state.clipboardHeldElsewhere = false;
  state.allocFailures = detail::FailureInjection();
  state.lockFailures = detail::FailureInjection();
}

}  // namespace headless
