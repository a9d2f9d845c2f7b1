// Schroeder backward integration with optional noise subtraction, the level
// curve and the straight-line decay fits.
#pragma once

#include <cstdint>

// Fit status numbers that take the coefficient's place in a degenerate fit.
constexpr float FIT_SLOPE_ZERO = 21.0f;
constexpr float FIT_NO_SPREAD = 31.0f;
constexpr float FIT_VALID_SLOPE_FLAT = 41.0f;
constexpr float FIT_SLOPE_ZERO_FLAT = 61.0f;
constexpr float FIT_NO_SPREAD_FLAT = 71.0f;

// Rewrites signal[0..n-1] as the backward-integrated energy; returns the
// arrival-weighted energy moment divided by sampleRate (energy * seconds).
double BackwardIntegrate(float* signal, uint32_t n, uint32_t t0, double noisePower, double sampleRate);
// 10 log10(value) for value > 0, otherwise exactly 0.
double EnergyToDecibels(double value);
// Fits the segment from headDropDb below the level at t0 down to
// headDropDb + fitRangeDb below it; decay time in s, coefficient = squared
// correlation, 0, or a fit status number.
void FitDecay(const float* curve, uint32_t n, uint32_t t0, bool withNoiseCorrection, double headDropDb,
              float fitRangeDb, double sampleRate, float* decayTime, float* coefficient);
