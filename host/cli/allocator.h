// The allocator of the programs that run analyses (roomstat and its
// benchmarks). A run touches tens of megabytes once each (the decoded
// samples, the plug-in's working blocks, the band signals); in 4 KB pages
// the faults cost more than the filtering. Linked with jemalloc
// (ROOMSTAT_JEMALLOC), such a program defines
//
//   extern "C" { const char* malloc_conf = ROOMSTAT_JEMALLOC_OPTIONS; }
//
// which jemalloc reads at start-up (MALLOC_CONF in the environment still
// adds to it): its extents are advised as transparent huge pages. Freed
// memory is kept for the next allocation rather than handed back to the
// system (no decay; no separate arena for large blocks, whose frees were
// handed back at once): a run's buffers are freed when it ends, where
// returning their pages is work for nothing, and a batch's next file
// reuses them. A program's memory then stays at its peak until it exits.
#pragma once

#define ROOMSTAT_JEMALLOC_OPTIONS \
  "thp:always,metadata_thp:always,oversize_threshold:0,dirty_decay_ms:-1,muzzy_decay_ms:-1"
