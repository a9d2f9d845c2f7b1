// Lundeby's iterative truncation (see the header for the steps).
#include "acoustics/iso3382_lundeby.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int MAX_ITERATIONS = 5;
constexpr double BLOCKS_PER_10_DB = 5.0;
constexpr double FIRST_FIT_FLOOR_DB = 10.0;    // first line ends at noise + 10 dB
constexpr double LATE_FIT_FLOOR_DB = 10.0;     // late line from noise + 10 dB ...
constexpr double LATE_FIT_RANGE_DB = 20.0;     // ... over 20 dB of decay
constexpr double NOISE_BELOW_CROSS_DB = 10.0;  // noise measured from 10 dB below the crosspoint

double PowerDb(double power) { return power > 0.0 ? 10.0 * std::log10(power) : -400.0; }

// Mean square of the samples [from, to) (indices re the onset) from the
// backward sums: a difference of two sums that both hold only what follows.
double MeanSquare(const double* tail, uint32_t from, uint32_t to) {
  return to > from ? (tail[from] - tail[to]) / (to - from) : 0.0;
}

// Mean squares of consecutive blocks of `blockLength` samples from the onset.
void BlockMeans(const double* tail, uint32_t span, uint32_t blockLength, std::vector<double>* blocks) {
  blocks->clear();
  for (uint32_t from = 0; from + blockLength <= span; from += blockLength)
    blocks->push_back(MeanSquare(tail, from, from + blockLength));
}

struct Line {
  double interceptDb;  // level at the onset
  double slopeDbPerSecond;
  bool ok;
};

// Least squares through block levels [first, end) at the blocks' centres.
Line FitBlocks(const std::vector<double>& blocks, size_t first, size_t end, double blockSeconds) {
  if (end < first + 2) return Line{0.0, 0.0, false};
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
  const double n = static_cast<double>(end - first);
  for (size_t i = first; i < end; ++i) {
    const double x = (static_cast<double>(i) + 0.5) * blockSeconds;
    const double y = PowerDb(blocks[i]);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  const double spread = n * sxx - sx * sx;
  const double slope = (n * sxy - sx * sy) / spread;
  return Line{(sy - slope * sx) / n, slope, spread > 0.0 && slope < 0.0};
}

// First block after `from` whose level is at or below `levelDb` (blocks.size() when none).
size_t FirstAtOrBelow(const std::vector<double>& blocks, size_t from, double levelDb) {
  const double power = std::pow(10.0, levelDb / 10.0);
  while (from < blocks.size() && blocks[from] > power) ++from;
  return from;
}

double CrossSeconds(const Line& line, double noiseDb) {
  return (noiseDb - line.interceptDb) / line.slopeDbPerSecond;
}

}  // namespace

// The sums run in CHAINS contiguous parts at once, each part's chain started
// from the total of the parts after it, so that the additions do not wait
// on one another; the rounding is that of a running sum all the same.
void IsoBackwardSquareSums(const float* samples, uint32_t length, uint32_t onsetIndex,
                           std::vector<double>* tail) {
  constexpr uint32_t CHAINS = 8;
  const uint32_t span = onsetIndex < length ? length - onsetIndex : 0;
  if (tail->size() < static_cast<size_t>(span) + 1) tail->resize(static_cast<size_t>(span) + 1);
  const float* x = samples + onsetIndex;
  double* sums = tail->data();
  const uint32_t part = span / CHAINS;
  double sum = 0.0;
  sums[span] = sum;
  for (uint32_t i = span; i-- > CHAINS * part;) {  // the remainder after the parts
    sum += static_cast<double>(x[i]) * x[i];
    sums[i] = sum;
  }
  double chain[CHAINS] = {};
  for (uint32_t j = 0; j < part; ++j)
    for (uint32_t c = 0; c < CHAINS; ++c) chain[c] += static_cast<double>(x[c * part + j]) * x[c * part + j];
  for (uint32_t c = CHAINS; c-- > 0;) {
    const double total = chain[c];
    chain[c] = sum;
    sum += total;
  }
  for (uint32_t j = part; j-- > 0;)
    for (uint32_t c = 0; c < CHAINS; ++c) {
      const uint32_t i = c * part + j;
      chain[c] += static_cast<double>(x[i]) * x[i];
      sums[i] = chain[c];
    }
}

