// The allocator of the programs that run analyses (roomstat and its
// benchmarks). A run touches tens of megabytes once each (the decoded
// samples, the plug-in's working blocks, the band signals); in 4 KB pages
// the faults cost more than the filtering. Linked with jemalloc
// (ROOMSTAT_JEMALLOC), such a program defines
//
//   extern "C" { const char* malloc_conf = ROOMSTAT_JEMALLOC_OPTIONS; }
//
// which jemalloc reads at start-up (MALLOC_CONF in the environment still
// adds to it): its extents are advised as transparent huge pages.
#pragma once

#define ROOMSTAT_JEMALLOC_OPTIONS "thp:always,metadata_thp:always"
