// The sections of the report about the hosts' ISO 3382 evaluation
// (cli::EvaluateIsoFile): decay times and their validity, energy ratios from
// the ISO onset, the spatial quantities of declared pairs, and the bias that
// the octave filters' leakage gives a decay-time profile rising toward low
// frequencies.
#pragma once

#include <vector>

#include "tests/conformance/filter_section.h"
#include "tests/conformance/report_rows.h"

namespace conformance {

// Decay times, validity, curvature, non-linearity, uncertainty, truncation,
// and the filter-class warning of the bands whose measured class is none.
Section IsoDecaySection(const std::vector<BandVerdict>& verdicts);
// C50, C80, D50, Ts from the ISO onset, and the onset itself.
Section IsoEnergyRatioSection();
// J_LF, J_LFC and IACC on synthetic pairs (iso_spatial_section.cpp).
Section SpatialSection();
// Decay times of a response whose T rises toward low frequencies, ISO and
// plug-in, against each band's own T (leakage_section.cpp).
Section LeakageSection();

}  // namespace conformance
