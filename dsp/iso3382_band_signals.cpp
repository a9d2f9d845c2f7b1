// The plug-in's band filtering replayed for the hosts (see the header).
#include "dsp/iso3382_band_signals.h"

#include "dsp/filters.h"
#include "interface/bands.h"

namespace {

constexpr int LEVEL_COUNT = 9;  // 8 kHz (level 9) down to 31.5 Hz (level 1)

// Octave mode: all nine levels in one sweep of the cascade, then each level's
// band signal from its part of the buffer.
bool VisitOctaves(const float* selection, uint32_t length, double rateHz, const IsoBandVisitor& visit) {
  std::vector<float> bands(2 * static_cast<size_t>(length) + 1);
  FilterOctaveCascade(selection, length, LEVEL_COUNT, bands.data());
  const float* band = bands.data();
  for (int level = LEVEL_COUNT; level >= 1; --level) {
    if (!visit(IsoBandSignal{level, OctaveCentreHz(level), rateHz, band, length})) return false;
    band += length;
    length /= 2;
    rateHz *= 0.5;
  }
  return true;
}

// Third-octave mode: the three thirds of a level, then the decimation into
// the level's own copy of the signal, as the band analysis does.
bool VisitThirds(const float* selection, uint32_t length, double rateHz, const IsoBandVisitor& visit) {
  std::vector<float> source(selection, selection + length);
  std::vector<float> lower(length), middle(length), upper(length);
  for (int level = LEVEL_COUNT; level >= 1; --level) {
    FilterSixthOrderPair(ThirdOctaveBandPass1, ThirdOctaveBandPass2, source.data(), lower.data(),
                         middle.data(), length, false);
    FilterSixthOrderPair(ThirdOctaveBandPass3, DecimationLowPass, source.data(), upper.data(), source.data(),
                         length, true);
    const float* thirds[3] = {lower.data(), middle.data(), upper.data()};
    for (int j = 1; j <= 3; ++j) {
      const int row = 3 * level - 3 + j;
      if (!visit(IsoBandSignal{row, ThirdOctaveCentreHz(row), rateHz, thirds[j - 1], length})) return false;
    }
    length /= 2;
    rateHz *= 0.5;
  }
  return true;
}

}  // namespace

bool ForEachIsoBandSignal(const float* selection, uint32_t length, double rateHz, bool thirdOctave,
                          const IsoBandVisitor& visit) {
  if (!visit(IsoBandSignal{0, 0.0f, rateHz, selection, length})) return false;
  return thirdOctave ? VisitThirds(selection, length, rateHz, visit)
                     : VisitOctaves(selection, length, rateHz, visit);
}

std::vector<IsoOwnedBandSignal> CollectIsoBandSignals(const float* selection, uint32_t length, double rateHz,
                                                      bool thirdOctave) {
  std::vector<IsoOwnedBandSignal> bands;
  ForEachIsoBandSignal(selection, length, rateHz, thirdOctave, [&bands](const IsoBandSignal& band) {
    bands.push_back(IsoOwnedBandSignal{band.row, band.nominalHz, band.rateHz,
                                       std::vector<float>(band.samples, band.samples + band.length)});
    return true;
  });
  return bands;
}
