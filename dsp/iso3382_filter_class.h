// The IEC 61260-1:2014 class that each fixed band filter of the band
// analysis meets at 44100 Hz, with its worst margin to the acceptance limits
// of Table 1 and of the effective bandwidth (5.10, 5.12). The figures are
// measured with sine tones through the decimating cascade by the conformance
// report (tests/conformance), which fails when its measurement and this
// table disagree; docs/CONFORMANCE.md shows how each was found.
#pragma once

#include <cstdint>

enum FilterClass : uint8_t {
  FILTER_CLASS_NONE = 0,  // neither class 1 nor class 2
  FILTER_CLASS_1 = 1,
  FILTER_CLASS_2 = 2,
};

struct BandFilterClass {
  int row;               // band row: octave 1..9 (31.5 Hz .. 8 kHz), third 1..27 (25 Hz .. 10 kHz)
  FilterClass iecClass;  // the strictest class met
  float marginClass1Db;  // worst margin to the class 1 limits, 0.01 dB (negative: missed)
  float marginClass2Db;  // the same for class 2
};

// The band's entry; null for rows without a band filter (Lin, the 16 kHz
// octave, rows out of range).
const BandFilterClass* FindBandFilterClass(bool thirdOctave, int row);
