// PE32 loader of the 32-bit x86 Linux build (see pe_loader.h).
#include "platform/pe_loader.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/internal.h"

#if defined(__i386__) && defined(__linux__)

#include <asm/ldt.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/pe_imports.h"

namespace headless {

namespace {

// Offsets and values of the PE32 format.
constexpr uint16_t MACHINE_I386 = 0x014C;
constexpr uint16_t OPTIONAL_MAGIC_PE32 = 0x010B;
constexpr uint16_t CHARACTERISTIC_DLL = 0x2000;
constexpr int DIRECTORY_EXPORT = 0, DIRECTORY_IMPORT = 1, DIRECTORY_RESOURCE = 2, DIRECTORY_RELOCATION = 5,
              DIRECTORY_TLS = 9;
constexpr int RESOURCE_TYPE_DIALOG = 5;
constexpr uint32_t DLL_ATTACH = 1, DLL_DETACH = 0;

uint32_t Read32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
uint16_t Read16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// A thread block as 32-bit Windows code finds it through %fs: the exception
// list end, the stack bounds, the block's own address at 0x18, the TLS
// slot array at 0x2C and a process block at 0x30.
struct ThreadBlock {
  alignas(4096) uint8_t bytes[4096];
};
struct ThreadBlockSet {
  ThreadBlock block{};
  ThreadBlock process{};
  void* tlsSlots[64] = {};
  std::vector<uint8_t> tlsData;
};

typedef BOOL(WINAPI* DllEntry)(HINSTANCE, DWORD, LPVOID);
typedef void(WINAPI* TlsCallback)(LPVOID, DWORD, LPVOID);

}  // namespace

struct PeModule {
  uint8_t* image = nullptr;
  uint32_t imageSize = 0;
  uint32_t directories[16][2] = {};
  uint32_t entryRva = 0;
  std::vector<uint32_t> tlsCallbacks;  // addresses
  std::vector<ModuleExport> exports;
  std::string moduleName;
  bool registered = false;
  bool attached = false;
  std::unique_ptr<ThreadBlockSet> thread;
  uint8_t* thunks = nullptr;
  size_t thunkBytes = 0;
  uint16_t previousFs = 0;

  bool Holds(uint32_t rva, uint32_t size) const { return rva <= imageSize && size <= imageSize - rva; }
  const char* TextAt(uint32_t rva) const {
    if (!Holds(rva, 1)) return nullptr;
    const void* end = std::memchr(image + rva, 0, imageSize - rva);
    return end != nullptr ? reinterpret_cast<const char*>(image + rva) : nullptr;
  }
};

namespace {

// --- Thread block -------------------------------------------------------------

uint16_t ReadFs() {
  uint16_t selector;
  asm volatile("movw %%fs, %0" : "=r"(selector));
  return selector;
}
void WriteFs(uint16_t selector) { asm volatile("movw %0, %%fs" : : "r"(selector)); }

bool InstallThreadBlock(PeModule* module, std::string* error) {
  static std::atomic<int> nextEntry{1};
  auto set = std::make_unique<ThreadBlockSet>();
  uint8_t* teb = set->block.bytes;
  const uint32_t stackHere = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&set));
  const uint32_t words[][2] = {
      {0x00, 0xFFFFFFFFu},            // end of the exception handler list
      {0x04, stackHere + 0x10000u},   // stack base (above)
      {0x08, stackHere - 0x400000u},  // stack limit (below)
      {0x18, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(teb))},
      {0x20, static_cast<uint32_t>(getpid())},
      {0x24, static_cast<uint32_t>(syscall(SYS_gettid))},
      {0x2C, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(set->tlsSlots))},
      {0x30, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(set->process.bytes))},
  };
  for (const auto& word : words) std::memcpy(teb + word[0], &word[1], 4);

  user_desc descriptor{};
  descriptor.entry_number = static_cast<unsigned>(nextEntry.fetch_add(1));
  descriptor.base_addr = static_cast<unsigned>(reinterpret_cast<uintptr_t>(teb));
  descriptor.limit = sizeof set->block - 1;
  descriptor.seg_32bit = 1;
  descriptor.useable = 1;
  if (syscall(SYS_modify_ldt, 1, &descriptor, sizeof descriptor) != 0) {
    *error = std::string("cannot create the thread block's segment: ") + std::strerror(errno);
    return false;
  }
  module->previousFs = ReadFs();
  WriteFs(static_cast<uint16_t>((descriptor.entry_number << 3) | 0x4 | 0x3));  // LDT, ring 3
  module->thread = std::move(set);
  return true;
}

