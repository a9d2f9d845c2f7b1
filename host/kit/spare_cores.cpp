#include "host/kit/spare_cores.h"

#include <algorithm>
#include <thread>

namespace hostkit {

namespace {

// Threads beyond the run's own, at most.
constexpr int MAX_THREADS = 7;

int ThreadsFor(int parts) {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(std::min(parts, cores) - 1, 0, MAX_THREADS);
}

void RunOnThreads(void*, int parts, void (*job)(void* jobContext, int part), void* jobContext) {
  PartQueue queue{{0}, parts, job, jobContext};
  std::thread threads[MAX_THREADS];
  int started = 0;
  for (const int wanted = ThreadsFor(parts); started < wanted; ++started) {
    try {
      threads[started] = std::thread(&PartQueue::TakeAll, &queue);
    } catch (...) {
      break;  // no thread: the parts run on the threads there are
    }
  }
  queue.TakeAll();
  for (int i = 0; i < started; ++i) threads[i].join();
}

const PartRunner SPARE_CORES{nullptr, &RunOnThreads};

}  // namespace

const PartRunner* SpareCores() { return &SPARE_CORES; }

}  // namespace hostkit
