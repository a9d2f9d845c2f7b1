// The band signals of one channel exactly as the band analysis filters them,
// for the hosts' ISO 3382 evaluation beside the plug-in's values.
//
// Lin is the unfiltered selection. Octave mode: nine levels from the 8 kHz
// octave down to 31.5 Hz, each the OctaveBandPass section on the level's
// signal, the next level's signal being the DecimationLowPass output with
// every second sample kept (FilterOctaveCascade). Third-octave mode: per level
// ThirdOctaveBandPass1/2/3 and the same decimation (FilterSixthOrderPair).
// Every sample is bit for bit the plug-in's band signal. The sections are
// designed for 44100 Hz: hosts resample to that rate first, else every band
// moves with rate / 44100 while its row keeps its nominal label.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// One band signal, valid only during the visit that receives it.
struct IsoBandSignal {
  int row;               // interface/bands.h row: 0 Lin; octave 1..9 = 31.5 Hz..8 kHz; thirds 3k-2..3k
  float nominalHz;       // nominal centre (bands.h), 0 for Lin
  double rateHz;         // the signal's own rate: the input rate halved once per level below 8 kHz
  const float* samples;  // samples[0..length-1]
  uint32_t length;
};

// Called for Lin first, then band by band from the top band down (the
// plug-in's order). Return false to stop (cancel); nothing more is visited.
using IsoBandVisitor = std::function<bool(const IsoBandSignal& band)>;

// Filters `selection` (one channel, length samples at rateHz) into every band
// of the chosen layout and hands each band to `visit` as soon as it exists,
// so a caller can evaluate band by band without keeping them all. Working
// memory: about three times the selection. Returns false when the visitor
// stopped the walk.
bool ForEachIsoBandSignal(const float* selection, uint32_t length, double rateHz, bool thirdOctave,
                          const IsoBandVisitor& visit);

// Working memory of the walk, kept by a caller that walks channel after
// channel: it only grows, so a walk allocates (and the system zeroes) nothing
// once it has seen the longest selection.
struct IsoBandScratch {
  std::vector<float> source;  // third octaves: each level's decimated signal
  std::vector<float> bands;   // the band signals
};
bool ForEachIsoBandSignal(const float* selection, uint32_t length, double rateHz, bool thirdOctave,
                          const IsoBandVisitor& visit, IsoBandScratch* scratch);

// A band signal that owns its samples.
struct IsoOwnedBandSignal {
  int row;
  float nominalHz;
  double rateHz;
  std::vector<float> samples;
};

// Every band at once (Lin first, then the plug-in's order), for callers that
// keep them.
std::vector<IsoOwnedBandSignal> CollectIsoBandSignals(const float* selection, uint32_t length, double rateHz,
                                                      bool thirdOctave);