// --- Export guards ------------------------------------------------------------
// Every export is served through a small thunk that checks, when the function
// returns, that it removed its arguments from the stack, as stdcall functions
// do (every export of a plug-in module takes arguments). A function built
// without WINAPI or CALLBACK leaves them, and the caller's stack would be
// off from then on: the thunk stops the process with a message naming the
// export instead.

struct GuardedExport {
  const void* target;
  std::string name;  // "Roomstat_32.xfm!DIALOGMsgProc2 (ordinal 101)"
};
constexpr size_t MAX_GUARDED_EXPORTS = 1024;
GuardedExport guardedExports[MAX_GUARDED_EXPORTS];
std::atomic<size_t> guardedExportCount{0};

struct GuardFrame {
  uint32_t entrySp, returnAddress, index;
};
thread_local std::vector<GuardFrame> guardFrames;

// Thunk: push the export's index, jump to the shared entry.
constexpr size_t THUNK_BYTES = 10;

}  // namespace
}  // namespace headless

extern "C" {
void roomstat_pe_guard_enter();
void roomstat_pe_guard_return();

__attribute__((used)) const void* RoomstatPeGuardEnter(uint32_t index, uint32_t* entrySp) {
  headless::guardFrames.push_back(
      headless::GuardFrame{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entrySp)), *entrySp, index});
  return headless::guardedExports[index].target;
}

__attribute__((used)) uint32_t RoomstatPeGuardLeave(uint32_t spAfter) {
  const headless::GuardFrame frame = headless::guardFrames.back();
  headless::guardFrames.pop_back();
  if (spAfter <= frame.entrySp + 4) {
    std::fprintf(stderr,
                 "%s returned without removing its arguments from the stack: it is not a stdcall "
                 "(WINAPI or CALLBACK) function\n",
                 headless::guardedExports[frame.index].name.c_str());
    std::abort();
  }
  return frame.returnAddress;
}
}

// Entry: [esp] the export's index, [esp+4] the caller's return address.
// The return address is replaced by roomstat_pe_guard_return, which checks
// the stack and goes back to the caller with the function's eax:edx.
asm(R"(
  .text
  .globl roomstat_pe_guard_enter
roomstat_pe_guard_enter:
  popl %eax
  movl %esp, %ecx
  pushl %ecx
  pushl %eax
  call RoomstatPeGuardEnter
  addl $8, %esp
  movl $roomstat_pe_guard_return, (%esp)
  jmp *%eax
  .globl roomstat_pe_guard_return
roomstat_pe_guard_return:
  pushl %eax
  pushl %edx
  leal 8(%esp), %ecx
  pushl %ecx
  call RoomstatPeGuardLeave
  addl $4, %esp
  movl %eax, %ecx
  popl %edx
  popl %eax
  jmp *%ecx
)");

