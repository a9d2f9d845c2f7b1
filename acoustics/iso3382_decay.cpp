// The ISO 3382 evaluation of one band: truncation, decay curve, fits and
// their validity (see the header).
#include "acoustics/iso3382_decay.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "acoustics/iso3382_energy.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double NOISE_MARGIN_DB = 10.0;  // a range's end at least this far above the noise
constexpr double MAX_XI_PERMILLE = 10.0;
constexpr double MAX_CURVATURE_PERCENT = 10.0;

// One backward pass: E from the onset sample to the truncation point, the
// compensation at its end, each squared sample less the noise power. Returns
// the sums the energy parameters need.
IsoEnergySums IntegrateBackward(const float* x, uint32_t onset, uint32_t truncation, double compensation,
                                double noisePower, std::vector<double>* energy) {
  energy->resize(truncation - onset + 1);
  double sum = compensation;
  double moment = 0.0;  // sum of k x^2, k relative to the onset sample
  (*energy)[truncation - onset] = sum;
  for (uint32_t k = truncation; k-- > onset;) {
    const double e = static_cast<double>(x[k]) * x[k] - noisePower;
    sum += e;
    moment += static_cast<double>(k - onset) * e;
    (*energy)[k - onset] = sum;
  }
  return IsoEnergySums{sum - compensation, moment};
}

// First index from `from` whose energy is at or below `threshold` (size when none).
size_t FirstAtOrBelow(const std::vector<double>& energy, size_t from, double threshold) {
  while (from < energy.size() && energy[from] > threshold) ++from;
  return from;
}

// Sums of least squares of level (dB) against the sample index, the index
// counted from the first point of the fit's own range.
struct FitSums {
  size_t first, end;  // the range [first, end) of the curve
  double sx, sy, sxx, sxy, syy;
  void Add(size_t i, double y) {
    const double x = static_cast<double>(i - first);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
    syy += y * y;
  }
};

// The line, r^2 and the decay time of one fit from its sums.
void FinishFit(const FitSums& s, double rateHz, IsoDecayFit* fit) {
  const double n = static_cast<double>(s.end - s.first);
  const double dx = n * s.sxx - s.sx * s.sx, dy = n * s.syy - s.sy * s.sy, dxy = n * s.sxy - s.sx * s.sy;
  const double slopePerSample = dx > 0.0 ? dxy / dx : 0.0;
  fit->slopeDbPerSecond = slopePerSample * rateHz;
  fit->interceptDb = (s.sy - slopePerSample * s.sx) / n - slopePerSample * static_cast<double>(s.first);
  fit->r2 = dx > 0.0 && dy > 0.0 ? dxy * dxy / (dx * dy) : 0.0;
  fit->xiPermille = 1000.0 * (1.0 - fit->r2);
  fit->startSeconds = static_cast<double>(s.first) / rateHz;
  fit->endSeconds = static_cast<double>(s.end - 1) / rateHz;
  fit->time.value = slopePerSample < 0.0 ? -60.0 / fit->slopeDbPerSecond : NaN;
}

// One evaluation range on the curve and its reasons (all but curvature and
// those of the fit itself); sums->end < sums->first + 2 when nothing is fitted.
IsoDecayFit PlanRange(const std::vector<double>& energy, size_t decayStart, double startDb, double endDb,
                      const IsoBandResult& band, FitSums* sums) {
  IsoDecayFit fit{{NaN, band.bandReasons}, startDb, endDb, NaN, NaN, NaN, NaN, 0.0, NaN, NaN};
  *sums = FitSums{0, 0, 0.0, 0.0, 0.0, 0.0, 0.0};
  if (energy.size() <= decayStart || !(energy[decayStart] > 0.0)) return fit;
  const double e0 = energy[decayStart];
  const size_t curveEnd = energy.size() - 1;  // the last entry is the compensation alone
  const size_t first =
      startDb < 0.0 ? FirstAtOrBelow(energy, decayStart, e0 * std::pow(10.0, startDb / 10.0)) : decayStart;
  size_t end = FirstAtOrBelow(energy, first, e0 * std::pow(10.0, endDb / 10.0));
  if (end > curveEnd) {
    const bool truncated = band.lundeby.found && band.lundeby.compensationEnergy > 0.0;
    fit.time.reasons |= truncated ? ISO_TRUNCATED_BEFORE_RANGE : ISO_RANGE_NOT_REACHED;
    end = curveEnd;
    while (end > first && !(energy[end - 1] > 0.0)) --end;  // a silent end has no level
  }
  if (band.inrDb < -endDb + NOISE_MARGIN_DB) fit.time.reasons |= ISO_INR_TOO_LOW;
  if (end < first + 2) {
    fit.time.reasons |= ISO_RANGE_NOT_REACHED;
    return fit;
  }
  sums->first = first, sums->end = end;
  return fit;
}

// EDT, T20 and T30 in one pass over the curve: each point's level is
// computed once, however many of the (overlapping) ranges hold it.
void FitDecayRanges(const std::vector<double>& energy, size_t decayStart, double rateHz, IsoBandResult* r) {
  IsoDecayFit* fits[3] = {&r->edt, &r->t20, &r->t30};
  const double rangesDb[3][2] = {{0.0, -10.0}, {-5.0, -25.0}, {-5.0, -35.0}};
  FitSums sums[3];
  size_t from = energy.size(), to = 0;
  for (int f = 0; f < 3; ++f) {
    *fits[f] = PlanRange(energy, decayStart, rangesDb[f][0], rangesDb[f][1], *r, &sums[f]);
    if (sums[f].end < sums[f].first + 2) continue;
    from = std::min(from, sums[f].first);
    to = std::max(to, sums[f].end);
  }
  if (from >= to) return;
  const double e0 = energy[decayStart];
  for (size_t i = from; i < to; ++i) {
    const double y = 10.0 * std::log10(energy[i] / e0);
    for (FitSums& s : sums)
      if (i >= s.first && i < s.end) s.Add(i, y);
  }
  for (int f = 0; f < 3; ++f) {
    if (sums[f].end < sums[f].first + 2) continue;
    FinishFit(sums[f], rateHz, fits[f]);
    if (std::isnan(fits[f]->time.value)) fits[f]->time.reasons |= ISO_RANGE_NOT_REACHED;
  }
}

