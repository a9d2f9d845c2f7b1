// Whole analysis runs, from the host's samples to the results store and the
// clipboard report, through the host kit and the headless stand-in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "acoustics/decay.h"
#include "host/kit/spare_cores.h"
#include "tests/part_runners.h"
#include "tests/run_harness.h"

using headless::Event;
using namespace runtest;

namespace {

constexpr int RATE = 44100;
const char* const FIRST_ARRIVAL_MESSAGE =
    "Acoustical Parameters|Can not calculate First Arrival Time.\nThreshold is too high.\n\n"
    "Try again with a lower Threshold.";

}  // namespace

// An exponentially decaying noise of known RT: the fits find it in Lin and in
// the bands whose filters settle well within the decay.
TEST(WholeRun, DecayOfKnownReverberationTime) {
  // The random phase of the noise and the band filters' own ringing move the
  // fitted slope by a few per cent; Lin sees neither filter.
  // A third has a third of an octave's bandwidth-time product, so its
  // random fluctuation is about sqrt(3) times larger.
  constexpr double LIN_TOLERANCE = 0.03;
  constexpr double OCTAVE_TOLERANCE = 0.06;
  constexpr double THIRD_TOLERANCE = 0.11;
  constexpr double RT = 2.0;
  for (uint8_t thirdOctave : {0, 1}) {
    RunFixture f;
    EditSettings(f.host, [&](AnalysisSettings& s) { s.thirdOctave = thirdOctave; });
    f.host.SetAudio(1, 32, RATE, DecayingNoise(RATE, 4.0, RT, 20000.0f, 100, 7));
    f.host.keepLevelCurves = true;
    RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    const auto& lin = r.store.values[0][0];
    EXPECT_NEAR(lin[SLOT_RT20], RT, RT * LIN_TOLERANCE);
    EXPECT_NEAR(lin[SLOT_RT30], RT, RT * LIN_TOLERANCE);
    EXPECT_GT(lin[SLOT_R_RT30], 0.99f);
    // 250 Hz to 8 kHz, or their thirds.
    const int firstRow = thirdOctave ? 10 : 4, lastRow = thirdOctave ? 27 : 9;
    const double tolerance = thirdOctave ? THIRD_TOLERANCE : OCTAVE_TOLERANCE;
    for (int row = firstRow; row <= lastRow; ++row) {
      SCOPED_TRACE(row);
      EXPECT_EQ(r.store.valid[0][row][SLOT_RT20], 'y');
      EXPECT_NEAR(r.store.values[0][row][SLOT_RT20], RT, RT * tolerance);
      EXPECT_NEAR(r.store.values[0][row][SLOT_RT30], RT, RT * tolerance);
    }
    if (!thirdOctave) {
      for (int k = 0; k < PARAMS_PER_BAND; ++k) EXPECT_EQ(r.store.valid[0][10][k], 'n');  // 16 kHz
    }
    // The run record agrees with the store value by value: a value is marked
    // computed exactly when its status is ok, except a degenerate fit, which
    // the store marks computed with a status number in its "r" slot; every
    // band up to 8 kHz was analysed at its own rate.
    const hostkit::ChannelRecord& channel = f.host.lastRun.channels[0];
    EXPECT_EQ(channel.trace.arrival, 100u);
    const int rows = thirdOctave ? 28 : 10;
    for (int row = 0; row < rows; ++row) {
      const hostkit::BandRecord& band = channel.bands[row];
      ASSERT_TRUE(band.analysed) << row;
      EXPECT_EQ(band.rateHz, row == 0 ? RATE : RATE / float(1 << (thirdOctave ? 9 - (row + 2) / 3 : 9 - row)))
          << row;
      for (int k = 0; k < PARAMS_PER_BAND; ++k) {
        const ValueStatus status = band.outcome.status[k];
        EXPECT_EQ(r.store.valid[0][row][k] == 'y',
                  status == VALUE_OK || (status == VALUE_FIT_FLAT && k >= SLOT_RT20))
            << row << " " << k;
      }
    }
    if (!thirdOctave) {
      EXPECT_FALSE(channel.bands[10].analysed);  // 16 kHz belongs to the lateral pass
    }
    // A host that keeps level curves gets Lin's whole curve, every sample
    // converted, although the fits read only its start.
    std::vector<float> levels = DecayingNoise(RATE, 4.0, RT, 20000.0f, 100, 7);
    BackwardIntegrate(levels.data(), static_cast<uint32_t>(levels.size()), 100, channel.bands[0].noisePower,
                      RATE);
    for (float& level : levels) level = static_cast<float>(EnergyToDecibels(level));
    // Every kept point is the curve's own sample, up to the last.
    const hostkit::LevelCurve& curve = channel.bands[0].curve;
    ASSERT_LE(curve.index.size(), hostkit::MAX_CURVE_POINTS);
    ASSERT_EQ(curve.index.back() + 1, levels.size());
    for (size_t i = 0; i < curve.index.size(); ++i) ASSERT_EQ(curve.levelDb[i], levels[curve.index[i]]) << i;
  }
}