namespace headless {
namespace {

// Writes one thunk per export into `page` and points the exports at them.
bool GuardExports(PeModule* module, std::string* error) {
  if (module->exports.empty()) return true;
  const size_t bytes = module->exports.size() * THUNK_BYTES;
  void* page = mmap(nullptr, bytes, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  const size_t first = guardedExportCount.fetch_add(module->exports.size());
  if (page == MAP_FAILED || first + module->exports.size() > MAX_GUARDED_EXPORTS)
    return (*error = "no room for the export guards", false);
  module->thunks = static_cast<uint8_t*>(page);
  module->thunkBytes = bytes;
  for (size_t i = 0; i < module->exports.size(); ++i) {
    ModuleExport& entry = module->exports[i];
    guardedExports[first + i] = GuardedExport{
        reinterpret_cast<const void*>(entry.function),
        module->moduleName + "!" + entry.name + " (ordinal " + std::to_string(entry.ordinal) + ")"};
    uint8_t* thunk = module->thunks + i * THUNK_BYTES;
    const uint32_t index = static_cast<uint32_t>(first + i);
    const uint32_t jump = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&roomstat_pe_guard_enter) -
                                                reinterpret_cast<uintptr_t>(thunk + THUNK_BYTES));
    thunk[0] = 0x68;  // push imm32
    std::memcpy(thunk + 1, &index, 4);
    thunk[5] = 0xE9;  // jmp rel32
    std::memcpy(thunk + 6, &jump, 4);
    entry.function = reinterpret_cast<void (*)()>(thunk);
  }
  return true;
}

// --- Faults -------------------------------------------------------------------
// A fault while a module is loaded is reported with the place where it
// happened (which module, at which offset), then takes its default course.

struct MappedRange {
  std::atomic<uintptr_t> base{0};
  std::atomic<uintptr_t> size{0};
};
MappedRange mappedRanges[16];

void ReportFault(int signal, siginfo_t* info, void* context) {
  const uintptr_t eip = static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EIP]);
  char where[64] = "outside every loaded module";
  for (const MappedRange& range : mappedRanges) {
    const uintptr_t base = range.base.load(), size = range.size.load();
    if (eip >= base && eip - base < size)
      std::snprintf(where, sizeof where, "at offset 0x%lx of a loaded module",
                    static_cast<unsigned long>(eip - base));
  }
  char message[192];
  const int length = std::snprintf(message, sizeof message, "signal %d at 0x%lx, %s (address 0x%lx)\n",
                                   signal, static_cast<unsigned long>(eip), where,
                                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(info->si_addr)));
  if (length > 0) (void)!write(2, message, static_cast<size_t>(length));
  ::signal(signal, SIG_DFL);  // the instruction runs again and ends the process
}

void WatchForFaults(const PeModule* module) {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = &ReportFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) sigaction(signal, &action, nullptr);
  });
  // The module's stack may be what broke: report on a stack of our own.
  thread_local std::vector<char> faultStack(64 * 1024);
  stack_t stack{};
  stack.ss_sp = faultStack.data();
  stack.ss_size = faultStack.size();
  sigaltstack(&stack, nullptr);
  for (MappedRange& range : mappedRanges) {
    uintptr_t expected = 0;
    if (range.base.compare_exchange_strong(expected, reinterpret_cast<uintptr_t>(module->image))) {
      range.size.store(module->imageSize);
      return;
    }
  }
}

void StopWatching(const PeModule* module) {
  for (MappedRange& range : mappedRanges) {
    if (range.base.load() == reinterpret_cast<uintptr_t>(module->image)) {
      range.size.store(0);
      range.base.store(0);
    }
  }
}

// --- Mapping ------------------------------------------------------------------

