// Cores a host lends a run for the independent parts of one step (see
// PartRunner): part 0 on the run's thread, each other part on a thread of
// its own, all joined before the step goes on.
#pragma once

#include "dsp/part_runner.h"

namespace hostkit {

// The runner; a part whose thread cannot be started runs on the calling
// thread after the others started. Nothing it does throws.
const PartRunner* SpareCores();

}  // namespace hostkit
