// Multi-tone measurement of the band filters; see the header.
#include "tests/conformance/band_filter_tones.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <set>

#include "dsp/filters.h"
#include "tests/conformance/iec61260_limits.h"

namespace conformance {
namespace {

constexpr double INPUT_RATE_HZ = 44100.0;
constexpr int LEVEL_COUNT = 9;
constexpr double PI = 3.14159265358979323846;
// Plans that do not depend on the processor's vector units, so that every
// machine computes the same bits.
constexpr unsigned FFT_FLAGS = FFTW_ESTIMATE | FFTW_NO_SIMD;

// One band of a level: its designator and base-ten band index.
struct BandUnderTest {
  bool thirdOctave;
  int row, b, x;
};

// The four bands that level `level` filters: its octave and its three thirds.
std::vector<BandUnderTest> BandsOfLevel(int level) {
  std::vector<BandUnderTest> bands{{false, level, 1, level - 6}};
  for (int j = 1; j <= 3; ++j) bands.push_back({true, 3 * level - 3 + j, 3, 3 * (level - 6) + j - 2});
  return bands;
}

// The tones of one level live on the bins of the analysis window at the
// level's rate: frequency k * rate / M.
struct LevelGrid {
  int level, decimation, samples;  // samples: M
  double rateHz;
  double BinHz() const { return rateHz / samples; }
  int MaxBin() const { return decimation * samples / 2 - 1; }  // below 22050 Hz
  int Folded(int k) const {
    const int r = k % samples;
    return r > samples / 2 ? samples - r : r;
  }
  // The nearest usable bin: inside the input band, not folding onto 0 Hz or
  // the band rate's Nyquist frequency.
  int Bin(double hz) const {
    int k = std::clamp(static_cast<int>(std::lround(hz / BinHz())), 1, MaxBin());
    while (Folded(k) == 0 || Folded(k) == samples / 2) k = k > 1 ? k - 1 : k + 1;
    return k;
  }
};

// The tones one band needs: the dense grid of IEC 61260-2 Formula (1) over
// the Table 1 span and on to four times the level's rate (the images of the
// last decimations), sparse tones up to 22050 Hz, the breakpoints (the band
// edge from both sides) and the mid-band frequency.
void AddBandTones(const LevelGrid& grid, const BandUnderTest& band, const TonePlan& plan,
                  std::set<int>& bins) {
  const double fm = ExactMidBandHz(band.x, band.b);
  const std::vector<Breakpoint> breakpoints = TableBreakpoints(band.b);
  const double top = (grid.MaxBin() + 0.5) * grid.BinHz() / fm;
  const double denseTop = std::min(top, std::max(breakpoints.back().omega, 4.0 * grid.rateHz / fm));
  const double step = std::log(OCTAVE_RATIO_G) / (band.b * plan.tonesPerBandwidth);
  const int first = static_cast<int>(std::floor(std::log(breakpoints.front().omega) / step));
  for (int i = first; std::exp(i * step) <= denseTop; ++i) bins.insert(grid.Bin(fm * std::exp(i * step)));
  const double sparseStep = std::log(2.0) / plan.tonesPerOctaveBeyond;
  for (double omega = denseTop * std::exp(sparseStep); omega < top; omega *= std::exp(sparseStep))
    bins.insert(grid.Bin(fm * omega));
  for (const Breakpoint& point : breakpoints) bins.insert(grid.Bin(fm * point.omega));
  for (double edge : {breakpoints[4].omega, breakpoints[12].omega}) {  // G^(-1/2b), G^(1/2b)
    const int below = static_cast<int>(std::floor(fm * edge / grid.BinHz()));
    bins.insert(grid.Bin(below * grid.BinHz()));
    bins.insert(grid.Bin((below + 1) * grid.BinHz()));
  }
  bins.insert(grid.Bin(fm));
}

// Splits the tones into runs in which no two fold onto the same bin.
std::vector<std::vector<int>> SplitIntoRuns(const LevelGrid& grid, const std::set<int>& bins) {
  std::vector<std::vector<int>> runs;
  std::vector<std::vector<char>> used;
  for (int k : bins) {
    const int folded = grid.Folded(k);
    size_t r = 0;
    while (r < runs.size() && used[r][folded]) ++r;
    if (r == runs.size()) {
      runs.emplace_back();
      used.emplace_back(grid.samples / 2 + 1, 0);
    }
    runs[r].push_back(k);
    used[r][folded] = 1;
  }
  return runs;
}

// FFTW buffers and plans of one level.
struct LevelFft {
  int inputLength, samples;
  fftw_complex* spectrum;
  double* signal;
  double* window;
  fftw_complex* windowSpectrum;
  fftw_plan synthesis, analysis;
  LevelFft(int n, int m) : inputLength(n), samples(m) {
    spectrum = fftw_alloc_complex(n / 2 + 1);
    signal = fftw_alloc_real(n);
    window = fftw_alloc_real(m);
    windowSpectrum = fftw_alloc_complex(m / 2 + 1);
    synthesis = fftw_plan_dft_c2r_1d(n, spectrum, signal, FFT_FLAGS);
    analysis = fftw_plan_dft_r2c_1d(m, window, windowSpectrum, FFT_FLAGS);
  }
  ~LevelFft() {
    fftw_destroy_plan(synthesis);
    fftw_destroy_plan(analysis);
    fftw_free(spectrum);
    fftw_free(signal);
    fftw_free(window);
    fftw_free(windowSpectrum);
  }
};

// Unit-amplitude tones at the run's bins (Schroeder phases keep the crest
// factor low), as the float samples the plug-in reads.
std::vector<float> SynthesiseRun(LevelFft& fft, const LevelGrid& grid, const std::vector<int>& run) {
  const int n = fft.inputLength;
  std::fill(fft.spectrum[0], fft.spectrum[0] + 2 * (n / 2 + 1), 0.0);
  const double count = static_cast<double>(run.size());
  for (size_t j = 0; j < run.size(); ++j) {
    const double phase = -PI * static_cast<double>(j) * static_cast<double>(j + 1) / count;
    const int bin = run[j] * (n / (grid.decimation * grid.samples));  // full-length bin of tone k
    fft.spectrum[bin][0] = 0.5 * std::cos(phase);
    fft.spectrum[bin][1] = 0.5 * std::sin(phase);
  }
  fftw_execute(fft.synthesis);
  std::vector<float> input(n);
  for (int i = 0; i < n; ++i) input[i] = static_cast<float>(fft.signal[i]);
  return input;
}

// The level's four band signals (octave, thirds 1..3), each 2M samples at the
// level's rate, through the driver's own filter calls.
std::vector<std::vector<float>> RunCascade(const std::vector<float>& input, const LevelGrid& grid) {
  const uint32_t n = static_cast<uint32_t>(input.size());
  const int levels = LEVEL_COUNT - grid.level + 1;
  std::vector<float> octaveBands(2 * static_cast<size_t>(n));
  FilterOctaveCascade(input.data(), n, levels, octaveBands.data());
  size_t offset = 0;
  uint32_t length = n;
  for (int i = 0; i + 1 < levels; ++i, length /= 2) offset += length;
  std::vector<std::vector<float>> bands(4, std::vector<float>(length));
  std::copy(octaveBands.begin() + offset, octaveBands.begin() + offset + length, bands[0].begin());

  std::vector<float> source = input, scratch(n);
  uint32_t current = n;
  for (int level = LEVEL_COUNT; level > grid.level; --level, current /= 2)
    FilterSixthOrderPair(ThirdOctaveBandPass3, DecimationLowPass, source.data(), scratch.data(),
                         source.data(), current, true);
  FilterSixthOrderPair(ThirdOctaveBandPass1, ThirdOctaveBandPass2, source.data(), bands[1].data(),
                       bands[2].data(), current, false);
  FilterSixthOrderPair(ThirdOctaveBandPass3, DecimationLowPass, source.data(), bands[3].data(), source.data(),
                       current, true);
  return bands;
}

// Attenuation of every tone of the run in one band signal: the DFT of its
// last M samples at each tone's folded bin.
void ReadTones(LevelFft& fft, const LevelGrid& grid, const std::vector<float>& band,
               const std::vector<int>& run, std::map<int, double>& attenuation) {
  const int m = grid.samples;
  for (int i = 0; i < m; ++i) fft.window[i] = band[band.size() - m + i];
  fftw_execute(fft.analysis);
  for (int k : run) {
    const int folded = grid.Folded(k);
    const double amplitude =
        2.0 * std::abs(std::complex<double>(fft.windowSpectrum[folded][0], fft.windowSpectrum[folded][1])) /
        m;
    attenuation[k] = -20.0 * std::log10(std::max(amplitude, 1e-30));
  }
}

BandResponse MakeResponse(const BandUnderTest& band, const LevelGrid& grid,
                          const std::map<int, double>& measured) {
  BandResponse response;
  response.thirdOctave = band.thirdOctave;
  response.row = band.row;
  response.level = grid.level;
  response.b = band.b;
  response.midBandHz = ExactMidBandHz(band.x, band.b);
  response.bandRateHz = grid.rateHz;
  const int referenceBin = grid.Bin(response.midBandHz);
  for (const auto& [k, db] : measured) {
    response.frequencyHz.push_back(k * grid.BinHz());
    response.omega.push_back(k * grid.BinHz() / response.midBandHz);
    response.attenuationDb.push_back(db);
    if (k == referenceBin) {
      response.referenceOmega = response.omega.back();
      response.referenceDb = db;
    }
  }
  return response;
}

// The four bands of one level.
std::vector<BandResponse> MeasureLevel(int level, const TonePlan& plan, ToneRunStats* stats) {
  const int decimation = 1 << (LEVEL_COUNT - level);
  const LevelGrid grid{level, decimation, plan.analysisSamples, INPUT_RATE_HZ / decimation};
  const std::vector<BandUnderTest> bandsUnderTest = BandsOfLevel(level);
  std::set<int> bins;
  for (const BandUnderTest& band : bandsUnderTest) AddBandTones(grid, band, plan, bins);
  const std::vector<std::vector<int>> runs = SplitIntoRuns(grid, bins);
  LevelFft fft(2 * decimation * plan.analysisSamples, plan.analysisSamples);
  std::vector<std::map<int, double>> measured(bandsUnderTest.size());
  for (const std::vector<int>& run : runs) {
    const std::vector<std::vector<float>> bands = RunCascade(SynthesiseRun(fft, grid, run), grid);
    for (size_t i = 0; i < bandsUnderTest.size(); ++i) ReadTones(fft, grid, bands[i], run, measured[i]);
  }
  stats->tones += static_cast<int>(bins.size());
  stats->runs += static_cast<int>(runs.size());
  std::vector<BandResponse> responses;
  for (size_t i = 0; i < bandsUnderTest.size(); ++i)
    responses.push_back(MakeResponse(bandsUnderTest[i], grid, measured[i]));
  return responses;
}

}  // namespace

std::vector<BandResponse> MeasureBandFilters(const TonePlan& plan, ToneRunStats* stats) {
  std::vector<BandResponse> octaves, thirds;
  for (int level = 1; level <= LEVEL_COUNT; ++level) {
    for (BandResponse& response : MeasureLevel(level, plan, stats)) {
      (response.thirdOctave ? thirds : octaves).push_back(std::move(response));
    }
  }
  std::sort(thirds.begin(), thirds.end(),
            [](const BandResponse& a, const BandResponse& b) { return a.row < b.row; });
  octaves.insert(octaves.end(), thirds.begin(), thirds.end());
  return octaves;
}

}  // namespace conformance
