// First arrivals of a B-format pair and the lateral energy fraction LF.
#pragma once

#include <cstdint>

enum LateralStatus : uint8_t {
  LATERAL_OK = 0,
  LATERAL_NO_ARRIVAL_W,       // no sample of W reaches its threshold
  LATERAL_NO_ARRIVAL_Y,       // no sample of Y reaches its threshold
  LATERAL_W_BEYOND_INDEX,     // W reaches its threshold only past 32767, the last index a 16-bit field keeps
  LATERAL_Y_BEYOND_INDEX,     // the same for Y
  LATERAL_NO_LIN_ARRIVALS,    // a band after Lin, when Lin found no arrivals in this run
  LATERAL_WINDOW_BEYOND_END,  // the selection ends less than 80 ms after an arrival
  LATERAL_UNSUPPORTED_WIDTH,  // samples neither 8, 16 nor 32 bits wide
  LATERAL_ZERO_DENOMINATOR,   // no W energy in its window: LF is not finite
  LATERAL_NO_SETTINGS,        // not attempted: the settings block could not be locked
};

// The first arrivals of W and Y (sample indices), or -1 when none was found.
struct LateralArrivals {
  int32_t w;
  int32_t y;
};

// Smallest indices whose magnitudes reach each channel's threshold. The
// arrivals are kept in 16-bit fields, so an arrival past 32767 counts as not
// found (the BEYOND_INDEX statuses when a signal reaches its threshold only
// there).
LateralStatus FindLateralArrivals(const float* w, const float* y, uint32_t length, float wThreshold,
                                  float yThreshold, LateralArrivals* arrivals);

// LF = Y energy from 5 ms to 80 ms after Y's arrival over W energy (raised
// by boostDb) from 0 to 80 ms after W's arrival. `lf` receives the ratio when
// the status is LATERAL_OK or LATERAL_ZERO_DENOMINATOR (then not finite).
LateralStatus ComputeLateralFraction(const float* w, const float* y, int64_t length, double rateHz,
                                     uint16_t bitsPerSample, double boostDb, LateralArrivals arrivals,
                                     double* lf);
