// More cores for one computation, lent by a host: run(context, parts, job,
// jobContext) calls job(jobContext, part) once for every part in
// 0 .. parts - 1 and returns when all have returned; the parts may run at
// once, in any order. Each part writes only its own outputs, so the results
// are the same bits however they run.
#pragma once

#include <atomic>

struct PartRunner {
  void* context;
  void (*run)(void* context, int parts, void (*job)(void* jobContext, int part), void* jobContext);
};

// The parts of one run, taken in turn by whichever thread is free: each
// thread calls TakeAll, which runs the next part not yet taken until none is
// left, so that a thread that finishes early takes on the parts the others
// have not reached.
struct PartQueue {
  std::atomic<int> next{0};
  int parts;
  void (*job)(void* jobContext, int part);
  void* jobContext;

  void TakeAll() {
    for (int part; (part = next.fetch_add(1)) < parts;) job(jobContext, part);
  }
};
