// C50, C80, D50 and Ts of one band from the ISO onset (the rules are in
// iso3382_decay.h). Internal to the ISO evaluation; callers use
// EvaluateIsoBand.
#pragma once

#include <cstdint>
#include <vector>

#include "acoustics/iso3382_decay.h"

// Sums of the backward pass over [onset sample, truncation).
struct IsoEnergySums {
  double energy;  // sum of x^2 - noise
  double moment;  // sum of (k - onset sample) (x^2 - noise)
};

struct IsoEnergyInput {
  const float* samples;
  uint32_t length;
  double rateHz;
  double onsetPosition;         // fractional sample index of the onset
  uint32_t truncation;          // truncation index (> onset sample)
  double compensation;          // energy beyond the truncation point
  double lateSlopeDbPerSecond;  // the compensation's decay (< 0 when there is one)
  double noisePower;            // subtracted from every squared sample before the truncation point
  IsoEnergySums sums;
};

// Writes r->c50, c80, d50, ts. `energy` is the decay curve of the backward
// pass (energy[i] = E at onset sample + i, compensation included).
void ComputeIsoEnergyParameters(const IsoEnergyInput& in, const std::vector<double>& energy,
                                IsoBandResult* r);

// The largest x[k]^2 over [from, to), in double; 0 when the span is empty.
// A square that is not a number is passed over, as std::max(peak, square)
// would pass it over in order: the largest value does not depend on the
// order in which the squares are compared, so they are compared in lanes.
double IsoPeakSquare(const float* x, uint32_t from, uint32_t to);
