// The subcommands `roomstat sweep` (writes an exponential sine sweep with its
// parameters) and `roomstat deconvolve` (turns recordings of it into an
// impulse response).
#pragma once

namespace cli {

// argv[1] is "sweep" or "deconvolve". Returns the program's exit code.
int RunSweepSubcommand(int argc, char** argv);

}  // namespace cli
