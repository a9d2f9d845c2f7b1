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

// Least squares of level against time over [first, end) of the curve.
void FitSegment(const std::vector<double>& energy, size_t first, size_t end, double rateHz,
                IsoDecayFit* fit) {
  const double e0 = energy[0];
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0, syy = 0.0;
  const double n = static_cast<double>(end - first);
  for (size_t i = first; i < end; ++i) {
    const double x = static_cast<double>(i - first);
    const double y = 10.0 * std::log10(energy[i] / e0);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
    syy += y * y;
  }
  const double dx = n * sxx - sx * sx, dy = n * syy - sy * sy, dxy = n * sxy - sx * sy;
  const double slopePerSample = dx > 0.0 ? dxy / dx : 0.0;
  fit->slopeDbPerSecond = slopePerSample * rateHz;
  fit->interceptDb = (sy - slopePerSample * sx) / n - slopePerSample * static_cast<double>(first);
  fit->r2 = dx > 0.0 && dy > 0.0 ? dxy * dxy / (dx * dy) : 0.0;
  fit->xiPermille = 1000.0 * (1.0 - fit->r2);
  fit->startSeconds = static_cast<double>(first) / rateHz;
  fit->endSeconds = static_cast<double>(end - 1) / rateHz;
  fit->time.value = slopePerSample < 0.0 ? -60.0 / fit->slopeDbPerSecond : NaN;
}

// One evaluation range on the curve, with its reasons (all but curvature).
IsoDecayFit FitRange(const std::vector<double>& energy, double startDb, double endDb, double rateHz,
                     const IsoBandResult& band) {
  IsoDecayFit fit{{NaN, band.bandReasons}, startDb, endDb, NaN, NaN, NaN, NaN, 0.0, NaN, NaN};
  if (energy.empty() || !(energy[0] > 0.0)) return fit;
  const double e0 = energy[0];
  const size_t curveEnd = energy.size() - 1;  // the last entry is the compensation alone
  const size_t first = startDb < 0.0 ? FirstAtOrBelow(energy, 0, e0 * std::pow(10.0, startDb / 10.0)) : 0;
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
  FitSegment(energy, first, end, rateHz, &fit);
  if (std::isnan(fit.time.value)) fit.time.reasons |= ISO_RANGE_NOT_REACHED;
  return fit;
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
  work->energy.clear();
  if (!(onsetPosition >= 0.0) || onsetPosition >= band.length) return EmptyResult(ISO_NO_ONSET);
  const uint32_t onset = static_cast<uint32_t>(onsetPosition);
  work->onsetIndex = onset;
  IsoBandResult r = EmptyResult(0);
  r.lundeby =
      IsoLundebyTruncation(band.samples, band.length, band.rateHz, onset, band.bandwidthHz, &work->blocks);
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
  r.edt = FitRange(work->energy, 0.0, -10.0, band.rateHz, r);
  r.t20 = FitRange(work->energy, -5.0, -25.0, band.rateHz, r);
  r.t30 = FitRange(work->energy, -5.0, -35.0, band.rateHz, r);
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
