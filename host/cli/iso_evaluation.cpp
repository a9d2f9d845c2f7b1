#include "host/cli/iso_evaluation.h"

#include <sys/mman.h>

#include <cmath>
#include <cstdint>

#include "acoustics/iso3382_reasons.h"
#include "dsp/iso3382_band_signals.h"
#include "dsp/iso3382_filter_class.h"
#include "interface/bands.h"

namespace cli {

namespace {

constexpr const char* FILTER_WARNING = "filter-below-iec-class-2";

std::vector<float> ChannelOf(const float* interleaved, size_t frames, size_t channels, size_t channel) {
  std::vector<float> samples(frames);
  for (size_t f = 0; f < frames; ++f) samples[f] = interleaved[f * channels + channel];
  return samples;
}

void PrepareRows(bool thirdOctave, IsoChannelEvaluation& channel) {
  const int rows = BandRowCount(thirdOctave);
  const BandColumn* columns = BandColumns(thirdOctave);
  channel.bands.assign(static_cast<size_t>(rows), IsoBandEvaluation{});
  for (int row = 0; row < rows; ++row) {
    channel.bands[static_cast<size_t>(row)].row = row;
    channel.bands[static_cast<size_t>(row)].nominalHz = columns[row].nominalHz;
  }
}

void EvaluateBand(const IsoBandSignal& signal, double onsetSeconds, const IsoRequest& request,
                  IsoWorkspace& work, IsoChannelEvaluation& channel) {
  if (signal.row < 0 || static_cast<size_t>(signal.row) >= channel.bands.size()) return;
  IsoBandEvaluation& band = channel.bands[static_cast<size_t>(signal.row)];
  const IsoBandInput input{signal.samples,   signal.length,
                           signal.rateHz,    onsetSeconds,
                           signal.nominalHz, IsoNominalBandwidthHz(signal.nominalHz, request.thirdOctave)};
  band.result = EvaluateIsoBand(input, &work);
  band.evaluated = true;
  const BandFilterClass* filter = FindBandFilterClass(request.thirdOctave, signal.row);
  if (filter && filter->iecClass == FILTER_CLASS_NONE) band.warnings.emplace_back(FILTER_WARNING);
  if (request.keepPlots) band.plot = IsoBandDecayPlot(band.result, work, ISO_PLOT_POINTS);
}

// The single numbers, a row without a band signal counting as missing.
void AverageChannel(bool thirdOctave, IsoChannelEvaluation& channel) {
  const int rows = static_cast<int>(channel.bands.size());
  std::vector<IsoBandResult> byRow(static_cast<size_t>(rows));
  const double nan = std::nan("");
  for (int row = 0; row < rows; ++row) {
    const IsoBandEvaluation& band = channel.bands[static_cast<size_t>(row)];
    IsoBandResult& result = byRow[static_cast<size_t>(row)];
    if (band.evaluated) {
      result = band.result;
      continue;
    }
    result.bandReasons = ISO_BAND_MISSING;
    for (IsoDecayFit* fit : {&result.edt, &result.t20, &result.t30}) fit->time = {nan, ISO_BAND_MISSING};
    for (IsoValue* value : {&result.c50, &result.c80, &result.d50, &result.ts})
      *value = {nan, ISO_BAND_MISSING};
  }
  channel.singleNumbers = IsoSingleNumberAverages(byRow.data(), rows, thirdOctave);
}

// One channel, band by band as the filters hand the bands over (nothing kept).
bool EvaluateStreamed(const std::vector<float>& samples, double rateHz, const IsoRequest& request,
                      const std::atomic<bool>* stop, IsoChannelEvaluation& channel) {
  PrepareRows(request.thirdOctave, channel);
  const uint32_t length = static_cast<uint32_t>(samples.size());
  channel.onsetSeconds = IsoOnsetSeconds(samples.data(), length, rateHz);
  IsoWorkspace work;
  const bool finished = ForEachIsoBandSignal(
      samples.data(), length, rateHz, request.thirdOctave, [&](const IsoBandSignal& signal) {
        if (stop && stop->load()) return false;
        EvaluateBand(signal, channel.onsetSeconds, request, work, channel);
        return true;
      });
  if (finished) AverageChannel(request.thirdOctave, channel);
  return finished;
}

IsoBandSignal ViewOf(const IsoOwnedBandSignal& owned) {
  return IsoBandSignal{owned.row, owned.nominalHz, owned.rateHz, owned.samples.data(),
                       static_cast<uint32_t>(owned.samples.size())};
}

SpatialValue SpatialOf(double value, SpatialStatus status) {
  SpatialValue out;
  out.value = value;
  if (status != SPATIAL_OK) out.reasons.emplace_back(SpatialReasonOf(status).code);
  return out;
}

SpatialValue IaccValueOf(const IsoIacc& iacc) { return SpatialOf(iacc.iacc, iacc.status); }

// Mean of the valid values of `rows`; any invalid or missing band makes the
// mean invalid ("band-not-valid").
SpatialValue MeanOver(const std::vector<IsoPairBand>& bands, const std::vector<int>& rows,
                      SpatialValue IsoPairBand::*member) {
  double sum = 0.0;
  int count = 0;
  for (const IsoPairBand& band : bands) {
    for (int row : rows) {
      if (band.row != row) continue;
      const SpatialValue& value = band.*member;
      if (value.Valid()) {
        sum += value.value;
        ++count;
      }
    }
  }
  const bool all = count == static_cast<int>(rows.size());
  return SpatialOf(count ? sum / count : std::nan(""), all ? SPATIAL_OK : SPATIAL_BAND_NOT_VALID);
}

// Rows of the octaves from `lowHz` to `highHz` in the layout (for thirds:
// the three thirds of each).
std::vector<int> RowsOfOctaves(bool thirdOctave, float lowHz, float highHz) {
  std::vector<int> rows;
  for (int octave = 1; octave < OCTAVE_ROWS; ++octave) {
    const float centre = OctaveCentreHz(octave);
    if (centre < lowHz || centre > highHz) continue;
    if (!thirdOctave) {
      rows.push_back(octave);
    } else {
      for (int j = 0; j < 3; ++j) rows.push_back(3 * octave - 2 + j);
    }
  }
  return rows;
}

void EvaluatePairBand(const IsoOwnedBandSignal& first, const IsoOwnedBandSignal& second,
                      const IsoRequest& request, double onsetSeconds, IsoPairBand& band) {
  const size_t length = first.samples.size();
  const double onsetSample = onsetSeconds * first.rateHz;
  if (request.pair == PairKind::Binaural) {
    const IsoIaccSet set =
        ComputeIsoIacc(first.samples.data(), second.samples.data(), length, first.rateHz, onsetSample, -1.0);
    band.iaccEarly = IaccValueOf(set.early);
    band.iaccLate = IaccValueOf(set.late);
    band.iaccAll = IaccValueOf(set.all);
  } else {
    const IsoLateral lateral = ComputeIsoLateral(first.samples.data(), second.samples.data(), length,
                                                 first.rateHz, onsetSample, request.figure8GainDb);
    band.jlf = SpatialOf(lateral.jlf, lateral.status);
    band.jlfc = SpatialOf(lateral.jlfc, lateral.status);
  }
}

void EvaluatePair(const std::vector<IsoOwnedBandSignal>& first, const std::vector<IsoOwnedBandSignal>& second,
                  const IsoRequest& request, const IsoFileEvaluation& file, IsoPairEvaluation& pair) {
  pair.kind = request.pair;
  const double a = file.channels[0].onsetSeconds, b = file.channels[1].onsetSeconds;
  // The direct sound: the omni's onset, or the earlier ear's.
  pair.onsetSeconds = request.pair == PairKind::OmniFigure8 ? a : std::fmin(a, b);
  for (size_t i = 0; i < first.size() && i < second.size(); ++i) {
    IsoPairBand band;
    band.row = first[i].row;
    band.nominalHz = first[i].nominalHz;
    EvaluatePairBand(first[i], second[i], request, pair.onsetSeconds, band);
    pair.bands.push_back(band);
  }
  if (request.pair == PairKind::Binaural) {
    const SpatialValue mean =
        MeanOver(pair.bands, RowsOfOctaves(request.thirdOctave, 500.0f, 2000.0f), &IsoPairBand::iaccEarly);
    pair.oneMinusIaccE3 = mean;
    pair.oneMinusIaccE3.value = 1.0 - mean.value;
  } else {
    const std::vector<int> rows = RowsOfOctaves(request.thirdOctave, 125.0f, 1000.0f);
    pair.jlf = MeanOver(pair.bands, rows, &IsoPairBand::jlf);
    pair.jlfc = MeanOver(pair.bands, rows, &IsoPairBand::jlfc);
  }
}

// Both channels' band signals kept, for the decays and the pair.
bool EvaluateWithPair(const float* interleaved, size_t frames, double rateHz, const IsoRequest& request,
                      const std::atomic<bool>* stop, IsoFileEvaluation& out) {
  std::vector<IsoOwnedBandSignal> signals[2];
  IsoWorkspace work;
  for (size_t c = 0; c < 2; ++c) {
    if (stop && stop->load()) return false;
    const std::vector<float> samples = ChannelOf(interleaved, frames, 2, c);
    IsoChannelEvaluation& channel = out.channels[c];
    PrepareRows(request.thirdOctave, channel);
    channel.onsetSeconds = IsoOnsetSeconds(samples.data(), static_cast<uint32_t>(frames), rateHz);
    signals[c] =
        CollectIsoBandSignals(samples.data(), static_cast<uint32_t>(frames), rateHz, request.thirdOctave);
    for (const IsoOwnedBandSignal& owned : signals[c]) {
      if (stop && stop->load()) return false;
      EvaluateBand(ViewOf(owned), channel.onsetSeconds, request, work, channel);
    }
    AverageChannel(request.thirdOctave, channel);
  }
  EvaluatePair(signals[0], signals[1], request, out, out.pair);
  return true;
}

}  // namespace

void EvaluateIsoFile(const float* interleaved, size_t frames, size_t channels, double rateHz,
                     const IsoRequest& request, const std::atomic<bool>* stop, IsoFileEvaluation& out) {
  out = IsoFileEvaluation{};
  out.rateHz = rateHz;
  out.thirdOctave = request.thirdOctave;
  out.channels.resize(channels);
  if (channels == 2 && request.pair != PairKind::None) {
    out.done = EvaluateWithPair(interleaved, frames, rateHz, request, stop, out);
    return;
  }
  for (size_t c = 0; c < channels; ++c) {
    const std::vector<float> samples = ChannelOf(interleaved, frames, channels, c);
    if (!EvaluateStreamed(samples, rateHz, request, stop, out.channels[c])) return;
  }
  out.done = true;
}

namespace {

void AdviseLargePages(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t LARGE_PAGE = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(LARGE_PAGE - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace

size_t IsoBandSignalCount(bool thirdOctave) { return thirdOctave ? 1 + 27 : 1 + 9; }

IsoTappedEvaluation::IsoTappedEvaluation(const float* interleaved, size_t frames, size_t channels,
                                         double rateHz, const IsoRequest& request,
                                         const std::atomic<bool>* stop)
    : interleaved_(interleaved),
      frames_(frames),
      channels_(channels),
      rateHz_(rateHz),
      request_(request),
      stop_(stop),
      taken_(channels, 0) {
  if (channels != 2) request_.pair = PairKind::None;
  file_.rateHz = rateHz;
  file_.thirdOctave = request.thirdOctave;
  file_.channels.resize(channels);
  for (IsoChannelEvaluation& channel : file_.channels) PrepareRows(request.thirdOctave, channel);
  // The workspace's two selection-long curves, reserved at once on large
  // pages where the system offers them: first touches of small pages cost
  // more than the evaluation's arithmetic on a long selection.
  for (std::vector<double>* curve : {&work_.squareSums, &work_.energy}) {
    curve->reserve(frames + 1);
    AdviseLargePages(curve->data(), curve->capacity() * sizeof(double));
  }
}

bool IsoTappedEvaluation::ChannelComplete(size_t channel) const {
  return taken_[channel] == IsoBandSignalCount(request_.thirdOctave);
}

bool IsoTappedEvaluation::Complete() const {
  if (broken_) return false;
  for (size_t c = 0; c < channels_; ++c) {
    if (!ChannelComplete(c)) return false;
  }
  return true;
}

void IsoTappedEvaluation::Take(size_t channel, const IsoBandSignal& band) {
  // Channel after channel, Lin (the whole selection) first, as
  // EvaluateIsoFile visits them; anything else is left to Finish.
  const bool lin = band.row == 0;
  if (broken_ || (stop_ && stop_->load()) || channel >= channels_ ||
      (channel > 0 && !ChannelComplete(channel - 1)) || ChannelComplete(channel) ||
      lin != (taken_[channel] == 0) || (lin && band.length != frames_)) {
    broken_ = true;
    return;
  }
  IsoChannelEvaluation& evaluation = file_.channels[channel];
  if (lin) evaluation.onsetSeconds = IsoOnsetSeconds(band.samples, band.length, rateHz_);
  EvaluateBand(band, evaluation.onsetSeconds, request_, work_, evaluation);
  if (request_.pair != PairKind::None)
    kept_[channel].push_back(IsoOwnedBandSignal{
        band.row, band.nominalHz, band.rateHz, std::vector<float>(band.samples, band.samples + band.length)});
  if (++taken_[channel] == IsoBandSignalCount(request_.thirdOctave))
    AverageChannel(request_.thirdOctave, evaluation);
}

void IsoTappedEvaluation::Finish(IsoFileEvaluation& out) {
  if (!Complete()) {
    EvaluateIsoFile(interleaved_, frames_, channels_, rateHz_, request_, stop_, out);
    return;
  }
  if (request_.pair != PairKind::None) EvaluatePair(kept_[0], kept_[1], request_, file_, file_.pair);
  file_.done = true;
  out = std::move(file_);
}

std::vector<std::string> IsoReasonCodes(uint32_t reasons) {
  std::vector<std::string> codes;
  for (const IsoReasonText& reason : ISO_REASONS) {
    if (reasons & reason.bit) codes.emplace_back(reason.code);
  }
  return codes;
}

const char* IsoWarningSentence(const std::string& code) {
  if (code == FILTER_WARNING)
    return "the band's filter meets neither class 1 nor class 2 of IEC 61260-1 (an image that the decimating "
           "filter cascade folds into the band passes); see docs/CONFORMANCE.md";
  return "";
}

const char* IsoReasonSentence(const std::string& code) {
  for (const IsoReasonText& reason : ISO_REASONS) {
    if (code == reason.code) return reason.sentence;
  }
  return "";
}

}  // namespace cli