bool MapImage(const std::vector<uint8_t>& file, PeModule* module, std::string* error) {
  auto fail = [error](const std::string& why) {
    *error = why;
    return false;
  };
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return fail("not a DOS/PE executable");
  const uint32_t pe = Read32(&file[0x3C]);
  if (pe > file.size() || file.size() - pe < 24 + 96 || std::memcmp(&file[pe], "PE\0\0", 4) != 0)
    return fail("no PE signature");
  const uint8_t* header = &file[pe + 4];
  const uint16_t sectionCount = Read16(header + 2);
  const uint16_t optionalSize = Read16(header + 16);
  if (Read16(header) != MACHINE_I386) return fail("not a module for 32-bit x86");
  if ((Read16(header + 18) & CHARACTERISTIC_DLL) == 0) return fail("not a DLL");
  const uint8_t* optional = header + 20;
  if (optionalSize < 96 + 16 * 8 || Read16(optional) != OPTIONAL_MAGIC_PE32) return fail("not a PE32 image");
  const size_t sectionTable = pe + 24 + optionalSize;
  if (sectionTable + 40u * sectionCount > file.size()) return fail("section table past the end of the file");

  module->entryRva = Read32(optional + 16);
  const uint32_t preferredBase = Read32(optional + 28);
  module->imageSize = Read32(optional + 56);
  const uint32_t headersSize = Read32(optional + 60);
  const uint32_t directoryCount = Read32(optional + 92);
  for (uint32_t i = 0; i < 16 && i < directoryCount; ++i) {
    module->directories[i][0] = Read32(optional + 96 + 8 * i);
    module->directories[i][1] = Read32(optional + 100 + 8 * i);
  }
  if (module->imageSize == 0 || headersSize > module->imageSize || headersSize > file.size())
    return fail("bad image or header size");

  void* mapped = mmap(reinterpret_cast<void*>(static_cast<uintptr_t>(preferredBase)), module->imageSize,
                      PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return fail(std::string("cannot map the image: ") + std::strerror(errno));
  module->image = static_cast<uint8_t*>(mapped);
  WatchForFaults(module);
  std::memcpy(module->image, file.data(), headersSize);
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint8_t* section = &file[sectionTable + 40u * i];
    const uint32_t virtualSize = Read32(section + 8), rva = Read32(section + 12);
    const uint32_t rawSize = Read32(section + 16), rawOffset = Read32(section + 20);
    const uint32_t copied = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
    if (!module->Holds(rva, virtualSize > copied ? virtualSize : copied) || rawOffset > file.size() ||
        copied > file.size() - rawOffset)
      return fail("section " + std::to_string(i + 1) + " lies outside the image or the file");
    std::memcpy(module->image + rva, file.data() + rawOffset, copied);
  }

  // Base relocations: the image moves from its preferred base.
  const uint32_t delta = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module->image)) - preferredBase;
  const uint32_t relocRva = module->directories[DIRECTORY_RELOCATION][0];
  const uint32_t relocSize = module->directories[DIRECTORY_RELOCATION][1];
  if (delta != 0 && relocSize == 0) return fail("the image cannot move (no base relocations)");
  if (!module->Holds(relocRva, relocSize)) return fail("relocations outside the image");
  for (uint32_t offset = 0; delta != 0 && offset + 8 <= relocSize;) {
    const uint32_t page = Read32(module->image + relocRva + offset);
    const uint32_t blockSize = Read32(module->image + relocRva + offset + 4);
    if (blockSize < 8 || blockSize > relocSize - offset) return fail("damaged relocation block");
    for (uint32_t e = 8; e + 2 <= blockSize; e += 2) {
      const uint16_t entry = Read16(module->image + relocRva + offset + e);
      const uint32_t type = entry >> 12, target = page + (entry & 0x0FFF);
      if (type == 0) continue;  // padding
      if (type != 3 || !module->Holds(target, 4))
        return fail("relocation of type " + std::to_string(type) + " at " + std::to_string(target));
      const uint32_t value = Read32(module->image + target) + delta;
      std::memcpy(module->image + target, &value, 4);
    }
    offset += blockSize;
  }
  return true;
}

