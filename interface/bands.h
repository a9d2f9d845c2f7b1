// The one table of bands and parameters: band rows with their nominal
// centres (at a sampling rate of 44100 Hz; the filter sections are fixed, so
// at another rate every centre scales with rate / 44100) and the names each
// output gives them, and the eleven parameters of a band row with their
// labels and units. Every reader (the run, the dialogs, the report, the
// hosts) takes them from here.
#pragma once

#include "interface/results.h"

constexpr int OCTAVE_ROWS = 11;        // Lin, 31.5 Hz .. 16 kHz
constexpr int THIRD_OCTAVE_ROWS = 28;  // Lin, then the thirds of 31.5 Hz .. 8 kHz
constexpr float FILTER_DESIGN_RATE_HZ = 44100.0f;

struct BandColumn {
  float nominalHz;           // nominal centre at 44100 Hz; 0 for Lin (unfiltered)
  const char* dialogName;    // column heading of the results dialog ("1k")
  const char* reportName;    // column heading of the clipboard report ("1K", "31.5(1)")
  const char* nominalLabel;  // IEC 61260 nominal frequency in Hz ("1000", "25"); "Lin" for row 0
};

// Factors from an octave's centre to the nominal centres of its lower, middle
// and upper third: 2^(-1/3), 1, 2^(1/3), in single precision.
constexpr float THIRD_CENTRE_FACTOR[3] = {0.7937005f, 1.0f, 1.2599211f};

constexpr BandColumn OCTAVE_BANDS[OCTAVE_ROWS] = {
    {0.0f, "Lin", "Lin", "Lin"},   {31.5f, "31.5", "31.5", "31.5"},   {63.0f, "63", "63", "63"},
    {125.0f, "125", "125", "125"}, {250.0f, "250", "250", "250"},     {500.0f, "500", "500", "500"},
    {1000.0f, "1k", "1K", "1000"}, {2000.0f, "2k", "2K", "2000"},     {4000.0f, "4k", "4K", "4000"},
    {8000.0f, "8k", "8K", "8000"}, {16000.0f, "16k", "16K", "16000"},
};

// Nominal centre of an octave row (1..10), Hz.
constexpr float OctaveCentreHz(int row) { return OCTAVE_BANDS[row].nominalHz; }
// Nominal centre of a third-octave row (1..27): rows 3k-2, 3k-1, 3k are the
// lower, middle and upper third of octave row k.
constexpr float ThirdOctaveCentreHz(int row) {
  return OCTAVE_BANDS[(row + 2) / 3].nominalHz * THIRD_CENTRE_FACTOR[(row - 1) % 3];
}

constexpr BandColumn THIRD_OCTAVE_BANDS[THIRD_OCTAVE_ROWS] = {
    {0.0f, "Wide Band", "Lin", "Lin"},
    {ThirdOctaveCentreHz(1), "31.5(1)", "31.5(1)", "25"},
    {ThirdOctaveCentreHz(2), "31.5(2)", "31.5(2)", "31.5"},
    {ThirdOctaveCentreHz(3), "31.5(3)", "31.5(3)", "40"},
    {ThirdOctaveCentreHz(4), "63(1)", "63(1)", "50"},
    {ThirdOctaveCentreHz(5), "63(2)", "63(2)", "63"},
    {ThirdOctaveCentreHz(6), "63(3)", "63(3)", "80"},
    {ThirdOctaveCentreHz(7), "125(1)", "125(1)", "100"},
    {ThirdOctaveCentreHz(8), "125(2)", "125(2)", "125"},
    {ThirdOctaveCentreHz(9), "125(3)", "125(3)", "160"},
    {ThirdOctaveCentreHz(10), "250(1)", "250(1)", "200"},
    {ThirdOctaveCentreHz(11), "250(2)", "250(2)", "250"},
    {ThirdOctaveCentreHz(12), "250(3)", "250(3)", "315"},
    {ThirdOctaveCentreHz(13), "500(1)", "500(1)", "400"},
    {ThirdOctaveCentreHz(14), "500(2)", "500(2)", "500"},
    {ThirdOctaveCentreHz(15), "500(3)", "500(3)", "630"},
    {ThirdOctaveCentreHz(16), "1K(1)", "1K(1)", "800"},
    {ThirdOctaveCentreHz(17), "1K(2)", "1K(2)", "1000"},
    {ThirdOctaveCentreHz(18), "1K(3)", "1K(3)", "1250"},
    {ThirdOctaveCentreHz(19), "2K(1)", "2K(1)", "1600"},
    {ThirdOctaveCentreHz(20), "2K(2)", "2K(2)", "2000"},
    {ThirdOctaveCentreHz(21), "2K(3)", "2K(3)", "2500"},
    {ThirdOctaveCentreHz(22), "4K(1)", "4K(1)", "3150"},
    {ThirdOctaveCentreHz(23), "4K(2)", "4K(2)", "4000"},
    {ThirdOctaveCentreHz(24), "4K(3)", "4K(3)", "5000"},
    {ThirdOctaveCentreHz(25), "8K(1)", "8K(1)", "6300"},
    {ThirdOctaveCentreHz(26), "8K(2)", "8K(2)", "8000"},
    {ThirdOctaveCentreHz(27), "8K(3)", "8K(3)", "10000"},
};