IsoLundebyResult IsoLundebyTruncation(const double* tail, uint32_t span, uint32_t onsetIndex, double rateHz,
                                      double bandwidthHz, std::vector<double>* blocks) {
  const uint32_t length = onsetIndex + span;
  IsoLundebyResult r{false, false, 0, 0.0, 0.0, length, 0.0, 0.0, 0.0, 0.0};
  if (span == 0) return r;
  r.noisePower = MeanSquare(tail, span - std::max<uint32_t>(1, span / 10), span);
  double blockSeconds = bandwidthHz > 0.0 ? std::clamp(2.0 / bandwidthHz, 0.01, 0.05) : 0.01;
  uint32_t blockLength = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(blockSeconds * rateHz)));
  blockSeconds = blockLength / rateHz;
  BlockMeans(tail, span, blockLength, blocks);
  r.blockSeconds = blockSeconds;
  if (blocks->empty()) return r;
  const size_t loudest =
      static_cast<size_t>(std::max_element(blocks->begin(), blocks->end()) - blocks->begin());
  double noiseDb = PowerDb(r.noisePower);
  r.inrDb = PowerDb((*blocks)[loudest]) - noiseDb;
  const Line first = FitBlocks(*blocks, loudest,
                               FirstAtOrBelow(*blocks, loudest, noiseDb + FIRST_FIT_FLOOR_DB), blockSeconds);
  if (!first.ok) return r;
  r.onsetLevelDb = first.interceptDb;
  Line late = first;
  double cross = std::clamp(CrossSeconds(first, noiseDb), 0.0, span / rateHz);
  for (r.iterations = 1; r.iterations <= MAX_ITERATIONS; ++r.iterations) {
    blockSeconds = 10.0 / -late.slopeDbPerSecond / BLOCKS_PER_10_DB;
    blockLength = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(blockSeconds * rateHz)), 1,
                                       std::max<uint32_t>(1, span / 4));
    blockSeconds = blockLength / rateHz;
    const double noiseFrom = cross + NOISE_BELOW_CROSS_DB / -late.slopeDbPerSecond;
    const uint32_t noiseStart = static_cast<uint32_t>(
        std::min<double>(span - std::max<uint32_t>(1, span / 10), std::floor(noiseFrom * rateHz)));
    r.noisePower = MeanSquare(tail, noiseStart, span);
    noiseDb = PowerDb(r.noisePower);
    BlockMeans(tail, span, blockLength, blocks);
    const size_t top = std::min(loudest * static_cast<size_t>(r.blockSeconds / blockSeconds + 0.5),
                                blocks->empty() ? 0 : blocks->size() - 1);
    const size_t begin = FirstAtOrBelow(*blocks, top, noiseDb + LATE_FIT_FLOOR_DB + LATE_FIT_RANGE_DB);
    const Line next =
        FitBlocks(*blocks, begin, FirstAtOrBelow(*blocks, begin, noiseDb + LATE_FIT_FLOOR_DB), blockSeconds);
    if (!next.ok) break;
    late = next;
    const double nextCross = std::clamp(CrossSeconds(late, noiseDb), 0.0, span / rateHz);
    const bool settled = std::fabs(nextCross - cross) < blockSeconds;
    cross = nextCross;
    if (settled) {
      r.converged = true;
      break;
    }
  }
  r.iterations = std::min(r.iterations, MAX_ITERATIONS);
  r.found = true;
  r.blockSeconds = blockSeconds;
  r.inrDb = first.interceptDb - noiseDb;
  r.lateSlopeDbPerSecond = late.slopeDbPerSecond;
  r.truncationIndex =
      std::min<uint32_t>(length, onsetIndex + static_cast<uint32_t>(std::lround(cross * rateHz)));
  const double decayPerSecond = -late.slopeDbPerSecond * std::log(10.0) / 10.0;
  const double levelAtCross = std::pow(10.0, (late.interceptDb + late.slopeDbPerSecond * cross) / 10.0);
  r.compensationEnergy = r.truncationIndex < length ? levelAtCross * rateHz / decayPerSecond : 0.0;
  return r;
}