// Binds every import through the table of implementations; an import not in
// the table is an error that names it.
bool BindImports(PeModule* module, const std::vector<ImportOverride>& overrides, std::string* error) {
  const uint32_t rva = module->directories[DIRECTORY_IMPORT][0];
  if (module->directories[DIRECTORY_IMPORT][1] == 0) return true;
  std::string unbound;
  for (uint32_t d = rva; module->Holds(d, 20); d += 20) {
    const uint8_t* descriptor = module->image + d;
    const uint32_t lookupRva = Read32(descriptor), nameRva = Read32(descriptor + 12);
    const uint32_t addressRva = Read32(descriptor + 16);
    if (nameRva == 0 && addressRva == 0)
      return unbound.empty() || (*error = "unbound imports:" + unbound, false);
    const char* dll = module->TextAt(nameRva);
    if (dll == nullptr) break;
    const uint32_t thunks = lookupRva != 0 ? lookupRva : addressRva;
    for (uint32_t i = 0;; ++i) {
      if (!module->Holds(thunks + 4 * i, 4) || !module->Holds(addressRva + 4 * i, 4)) break;
      const uint32_t thunk = Read32(module->image + thunks + 4 * i);
      if (thunk == 0) break;
      std::string name;
      if ((thunk & 0x80000000u) != 0) {
        name = "#" + std::to_string(thunk & 0xFFFF);
      } else if (const char* text = module->TextAt(thunk + 2)) {
        name = text;
      }
      const void* address = FindImportImplementation(dll, name.c_str());
      for (const ImportOverride& override : overrides)
        if (override.name == name && detail::SameTextIgnoringCase(override.dll, dll))
          address = override.address;
      if (address == nullptr) {
        unbound += " " + std::string(dll) + "!" + name;
        continue;
      }
      const uint32_t value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
      std::memcpy(module->image + addressRva + 4 * i, &value, 4);
    }
  }
  *error = "damaged import table";
  return false;
}

bool ReadExports(PeModule* module, std::string* error) {
  const uint32_t rva = module->directories[DIRECTORY_EXPORT][0];
  if (module->directories[DIRECTORY_EXPORT][1] == 0) return true;
  if (!module->Holds(rva, 40)) return (*error = "export directory outside the image", false);
  const uint8_t* directory = module->image + rva;
  const char* name = module->TextAt(Read32(directory + 12));
  const uint32_t base = Read32(directory + 16), functions = Read32(directory + 20);
  const uint32_t names = Read32(directory + 24), functionsRva = Read32(directory + 28);
  const uint32_t namesRva = Read32(directory + 32), ordinalsRva = Read32(directory + 36);
  if (name == nullptr || !module->Holds(functionsRva, 4 * functions) || !module->Holds(namesRva, 4 * names) ||
      !module->Holds(ordinalsRva, 2 * names))
    return (*error = "damaged export directory", false);
  module->moduleName = name;
  for (uint32_t i = 0; i < functions; ++i) {
    const uint32_t address = Read32(module->image + functionsRva + 4 * i);
    if (address == 0) continue;
    if (!module->Holds(address, 1)) return (*error = "export outside the image", false);
    const char* exportName = "";
    for (uint32_t n = 0; n < names; ++n) {
      if (Read16(module->image + ordinalsRva + 2 * n) == i) {
        exportName = module->TextAt(Read32(module->image + namesRva + 4 * n));
        if (exportName == nullptr) return (*error = "damaged export name", false);
      }
    }
    module->exports.push_back(ModuleExport{exportName, static_cast<WORD>(base + i),
                                           reinterpret_cast<void (*)()>(module->image + address)});
  }
  return true;
}