// Two equal impulses 100 ms apart: early and late energy are equal.
TEST(WholeRun, EqualEarlyAndLateEnergy) {
  RunFixture f;
  std::vector<float> samples(RATE, 0.0f);
  samples[100] = 20000.0f;
  samples[100 + RATE / 10] = 20000.0f;
  f.host.SetAudio(1, 16, RATE, samples);
  RunRecord r = f.Run();
  ASSERT_TRUE(r.storeSeen);
  const auto& lin = r.store.values[0][0];
  EXPECT_EQ(lin[SLOT_C50], 0.0f);
  EXPECT_EQ(lin[SLOT_C80], 0.0f);
  EXPECT_EQ(lin[SLOT_D50], 50.0f);
  // Centre of gravity: weights 1 and 4411 samples, one period each.
  EXPECT_FLOAT_EQ(lin[SLOT_TS], (1.0f + 4411.0f) / 2.0f / RATE * 1000.0f);
}

// Inter-channel values of known pairs: identical channels, a delayed right
// channel, a lateral reflection against a direct sound with two boosts.
TEST(WholeRun, InterChannelValuesOfKnownPairs) {
  const std::vector<float> left = DecayingNoise(RATE, 0.6, 0.3, 20000.0f, 300, 11);
  {
    RunFixture f;
    f.host.SetAudio(2, 32, RATE, Interleave(left, left));
    RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    // Lin only: a filtered band rings ahead of the window start, so its
    // lagged products are not bounded by the window's own energies.
    EXPECT_EQ(r.store.iacc[0], 1.0);
    EXPECT_EQ(r.store.tauIacc[0], 0.0);
    EXPECT_EQ(r.store.wIacc[0], 1.0 / RATE * 1000);  // white noise: only lag 0 reaches 90 %
  }
  {
    constexpr int DELAY = 7;
    std::vector<float> right(left.size(), 0.0f);
    for (size_t i = DELAY; i < left.size(); ++i) right[i] = left[i - DELAY];
    RunFixture f;
    f.host.SetAudio(2, 32, RATE, Interleave(left, right));
    RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    EXPECT_EQ(r.store.tauIacc[0], -DELAY / static_cast<double>(RATE) * 1000);
    EXPECT_NEAR(r.store.iacc[0], 1.0, 1e-6);  // only the last 7 samples of the window differ, all ~0
  }
  // W: the direct sound alone; Y: the direct sound and a reflection at 10 ms
  // of half its amplitude. LF = 1/4 of the energy, divided by the boost.
  // 8-bit samples are centred on zero: nothing is subtracted before squaring.
  struct Lateral {
    uint16_t bits;
    float peak, threshold;  // threshold: first arrival of the bands, W and Y
    double boostDb, lf;
  };
  for (const Lateral& c : {Lateral{32, 20000.0f, 10000.0f, 0.0, 0.25},
                           {32, 20000.0f, 10000.0f, 10.0, 0.025},
                           {8, 100.0f, 100.0f, 0.0, 0.25}}) {
    std::vector<float> w(RATE / 2, 0.0f), y(RATE / 2, 0.0f);
    w[300] = y[300] = c.peak;
    y[300 + RATE / 100] = c.peak / 2;
    RunFixture f;
    EditSettings(f.host, [&](AnalysisSettings& s) {
      s.boostDb = c.boostDb;
      s.arrivalThreshold = static_cast<int16_t>(c.threshold);
      s.wThreshold = s.yThreshold = c.threshold;
    });
    f.host.SetAudio(2, c.bits, RATE, Interleave(w, y));
    RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    EXPECT_EQ(r.store.lf[0], c.lf) << c.bits << " bit, boost " << c.boostDb;
  }
}