// The columns of one band layout.
constexpr const BandColumn* BandColumns(bool thirdOctave) {
  return thirdOctave ? THIRD_OCTAVE_BANDS : OCTAVE_BANDS;
}
constexpr int BandRowCount(bool thirdOctave) { return thirdOctave ? THIRD_OCTAVE_ROWS : OCTAVE_ROWS; }

struct ParameterLabel {
  const char* reportLabel;       // row label of the clipboard report ("C50[dB]")
  const char* dialogLabel;       // row label of the octave results dialog ("C50 (dB)")
  const char* thirdDialogLabel;  // column label of the third-octave results dialog ("C50 [dB]")
  const char* name;              // the dialog's name of the parameter ("RT20", "r RT20")
  const char* isoName;           // ISO 3382 name where it differs in spelling ("T20", "Ts"), else name
  const char* unit;              // "dB", "%", "ms", "s", "" for a coefficient
};

constexpr ParameterLabel PARAMETERS[PARAMS_PER_BAND] = {
    {"C50[dB]", "C50 (dB)", "C50 [dB]", "C50", "C50", "dB"},
    {"C80[dB]", "C80 (dB)", "C80 [dB]", "C80", "C80", "dB"},
    {"D50 [%]", "D50 (%)", "D50 [%]", "D50", "D50", "%"},
    {"TS [ms]", "TS (ms)", "TS [ms]", "TS", "Ts", "ms"},
    {"EDT [s]", "EDT (s)", "EDT [s]", "EDT", "EDT", "s"},
    {"RT20[s]", "RT20 (s)", "RT20 [s]", "RT20", "T20", "s"},
    {"r RT20", "r RT20", "r RT20", "r RT20", "r2 T20", ""},
    {"RT30[s]", "RT30 (s)", "RT30 [s]", "RT30", "T30", "s"},
    {"r RT30", "r RT30", "r RT30", "r RT30", "r2 T30", ""},
    {"RTU [s]", "RTU (s)", "RTUser[s]", "RTU", "RTU", "s"},
    {"r RTU", "r RTU", "r RTUser", "r RTU", "r2 RTU", ""},
};

// The rows between the two channels of a stereo analysis, after the
// parameters of each channel, in the order of the octave results dialog.
enum PairRow { PAIR_LF = 0, PAIR_IACC, PAIR_W_IACC, PAIR_TAU_IACC, PAIR_ROW_COUNT };

struct PairRowLabel {
  const char* name;         // "LF", "W IACC"
  const char* dialogLabel;  // row label of the octave results dialog ("W IACC [ms]")
  const char* unit;         // "ms", "" for a coefficient
};

constexpr PairRowLabel PAIR_ROWS[PAIR_ROW_COUNT] = {
    {"LF", "LF", ""},
    {"IACC", "IACC", ""},
    {"W IACC", "W IACC [ms]", "ms"},
    {"Tau IACC", "Tau IACC [ms]", "ms"},
};