// The TLS directory: the slot index (always 0 here), the initial data of
// the thread's TLS block and the callbacks.
bool ReadTls(PeModule* module, std::string* error) {
  const uint32_t rva = module->directories[DIRECTORY_TLS][0];
  if (module->directories[DIRECTORY_TLS][1] == 0) return true;
  if (!module->Holds(rva, 24)) return (*error = "TLS directory outside the image", false);
  const uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module->image));
  auto toRva = [base](uint32_t address) { return address - base; };
  const uint8_t* directory = module->image + rva;
  const uint32_t start = toRva(Read32(directory)), end = toRva(Read32(directory + 4));
  const uint32_t index = toRva(Read32(directory + 8)), callbacks = Read32(directory + 12);
  if (end < start || !module->Holds(start, end - start) || !module->Holds(index, 4))
    return (*error = "damaged TLS directory", false);
  auto& data = module->thread->tlsData;
  data.assign(module->image + start, module->image + end);
  data.resize(data.size() + Read32(directory + 16), 0);
  module->thread->tlsSlots[0] = data.data();
  std::memset(module->image + index, 0, 4);
  for (uint32_t at = callbacks != 0 ? toRva(callbacks) : module->imageSize; module->Holds(at, 4); at += 4) {
    const uint32_t callback = Read32(module->image + at);
    if (callback == 0) break;
    if (!module->Holds(toRva(callback), 1)) return (*error = "TLS callback outside the image", false);
    module->tlsCallbacks.push_back(callback);
  }
  return true;
}

// Calls the TLS callbacks, then the entry point (as the Windows loader does
// for both attach and detach).
bool NotifyModule(PeModule* module, DWORD reason) {
  const HINSTANCE handle = reinterpret_cast<HINSTANCE>(module->image);
  for (uint32_t callback : module->tlsCallbacks)
    reinterpret_cast<TlsCallback>(static_cast<uintptr_t>(callback))(handle, reason, nullptr);
  if (module->entryRva == 0) return true;
  auto entry = reinterpret_cast<DllEntry>(module->image + module->entryRva);
  return entry(handle, reason, nullptr) != FALSE;
}

// --- Resources ------------------------------------------------------------------

struct ResourceTree {
  const PeModule* module;
  uint32_t rva, size;
  bool Holds(uint32_t offset, uint32_t bytes) const { return offset <= size && bytes <= size - offset; }
  // The entries of the directory at `offset`: (name or id, offset, is directory).
  struct Entry {
    std::string name;  // "" for a numeric id
    int id;
    uint32_t offset;
    bool directory;
  };
  std::vector<Entry> Entries(uint32_t offset) const {
    std::vector<Entry> entries;
    if (!Holds(offset, 16)) return entries;
    const uint8_t* base = module->image + rva;
    const uint32_t count = Read16(base + offset + 12) + Read16(base + offset + 14);
    for (uint32_t i = 0; i < count && Holds(offset + 16 + 8 * i, 8); ++i) {
      const uint32_t name = Read32(base + offset + 16 + 8 * i), target = Read32(base + offset + 20 + 8 * i);
      Entry entry{"", -1, target & 0x7FFFFFFFu, (target & 0x80000000u) != 0};
      if ((name & 0x80000000u) != 0) {
        const uint32_t at = name & 0x7FFFFFFFu;
        const uint32_t length = Holds(at, 2) ? Read16(base + at) : 0;
        for (uint32_t c = 0; c < length && Holds(at + 2 + 2 * c, 2); ++c)
          entry.name.push_back(static_cast<char>(Read16(base + at + 2 + 2 * c) & 0xFF));
      } else {
        entry.id = static_cast<int>(name & 0xFFFF);
      }
      entries.push_back(entry);
    }
    return entries;
  }
  // The data of the first language under a name's directory.
  std::string_view Data(uint32_t nameDirectory) const {
    const std::vector<Entry> languages = Entries(nameDirectory);
    if (languages.empty() || languages[0].directory || !Holds(languages[0].offset, 16)) return {};
    const uint8_t* data = module->image + rva + languages[0].offset;
    const uint32_t dataRva = Read32(data), dataSize = Read32(data + 4);
    if (!module->Holds(dataRva, dataSize)) return {};
    return std::string_view(reinterpret_cast<const char*>(module->image + dataRva), dataSize);
  }
  std::vector<Entry> Names(int type) const {
    for (const Entry& entry : Entries(0))
      if (entry.directory && entry.name.empty() && entry.id == type) return Entries(entry.offset);
    return {};
  }
};

