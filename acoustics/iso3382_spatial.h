// Spatial quantities of a declared two-channel pair as ISO 3382-1 (Annex A)
// defines them, on one band's signals at that band's own rate:
//   - an omni (W) + figure-of-eight (Y) pair: the early lateral energy
//     fraction J_LF and its cosine-weighted form J_LFC;
//   - a binaural pair (left, right ear): IACC early, late and all, and the
//     lag of each maximum;
//   - the single numbers 1 - IACC_E3 and J_LF, J_LFC over 125 Hz to 1 kHz.
//
// Times are sample indices of the band's own rate. The onset is a fractional
// sample index (a double; a whole number is an exact sample): the direct
// sound's arrival as the caller found it on the broadband response (the
// omni, or the ears), converted to the band's rate (onsetSeconds * rateHz).
//
// Window rule: sample i stands for the interval [i, i + 1) of the sampled
// (held) signal, and a window [a, b) weighs each sample by the part of its
// interval inside the window (1 inside, a fraction at a fractional edge, 0
// outside). So fractional boundaries are exact, a window's integral moves
// continuously with the onset, and a sample at a whole-number onset counts
// in full.
//
// Nothing here allocates, keeps state or reports anything but its status.
#pragma once

#include <cstddef>
#include <cstdint>

enum SpatialStatus : uint8_t {
  SPATIAL_OK = 0,
  SPATIAL_INVALID_INPUT,       // rate not positive, no samples, onset or end not a finite index >= 0
  SPATIAL_ONSET_BEYOND_END,    // the onset lies at or after the end of the signal
  SPATIAL_RESPONSE_TOO_SHORT,  // the signal ends before the window does (or the late window is empty)
  SPATIAL_ZERO_DENOMINATOR,    // W (or one ear) has no energy in the window
  SPATIAL_NOT_FINITE,          // a sum over the window is infinite or not a number
  SPATIAL_BAND_NOT_VALID,      // single numbers: a band they average is not valid
};

// The stable reason code of a status (kebab case, "" for SPATIAL_OK) and its
// plain sentence.
struct SpatialReason {
  const char* code;
  const char* sentence;
};
SpatialReason SpatialReasonOf(SpatialStatus status);

// ---- omni + figure-of-eight ------------------------------------------------

// J_LF = integral of y^2 from 5 ms to 80 ms / integral of w^2 from 0 to 80 ms,
// J_LFC = integral of |y * w| from 5 ms to 80 ms / the same denominator, both
// windows from the onset. y is scaled by 10^(figure8GainDb / 20) first: 0 dB
// takes the two microphones as equally sensitive on their main axes; a
// figure-of-eight that is g dB less sensitive than the omni takes +g (J_LF
// rises by g dB, J_LFC by g / 2 dB). No factor is applied to w.
struct IsoLateral {
  double jlf;   // valid only when status is SPATIAL_OK
  double jlfc;  // likewise
  SpatialStatus status;
};
// w and y: `length` samples each at rateHz; the window must end within them.
IsoLateral ComputeIsoLateral(const float* w, const float* y, size_t length, double rateHz, double onsetSample,
                             double figure8GainDb);
IsoLateral ComputeIsoLateral(const double* w, const double* y, size_t length, double rateHz,
                             double onsetSample, double figure8GainDb);

// ---- binaural ---------------------------------------------------------------

// IACF(tau) = sum of l[i] * r[i + tau] / sqrt(sum of l^2 * sum of r^2) over
// the window (samples outside the signal count as 0), IACC = its largest
// magnitude over |tau| <= 1 ms. Lags are whole samples up to floor(rateHz /
// 1000); the maximum is then refined between lags by the sinusoid through
// the peak lag and its two neighbours (an octave band's correlation is a
// carrier near the band's centre under a slow envelope): at the band
// rates of an octave cascade (about 5.5 samples per centre period) whole
// lags alone can miss the peak by up to 16 %.
//
// Each product l[i] * r[i + tau] is weighed by the window at the pair's mid
// time i + tau / 2 (the ISO formula weighs at i: the two differ by a shift
// of the window of at most 0.5 ms). This makes the result exactly symmetric:
// swapping the ears gives the same IACC bit for bit and tau negated.
struct IsoIacc {
  double iacc;        // refined maximum of |IACF|, valid only when status is SPATIAL_OK
  double tauSeconds;  // lag of that maximum; positive when the right ear's signal comes later
  double iaccOnLags;  // the largest |IACF| at whole-sample lags (no refinement)
  SpatialStatus status;
};
// IACC over the window [startSample, endSample) (fractional indices).
IsoIacc ComputeIsoIaccWindow(const float* left, const float* right, size_t length, double rateHz,
                             double startSample, double endSample);
IsoIacc ComputeIsoIaccWindow(const double* left, const double* right, size_t length, double rateHz,
                             double startSample, double endSample);

struct IsoIaccSet {
  IsoIacc early;  // IACC_E: 0 to 80 ms after the onset
  IsoIacc late;   // IACC_L: 80 ms after the onset to the end
  IsoIacc all;    // IACC_A: the onset to the end
};
// The three windows from the onset. endSample < 0 takes the end of the
// signal (`length`); otherwise it must lie within it. The early window must
// end within the signal.
IsoIaccSet ComputeIsoIacc(const float* left, const float* right, size_t length, double rateHz,
                          double onsetSample, double endSample);
IsoIaccSet ComputeIsoIacc(const double* left, const double* right, size_t length, double rateHz,
                          double onsetSample, double endSample);

// ---- single numbers ---------------------------------------------------------

// 1 - IACC_E3: one minus the mean of IACC_E in the 500 Hz, 1 kHz and 2 kHz
// octaves. SPATIAL_BAND_NOT_VALID unless all three are valid.
struct SpatialSingleNumber {
  double value;
  SpatialStatus status;
};
SpatialSingleNumber OneMinusIaccE3(const IsoIacc& early500Hz, const IsoIacc& early1kHz,
                                   const IsoIacc& early2kHz);
// J_LF and J_LFC as the means over the 125 Hz, 250 Hz, 500 Hz and 1 kHz
// octaves (bands[0] = 125 Hz ... bands[3] = 1 kHz). SPATIAL_BAND_NOT_VALID
// unless all four are valid.
IsoLateral LateralSingleNumbers(const IsoLateral bands[4]);
