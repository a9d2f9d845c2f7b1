// The eleven parameters of one band of one channel, with their marks.
#pragma once

#include <cstdint>

#include "interface/settings.h"

// signal is consumed (it ends as the level curve). Writes all eleven flags;
// writes a value only when it computes it.
void ComputeBandParameters(float* signal, float* values, char* flags, const AnalysisSettings* settings,
                           uint32_t t0, double noisePower, uint32_t n, float sampleRate);
