// Per-channel band analysis driver.
//
// Called by the analysis run once per channel (letters 'm', 'l', 'r'). It
// finds the channel's first arrival on the unfiltered signal, analyses the
// unfiltered signal as Lin, then walks nine levels from the 8 kHz octave
// down to 31.5 Hz: band-filter with the fixed sections, compute the band's
// parameters, low-pass and keep every second sample so that the same
// sections cover the next octave down at half the rate.
//
// The driver allocates nothing: `source` is consumed (it holds the decimated
// signal of each next level) and `work` receives every band signal.
#include "analysis/band_analysis.h"

#include <cmath>

#include "acoustics/band_parameters.h"
#include "analysis/run_watch.h"
#include "analysis/stop_messages.h"
#include "dsp/filters.h"
#include "dsp/signal.h"
#include "hostlink/host_services.h"
#include "interface/bands.h"
#include "interface/results.h"

namespace {

constexpr int LEVEL_COUNT = 9;                    // 8 kHz (level 9) down to 31.5 Hz (level 1)
constexpr int PROGRESS_TOTAL = 11;                // Lin + nine levels, reported as 1..10 of 11
constexpr uint32_t LIN_MIN_NOISE_SIXTEENTH = 10;  // Lin is noise-corrected from 160 samples on

// A band is noise-corrected only when the last sixteenth of its signal, from
// which the noise is measured, lasts about seven periods of its centre:
// 5 / (fc * 0.707) <= T, in single precision.
bool NoiseWindowLongEnough(float centreHz, float sixteenthSeconds) {
  const float periods = 5.0f / (centreHz * 0.707f);
  return periods <= sixteenthSeconds;
}

// Duration in seconds of the last sixteenth of a signal of `length` samples.
float SixteenthSeconds(uint32_t length, float rateHz) { return static_cast<float>(length / 16) / rateHz; }

// Computes one band's parameters from the band signal in `work` (consumed)
// and tells a watching host about them: the band signal before, the
// parameters and the curve as they leave it after.
void AnalyseBand(float* work, float* values, char* valid, DecayRange rtu, char channelLetter, int row,
                 uint32_t t0, bool noiseCorrectionAsked, double noise, uint32_t length, float rateHz) {
  ReportBandSignal(BandSignalTrace{channelLetter, row, rateHz, work, length});
  BandOutcome outcome;
  ComputeBandParameters(work, values + row * PARAMS_PER_BAND, valid + row * PARAMS_PER_BAND, rtu, t0, noise,
                        length, rateHz, &outcome);
  ReportBand(BandTrace{channelLetter, row, rateHz, length, t0, noiseCorrectionAsked, noise, &outcome, work,
                       t0, outcome.levelsEnd});
}

// What every band of one channel shares.
struct ChannelBands {
  float* values;
  char* valid;
  DecayRange rtu;
  char channelLetter;
  bool noiseCorrection;
  char* noiseCorrected;  // the noise marks this channel records (null: none)
};

// One band of a level: its own noise floor, measured on its own signal when
// its last sixteenth lasts long enough for its centre, then its parameters.
void AnalyseLevelBand(const ChannelBands& channel, float* band, int row, float centreHz, uint32_t t0,
                      uint32_t length, float rateHz, float sixteenthSeconds) {
  double noise = 0.0;
  char mark = 'n';
  if (channel.noiseCorrection && NoiseWindowLongEnough(centreHz, sixteenthSeconds)) {
    noise = EstimateNoiseFloor(band, length);
    mark = 'y';
  }
  if (channel.noiseCorrected) channel.noiseCorrected[row] = mark;
  AnalyseBand(band, channel.values, channel.valid, channel.rtu, channel.channelLetter, row, t0,
              channel.noiseCorrection, noise, length, rateHz);
}

// The three thirds of one level: the lower and middle thirds into the two
// halves of the work buffer, then the upper third with the decimation low-
// pass, which keeps only its even outputs, in place of the source (the next
// level). Each third is measured against its own nominal centre.
void AnalyseThirdOctaveLevel(const ChannelBands& channel, float* source, float* work, int level, uint32_t t0,
                             uint32_t length, float rateHz, float sixteenthSeconds) {
  float* bandSignals[3] = {work, work + length, work};
  FilterSixthOrderPair(ThirdOctaveBandPass1, ThirdOctaveBandPass2, source, bandSignals[0], bandSignals[1],
                       length, false);
  for (int j = 1; j <= 3; ++j) {
    if (j == 3)
      FilterSixthOrderPair(ThirdOctaveBandPass3, DecimationLowPass, source, bandSignals[2], source, length,
                           true);
    const int row = 3 * level - 3 + j;
    AnalyseLevelBand(channel, bandSignals[j - 1], row, ThirdOctaveCentreHz(row), t0, length, rateHz,
                     sixteenthSeconds);
  }
}

const char* StatusTextFor(char channelLetter) {
  switch (channelLetter) {
    case 'l':
      return "Calculating Left Channel Acoustics...";
    case 'm':
      return "Calculating Acoustics...";
    case 'r':
      return "Calculating Right Channel Acoustics...";
    default:
      return nullptr;
  }
}

}  // namespace

