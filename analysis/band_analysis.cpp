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
#include "dsp/filters.h"
#include "hostlink/host_services.h"
#include "interface/results.h"

namespace {

constexpr int LEVEL_COUNT = 9;        // 8 kHz (level 9) down to 31.5 Hz (level 1)
constexpr int PROGRESS_TOTAL = 11;    // Lin + nine levels, reported as 1..10 of 11
constexpr uint32_t LIN_MIN_NOISE_SIXTEENTH = 10;  // Lin is noise-corrected from 160 samples on

// Nominal octave centres by octave row, Hz. Row 0 is Lin and is never read.
const float OCTAVE_CENTRE_HZ[11] = {0.0f,    31.5f,   63.0f,   125.0f,  250.0f, 500.0f,
                                    1000.0f, 2000.0f, 4000.0f, 8000.0f, 16000.0f};

// Factors from an octave's centre to the nominal centres of its lower, middle
// and upper third: 2^(-1/3), 1, 2^(1/3).
const float THIRD_CENTRE_FACTOR[3] = {0.7937005f, 1.0f, 1.2599211f};

// A band is noise-corrected only when the last sixteenth of its signal, from
// which the noise is measured, lasts about seven periods of its centre:
// 5 / (fc * 0.707) <= T, in single precision.
bool NoiseWindowLongEnough(float centreHz, float sixteenthSeconds) {
  const float periods = 5.0f / (centreHz * 0.707f);
  return periods <= sixteenthSeconds;
}

// Duration in seconds of the last sixteenth of a signal of `length` samples.
float SixteenthSeconds(uint32_t length, float rateHz) {
  return static_cast<float>(length / 16) / rateHz;
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

double EstimateNoiseFloor(const float* signal, uint32_t length) {
  const uint32_t count = length / 16;
  double sum = 0.0;
  for (uint32_t i = length - count; i < length; ++i) {
    const double x = signal[i];
    sum += x * x;
  }
  return sum / count;
}

uint32_t FindFirstArrival(const float* signal, uint32_t length, int32_t threshold) {
  const double limit = threshold;
  for (uint32_t i = 0; i < length; ++i) {
    if (std::fabs(static_cast<double>(signal[i])) >= limit) return i;
  }
  return length;
}

uint8_t AnalyseChannelBands(float* source, float* work, float* values, char* valid, AnalysisSettings* settings,
                            char channelLetter, XfmContext* ctx) {
  uint32_t length = ctx->selEnd - ctx->selStart + 1;
  float rateHz = static_cast<float>(ctx->sampleRate);
  float sixteenthSeconds = SixteenthSeconds(length, rateHz);
  const int32_t threshold = settings->arrivalThreshold;
  const bool noiseCorrection = settings->noiseCorrection != 0;
  const uint8_t thirdOctave = settings->thirdOctave;
  // Only the left (or mono) channel records its noise decisions; the right
  // channel's row shows the left channel's.
  const bool marksNoise = channelLetter == 'l' || channelLetter == 'm';
  char* noiseCorrected = marksNoise ? valid + NOISE_CORRECTED_OFFSET : nullptr;

  for (int i = 0; i < CHANNEL_STRIDE; ++i) valid[i] = 'n';
  for (uint32_t i = 0; i < length; ++i) work[i] = source[i];

  uint32_t t0 = FindFirstArrival(work, length, threshold);
  if (t0 == length) {
    ShowStopMessage(settings->ownerWindow,
                    "Can not calculate First Arrival Time.\nThreshold is too high.\n\n"
                    "Try again with a lower Threshold.",
                    "Acoustical Parameters");
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
  ComputeBandParameters(work, values, valid, settings, t0, noise, length, rateHz);

  uint8_t carryOn = 1;
  CallProgress(ctx, 1, PROGRESS_TOTAL);
  if (ReadCancelWord(ctx) != 0) carryOn = 0;

  for (int level = LEVEL_COUNT; carryOn && level >= 1; --level) {
    if (thirdOctave == 0) {
      const int row = level;
      FilterSixthOrder(OctaveBandPass, source, work, length);
      noise = 0.0;
      char mark = 'n';
      if (noiseCorrection && NoiseWindowLongEnough(OCTAVE_CENTRE_HZ[level], sixteenthSeconds)) {
        noise = EstimateNoiseFloor(work, length);
        mark = 'y';
      }
      if (noiseCorrected) noiseCorrected[row] = mark;
      ComputeBandParameters(work, values + row * PARAMS_PER_BAND, valid + row * PARAMS_PER_BAND, settings, t0,
                            noise, length, rateHz);
    } else if (thirdOctave == 1) {
      const SixthOrderCoefficients* thirds[3] = {&ThirdOctaveBandPass1, &ThirdOctaveBandPass2,
                                                 &ThirdOctaveBandPass3};
      for (int j = 1; j <= 3; ++j) {
        const int row = 3 * level - 3 + j;
        FilterSixthOrder(*thirds[j - 1], source, work, length);
        // Each third measures its own noise on its own band signal, with the
        // same test as an octave, at the third's nominal centre.
        const float centreHz = OCTAVE_CENTRE_HZ[level] * THIRD_CENTRE_FACTOR[j - 1];
        noise = 0.0;
        char mark = 'n';
        if (noiseCorrection && NoiseWindowLongEnough(centreHz, sixteenthSeconds)) {
          noise = EstimateNoiseFloor(work, length);
          mark = 'y';
        }
        if (noiseCorrected) noiseCorrected[row] = mark;
        ComputeBandParameters(work, values + row * PARAMS_PER_BAND, valid + row * PARAMS_PER_BAND, settings, t0,
                              noise, length, rateHz);
      }
    }
    // Any other value of thirdOctave analyses no band at this level.

    CallProgress(ctx, PROGRESS_TOTAL - level, PROGRESS_TOTAL);
    if (ReadCancelWord(ctx) != 0) carryOn = 0;

    // Halve the rate: low-pass, keep every second sample. t0 and the length
    // are halved separately, so t0 may reach the length at a low level.
    FilterSixthOrder(DecimationLowPass, source, work, length);
    const uint32_t halfLength = length / 2;
    for (uint32_t m = 0; m < halfLength; ++m) source[m] = work[2 * m];
    length = halfLength;
    rateHz = rateHz * 0.5f;
    sixteenthSeconds = SixteenthSeconds(length, rateHz);
    t0 = t0 / 2;
  }

  CallProgressDone(ctx);
  return carryOn;
}
