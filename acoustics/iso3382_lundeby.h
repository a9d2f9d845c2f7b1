// Truncation point, background noise and late-decay compensation of a band
// impulse response after Lundeby, Vigran, Bietz and Vorlaender, "Uncertainties
// of measurements in room acoustics", Acustica 81 (1995) 344-355, the method
// that ISO 3382-1:2009 (5.3.3) recommends for responses with noise.
//
// The method works on the squared response averaged in blocks (levels in dB
// only per block, never per sample):
//  1. blocks of 10..50 ms (two periods of the band's bandwidth, Lin 10 ms);
//  2. noise = mean square of the last 10 % of the response after the onset;
//  3. straight line through the block levels from the loudest block down to
//     the last block above noise + 10 dB;
//  4. crosspoint: where that line meets the noise level;
//  5. new blocks, 5 per 10 dB of the line's decay;
//  6. noise again, from the point 10 dB below the crosspoint along the line
//     to the end, but over at least the last 10 % of the response;
//  7. late-decay line through the blocks between noise + 30 dB (at most the
//     loudest block) and noise + 10 dB; new crosspoint;
//  8. steps 5 to 7 again until the crosspoint moves less than one block, at
//     most 5 times.
// The compensation is the energy of the late-decay line's exponential beyond
// the crosspoint: noise * rate / k with k = |slope| ln(10) / 10 per second,
// in the units of a sum of squared samples.
#pragma once

#include <cstdint>
#include <vector>

struct IsoLundebyResult {
  bool found;                   // a decay above the noise was found (else the rest is the fallback below)
  bool converged;               // the crosspoint settled within the iterations
  int iterations;               // passes of steps 5..7 made
  double noisePower;            // mean square of the background noise (sample units squared)
  double inrDb;                 // impulse-to-noise ratio: first line at the onset over the noise, dB
  uint32_t truncationIndex;     // crosspoint, an index into the band signal (the length when not found)
  double lateSlopeDbPerSecond;  // slope of the late-decay line (< 0 when found)
  double compensationEnergy;    // energy beyond the truncation point, as a sum of squared samples
  double blockSeconds;          // duration of the last blocks (for drawing the envelope)
  double onsetLevelDb;          // the first line's level at the onset, dB of the mean square
};

// The backward sums of the squared response from the onset, the only pass
// over the samples that the truncation needs: tail[i] = sum of samples[k]^2
// for k from onsetIndex + i to length - 1, tail[length - onsetIndex] = 0
// (the vector only grows: entries past that one are left over). Summed from
// the end, as the Schroeder integral is, so that the late, quiet part's sums
// (noise, late blocks) carry no rounding of the loud early part.
void IsoBackwardSquareSums(const float* samples, uint32_t length, uint32_t onsetIndex,
                           std::vector<double>* tail);

// `tail[0..span]` of the response samples[onsetIndex..onsetIndex + span - 1]
// (IsoBackwardSquareSums, span = length - onsetIndex): every mean square (noise, blocks) is a difference of
// two of its sums. The blocks' mean squares of the last pass are left in *blocks (block i starts at
// onsetIndex + i * round(blockSeconds * rateHz)). Without a decay above the noise: found = false, truncation
// at the length, no compensation, inrDb from the loudest block over the noise.
IsoLundebyResult IsoLundebyTruncation(const double* tail, uint32_t span, uint32_t onsetIndex, double rateHz,
                                      double bandwidthHz, std::vector<double>* blocks);
