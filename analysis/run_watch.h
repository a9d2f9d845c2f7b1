// What a run tells a host that watches it: why each value is what it is,
// the first arrivals, the noise subtracted, and each band's level curve
// while it exists. The host kit installs a watcher; the Windows module never
// does, so there the calls below cost one test of a null pointer.
#pragma once

#include <cstdint>

#include "acoustics/band_parameters.h"
#include "acoustics/iacc.h"
#include "acoustics/lateral.h"

// A channel's first-arrival search on its unfiltered signal.
struct ChannelTrace {
  char channelLetter;  // 'm', 'l', 'r'
  float rateHz;
  uint32_t length;   // samples of the selection
  double threshold;  // sample units
  uint32_t arrival;  // first arrival; == length when no sample reaches the threshold
};

// One band of one channel, right after its parameters were computed.
struct BandTrace {
  char channelLetter;
  int row;           // band row of the store (0 Lin)
  float rateHz;      // rate of the band signal (halved level by level)
  uint32_t length;   // samples of the band signal
  uint32_t arrival;  // first arrival at this rate
  bool noiseCorrectionAsked;
  double noisePower;  // subtracted from every sample's energy; 0 = none
  const BandOutcome* outcome;
  // The curve as the parameters left it, length samples, valid only during
  // the call: levels in dB over [levelsFrom, levelsEnd) (the analysis
  // converts only the part that the fits read), the backward-integrated
  // energy elsewhere (a sample's level is EnergyToDecibels of its energy,
  // rounded to float).
  const float* curve;
  uint32_t levelsFrom, levelsEnd;
};

// One band signal of one channel (Lin: the unfiltered selection) just before
// the band's parameters consume it, in the order the bands are analysed.
struct BandSignalTrace {
  char channelLetter;
  int row;               // band row of the store (0 Lin)
  float rateHz;          // rate of the band signal
  const float* samples;  // length samples, valid only during the call
  uint32_t length;
};

// One band of the lateral pass (octave bands 0..10, or Lin alone).
struct LateralTrace {
  int band;
  LateralStatus lf;
  IaccStatus iacc;
  bool iaccComputed;  // false in third-octave mode, which computes LF alone
  LateralArrivals arrivals;
};

struct RunWatcher {
  void* context;
  void (*channel)(void* context, const ChannelTrace& trace);
  void (*band)(void* context, const BandTrace& trace);
  void (*lateral)(void* context, const LateralTrace& trace);
  // Null unless the watcher reads the band signals themselves.
  void (*bandSignal)(void* context, const BandSignalTrace& trace);
  // Cores the host lends the run for the independent parts of one step (the
  // correlation's lags); null: the run keeps to its own thread.
  const PartRunner* parts;
};

// Installs the watcher of the runs on the calling thread (null: none) and
// returns the previous one.
const RunWatcher* WatchRuns(const RunWatcher* watcher);

void ReportChannel(const ChannelTrace& trace);
void ReportBand(const BandTrace& trace);
void ReportBandSignal(const BandSignalTrace& trace);
void ReportLateral(const LateralTrace& trace);
// The installed watcher's lent cores, or null.
const PartRunner* LentParts();
