// Test harness for whole analysis runs through the host kit and the headless
// stand-in: deterministic test signals, settings edits, a copy of the results
// store taken while the results dialog is open, and the clipboard report.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/results.h"
#include "interface/settings.h"
#include "platform/headless.h"

namespace runtest {

constexpr int COPY_TO_CLIPBOARD_ID = 3151;

// Fixed-seed linear congruential generator, uniform in [-1, 1): the same
// numbers on every library and build.
struct Lcg {
  uint32_t state;
  float Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
  }
};

// Exponentially decaying noise whose energy falls 60 dB in rtSeconds, with a
// direct-sound spike at `arrival` (peak) and noise of at most peak/2 after it.
inline std::vector<float> DecayingNoise(int rateHz, double seconds, double rtSeconds, float peak, int arrival,
                                        uint32_t seed) {
  Lcg lcg{seed};
  const int n = static_cast<int>(seconds * rateHz);
  std::vector<float> out(n, 0.0f);
  for (int i = arrival; i < n; ++i) {
    const double t = static_cast<double>(i - arrival) / rateHz;
    out[i] = static_cast<float>(0.5 * peak * std::pow(10.0, -3.0 * t / rtSeconds)) * lcg.Next();
  }
  if (arrival < n) out[arrival] = peak;
  return out;
}

inline std::vector<float> Interleave(const std::vector<float>& left, const std::vector<float>& right) {
  std::vector<float> out;
  for (size_t i = 0; i < left.size(); ++i) out.insert(out.end(), {left[i], right[i]});
  return out;
}

inline void EditSettings(hostkit::PluginHost& host, const std::function<void(AnalysisSettings&)>& edit) {
  auto* settings = static_cast<AnalysisSettings*>(GlobalLock(host.SettingsHandle()));
  edit(*settings);
  GlobalUnlock(host.SettingsHandle());
}

// The message boxes among the events, as "caption|text".
inline std::vector<std::string> MessageTexts(const std::vector<headless::Event>& events) {
  std::vector<std::string> texts;
  for (const auto& e : events) {
    if (e.kind == headless::Event::MessageBox) texts.push_back(e.caption + "|" + e.text);
  }
  return texts;
}

// The expected message list: none for "", else just that one.
inline std::vector<std::string> OneOrNone(const std::string& message) {
  return message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message};
}

// Everything a whole run leaves for a test to look at.
struct RunRecord {
  std::vector<headless::Event> events;
  std::vector<hostkit::ServiceCall> calls;
  bool storeSeen = false;
  AcousticResults store{};  // copied while the results dialog was open
  std::string report;       // the clipboard text ("" when none)

  size_t Count(headless::Event::Kind kind) const {
    size_t count = 0;
    for (const auto& e : events) count += e.kind == kind;
    return count;
  }
  std::vector<std::string> Messages() const { return MessageTexts(events); }
  // The service calls as short words, e.g. "get:0+100/17", "status:...", "p1/11", "done", "dialog".
  std::vector<std::string> CallWords() const {
    std::vector<std::string> words;
    using std::to_string;
    for (const auto& c : calls) {
      switch (c.kind) {
        case hostkit::ServiceCall::GetSamples:
          words.push_back("get:" + to_string(c.firstFrame) + "+" + to_string(c.frameCount) + "/" +
                          to_string(c.formatWord));
          break;
        case hostkit::ServiceCall::Progress:
          words.push_back("p" + to_string(c.done) + "/" + to_string(c.total));
          break;
        case hostkit::ServiceCall::StatusText:
          words.push_back("status:" + c.text);
          break;
        case hostkit::ServiceCall::ProgressDone:
          words.push_back("done");
          break;
        case hostkit::ServiceCall::DialogCreated:
          words.push_back("dialog");
          break;
      }
    }
    return words;
  }
};

// Copies the store through the six result pointers while the dialog is open.
struct StoreObserver : headless::RecordingObserver {
  hostkit::PluginHost& host;
  RunRecord& record;
  StoreObserver(hostkit::PluginHost& h, RunRecord& r) : host(h), record(r) {}
  void OnDialogShown(HWND dialog) override {
    headless::RecordingObserver::OnDialogShown(dialog);
    record.storeSeen = hostkit::CopyPublishedResults(host.SettingsHandle(), &record.store);
  }
};

// A plug-in instance with defaults, its module recorded as a confirmed
// setup would, noise correction off and a band-analysis threshold of 10000.
struct RunFixture {
  hostkit::PluginHost host;
  HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));

  RunFixture() {
    headless::ResetThreadState();
    host.Init();
    EditSettings(host, [this](AnalysisSettings& s) {
      s.moduleHandle = SlotFromAddress(headless::PluginModule());
      s.ownerWindow = SlotFromAddress(owner);
      s.arrivalThreshold = 10000;
      s.noiseCorrection = 0;
    });
  }

  // One XfmDo; copies the report to the clipboard while the dialog is open.
  RunRecord Run() {
    RunRecord record;
    StoreObserver observer(host, record);
    headless::Observer* previous = headless::SetObserver(&observer);
    headless::ResetClipboard();
    host.calls.clear();
    host.SetInteractive(0, 0);
    host.onDialogCreated = [](HWND dialog) { headless::PressButton(dialog, COPY_TO_CLIPBOARD_ID); };
    EXPECT_EQ(host.Do(), 1);
    headless::SetObserver(previous);
    record.events = observer.events;
    record.calls = host.calls;
    if (auto text = headless::ClipboardText()) record.report = *text;
    return record;
  }
};

}  // namespace runtest
