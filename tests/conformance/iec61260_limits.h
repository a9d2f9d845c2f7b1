// IEC 61260-1:2014 acceptance limits on the relative attenuation of a band
// filter (Table 1, class 1 and class 2, base-ten octave ratio), carried to
// fractional-octave bands and interpolated between the breakpoints as the
// standard does, and the normalised effective bandwidth of 5.11 / 5.12.
#pragma once

#include <cmath>
#include <vector>

namespace conformance {

// Base-ten octave frequency ratio, IEC 61260-1:2014 5.2.
inline const double OCTAVE_RATIO_G = std::pow(10.0, 0.3);

// Exact mid-band frequency of band x with bandwidth designator 1/b (b odd),
// 5.4: fm = 1000 Hz * G^(x / b).
double ExactMidBandHz(int x, int b);

// The acceptance corridor at one normalised frequency: the relative
// attenuation must lie in [minDb, maxDb]; maxDb is +infinity in the stop band.
struct Corridor {
  double minDb;
  double maxDb;
};

// Table 1 corridor for class 1 or 2 at Omega = f / fm for a 1/b-octave band:
// breakpoints carried to the band by Formula (9), mirrored below the mid-band
// frequency by Formula (10), linear in lg(Omega) between them (5.10.6); the
// band edge G^(1/2b) itself belongs to the pass band; beyond the last
// breakpoint the minimum stays at its G^4 value.
Corridor AcceptanceCorridor(int filterClass, int b, double omega);

// Signed distance of a relative attenuation to the corridor: the smaller of
// (ΔA - min) and (max - ΔA); negative outside.
double CorridorMargin(const Corridor& corridor, double relativeAttenuationDb);

// The Table 1 breakpoints of a 1/b-octave band as normalised frequencies, from
// G^-4 to G^4 (carried by Formula (9)), each with its octave exponent.
struct Breakpoint {
  double octaveExponent;  // x of G^x in the octave-band table
  double omega;
};
std::vector<Breakpoint> TableBreakpoints(int b);

// Normalised effective bandwidth deviation (5.12, Formulas (13), (15), (16)):
// ΔB = 10 lg(Be / Br), Be = integral of 10^(-ΔA/10) d(ln Omega) by the
// trapezoidal rule over the measured points (sorted by omega), Br = ln(G)/b.
double EffectiveBandwidthDeviationDb(const std::vector<double>& omega,
                                     const std::vector<double>& relativeAttenuationDb, int b);

// Acceptance limit on |ΔB|: 0.4 dB for class 1, 0.6 dB for class 2 (5.12).
double BandwidthDeviationLimitDb(int filterClass);

}  // namespace conformance
