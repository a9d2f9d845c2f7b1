// Cores a host lends a run for the independent parts of one step (see
// PartRunner): the run's thread and one more thread per further core (at
// most as many threads as parts) take the parts in turn until none is left,
// all joined before the step goes on.
#pragma once

#include "dsp/part_runner.h"

namespace hostkit {

// The runner; when a thread cannot be started, the threads there are take
// its parts. Nothing it does throws.
const PartRunner* SpareCores();

}  // namespace hostkit