uint8_t AnalyseChannelBands(float* source, float* work, float* values, char* valid,
                            AnalysisSettings* settings, char channelLetter, XfmContext* ctx) {
  uint32_t length = ctx->selEnd - ctx->selStart + 1;
  float rateHz = static_cast<float>(ctx->sampleRate);
  float sixteenthSeconds = SixteenthSeconds(length, rateHz);
  const int32_t threshold = settings->arrivalThreshold;
  const DecayRange rtu{settings->rtuStartDb, settings->rtuEndDb};
  const bool noiseCorrection = settings->noiseCorrection != 0;
  const uint8_t thirdOctave = settings->thirdOctave;
  // Only the left (or mono) channel records its noise decisions; the right
  // channel's row shows the left channel's.
  const bool marksNoise = channelLetter == 'l' || channelLetter == 'm';
  char* noiseCorrected = marksNoise ? valid + NOISE_CORRECTED_OFFSET : nullptr;
  const ChannelBands channel{values, valid, rtu, channelLetter, noiseCorrection, noiseCorrected};

  for (int i = 0; i < CHANNEL_STRIDE; ++i) valid[i] = 'n';
  for (uint32_t i = 0; i < length; ++i) work[i] = source[i];

  uint32_t t0 = FindFirstArrival(work, length, threshold);
  ReportChannel(ChannelTrace{channelLetter, rateHz, length, static_cast<double>(threshold), t0});
  if (t0 == length) {
    ShowStopMessage(settings->ownerWindow, NO_FIRST_ARRIVAL_MESSAGE, NO_FIRST_ARRIVAL_CAPTION);
    return 0;
  }

  if (const char* status = StatusTextFor(channelLetter)) CallStatusText(ctx, status);

  // Lin: the noise is measured on the unfiltered signal.
  double noise = 0.0;
  char linMark = 'n';
  if (noiseCorrection && length / 16 >= LIN_MIN_NOISE_SIXTEENTH) {
    noise = EstimateNoiseFloor(work, length);
    linMark = 'y';
  }
  if (noiseCorrected) noiseCorrected[0] = linMark;
  AnalyseBand(work, values, valid, rtu, channelLetter, 0, t0, noiseCorrection, noise, length, rateHz);

  uint8_t carryOn = 1;
  CallProgress(ctx, 1, PROGRESS_TOTAL);
  if (ReadCancelWord(ctx) != 0) carryOn = 0;

  // In octave mode all nine levels are filtered in one sweep, each band
  // signal into its own part of the work buffer (the lengths halve, so they
  // fit in twice the selection).
  float* octaveBand = work;
  if (carryOn && thirdOctave == 0) FilterOctaveCascade(source, length, LEVEL_COUNT, work);

  for (int level = LEVEL_COUNT; carryOn && level >= 1; --level) {
    // Third octaves: the band-pass sections and the decimation low-pass all
    // read the same source and run in pairs, each pair in one sweep.
    bool decimated = false;
    if (thirdOctave == 0) {
      AnalyseLevelBand(channel, octaveBand, level, OctaveCentreHz(level), t0, length, rateHz,
                       sixteenthSeconds);
      octaveBand += length;
      decimated = true;  // by the cascade
    } else if (thirdOctave == 1) {
      AnalyseThirdOctaveLevel(channel, source, work, level, t0, length, rateHz, sixteenthSeconds);
      decimated = true;
    }
    // Any other value of thirdOctave analyses no band at this level.

    CallProgress(ctx, PROGRESS_TOTAL - level, PROGRESS_TOTAL);
    if (ReadCancelWord(ctx) != 0) carryOn = 0;

    // Halve the rate: low-pass, keep every second sample. t0 and the length
    // are halved separately, so t0 may reach the length at a low level.
    const uint32_t halfLength = length / 2;
    if (!decimated) {
      FilterSixthOrder(DecimationLowPass, source, work, length);
      for (uint32_t m = 0; m < halfLength; ++m) source[m] = work[2 * m];
    }
    length = halfLength;
    rateHz = rateHz * 0.5f;
    sixteenthSeconds = SixteenthSeconds(length, rateHz);
    t0 = t0 / 2;
  }

  CallProgressDone(ctx);
  return carryOn;
}
