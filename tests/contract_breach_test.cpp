// Hosts outside the interface's contract: whatever channel count or rate a
// context block claims, the run reads and writes only its own buffers and
// store, and either analyses or says why it cannot.
#include <gtest/gtest.h>

#include <climits>

#include "tests/run_harness.h"

namespace runtest {
namespace {

TEST(ContractBreach, ChannelCountsOtherThanTwoAreAnalysedAsMono) {
  const std::vector<float> mono = DecayingNoise(8000, 0.5, 0.3, 20000.0f, 40, 7);
  RunFixture reference;
  reference.host.SetAudio(1, 16, 8000, mono);
  const RunRecord expected = reference.Run();
  ASSERT_FALSE(expected.report.empty());
  for (uint16_t channels : {3, 4, 9, 200}) {
    SCOPED_TRACE(channels);
    RunFixture fixture;
    std::vector<float> frames;
    for (float sample : mono) frames.insert(frames.end(), channels, sample);
    fixture.host.SetAudio(channels, 16, 8000, frames);
    const RunRecord record = fixture.Run();
    // The copy holds the one analysed channel, as for a mono selection.
    EXPECT_EQ(record.report, expected.report);
  }
}

TEST(ContractBreach, RatesThatAreNotPositiveGiveAMessageAndNoRun) {
  for (int32_t rate : {0, -1, -44100, INT32_MIN}) {
    SCOPED_TRACE(rate);
    RunFixture fixture;
    fixture.host.SetAudio(2, 16, rate,
                          Interleave(DecayingNoise(8000, 0.2, 0.3, 20000.0f, 40, 3),
                                     DecayingNoise(8000, 0.2, 0.3, 20000.0f, 40, 4)));
    const size_t blocksBefore = headless::LiveGlobalBlocks();
    const RunRecord record = fixture.Run();
    EXPECT_EQ(record.Messages().size(), 1u);
    EXPECT_TRUE(record.calls.empty());
    EXPECT_TRUE(record.report.empty());
    EXPECT_EQ(headless::LiveGlobalBlocks(), blocksBefore);
  }
}

}  // namespace
}  // namespace runtest
