// Energy ratios and centre time from the ISO onset, with fractional
// boundaries, and the onset itself.
#include "acoustics/iso3382_energy.h"

#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double ONSET_FRACTION_OF_PEAK_POWER = 0.01;  // 20 dB below the peak

double Square(float x) { return static_cast<double>(x) * x; }

// Decay per sample of the compensation's exponential (energy e^(-kappa n)).
double KappaPerSample(const IsoEnergyInput& in) {
  return -in.lateSlopeDbPerSecond * std::log(10.0) / 10.0 / in.rateHz;
}

// Energy from the fractional position `pos` (>= the onset) to infinity: the
// curve with the part of sample floor(pos) before pos removed, or past the
// truncation point the compensation's exponential.
double EnergyFrom(const IsoEnergyInput& in, const std::vector<double>& energy, double pos) {
  const uint32_t onset = static_cast<uint32_t>(in.onsetPosition);
  const double m = std::floor(pos);
  if (m < in.truncation) {
    const uint32_t k = static_cast<uint32_t>(m);
    return energy[k - onset] - (pos - m) * (Square(in.samples[k]) - in.noisePower);
  }
  if (in.compensation <= 0.0) return 0.0;
  return in.compensation * std::exp(-KappaPerSample(in) * (pos - in.truncation));
}

// Early-to-late ratio at `limitSeconds` after the onset, dB, and the early share, %.
void EarlyLate(const IsoEnergyInput& in, const std::vector<double>& energy, double total, double limitSeconds,
               uint32_t reasons, IsoValue* ratioDb, IsoValue* sharePercent) {
  const double pos = in.onsetPosition + limitSeconds * in.rateHz;
  if (pos > in.length) {
    *ratioDb = IsoValue{NaN, reasons | ISO_SELECTION_TOO_SHORT};
    if (sharePercent) *sharePercent = *ratioDb;
    return;
  }
  const double late = EnergyFrom(in, energy, pos);
  const double early = total - late;
  *ratioDb = late > 0.0 ? IsoValue{10.0 * std::log10(early / late), reasons}
                        : IsoValue{NaN, reasons | ISO_SILENT_BAND};
  if (sharePercent) *sharePercent = IsoValue{100.0 * early / total, reasons};
}

}  // namespace

void ComputeIsoEnergyParameters(const IsoEnergyInput& in, const std::vector<double>& energy,
                                IsoBandResult* r) {
  const uint32_t onset = static_cast<uint32_t>(in.onsetPosition);
  const double f = in.onsetPosition - onset;
  const double first = Square(in.samples[onset]) - in.noisePower;
  const double total = in.sums.energy - f * first + in.compensation;
  const uint32_t reasons = r->bandReasons;
  EarlyLate(in, energy, total, 0.05, reasons, &r->c50, &r->d50);
  EarlyLate(in, energy, total, 0.08, reasons, &r->c80, nullptr);
  // Moment about the onset, samples x energy: every sample at the middle of
  // its interval, the first one's part after the onset at the middle of that
  // part, and the compensation's exponential beyond the truncation point.
  double moment = in.sums.moment + (0.5 - f) * (in.sums.energy - first) + 0.5 * (1.0 - f) * (1.0 - f) * first;
  if (in.compensation > 0.0)
    moment += in.compensation * ((in.truncation - in.onsetPosition) + 1.0 / KappaPerSample(in));
  r->ts = IsoValue{1000.0 * moment / total / in.rateHz, reasons};
}

double IsoPeakSquare(const float* x, uint32_t from, uint32_t to) {
  constexpr uint32_t LANES = 8;
  const auto larger = [](double peak, double square) { return peak < square ? square : peak; };
  double peak[LANES] = {};
  uint32_t k = from;
  for (; k < to && to - k >= LANES; k += LANES) {
    for (uint32_t j = 0; j < LANES; ++j) peak[j] = larger(peak[j], Square(x[k + j]));
  }
  for (; k < to; ++k) peak[0] = larger(peak[0], Square(x[k]));
  double largest = 0.0;
  for (double lane : peak) largest = larger(largest, lane);
  return largest;
}

double IsoOnsetSeconds(const float* lin, uint32_t length, double rateHz) {
  const double peak = IsoPeakSquare(lin, 0, length);
  if (!(peak > 0.0)) return NaN;
  const double threshold = peak * ONSET_FRACTION_OF_PEAK_POWER;
  uint32_t k = 0;
  while (Square(lin[k]) < threshold) ++k;
  return k / rateHz;
}
