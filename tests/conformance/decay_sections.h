// The sections of the report about decays and energy ratios: ideal
// exponential decays through ComputeBandParameters, synthetic responses
// through the whole plug-in in the host kit, and one response at several
// sampling rates after the hosts' resampling.
#pragma once

#include <vector>

#include "tests/conformance/report_rows.h"

namespace conformance {

std::vector<Section> DecaySections();

}  // namespace conformance
