// The sweep measurement for Python: the exponential sweep that is played
// (host/sweep/sweep_signal.h) and the deconvolution of its recording
// (host/sweep/deconvolution.h), with the parameters as a dict of the
// package's SweepParameters fields.
#pragma once

#include <pybind11/pybind11.h>

#include "host/sweep/sweep_signal.h"

namespace pyhost {

// The parameters from the package's dict (start_hz, end_hz, seconds, rate,
// level_dbfs, fade_in, fade_out, silence, repetitions); ValueError with the
// sweep's sentence when they do not pass CheckSweepParameters.
sweep::SweepParameters SweepParametersOf(const pybind11::dict& fields);

void BindSweep(pybind11::module_& m);

}  // namespace pyhost
