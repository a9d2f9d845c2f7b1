// Interaural cross-correlation: IACC, W IACC and Tau IACC of one band.
#pragma once

#include <cstdint>

#include "interface/xfm_types.h"

// Writes iacc[band], wIacc[band], tauIacc[band] unless it stops with a
// message. Band 0 fixes the window (iaccStart, iaccEnd). Returns 1.
int32_t ComputeIacc(const float* left, const float* right, int16_t band, XfmContext* ctx, double* iacc,
                    double* wIacc, double* tauIacc);
