// The allocator of the programs that run analyses (roomstat and its
// benchmarks). A run touches tens of megabytes once each (the decoded
// samples, the plug-in's working blocks, the band signals); in 4 KB pages
// the faults cost more than the filtering. Linked with jemalloc
// (ROOMSTAT_JEMALLOC), such a program defines
//
//   extern "C" { const char* malloc_conf = ROOMSTAT_JEMALLOC_OPTIONS; }
//
// which jemalloc reads at start-up (MALLOC_CONF in the environment still
// adds to it), and calls cli::AlignAllocatorMappings() before its work.
// roomstat links jemalloc's archive and the C++ runtime statically
// (cmake/Cli.cmake): the shared jemalloc would load the shared C++ runtime.
//
// - Extents are advised as transparent huge pages, and every mapping of
//   2 MB or more starts on a 2 MB boundary: a mapping that does not leaves
//   its first stretch, up to the next boundary, in 4 KB pages (a 3.8 MB
//   selection read into such a mapping took 256 faults of 4 KB and 2.8 ms
//   more than in an aligned one).
// - One arena for every thread: the mappings are aligned through the
//   arena's hooks, and a run's few threads allocate little.
// - Freed memory is kept for the next allocation rather than handed back to
//   the system (no decay; no separate arena for large blocks, whose frees
//   were handed back at once): a run's buffers are freed when it ends, where
//   returning their pages is work for nothing, and a batch's next file
//   reuses them. A program's memory then stays at its peak until it exits.
#pragma once

// clang-format off
#define ROOMSTAT_JEMALLOC_OPTIONS \
  "thp:always,metadata_thp:always,narenas:1,oversize_threshold:0," \
  "dirty_decay_ms:-1,muzzy_decay_ms:-1"
// clang-format on

#ifdef ROOMSTAT_JEMALLOC

#include <jemalloc/jemalloc.h>

namespace cli {

namespace allocator_detail {

inline constexpr size_t HUGE_PAGE_BYTES = size_t{2} << 20;

inline extent_hooks_t* defaultHooks = nullptr;
inline extent_hooks_t alignedHooks;

// jemalloc's own mapping, asked for huge-page alignment when it is that
// large (a new mapping only: new_addr asks to extend one in place).
inline void* AlignedExtentAlloc(extent_hooks_t*, void* newAddr, size_t size, size_t alignment, bool* zero,
                                bool* commit, unsigned arena) {
  if (newAddr == nullptr && size >= HUGE_PAGE_BYTES && alignment < HUGE_PAGE_BYTES)
    alignment = HUGE_PAGE_BYTES;
  return defaultHooks->alloc(defaultHooks, newAddr, size, alignment, zero, commit, arena);
}

}  // namespace allocator_detail

// Installs the aligning hooks on the one arena; once, before the program's
// work. Without them (an error here) jemalloc keeps its own.
inline void AlignAllocatorMappings() {
  using namespace allocator_detail;
  extent_hooks_t* current = nullptr;
  size_t size = sizeof current;
  if (defaultHooks != nullptr || mallctl("arena.0.extent_hooks", &current, &size, nullptr, 0) != 0) return;
  defaultHooks = current;
  alignedHooks = *current;
  alignedHooks.alloc = &AlignedExtentAlloc;
  extent_hooks_t* hooks = &alignedHooks;
  mallctl("arena.0.extent_hooks", nullptr, nullptr, &hooks, sizeof hooks);
}

}  // namespace cli

#else

namespace cli {
inline void AlignAllocatorMappings() {}
}  // namespace cli

#endif
