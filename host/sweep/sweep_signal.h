// The exponential sine sweep (Farina): its parameters as one small record,
// their checks, and the signal that is played. Pure functions: values in,
// samples and a status out.
//
//   x(t) = A sin(2 pi f1 L (exp(t / L) - 1)),   L = T / ln(f2 / f1)
//
// The instantaneous frequency rises from f1 to f2 in T seconds, one octave in
// the same time everywhere; raised-cosine fades at both ends keep the start
// and stop free of clicks. The k-th harmonic of a memoryless distortion is a
// copy of the sweep that runs L ln(k) seconds ahead, so after deconvolution
// it lands L ln(k) before the linear response.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sweep {

// Everything a deconvolution needs to rebuild the played sweep sample for
// sample. It is written beside the sweep file (see sweep_file.h).
struct SweepParameters {
  double startHz = 20.0;         // f1, instantaneous frequency at the start
  double endHz = 20000.0;        // f2, at the end of the sweep (below Nyquist)
  double sweepSeconds = 10.0;    // T, the sweep without its silence
  int32_t rateHz = 48000;        // sample rate of the sweep file
  double levelDbfs = -6.0;       // peak amplitude A = 10^(level / 20), full scale 1.0
  double fadeInSeconds = 0.05;   // raised-cosine fade at the start (within T)
  double fadeOutSeconds = 0.01;  // raised-cosine fade at the end (within T)
  double silenceSeconds = 3.0;   // after each sweep, for the decay; the response's length
  int32_t repetitions = 1;       // sweeps played one after the other, each with its silence
};

enum class SweepStatus {
  Ok,
  BadRange,        // f1 not positive, f2 not above f1, or f2 not below Nyquist
  BadDuration,     // sweep shorter than 10 ms or longer than an hour
  BadRate,         // rate outside 1000..768000 Hz
  BadLevel,        // level above 0 dBFS or below -120 dBFS
  BadFades,        // a fade negative, or both together longer than the sweep
  BadSilence,      // silence shorter than 0.1 s or longer than an hour
  BadRepetitions,  // repetitions outside 1..100
  RateMismatch,    // recording at another rate than the sweep
  TooShort,        // recording shorter than the sweeps and their silences
  BadRecording,    // no channels, channels of different lengths, or samples not finite
  NoResponse,      // the deconvolved response is silent
};

// The end frequency a sweep at `rateHz` may reach: 0.45 of the rate (90 % of
// Nyquist), where no resampler's or converter's anti-alias filter cuts yet.
double HighestEndHz(int32_t rateHz);

SweepStatus CheckSweepParameters(const SweepParameters& parameters);

// L = T / ln(f2 / f1), in seconds.
double SweepRateConstantSeconds(const SweepParameters& parameters);

size_t SweepSamples(const SweepParameters& parameters);    // T in samples
size_t SilenceSamples(const SweepParameters& parameters);  // the silence after one sweep
size_t PeriodSamples(const SweepParameters& parameters);   // one sweep and its silence

// One sweep without its silence, faded, at its level (checked parameters).
std::vector<double> SweepExcitation(const SweepParameters& parameters);

// What is played: `repetitions` times the sweep and its silence.
std::vector<float> SweepPlayback(const SweepParameters& parameters);

// One sentence for a status (no trailing full stop).
std::string SweepStatusSentence(SweepStatus status);

}  // namespace sweep
