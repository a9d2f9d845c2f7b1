// The in-process host: sample delivery in the width that the format word
// asks for, hooks that cannot throw into the plug-in, the routing of
// callbacks to the right host, and bounded resources over many instances.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/kit/plugin_host.h"
#include "hostlink/host_services.h"
#include "platform/headless.h"

namespace {

using hostkit::PluginHost;
using hostkit::ServiceCall;

// Asks the host's sample service directly, as a host-side caller would, and
// decodes the answer (8: signed bytes, 16: little-endian int16, 32: floats).
std::vector<float> Fetch(PluginHost& host, uint32_t firstFrame, uint32_t frameCount, uint32_t formatWord,
                         int width, int channels) {
  std::vector<uint8_t> raw(static_cast<size_t>(frameCount) * channels * (width / 8), 0xEE);
  auto getSamples = FunctionFromSlot<XfmGetSamplesFn>(host.Context().fnGetSamples);
  getSamples(host.Context().waveHandle, raw.data(), firstFrame, frameCount, formatWord);
  std::vector<float> out;
  for (size_t i = 0; i < raw.size(); i += width / 8) {
    if (width == 8) out.push_back(static_cast<int8_t>(raw[i]));
    if (width == 16) out.push_back(static_cast<int16_t>(raw[i] | (raw[i + 1] << 8)));
    if (width == 32) {
      float f;
      std::memcpy(&f, &raw[i], sizeof f);
      out.push_back(f);
    }
  }
  return out;
}

TEST(HostKit, SamplesInEveryWidthRoundedAndClamped) {
  PluginHost host;
  // Stored in the 16-bit integer scale; halves round away from zero.
  const std::vector<float> stored = {0.0f,    0.5f,   -0.5f,   1.4f,     -1.6f,    126.5f,   127.5f,
                                     -128.6f, 300.0f, -300.0f, 32767.4f, 40000.0f, -40000.0f};
  host.SetAudio(1, 16, 44100, stored);
  const std::vector<float> as8 = {0, 1, -1, 1, -2, 127, 127, -128, 127, -128, 127, 127, -128};
  const std::vector<float> as16 = {0, 1, -1, 1, -2, 127, 128, -129, 300, -300, 32767, 32767, -32768};
  const struct {
    uint32_t formatWord;
    int width;
    const std::vector<float>& expected;
  } cases[] = {
      {9, 8, as8},
      {17, 16, as16},
      {33, 32, stored},
      // Bits of the host's sample flags beside the width and channel bits.
      {0x0400 | 9, 8, as8},
      {0x8400 | 17, 16, as16},
      {0x0100 | 33, 32, stored},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Fetch(host, 0, 13, c.formatWord, c.width, 1), c.expected) << "format " << c.formatWord;
  }
  EXPECT_EQ(host.Context().selStart, 0u);
  EXPECT_EQ(host.Context().selEnd, 12u);
}

// A long request is written in vector lanes with a scalar tail; a request
// of one frame takes the scalar form alone. Both must give the same bytes,
// for values at halves, limits, infinities, NaN and -0.
TEST(HostKit, LongRequestsGiveTheBytesOfOneFrameRequests) {
  const std::vector<float> values = {0.5f,         -0.5f,    1.5f,      -2.5f,    126.5f,    127.5f,
                                     -128.5f,      -129.5f,  32766.5f,  32767.5f, -32768.5f, 1e9f,
                                     -1e9f,        INFINITY, -INFINITY, NAN,      -0.0f,     0.49999997f,
                                     -0.49999997f, 3.0f,     -7.25f};
  std::vector<float> stored;
  for (int repeat = 0; repeat < 3; ++repeat) stored.insert(stored.end(), values.begin(), values.end());
  PluginHost host;
  host.SetAudio(1, 16, 44100, stored);
  const uint32_t frames = static_cast<uint32_t>(stored.size());
  for (const uint32_t formatWord : {9u, 17u}) {
    const int width = formatWord == 9u ? 8 : 16;
    std::vector<float> oneByOne;
    for (uint32_t f = 0; f < frames; ++f) oneByOne.push_back(Fetch(host, f, 1, formatWord, width, 1)[0]);
    EXPECT_EQ(Fetch(host, 0, frames, formatWord, width, 1), oneByOne) << "width " << width;
  }
}

TEST(HostKit, StereoFramesInterleavedFromTheRequestedFrame) {
  PluginHost host;
  host.SetAudio(2, 8, 8000, {1, -1, 2, -2, 3, -3});
  EXPECT_EQ(host.Context().selEnd, 2u);
  // Frames past the end of the audio are silence.
  EXPECT_EQ(Fetch(host, 1, 3, 10, 8, 2), (std::vector<float>{2, -2, 3, -3, 0, 0}));
  EXPECT_EQ(Fetch(host, 0, 2, 34, 32, 2), (std::vector<float>{1, -1, 2, -2}));
  host.SetSelection(1, 2);
  EXPECT_EQ(host.Context().selStart, 1u);
  EXPECT_EQ(host.Context().selEnd, 2u);
}

