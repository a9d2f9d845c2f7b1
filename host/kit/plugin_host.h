// The in-process host: what a host audio editor does for one plug-in
// instance. It keeps the settings block (a zero-filled movable block of
// paramSize bytes), builds the XfmContext, serves fnGetSamples from samples in
// memory, records every host-service call in order, and calls the entry
// points. Tests and the command-line host drive the plug-in through it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/kit/run_record.h"
#include "interface/results.h"
#include "interface/xfm_types.h"
#include "platform/pe_loader.h"

namespace hostkit {

// One host-service call, as the plug-in made it.
struct ServiceCall {
  enum Kind { GetSamples, Progress, StatusText, ProgressDone, DialogCreated } kind;
  std::string text;                                         // StatusText
  int32_t done = 0, total = 0;                              // Progress
  uint32_t firstFrame = 0, frameCount = 0, formatWord = 0;  // GetSamples
  HWND window = nullptr;                                    // DialogCreated
};

// Copies the results that the running analysis publishes through the
// settings block (while its results dialog is open) into `store`; false when
// the block cannot be locked or publishes nothing.
bool CopyPublishedResults(HGLOBAL settingsHandle, AcousticResults* store);

// Makes the statically linked plug-in the module that the stand-in's
// GetProcAddress serves (done by every PluginHost; idempotent).
void InstallStaticPlugin();

// The entry points of one plug-in module, found by ordinal through
// GetProcAddress as a host editor finds them: the statically linked plug-in
// or a Windows module loaded from its file.
struct ModuleEntryPoints {
  HINSTANCE module = nullptr;
  WORD(WINAPI* queryXfm)(XfmInfo*) = nullptr;
  LONG(WINAPI* init)(XfmContext*) = nullptr;
  LONG(WINAPI* setup)(HWND, HINSTANCE, XfmContext*) = nullptr;
  LONG(WINAPI* run)(XfmContext*) = nullptr;
  LONG(WINAPI* destroy)(XfmContext*) = nullptr;
};
// False, naming the missing export, when `module` lacks one of them.
bool ResolveEntryPoints(HINSTANCE module, ModuleEntryPoints* entries, std::string* error);
// The statically linked plug-in.
const ModuleEntryPoints& StaticPlugin();

// Roomstat_32.xfm itself, loaded from its file (32-bit x86 Linux build only;
// elsewhere Load fails with a message). Runs on the thread that loaded it.
class LoadedPlugin {
 public:
  static std::unique_ptr<LoadedPlugin> Load(const std::string& path, std::string* error,
                                            const std::vector<headless::ImportOverride>& overrides = {});
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;
  const ModuleEntryPoints& EntryPoints() const { return entries_; }
  const headless::PeModule* Module() const { return module_; }

 private:
  LoadedPlugin() = default;
  headless::PeModule* module_ = nullptr;
  ModuleEntryPoints entries_;
};

class PluginHost {
 public:
  // Allocates the settings block (QueryXfm's paramSize, zero-filled). The
  // module must outlive the host.
  explicit PluginHost(const ModuleEntryPoints& module = StaticPlugin());
  // Frees the settings block and releases the slots of this host's own
  // addresses (settings handle, caption, stop word); the callbacks' slots are
  // shared by every host and stay.
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // The selection's audio: interleaved frames in the integer scale of
  // `bitsPerSample` (8: -128..127, 16: -32768..32767, 32: as floats). They
  // are delivered in whatever width fnGetSamples asks for (8: signed bytes,
  // 16: little-endian int16, 32: floats), rounded and clamped as needed.
  // Resets the selection to the whole buffer.
  void SetAudio(uint16_t channelCount, uint16_t bitsPerSample, int32_t sampleRate,
                std::vector<float> interleaved);
  // The interleaved samples the host serves (as SetAudio was given them).
  const std::vector<float>& Audio() const { return audio_; }
  void SetSelection(uint32_t firstFrame, uint32_t lastFrame);  // inclusive

  XfmContext& Context() { return context_; }
  HGLOBAL SettingsHandle() const { return settings_; }
  std::vector<uint8_t> SettingsBytes() const;
  void SetSettingsBytes(const std::vector<uint8_t>& bytes);

  // Entry points, with this host installed as the target of the callbacks.
  LONG Init();
  LONG Setup(HWND parent);  // with the module's own handle
  LONG Do();
  LONG Destroy();
  // Runs any plug-in routine on this host's context with this host installed
  // as the target of the callbacks, as the entry points above do (for tests
  // of routines below the entry points).
  LONG RunWithContext(const std::function<LONG(XfmContext*)>& routine);

  // What the last Do() reported of its values' states and impulse-to-noise
  // ratios (and, with keepLevelCurves, the thinned level curves).
  RunRecord lastRun;
  bool keepLevelCurves = false;
  // Each band signal of a Do() as the plug-in filtered it, handed over on
  // the run's thread just before the band's parameters consume it (see
  // BandSignalSink); empty: none asked for, as in the Windows module.
  BandSignalSink onBandSignal;
  // Cores lent to a Do() for the independent parts of a step (SpareCores());
  // null: the run keeps to its thread, as in the Windows module.
  const PartRunner* lentCores = nullptr;

  // The stop-request word behind cancelFlag.
  volatile uint32_t cancelWord = 0;
  // Every service call, in order.
  std::vector<ServiceCall> calls;
  // Optional hooks, called after the call has been recorded.
  std::function<void(HWND)> onDialogCreated;
  std::function<void(int32_t, int32_t)> onProgress;
  std::function<void(const std::string&)> onStatusText;

  // Sets interactiveMark / keepDialogsOpen of the context.
  void SetInteractive(uint16_t interactiveMark, uint16_t keepDialogsOpen);

  // The host whose entry-point call is running on this thread (innermost
  // when calls nest), or null outside Init/Setup/Do/Destroy.
  static PluginHost* Current();

 private:
  ModuleEntryPoints module_;
  XfmContext context_{};
  HGLOBAL settings_ = nullptr;
  std::string caption_ = "Roomstat";
  uint16_t channels_ = 1;
  uint16_t bits_ = 16;
  std::vector<float> audio_;
  // Writes frames of the stored audio in the format word's width and
  // channel count (frames past the end are silence); returns the bytes written.
  size_t DeliverSamples(uint8_t* destination, uint32_t firstFrame, uint32_t frameCount,
                        uint32_t formatWord) const;
  // The plug-in fetches the same selection again for each channel and band:
  // once the last request repeats, its bytes are kept (in a buffer reused
  // from file to file) and copied when it repeats again.
  void ServeSamples(uint8_t* destination, uint32_t firstFrame, uint32_t frameCount, uint32_t formatWord);
  std::vector<uint8_t> delivered_;
  uint32_t deliveredRequest_[3] = {0, 0, 0};  // first frame, frame count, format word
  bool deliveredValid_ = false;
  friend struct HostCallbacks;
};

}  // namespace hostkit
