// The first arrival search, the lateral fraction and the interaural
// cross-correlation on hand-made band signals (values and statuses), and
// whole runs that show how each failure reaches the user (the message) and
// the host (the status in the run record).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "acoustics/iacc.h"
#include "acoustics/lateral.h"
#include "dsp/signal.h"
#include "tests/part_runners.h"
#include "tests/run_harness.h"

namespace {

using runtest::EditSettings;

// Every lag's sum is taken in window order, whatever the vector width: the
// correlations of every kernel the build contains (not only the one this
// processor picks) equal plain sums bit for bit, for lag counts that leave
// every kind of padded last group and windows across several blocks.
TEST(Iacc, EveryLagKernelGivesThePlainSums) {
  std::vector<float> left(6000), right(6000);
  uint32_t seed = 99;
  for (size_t i = 0; i < left.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    left[i] = static_cast<float>(static_cast<int32_t>(seed) >> 12) / 7.0f;
    right[i] = static_cast<float>(static_cast<int32_t>(seed * 69069u) >> 15) * 0.3f;
  }
  int kernelsRun = 0;
  for (const LagKernel& kernel : LagKernels()) {
    if (!kernel.runs()) {
      std::printf("lag kernel %s: this processor cannot execute it, not tested here\n", kernel.name);
      continue;
    }
    ++kernelsRun;
    for (int64_t count : {1, 2, 3, 5, 15, 31, 32, 33, 87, 191, 1023}) {
      const int64_t firstLag = -(count / 2), start = 1100, end = 4900;
      std::vector<double> out(static_cast<size_t>(count)), chosen(static_cast<size_t>(count));
      CorrelateLagsWith(kernel, left.data(), right.data(), start, end, firstLag, count, 3.0, out.data());
      CorrelateLags(left.data(), right.data(), start, end, firstLag, count, 3.0, chosen.data());
      for (int64_t k = 0; k < count; ++k) {
        double sum = 0.0;
        for (int64_t i = start; i <= end; ++i) sum += static_cast<double>(left[i]) * right[i + firstLag + k];
        ASSERT_EQ(out[k], sum / 3.0) << kernel.name << ", " << count << " lags, lag " << k;
        ASSERT_EQ(chosen[k], sum / 3.0) << count << " lags, lag " << k;
      }
    }
  }
  EXPECT_GE(kernelsRun, 1);
  EXPECT_STREQ(LagKernels().back().name, "plain");  // the fallback every processor runs

  // Lags swept in parts, on two threads or one after another in either
  // order, give the bits of one sweep.
  for (const PartRunner* runner : {hostkit::SpareCores(), &IN_ORDER_PARTS, &REVERSED_PARTS}) {
    for (int64_t count : {1, 33, 64, 65, 191, 1023}) {
      const int64_t firstLag = -(count / 2), start = 1100, end = 4900;
      std::vector<double> whole(static_cast<size_t>(count)), parts(static_cast<size_t>(count), -1.0);
      CorrelateLags(left.data(), right.data(), start, end, firstLag, count, 3.0, whole.data());
      CorrelateLags(left.data(), right.data(), start, end, firstLag, count, 3.0, parts.data(), runner);
      ASSERT_EQ(parts, whole) << count << " lags";
    }
  }
}

TEST(FirstArrival, ThresholdAndNoiseFloor) {
  const float samples[] = {0.0f, -3.0f, 5.0f, -7.0f, 2.0f};
  EXPECT_EQ(FindFirstArrival(samples, 5, 0), 0u);
  EXPECT_EQ(FindFirstArrival(samples, 5, 3), 1u);  // magnitude, and equality reaches
  EXPECT_EQ(FindFirstArrival(samples, 5, 6), 3u);
  EXPECT_EQ(FindFirstArrival(samples, 5, 8), 5u);  // none: the length
  EXPECT_EQ(FindFirstArrival(samples, 0, 0), 0u);
  // Mean square of the last sixteenth: 32 samples, the last two are 3 and -4.
  std::vector<float> tail(32, 100.0f);
  tail[30] = 3.0f;
  tail[31] = -4.0f;
  EXPECT_EQ(EstimateNoiseFloor(tail.data(), 32), 12.5);
}

// At 44100 Hz the W window holds 3529 samples and the Y window 3309; the
// boost divides LF by its power factor; a window past the end fails; a W
// window without energy gives a ratio that is not finite.
TEST(LateralFraction, WindowsBoostLengthAndZeroEnergy) {
  const struct {
    uint32_t frames;
    double boostDb;
    float w;
    LateralStatus status;
    double expected;  // NaN: not finite
  } cases[] = {
      {3529, 0.0, 1.0f, LATERAL_OK, 3309.0 / 3529.0},
      {3529, 10.0, 1.0f, LATERAL_OK, 3309.0 / 35290.0},
      {3528, 0.0, 1.0f, LATERAL_WINDOW_BEYOND_END, -1.0},
      {5000, 0.0, 0.0f, LATERAL_ZERO_DENOMINATOR, NAN},
  };
  for (const auto& c : cases) {
    const std::vector<float> w(c.frames, c.w), y(c.frames, 1.0f);
    double lf = -1.0;
    EXPECT_EQ(ComputeLateralFraction(w.data(), y.data(), c.frames, 44100, 16, c.boostDb, {0, 0}, &lf),
              c.status);
    if (std::isnan(c.expected)) {
      EXPECT_FALSE(std::isfinite(lf));
    } else {
      EXPECT_EQ(lf, c.expected);
    }
  }
  const std::vector<float> ones(5000, 1.0f);
  double lf = -1.0;
  EXPECT_EQ(ComputeLateralFraction(ones.data(), ones.data(), 5000, 44100, 16, 0, {-1, -1}, &lf),
            LATERAL_NO_LIN_ARRIVALS);
  EXPECT_EQ(ComputeLateralFraction(ones.data(), ones.data(), 5000, 44100, 24, 0, {0, 0}, &lf),
            LATERAL_UNSUPPORTED_WIDTH);
  EXPECT_EQ(lf, -1.0);
}

TEST(LateralFraction, FirstArrivalsAndTheSixteenBitIndex) {
  const struct {
    const char* name;
    uint32_t frames, wFrom, yFrom;  // first index of the ones in W and Y (frames: none)
    LateralStatus status;
    LateralArrivals arrivals;
  } cases[] = {
      {"both", 5000, 3, 9, LATERAL_OK, {3, 9}},
      {"no W arrival", 5000, 5000, 0, LATERAL_NO_ARRIVAL_W, {-1, -1}},
      {"no Y arrival", 5000, 0, 5000, LATERAL_NO_ARRIVAL_Y, {-1, -1}},
      {"W beyond 16 bits", 40000, 32768, 0, LATERAL_W_BEYOND_INDEX, {-1, -1}},
      {"Y beyond 16 bits", 40000, 0, 32768, LATERAL_Y_BEYOND_INDEX, {-1, -1}},
      {"at the last storable index", 40000, 32767, 32767, LATERAL_OK, {32767, 32767}},
  };
  for (const auto& c : cases) {
    std::vector<float> w(c.frames, 0.0f), y(c.frames, 0.0f);
    for (uint32_t i = c.wFrom; i < c.frames; ++i) w[i] = 1.0f;
    for (uint32_t i = c.yFrom; i < c.frames; ++i) y[i] = 1.0f;
    LateralArrivals arrivals{7, 7};
    EXPECT_EQ(FindLateralArrivals(w.data(), y.data(), c.frames, 1.0f, 1.0f, &arrivals), c.status) << c.name;
    EXPECT_EQ(arrivals.w, c.arrivals.w) << c.name;
    EXPECT_EQ(arrivals.y, c.arrivals.y) << c.name;
  }
}

// A 500 Hz tone against itself: the normalised correlation follows cos(wt),
// which stays at or above 0.9 for lags -6..6 at 44100 Hz (6.33 samples).
// Against its inverse the peak is a negative correlation: IACC 1, Tau at
// lag 0, and no width.
TEST(Iacc, ToneWidthAndNegativePeak) {
  const uint32_t n = 44100;
  std::vector<float> tone(n), inverse(n);
  for (uint32_t i = 0; i < n; ++i) {
    tone[i] = static_cast<float>(1000.0 * std::sin(2.0 * M_PI * 500.0 * i / 44100.0));
    inverse[i] = -tone[i];
  }
  IaccWindow window{};
  ASSERT_EQ(FixIaccWindow(100, 120, n, 44100, &window), IACC_OK);
  EXPECT_EQ(window.start, 100);
  EXPECT_EQ(window.end, n - 50);
  for (bool inverted : {false, true}) {
    IaccValues values{};
    EXPECT_EQ(ComputeIacc(tone.data(), inverted ? inverse.data() : tone.data(), n, 44100, window, &values),
              IACC_OK);
    EXPECT_EQ(values.iacc, 1.0);
    EXPECT_EQ(values.tauIacc, 0.0);
    EXPECT_EQ(values.wIacc, inverted ? 0.0 : 13.0 / 44100 * 1000);
  }
}

TEST(Iacc, WindowStatusesAndHighRates) {
  const struct {
    const char* name;
    int rate;
    int64_t arrival;  // both channels
    float level;
    IaccStatus status;
    int64_t windowEnd;
  } cases[] = {
      {"arrival within the lag limit", 44100, 40, 1.0f, IACC_BLANK_NEEDED, 3950},
      {"arrival 50 samples before the end", 44100, 3950, 1.0f, IACC_WINDOW_TOO_SHORT, 0},
      {"arrival at the length", 44100, 4000, 1.0f, IACC_NO_ARRIVAL, 0},
      {"no arrival", 44100, -1, 1.0f, IACC_NO_ARRIVAL, 0},
      {"silence", 44100, 100, 0.0f, IACC_ZERO_ENERGY, 3950},
      {"96 kHz: 96 lags each way", 96000, 100, 1.0f, IACC_OK, 3904},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> signal(4000, c.level);
    IaccWindow window{0, 0};
    IaccStatus status = FixIaccWindow(c.arrival, c.arrival, 4000, c.rate, &window);
    IaccValues values{};
    if (status == IACC_OK) status = ComputeIacc(signal.data(), signal.data(), 4000, c.rate, window, &values);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(window.end, c.windowEnd);
  }
  // A window marked invalid for this run (start after end), or one that
  // does not fit the selection: the band is skipped.
  const std::vector<float> signal(4000, 1.0f);
  IaccValues values{};
  EXPECT_EQ(ComputeIacc(signal.data(), signal.data(), 4000, 44100, {0xFFFFFFFF, 0}, &values), IACC_NO_WINDOW);
  EXPECT_EQ(ComputeIacc(signal.data(), signal.data(), 4000, 44100, {100, 3960}, &values), IACC_NO_WINDOW);
}

// Whole stereo runs whose lateral pass fails in Lin: the message boxes the
// user sees, what the store holds (LF 1.0, IACC 0 in every band) and the
// statuses the host reads from the run record.
TEST(LateralPass, FailuresReachTheUserAndTheHost) {
  constexpr int RATE = 44100;
  const std::string lfLeft =
      "LF|Left Channel: can't calculate first arrival time \nChoose an higher value, please!";
  const std::string lfRight =
      "LF|Right Channel: can't calculate first arrival time \nChoose an higher value, please!";
  const std::string lfShort = "LF|Select a longer wave, please!";
  // Each octave band reuses Lin's arrivals and finds the window too short again.
  std::vector<std::string> tooShort{lfShort, "IACC|Select a longer wave, please!"};
  tooShort.insert(tooShort.end(), 10, lfShort);
  const struct {
    const char* name;
    uint32_t frames;
    int arrival;
    float wThreshold, yThreshold;
    std::vector<std::string> messages;
    LateralStatus lf;
    IaccStatus iacc;
  } cases[] = {
      {"W never reaches its threshold",
       22050,
       300,
       30000,
       10000,
       {lfLeft, "IACC|Can't calculate t1"},
       LATERAL_NO_ARRIVAL_W,
       IACC_NO_ARRIVAL},
      {"Y never reaches its threshold",
       22050,
       300,
       10000,
       30000,
       {lfRight, "IACC|Can't calculate t1"},
       LATERAL_NO_ARRIVAL_Y,
       IACC_NO_ARRIVAL},
      {"W arrives past the 16-bit index",
       44100,
       33000,
       10000,
       10000,
       {lfLeft, "IACC|Can't calculate t1"},
       LATERAL_W_BEYOND_INDEX,
       IACC_NO_ARRIVAL},
      {"the selection ends within 80 ms of the arrival", 1000, 960, 10000, 10000, tooShort,
       LATERAL_WINDOW_BEYOND_END, IACC_WINDOW_TOO_SHORT},
      {"the arrival lies within the lag limit",
       22050,
       20,
       10000,
       10000,
       {"IACC|Insert blank at the start"},
       LATERAL_OK,
       IACC_BLANK_NEEDED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    runtest::RunFixture f;
    EditSettings(f.host, [&](AnalysisSettings& s) {
      s.wThreshold = c.wThreshold;
      s.yThreshold = c.yThreshold;
      s.thresholdLock = 0;
    });
    const std::vector<float> mono =
        runtest::DecayingNoise(RATE, c.frames / double(RATE), 0.3, 20000.0f, c.arrival, 5);
    f.host.SetAudio(2, 16, RATE, runtest::Interleave(mono, mono));
    const runtest::RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    EXPECT_EQ(r.Messages(), c.messages);
    EXPECT_EQ(r.store.lf[0] == 1.0, c.lf != LATERAL_OK);
    for (int b = 0; b <= 10; ++b) EXPECT_EQ(r.store.iacc[b], 0.0) << b;
    const hostkit::LateralRecord& lin = f.host.lastRun.lateral[0];
    ASSERT_TRUE(lin.analysed);
    EXPECT_EQ(lin.trace.lf, c.lf);
    EXPECT_EQ(lin.trace.iacc, c.iacc);
    // The other bands skip the correlation silently; their LF has no
    // arrivals when Lin found none.
    for (int b = 1; b <= 10; ++b) {
      EXPECT_EQ(f.host.lastRun.lateral[b].trace.iacc, IACC_NO_WINDOW) << b;
      const LateralStatus expected =
          c.lf == LATERAL_OK || c.lf == LATERAL_WINDOW_BEYOND_END ? c.lf : LATERAL_NO_LIN_ARRIVALS;
      EXPECT_EQ(f.host.lastRun.lateral[b].trace.lf, expected) << b;
    }
  }
}

}  // namespace
