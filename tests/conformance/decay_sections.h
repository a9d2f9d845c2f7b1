// The sections of the report about decays and energy ratios: ideal
// exponential decays through ComputeBandParameters, synthetic responses
// through the whole plug-in in the host kit, and one response at several
// sampling rates after the hosts' resampling.
#pragma once

#include <vector>

#include "tests/conformance/report_rows.h"

namespace conformance {

// Energy ratios of ideal decays, the plug-in's evaluation, sampling rates.
std::vector<Section> DecaySections();
// The whole plug-in on synthetic decays (plugin_sections.cpp).
Section PluginEvaluationSection();
// One response at 48 and 96 kHz after the host's resampling (plugin_sections.cpp).
Section SampleRateSection();

}  // namespace conformance
