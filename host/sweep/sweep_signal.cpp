#include "host/sweep/sweep_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sweep {
namespace {

constexpr double kHourSeconds = 3600.0;

size_t SecondsToSamples(double seconds, int32_t rateHz) {
  return static_cast<size_t>(std::llround(seconds * static_cast<double>(rateHz)));
}

// Raised-cosine gain of sample `index` within a fade of `length` samples,
// rising from 0 (index 0) towards 1.
double FadeGain(size_t index, size_t length) {
  return 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(index) / static_cast<double>(length));
}

}  // namespace

double HighestEndHz(int32_t rateHz) { return 0.45 * static_cast<double>(rateHz); }

SweepStatus CheckSweepParameters(const SweepParameters& p) {
  if (!(p.rateHz >= 1000 && p.rateHz <= 768000)) return SweepStatus::BadRate;
  if (!(p.startHz > 0.0 && p.endHz > p.startHz && p.endHz < 0.5 * p.rateHz)) return SweepStatus::BadRange;
  if (!(p.sweepSeconds >= 0.01 && p.sweepSeconds <= kHourSeconds)) return SweepStatus::BadDuration;
  if (!(p.levelDbfs <= 0.0 && p.levelDbfs >= -120.0)) return SweepStatus::BadLevel;
  if (!(p.fadeInSeconds >= 0.0 && p.fadeOutSeconds >= 0.0 &&
        p.fadeInSeconds + p.fadeOutSeconds <= p.sweepSeconds))
    return SweepStatus::BadFades;
  if (!(p.silenceSeconds >= 0.1 && p.silenceSeconds <= kHourSeconds)) return SweepStatus::BadSilence;
  if (p.repetitions < 1 || p.repetitions > 100) return SweepStatus::BadRepetitions;
  return SweepStatus::Ok;
}

double SweepRateConstantSeconds(const SweepParameters& p) {
  return p.sweepSeconds / std::log(p.endHz / p.startHz);
}

size_t SweepSamples(const SweepParameters& p) { return SecondsToSamples(p.sweepSeconds, p.rateHz); }
size_t SilenceSamples(const SweepParameters& p) { return SecondsToSamples(p.silenceSeconds, p.rateHz); }
size_t PeriodSamples(const SweepParameters& p) { return SweepSamples(p) + SilenceSamples(p); }

std::vector<double> SweepExcitation(const SweepParameters& p) {
  const size_t count = SweepSamples(p);
  const double amplitude = std::pow(10.0, p.levelDbfs / 20.0);
  const double rateConstant = SweepRateConstantSeconds(p);
  const double phaseScale = 2.0 * std::numbers::pi * p.startHz * rateConstant;
  std::vector<double> signal(count);
  for (size_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / static_cast<double>(p.rateHz);
    signal[n] = amplitude * std::sin(phaseScale * (std::exp(t / rateConstant) - 1.0));
  }
  const size_t fadeIn = std::min(SecondsToSamples(p.fadeInSeconds, p.rateHz), count);
  const size_t fadeOut = std::min(SecondsToSamples(p.fadeOutSeconds, p.rateHz), count);
  for (size_t n = 0; n < fadeIn; ++n) signal[n] *= FadeGain(n, fadeIn);
  for (size_t n = 0; n < fadeOut; ++n) signal[count - 1 - n] *= FadeGain(n, fadeOut);
  return signal;
}

std::vector<float> SweepPlayback(const SweepParameters& p) {
  const std::vector<double> excitation = SweepExcitation(p);
  const size_t period = PeriodSamples(p);
  std::vector<float> playback(period * static_cast<size_t>(p.repetitions), 0.0f);
  for (int32_t r = 0; r < p.repetitions; ++r) {
    for (size_t n = 0; n < excitation.size(); ++n)
      playback[static_cast<size_t>(r) * period + n] = static_cast<float>(excitation[n]);
  }
  return playback;
}

std::string SweepStatusSentence(SweepStatus status) {
  switch (status) {
    case SweepStatus::Ok:
      return "ok";
    case SweepStatus::BadRange:
      return "the sweep's range must rise from a positive start frequency to an end below Nyquist";
    case SweepStatus::BadDuration:
      return "the sweep must last from 0.01 s to one hour";
    case SweepStatus::BadRate:
      return "the sample rate must lie between 1000 and 768000 Hz";
    case SweepStatus::BadLevel:
      return "the level must lie between -120 and 0 dBFS";
    case SweepStatus::BadFades:
      return "the fades must not be negative, and together not longer than the sweep";
    case SweepStatus::BadSilence:
      return "the silence after the sweep must last from 0.1 s to one hour (it sets the response's length)";
    case SweepStatus::BadRepetitions:
      return "the sweep may be repeated 1 to 100 times";
    case SweepStatus::RateMismatch:
      return "the recording's sample rate is not the sweep's";
    case SweepStatus::TooShort:
      return "the recording is shorter than the sweeps and their silences";
    case SweepStatus::BadRecording:
      return "the recording holds no usable samples (no channels, unequal channels, or values not finite)";
    case SweepStatus::NoResponse:
      return "the recording holds no response to the sweep (it is silent)";
  }
  return "unknown status";
}

}  // namespace sweep
