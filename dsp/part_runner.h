// More cores for one computation, lent by a host: run(context, parts, job,
// jobContext) calls job(jobContext, part) once for every part in
// 0 .. parts - 1 and returns when all have returned; the parts may run at
// once, in any order. Each part writes only its own outputs, so the results
// are the same bits however they run.
#pragma once

struct PartRunner {
  void* context;
  void (*run)(void* context, int parts, void (*job)(void* jobContext, int part), void* jobContext);
};
