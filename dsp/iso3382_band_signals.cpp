// The plug-in's band filtering replayed for the hosts (see the header).
#include "dsp/iso3382_band_signals.h"

#include <algorithm>

#include "dsp/filters.h"
#include "interface/bands.h"

namespace {

constexpr int LEVEL_COUNT = 9;  // 8 kHz (level 9) down to 31.5 Hz (level 1)

// `buffer` with room for at least `size` samples (contents undefined).
float* Room(std::vector<float>* buffer, size_t size) {
  if (buffer->size() < size) buffer->resize(size);
  return buffer->data();
}

// Octave mode: all nine levels in one sweep of the cascade, then each level's
// band signal from its part of the buffer.
bool VisitOctaves(const float* selection, uint32_t length, double rateHz, const IsoBandVisitor& visit,
                  IsoBandScratch* scratch) {
  const float* band = Room(&scratch->bands, 2 * static_cast<size_t>(length) + 1);
  FilterOctaveCascade(selection, length, LEVEL_COUNT, scratch->bands.data());
  for (int level = LEVEL_COUNT; level >= 1; --level) {
    if (!visit(IsoBandSignal{level, OctaveCentreHz(level), rateHz, band, length})) return false;
    band += length;
    length /= 2;
    rateHz *= 0.5;
  }
  return true;
}

// Third-octave mode: the lower and middle thirds of a level into the two
// halves of the band buffer, then the upper third (in place of the lower)
// with the decimation into the level's own copy of the signal, as the band
// analysis does.
bool VisitThirds(const float* selection, uint32_t length, double rateHz, const IsoBandVisitor& visit,
                 IsoBandScratch* scratch) {
  float* source = Room(&scratch->source, length);
  std::copy(selection, selection + length, source);
  float* work = Room(&scratch->bands, 2 * static_cast<size_t>(length));
  for (int level = LEVEL_COUNT; level >= 1; --level) {
    float* lower = work;
    float* middle = work + length;
    FilterSixthOrderPair(ThirdOctaveBandPass1, ThirdOctaveBandPass2, source, lower, middle, length, false);
    const int row = 3 * level - 2;
    if (!visit(IsoBandSignal{row, ThirdOctaveCentreHz(row), rateHz, lower, length})) return false;
    if (!visit(IsoBandSignal{row + 1, ThirdOctaveCentreHz(row + 1), rateHz, middle, length})) return false;
    FilterSixthOrderPair(ThirdOctaveBandPass3, DecimationLowPass, source, work, source, length, true);
    if (!visit(IsoBandSignal{row + 2, ThirdOctaveCentreHz(row + 2), rateHz, work, length})) return false;
    length /= 2;
    rateHz *= 0.5;
  }
  return true;
}

}  // namespace

bool ForEachIsoBandSignal(const float* selection, uint32_t length, double rateHz, bool thirdOctave,
                          const IsoBandVisitor& visit, IsoBandScratch* scratch) {
  if (!visit(IsoBandSignal{0, 0.0f, rateHz, selection, length})) return false;
  return thirdOctave ? VisitThirds(selection, length, rateHz, visit, scratch)
                     : VisitOctaves(selection, length, rateHz, visit, scratch);
}

bool ForEachIsoBandSignal(const float* selection, uint32_t length, double rateHz, bool thirdOctave,
                          const IsoBandVisitor& visit) {
  IsoBandScratch scratch;
  return ForEachIsoBandSignal(selection, length, rateHz, thirdOctave, visit, &scratch);
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
