#include "host/kit/run_record.h"

#include <algorithm>
#include <cmath>

#include "acoustics/decay.h"

namespace hostkit {

namespace {

int ChannelIndex(char letter) { return letter == 'r' ? 1 : 0; }

// Energy of a level-curve point; the curve reads exactly 0 dB for no energy.
double Energy(float levelDb) {
  return levelDb == 0.0f ? 0.0 : std::pow(10.0, static_cast<double>(levelDb) / 10.0);
}

// A point's level as the whole level curve would hold it.
float LevelOfEnergy(float energy) {
  return static_cast<float>(EnergyToDecibels(static_cast<double>(energy)));
}

// A point of the curve as a band's parameters left it (BandTrace::curve), as
// a level: converted where the fits read it, from its energy elsewhere.
float LevelAt(const BandTrace& trace, uint32_t i) {
  const float v = trace.curve[i];
  return i >= trace.levelsFrom && i < trace.levelsEnd ? v : LevelOfEnergy(v);
}

}  // namespace

RunRecorder::RunRecorder(RunRecord* record, bool keepCurves, const BandSignalSink* sink,
                         const PartRunner* lentCores)
    : record_(record),
      keepCurves_(keepCurves),
      // Kept curves are thinned from the curve as each band's parameters
      // leave it, so the run never converts a whole curve to dB for them.
      watcher_{this, &OnChannel, &OnBand, &OnLateral, sink ? &OnBandSignal : nullptr, lentCores},
      sink_(sink) {
  *record_ = RunRecord{};
  previous_ = WatchRuns(&watcher_);
}

RunRecorder::~RunRecorder() { WatchRuns(previous_); }

void RunRecorder::OnChannel(void* context, const ChannelTrace& trace) {
  auto* self = static_cast<RunRecorder*>(context);
  ChannelRecord& channel = self->record_->channels[ChannelIndex(trace.channelLetter)];
  channel.searched = true;
  channel.trace = trace;
}

void RunRecorder::OnBand(void* context, const BandTrace& trace) {
  auto* self = static_cast<RunRecorder*>(context);
  if (trace.row < 0 || trace.row >= MAX_BANDS) return;
  BandRecord& band = self->record_->channels[ChannelIndex(trace.channelLetter)].bands[trace.row];
  band.analysed = true;
  band.rateHz = trace.rateHz;
  band.length = trace.length;
  band.arrival = trace.arrival;
  band.noiseCorrectionAsked = trace.noiseCorrectionAsked;
  band.noisePower = trace.noisePower;
  band.inrDb = ImpulseToNoiseDb(trace);
  band.outcome = *trace.outcome;
  if (self->keepCurves_ && trace.curve != nullptr) {
    // Keep the first arrival and both ends of every fitted segment exactly,
    // so that the drawn fits start and end on the curve.
    std::vector<uint32_t> keep{trace.arrival};
    for (const FitResult& fit : trace.outcome->fits) {
      if (fit.pointCount == 0) continue;
      keep.push_back(fit.firstIndex);
      keep.push_back(fit.firstIndex + fit.pointCount - 1);
    }
    band.curve = ThinLevelCurve(trace, MAX_CURVE_POINTS, std::move(keep));
  }
}

void RunRecorder::OnLateral(void* context, const LateralTrace& trace) {
  auto* self = static_cast<RunRecorder*>(context);
  if (trace.band < 0 || trace.band >= MAX_BANDS) return;
  self->record_->lateral[trace.band] = LateralRecord{true, trace};
}

void RunRecorder::OnBandSignal(void* context, const BandSignalTrace& trace) {
  auto* self = static_cast<RunRecorder*>(context);
  if (self->sink_ != nullptr && *self->sink_) (*self->sink_)(trace);
}

namespace {

// The ratio from the level curve's points, read through levelAt(i).
template <typename LevelAt>
double ImpulseToNoiseFrom(const LevelAt& levelAt, uint32_t length, uint32_t arrival, double noisePower,
                          float rateHz) {
  if (arrival >= length) return NAN;
  const uint32_t window =
      std::min(length - arrival, std::max<uint32_t>(24, static_cast<uint32_t>(std::lround(0.01 * rateHz))));
  const double after = arrival + window < length ? Energy(levelAt(arrival + window)) : 0.0;
  double early = (Energy(levelAt(arrival)) - after) / window;
  double noise = noisePower;
  if (noisePower > 0.0) {
    early += noisePower;
  } else {
    const uint32_t sixteenth = std::max<uint32_t>(1, length / 16);
    noise = Energy(levelAt(length - sixteenth)) / sixteenth;
  }
  if (noise <= 0.0) return INFINITY;
  if (early <= 0.0) return NAN;
  return 10.0 * std::log10(early / noise);
}

}  // namespace

double ImpulseToNoiseDb(const float* levelDb, uint32_t length, uint32_t arrival, double noisePower,
                        float rateHz) {
  if (levelDb == nullptr) return NAN;
  return ImpulseToNoiseFrom([levelDb](uint32_t i) { return levelDb[i]; }, length, arrival, noisePower,
                            rateHz);
}

double ImpulseToNoiseDb(const BandTrace& trace) {
  if (trace.curve == nullptr) return NAN;
  return ImpulseToNoiseFrom([&trace](uint32_t i) { return LevelAt(trace, i); }, trace.length, trace.arrival,
                            trace.noisePower, trace.rateHz);
}

namespace {

// The first indices of the lowest and the highest level over a span.
struct Extremes {
  uint32_t low, high;
  float lowDb, highDb;
};

// A curve that holds levels throughout.
struct LevelsView {
  const float* levelDb;
  float Level(uint32_t i) const { return levelDb[i]; }
  Extremes Within(uint32_t first, uint32_t end) const {
    uint32_t low = first, high = first;
    for (uint32_t i = first + 1; i < end; ++i) {
      if (levelDb[i] < levelDb[low]) low = i;
      if (levelDb[i] > levelDb[high]) high = i;
    }
    return {low, high, levelDb[low], levelDb[high]};
  }
};

// Energies that round to one float level L lie within this relative distance
// of 10^(L/10) (a level's ulp is below 4e-5 dB over the float range, 1e-5 in
// energy); only those are converted to be compared.
constexpr double LEVEL_ENERGY_TOLERANCE = 1e-4;

// The first index in [first, end) whose energy reads `level`.
uint32_t FirstAtLevel(const float* energy, uint32_t first, uint32_t end, float level) {
  const double centre = std::pow(10.0, static_cast<double>(level) / 10.0);
  for (uint32_t i = first; i < end; ++i) {
    const float e = energy[i];
    if (!(e > 0.0f)) {
      if (level == 0.0f) return i;  // no energy reads 0 dB
    } else if (std::fabs(e - centre) <= LEVEL_ENERGY_TOLERANCE * centre && LevelOfEnergy(e) == level) {
      return i;
    }
  }
  return end;
}

// The extremes of the levels of energies over [first, end), found on the
// energies: a positive energy's level does not fall as it grows, and the
// others read 0 dB.
Extremes EnergyExtremes(const float* energy, uint32_t first, uint32_t end) {
  float least = INFINITY, most = 0.0f;
  bool positive = false, none = false;
  for (uint32_t i = first; i < end; ++i) {
    const float e = energy[i];
    if (e > 0.0f) {
      least = std::min(least, e);
      most = std::max(most, e);
      positive = true;
    } else {
      none = true;
    }
  }
  float lowDb = positive ? LevelOfEnergy(least) : 0.0f;
  float highDb = positive ? LevelOfEnergy(most) : 0.0f;
  if (none) {
    lowDb = std::min(lowDb, 0.0f);
    highDb = std::max(highDb, 0.0f);
  }
  return {FirstAtLevel(energy, first, end, lowDb), FirstAtLevel(energy, first, end, highDb), lowDb, highDb};
}

// The curve as a band's parameters left it: levels over [levelsFrom,
// levelsEnd), energies elsewhere.
struct PartialView {
  const BandTrace& trace;
  float Level(uint32_t i) const { return LevelAt(trace, i); }
  Extremes Within(uint32_t first, uint32_t end) const {
    if (end <= first + 1) return {first, first, Level(first), Level(first)};
    // Up to three runs in index order; a later run wins only when strictly
    // lower (higher), so the first index of an extreme is kept.
    const uint32_t a = std::clamp(trace.levelsFrom, first, end);
    const uint32_t b = std::clamp(trace.levelsEnd, a, end);
    bool any = false;
    Extremes best{};
    auto merge = [&](const Extremes& run) {
      if (!any || run.lowDb < best.lowDb) best.low = run.low, best.lowDb = run.lowDb;
      if (!any || run.highDb > best.highDb) best.high = run.high, best.highDb = run.highDb;
      any = true;
    };
    if (first < a) merge(EnergyExtremes(trace.curve, first, a));
    if (a < b) merge(LevelsView{trace.curve}.Within(a, b));
    if (b < end) merge(EnergyExtremes(trace.curve, b, end));
    return best;
  }
};

template <typename View>
LevelCurve Thin(const View& view, uint32_t length, uint32_t maxPoints, std::vector<uint32_t> keep) {
  LevelCurve curve;
  if (length <= maxPoints) {
    curve.index.reserve(length);
    curve.levelDb.reserve(length);
    for (uint32_t i = 0; i < length; ++i) {
      curve.index.push_back(i);
      curve.levelDb.push_back(view.Level(i));
    }
    return curve;
  }
  std::sort(keep.begin(), keep.end());
  keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
  keep.erase(std::remove_if(keep.begin(), keep.end(), [&](uint32_t i) { return i >= length; }), keep.end());
  maxPoints = std::max(maxPoints, 4u);
  const uint32_t kept = std::min<uint32_t>(static_cast<uint32_t>(keep.size()), (maxPoints - 2) / 2);
  keep.resize(kept);
  // Two points per bucket, then the kept ones, the first and the last.
  const uint32_t buckets = (maxPoints - kept - 2) / 2;
  curve.index.reserve(maxPoints);
  curve.levelDb.reserve(maxPoints);
  size_t nextKeep = 0;
  auto add = [&](uint32_t i) {
    // Kept samples that come before `i` go first; none is added twice.
    while (nextKeep < keep.size() && keep[nextKeep] <= i) {
      const uint32_t k = keep[nextKeep++];
      if (k == i) break;
      if (curve.index.empty() || curve.index.back() < k) {
        curve.index.push_back(k);
        curve.levelDb.push_back(view.Level(k));
      }
    }
    if (curve.index.empty() || curve.index.back() < i) {
      curve.index.push_back(i);
      curve.levelDb.push_back(view.Level(i));
    }
  };
  add(0);  // the start, the curve's reference level
  for (uint32_t b = 0; b < buckets; ++b) {
    const uint32_t first = static_cast<uint32_t>(static_cast<uint64_t>(length) * b / buckets);
    const uint32_t end = static_cast<uint32_t>(static_cast<uint64_t>(length) * (b + 1) / buckets);
    const Extremes extremes = view.Within(first, end);
    add(std::min(extremes.low, extremes.high));
    add(std::max(extremes.low, extremes.high));
  }
  add(length - 1);
  return curve;
}

}  // namespace

LevelCurve ThinLevelCurve(const float* levelDb, uint32_t length, uint32_t maxPoints,
                          std::vector<uint32_t> keep) {
  return Thin(LevelsView{levelDb}, length, maxPoints, std::move(keep));
}

LevelCurve ThinLevelCurve(const BandTrace& trace, uint32_t maxPoints, std::vector<uint32_t> keep) {
  if (trace.curve == nullptr) return {};
  return Thin(PartialView{trace}, trace.length, maxPoints, std::move(keep));
}

}  // namespace hostkit
