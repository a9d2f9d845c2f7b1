// Measured IEC 61260-1:2014 classes of the fixed band filters at 44100 Hz.
#include "dsp/iso3382_filter_class.h"

namespace {

// Octaves 31.5 Hz .. 250 Hz miss class 1 only on the lower skirt (G^-3,
// 60 dB): the sections' base-two centres (31.25 Hz .. 8 kHz) lie up to 1.2 %
// below the base-ten mid-band frequencies at the low end.
constexpr BandFilterClass OCTAVE_CLASSES[] = {
    {1, FILTER_CLASS_2, -0.21f, 0.60f}, {2, FILTER_CLASS_2, -0.12f, 0.60f},
    {3, FILTER_CLASS_2, -0.06f, 0.60f}, {4, FILTER_CLASS_2, -0.02f, 0.60f},
    {5, FILTER_CLASS_1, 0.05f, 0.60f},  {6, FILTER_CLASS_1, 0.12f, 0.60f},
    {7, FILTER_CLASS_1, 0.20f, 0.60f},  {8, FILTER_CLASS_1, 0.26f, 0.60f},
    {9, FILTER_CLASS_1, 0.31f, 0.60f},
};

// Below the 8 kHz level the middle and upper thirds meet their Table 1
// stop-band limits only short of an image that the decimation low-pass folds
// onto the band (near Omega 4.4 and 3.3): the middle thirds keep class 2,
// the upper thirds meet neither class. The 8 kHz level runs at the input
// rate and has no images. The 25 Hz third misses class 1 in its pass band
// (its base-two centre lies 1.2 % below 25.12 Hz).
constexpr BandFilterClass THIRD_OCTAVE_CLASSES[] = {
    {1, FILTER_CLASS_2, -0.04f, 0.40f},       {2, FILTER_CLASS_2, -6.52f, 0.60f},
    {3, FILTER_CLASS_NONE, -14.37f, -7.92f},  {4, FILTER_CLASS_1, 0.10f, 0.43f},
    {5, FILTER_CLASS_2, -6.76f, 0.59f},       {6, FILTER_CLASS_NONE, -14.50f, -8.06f},
    {7, FILTER_CLASS_1, 0.19f, 0.44f},        {8, FILTER_CLASS_2, -6.79f, 0.59f},
    {9, FILTER_CLASS_NONE, -14.50f, -8.06f},  {10, FILTER_CLASS_1, 0.24f, 0.44f},
    {11, FILTER_CLASS_2, -6.55f, 0.59f},      {12, FILTER_CLASS_NONE, -14.37f, -7.92f},
    {13, FILTER_CLASS_1, 0.24f, 0.44f},       {14, FILTER_CLASS_2, -6.69f, 0.59f},
    {15, FILTER_CLASS_NONE, -14.53f, -8.02f}, {16, FILTER_CLASS_1, 0.25f, 0.45f},
    {17, FILTER_CLASS_2, -6.93f, 0.59f},      {18, FILTER_CLASS_NONE, -14.67f, -8.15f},
    {19, FILTER_CLASS_1, 0.25f, 0.45f},       {20, FILTER_CLASS_2, -6.97f, 0.59f},
    {21, FILTER_CLASS_NONE, -14.69f, -8.17f}, {22, FILTER_CLASS_1, 0.26f, 0.46f},
    {23, FILTER_CLASS_2, -6.86f, 0.59f},      {24, FILTER_CLASS_NONE, -14.57f, -8.06f},
    {25, FILTER_CLASS_1, 0.27f, 0.47f},       {26, FILTER_CLASS_1, 0.39f, 0.59f},
    {27, FILTER_CLASS_1, 0.31f, 0.60f},
};

}  // namespace

const BandFilterClass* FindBandFilterClass(bool thirdOctave, int row) {
  const BandFilterClass* table = thirdOctave ? THIRD_OCTAVE_CLASSES : OCTAVE_CLASSES;
  const int count = thirdOctave
                        ? static_cast<int>(sizeof THIRD_OCTAVE_CLASSES / sizeof THIRD_OCTAVE_CLASSES[0])
                        : static_cast<int>(sizeof OCTAVE_CLASSES / sizeof OCTAVE_CLASSES[0]);
  for (int i = 0; i < count; ++i) {
    if (table[i].row == row) return &table[i];
  }
  return nullptr;
}
