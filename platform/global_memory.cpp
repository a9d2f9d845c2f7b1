// Global memory with Win32 semantics. A fixed block's handle is its data
// address; a movable block gets an opaque handle that is never a data
// address (handles are 4 mod 8, heap blocks are 8-aligned), so code that
// forgets to lock a movable block fails here as it would on Windows. The
// handle table is process-wide: a host may allocate on one thread and free
// on another. Bad handles make a call fail, never crash.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/internal.h"

namespace {

struct Block {
  void* data = nullptr;
  SIZE_T bytes = 0;
  bool movable = false;
  int lockCount = 0;  // movable blocks only; fixed blocks always report 0
  std::thread::id owner;
};

struct BlockTable {
  std::mutex mutex;
  std::unordered_map<HGLOBAL, Block> blocks;
  uintptr_t nextMovableHandle = 0x20000004u;
};

BlockTable& Table() {
  static BlockTable* table = new BlockTable;  // never destroyed: hosts may free blocks at exit
  return *table;
}

constexpr uintptr_t MOVABLE_HANDLE_STEP = 8;
// Windows' heap hands blocks of this size and above to the virtual memory
// manager (0x7F000 bytes on a 32-bit process).
constexpr SIZE_T DIRECT_ALLOCATION_BYTES = 0x7F000;
constexpr SIZE_T STALE_MARK_BYTES = 64 * 1024;

}  // namespace

namespace headless::detail {

bool FailureInjection::NextCallFails() {
  if (!active) return false;
  if (succeed > 0) {
    --succeed;
    return false;
  }
  if (fail > 0) {
    --fail;
    return true;
  }
  active = false;
  return false;
}

std::string ReadTextBlock(HGLOBAL block) {
  // Reads without GlobalLock, so that looking does not use up an injected
  // lock failure or disturb a lock count.
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.blocks.find(block);
  if (it == table.blocks.end()) return std::string();
  const char* text = static_cast<const char*>(it->second.data);
  const void* end = std::memchr(text, '\0', it->second.bytes);
  return std::string(text, end ? static_cast<const char*>(end) - text : it->second.bytes);
}

}  // namespace headless::detail

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (headless::detail::CurrentThread().allocFailures.NextCallFails()) return nullptr;
  const SIZE_T allocated = bytes == 0 ? 1 : bytes;
  void* data = (flags & GMEM_ZEROINIT) ? std::calloc(allocated, 1) : std::malloc(allocated);
  if (data == nullptr) return nullptr;
  // Stale contents show in the blocks that Windows carves from its heap,
  // marked over their first STALE_MARK_BYTES (enough for any reader that
  // trusts fresh memory to meet them; marking all of a block every run
  // costs a batch of short files more than its analyses). A block above the
  // heap's threshold for direct allocations is left untouched, as Windows
  // maps such a block from pages it brings in only when they are first
  // touched (a mark would bring in a page, or a 2 MB huge page, that the
  // block's user may never reach: a mono run's pair buffers).
  if (!(flags & GMEM_ZEROINIT) && allocated < DIRECT_ALLOCATION_BYTES)
    std::memset(data, 0xCD, std::min(allocated, STALE_MARK_BYTES));
  Block block;
  block.data = data;
  block.bytes = bytes;
  block.movable = (flags & GMEM_MOVEABLE) != 0;
  block.owner = std::this_thread::get_id();
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  HGLOBAL handle;
  if (block.movable) {
    do {
      handle = reinterpret_cast<HGLOBAL>(table.nextMovableHandle);
      table.nextMovableHandle += MOVABLE_HANDLE_STEP;
      if (table.nextMovableHandle < MOVABLE_HANDLE_STEP) table.nextMovableHandle = 0x20000004u;
    } while (table.blocks.count(handle) != 0);
  } else {
    handle = reinterpret_cast<HGLOBAL>(data);
  }
  table.blocks[handle] = block;
  return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory) {
  if (headless::detail::CurrentThread().lockFailures.NextCallFails()) return nullptr;
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.blocks.find(memory);
  if (it == table.blocks.end()) return nullptr;
  if (it->second.movable) ++it->second.lockCount;
  return it->second.data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.blocks.find(memory);
  if (it == table.blocks.end() || !it->second.movable || it->second.lockCount == 0) return FALSE;
  --it->second.lockCount;
  return it->second.lockCount > 0 ? TRUE : FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
  if (memory == nullptr) return nullptr;
  void* data = nullptr;
  {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.blocks.find(memory);
    if (it == table.blocks.end()) return memory;
    data = it->second.data;
    table.blocks.erase(it);
  }
  std::free(data);
  return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.blocks.find(memory);
  return it == table.blocks.end() ? 0 : it->second.bytes;
}

}  // extern "C"

namespace headless {

void FailGlobalAlloc(int succeedFirst, int failCount) {
  detail::FailureInjection& injection = detail::CurrentThread().allocFailures;
  injection.active = succeedFirst >= 0;
  injection.succeed = succeedFirst;
  injection.fail = failCount;
}

void FailGlobalLock(int succeedFirst, int failCount) {
  detail::FailureInjection& injection = detail::CurrentThread().lockFailures;
  injection.active = succeedFirst >= 0;
  injection.succeed = succeedFirst;
  injection.fail = failCount;
}

size_t LiveGlobalBlocks() {
  const std::thread::id self = std::this_thread::get_id();
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  size_t count = 0;
  for (const auto& entry : table.blocks) count += entry.second.owner == self ? 1 : 0;
  return count;
}

int GlobalLockCount(HGLOBAL memory) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.blocks.find(memory);
  return it == table.blocks.end() ? 0 : it->second.lockCount;
}

}  // namespace headless
