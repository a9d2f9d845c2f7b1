// Small routines on one band signal: its first arrival and its noise floor.
#pragma once

#include <cstdint>

// Smallest i with |signal[i]| >= threshold, or length when there is none.
uint32_t FindFirstArrival(const float* signal, uint32_t length, double threshold);
// Mean square of the last length/16 samples (length/16 >= 1).
double EstimateNoiseFloor(const float* signal, uint32_t length);
