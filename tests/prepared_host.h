// A host whose settings block is set as a confirmed setup would leave it
// for the benchmark and tap responses (thresholds of 20000, which find their
// direct sound), holding `audio` as samples of `bits`, answering no dialog.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/settings.h"
#include "platform/headless.h"

inline void PrepareHost(hostkit::PluginHost& host, uint8_t thirdOctave, int channels, int rateHz,
                        std::vector<float> audio, uint16_t bits = 16) {
  host.Init();
  auto* settings = static_cast<AnalysisSettings*>(GlobalLock(host.SettingsHandle()));
  settings->moduleHandle = SlotFromAddress(headless::PluginModule());
  settings->arrivalThreshold = 20000;
  settings->wThreshold = settings->yThreshold = 20000.0f;
  settings->thirdOctave = thirdOctave;
  GlobalUnlock(host.SettingsHandle());
  host.SetAudio(static_cast<uint16_t>(channels), bits, rateHz, std::move(audio));
  host.SetInteractive(0, 0);
}