TEST(HostKit, NullServicesAreSkippedAndHooksCannotThrowIntoThePlugin) {
  PluginHost host;
  host.onStatusText = [](const std::string&) { throw std::runtime_error("hook failure"); };
  host.RunWithContext([&](XfmContext* ctx) {
    CallStatusText(ctx, "Calculating LF and ANDO's parameters");  // recorded, hook throws
    ctx->fnProgress = 0;
    ctx->fnStatusText = 0;
    ctx->fnProgressDone = 0;
    ctx->cancelFlag = 0;
    CallProgress(ctx, 0, 27);
    CallStatusText(ctx, "not shown");
    CallProgressDone(ctx);
    return ReadCancelWord(ctx) == 0 ? 1 : 0;
  });
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].text, "Calculating LF and ANDO's parameters");
}

TEST(HostKit, CallbacksReachTheHostWhoseCallRuns) {
  PluginHost outer, inner;
  // Outside an entry point a service without a context finds no host.
  CallProgress(&outer.Context(), 1, 2);
  EXPECT_TRUE(outer.calls.empty());

  outer.RunWithContext([&](XfmContext* ctx) {
    CallProgress(ctx, 1, 11);
    inner.RunWithContext([&](XfmContext* innerCtx) {
      EXPECT_EQ(PluginHost::Current(), &inner);
      CallProgress(innerCtx, 2, 11);
      CallProgressDone(ctx);  // found by its context, not by the running call
      return 1;
    });
    EXPECT_EQ(PluginHost::Current(), &outer);
    CallProgress(ctx, 3, 11);
    return 1;
  });
  auto shape = [](const PluginHost& host) {  // Progress calls by their count, ProgressDone as 0
    std::vector<int32_t> seen;
    for (const ServiceCall& call : host.calls)
      seen.push_back(call.kind == ServiceCall::Progress ? call.done : 0);
    return seen;
  };
  EXPECT_EQ(shape(outer), (std::vector<int32_t>{1, 0, 3}));
  EXPECT_EQ(shape(inner), std::vector<int32_t>{2});

  // A wave handle that names no host: nothing recorded, buffer untouched.
  uint8_t buffer[4] = {9, 9, 9, 9};
  auto getSamples = FunctionFromSlot<XfmGetSamplesFn>(outer.Context().fnGetSamples);
  getSamples(outer.Context().waveHandle ^ 0x80000000u, buffer, 0, 4, 9);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(outer.calls.size(), 3u);
}

TEST(HostKit, OneHostPerThreadRunsIndependently) {
  constexpr int THREADS = 4;
  constexpr int ROUNDS = 200;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t) {
    threads.emplace_back([t, &wrong] {
      PluginHost host;
      host.SetAudio(1, 16, 44100, {static_cast<float>(100 * t), static_cast<float>(100 * t + 1)});
      if (host.Init() != 1) ++wrong;
      for (int round = 0; round < ROUNDS; ++round) {
        int16_t samples[2] = {};
        host.RunWithContext([&](XfmContext* ctx) {
          CallGetSamples(ctx, samples, 0, 2, 17);
          CallProgress(ctx, round, t);
          return 1;
        });
        if (samples[0] != 100 * t || samples[1] != 100 * t + 1) ++wrong;
      }
      if (host.calls.size() != 2u * ROUNDS) ++wrong;
      for (const ServiceCall& call : host.calls) {
        if (call.kind == ServiceCall::Progress && call.total != t) ++wrong;
      }
      if (host.Destroy() != 1) ++wrong;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(HostKit, ManyInstancesKeepMemoryAndSlotsBounded) {
  {
    PluginHost warmUp;
    warmUp.Init();
    warmUp.Destroy();
  }  // shared callback slots exist from here on
  const size_t blocks = headless::LiveGlobalBlocks();
#if UINTPTR_MAX != 0xFFFFFFFF
  const uint32_t slots = LiveSlotCount();
#endif
  for (int cycle = 0; cycle < 5000; ++cycle) {
    PluginHost host;
    ASSERT_EQ(headless::LiveGlobalBlocks(), blocks + 1);
    ASSERT_EQ(host.Init(), 1);
    ASSERT_EQ(host.Destroy(), 1);
  }
  EXPECT_EQ(headless::LiveGlobalBlocks(), blocks);
#if UINTPTR_MAX != 0xFFFFFFFF
  EXPECT_LE(LiveSlotCount(), slots);
#endif
}

}  // namespace
