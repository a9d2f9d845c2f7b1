// The in-process host of one plug-in instance. The plug-in reaches the host
// only through the service slots of XfmContext; the callbacks below find
// their PluginHost by the wave handle (fnGetSamples), by the context block
// (fnProgressDone) or, for the services without either, through the host
// whose entry-point call is running on the calling thread.
#include "host/kit/plugin_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interface/entry_points.h"
#include "interface/results_view.h"
#include "platform/headless.h"

// The plug-in library's export table, generated from Roomstat_32.def.
headless::ModuleExports StaticPluginExports();

namespace hostkit {

namespace {

// Format word of a sample request: channel count in the low bits, sample
// width as one of the bits 8, 16, 32; anything else is the host's own flags.
constexpr uint32_t FORMAT_CHANNEL_MASK = 0x03;
constexpr uint32_t FORMAT_WIDTH_8 = 8;
constexpr uint32_t FORMAT_WIDTH_16 = 16;
constexpr uint32_t FORMAT_WIDTH_32 = 32;

// Hosts alive in this process, by wave handle. Guarded: every thread may run
// its own host.
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_map<uint32_t, PluginHost*>& Registry() {
  static std::unordered_map<uint32_t, PluginHost*> hosts;
  return hosts;
}
uint32_t NextWaveHandle() {
  static uint32_t last = 0x57A0;  // any non-zero start; 0 never names a host
  std::lock_guard<std::mutex> lock(RegistryMutex());
  do {
    ++last;
  } while (last == 0 || Registry().count(last) != 0);
  return last;
}

thread_local PluginHost* tCurrentHost = nullptr;

// Makes a host the current one for the duration of an entry-point call and
// restores the previous one afterwards, so that nested calls work.
struct CurrentHostScope {
  explicit CurrentHostScope(PluginHost* host) : previous(tCurrentHost) { tCurrentHost = host; }
  ~CurrentHostScope() { tCurrentHost = previous; }
  CurrentHostScope(const CurrentHostScope&) = delete;
  CurrentHostScope& operator=(const CurrentHostScope&) = delete;
  PluginHost* previous;
};

// Rounds to the nearest integer (halves away from zero) within [low, high];
// NaN gives 0. The truncation of a value clamped to a sample width is exact,
// and so is its remainder.
inline int32_t RoundAndClamp(float value, float low, float high) {
  const float clamped = std::isnan(value) ? 0.0f : std::min(std::max(value, low), high);
  const int32_t truncated = static_cast<int32_t>(clamped);
  const float remainder = clamped - static_cast<float>(truncated);
  return truncated + (remainder >= 0.5f) - (remainder <= -0.5f);
}

#if defined(__SSE2__)
// RoundAndClamp of four samples, step for step in SSE2 lanes: NaN lanes are
// cleared to +0 first; MAXPS and MINPS return their second operand unless
// the first is beyond it, which for the nonzero limits is what std::max and
// std::min return; a true comparison is -1, so subtracting it adds 1.
inline __m128i RoundAndClamp4(__m128 value, __m128 low, __m128 high) {
  const __m128 ordered = _mm_and_ps(value, _mm_cmpord_ps(value, value));
  const __m128 clamped = _mm_min_ps(_mm_max_ps(ordered, low), high);
  const __m128i truncated = _mm_cvttps_epi32(clamped);
  const __m128 remainder = _mm_sub_ps(clamped, _mm_cvtepi32_ps(truncated));
  const __m128i up = _mm_castps_si128(_mm_cmpge_ps(remainder, _mm_set1_ps(0.5f)));
  const __m128i down = _mm_castps_si128(_mm_cmple_ps(remainder, _mm_set1_ps(-0.5f)));
  return _mm_add_epi32(_mm_sub_epi32(truncated, up), down);
}
#endif

// Samples as little-endian 16-bit integers; returns the end of what was
// written.
uint8_t* WriteSixteen(uint8_t* out, const float* samples, size_t count) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  for (; count - k >= 8; k += 8) {
    const __m128i first = RoundAndClamp4(_mm_loadu_ps(samples + k), low, high);
    const __m128i second = RoundAndClamp4(_mm_loadu_ps(samples + k + 4), low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k), _mm_packs_epi32(first, second));
  }
#endif
  for (; k < count; ++k) {
    const uint16_t bits =
        static_cast<uint16_t>(static_cast<int16_t>(RoundAndClamp(samples[k], -32768.0f, 32767.0f)));
    out[2 * k] = static_cast<uint8_t>(bits & 0xFF);
    out[2 * k + 1] = static_cast<uint8_t>(bits >> 8);
  }
  return out + 2 * count;
}

