#include "host/sweep/deconvolution.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

#include "host/sweep/fft.h"

namespace sweep {
namespace {

constexpr double kLeadSeconds = 0.005;            // the response starts this long before the direct sound
constexpr double kInBandFloor = 1e-8;             // eps within the band, relative to the largest bin power
constexpr double kTransitionOctaves = 1.0 / 3.0;  // eps rises to the largest bin power over this span
constexpr int kHighestHarmonic = 5;               // the harmonic window reaches back to the fifth's products

DeconvolutionResult Refused(SweepStatus status, const std::string& sentence) {
  DeconvolutionResult result;
  result.status = status;
  result.sentence = sentence.empty() ? SweepStatusSentence(status) : sentence;
  return result;
}

std::string Format(const char* format, double a, double b, int c) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// eps of each bin of a spectrum of `length` samples at `rateHz`: the in-band
// floor between f1 and f2, rising (raised cosine of the log) to 1 a third of
// an octave outside, times the largest bin power.
std::vector<double> Regularisation(const std::vector<double>& power, size_t length,
                                   const SweepParameters& p) {
  const double largest = *std::max_element(power.begin(), power.end());
  std::vector<double> eps(power.size());
  for (size_t k = 0; k < power.size(); ++k) {
    const double hz = static_cast<double>(k) * p.rateHz / static_cast<double>(length);
    double octavesOut = 0.0;
    if (hz <= 0.0) {
      octavesOut = kTransitionOctaves;
    } else if (hz < p.startHz) {
      octavesOut = std::log2(p.startHz / hz);
    } else if (hz > p.endHz) {
      octavesOut = std::log2(hz / p.endHz);
    }
    const double x = std::min(octavesOut / kTransitionOctaves, 1.0);
    const double rise = 0.5 - 0.5 * std::cos(std::numbers::pi * x);  // 0 in band, 1 beyond the transition
    eps[k] = largest * std::pow(kInBandFloor, 1.0 - rise);
  }
  return eps;
}

// The deconvolved recording of every channel (circular, length `length`:
// negative times at the end).
std::vector<std::vector<double>> DeconvolvedChannels(const std::vector<std::vector<float>>& recording,
                                                     const SweepParameters& p, size_t& length) {
  const std::vector<double> excitation = SweepExcitation(p);
  length = FastFftLength(recording[0].size() + excitation.size());
  const std::vector<std::complex<double>> sweepSpectrum = RealSpectrum(excitation, length);
  std::vector<double> power(sweepSpectrum.size());
  for (size_t k = 0; k < power.size(); ++k) power[k] = std::norm(sweepSpectrum[k]);
  const std::vector<double> eps = Regularisation(power, length, p);
  std::vector<std::vector<double>> deconvolved;
  for (const std::vector<float>& channel : recording) {
    std::vector<std::complex<double>> spectrum =
        RealSpectrum(std::vector<double>(channel.begin(), channel.end()), length);
    for (size_t k = 0; k < spectrum.size(); ++k)
      spectrum[k] = spectrum[k] * std::conj(sweepSpectrum[k]) / (power[k] + eps[k]);
    deconvolved.push_back(RealSignal(spectrum, length));
  }
  return deconvolved;
}

// Index of the largest magnitude of any channel within [0, searchEnd).
size_t DirectSound(const std::vector<std::vector<double>>& deconvolved, size_t searchEnd, double& peak) {
  size_t index = 0;
  peak = 0.0;
  for (const std::vector<double>& channel : deconvolved) {
    for (size_t n = 0; n < std::min(searchEnd, channel.size()); ++n) {
      if (std::fabs(channel[n]) > peak) {
        peak = std::fabs(channel[n]);
        index = n;
      }
    }
  }
  return index;
}

// Mean over the repetitions of `count` samples starting at `start` (an index
// that may be negative: circular) plus r periods.
std::vector<double> SynchronousMean(const std::vector<double>& channel, long long start, size_t count,
                                    size_t period, int32_t repetitions) {
  const long long length = static_cast<long long>(channel.size());
  std::vector<double> mean(count, 0.0);
  for (int32_t r = 0; r < repetitions; ++r) {
    const long long first = start + static_cast<long long>(r) * static_cast<long long>(period);
    for (size_t n = 0; n < count; ++n) {
      const long long index = ((first + static_cast<long long>(n)) % length + length) % length;
      mean[n] += channel[static_cast<size_t>(index)];
    }
  }
  for (double& value : mean) value /= repetitions;
  return mean;
}

double Energy(const std::vector<double>& signal) {
  double sum = 0.0;
  for (double value : signal) sum += value * value;
  return sum;
}

SweepStatus CheckRecording(const std::vector<std::vector<float>>& recording) {
  if (recording.empty() || recording[0].empty()) return SweepStatus::BadRecording;
  for (const std::vector<float>& channel : recording) {
    if (channel.size() != recording[0].size()) return SweepStatus::BadRecording;
    for (float value : channel)
      if (!std::isfinite(value)) return SweepStatus::BadRecording;
  }
  return SweepStatus::Ok;
}

}  // namespace

double PeakToNoiseDb(const std::vector<float>& response) {
  if (response.empty()) return 0.0;
  double peak = 0.0;
  for (float value : response) peak = std::max(peak, static_cast<double>(value) * value);
  const size_t tail = std::max<size_t>(response.size() / 10, 1);
  double noise = 0.0;
  for (size_t n = response.size() - tail; n < response.size(); ++n)
    noise += static_cast<double>(response[n]) * response[n];
  noise /= static_cast<double>(tail);
  if (noise <= peak * 1e-30) return 300.0;
  return 10.0 * std::log10(peak / noise);
}

DeconvolutionResult DeconvolveChannels(const std::vector<std::vector<float>>& recording, int32_t rateHz,
                                       const SweepParameters& p) {
  const SweepStatus parametersStatus = CheckSweepParameters(p);
  if (parametersStatus != SweepStatus::Ok) return Refused(parametersStatus, "");
  if (rateHz != p.rateHz)
    return Refused(SweepStatus::RateMismatch,
                   Format("the recording's rate is %.0f Hz, the sweep's %.0f Hz (record at the sweep's rate)",
                          rateHz, p.rateHz, 0));
  const SweepStatus recordingStatus = CheckRecording(recording);
  if (recordingStatus != SweepStatus::Ok) return Refused(recordingStatus, "");
  const size_t period = PeriodSamples(p);
  const size_t frames = recording[0].size();
  if (frames < period * static_cast<size_t>(p.repetitions))
    return Refused(
        SweepStatus::TooShort,
        Format("the recording lasts %.3f s, but %.3f s are needed for %d sweep(s) with their silence",
               static_cast<double>(frames) / rateHz, static_cast<double>(period) * p.repetitions / rateHz,
               p.repetitions));

  size_t length = 0;
  const std::vector<std::vector<double>> deconvolved = DeconvolvedChannels(recording, p, length);
  // The first sweep's linear response lies before the second's harmonic products.
  const double rateConstantSamples = SweepRateConstantSeconds(p) * rateHz;
  const size_t searchEnd =
      std::max<size_t>(1, period - static_cast<size_t>(rateConstantSamples * std::numbers::ln2));
  double peak = 0.0;
  const size_t direct = DirectSound(deconvolved, searchEnd, peak);
  if (!(peak > 0.0) || !std::isfinite(peak)) return Refused(SweepStatus::NoResponse, "");

  const long long lead = std::llround(kLeadSeconds * rateHz);
  const long long start = static_cast<long long>(direct) - lead;
  const size_t keep = SilenceSamples(p);
  const size_t harmonicSpan =
      std::min(SweepSamples(p),
               static_cast<size_t>(rateConstantSamples * std::log(static_cast<double>(kHighestHarmonic))));
  DeconvolutionResult result;
  double keptEnergy = 0.0, harmonicEnergy = 0.0;
  result.facts.peakToNoiseDb = 300.0;
  for (const std::vector<double>& channel : deconvolved) {
    const std::vector<double> response = SynchronousMean(channel, start, keep, period, p.repetitions);
    harmonicEnergy += Energy(SynchronousMean(channel, start - static_cast<long long>(harmonicSpan),
                                             harmonicSpan, period, p.repetitions));
    keptEnergy += Energy(response);
    result.channels.emplace_back(response.size());
    std::transform(response.begin(), response.end(), result.channels.back().begin(),
                   [](double value) { return static_cast<float>(value); });
    result.facts.peakToNoiseDb = std::min(result.facts.peakToNoiseDb, PeakToNoiseDb(result.channels.back()));
  }
  result.facts.startHz = p.startHz;
  result.facts.endHz = p.endHz;
  result.facts.rateHz = rateHz;
  result.facts.sweepsAveraged = p.repetitions;
  result.facts.directSoundSeconds = static_cast<double>(direct) / rateHz;
  result.facts.leadSeconds = static_cast<double>(lead) / rateHz;
  result.facts.keptSeconds = static_cast<double>(keep) / rateHz;
  result.facts.harmonicCutDb = 10.0 * std::log10(std::max(harmonicEnergy, keptEnergy * 1e-30) / keptEnergy);
  return result;
}

DeconvolutionResult DeconvolveInterleaved(const float* frames, size_t frameCount, int channelCount,
                                          int32_t rateHz, const SweepParameters& parameters) {
  if (channelCount < 1 || frames == nullptr) return Refused(SweepStatus::BadRecording, "");
  std::vector<std::vector<float>> channels(static_cast<size_t>(channelCount), std::vector<float>(frameCount));
  for (size_t n = 0; n < frameCount; ++n)
    for (size_t c = 0; c < channels.size(); ++c) channels[c][n] = frames[n * channels.size() + c];
  return DeconvolveChannels(channels, rateHz, parameters);
}

DeconvolutionResult AverageResponses(const std::vector<DeconvolutionResult>& results) {
  if (results.empty()) return Refused(SweepStatus::BadRecording, "");
  for (const DeconvolutionResult& result : results) {
    if (result.status != SweepStatus::Ok) return result;
    if (result.facts.rateHz != results[0].facts.rateHz)
      return Refused(SweepStatus::RateMismatch, "the recordings have different sample rates");
    if (result.channels.size() != results[0].channels.size() ||
        result.channels[0].size() != results[0].channels[0].size())
      return Refused(SweepStatus::BadRecording,
                     "the recordings have different numbers of channels or lengths");
  }
  DeconvolutionResult mean = results[0];
  double harmonicRatio = 0.0;
  for (const DeconvolutionResult& result : results)
    harmonicRatio += std::pow(10.0, result.facts.harmonicCutDb / 10.0);
  for (size_t c = 0; c < mean.channels.size(); ++c) {
    std::vector<double> sum(mean.channels[c].size(), 0.0);
    for (const DeconvolutionResult& result : results)
      for (size_t n = 0; n < sum.size(); ++n) sum[n] += result.channels[c][n];
    for (size_t n = 0; n < sum.size(); ++n)
      mean.channels[c][n] = static_cast<float>(sum[n] / static_cast<double>(results.size()));
  }
  mean.facts.sweepsAveraged = 0;
  for (const DeconvolutionResult& result : results) mean.facts.sweepsAveraged += result.facts.sweepsAveraged;
  mean.facts.harmonicCutDb = 10.0 * std::log10(harmonicRatio / static_cast<double>(results.size()));
  mean.facts.peakToNoiseDb = 300.0;
  for (const std::vector<float>& channel : mean.channels)
    mean.facts.peakToNoiseDb = std::min(mean.facts.peakToNoiseDb, PeakToNoiseDb(channel));
  return mean;
}

std::vector<float> InterleavedResponse(const DeconvolutionResult& result) {
  if (result.channels.empty()) return {};
  const size_t count = result.channels.size(), frames = result.channels[0].size();
  std::vector<float> interleaved(count * frames);
  for (size_t n = 0; n < frames; ++n)
    for (size_t c = 0; c < count; ++c) interleaved[n * count + c] = result.channels[c][n];
  return interleaved;
}

}  // namespace sweep