ResourceTree Resources(const PeModule* module) {
  ResourceTree tree{module, module->directories[DIRECTORY_RESOURCE][0],
                    module->directories[DIRECTORY_RESOURCE][1]};
  if (!module->Holds(tree.rva, tree.size)) tree.size = 0;
  return tree;
}

std::vector<DialogResource> DialogResources(const PeModule* module) {
  const ResourceTree tree = Resources(module);
  std::vector<DialogResource> dialogs;
  for (const auto& entry : tree.Names(RESOURCE_TYPE_DIALOG)) {
    if (!entry.directory || !entry.name.empty()) continue;
    const std::string_view data = tree.Data(entry.offset);
    dialogs.push_back(DialogResource{entry.id, reinterpret_cast<const uint8_t*>(data.data()), data.size()});
  }
  return dialogs;
}

void Unload(PeModule* module) {
  if (module->attached) NotifyModule(module, DLL_DETACH);
  if (module->registered) UnregisterModule(reinterpret_cast<HINSTANCE>(module->image));
  if (module->thread) WriteFs(module->previousFs);
  if (module->image != nullptr) {
    StopWatching(module);
    munmap(module->image, module->imageSize);
  }
  if (module->thunks != nullptr) munmap(module->thunks, module->thunkBytes);
  delete module;
}

}  // namespace

PeModule* LoadPeModule(const std::string& path, std::string* error,
                       const std::vector<ImportOverride>& overrides) {
  std::string reason;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return nullptr;
  }
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto* module = new PeModule;
  bool ok = MapImage(file, module, &reason) && BindImports(module, overrides, &reason) &&
            ReadExports(module, &reason) && GuardExports(module, &reason) &&
            InstallThreadBlock(module, &reason) && ReadTls(module, &reason);
  if (ok) {
    ok = RegisterModule(
        reinterpret_cast<HINSTANCE>(module->image),
        ModuleExports{module->moduleName.c_str(), module->exports.data(), module->exports.size()},
        DialogResources(module), &reason);
    module->registered = ok;
  }
  if (ok) {
    module->attached = NotifyModule(module, DLL_ATTACH);
    if (!module->attached) {
      ok = false;
      reason = "the entry point refused DLL_PROCESS_ATTACH";
    }
  }
  if (!ok) {
    *error = path + ": " + reason;
    Unload(module);
    return nullptr;
  }
  return module;
}

void FreePeModule(PeModule* module) {
  if (module != nullptr) Unload(module);
}

HINSTANCE PeModuleHandle(const PeModule* module) { return reinterpret_cast<HINSTANCE>(module->image); }

std::string_view PeResource(const PeModule* module, int type, int id) {
  const ResourceTree tree = Resources(module);
  for (const auto& entry : tree.Names(type))
    if (entry.directory && entry.name.empty() && entry.id == id) return tree.Data(entry.offset);
  return {};
}

std::string_view PeResource(const PeModule* module, int type, const std::string& name) {
  const ResourceTree tree = Resources(module);
  for (const auto& entry : tree.Names(type))
    if (entry.directory && entry.name == name) return tree.Data(entry.offset);
  return {};
}

}  // namespace headless

#else  // not 32-bit x86 Linux

namespace headless {

struct PeModule {};

PeModule* LoadPeModule(const std::string& path, std::string* error, const std::vector<ImportOverride>&) {
  *error = path + ": Windows modules run only on the 32-bit x86 Linux build";
  return nullptr;
}
void FreePeModule(PeModule*) {}
HINSTANCE PeModuleHandle(const PeModule*) { return nullptr; }
std::string_view PeResource(const PeModule*, int, int) { return {}; }
std::string_view PeResource(const PeModule*, int, const std::string&) { return {}; }
}  // namespace headless

#endif
