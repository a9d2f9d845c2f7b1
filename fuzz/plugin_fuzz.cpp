// libFuzzer target: the plug-in as any host might drive it. The input picks
// the sample width, the channel count and the rate of the context block, a
// 586-byte settings block and a short selection of samples; the target opens
// the settings dialog on that block (and confirms it) or not, runs XfmDo
// through the host kit and presses "Copy to Clipboard" in the results dialog.
// Whatever the input, nothing may read or write out of bounds or reach
// undefined behaviour (the sanitizers watch).
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/control_ids.h"
#include "interface/settings.h"
#include "platform/headless.h"

namespace {

// Confirms the settings dialog as shown and answers every message box.
class Person : public headless::Observer {
 public:
  int OnMessageBox(HWND, const std::string&, const std::string&, UINT) override { return IDOK; }
  void OnBeep(UINT) override {}
  void OnHelp(HWND, const std::string&, UINT, const std::string&) override {}
  void OnDialogShown(HWND) override {}
  void OnDialogEnded(HWND, INT_PTR) override {}
  void OnDialogIdle(HWND dialog) override {
    if (headless::ViewDialog(dialog).templateId == SETTINGS_DIALOG_TEMPLATE)
      headless::PressButton(dialog, ID_OK);
  }
};

// Reads input bytes in order; past the end it gives zeros.
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  int32_t Int32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
    return static_cast<int32_t>(value);
  }
};

constexpr uint16_t WIDTHS[] = {8, 16, 32, 24, 0};
constexpr uint16_t CHANNEL_COUNTS[] = {1, 2, 2, 1, 0, 3, 4, 9, 200};
// Rates a host may claim, the plain ones more often; the raw value of the
// input otherwise, kept below 400 kHz so that one input stays quick (the
// lag search of IACC grows with the rate).
constexpr int32_t RATES[] = {44100, 48000, 8000, 22050, 96000, 1, 0, -1, -44100, 400};
constexpr size_t MAX_FRAMES = 6000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint8_t shape = in.Byte();
  const uint16_t bits = WIDTHS[shape % 5];
  const uint16_t channels = CHANNEL_COUNTS[(shape / 5) % 9];
  const bool setup = (shape & 0x80) != 0;
  const uint8_t rateChoice = in.Byte();
  int32_t rate = in.Int32();
  if (rateChoice < 200)
    rate = RATES[rateChoice % 10];
  else if (rate > 400000 || rate < -400000)
    rate %= 400000;

  // The settings block: the input's bytes when it has a whole block.
  std::vector<uint8_t> settings;
  if (in.Byte() & 1 && in.size - in.at >= SETTINGS_SIZE) {
    settings.assign(in.data + in.at, in.data + in.at + SETTINGS_SIZE);
    in.at += SETTINGS_SIZE;
  }

  // The rest are samples in the selection's width (floats as delivered).
  const size_t stride = channels == 0 ? 1 : channels;
  const size_t bytesPerSample = bits == 32 ? 4 : bits == 16 ? 2 : 1;
  size_t frames = (in.size - in.at) / (bytesPerSample * stride);
  if (frames > MAX_FRAMES) frames = MAX_FRAMES;
  if (frames == 0) return 0;
  std::vector<float> samples(frames * stride);
  for (float& sample : samples) {
    if (bytesPerSample == 4) {
      std::memcpy(&sample, in.data + in.at, 4);
    } else if (bytesPerSample == 2) {
      sample = static_cast<int16_t>(in.data[in.at] | (in.data[in.at + 1] << 8));
    } else {
      sample = static_cast<int8_t>(in.data[in.at]);
    }
    in.at += bytesPerSample;
  }

  headless::ResetThreadState();
  Person person;
  headless::SetObserver(&person);
  {
    hostkit::PluginHost host;
    host.SetAudio(channels, bits, rate, std::move(samples));
    host.Context().channelCount = channels;
    if (settings.empty())
      host.Init();
    else
      host.SetSettingsBytes(settings);
    if (setup) host.Setup(nullptr);
    host.onDialogCreated = [](HWND window) { headless::PressButton(window, ID_COPY); };
    host.SetInteractive(0, 0);
    headless::ResetClipboard();
    host.Do();
    host.Destroy();
  }
  headless::SetObserver(nullptr);
  return 0;
}
