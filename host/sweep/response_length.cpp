#include "host/sweep/response_length.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "acoustics/iso3382_decay.h"
#include "acoustics/iso3382_lundeby.h"
#include "dsp/iso3382_band_signals.h"

namespace sweep {
namespace {

constexpr double kMarginOfTruncation = 0.25;  // noise kept beyond the truncation point, as a part of it
constexpr double kLeastMarginSeconds = 0.1;
// The octave sections' design rate (at another rate the bands move with it).
constexpr double kFilterDesignRateHz = 44100.0;
// Below the 63 Hz octave a Lundeby block holds too few periods for a stable
// crosspoint (a 0.9 s decay's crosspoint at 31.5 Hz scatters by a second).
constexpr double kLowestBandHz = 60.0;
constexpr double kFirstWindowOfBroadband = 4.0;  // the bands are first searched over 4 x the broadband point
constexpr double kWindowReach = 0.8;  // a band's point in the window's last fifth: the window doubles

// The Lundeby truncation of samples[0..length) from `onset`.
IsoLundebyResult Truncation(const float* samples, uint32_t length, uint32_t onset, double rateHz,
                            double bandwidthHz) {
  std::vector<double> tail, blocks;
  IsoBackwardSquareSums(samples, length, onset, &tail);
  return IsoLundebyTruncation(tail.data(), length - onset, onset, rateHz, bandwidthHz, &blocks);
}

// The latest Lundeby truncation point, in seconds from the start, of the
// octave bands of channel[0..length) that lie within lowHz..highHz; false
// when no band's decay lies above its noise.
bool LatestBandTruncation(const std::vector<float>& channel, size_t length, int32_t rateHz, size_t onsetIndex,
                          double lowHz, double highHz, double& latestSeconds) {
  bool found = false;
  ForEachIsoBandSignal(
      channel.data(), static_cast<uint32_t>(length), rateHz, false, [&](const IsoBandSignal& band) {
        const double centreHz = band.nominalHz * rateHz / kFilterDesignRateHz;
        if (band.row == 0 || centreHz < kLowestBandHz || centreHz / std::sqrt(2.0) < lowHz ||
            centreHz * std::sqrt(2.0) > highHz)
          return true;
        const uint32_t onset = static_cast<uint32_t>(static_cast<double>(onsetIndex) * band.rateHz / rateHz);
        if (onset >= band.length) return true;
        const IsoLundebyResult lundeby =
            Truncation(band.samples, band.length, onset, band.rateHz, IsoNominalBandwidthHz(centreHz, false));
        if (lundeby.found) {
          found = true;
          latestSeconds = std::max(latestSeconds, lundeby.truncationIndex / band.rateHz);
        }
        return true;
      });
  return found;
}

// The latest band truncation point of `channel`, searched over a window of
// four times the broadband one, doubled while a band's point lies in the
// window's last fifth (its decay may go on past the window). A step in the
// noise (a quieter noise after a louder one) leaves Lundeby's iteration
// without a crosspoint; a window that ends within the first noise keeps it.
bool ChannelTruncation(const std::vector<float>& channel, int32_t rateHz, size_t onsetIndex, double lowHz,
                       double highHz, double& latestSeconds) {
  const size_t length = channel.size();
  const IsoLundebyResult broadband = Truncation(channel.data(), static_cast<uint32_t>(length),
                                                static_cast<uint32_t>(onsetIndex), rateHz, 0.0);
  size_t window = length;
  if (broadband.found)
    window = std::min(length, static_cast<size_t>(kFirstWindowOfBroadband * broadband.truncationIndex));
  for (;;) {
    double latest = 0.0;
    if (window > onsetIndex &&
        LatestBandTruncation(channel, window, rateHz, onsetIndex, lowHz, highHz, latest) &&
        (latest * rateHz < kWindowReach * static_cast<double>(window) || window == length)) {
      latestSeconds = std::max(latestSeconds, latest);
      return true;
    }
    if (window == length) return false;
    window = std::min(length, 2 * window);
  }
}

}  // namespace

KeptLength DecayedLength(const std::vector<std::vector<float>>& channels, int32_t rateHz, size_t onsetIndex,
                         double lowHz, double highHz) {
  KeptLength kept;
  if (channels.empty() || rateHz <= 0) return kept;
  const size_t length = channels[0].size();
  kept.frames = length;
  if (length > std::numeric_limits<uint32_t>::max() || onsetIndex >= length) return kept;
  double latest = 0.0;
  for (const std::vector<float>& channel : channels) {
    // A channel without a decay above its noise in any band: keep everything.
    if (!ChannelTruncation(channel, rateHz, onsetIndex, lowHz, highHz, latest)) return kept;
  }
  kept.decayFound = true;
  kept.truncationSeconds = latest;
  const double margin = std::max(kMarginOfTruncation * latest, kLeastMarginSeconds);
  kept.frames = std::min(length, static_cast<size_t>(std::ceil((latest + margin) * rateHz)));
  return kept;
}

void KeepDecay(DeconvolutionResult& result) {
  if (result.status != SweepStatus::Ok || result.channels.empty()) return;
  const int32_t rate = result.facts.rateHz;
  const size_t onset = static_cast<size_t>(std::llround(result.facts.leadSeconds * rate));
  const KeptLength kept =
      DecayedLength(result.channels, rate, onset, result.facts.startHz, result.facts.endHz);
  for (std::vector<float>& channel : result.channels) channel.resize(kept.frames);
  result.facts.decayEndSeconds =
      kept.decayFound ? kept.truncationSeconds : std::numeric_limits<double>::quiet_NaN();
  result.facts.keptSeconds = static_cast<double>(kept.frames) / rate;
  result.facts.peakToNoiseDb = 300.0;
  for (const std::vector<float>& channel : result.channels)
    result.facts.peakToNoiseDb = std::min(result.facts.peakToNoiseDb, PeakToNoiseDb(channel));
}

}  // namespace sweep
