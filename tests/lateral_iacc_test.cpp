// The lateral fraction and the interaural cross-correlation called directly
// on hand-made band signals, with the host kit's context and settings block.
#include <gtest/gtest.h>

#include <cmath>

#include "acoustics/iacc.h"
#include "acoustics/lateral.h"
#include "analysis/band_analysis.h"
#include "tests/run_harness.h"

using runtest::EditSettings;

namespace {

struct Direct {
  hostkit::PluginHost host;
  headless::RecordingObserver observer;
  Direct(int rateHz, uint32_t frames) {
    headless::ResetThreadState();
    headless::SetObserver(&observer);
    host.Init();
    host.Context().sampleRate = rateHz;
    host.Context().bitsPerSample = 32;
    host.Context().selStart = 0;
    host.Context().selEnd = frames - 1;
  }
  ~Direct() { headless::SetObserver(nullptr); }
  std::vector<std::string> Messages() const { return runtest::MessageTexts(observer.events); }
  AnalysisSettings Settings() {
    AnalysisSettings copy;
    EditSettings(host, [&](AnalysisSettings& s) { copy = s; });
    return copy;
  }
};

const std::string LEFT_MISSING =
    "LF|Left Channel: can't calculate first arrival time \nChoose an higher value, please!";
const std::string RIGHT_MISSING =
    "LF|Right Channel: can't calculate first arrival time \nChoose an higher value, please!";
const std::string LF_TOO_SHORT = "LF|Select a longer wave, please!";

}  // namespace

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
// boost divides LF by its power factor; a window past the end fails.
TEST(LateralFraction, WindowsBoostAndLength) {
  struct Case {
    uint32_t frames;
    double boostDb;
    double expected;
    bool tooShort;
  };
  const Case cases[] = {
      {3529, 0.0, 3309.0 / 3529.0, false}, {3529, 10.0, 3309.0 / 35290.0, false}, {3528, 0.0, 1.0, true}};
  for (const Case& c : cases) {
    Direct d(44100, c.frames);
    EditSettings(d.host, [&](AnalysisSettings& s) {
      s.boostDb = c.boostDb;
      s.wThreshold = s.yThreshold = 1.0f;
    });
    const std::vector<float> ones(c.frames, 1.0f);
    EXPECT_EQ(ComputeLateralFraction(ones.data(), ones.data(), 0, &d.host.Context()), c.expected);
    EXPECT_EQ(d.Messages(), runtest::OneOrNone(c.tooShort ? LF_TOO_SHORT : ""));
    EXPECT_EQ(int16_t{d.Settings().arrivalLeft}, 0);
  }
}