// Samples as signed 8-bit integers.
uint8_t* WriteEight(uint8_t* out, const float* samples, size_t count) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128 low = _mm_set1_ps(-128.0f), high = _mm_set1_ps(127.0f);
  for (; count - k >= 16; k += 16) {
    __m128i words[2];
    for (int half = 0; half < 2; ++half) {
      const float* from = samples + k + 8 * half;
      words[half] = _mm_packs_epi32(RoundAndClamp4(_mm_loadu_ps(from), low, high),
                                    RoundAndClamp4(_mm_loadu_ps(from + 4), low, high));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packs_epi16(words[0], words[1]));
  }
#endif
  for (; k < count; ++k)
    out[k] = static_cast<uint8_t>(static_cast<int8_t>(RoundAndClamp(samples[k], -128.0f, 127.0f)));
  return out + count;
}

// Samples as 32-bit floats, as stored.
uint8_t* WriteFloats(uint8_t* out, const float* samples, size_t count) {
  if (count != 0) std::memcpy(out, samples, count * sizeof(float));
  return out + count * sizeof(float);
}

}  // namespace

// A loaded Windows module calls the services with the stack 4-byte aligned
// only; they realign it for the Linux ABI.
#if defined(__i386__)
#define HOST_SERVICE __attribute__((force_align_arg_pointer))
#else
#define HOST_SERVICE
#endif

// The service routines whose addresses the host puts into XfmContext. Each
// records the call, then runs the test's hook; no exception may leave them,
// since their caller is plug-in code.
struct HostCallbacks {
  static PluginHost* HostOfWave(uint32_t waveHandle) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto found = Registry().find(waveHandle);
    return found == Registry().end() ? nullptr : found->second;
  }

  static PluginHost* HostOfContext(const XfmContext* ctx) {
    if (tCurrentHost != nullptr && &tCurrentHost->context_ == ctx) return tCurrentHost;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (const auto& entry : Registry()) {
      if (&entry.second->context_ == ctx) return entry.second;
    }
    return nullptr;
  }

  HOST_SERVICE static int32_t XFM_STDCALL GetSamples(uint32_t waveHandle, void* destination,
                                                     uint32_t firstFrame, uint32_t frameCount,
                                                     uint32_t formatWord) {
    try {
      PluginHost* host = HostOfWave(waveHandle);
      if (host == nullptr) return 0;
      ServiceCall call{};
      call.kind = ServiceCall::GetSamples;
      call.firstFrame = firstFrame;
      call.frameCount = frameCount;
      call.formatWord = formatWord;
      host->calls.push_back(call);
      if (destination == nullptr) return 0;
      host->ServeSamples(static_cast<uint8_t*>(destination), firstFrame, frameCount, formatWord);
      return 1;
    } catch (...) {
      return 0;
    }
  }

  HOST_SERVICE static int32_t XFM_STDCALL Progress(int32_t stepsDone, int32_t stepsTotal) {
    try {
      PluginHost* host = tCurrentHost;
      if (host == nullptr) return 0;
      ServiceCall call{};
      call.kind = ServiceCall::Progress;
      call.done = stepsDone;
      call.total = stepsTotal;
      host->calls.push_back(call);
      if (host->onProgress) host->onProgress(stepsDone, stepsTotal);
      return 1;
    } catch (...) {
      return 0;
    }
  }

  HOST_SERVICE static int32_t XFM_STDCALL StatusText(const char* text, int32_t) {
    try {
      PluginHost* host = tCurrentHost;
      if (host == nullptr) return 0;
      ServiceCall call{};
      call.kind = ServiceCall::StatusText;
      call.text = text != nullptr ? text : "";
      host->calls.push_back(call);
      if (host->onStatusText) host->onStatusText(host->calls.back().text);
      return 1;
    } catch (...) {
      return 0;
    }
  }

  HOST_SERVICE static int32_t XFM_STDCALL ProgressDone(XfmContext* ctx) {
    try {
      PluginHost* host = HostOfContext(ctx);
      if (host == nullptr) return 0;
      ServiceCall call{};
      call.kind = ServiceCall::ProgressDone;
      host->calls.push_back(call);
      return 1;
    } catch (...) {
      return 0;
    }
  }

  HOST_SERVICE static int32_t XFM_STDCALL DialogCreated(void* window, int32_t) {
    try {
      PluginHost* host = tCurrentHost;
      if (host == nullptr) return 0;
      ServiceCall call{};
      call.kind = ServiceCall::DialogCreated;
      call.window = static_cast<HWND>(window);
      host->calls.push_back(call);
      if (host->onDialogCreated) host->onDialogCreated(call.window);
      return 1;
    } catch (...) {
      return 0;
    }
  }
};

