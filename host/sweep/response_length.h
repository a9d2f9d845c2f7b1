// How long a deconvolved response is kept for analysis: up to where its decay
// meets its noise, plus a stretch of noise.
//
// A deconvolution keeps as much as the sweep's trailing silence (seconds of
// it, for the longest room it is meant for). Handed whole to an analysis that
// estimates the noise from the end of the selection and fits the decay in
// what lies before, a short room's response is mostly noise: the noise is
// estimated over the right span but the decay curves of the quieter bands
// are bent by a long integral of noise (a 0.9 s room in 2 s gives T30 at
// 250 Hz about 20 % high). A response measured the classic way is cut a
// little after its decay has met the noise, so that is where the kept
// response ends:
//
//   length = min(silence, T + max(0.25 T, 0.1 s)),
//
// T the latest Lundeby truncation point (acoustics/iso3382_lundeby.h) of the
// octave bands from 63 Hz within the sweep's range (the plug-in's own octave filters,
// dsp/iso3382_band_signals.h), measured from the response's start, the
// latest of the channels. Per band, because the noise of a deconvolved
// response is not white (dividing by a sweep whose energy falls with
// frequency lifts the noise at the top): the broadband decay is lost in the
// top octaves' noise long before the middle octaves' decays are over (the
// living room: 0.15 s broadband, 0.44 s at 1 kHz). The bands are searched
// over four times the broadband point first, a window doubled while a band's
// point lies in its last fifth: a noise that steps down (a response that
// carries its own noise floor up to where it was cut, then the recording's
// quieter noise) leaves Lundeby's iteration without a crosspoint over the
// whole response, but not within the louder noise. The margin makes the last
// fifth of the kept response noise, so the noise windows of any analysis
// (the last tenth or sixteenth, Lundeby's last 10 %) hold no decay; 0.1 s at
// least so that the lowest bands' windows hold a few periods. A response
// none of whose bands shows a decay above its noise is kept whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/sweep/deconvolution.h"

namespace sweep {

struct KeptLength {
  size_t frames = 0;               // the length to keep (at most the response's)
  bool decayFound = false;         // the broadband decay was found above the noise
  double truncationSeconds = 0.0;  // the Lundeby truncation point from the start (decayFound)
};

// The length to keep of `channels` (equal lengths, full scale 1.0) at
// `rateHz`, swept from lowHz to highHz; the decay is taken from `onsetIndex`
// (the direct sound).
KeptLength DecayedLength(const std::vector<std::vector<float>>& channels, int32_t rateHz, size_t onsetIndex,
                         double lowHz, double highHz);

// Cuts `result`'s channels to DecayedLength and notes it in its facts.
void KeepDecay(DeconvolutionResult& result);

}  // namespace sweep
