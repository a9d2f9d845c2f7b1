// The plug-in module as the loader would present it (module handle, exports
// by name and ordinal), the observer that stands in for the person at the
// screen, and the calls that only tell that person something: message boxes,
// beeps and help requests.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/internal.h"

namespace headless {

namespace {

Observer& DefaultObserver() {
  static Observer observer;
  return observer;
}

// Distinct addresses that nothing else can have serve as module handles.
char pluginModuleTag;
char processModuleTag;

// Written once before any entry-point call, read by every thread after.
std::atomic<const ModuleExports*> installedExports{nullptr};
ModuleExports exportsStorage;
std::once_flag exportsOnce;

// Modules mapped by a loader, with their dialog templates read once.
struct RegisteredModule {
  HINSTANCE handle;
  ModuleExports exports;
  detail::ResourceScript dialogs;
};
std::mutex registryMutex;
std::vector<std::unique_ptr<RegisteredModule>>& Registry() {
  static auto* modules = new std::vector<std::unique_ptr<RegisteredModule>>;
  return *modules;
}

const ModuleExports* RegisteredExports(HMODULE module) {
  std::lock_guard<std::mutex> lock(registryMutex);
  for (const auto& entry : Registry())
    if (entry->handle == module) return &entry->exports;
  return nullptr;
}

}  // namespace

namespace detail {

ThreadState& CurrentThread() {
  thread_local ThreadState state;
  return state;
}

Observer& CurrentObserver() {
  Observer* observer = CurrentThread().observer;
  return observer != nullptr ? *observer : DefaultObserver();
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char ca = a[i], cb = b[i];
    if (ca >= 'a' && ca <= 'z') ca = static_cast<char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<char>(cb - 'a' + 'A');
    if (ca != cb) return false;
  }
  return true;
}

const ResourceScript* RegisteredModuleDialogs(HINSTANCE module) {
  std::lock_guard<std::mutex> lock(registryMutex);
  for (const auto& entry : Registry())
    if (entry->handle == module) return &entry->dialogs;
  return nullptr;
}

}  // namespace detail

// --- Observer defaults: a person who reads, presses OK and walks away ------

int Observer::OnMessageBox(HWND, const std::string&, const std::string&, UINT) { return IDOK; }
void Observer::OnBeep(UINT) {}
void Observer::OnHelp(HWND, const std::string&, UINT, const std::string&) {}
void Observer::OnDialogShown(HWND) {}
void Observer::OnDialogIdle(HWND) {}
void Observer::OnDialogEnded(HWND, INT_PTR) {}

int RecordingObserver::OnMessageBox(HWND owner, const std::string& text, const std::string& caption,
                                    UINT style) {
  Event event{Event::MessageBox, text, caption, owner, style, 0, 0};
  events.push_back(event);
  return IDOK;
}

void RecordingObserver::OnBeep(UINT type) {
  Event event{Event::Beep, "", "", nullptr, type, 0, 0};
  events.push_back(event);
}

void RecordingObserver::OnHelp(HWND window, const std::string& file, UINT command,
                               const std::string& keyword) {
  Event event{Event::Help, file, keyword, window, command, 0, 0};
  events.push_back(event);
}

void RecordingObserver::OnDialogShown(HWND dialog) {
  const detail::Window* window = detail::LookUpWindow(dialog);
  Event event{
      Event::DialogShown, window ? window->text : "", "", dialog, 0, 0, window ? window->templateId : 0};
  events.push_back(event);
}

void RecordingObserver::OnDialogEnded(HWND dialog, INT_PTR result) {
  const detail::Window* window = detail::LookUpWindow(dialog);
  Event event{
      Event::DialogEnded, window ? window->text : "", "", dialog, 0, result, window ? window->templateId : 0};
  events.push_back(event);
}

size_t RecordingObserver::Count(Event::Kind kind) const {
  size_t count = 0;
  for (const Event& event : events) count += event.kind == kind ? 1 : 0;
  return count;
}

Observer* SetObserver(Observer* observer) {
  Observer* previous = detail::CurrentThread().observer;
  detail::CurrentThread().observer = observer;
  return previous;
}

HINSTANCE PluginModule() { return reinterpret_cast<HINSTANCE>(&pluginModuleTag); }

void InstallPluginExports(const ModuleExports& exports) {
  std::call_once(exportsOnce, [&exports] {
    exportsStorage = exports;
    installedExports.store(&exportsStorage);
  });
}

bool RegisterModule(HINSTANCE handle, const ModuleExports& exports,
                    const std::vector<DialogResource>& dialogs, std::string* error) {
  auto module = std::make_unique<RegisteredModule>();
  module->handle = handle;
  module->exports = exports;
  for (const DialogResource& resource : dialogs) {
    detail::DialogTemplateData dialog;
    std::string reason;
    if (!detail::ParseDialogResource(resource.data, resource.size, &dialog, &reason)) {
      if (error != nullptr) *error = "dialog " + std::to_string(resource.id) + ": " + reason;
      return false;
    }
    dialog.id = resource.id;
    module->dialogs.dialogs.push_back(std::move(dialog));
  }
  std::lock_guard<std::mutex> lock(registryMutex);
  Registry().push_back(std::move(module));
  return true;
}

void UnregisterModule(HINSTANCE handle) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto& modules = Registry();
  for (auto it = modules.begin(); it != modules.end(); ++it) {
    if ((*it)->handle == handle) {
      modules.erase(it);
      return;
    }
  }
}

}  // namespace headless

extern "C" {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  // A null caption is shown as "Error", as Windows does.
  return headless::detail::CurrentObserver().OnMessageBox(owner, text ? text : "",
                                                          caption ? caption : "Error", type);
}

BOOL WINAPI MessageBeep(UINT type) {
  headless::detail::CurrentObserver().OnBeep(type);
  return TRUE;
}

BOOL WINAPI WinHelpA(HWND window, LPCSTR helpFile, UINT command, ULONG_PTR data) {
  std::string keyword;
  if (command == HELP_KEY && data != 0) keyword = reinterpret_cast<const char*>(data);
  headless::detail::CurrentObserver().OnHelp(window, helpFile ? helpFile : "", command, keyword);
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr) return reinterpret_cast<HMODULE>(&headless::processModuleTag);
  const headless::ModuleExports* plugin = headless::installedExports.load();
  if (plugin != nullptr && headless::detail::SameTextIgnoringCase(moduleName, plugin->moduleName))
    return headless::PluginModule();
  std::lock_guard<std::mutex> lock(headless::registryMutex);
  for (const auto& entry : headless::Registry())
    if (headless::detail::SameTextIgnoringCase(moduleName, entry->exports.moduleName)) return entry->handle;
  return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  const headless::ModuleExports* plugin = module == headless::PluginModule()
                                              ? headless::installedExports.load()
                                              : headless::RegisteredExports(module);
  if (procName == nullptr || plugin == nullptr) return nullptr;
  const bool byOrdinal = IS_INTRESOURCE(procName);
  const WORD ordinal = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(procName));
  for (size_t i = 0; i < plugin->count; ++i) {
    const headless::ModuleExport& entry = plugin->exports[i];
    if (byOrdinal ? entry.ordinal == ordinal : std::strcmp(entry.name, procName) == 0)
      return reinterpret_cast<FARPROC>(entry.function);
  }
  return nullptr;
}

}  // extern "C"
