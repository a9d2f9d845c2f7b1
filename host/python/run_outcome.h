// What Python receives of a run beside the program's json object: the ISO
// 3382 evaluation in the json's layout (channels[c]["iso"], "pairIso"),
// read from the run record through the one cell rule (cells.h), and the
// decay curves with their fits that the HTML report draws. The package
// reads the json's own "iso" blocks where the json has them and these
// otherwise; a test checks that the two agree.
#pragma once

#include <pybind11/pybind11.h>

#include "host/cli/file_result.h"

namespace pyhost {

// Per used channel {"onsetSeconds", "bands": [...], "singleNumbers": {...}}
// (every row of the layout, in row order), or None without an evaluation.
pybind11::object IsoChannels(const cli::FileResult& result);

// {"pair", "bands": [...], "singleNumbers": {...}}, or None when no pair
// was declared or evaluated.
pybind11::object PairIso(const cli::FileResult& result);

// Per used channel, per band row: the plug-in's level curve and fits
// ("plugin") and the ISO decay curve, envelope and fits ("iso"), None where
// a band has none. Empty unless curves were kept.
pybind11::list DecayCurves(const cli::FileResult& result);

}  // namespace pyhost