// The service calls of one complete stereo run at 22050 Hz, written out: the
// band analysis of each channel, then the lateral pass over Lin and the nine
// octave bands below the band limit 0.4761905 * rate (not 16 kHz).
TEST(WholeRun, ServiceCallsOfAStereoRun) {
  RunFixture f;
  f.host.Context().sampleFlags = 0x100;
  const std::vector<float> mono = DecayingNoise(22050, 0.5, 0.3, 20000.0f, 100, 3);
  f.host.SetAudio(2, 16, 22050, Interleave(mono, mono));
  RunRecord r = f.Run();
  std::string calls;
  for (const std::string& word : r.CallWords()) calls += (word == "get:0+11025/274" ? "G" : word) + " ";
  const std::string levels = "p1/11 p2/11 p3/11 p4/11 p5/11 p6/11 p7/11 p8/11 p9/11 p10/11 done ";
  EXPECT_EQ(calls, "G status:Calculating Left Channel Acoustics... " + levels +
                       "G status:Calculating Right Channel Acoustics... " + levels +
                       "status:Calculating LF and ANDO's parameters p0/11 G p1/11 G p2/11 G p3/11 G p4/11 "
                       "G p5/11 G p6/11 G p7/11 G p8/11 G p9/11 G p10/11 done dialog ");
  EXPECT_EQ(r.Count(Event::Beep), 1u);
  EXPECT_EQ(r.Messages(), std::vector<std::string>{});
}

// The dialog chosen and the bands with lateral values: the octave bands
// below the band limit in octave mode, Lin alone in third-octave mode.
TEST(WholeRun, LateralBandsAndDialogOfEachMode) {
  struct Case {
    uint16_t channels, bits;
    int rate;
    uint8_t thirdOctave;
    int lateralBands;  // Lin included
    bool iacc;
    int dialog;
  };
  const Case cases[] = {
      {1, 8, 44100, 1, 0, false, 107}, {1, 16, 44100, 0, 0, false, 106}, {2, 16, 44100, 0, 11, true, 106},
      {2, 32, 8000, 0, 8, true, 106},  {2, 16, 44100, 1, 1, false, 107},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << "ch " << c.rate << " third " << int(c.thirdOctave));
    RunFixture f;
    const float peak = c.bits == 8 ? 100.0f : 20000.0f;
    EditSettings(f.host, [&](AnalysisSettings& s) {
      s.thirdOctave = c.thirdOctave;
      s.arrivalThreshold = static_cast<int16_t>(peak / 2);
      s.wThreshold = s.yThreshold = peak / 2;
    });
    const std::vector<float> mono = DecayingNoise(c.rate, 0.5, 0.3, peak, 100, 3);
    f.host.SetAudio(c.channels, c.bits, c.rate, c.channels == 2 ? Interleave(mono, mono) : mono);
    RunRecord r = f.Run();
    EXPECT_EQ(r.Messages(), std::vector<std::string>{});
    ASSERT_TRUE(r.storeSeen);
    for (const Event& e : r.events) EXPECT_TRUE(e.kind != Event::DialogShown || e.templateId == c.dialog);
    for (int b = 0; b < MAX_BANDS; ++b) {
      EXPECT_EQ(r.store.lf[b] != 0.0, b < c.lateralBands) << b;
      EXPECT_EQ(r.store.iacc[b] != 0.0, b < c.lateralBands && c.iacc) << b;
      EXPECT_TRUE(c.channels == 2 || r.store.valid[1][b][0] == 'n') << b;
    }
  }
}