// Where the band's own decay starts, as an index of the curve (which starts
// at the broadband onset): the first sample from the onset whose square
// reaches 20 dB below the band's largest square after the onset. The band
// filter delays and spreads the direct sound (at 125 Hz by several
// milliseconds); a fit that counted the build-up before it as part of the
// decay would lengthen EDT of a short decay markedly. The energy
// parameters keep the broadband onset.
size_t BandDecayStart(const float* x, uint32_t onset, uint32_t truncation) {
  const double threshold = IsoPeakSquare(x, onset, truncation) * 0.01;
  for (uint32_t k = onset; k < truncation; ++k) {
    if (static_cast<double>(x[k]) * x[k] >= threshold) return k - onset;
  }
  return 0;
}

// Curvature, non-linearity and uncertainty of T20 and T30.
void JudgeReverberation(IsoBandResult* r, double bandwidthHz) {
  r->curvaturePercent = 100.0 * (r->t30.time.value / r->t20.time.value - 1.0);
  IsoDecayFit* fits[2] = {&r->t20, &r->t30};
  for (IsoDecayFit* fit : fits) {
    if (fit->xiPermille > MAX_XI_PERMILLE) fit->time.reasons |= ISO_NONLINEARITY_ABOVE_10_PERMILLE;
    if (r->curvaturePercent > MAX_CURVATURE_PERCENT) fit->time.reasons |= ISO_CURVATURE_ABOVE_10_PERCENT;
    const int rangeDb = static_cast<int>(std::lround(fit->startDb - fit->endDb));
    fit->uncertaintySeconds = IsoReverberationUncertaintySeconds(fit->time.value, bandwidthHz, rangeDb);
  }
}

IsoBandResult EmptyResult(uint32_t reasons) {
  IsoBandResult r{};
  r.bandReasons = reasons;
  r.inrDb = r.noiseDb = r.truncationSeconds = r.curvaturePercent = NaN;
  r.compensationDb = -400.0;
  const IsoValue none{NaN, reasons};
  r.c50 = r.c80 = r.d50 = r.ts = none;
  const IsoDecayFit noFit{none, 0.0, 0.0, NaN, NaN, NaN, NaN, 0.0, NaN, NaN};
  r.edt = r.t20 = r.t30 = noFit;
  r.edt.startDb = 0.0, r.edt.endDb = -10.0;
  r.t20.startDb = -5.0, r.t20.endDb = -25.0;
  r.t30.startDb = -5.0, r.t30.endDb = -35.0;
  return r;
}

}  // namespace

IsoBandResult EvaluateIsoBand(const IsoBandInput& band, IsoWorkspace* work) {
  const double onsetPosition = band.onsetSeconds * band.rateHz;
  work->rateHz = band.rateHz;
  if (!(onsetPosition >= 0.0) || onsetPosition >= band.length) {
    work->energy.clear();
    return EmptyResult(ISO_NO_ONSET);
  }
  const uint32_t onset = static_cast<uint32_t>(onsetPosition);
  work->onsetIndex = onset;
  IsoBandResult r = EmptyResult(0);
  IsoBackwardSquareSums(band.samples, band.length, onset, &work->squareSums);
  r.lundeby = IsoLundebyTruncation(work->squareSums.data(), band.length - onset, onset, band.rateHz,
                                   band.bandwidthHz, &work->blocks);
  if (!r.lundeby.found) r.bandReasons |= ISO_NO_DECAY_ABOVE_NOISE;
  r.inrDb = r.lundeby.inrDb;
  r.noiseDb = r.lundeby.noisePower > 0.0 ? 10.0 * std::log10(r.lundeby.noisePower) : -400.0;
  const uint32_t truncation = std::max(r.lundeby.truncationIndex, onset + 1);
  r.truncationSeconds = truncation / band.rateHz;
  const double subtracted = r.lundeby.found ? r.lundeby.noisePower : 0.0;
  const IsoEnergySums sums = IntegrateBackward(band.samples, onset, truncation, r.lundeby.compensationEnergy,
                                               subtracted, &work->energy);
  if (!(work->energy[0] > 0.0)) return EmptyResult(ISO_SILENT_BAND);
  if (r.lundeby.compensationEnergy > 0.0)
    r.compensationDb = 10.0 * std::log10(r.lundeby.compensationEnergy / work->energy[0]);
  FitDecayRanges(work->energy, BandDecayStart(band.samples, onset, truncation), band.rateHz, &r);
  JudgeReverberation(&r, band.bandwidthHz);
  const IsoEnergyInput energyInput{band.samples,
                                   band.length,
                                   band.rateHz,
                                   onsetPosition,
                                   truncation,
                                   r.lundeby.compensationEnergy,
                                   r.lundeby.lateSlopeDbPerSecond,
                                   subtracted,
                                   sums};
  ComputeIsoEnergyParameters(energyInput, work->energy, &r);
  return r;
}
