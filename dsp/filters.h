// Fixed sixth-order band-pass and decimation sections, and the resonator
// octave filter of the binaural and lateral parameters. The sixth-order
// sections are designed for a sampling rate of 44100 Hz and never
// recomputed: at any other rate every band centre scales with rate / 44100
// (at 48000 Hz the "1k" band is centred on 1088 Hz). Hosts that want nominal
// bands resample to 44100 Hz first. Samples are 32-bit floats; arithmetic is double; every
// output is rounded to float when stored. Nothing here allocates.
#pragma once

#include <cstdint>

struct SixthOrderCoefficients {
  double b[7];  // numerator b0..b6
  double a[7];  // denominator a0..a6, a0 = 1
};

extern const SixthOrderCoefficients OctaveBandPass;        // 8 kHz octave at 44100 Hz
extern const SixthOrderCoefficients ThirdOctaveBandPass1;  // 6.3 kHz third
extern const SixthOrderCoefficients ThirdOctaveBandPass2;  // 8 kHz third
extern const SixthOrderCoefficients ThirdOctaveBandPass3;  // 10 kHz third
extern const SixthOrderCoefficients DecimationLowPass;     // half-band low-pass, corner fs/4

// source -> destination (different buffers), starting at rest.
void FilterSixthOrder(const SixthOrderCoefficients& set, const float* source, float* destination,
                      uint32_t length);
// Two sections over the same source in one sweep, each keeping its own sums in
// the order of FilterSixthOrder, so that every output is bit for bit that of
// a separate call; the two recursions only overlap in time. `first` writes
// firstOut[0..length-1]. `second` writes secondOut[0..length-1], or with
// `decimate` only its even outputs, secondOut[m] = y[2m] for m < length / 2;
// secondOut may then be the source itself (the halved signal replaces it).
void FilterSixthOrderPair(const SixthOrderCoefficients& first, const SixthOrderCoefficients& second,
                          const float* source, float* firstOut, float* secondOut, uint32_t length,
                          bool decimate);
// The octave levels of the band analysis in one sweep: level 0 filters
// source[0..length-1] with OctaveBandPass and DecimationLowPass, and every
// second low-pass output is the next level's input, for `levelCount` levels.
// Level i has length_i samples (length_0 = length, length_i+1 = length_i / 2)
// and its band signal goes to bands + length_0 + ... + length_i-1 (at most
// 2 * length floats in all). Every sample is bit for bit what the level by
// level filtering and decimation gives; the levels' recursions overlap.
void FilterOctaveCascade(const float* source, uint32_t length, int levelCount, float* bands);
// Resonator band-pass applied in place from the last sample to the first.
void ResonatorBandPass(float centreHz, float q, float* samples, float rateHz, uint32_t length);
// Three resonator passes: (fc*0.75, Q 8), (fc, Q 4), (fc*1.3, Q 8).
void ResonatorOctaveFilter(float* samples, uint32_t length, float centreHz, float rateHz);
// ResonatorOctaveFilter of two channels, bit for bit, in one backward sweep:
// each pass follows the one before it a sample behind, and the channels run
// side by side. length >= 2.
void ResonatorOctaveFilterPair(float* left, float* right, uint32_t length, float centreHz, float rateHz);
