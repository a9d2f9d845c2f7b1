// The lateral pass of a stereo run: LF of a B-format pair and the binaural
// IACC, W IACC and Tau IACC, band by band on the resonator-filtered pair.
#pragma once

#include <cstddef>

#include "analysis/selection.h"
#include "interface/results.h"
#include "interface/xfm_types.h"

// Octave mode: Lin, then every octave whose centre lies within the band
// limit. Lin comes first: it fixes the first arrivals and the correlation
// window that the other bands reuse. left and right, each of
// pairCapacityBytes, hold at least the selection's frameCount samples.
void RunOctaveLateralPass(XfmContext* ctx, const SelectionFormat& format, void* raw, float* left,
                          float* right, size_t pairCapacityBytes, AcousticResults* store);
// Third-octave mode: LF of Lin only; the progress still counts 27 bands.
void RunThirdOctaveLateralPass(XfmContext* ctx, const SelectionFormat& format, void* raw, float* left,
                               float* right, AcousticResults* store);
