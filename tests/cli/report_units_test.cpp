// Units of the HTML report and of --average / --compare that the browser
// test cannot pin down: round tick values, the bounded level-curve copy, the
// statistics and the just-noticeable-difference flags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "acoustics/decay.h"
#include "host/cli/average.h"
#include "host/cli/svg_chart.h"
#include "host/cli/text_encoding.h"
#include "host/kit/run_record.h"
#include "interface/bands.h"

namespace cli {
namespace {

TEST(SvgChart, NiceTicksAreRoundNumbersCoveringTheRange) {
  struct Case {
    double min, max;
    int target;
    std::vector<std::string> labels;
  } cases[] = {
      {0.0, 1.03, 5, {"0.00", "0.25", "0.50", "0.75", "1.00"}},
      {-63.0, 0.0, 5, {"-60", "-40", "-20", "0"}},
      {-0.3, 9.7, 4, {"0.0", "2.5", "5.0", "7.5"}},
      {0.0, 1.05, 6, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
      {0.5, 0.5, 5, {}},  // empty range: no ticks rather than a division by zero
  };
  for (const Case& c : cases) {
    std::vector<std::string> labels;
    for (const svg::Tick& tick : svg::NiceTicks(c.min, c.max, c.target)) labels.push_back(tick.label);
    EXPECT_EQ(labels, c.labels) << c.min << ".." << c.max;
  }
}

TEST(SvgChart, TextIsEscapedAndEveryPartIsPresent) {
  svg::Chart chart;
  chart.id = "c1";
  chart.title = "A <b> & 'c'";
  chart.x = svg::Axis{"Time (s)", 0.0, 1.0, false, {}};
  chart.y = svg::Axis{"Level (dB)", -60.0, 0.0, false, {}};
  chart.series.push_back(
      {"fit", "#000", {0.0, 0.5, 1.0}, {0.0, NAN, -60.0}, 1.0, svg::Dash::Solid, false, true, {}, false});
  const std::string out = svg::Render(chart);
  EXPECT_NE(out.find("A &lt;b&gt; &amp; &#39;c&#39;"), std::string::npos);
  EXPECT_EQ(out.find("<b>"), std::string::npos);
  // A non-finite value breaks the line: two single points draw no polyline.
  EXPECT_EQ(out.find("<polyline"), std::string::npos);
  EXPECT_NE(out.find(">Time (s)</text>"), std::string::npos);
  EXPECT_NE(out.find("clip-path=\"url(#clip-c1)\""), std::string::npos);
}

// Curves are drawn at screen resolution: a straight decay of 2000 points is
// two points on the screen, a bent one keeps its knee; a flagged point is
// hollow with its note, a point beyond the axis sits on the frame marked.
TEST(SvgChart, LinesAtScreenResolutionFlaggedPointsAndOutliers) {
  svg::Chart chart;
  chart.id = "c2";
  chart.x = svg::Axis{"Time (s)", 0.0, 1.0, false, {}};
  chart.y = svg::Axis{"Level (dB)", -60.0, 0.0, false, {}};
  svg::Series straight, bent;
  straight.name = "straight", bent.name = "bent";
  for (int i = 0; i < 2000; ++i) {
    const double t = i / 1999.0;
    straight.x.push_back(t), straight.y.push_back(-60.0 * t);
    bent.x.push_back(t), bent.y.push_back(t < 0.5 ? -80.0 * t : -40.0 - 20.0 * (t - 0.5) / 0.5 * 0.5);
  }
  svg::Series points;
  points.name = "points", points.x = {0.2, 0.5, 0.8}, points.y = {-10.0, -30.0, 15.0};
  points.markers = true;
  points.clampOutliers = true;
  points.notes = {"", "impulse-to-noise too low", ""};
  chart.series = {straight, bent, points};
  const std::string out = svg::Render(chart);
  auto polyline = [&](const std::string& name) {
    const size_t at = out.find("points=\"", out.find("data-series=\"" + name + "\""));
    const std::string list = out.substr(at + 8, out.find('"', at + 8) - at - 8);
    return static_cast<int>(std::count(list.begin(), list.end(), ' ')) + 1;
  };
  EXPECT_EQ(polyline("straight"), 2);
  EXPECT_EQ(polyline("bent"), 3);
  EXPECT_NE(out.find("class=\"warn\""), std::string::npos);
  EXPECT_NE(out.find("<title>impulse-to-noise too low</title>"), std::string::npos);
  EXPECT_NE(out.find("class=\"outlier\""), std::string::npos);
  EXPECT_NE(out.find("points 15 (beyond the axis)"), std::string::npos);
}

TEST(LevelCurveCopy, IsBoundedAndKeepsTheAskedSamplesExactly) {
  struct Case {
    uint32_t length;
    std::vector<uint32_t> keep;
  } cases[] = {{1500, {}}, {100000, {}}, {100000, {7, 31999, 31999, 65537, 99999, 250000}}, {4001, {4000}}};
  for (const Case& c : cases) {
    // A stepped decay: every step must survive as a bucket extreme.
    std::vector<float> level(c.length);
    for (uint32_t i = 0; i < c.length; ++i)
      level[i] = -0.001f * static_cast<float>(i) - (i % 97 == 0 ? 3.0f : 0.0f);
    const hostkit::LevelCurve curve = hostkit::ThinLevelCurve(level.data(), c.length, 2000, c.keep);
    ASSERT_EQ(curve.index.size(), curve.levelDb.size());
    EXPECT_LE(curve.index.size(), 2000u) << c.length;
    EXPECT_EQ(curve.index.front(), 0u);
    EXPECT_EQ(curve.index.back(), c.length - 1);
    for (size_t i = 1; i < curve.index.size(); ++i) ASSERT_LT(curve.index[i - 1], curve.index[i]);
    for (size_t i = 0; i < curve.index.size(); ++i) ASSERT_EQ(curve.levelDb[i], level[curve.index[i]]);
    for (uint32_t k : c.keep) {
      if (k >= c.length) continue;
      EXPECT_NE(std::find(curve.index.begin(), curve.index.end(), k), curve.index.end()) << k;
    }
  }
}

// Thinned from a curve that holds levels only over part of it (energies
// elsewhere, as a band's parameters leave it), the copy is the one of the
// whole level curve: the same points and levels, ties and silent samples
// included.
TEST(LevelCurveCopy, FromThePartlyConvertedCurveEqualsTheWholeCurvesCopy) {
  const uint32_t length = 50000;
  std::vector<float> energy(length);
  uint32_t seed = 7;
  for (uint32_t i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    // A decay with noise, runs of equal energies, silence and energies near 1
    // (which read about 0 dB, as silence does).
    float e = std::exp(-1e-4f * static_cast<float>(i)) * (1.0f + static_cast<float>(seed >> 24) / 256.0f);
    if (i % 1000 < 40) e = 0.5f;
    if (i % 777 == 0) e = 0.0f;
    if (i % 1313 == 0) e = 1.0f + 1e-7f * static_cast<float>(i % 3);
    energy[i] = e;
  }
  std::vector<float> levels(length);
  for (uint32_t i = 0; i < length; ++i) levels[i] = static_cast<float>(EnergyToDecibels(energy[i]));
  const std::vector<uint32_t> keep{3, 12345, 40000};
  const hostkit::LevelCurve whole = hostkit::ThinLevelCurve(levels.data(), length, 2000, keep);
  for (const auto& [from, end] :
       {std::pair<uint32_t, uint32_t>{0, 0}, {100, 30000}, {0, length}, {49990, length}}) {
    std::vector<float> partial = energy;
    std::copy(levels.begin() + from, levels.begin() + end, partial.begin() + from);
    BandTrace trace{};
    trace.curve = partial.data();
    trace.length = length;
    trace.levelsFrom = from;
    trace.levelsEnd = end;
    const hostkit::LevelCurve thinned = hostkit::ThinLevelCurve(trace, 2000, keep);
    EXPECT_EQ(thinned.index, whole.index) << from << ".." << end;
    EXPECT_EQ(thinned.levelDb, whole.levelDb) << from << ".." << end;
  }
}

// A mono octave result whose EDT, C80 and D50 of band `band` are given (NaN: not a result).
FileResult MakeResult(int rateHz, float edt, float c80, float d50, int band = 5) {
  FileResult r;
  r.input.path = "position.wav";
  r.outcome.haveResults = true;
  r.input.audio.usedChannels = {1};
  r.input.audio.sampleRate = rateHz;
  for (int b = 0; b < OCTAVE_ROWS - 1; ++b) r.outcome.record.channels[0].bands[b].analysed = true;
  const float values[3] = {edt, c80, d50};
  const int slots[3] = {SLOT_EDT, SLOT_C80, SLOT_D50};
  for (int i = 0; i < 3; ++i) {
    r.outcome.store.values[0][band][slots[i]] = values[i];
    r.outcome.store.valid[0][band][slots[i]] = std::isnan(values[i]) ? 'n' : 'y';
  }
  return r;
}

TEST(Average, MeanDeviationAndCountOfTheResultsOnly) {
  std::vector<FileResult> files = {MakeResult(44100, 1.0f, 0.0f, 40.0f), MakeResult(44100, 2.0f, 2.0f, 50.0f),
                                   MakeResult(44100, 3.0f, 4.0f, 60.0f), MakeResult(44100, NAN, 6.0f, 70.0f)};
  Average average;
  std::string error;
  ASSERT_TRUE(ComputeAverage(files, false, average, error)) << error;
  ASSERT_EQ(average.groups.size(), 1u);
  EXPECT_EQ(average.groups[0].channel, "mono");
  const Statistic& edt = average.groups[0].cells[5][SLOT_EDT];
  EXPECT_EQ(edt.count, 3);
  EXPECT_EQ(edt.missing, 1);
  EXPECT_DOUBLE_EQ(edt.mean, 2.0);
  EXPECT_DOUBLE_EQ(edt.deviation, 1.0);
  const Statistic& c80 = average.groups[0].cells[5][SLOT_C80];
  EXPECT_DOUBLE_EQ(c80.mean, 3.0);
  EXPECT_DOUBLE_EQ(c80.deviation, std::sqrt(20.0 / 3.0));

  files.push_back(MakeResult(48000, 1.0f, 1.0f, 1.0f));
  EXPECT_FALSE(ComputeAverage(files, false, average, error));
  EXPECT_NE(error.find("one sampling rate"), std::string::npos) << error;
}

TEST(Compare, FlagsDifferencesAboveOneJustNoticeableDifference) {
  struct Case {
    float edtA, edtB, c80A, c80B, d50A, d50B;
    bool edt, c80, d50;
  } cases[] = {
      {1.0f, 1.06f, 0.0f, 1.2f, 50.0f, 54.0f, true, true, false},  // EDT +6 %, C80 +1.2 dB, D50 +4 points
      {1.0f, 0.96f, 3.0f, 2.5f, 50.0f, 44.0f, false, false, true},
      {2.0f, 1.8f, 0.0f, -1.5f, 50.0f, 50.0f, true, true, false},  // EDT -10 %
  };
  for (const Case& c : cases) {
    Comparison comparison;
    std::string error;
    ASSERT_TRUE(
        CompareFiles({MakeResult(44100, c.edtA, c.c80A, c.d50A), MakeResult(44100, c.edtB, c.c80B, c.d50B)},
                     comparison, error))
        << error;
    const auto& band = comparison.cells[0][5];
    EXPECT_EQ(band[SLOT_EDT].noticeable, c.edt) << c.edtA << " " << c.edtB;
    EXPECT_EQ(band[SLOT_C80].noticeable, c.c80) << c.c80A << " " << c.c80B;
    EXPECT_EQ(band[SLOT_D50].noticeable, c.d50) << c.d50A << " " << c.d50B;
    EXPECT_FALSE(comparison.cells[0][4][SLOT_EDT].bothComputed);  // never computed there
  }
}

}  // namespace
}  // namespace cli

// A json string is valid UTF-8 whatever the name holds: text that a strict
// reader would refuse (an overlong form, a surrogate, a code point past
// U+10FFFF, a stray continuation byte) is written byte by byte as escapes.
TEST(JsonString, OnlyStrictUtf8PassesUnescaped) {
  const struct {
    const char* text;
    const char* json;
  } cases[] = {
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},                        // two-byte form of U+00E9
      {"\xf0\x9f\x8e\xb5", "\"\xf0\x9f\x8e\xb5\""},              // U+1F3B5
      {"a\xc0\xa2", "\"a\\u00c0\\u00a2\""},                      // overlong '"'
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},             // a surrogate
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // past U+10FFFF
      {"\x80", "\"\\u0080\""},                                   // a lone continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(cli::JsonString(c.text), c.json) << c.text;
}
