#include "host/cli/prepare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/cli/interrupts.h"
#include "host/cli/resample.h"

namespace cli {

namespace {

bool Refuse(FileResult& result, const char* code, const std::string& why) {
  result.outcome.exitCode = EXIT_REFUSED;
  result.outcome.refusal = code;
  result.outcome.error = why;
  return false;
}

// What one pass over the interleaved frames learns of each channel.
struct ChannelScan {
  double peak = 0.0;                    // largest magnitude
  size_t peakAt = 0;                    // its first frame
  float lowest = 0.0f, highest = 0.0f;  // extremes, 0 included
};

// std::max and std::min: the first operand unless the second is strictly
// beyond it (so a NaN never enters).
float Larger(float a, float x) { return a < x ? x : a; }
float Smaller(float a, float x) { return x < a ? x : a; }

// One channel's frames [first, end) into its scan. The block's largest
// magnitude comes first, without branches; only a block that raises the
// peak is searched for the frame where it is reached. NaN samples are
// passed over, as every comparison with them fails.
//
// The extremes are compared in lanes, which gives what comparing in frame
// order gives: a lane takes a value only when it is strictly beyond the
// lane's, so neither the order nor a -0 (which is not below +0) changes the
// outcome.
template <size_t STRIDE>
void ScanBlockWith(const float* samples, size_t stride, size_t first, size_t end, ChannelScan& scan) {
  const size_t channels = STRIDE ? STRIDE : stride;
  constexpr size_t LANES = 8;
  float largest[LANES] = {}, lowest[LANES], highest[LANES];
  std::fill(lowest, lowest + LANES, scan.lowest);
  std::fill(highest, highest + LANES, scan.highest);
  size_t k = first;
#if defined(__SSE2__)
  if constexpr (STRIDE == 1) {
    // The same lanes in vector registers: MAXPS and MINPS keep their second
    // operand unless the first is strictly beyond it, as Larger and Smaller
    // keep the lane's value.
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 big[2], low[2], high[2];
    for (int h = 0; h < 2; ++h) {
      big[h] = _mm_loadu_ps(largest + 4 * h);
      low[h] = _mm_loadu_ps(lowest + 4 * h);
      high[h] = _mm_loadu_ps(highest + 4 * h);
    }
    for (; end - k >= LANES; k += LANES) {
      for (int h = 0; h < 2; ++h) {
        const __m128 x = _mm_loadu_ps(samples + k + 4 * h);
        big[h] = _mm_max_ps(_mm_and_ps(x, magnitude), big[h]);
        low[h] = _mm_min_ps(x, low[h]);
        high[h] = _mm_max_ps(x, high[h]);
      }
    }
    for (int h = 0; h < 2; ++h) {
      _mm_storeu_ps(largest + 4 * h, big[h]);
      _mm_storeu_ps(lowest + 4 * h, low[h]);
      _mm_storeu_ps(highest + 4 * h, high[h]);
    }
  }
#endif
  for (; end - k >= LANES; k += LANES) {
    for (size_t j = 0; j < LANES; ++j) {
      const float x = samples[(k + j) * channels];
      largest[j] = Larger(largest[j], std::fabs(x));
      lowest[j] = Smaller(lowest[j], x);
      highest[j] = Larger(highest[j], x);
    }
  }
  for (; k < end; ++k) {
    const float x = samples[k * channels];
    largest[0] = Larger(largest[0], std::fabs(x));
    lowest[0] = Smaller(lowest[0], x);
    highest[0] = Larger(highest[0], x);
  }
  for (size_t j = 1; j < LANES; ++j) {
    largest[0] = Larger(largest[0], largest[j]);
    lowest[0] = Smaller(lowest[0], lowest[j]);
    highest[0] = Larger(highest[0], highest[j]);
  }
  scan.lowest = lowest[0];
  scan.highest = highest[0];
  const float blockLargest = largest[0];
  if (!(blockLargest > scan.peak)) return;
  for (size_t f = first; f < end; ++f) {
    if (std::fabs(samples[f * channels]) == blockLargest) {
      scan.peak = blockLargest;
      scan.peakAt = f;
      return;
    }
  }
}

// A mono selection's frames lie side by side: its lanes run in vector
// registers.
void ScanBlock(const float* samples, size_t channels, size_t first, size_t end, ChannelScan& scan) {
  if (channels == 1) {
    ScanBlockWith<1>(samples, 1, first, end, scan);
  } else {
    ScanBlockWith<0>(samples, channels, first, end, scan);
  }
}

std::vector<ChannelScan> ScanChannels(const std::vector<float>& samples, size_t channels) {
  constexpr size_t BLOCK_FRAMES = 4096;  // a block of every channel stays in the cache
  std::vector<ChannelScan> scans(channels);
  const size_t frames = channels ? samples.size() / channels : 0;
  for (size_t first = 0; first < frames; first += BLOCK_FRAMES) {
    const size_t end = std::min(frames, first + BLOCK_FRAMES);
    for (size_t c = 0; c < channels; ++c) ScanBlock(samples.data() + c, channels, first, end, scans[c]);
  }
  return scans;
}

// Mean energy of one channel over frames [first, end).
double MeanEnergy(const std::vector<float>& samples, size_t channels, size_t channel, size_t first,
                  size_t end) {
  double sum = 0.0;
  for (size_t f = first; f < end; ++f) {
    const double x = samples[f * channels + channel];
    sum += x * x;
  }
  return end > first ? sum / static_cast<double>(end - first) : 0.0;
}

// The smallest mean energy of `count` consecutive windows of `window` frames
// from frame `from`, each window summed in frame order as MeanEnergy sums
// it. Eight windows at a time: their sums do not wait on one another.
double QuietestWindow(const std::vector<float>& samples, size_t channels, size_t channel, size_t from,
                      size_t window, size_t count, double quietest) {
  constexpr size_t TOGETHER = 8;
  size_t k = 0;
  for (; k + TOGETHER <= count; k += TOGETHER) {
    double sums[TOGETHER] = {};
    const float* x = samples.data() + (from + k * window) * channels + channel;
    for (size_t f = 0; f < window; ++f) {
      for (size_t w = 0; w < TOGETHER; ++w) {
        const double value = x[(w * window + f) * channels];
        sums[w] += value * value;
      }
    }
    for (double sum : sums) quietest = std::min(quietest, sum / static_cast<double>(window));
  }
  for (; k < count; ++k) {
    const size_t first = from + k * window;
    quietest = std::min(quietest, MeanEnergy(samples, channels, channel, first, first + window));
  }
  return quietest;
}

// Level drop in dB from the window that starts at the channel's peak to the
// quietest window after it (windows of 50 ms, at most a tenth of the
// selection).
double DecayDb(const std::vector<float>& samples, size_t channels, size_t channel, size_t first, size_t end,
               size_t peakAt, double rate) {
  const size_t window =
      std::clamp<size_t>(static_cast<size_t>(0.05 * rate), 1, std::max<size_t>(1, (end - first) / 10));
  const double early = MeanEnergy(samples, channels, channel, peakAt, std::min(end, peakAt + window));
  const size_t after = peakAt + window;
  const size_t count = after + window <= end ? (end - after) / window : 0;
  const double late = QuietestWindow(samples, channels, channel, after, window, count, early);
  if (late <= 0.0) return INFINITY;
  return 10.0 * std::log10(early / late);
}

// Refuses (false) a selection that holds no response: a silent channel, less
// than 50 ms, or no decay.
bool CheckResponse(FileResult& result, const std::vector<ChannelScan>& scans) {
  const AudioData& audio = result.input.audio;
  const size_t channels = audio.usedChannels.size();
  // The samples are the selection's frames alone.
  const size_t first = 0, end = channels ? audio.samples.size() / channels : 0;
  for (size_t c = 0; c < channels; ++c) {
    if (scans[c].peak == 0.0) {
      return Refuse(
          result, "silent",
          "channel " + std::to_string(audio.usedChannels[c]) +
              " is silent over the selection (every "
              "sample is 0): there is no response to analyse; check the file and the --channels choice");
    }
  }
  const double seconds = static_cast<double>(end - first) / audio.sampleRate;
  if (seconds < MIN_SELECTION_SECONDS) {
    char why[200];
    std::snprintf(
        why, sizeof(why),
        "the selection lasts %.3g ms (%zu frames); every parameter needs at least %.0f ms after the "
        "first arrival: select the whole response",
        seconds * 1000.0, end - first, MIN_SELECTION_SECONDS * 1000.0);
    return Refuse(result, "too-short", why);
  }
  for (size_t c = 0; c < channels; ++c) {
    const double drop = DecayDb(audio.samples, channels, c, first, end, scans[c].peakAt, audio.sampleRate);
    if (drop < MIN_DECAY_DB) {
      char why[240];
      std::snprintf(
          why, sizeof(why),
          "channel %d does not decay: no 50 ms after its peak lie more than %.1f dB below the 50 ms that "
          "start at the peak (at least %.0f dB are needed); is this noise rather than an impulse response?",
          audio.usedChannels[c], drop, MIN_DECAY_DB);
      return Refuse(result, "no-decay", why);
    }
  }
  return true;
}

// Moves the selection into `offered`, resampled to the filters' design rate
// unless the file's own rate is kept. False (exit code 2) when resampling
// fails.
bool OfferAtAnalysisRate(const Options& options, FileResult& result, OfferedAudio& offered) {
  AudioData& audio = result.input.audio;
  const size_t channels = audio.usedChannels.size();
  const size_t end = channels ? audio.samples.size() / channels : 0;
  offered.bits = audio.bitsOffered;
  offered.rate = audio.sampleRate;
  if (audio.sampleRate != ANALYSIS_RATE_HZ && !options.nativeRate) {
    // Only the selection is resampled; 8-bit samples move to the 16-bit
    // scale of the float samples offered instead.
    const float toScale = audio.bitsOffered == 8 ? 256.0f : 1.0f;
    std::vector<float> selection = std::move(audio.samples);
    for (float& x : selection) x *= toScale;
    std::string error;
    const ResampleStatus status = Resample(selection.data(), end, channels, audio.sampleRate,
                                           ANALYSIS_RATE_HZ, g_stopRequested, offered.samples, error);
    if (status != ResampleStatus::Done) {
      result.outcome.exitCode = status == ResampleStatus::Interrupted ? EXIT_INTERRUPTED : EXIT_UNREADABLE;
      result.outcome.error = error;
      return false;
    }
    result.offer.resampledFrom = audio.sampleRate;
    offered.rate = ANALYSIS_RATE_HZ;
    offered.bits = 32;
    offered.first = 0;
    offered.last = static_cast<uint32_t>(offered.samples.size() / channels - 1);
  } else {
    offered.samples = std::move(audio.samples);
    offered.first = 0;
    offered.last = static_cast<uint32_t>(end - 1);
  }
  audio.samples.clear();
  audio.samples.shrink_to_fit();
  result.offer.analysisRate = offered.rate;
  result.offer.analysedFrames = offered.last - offered.first + 1;
  result.offer.analysedBits = offered.bits;
  return true;
}

// The peaks of what the plug-in is offered (resampling may move them a
// little), and a float selection beyond the 16-bit scale brought to a peak
// of 32767: every parameter is a ratio or a slope, so a common factor
// changes no result. So is one quieter than -30 dBFS when the threshold is
// automatic, which then keeps its resolution (a given threshold keeps its
// meaning in the file's own scale).
void ScaleFloatSamples(const Options& options, FileResult& result, OfferedAudio& offered,
                       const std::vector<ChannelScan>& scans) {
  const size_t channels = result.input.audio.usedChannels.size();
  FileOffer& offer = result.offer;
  offer.peaks.assign(channels, 0.0);
  float lowest = 0.0f, highest = 0.0f;
  for (size_t c = 0; c < channels; ++c) {
    offer.peaks[c] = scans[c].peak;
    lowest = std::min(lowest, scans[c].lowest);
    highest = std::max(highest, scans[c].highest);
  }
  const double peak = *std::max_element(offer.peaks.begin(), offer.peaks.end());
  const bool quiet = peak < QUIET_PEAK && options.thresholdMode == ThresholdMode::Auto;
  if (offered.bits == 32 && result.input.audio.floatSource &&
      (highest > 32767.0f || lowest < -32768.0f || quiet)) {
    offer.scaled = true;
    offer.scaleFactor = 32767.0 / peak;
    for (float& sample : offered.samples) sample = static_cast<float>(sample * offer.scaleFactor);
  }
}

// The text typed into the W threshold field: with the automatic threshold
// 20 dB below the peak of the weaker channel (the start of the response).
void ChooseThreshold(const Options& options, FileOffer& offer) {
  if (options.thresholdMode == ThresholdMode::Auto) {
    const double weaker = *std::min_element(offer.peaks.begin(), offer.peaks.end()) * offer.scaleFactor;
    char text[32];
    std::snprintf(text, sizeof(text), "%.0f", std::floor(weaker / 10.0));
    offer.typedThreshold = text;
  } else if (options.thresholdMode == ThresholdMode::Given) {
    offer.typedThreshold = options.thresholdText;
  }
}

}  // namespace

bool PrepareSelection(const Options& options, FileResult& result, OfferedAudio& offered) {
  // One pass over the selection for its checks, and again only when
  // resampling has changed the samples offered.
  const size_t channels = result.input.audio.usedChannels.size();
  std::vector<ChannelScan> scans = ScanChannels(result.input.audio.samples, channels);
  if (!CheckResponse(result, scans) || !OfferAtAnalysisRate(options, result, offered)) return false;
  if (result.offer.resampledFrom) scans = ScanChannels(offered.samples, channels);
  ScaleFloatSamples(options, result, offered, scans);
  ChooseThreshold(options, result.offer);
  return true;
}

}  // namespace cli
