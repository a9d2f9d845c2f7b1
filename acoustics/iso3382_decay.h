// The ISO 3382 evaluation of one band signal, beside the plug-in's values:
// Lundeby truncation and compensation, the Schroeder curve, EDT/T20/T30 with
// their validity, curvature, non-linearity and uncertainty, and C50, C80,
// D50, Ts from the ISO onset. Pure: arrays in, values and reasons out.
//
// Decay curve. E(t) = sum of (x^2 - noise) from t to the truncation point,
// plus the Lundeby compensation (iso3382_lundeby.h), in double: Lundeby's
// truncation and compensation with the noise power subtracted before the
// truncation point (the combined Chu-Lundeby method), which removes the
// noise's lift of the curve just above the truncation point (uncorrected, a
// 37 dB INR lengthens T20 by about 4 %). Without a decay above the noise
// nothing is subtracted. Its level is
// 10 lg(E(t) / E(onset)), 0 dB at the onset. Levels are computed only where
// a fit or a drawn point reads them; thresholds are found on energies.
//
// Fits (ISO 3382-1:2009 A.2.2, ISO 3382-2:2008 5.3): least squares of level
// against time over the samples whose level lies in the range, EDT 0 to
// -10 dB, T20 -5 to -25 dB, T30 -5 to -35 dB; T = -60 / slope.
// Validity of each:
//  - the end of the range at least 10 dB above the noise: INR >= 20 dB for
//    EDT, 35 dB for T20, 45 dB for T30 (ISO 3382-1:2009, 5.3.3 / Table 1);
//  - the range reached before the truncation point and within the selection;
//  - T20, T30: non-linearity xi = 1000 (1 - r^2) at most 10 per mille, and
//    curvature C = 100 (T30 / T20 - 1) at most 10 % (ISO 3382-2:2008,
//    Annex B.3). EDT is never refused for its straightness.
//
// Uncertainty of T20 and T30, ISO 3382-2:2008, 7.2 (measurement
// uncertainty), equations for the standard deviation:
//   sigma(T20) = 0.88 T20 sqrt((1 + 1.90 / n) / (N B T20))
//   sigma(T30) = 0.55 T30 sqrt((1 + 1.52 / n) / (N B T30))
// B the bandwidth in Hz (0.71 fc for octaves, 0.23 fc for thirds), N the
// number of independent source-receiver positions averaged, n the number of
// decays averaged at each position. For the integrated impulse response
// method the standard takes the uncertainty equal to that of n = 10
// interrupted-noise decays; one response is N = 1.
//
// Energy parameters (ISO 3382-1:2009, A.2.3 to A.2.5) from the ISO onset, on
// the same energies: the squared response less the noise up to the
// truncation point, plus the compensation
// (the late-decay exponential beyond it). Sample k stands for the interval
// [k, k + 1) of the band's sample clock; a boundary (the onset, 50 ms, 80 ms
// after it) inside a sample splits that sample's energy in proportion; Ts
// takes each (part) sample's energy at the interval's middle.
#pragma once

#include <cstdint>
#include <vector>

#include "acoustics/iso3382_lundeby.h"
#include "acoustics/iso3382_reasons.h"

// A value and why it is not valid (0: valid). The value is NaN when it could
// not be computed at all.
struct IsoValue {
  double value;
  uint32_t reasons;
  bool Valid() const { return reasons == 0; }
};

// One decay-time fit.
struct IsoDecayFit {
  IsoValue time;              // s
  double startDb, endDb;      // the evaluation range (0/-10, -5/-25, -5/-35)
  double startSeconds;        // first fitted point, from the onset
  double endSeconds;          // last fitted point, from the onset
  double interceptDb;         // fitted line at the onset, dB re E(onset)
  double slopeDbPerSecond;    // fitted line's slope
  double r2;                  // squared correlation coefficient of the fit
  double xiPermille;          // non-linearity 1000 (1 - r^2)
  double uncertaintySeconds;  // standard uncertainty (T20, T30 with a bandwidth); NaN otherwise
};

// One band signal to evaluate.
struct IsoBandInput {
  const float* samples;  // the band signal (iso3382_band_signals.h), samples[0..length-1]
  uint32_t length;
  double rateHz;        // the band signal's rate
  double onsetSeconds;  // the ISO onset (IsoOnsetSeconds of Lin), from the start of the selection
  double nominalHz;     // nominal centre; 0 for Lin
  double bandwidthHz;   // IsoNominalBandwidthHz; 0 for Lin (no uncertainty)
};