namespace {
// The typedefs of the interface are the contract: these fail to compile if a
// callback's signature drifts from them.
constexpr XfmGetSamplesFn kGetSamples = &HostCallbacks::GetSamples;
constexpr XfmProgressFn kProgress = &HostCallbacks::Progress;
constexpr XfmStatusTextFn kStatusText = &HostCallbacks::StatusText;
constexpr XfmProgressDoneFn kProgressDone = &HostCallbacks::ProgressDone;
constexpr XfmDialogCreatedFn kDialogCreated = &HostCallbacks::DialogCreated;
}  // namespace

bool CopyPublishedResults(HGLOBAL settingsHandle, AcousticResults* store) {
  const auto* settings = static_cast<const AnalysisSettings*>(GlobalLock(settingsHandle));
  if (settings == nullptr) return false;
  const ResultsView view = PublishedResults(*settings);
  const bool published = view.values && view.valid && view.lf && view.iacc && view.wIacc && view.tauIacc;
  if (published) {
    std::memcpy(store->values, view.values, sizeof store->values);
    std::memcpy(store->valid, view.valid, sizeof store->valid);
    std::memcpy(store->noiseCorrected, view.noiseCorrected, sizeof store->noiseCorrected);
    std::memcpy(store->lf, view.lf, sizeof store->lf);
    std::memcpy(store->iacc, view.iacc, sizeof store->iacc);
    std::memcpy(store->wIacc, view.wIacc, sizeof store->wIacc);
    std::memcpy(store->tauIacc, view.tauIacc, sizeof store->tauIacc);
  }
  GlobalUnlock(settingsHandle);
  return published;
}

void InstallStaticPlugin() { headless::InstallPluginExports(StaticPluginExports()); }

// Hosts that call the stand-in before their first PluginHost (tests of the
// dialogs and of GetProcAddress) find the plug-in's exports installed.
const bool staticPluginInstalled = (InstallStaticPlugin(), true);

bool ResolveEntryPoints(HINSTANCE module, ModuleEntryPoints* entries, std::string* error) {
  // Ordinals of Roomstat_32.def.
  const struct {
    WORD ordinal;
    const char* name;
  } exports[] = {{2, "QueryXfm"}, {3, "XfmInit"}, {4, "XfmSetup"}, {5, "XfmDo"}, {6, "XfmDestroy"}};
  void (*found[5])() = {};
  for (int i = 0; i < 5; ++i) {
    found[i] = reinterpret_cast<void (*)()>(GetProcAddress(module, MAKEINTRESOURCEA(exports[i].ordinal)));
    if (found[i] == nullptr) {
      if (error != nullptr)
        *error = "no export " + std::string(exports[i].name) + " (ordinal " +
                 std::to_string(exports[i].ordinal) + ")";
      return false;
    }
  }
  entries->module = module;
  entries->queryXfm = reinterpret_cast<decltype(entries->queryXfm)>(found[0]);
  entries->init = reinterpret_cast<decltype(entries->init)>(found[1]);
  entries->setup = reinterpret_cast<decltype(entries->setup)>(found[2]);
  entries->run = reinterpret_cast<decltype(entries->run)>(found[3]);
  entries->destroy = reinterpret_cast<decltype(entries->destroy)>(found[4]);
  return true;
}