// Runs that end before the results dialog: each shows at most one message,
// makes no beep, and leaves no buffer allocated and the settings unlocked.
TEST(WholeRun, RunsThatEndEarly) {
  const std::string oom =
      "Roomstat|The system cannot allocate enough memory\nto calculate acoustical parameters.\n\n"
      "Retry after closing some windows or\nwith a shorter impulse response.";
  const std::string cantAllocate = "|Can't allocate: not enough memory";
  struct Case {
    const char* name;
    uint16_t channels, bits;
    int16_t threshold;
    int failAlloc, failLock;  // successes before the injected failure, -1 none
    int cancelAt;             // progress step that raises the stop request, 0 none
    std::string message;      // "" none
    bool ownedMessage;
    int gets;  // fnGetSamples calls made
  };
  const Case cases[] = {
      {"no arrival, mono", 1, 16, 30000, -1, -1, 0, FIRST_ARRIVAL_MESSAGE, true, 1},
      {"no arrival, left", 2, 16, 30000, -1, -1, 0, FIRST_ARRIVAL_MESSAGE, true, 1},
      {"8-bit, threshold 10000", 1, 8, 10000, -1, -1, 0, FIRST_ARRIVAL_MESSAGE, true, 1},
      {"24-bit", 2, 24, 100, -1, -1, 0, "", false, 1},
      {"left buffer", 2, 16, 100, 0, -1, 0, cantAllocate, false, 0},
      {"right buffer", 2, 16, 100, 1, -1, 0, cantAllocate, false, 0},
      {"channel buffer", 2, 16, 100, 2, -1, 0, oom, true, 0},
      {"raw buffer", 1, 16, 100, 3, -1, 0, oom, true, 0},
      {"left lock", 2, 16, 100, -1, 1, 0, cantAllocate, false, 0},
      {"channel lock", 2, 16, 100, -1, 3, 0, oom, true, 0},
      {"raw lock", 1, 16, 100, -1, 4, 0, oom, true, 0},
      {"settings lock", 1, 16, 100, -1, 0, 0, "", false, 0},
      {"cancel after Lin", 1, 16, 100, -1, -1, 1, "", false, 1},
      {"cancel after a level", 2, 16, 100, -1, -1, 2, "", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    EditSettings(f.host, [&](AnalysisSettings& s) { s.arrivalThreshold = c.threshold; });
    const float peak = c.bits == 8 ? 127.0f : 20000.0f;
    const std::vector<float> mono = DecayingNoise(RATE, 0.3, 0.2, peak, 100, 5);
    f.host.SetAudio(c.channels, c.bits, RATE, c.channels == 2 ? Interleave(mono, mono) : mono);
    f.host.onProgress = [&](int32_t done, int32_t) {
      if (done == c.cancelAt) f.host.cancelWord = 1;
    };
    const size_t blocksBefore = headless::LiveGlobalBlocks();
    if (c.failAlloc >= 0) headless::FailGlobalAlloc(c.failAlloc);
    if (c.failLock >= 0) headless::FailGlobalLock(c.failLock);
    RunRecord r = f.Run();
    headless::FailGlobalAlloc(-1);
    headless::FailGlobalLock(-1);

    EXPECT_EQ(r.Messages(), OneOrNone(c.message));
    for (const Event& e : r.events) {
      EXPECT_TRUE(e.kind != Event::MessageBox || e.window == (c.ownedMessage ? f.owner : nullptr));
    }
    EXPECT_EQ(r.Count(Event::Beep) + r.Count(Event::DialogShown), 0u);
    int gets = 0;
    for (const auto& call : r.calls) gets += call.kind == hostkit::ServiceCall::GetSamples;
    EXPECT_EQ(gets, c.gets);
    EXPECT_TRUE(c.bits != 24 || r.calls[0].formatWord == (2u | 8u));  // 24-bit: asks for 8-bit samples
    if (c.cancelAt > 0) {
      const std::vector<std::string> words = r.CallWords();
      EXPECT_EQ(words.back(), "done");
      EXPECT_EQ(words[words.size() - 2], "p" + std::to_string(c.cancelAt) + "/11");
    }
    EXPECT_EQ(headless::LiveGlobalBlocks(), blocksBefore);
    EXPECT_EQ(headless::GlobalLockCount(f.host.SettingsHandle()), 0);
  }
}

// Which rows are noise-corrected depends on the length of the response and
// on each band's centre: about seven periods must fit in the last sixteenth.
TEST(WholeRun, NoiseCorrectionDecisions) {
  struct Case {
    uint32_t frames;
    uint8_t thirdOctave;
    const char* marks;  // noiseCorrected rows 0..27
  };
  const Case cases[] = {
      {159, 0, "nnnnnnnnnnnnnnnnnnnnnnnnnnnn"},
      {160, 0, "ynnnnnnnnnnnnnnnnnnnnnnnnnnn"},
      // 44100 samples: from 113 Hz up (125 Hz octave); 22050: from 226 Hz up.
      {44100, 0, "ynnyyyyyyynnnnnnnnnnnnnnnnnn"},
      {22050, 0, "ynnnyyyyyynnnnnnnnnnnnnnnnnn"},
      // Thirds of 125 Hz: 99 Hz no, 125 and 157 Hz yes.
      {44100, 1, "ynnnnnnnyyyyyyyyyyyyyyyyyyyy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frames << " third " << int(c.thirdOctave));
    RunFixture f;
    EditSettings(f.host, [&](AnalysisSettings& s) {
      s.noiseCorrection = 1;
      s.thirdOctave = c.thirdOctave;
    });
    std::vector<float> samples = DecayingNoise(RATE, c.frames / double(RATE), 0.3, 20000.0f, 0, 9);
    samples.resize(c.frames, 0.0f);
    f.host.SetAudio(1, 16, RATE, samples);
    RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    EXPECT_EQ(std::string(r.store.noiseCorrected, MAX_BANDS), c.marks);
  }
}

// Short and unusual selections complete without touching memory outside
// the buffers; later runs start from a cleared store and never reuse an
// earlier run's lateral arrivals or correlation window.
TEST(WholeRun, EdgeSelectionsAndRepeatedRuns) {
  {
    RunFixture f;  // one frame
    f.host.SetAudio(2, 16, RATE, {20000.0f, 20000.0f});
    RunRecord r = f.Run();
    EXPECT_EQ(r.Count(Event::DialogShown), 1u);
    EXPECT_EQ(r.Count(Event::Beep), 1u);
  }
  {
    RunFixture f;  // 1001 samples, arrival in the last one: t0 reaches L at a lower level
    std::vector<float> samples(1001, 0.0f);
    samples[1000] = 20000.0f;
    f.host.SetAudio(1, 16, RATE, samples);
    RunRecord r = f.Run();
    ASSERT_TRUE(r.storeSeen);
    EXPECT_EQ(r.store.valid[0][0][SLOT_TS], 'y');
  }
  RunFixture f;
  const std::vector<float> mono = DecayingNoise(RATE, 0.5, 0.3, 20000.0f, 300, 13);
  f.host.SetAudio(2, 16, RATE, Interleave(mono, mono));
  RunRecord first = f.Run();
  ASSERT_TRUE(first.storeSeen);
  ASSERT_EQ(first.store.iacc[3], 1.0);
  // Band analysis threshold still reached, W threshold no longer.
  EditSettings(f.host, [](AnalysisSettings& s) { s.wThreshold = s.yThreshold = 30000.0f; });
  RunRecord second = f.Run();
  ASSERT_TRUE(second.storeSeen);
  EXPECT_EQ(second.Messages(),
            (std::vector<std::string>{
                "LF|Left Channel: can't calculate first arrival time \nChoose an higher value, please!",
                "IACC|Can't calculate t1"}));
  for (int b = 0; b <= 10; ++b) {
    EXPECT_EQ(second.store.lf[b], 1.0) << b;
    EXPECT_EQ(second.store.iacc[b], 0.0) << b;
  }
  // Lin's window starts within the lag limit: one message, and no band
  // computes IACC with that window or the earlier run's.
  const std::vector<float> early = DecayingNoise(RATE, 0.5, 0.3, 20000.0f, 20, 13);
  EditSettings(f.host, [](AnalysisSettings& s) { s.wThreshold = s.yThreshold = 10000.0f; });
  f.host.SetAudio(2, 16, RATE, Interleave(early, early));
  RunRecord blank = f.Run();
  ASSERT_TRUE(blank.storeSeen);
  EXPECT_EQ(blank.Messages(), std::vector<std::string>{"IACC|Insert blank at the start"});
  for (int b = 0; b <= 10; ++b) EXPECT_EQ(blank.store.iacc[b], 0.0) << b;
  EXPECT_NE(blank.store.lf[5], 1.0);
  // A mono run after them: no lateral value, no right channel.
  f.host.SetAudio(1, 16, RATE, mono);
  RunRecord third = f.Run();
  ASSERT_TRUE(third.storeSeen);
  for (int b = 0; b < MAX_BANDS; ++b) {
    EXPECT_EQ(third.store.lf[b], 0.0);
    EXPECT_EQ(third.store.valid[1][b][SLOT_TS], 'n');
  }
#if UINTPTR_MAX != 0xFFFFFFFFu
  // The run withdraws the six slots of its store. (Third-octave mode: the
  // octave dialog also publishes its window, which is not the run's.)
  EditSettings(f.host, [](AnalysisSettings& s) { s.thirdOctave = 1; });
  f.Run();
  const uint32_t slots = LiveSlotCount();
  for (int i = 0; i < 20; ++i) f.Run();
  EXPECT_EQ(LiveSlotCount(), slots);
#endif
}

// A run lent cores (the correlation's lags in parts; beside them, the next
// lateral band filtered ahead) stores the same bytes, makes the same service
// calls and hands the host the same band signals in the same order as a run
// on one thread: on two threads, and with the parts run one after another
// in either order. Also when the host serves other frames halfway through
// the lateral pass, so that a band filtered ahead does not match its fetch.
TEST(WholeRun, LentCoresChangeNothingTheHostSees) {
  struct Seen {
    RunRecord run;
    std::vector<std::pair<int, std::vector<float>>> bandSignals;
  };
  const PartRunner* const runners[] = {nullptr, hostkit::SpareCores(), &IN_ORDER_PARTS, &REVERSED_PARTS};
  const std::vector<float> left = DecayingNoise(RATE, 0.8, 0.4, 20000.0f, 200, 31);
  const std::vector<float> right = DecayingNoise(RATE, 0.8, 0.6, 20000.0f, 260, 32);
  const std::vector<float> other = DecayingNoise(RATE, 0.8, 0.5, 20000.0f, 230, 33);
  AcousticResults alone[3];
  for (int scenario = 0; scenario < 3; ++scenario) {
    const uint16_t channels = scenario == 0 ? 1 : 2;
    const bool framesChange = scenario == 2;
    Seen seen[4];
    for (int r = 0; r < 4; ++r) {
      RunFixture f;
      EditSettings(f.host, [](AnalysisSettings& s) { s.noiseCorrection = 1; });
      f.host.SetAudio(channels, 16, RATE, channels == 2 ? Interleave(left, right) : left);
      f.host.lentCores = runners[r];
      bool lateral = false;
      if (framesChange) {
        f.host.onStatusText = [&lateral](const std::string& text) {
          lateral = text.find("LF") != std::string::npos;
        };
        f.host.onProgress = [&](int32_t done, int32_t) {
          if (lateral && done == 3) f.host.SetAudio(2, 16, RATE, Interleave(left, other));
        };
      }
      Seen& s = seen[r];
      f.host.onBandSignal = [&s](const BandSignalTrace& t) {
        s.bandSignals.emplace_back(t.row * 4 + (t.channelLetter == 'r'),
                                   std::vector<float>(t.samples, t.samples + t.length));
      };
      s.run = f.Run();
    }
    for (int r = 1; r < 4; ++r) {
      SCOPED_TRACE(std::string(channels == 1 ? "mono" : "stereo") + (framesChange ? ", frames change" : "") +
                   ", runner " + std::to_string(r));
      ASSERT_TRUE(seen[0].run.storeSeen && seen[r].run.storeSeen);
      EXPECT_EQ(std::memcmp(&seen[0].run.store, &seen[r].run.store, sizeof(AcousticResults)), 0);
      EXPECT_EQ(seen[0].run.CallWords(), seen[r].run.CallWords());
      EXPECT_EQ(seen[0].run.report, seen[r].run.report);
      EXPECT_EQ(seen[0].bandSignals, seen[r].bandSignals);  // floats compared by value: the same bits here
      EXPECT_EQ(seen[r].bandSignals.size(), channels * 10u);
    }
    alone[scenario] = seen[0].run.store;
  }
  // The changed frames reach the lateral bands after the third, not before.
  EXPECT_EQ(alone[1].iacc[2], alone[2].iacc[2]);
  EXPECT_NE(alone[1].iacc[3], alone[2].iacc[3]);
}

// Whole reports against reviewed golden files. ROOMSTAT_BLESS=1 rewrites
// them; the git diff is the review. The 32-bit build compares against the
// same files, so both builds must print the same bytes. A run lent a second
// core (the correlation's lags in parts, the next lateral band filtered
// ahead) prints the same bytes.
TEST(WholeRun, GoldenReports) {
  struct Case {
    const char* file;
    uint16_t channels, bits;
    uint8_t thirdOctave;
    bool lentCores;
  };
  const Case cases[] = {{"report_stereo_octave.txt", 2, 16, 0, false},
                        {"report_stereo_octave.txt", 2, 16, 0, true},
                        {"report_mono_third_octave.txt", 1, 32, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.lentCores ? ", lent cores" : ""));
    RunFixture f;
    if (c.lentCores) f.host.lentCores = hostkit::SpareCores();
    EditSettings(f.host, [&](AnalysisSettings& s) {
      s.noiseCorrection = 1;
      s.thirdOctave = c.thirdOctave;
    });
    const std::vector<float> left = DecayingNoise(RATE, 0.7, 0.4, 20000.0f, 200, 21);
    const std::vector<float> right = DecayingNoise(RATE, 0.7, 0.5, 20000.0f, 230, 22);
    f.host.SetAudio(c.channels, c.bits, RATE, c.channels == 2 ? Interleave(left, right) : left);
    RunRecord r = f.Run();
    ASSERT_FALSE(r.report.empty());
    const std::string path = std::string(ROOMSTAT_SOURCE_DIR) + "/tests/golden/" + c.file;
    const char* bless = std::getenv("ROOMSTAT_BLESS");
    if (bless != nullptr && std::string(bless) == "1") {
      std::ofstream(path, std::ios::binary) << r.report;
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << "missing golden " << path << " (run with ROOMSTAT_BLESS=1)";
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(r.report, golden.str());
  }
}