TEST(LateralFraction, FirstArrivalFailures) {
  struct Case {
    const char* name;
    uint32_t frames;
    uint32_t wFrom, yFrom;  // first index of the ones in W and Y (frames: none)
    int16_t band;
    std::string message;
  };
  const Case cases[] = {
      {"no W arrival", 5000, 5000, 0, 0, LEFT_MISSING},
      {"no Y arrival", 5000, 0, 5000, 0, RIGHT_MISSING},
      {"W arrival beyond 16 bits", 40000, 32768, 0, 0, LEFT_MISSING},
      {"W arrival at the last storable index", 40000, 32767, 0, 0, ""},
      {"other bands never search", 5000, 5000, 5000, 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Direct d(44100, c.frames);
    EditSettings(d.host, [](AnalysisSettings& s) {
      s.wThreshold = s.yThreshold = 1.0f;
      s.arrivalLeft = s.arrivalRight = 7;
    });
    std::vector<float> w(c.frames, 0.0f), y(c.frames, 0.0f);
    for (uint32_t i = c.wFrom; i < c.frames; ++i) w[i] = 1.0f;
    for (uint32_t i = c.yFrom; i < c.frames; ++i) y[i] = 1.0f;
    const double lf = ComputeLateralFraction(w.data(), y.data(), c.band, &d.host.Context());
    EXPECT_EQ(d.Messages(), runtest::OneOrNone(c.message));
    if (!c.message.empty()) {
      EXPECT_EQ(lf, 1.0);
      EXPECT_EQ(int16_t{d.Settings().arrivalLeft}, 7);  // nothing stored unless both were found
    }
  }
  // A W window without energy (threshold 0 on silence): not a finite LF.
  Direct d(44100, 5000);
  EditSettings(d.host, [](AnalysisSettings& s) {
    s.wThreshold = 0.0f;
    s.yThreshold = 1.0f;
  });
  const std::vector<float> silence(5000, 0.0f), ones(5000, 1.0f);
  EXPECT_FALSE(std::isfinite(ComputeLateralFraction(silence.data(), ones.data(), 0, &d.host.Context())));
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
  for (bool inverted : {false, true}) {
    Direct d(44100, n);
    EditSettings(d.host, [](AnalysisSettings& s) { s.arrivalLeft = s.arrivalRight = 100; });
    double iacc[MAX_BANDS] = {}, width[MAX_BANDS] = {}, tau[MAX_BANDS] = {};
    ComputeIacc(tone.data(), inverted ? inverse.data() : tone.data(), 0, &d.host.Context(), iacc, width, tau);
    EXPECT_EQ(iacc[0], 1.0);
    EXPECT_EQ(tau[0], 0.0);
    EXPECT_EQ(width[0], inverted ? 0.0 : 13.0 / 44100 * 1000);
    EXPECT_EQ(uint32_t{d.Settings().iaccStart}, 100u);  // copied out of the packed record
    EXPECT_EQ(uint32_t{d.Settings().iaccEnd}, n - 50);
  }
}

TEST(Iacc, WindowFailuresAndHighRates) {
  struct Case {
    const char* name;
    int rate;
    uint32_t frames;
    int16_t arrival;  // both channels
    float level;      // of both signals
    std::string message;
    uint32_t windowEnd;  // 0: not stored (Lin stopped: no band may use it)
  };
  const Case cases[] = {
      {"arrival within the lag limit", 44100, 4000, 40, 1.0f, "IACC|Insert blank at the start", 0},
      {"arrival 50 samples before the end", 44100, 4000, 3950, 1.0f, "IACC|Select a longer wave, please!", 0},
      {"arrival at the length", 44100, 4000, 4000, 1.0f, "IACC|Can't calculate t1", 0},
      {"silence", 44100, 4000, 100, 0.0f, "IACC|Can't calculate IACC: divide by 0", 0},
      // 96 lags each way: the window ends 96 samples before the end.
      {"96 kHz", 96000, 4000, 100, 1.0f, "", 3904},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Direct d(c.rate, c.frames);
    EditSettings(d.host, [&](AnalysisSettings& s) {
      s.arrivalLeft = s.arrivalRight = c.arrival;
      s.iaccStart = 0;
      s.iaccEnd = 0;
    });
    const std::vector<float> signal(c.frames, c.level);
    double iacc[MAX_BANDS] = {}, width[MAX_BANDS] = {}, tau[MAX_BANDS] = {};
    ComputeIacc(signal.data(), signal.data(), 0, &d.host.Context(), iacc, width, tau);
    EXPECT_EQ(d.Messages(), runtest::OneOrNone(c.message));
    EXPECT_EQ(uint32_t{d.Settings().iaccEnd}, c.windowEnd);
    EXPECT_EQ(iacc[0] != 0.0, c.message.empty());
  }
  // A window marked invalid for this run: the band is skipped silently.
  Direct d(44100, 4000);
  EditSettings(d.host, [](AnalysisSettings& s) {
    s.iaccStart = 0xFFFFFFFFu;
    s.iaccEnd = 0;
  });
  const std::vector<float> signal(4000, 1.0f);
  double iacc[MAX_BANDS] = {}, width[MAX_BANDS] = {}, tau[MAX_BANDS] = {};
  ComputeIacc(signal.data(), signal.data(), 4, &d.host.Context(), iacc, width, tau);
  EXPECT_TRUE(d.Messages().empty());
  EXPECT_EQ(iacc[4], 0.0);
}
