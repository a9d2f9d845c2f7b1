// The shared pieces every output of the command-line host goes through: the
// json writer's layout and numbers, the aligned text table, and what the
// settings dialog does at the edges of its ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "analysis/stop_messages.h"
#include "host/cli/json_writer.h"
#include "host/cli/messages.h"
#include "host/cli/options.h"
#include "host/cli/text_table.h"

namespace cli {
namespace {

TEST(JsonWriter, LaysOutByPathAndKeepsKeyOrder) {
  Json doc;
  doc["z"] = 1;
  doc["list"] = Json::array({1, 2});
  doc["rows"] = Json::array({Json{{"b", "x"}, {"a", nullptr}}, Json{{"b", true}}});
  doc["empty"] = Json::array();
  const JsonLayout layout{{"", "/rows"}, {}};
  EXPECT_EQ(WriteJson(doc, layout),
            "{\n  \"z\": 1,\n  \"list\": [1, 2],\n  \"rows\": [\n    {\"b\": \"x\", \"a\": null},\n"
            "    {\"b\": true}\n  ],\n  \"empty\": []\n}");
  // A flat envelope puts its members at its own indent; what lies below
  // keeps its layout under the new prefix.
  Json envelope;
  envelope["files"] = Json::array({Json{{"k", 1}}});
  JsonLayout outer{{"/files"}, {""}};
  outer.Add(JsonLayout{{""}, {}}.Under("/files/*"));
  EXPECT_EQ(WriteJson(envelope, outer), "{\n\"files\": [\n  {\n    \"k\": 1\n  }\n]\n}");
  // An inline container may hold a broken one, which indents from the line.
  Json group;
  group["g"] = Json::array({Json{{"c", "m"}, {"bands", Json::array({1})}}});
  EXPECT_EQ(WriteJson(group, JsonLayout{{"", "/g", "/g/*/bands"}, {}}),
            "{\n  \"g\": [\n    {\"c\": \"m\", \"bands\": [\n      1\n    ]}\n  ]\n}");
}

TEST(JsonWriter, NumbersReadBackExactlyAtTheirPrecision) {
  const double doubles[] = {0.1, 1.0 / 3.0, -112.63998191360879, 1e-300, 6.02214076e23, 0.0};
  for (double d : doubles) {
    const std::string text = WriteJson(JsonReal(d), {});
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
  }
  const float floats[] = {0.1f, 3.43641424f, -5.0f, 32767.0f, 1e-30f, 8.46720505f};
  for (float f : floats) {
    const std::string text = WriteJson(JsonSingle(f), {});
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
    EXPECT_LE(text.size(), 15u) << "a float is written at float precision: " << text;
  }
  EXPECT_EQ(WriteJson(JsonLevel(-0.1), {}), "-0.1");
  EXPECT_EQ(WriteJson(JsonLevel(-25.0), {}), "-25");
  EXPECT_EQ(WriteJson(JsonReal(2.0), {}), "2");
  // What is not finite is null, at any precision.
  const double inf = std::numeric_limits<double>::infinity();
  for (const Json& j :
       {JsonReal(inf), JsonReal(std::nan("")), JsonSingle(-std::numeric_limits<float>::infinity()),
        JsonLevel(inf), JsonOptional(1.0, false)})
    EXPECT_EQ(WriteJson(j, {}), "null");
  // Strings use the host's json escaping: non-UTF-8 bytes as code points.
  EXPECT_EQ(WriteJson(Json(std::string("a\"\\\n\x01")), {}), "\"a\\\"\\\\\\n\\u0001\"");
}

TEST(TextTable, LabelLeftValuesRightTwoSpacesApartWithoutTrailingBlanks) {
  const TextRows rows = {{"", "1k", "16k"}, {"C50 (dB)", "3.4", "- -"}, {"N.C.", "", ""}};
  EXPECT_EQ(AlignedTable(rows), "           1k  16k\nC50 (dB)  3.4  - -\nN.C.\n");
  // Shared widths line up a narrower table under a wider one.
  const TextRows wide = {{"RT30 (s)", "12.345"}};
  const std::vector<size_t> widths = ColumnWidths({rows, wide});
  EXPECT_EQ(AlignedTable({{"EDT", "1"}}, widths), "EDT            1\n");
}

TEST(SettingsRanges, OptionsAcceptExactlyWhatTheDialogHolds) {
  struct Case {
    const char* text;
    bool threshold;
  } cases[] = {{"0", true}, {"32767", true}, {"32768", false}, {"-1", false}, {"1.5", false}, {"", false}};
  for (const Case& c : cases) EXPECT_EQ(IsThresholdText(c.text), c.threshold) << c.text;
}

// Every status that ends a band with a message box has a plain sentence, and
// the message it raises finds it; a new status or a reworded message that
// loses its explanation fails here.
TEST(Messages, EveryStatusWithAMessageBoxIsExplained) {
  for (int s = 0; s <= LATERAL_NO_SETTINGS; ++s) {
    const LateralStatus status = static_cast<LateralStatus>(s);
    if (LateralMessage(status) == nullptr) continue;
    EXPECT_STRNE(LateralExplanation(status), "") << "lateral status " << s;
    EXPECT_EQ(PlainSentence({LF_CAPTION, LateralMessage(status)}), LateralExplanation(status));
  }
  for (int s = 0; s <= IACC_NO_SETTINGS; ++s) {
    const IaccStatus status = static_cast<IaccStatus>(s);
    if (IaccMessage(status) == nullptr) continue;
    EXPECT_STRNE(IaccExplanation(status), "") << "IACC status " << s;
    EXPECT_EQ(PlainSentence({IACC_CAPTION, IaccMessage(status)}), IaccExplanation(status));
  }
  for (const char* text : {NO_FIRST_ARRIVAL_MESSAGE, PAIR_BUFFERS_MESSAGE, CHANNEL_BUFFERS_MESSAGE})
    EXPECT_NE(PlainSentence({"", text}), "") << text;
  // The same text under another caption is another message.
  EXPECT_EQ(PlainSentence({IACC_CAPTION, LateralMessage(LATERAL_NO_ARRIVAL_W)}), "");
}

}  // namespace
}  // namespace cli
