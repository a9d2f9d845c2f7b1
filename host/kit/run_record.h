// What a run of the statically linked plug-in reported while it ran (through
// its run watcher): per channel the first arrival, per band the state of
// every value with its fits and the noise subtracted, a plot-sized copy of
// each band's level curve when asked for, and per lateral band the state of
// LF and of the correlation. A loaded module reports nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/run_watch.h"
#include "interface/results.h"

namespace hostkit {

// A level curve thinned for drawing: per bucket of consecutive samples its
// smallest and largest level, in the order they occur, so the curve's shape
// and every step survive; short curves are kept whole.
struct LevelCurve {
  std::vector<uint32_t> index;  // sample index at the band's rate
  std::vector<float> levelDb;
};

struct BandRecord {
  bool analysed = false;
  float rateHz = 0.0f;
  uint32_t length = 0;
  uint32_t arrival = 0;
  bool noiseCorrectionAsked = false;
  double noisePower = 0.0;  // 0: none subtracted
  // Impulse-to-noise ratio in dB (see ImpulseToNoiseDb); NaN when the band
  // has no arrival, +inf when its tail holds no energy.
  double inrDb = 0.0;
  BandOutcome outcome{};
  LevelCurve curve;  // empty unless curves are kept
};

struct ChannelRecord {
  bool searched = false;  // the first-arrival search ran
  ChannelTrace trace{};
  BandRecord bands[MAX_BANDS];
};

struct LateralRecord {
  bool analysed = false;
  LateralTrace trace{};
};

struct RunRecord {
  ChannelRecord channels[MAX_CHANNELS];  // 0: mono or left, 1: right
  LateralRecord lateral[MAX_BANDS];
};

// Points a thinned level curve keeps at most (two per bucket).
constexpr uint32_t MAX_CURVE_POINTS = 2000;

// Receives each band signal of a run as the plug-in filtered it, before the
// band's parameters consume it (valid only during the call). Called on the
// run's thread, from inside the plug-in: it must not throw.
using BandSignalSink = std::function<void(const BandSignalTrace& trace)>;

// Records the runs of the calling thread into `record` while it lives (the
// record is cleared first); with keepCurves, also the thinned level curves;
// with a sink, hands it every band signal; with lent cores, offers them to
// the run.
class RunRecorder {
 public:
  RunRecorder(RunRecord* record, bool keepCurves, const BandSignalSink* sink = nullptr,
              const PartRunner* lentCores = nullptr);
  ~RunRecorder();
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

 private:
  RunRecord* record_;
  bool keepCurves_;
  RunWatcher watcher_;
  const RunWatcher* previous_;
  static void OnChannel(void* context, const ChannelTrace& trace);
  static void OnBand(void* context, const BandTrace& trace);
  static void OnLateral(void* context, const LateralTrace& trace);
  static void OnBandSignal(void* context, const BandSignalTrace& trace);
  const BandSignalSink* sink_;
};

// Impulse-to-noise ratio of a band from its level curve (10 log10 of the
// backward-integrated energy, as the band analysis leaves it): the mean
// energy over the first 10 ms after the arrival (at least 24 samples of the
// band signal, about four periods of its centre) over the noise energy per
// sample, which is the noise subtracted when there was one, otherwise the
// mean energy of the last sixteenth.
double ImpulseToNoiseDb(const float* levelDb, uint32_t length, uint32_t arrival, double noisePower,
                        float rateHz);
// The same from the curve as the band's parameters left it (BandTrace::curve:
// levels only where the fits read, energies elsewhere), reading the three
// points it needs, each as the whole level curve would hold it.
double ImpulseToNoiseDb(const BandTrace& trace);

// The thinned copy of a level curve of `length` samples; its first and last
// samples and those at `keep` (e.g. the ends of the fitted segments, the
// first arrival) are kept exactly, within the same bound of points.
LevelCurve ThinLevelCurve(const float* levelDb, uint32_t length, uint32_t maxPoints = MAX_CURVE_POINTS,
                          std::vector<uint32_t> keep = {});
// The same from the curve as a band's parameters left it (BandTrace::curve:
// levels over [levelsFrom, levelsEnd), energies elsewhere): the points that
// ThinLevelCurve keeps of the whole level curve, with the same levels,
// converting only the points it keeps and those that may be a bucket's
// extreme.
LevelCurve ThinLevelCurve(const BandTrace& trace, uint32_t maxPoints = MAX_CURVE_POINTS,
                          std::vector<uint32_t> keep = {});

}  // namespace hostkit
