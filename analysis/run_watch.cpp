#include "analysis/run_watch.h"

namespace {

#if defined(_WIN32)
// The module's hosts are editors, which know nothing of watchers.
const RunWatcher* watcher = nullptr;
#else
thread_local const RunWatcher* watcher = nullptr;
#endif

}  // namespace

const RunWatcher* WatchRuns(const RunWatcher* installed) {
  const RunWatcher* previous = watcher;
  watcher = installed;
  return previous;
}

void ReportChannel(const ChannelTrace& trace) {
  if (watcher != nullptr && watcher->channel != nullptr) watcher->channel(watcher->context, trace);
}

void ReportBand(const BandTrace& trace) {
  if (watcher != nullptr && watcher->band != nullptr) watcher->band(watcher->context, trace);
}

void ReportBandSignal(const BandSignalTrace& trace) {
  if (watcher != nullptr && watcher->bandSignal != nullptr) watcher->bandSignal(watcher->context, trace);
}

void ReportLateral(const LateralTrace& trace) {
  if (watcher != nullptr && watcher->lateral != nullptr) watcher->lateral(watcher->context, trace);
}

const PartRunner* LentParts() { return watcher != nullptr ? watcher->parts : nullptr; }
