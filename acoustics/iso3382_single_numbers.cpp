// Single numbers of ISO 3382-1:2009, Annex A over 500 Hz and 1 kHz, and the
// points for drawing a band's decay.
#include <algorithm>
#include <cmath>
#include <limits>

#include "acoustics/iso3382_decay.h"

namespace {

// The mean of one value over the rows [first, last], valid only when all are.
IsoValue Average(const IsoBandResult* byRow, int rowCount, int first, int last,
                 IsoValue (*pick)(const IsoBandResult&)) {
  double sum = 0.0;
  uint32_t reasons = 0;
  for (int row = first; row <= last; ++row) {
    if (row >= rowCount)
      return IsoValue{std::numeric_limits<double>::quiet_NaN(), reasons | ISO_BAND_MISSING};
    const IsoValue v = pick(byRow[row]);
    sum += v.value;
    reasons |= v.reasons;
    if (std::isnan(v.value)) reasons |= ISO_BAND_MISSING;
  }
  return IsoValue{sum / (last - first + 1), reasons};
}

}  // namespace

IsoSingleNumbers IsoSingleNumberAverages(const IsoBandResult* byRow, int rowCount, bool thirdOctave) {
  // Octave rows 5 (500 Hz) and 6 (1 kHz); their thirds are rows 13..18.
  const int first = thirdOctave ? 13 : 5, last = thirdOctave ? 18 : 6;
  IsoSingleNumbers s;
  s.edt = Average(byRow, rowCount, first, last, [](const IsoBandResult& r) { return r.edt.time; });
  s.t20Mid = Average(byRow, rowCount, first, last, [](const IsoBandResult& r) { return r.t20.time; });
  s.t30Mid = Average(byRow, rowCount, first, last, [](const IsoBandResult& r) { return r.t30.time; });
  s.c80 = Average(byRow, rowCount, first, last, [](const IsoBandResult& r) { return r.c80; });
  s.d50 = Average(byRow, rowCount, first, last, [](const IsoBandResult& r) { return r.d50; });
  s.ts = Average(byRow, rowCount, first, last, [](const IsoBandResult& r) { return r.ts; });
  return s;
}

IsoDecayPlot IsoBandDecayPlot(const IsoBandResult& result, const IsoWorkspace& work, int maxPoints) {
  IsoDecayPlot plot{{}, {}, -result.inrDb, result.truncationSeconds - work.onsetIndex / work.rateHz};
  const std::vector<double>& energy = work.energy;
  if (energy.empty() || !(energy[0] > 0.0) || maxPoints < 2) return plot;
  // The curve proper ends one entry before the compensation alone.
  const size_t count = energy.size() - 1;
  const size_t points = std::min<size_t>(static_cast<size_t>(maxPoints), count);
  for (size_t p = 0; p < points; ++p) {
    const size_t i = points > 1 ? p * (count - 1) / (points - 1) : 0;
    if (!(energy[i] > 0.0)) break;
    plot.decay.push_back(IsoPlotPoint{i / work.rateHz, 10.0 * std::log10(energy[i] / energy[0])});
  }
  const std::vector<double>& blocks = work.blocks;
  const size_t stride = std::max<size_t>(1, (blocks.size() + maxPoints - 1) / maxPoints);
  const double reference = result.lundeby.onsetLevelDb;
  for (size_t i = 0; i < blocks.size(); i += stride) {
    if (!(blocks[i] > 0.0)) continue;
    const double seconds = (i + 0.5) * result.lundeby.blockSeconds;
    plot.envelope.push_back(IsoPlotPoint{seconds, 10.0 * std::log10(blocks[i]) - reference});
  }
  return plot;
}
