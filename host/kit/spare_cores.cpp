#include "host/kit/spare_cores.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace hostkit {

namespace {

// Threads beyond the run's own, at most.
constexpr int MAX_THREADS = 7;

struct SharedParts {
  std::atomic<int> next{0};
  int parts;
  void (*job)(void* jobContext, int part);
  void* jobContext;
};

// Takes the next part not yet taken until none is left: a thread that
// finishes early takes on the parts the others have not reached.
void TakeParts(SharedParts* shared) {
  for (int part; (part = shared->next.fetch_add(1)) < shared->parts;) shared->job(shared->jobContext, part);
}

int ThreadsFor(int parts) {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(std::min(parts, cores) - 1, 0, MAX_THREADS);
}

void RunOnThreads(void*, int parts, void (*job)(void* jobContext, int part), void* jobContext) {
  SharedParts shared;
  shared.parts = parts;
  shared.job = job;
  shared.jobContext = jobContext;
  std::thread threads[MAX_THREADS];
  int started = 0;
  for (const int wanted = ThreadsFor(parts); started < wanted; ++started) {
    try {
      threads[started] = std::thread(&TakeParts, &shared);
    } catch (...) {
      break;  // no thread: the parts run on the threads there are
    }
  }
  TakeParts(&shared);
  for (int i = 0; i < started; ++i) threads[i].join();
}

const PartRunner SPARE_CORES{nullptr, &RunOnThreads};

}  // namespace

const PartRunner* SpareCores() { return &SPARE_CORES; }

}  // namespace hostkit
