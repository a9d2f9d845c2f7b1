#include "dsp/signal.h"

#include <cmath>

#include "interface/build_guard.h"

uint32_t FindFirstArrival(const float* signal, uint32_t length, double threshold) {
  for (uint32_t i = 0; i < length; ++i) {
    if (std::fabs(static_cast<double>(signal[i])) >= threshold) return i;
  }
  return length;
}

double EstimateNoiseFloor(const float* signal, uint32_t length) {
  const uint32_t count = length / 16;
  double sum = 0.0;
  for (uint32_t i = length - count; i < length; ++i) {
    const double x = signal[i];
    sum += x * x;
  }
  return sum / count;
}
