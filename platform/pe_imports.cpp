// The imports of a loaded Windows module, bound by DLL and name.
//
// KERNEL32 and USER32: the stand-in's own functions, which are stdcall on the
// 32-bit build exactly as declared in windows.h; the few kernel services
// that only the C runtime's start-up uses (critical sections, module loading,
// memory queries) are small stdcall routines here. msvcrt: the C library's
// functions (cdecl on both), through adapters that realign the stack, and
// where the data differ (errno, the stdio table, the start-up table).
#include "platform/pe_imports.h"

#if defined(__i386__) && defined(__linux__)

#include <unistd.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/internal.h"

namespace headless {

namespace {

// --- Kernel services of the C runtime's start-up ----------------------------

thread_local DWORD lastError = 0;

// CRITICAL_SECTION as the module lays it out (24 bytes); the first word
// holds the recursive mutex that stands for it.
struct CriticalSection {
  std::recursive_mutex* mutex;
  uint32_t rest[5];
};
static_assert(sizeof(CriticalSection) == 24);

std::recursive_mutex& MutexOf(CriticalSection* section) {
  if (section->mutex == nullptr) section->mutex = new std::recursive_mutex;
  return *section->mutex;
}

void WINAPI InitializeCriticalSection(CriticalSection* section) {
  std::memset(section, 0, sizeof *section);
  section->mutex = new std::recursive_mutex;
}
void WINAPI EnterCriticalSection(CriticalSection* section) { MutexOf(section).lock(); }
void WINAPI LeaveCriticalSection(CriticalSection* section) { MutexOf(section).unlock(); }
void WINAPI DeleteCriticalSection(CriticalSection* section) {
  delete section->mutex;
  section->mutex = nullptr;
}

DWORD WINAPI GetLastError() { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }
void WINAPI Sleep(DWORD milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000u); }

// No other DLL exists here (the runtime asks for its shared variant, which a
// statically linked module does without).
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
HMODULE WINAPI LoadLibraryA(LPCSTR) {
  lastError = ERROR_MOD_NOT_FOUND;
  return nullptr;
}
BOOL WINAPI FreeLibrary(HMODULE module) { return module != nullptr ? TRUE : FALSE; }

// No TLS slot is ever allocated through TlsAlloc, so every slot is empty.
LPVOID WINAPI TlsGetValue(DWORD) {
  lastError = 0;
  return nullptr;
}

// The image is mapped readable, writable and executable as a whole.
constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_PRIVATE = 0x20000;
BOOL WINAPI VirtualProtect(LPVOID, SIZE_T, DWORD, DWORD* oldProtection) {
  if (oldProtection != nullptr) *oldProtection = PAGE_EXECUTE_READWRITE;
  return TRUE;
}
struct MemoryInformation {
  void* base;
  void* allocationBase;
  DWORD allocationProtection;
  SIZE_T regionSize;
  DWORD state, protection, type;
};
static_assert(sizeof(MemoryInformation) == 28);
SIZE_T WINAPI VirtualQuery(LPCVOID address, MemoryInformation* info, SIZE_T length) {
  if (info == nullptr || length < sizeof *info) return 0;
  const uintptr_t page = reinterpret_cast<uintptr_t>(address) & ~static_cast<uintptr_t>(0xFFF);
  *info = MemoryInformation{reinterpret_cast<void*>(page),
                            reinterpret_cast<void*>(page),
                            PAGE_EXECUTE_READWRITE,
                            0x1000,
                            MEM_COMMIT,
                            PAGE_EXECUTE_READWRITE,
                            MEM_PRIVATE};
  return sizeof *info;
}

// --- msvcrt adapters ------------------------------------------------------------

// msvcrt's FILE is 32 bytes; the module reaches stdin, stdout and stderr as
// _iob[0], _iob[1] and _iob[2].
struct MsvcrtFile {
  char bytes[32];
};
MsvcrtFile msvcrtIob[20];

FILE* HostStream(const void* file) {
  if (file == &msvcrtIob[1]) return stdout;
  if (file == &msvcrtIob[2]) return stderr;
  return nullptr;
}

int MsvcrtVfprintf(void* file, const char* format, va_list arguments) {
  FILE* stream = HostStream(file);
  return stream != nullptr ? std::vfprintf(stream, format, arguments) : -1;
}
size_t MsvcrtFwrite(const void* data, size_t size, size_t count, void* file) {
  FILE* stream = HostStream(file);
  return stream != nullptr ? std::fwrite(data, size, count, stream) : 0;
}
int* MsvcrtErrno() { return &errno; }
typedef void (*StartupRoutine)();
void MsvcrtInitterm(StartupRoutine* begin, StartupRoutine* end) {
  for (; begin < end; ++begin)
    if (*begin != nullptr) (*begin)();
}
[[noreturn]] void MsvcrtAmsgExit(int code) {
  std::fprintf(stderr, "runtime error R60%02d in the loaded module\n", code);
  std::_Exit(255);
}
std::recursive_mutex& RuntimeLock() {
  static std::recursive_mutex mutex;
  return mutex;
}
void MsvcrtLock(int) { RuntimeLock().lock(); }
void MsvcrtUnlock(int) { RuntimeLock().unlock(); }
void MsvcrtSetUserMathErr(void*) {}

struct Binding {
  const char* name;
  const void* address;
};
template <typename Fn>
const void* Address(Fn function) {
  return reinterpret_cast<const void*>(function);
}

const Binding KERNEL32[] = {
    {"GlobalAlloc", Address(&::GlobalAlloc)},
    {"GlobalLock", Address(&::GlobalLock)},
    {"GlobalUnlock", Address(&::GlobalUnlock)},
    {"GlobalFree", Address(&::GlobalFree)},
    {"GlobalSize", Address(&::GlobalSize)},
    {"GetModuleHandleA", Address(&::GetModuleHandleA)},
    {"GetProcAddress", Address(&::GetProcAddress)},
    {"InitializeCriticalSection", Address(&InitializeCriticalSection)},
    {"EnterCriticalSection", Address(&EnterCriticalSection)},
    {"LeaveCriticalSection", Address(&LeaveCriticalSection)},
    {"DeleteCriticalSection", Address(&DeleteCriticalSection)},
    {"GetLastError", Address(&GetLastError)},
    {"SetLastError", Address(&SetLastError)},
    {"Sleep", Address(&Sleep)},
    {"LoadLibraryA", Address(&LoadLibraryA)},
    {"FreeLibrary", Address(&FreeLibrary)},
    {"TlsGetValue", Address(&TlsGetValue)},
    {"VirtualProtect", Address(&VirtualProtect)},
    {"VirtualQuery", Address(&VirtualQuery)},
};

const Binding USER32[] = {
    {"MessageBoxA", Address(&::MessageBoxA)},
    {"MessageBeep", Address(&::MessageBeep)},
    {"WinHelpA", Address(&::WinHelpA)},
    {"DialogBoxParamA", Address(&::DialogBoxParamA)},
    {"EndDialog", Address(&::EndDialog)},
    {"PostMessageA", Address(&::PostMessageA)},
    {"GetDlgItem", Address(&::GetDlgItem)},
    {"SetDlgItemTextA", Address(&::SetDlgItemTextA)},
    {"GetDlgItemTextA", Address(&::GetDlgItemTextA)},
    {"EnableWindow", Address(&::EnableWindow)},
    {"ShowWindow", Address(&::ShowWindow)},
    {"CheckDlgButton", Address(&::CheckDlgButton)},
    {"IsDlgButtonChecked", Address(&::IsDlgButtonChecked)},
    {"SetWindowLongA", Address(&::SetWindowLongA)},
    {"GetWindowLongA", Address(&::GetWindowLongA)},
    {"OpenClipboard", Address(&::OpenClipboard)},
    {"EmptyClipboard", Address(&::EmptyClipboard)},
    {"SetClipboardData", Address(&::SetClipboardData)},
    {"GetClipboardData", Address(&::GetClipboardData)},
    {"CloseClipboard", Address(&::CloseClipboard)},
};

// The C library's functions, each behind a routine of this file, which is
// built to realign the stack (see HeadlessPlatform.cmake) before glibc runs.
void* Malloc(size_t bytes) { return std::malloc(bytes); }
void* Calloc(size_t count, size_t bytes) { return std::calloc(count, bytes); }
void* Realloc(void* block, size_t bytes) { return std::realloc(block, bytes); }
void Free(void* block) { std::free(block); }
[[noreturn]] void Abort() { std::abort(); }
void* Memcpy(void* to, const void* from, size_t bytes) { return std::memcpy(to, from, bytes); }
void* Memmove(void* to, const void* from, size_t bytes) { return std::memmove(to, from, bytes); }
void* Memset(void* to, int value, size_t bytes) { return std::memset(to, value, bytes); }
int Memcmp(const void* a, const void* b, size_t bytes) { return std::memcmp(a, b, bytes); }
size_t Strlen(const char* text) { return std::strlen(text); }
char* Strcpy(char* to, const char* from) { return std::strcpy(to, from); }
char* Strcat(char* to, const char* from) { return std::strcat(to, from); }
int Strcmp(const char* a, const char* b) { return std::strcmp(a, b); }
int Strncmp(const char* a, const char* b, size_t count) { return std::strncmp(a, b, count); }
double Atof(const char* text) { return std::atof(text); }
long Atol(const char* text) { return std::atol(text); }
int Isspace(int c) { return std::isspace(c); }
double Log10(double x) { return std::log10(x); }
double Tan(double x) { return std::tan(x); }

const Binding MSVCRT[] = {
    // Same arguments and meaning in both C libraries.
    {"malloc", Address(&Malloc)},
    {"calloc", Address(&Calloc)},
    {"realloc", Address(&Realloc)},
    {"free", Address(&Free)},
    {"abort", Address(&Abort)},
    {"memcpy", Address(&Memcpy)},
    {"memmove", Address(&Memmove)},
    {"memset", Address(&Memset)},
    {"memcmp", Address(&Memcmp)},
    {"strlen", Address(&Strlen)},
    {"strcpy", Address(&Strcpy)},
    {"strcat", Address(&Strcat)},
    {"strcmp", Address(&Strcmp)},
    {"strncmp", Address(&Strncmp)},
    {"atof", Address(&Atof)},
    {"atol", Address(&Atol)},
    {"isspace", Address(&Isspace)},
    {"log10", Address(&Log10)},
    {"tan", Address(&Tan)},
    // Adapters.
    {"_iob", msvcrtIob},
    {"vfprintf", Address(&MsvcrtVfprintf)},
    {"fwrite", Address(&MsvcrtFwrite)},
    {"_errno", Address(&MsvcrtErrno)},
    {"_initterm", Address(&MsvcrtInitterm)},
    {"_amsg_exit", Address(&MsvcrtAmsgExit)},
    {"_lock", Address(&MsvcrtLock)},
    {"_unlock", Address(&MsvcrtUnlock)},
    {"__setusermatherr", Address(&MsvcrtSetUserMathErr)},
};

template <size_t N>
const void* Find(const Binding (&table)[N], const char* name) {
  for (const Binding& binding : table)
    if (std::strcmp(binding.name, name) == 0) return binding.address;
  return nullptr;
}

}  // namespace

const void* FindImportImplementation(const char* dll, const char* name) {
  std::string library = dll;
  if (library.size() > 4 && detail::SameTextIgnoringCase(library.substr(library.size() - 4), ".dll"))
    library.resize(library.size() - 4);
  if (detail::SameTextIgnoringCase(library, "KERNEL32")) return Find(KERNEL32, name);
  if (detail::SameTextIgnoringCase(library, "USER32")) return Find(USER32, name);
  if (detail::SameTextIgnoringCase(library, "msvcrt")) return Find(MSVCRT, name);
  return nullptr;
}

}  // namespace headless

#endif