const ModuleEntryPoints& StaticPlugin() {
  static const ModuleEntryPoints entries = [] {
    InstallStaticPlugin();
    ModuleEntryPoints resolved;
    ResolveEntryPoints(headless::PluginModule(), &resolved, nullptr);
    return resolved;
  }();
  return entries;
}

std::unique_ptr<LoadedPlugin> LoadedPlugin::Load(const std::string& path, std::string* error,
                                                 const std::vector<headless::ImportOverride>& overrides) {
  std::unique_ptr<LoadedPlugin> plugin(new LoadedPlugin);
  plugin->module_ = headless::LoadPeModule(path, error, overrides);
  if (plugin->module_ == nullptr) return nullptr;
  std::string reason;
  if (!ResolveEntryPoints(headless::PeModuleHandle(plugin->module_), &plugin->entries_, &reason)) {
    if (error != nullptr) *error = path + ": " + reason;
    return nullptr;
  }
  return plugin;
}

LoadedPlugin::~LoadedPlugin() { headless::FreePeModule(module_); }

PluginHost::PluginHost(const ModuleEntryPoints& module) : module_(module) {
  XfmInfo info{};
  module_.queryXfm(&info);
  settings_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, info.paramSize);

  context_.channelCount = channels_;
  context_.bitsPerSample = bits_;
  context_.settingsHandle = SlotFromAddress(settings_);
  context_.hostCaption = SlotFromAddress(caption_.c_str());
  context_.cancelFlag = SlotFromAddress(const_cast<const uint32_t*>(&cancelWord));
  context_.fnGetSamples = SlotFromFunction(kGetSamples);
  context_.fnProgress = SlotFromFunction(kProgress);
  context_.fnStatusText = SlotFromFunction(kStatusText);
  context_.fnProgressDone = SlotFromFunction(kProgressDone);
  context_.fnDialogCreated = SlotFromFunction(kDialogCreated);

  context_.waveHandle = NextWaveHandle();
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry()[context_.waveHandle] = this;
}

PluginHost::~PluginHost() {
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto found = Registry().find(context_.waveHandle);
    if (found != Registry().end() && found->second == this) Registry().erase(found);
  }
  if (settings_ != nullptr) GlobalFree(settings_);
  ReleaseSlot(context_.settingsHandle);
  ReleaseSlot(context_.hostCaption);
  ReleaseSlot(context_.cancelFlag);
}

PluginHost* PluginHost::Current() { return tCurrentHost; }

void PluginHost::SetAudio(uint16_t channelCount, uint16_t bitsPerSample, int32_t sampleRate,
                          std::vector<float> interleaved) {
  channels_ = channelCount;
  bits_ = bitsPerSample;
  audio_ = std::move(interleaved);
  deliveredValid_ = false;
  context_.channelCount = channelCount;
  context_.bitsPerSample = bitsPerSample;
  context_.sampleRate = sampleRate;
  const size_t frames = audio_.size() / std::max<size_t>(channelCount, 1);
  SetSelection(0, frames > 0 ? static_cast<uint32_t>(frames - 1) : 0);
}

void PluginHost::SetSelection(uint32_t firstFrame, uint32_t lastFrame) {
  context_.selStart = firstFrame;
  context_.selEnd = lastFrame;
}

void PluginHost::ServeSamples(uint8_t* destination, uint32_t firstFrame, uint32_t frameCount,
                              uint32_t formatWord) {
  const uint32_t request[3] = {firstFrame, frameCount, formatWord};
  const bool repeated = deliveredValid_ && std::equal(request, request + 3, deliveredRequest_);
  if (repeated && !delivered_.empty()) {
    std::memcpy(destination, delivered_.data(), delivered_.size());
    return;
  }
  const size_t bytes = DeliverSamples(destination, firstFrame, frameCount, formatWord);
  // A request is kept only once it repeats: a mono run asks once, and
  // copying its bytes would touch every sample a second time.
  if (repeated) {
    delivered_.assign(destination, destination + bytes);
  } else {
    delivered_.clear();
  }
  std::copy(request, request + 3, deliveredRequest_);
  deliveredValid_ = true;
}