struct IsoBandResult {
  uint32_t bandReasons;      // reasons that hold for every value of the band (no onset, silent, no decay)
  double inrDb;              // impulse-to-noise ratio (Lundeby's first line at the onset over the noise)
  double noiseDb;            // 10 lg of the noise mean square (dB re one squared sample unit)
  double truncationSeconds;  // truncation point, from the start of the selection
  double compensationDb;     // the compensation's share of E(onset), dB (-inf as -400 when none)
  double curvaturePercent;   // 100 (T30 / T20 - 1); NaN without both
  IsoLundebyResult lundeby;  // the truncation in detail
  IsoDecayFit edt, t20, t30;
  IsoValue c50, c80;  // dB
  IsoValue d50;       // %
  IsoValue ts;        // ms
};

// Scratch memory reused from band to band: it only grows, so evaluating
// band after band allocates nothing once it has seen the longest. After
// EvaluateIsoBand it holds that band's decay curve for IsoBandDecayPlot.
struct IsoWorkspace {
  std::vector<double> energy;      // E from the onset sample to the truncation point (last = compensation)
  std::vector<double> blocks;      // Lundeby's block mean squares
  std::vector<double> squareSums;  // backward sums of the squared band signal (IsoBackwardSquareSums)
  uint32_t onsetIndex = 0;
  double rateHz = 0.0;
};

// The ISO onset (ISO 3382-1:2009, A.3.4): the first sample of the broadband
// (Lin) response whose square reaches 20 dB below the square of its peak, in
// seconds from the start of the selection; NaN for a silent selection. The
// same instant is used in every band (index = onset * band rate).
double IsoOnsetSeconds(const float* lin, uint32_t length, double rateHz);

// Nominal bandwidth in Hz of a band for the uncertainty: 0.71 fc (octave),
// 0.23 fc (third octave), 0 for Lin (nominalHz 0).
double IsoNominalBandwidthHz(double nominalHz, bool thirdOctave);

// sigma(T) of ISO 3382-2:2008, 7.2 for a T20 (rangeDb 20) or T30 (rangeDb 30)
// value; n decays per position, N positions. NaN for other ranges or B <= 0.
double IsoReverberationUncertaintySeconds(double decayTimeSeconds, double bandwidthHz, int rangeDb,
                                          int decaysPerPosition = 10, int positions = 1);

// The whole evaluation of one band.
IsoBandResult EvaluateIsoBand(const IsoBandInput& band, IsoWorkspace* work);

// Drawing a band's decay: at most maxPoints points of the decay curve
// (time from the onset, dB re E(onset)), the block envelope of the squared
// response on the scale where Lundeby's first line starts at 0 dB (so the
// noise is at -INR), and the lines to draw. Reads the curve left in `work`
// by EvaluateIsoBand for the same band; converts only the drawn points.
struct IsoPlotPoint {
  double seconds;
  double levelDb;
};
struct IsoDecayPlot {
  std::vector<IsoPlotPoint> decay;     // Schroeder curve
  std::vector<IsoPlotPoint> envelope;  // block-averaged squared response
  double noiseDb;                      // noise on the envelope's scale (-INR)
  double truncationSeconds;            // from the onset
};
IsoDecayPlot IsoBandDecayPlot(const IsoBandResult& result, const IsoWorkspace& work, int maxPoints);

// Single numbers of ISO 3382-1:2009, Annex A (Table A.1): EDT, T20 and T30
// ("T20,mid", "T30,mid"), C80, D50 and Ts as the arithmetic mean over the
// 500 Hz and 1 kHz octaves; in third-octave mode the mean over the six
// thirds of those octaves (rows 13..18). A single number is valid only when
// every band it averages is, and carries the union of their reasons.
struct IsoSingleNumbers {
  IsoValue edt, t20Mid, t30Mid, c80, d50, ts;
};
// `byRow[row]` the results of the layout's rows (bands.h), `rowCount` of them.
IsoSingleNumbers IsoSingleNumberAverages(const IsoBandResult* byRow, int rowCount, bool thirdOctave);
