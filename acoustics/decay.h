// Schroeder backward integration with optional noise subtraction, the level
// curve and the straight-line decay fits.
#pragma once

#include <cstdint>

// Fit status numbers that take the coefficient's place in a degenerate fit;
// a zero level spread adds 40 to either (41 for a valid slope).
constexpr float FIT_SLOPE_ZERO = 21.0f;
constexpr float FIT_NO_SPREAD = 31.0f;

// How a decay fit ended.
enum FitStatus : uint8_t {
  FIT_OK = 0,
  FIT_RANGE_NOT_REACHED,  // the level does not fall through the segment before the end of the curve
  FIT_TAIL_GUARD,         // the segment reaches into the tail kept free of fits (noise)
  FIT_LOW_CORRELATION,    // squared correlation below 0.85: decay time and coefficient 0
  FIT_FLAT,               // degenerate sums: a fit status number in the coefficient, decay time 0
};

struct FitResult {
  float decayTime;    // s; 0 unless the fit passed
  float coefficient;  // squared correlation, 0, or a fit status number
  FitStatus status;
  // The segment as regressed: the curve index of its first point and the
  // count of consecutive points used (0 when the segment was not reached),
  // the slope in dB per sample, and the centroid of its points (index,
  // absolute level in dB), through which the fitted line passes. For
  // drawing; not part of any value.
  uint32_t firstIndex;
  uint32_t pointCount;
  double slopeDbPerSample;
  double centroidIndex;
  double centroidLevelDb;
};

// Rewrites signal[0..n-1] as the backward-integrated energy; returns the
// arrival-weighted energy moment divided by sampleRate (energy * seconds).
double BackwardIntegrate(float* signal, uint32_t n, uint32_t t0, double noisePower, double sampleRate);
// 10 log10(value) for value > 0, otherwise exactly 0.
double EnergyToDecibels(double value);
// The level curve made in place from the energy curve, only as far as the
// fits read it: samples[t0 .. convertedEnd-1] hold levels in dB (each
// EnergyToDecibels of its energy, rounded to float), every other sample
// still its energy. FitDecayOnEnergy extends the converted span as it walks.
struct PartialLevelCurve {
  float* samples;
  uint32_t length;
  uint32_t t0;
  uint32_t convertedEnd;
};

// Fits the segment from headDropDb below the level at t0 down to
// headDropDb + fitRangeDb below it; t0 < n.
FitResult FitDecay(const float* curve, uint32_t n, uint32_t t0, bool withNoiseCorrection, double headDropDb,
                   float fitRangeDb, double sampleRate);
// FitDecay on a curve converted on demand; the same result as FitDecay on
// the fully converted curve.
FitResult FitDecayOnEnergy(PartialLevelCurve* curve, bool withNoiseCorrection, double headDropDb,
                           float fitRangeDb, double sampleRate);
