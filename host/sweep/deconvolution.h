// From a recorded sweep to the room's impulse response.
//
// Method: regularised spectral division by the played sweep's own spectrum,
//   H(f) = Y(f) X*(f) / (|X(f)|^2 + eps(f)),
// computed as linear (zero-padded) deconvolution of the whole recording.
// X is the sweep rebuilt sample for sample from its parameters, fades
// included, so within f1..f2 the response is flat and linear-phase to the
// precision of the arithmetic and carries the system's own gain (a wire
// gives a unit impulse). Farina's inverse filter (the time-reversed sweep
// with its -6 dB/octave envelope) only approximates 1/X: its analytic
// envelope ignores the fades and the ripple of a finite sweep near f1 and f2,
// and its gain has to be normalised by hand. eps is -80 dB of the sweep's
// largest bin power within the band and rises to that power itself over a
// third of an octave outside it, so that noise and distortion outside the
// swept band are not amplified by the near-zero |X| there. The harmonic
// products fall before the linear response (the k-th L ln(k) earlier) in
// both methods alike.
//
// The response is cut from the deconvolved recording: it starts 5 ms before
// the direct sound (the largest magnitude of any channel, one alignment for
// all channels so interaural delays stay), lasts as long as the sweep's
// trailing silence, and the responses of repeated sweeps (one period apart)
// are averaged, which lowers uncorrelated noise by 10 log10(n) dB. The
// harmonic products before it are cut; their energy is reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/sweep/sweep_signal.h"

namespace sweep {

// The deconvolution's facts, for the file facts of an analysis.
struct DeconvolutionFacts {
  double startHz = 0.0, endHz = 0.0;  // the sweep's range: the response is valid within it
  int32_t rateHz = 0;
  int32_t sweepsAveraged = 0;       // repetitions times recordings
  double directSoundSeconds = 0.0;  // where the direct sound lay in the (first) recording
  double leadSeconds = 0.0;         // the response starts this long before the direct sound
  // Peak power of the response over the mean power of its last tenth (the
  // noise once the decay is over), in dB; the lowest of the channels.
  double peakToNoiseDb = 0.0;
  // Energy of the window where the harmonic products land (up to the fifth
  // harmonic), cut from the response, relative to the kept response, in dB.
  double harmonicCutDb = 0.0;
  // The response's length (the sweep's silence, or as cut by KeepDecay in
  // response_length.h), and where its broadband decay met the noise (NaN:
  // not cut there).
  double keptSeconds = 0.0;
  double decayEndSeconds = std::numeric_limits<double>::quiet_NaN();
};

struct DeconvolutionResult {
  SweepStatus status = SweepStatus::Ok;
  std::string sentence;                      // why the recording was refused (status not Ok)
  std::vector<std::vector<float>> channels;  // the response, per channel, all of one length
  DeconvolutionFacts facts;
};

// `recording` holds one vector per channel (equal lengths), full scale 1.0.
// Refuses (status and sentence) a recording at another rate than the sweep,
// one shorter than its repetitions and silences, or one with unusable samples.
DeconvolutionResult DeconvolveChannels(const std::vector<std::vector<float>>& recording, int32_t rateHz,
                                       const SweepParameters& parameters);

// The same for `frameCount` interleaved frames of `channelCount` channels.
DeconvolutionResult DeconvolveInterleaved(const float* frames, size_t frameCount, int channelCount,
                                          int32_t rateHz, const SweepParameters& parameters);

// Several recordings of the same sweep (each already deconvolved and
// aligned): the mean response, its peak-to-noise ratio measured again, the
// mean harmonic energy. Refuses responses of different rates or channel counts.
DeconvolutionResult AverageResponses(const std::vector<DeconvolutionResult>& results);

// The response as interleaved frames.
std::vector<float> InterleavedResponse(const DeconvolutionResult& result);

// Peak power over the mean power of the last tenth, in dB (at most 300).
double PeakToNoiseDb(const std::vector<float>& response);

}  // namespace sweep