size_t PluginHost::DeliverSamples(uint8_t* destination, uint32_t firstFrame, uint32_t frameCount,
                                  uint32_t formatWord) const {
  const size_t storedChannels = std::max<size_t>(channels_, 1);
  const size_t storedFrames = audio_.size() / storedChannels;

  uint32_t requestedChannels = formatWord & FORMAT_CHANNEL_MASK;
  if (requestedChannels != 1 && requestedChannels != 2)
    requestedChannels = static_cast<uint32_t>(storedChannels);

  // The width bit; if the host's flags happen to set another width bit too,
  // the selection's own width wins.
  uint32_t width = 0;
  if ((formatWord & bits_) != 0 && (bits_ == 8 || bits_ == 16 || bits_ == 32)) {
    width = bits_;
  } else if ((formatWord & FORMAT_WIDTH_32) != 0) {
    width = 32;
  } else if ((formatWord & FORMAT_WIDTH_16) != 0) {
    width = 16;
  } else if ((formatWord & FORMAT_WIDTH_8) != 0) {
    width = 8;
  } else {
    width = bits_;
  }

  // One writer per width, so that the sample loop carries no width test.
  uint8_t* (*const write)(uint8_t*, const float*, size_t) = width == 8    ? &WriteEight
                                                            : width == 16 ? &WriteSixteen
                                                                          : &WriteFloats;
  const size_t sampleBytes = width == 8 ? 1 : width == 16 ? 2 : 4;
  uint8_t* out = destination;
  if (requestedChannels == storedChannels) {
    // The stored samples in their order, then silence (0 in every width)
    // past the end.
    const size_t from = std::min<size_t>(firstFrame, storedFrames);
    const size_t to = std::min<size_t>(static_cast<size_t>(firstFrame) + frameCount, storedFrames);
    out = write(out, audio_.data() + from * storedChannels, (to - from) * storedChannels);
    const size_t silent = (frameCount - (to - from)) * storedChannels * sampleBytes;
    std::memset(out, 0, silent);
    return static_cast<size_t>(out + silent - destination);
  }
  const float silence = 0.0f;
  for (uint32_t i = 0; i < frameCount; ++i) {
    const size_t frame = static_cast<size_t>(firstFrame) + i;
    for (uint32_t c = 0; c < requestedChannels; ++c) {
      const size_t channel = std::min<size_t>(c, storedChannels - 1);
      out = write(out, frame < storedFrames ? &audio_[frame * storedChannels + channel] : &silence, 1);
    }
  }
  return static_cast<size_t>(out - destination);
}

std::vector<uint8_t> PluginHost::SettingsBytes() const {
  std::vector<uint8_t> bytes;
  if (settings_ == nullptr) return bytes;
  const void* data = GlobalLock(settings_);
  if (data == nullptr) return bytes;
  const uint8_t* begin = static_cast<const uint8_t*>(data);
  bytes.assign(begin, begin + GlobalSize(settings_));
  GlobalUnlock(settings_);
  return bytes;
}

void PluginHost::SetSettingsBytes(const std::vector<uint8_t>& bytes) {
  if (settings_ == nullptr) return;
  void* data = GlobalLock(settings_);
  if (data == nullptr) return;
  std::memcpy(data, bytes.data(), std::min<size_t>(bytes.size(), GlobalSize(settings_)));
  GlobalUnlock(settings_);
}

LONG PluginHost::Init() {
  CurrentHostScope scope(this);
  return module_.init(&context_);
}

LONG PluginHost::Setup(HWND parent) {
  CurrentHostScope scope(this);
  return module_.setup(parent, module_.module, &context_);
}

LONG PluginHost::Do() {
  CurrentHostScope scope(this);
  RunRecorder recorder(&lastRun, keepLevelCurves, onBandSignal ? &onBandSignal : nullptr, lentCores);
  return module_.run(&context_);
}

LONG PluginHost::Destroy() {
  CurrentHostScope scope(this);
  return module_.destroy(&context_);
}

LONG PluginHost::RunWithContext(const std::function<LONG(XfmContext*)>& routine) {
  CurrentHostScope scope(this);
  return routine(&context_);
}

void PluginHost::SetInteractive(uint16_t interactiveMark, uint16_t keepDialogsOpen) {
  context_.interactiveMark = interactiveMark;
  context_.keepDialogsOpen = keepDialogsOpen;
}

}  // namespace hostkit
