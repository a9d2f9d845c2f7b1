// First arrivals of a B-format pair and the lateral energy fraction LF.
#pragma once

#include <cstdint>

#include "interface/xfm_types.h"

// LF of one band; 1.0 on every failure. Band 0 finds and stores the first
// arrivals (arrivalLeft, arrivalRight) that the other bands reuse.
double ComputeLateralFraction(const float* w, const float* y, int16_t band, XfmContext* ctx);
