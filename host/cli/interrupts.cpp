#include "host/cli/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "host/cli/output_file.h"
#include "host/cli/run_file.h"

namespace cli {

namespace {

std::atomic<int> g_interruptCount{0};

void Say(const char* text) {
  const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

extern "C" void OnInterrupt(int) {
  if (g_interruptCount.fetch_add(1) == 0) {
    g_stopRequested.store(true);
    AbandonBlockedWrite();
    Say("\nroomstat: interrupted: no further file is analysed; a running band analysis stops after its "
        "current level, a running lateral pass (LF, IACC) cannot be stopped and must finish. "
        "Interrupt again to end at once.\n");
    return;
  }
  RemovePendingTemporaries();
  Say("\nroomstat: ended at once\n");
  _exit(EXIT_INTERRUPTED);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a call blocked on a FIFO or a device returns EINTR, so
  // that an interrupt always ends a blocked write.
  action.sa_flags = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

}  // namespace cli
