// The plug-in's band filters measured with sine tones through the real
// multirate path at 44100 Hz: the octave cascade of the band analysis
// (FilterOctaveCascade) and its third-octave pairs with the decimation
// low-pass (FilterSixthOrderPair), exactly as the driver calls them.
//
// The cascade is linear but not time-invariant (it keeps every second
// sample), so no single impulse response describes it; a steady tone,
// however, stays one steady tone through every stage, folded about the
// multiples of each stage's rate. Many tones are therefore played at once:
// each lies on a whole number of periods of the analysis window at the
// band's own rate, and no two tones of one run fold onto the same frequency
// there, so one DFT of the settled output separates them exactly.
#pragma once

#include <vector>

namespace conformance {

// The steady-state response of one band filter, tone by tone.
struct BandResponse {
  bool thirdOctave = false;
  int row = 0;                // band row of the results (octave 1..9, third 1..27)
  int level = 0;              // analysis level 1..9 (9: 8 kHz octave at 44100 Hz)
  int b = 1;                  // bandwidth designator 1/b
  double midBandHz = 0.0;     // exact mid-band frequency (base ten) of the band's label
  double bandRateHz = 0.0;    // the band signal's own rate
  std::vector<double> omega;  // played frequency / midBandHz, ascending
  std::vector<double> frequencyHz;
  std::vector<double> attenuationDb;  // input level minus output level, per tone
  double referenceOmega = 1.0;        // the tone nearest the mid-band frequency
  double referenceDb = 0.0;           // its attenuation (the reference attenuation)
};

struct TonePlan {
  int analysisSamples = 4096;    // settled samples read per run, at the band's rate (as many settle first)
  int tonesPerBandwidth = 24;    // S of IEC 61260-2 7.2.1.4: Omega_i = G^(i / (b S))
  int tonesPerOctaveBeyond = 6;  // sparse tones from 4 x the band's rate up to 22050 Hz
};

struct ToneRunStats {
  int tones = 0;  // distinct tones played
  int runs = 0;   // multi-tone runs through the cascade
};

// All 36 bands: the nine octaves (31.5 Hz .. 8 kHz) and 27 thirds (25 Hz ..
// 10 kHz), octaves first, each ordered by row.
std::vector<BandResponse> MeasureBandFilters(const TonePlan& plan, ToneRunStats* stats);

}  // namespace conformance
