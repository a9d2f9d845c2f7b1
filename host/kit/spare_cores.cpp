#include "host/kit/spare_cores.h"

#include <thread>

namespace hostkit {

namespace {

// Parts beyond this many threads run on the calling thread.
constexpr int MAX_THREADS = 7;

void RunOnThreads(void*, int parts, void (*job)(void* jobContext, int part), void* jobContext) {
  std::thread threads[MAX_THREADS];
  int started = 0;
  for (; started < MAX_THREADS && started + 1 < parts; ++started) {
    try {
      threads[started] = std::thread(job, jobContext, started + 1);
    } catch (...) {
      break;  // no thread: this part and the ones after it run here
    }
  }
  job(jobContext, 0);
  for (int part = started + 1; part < parts; ++part) job(jobContext, part);
  for (int i = 0; i < started; ++i) threads[i].join();
}

const PartRunner SPARE_CORES{nullptr, &RunOnThreads};

}  // namespace

const PartRunner* SpareCores() { return &SPARE_CORES; }

}  // namespace hostkit
