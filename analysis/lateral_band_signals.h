// The band signals of the lateral pass: both channels of the fetched frames,
// resonator-filtered for the octave bands. Each band fetches the selection
// again; with a core lent, the next band is filtered on it while this band's
// correlation sweeps its lags, from a copy of the frames that the next
// fetch must match byte for byte before its filtered pair is used.
#pragma once

#include <cstddef>

#include "analysis/selection.h"
#include "dsp/part_runner.h"

struct BandPair {
  float* left;
  float* right;
};

struct LateralBandSignals {
  const SelectionFormat* format;
  const void* raw;  // the fetch buffer
  float rateHz;
  BandPair pairs[2];
  int inUse;  // the pair of the band being analysed
  // The look-ahead; off (lent null) without a lent core or spare room.
  const PartRunner* lent;
  PartRunner sweepRunner;  // the lent core, with the armed band's filtering
  unsigned char* framesCopy;
  size_t frameBytes;
  bool copied;    // framesCopy holds frames that a fetch delivered
  int armedBand;  // to be filtered beside the next sweep; -1: none
  float armedHz;
  int readyBand;  // filtered in the pair not in use; -1: none
};

// The signals in left and right, each a buffer of capacityBytes; the pair
// buffers' room beyond 4 bytes per frame and channel, when there is enough,
// holds the look-ahead's second pair and its copy of the frames.
void StartBandSignals(LateralBandSignals* signals, const SelectionFormat& format, const void* raw,
                      float rateHz, float* left, float* right, size_t capacityBytes, const PartRunner* lent);
// The pair of a band whose frames were just fetched: the look-ahead's when
// it filtered this band from the same frames, else the frames converted and,
// for centreHz > 0, filtered here.
BandPair BandSignalsOf(LateralBandSignals* signals, int band, float centreHz);
// The band the look-ahead filters beside the next sweep (band -1: none).
void ArmNextBand(LateralBandSignals* signals, int band, float centreHz);
// The runner for this band's correlation (null without a lent core).
const PartRunner* SweepRunner(LateralBandSignals* signals);
