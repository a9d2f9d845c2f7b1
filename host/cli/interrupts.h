// Ctrl-C, SIGTERM and SIGHUP: the first asks the running analyses to stop
// (the band analyses stop after their current level; a lateral pass, once
// started, runs to its end) and no further file to start; the second ends
// the program at once, removing any output file half written.
#pragma once

#include <atomic>

namespace cli {

// Set by the first interrupt: the running band analyses and resampling stop
// after their current step, and no further file starts.
extern std::atomic<bool> g_stopRequested;

// Installs the handlers (the first interrupt sets g_stopRequested); also
// makes an output larger than the file-size limit a write error rather than
// the end of the program.
void InstallInterruptHandlers();

}  // namespace cli
