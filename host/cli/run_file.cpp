#include "host/cli/run_file.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "host/cli/energy_time.h"
#include "host/cli/prepare.h"
#include "host/cli/resample.h"
#include "host/cli/sweep_command.h"
#include "host/cli/text_encoding.h"
#include "host/kit/plugin_host.h"
#include "host/kit/spare_cores.h"
#include "interface/address_slot.h"
#include "interface/bands.h"
#include "interface/control_ids.h"
#include "platform/headless.h"

namespace cli {

std::atomic<bool> g_stopRequested{false};

namespace {

// The texts typed into the settings dialog's fields (unset: left as shown).
struct TypedFields {
  std::optional<std::string> rtuStart, rtuEnd, wThreshold, yThreshold, boost;
};

// What to type: the options, and for a saved block the values that the
// dialog would otherwise show shortened (the RTU fields hold six characters,
// the boost four digits) and read back changed.
TypedFields ChooseTypedFields(const Options& options, const std::vector<uint8_t>& baseSettings,
                              const std::string& typedThreshold, bool stereo) {
  TypedFields typed;
  if (baseSettings.size() == sizeof(AnalysisSettings)) {
    AnalysisSettings base;
    std::memcpy(&base, baseSettings.data(), sizeof(base));
    typed.rtuStart = ExactText(base.rtuStartDb);
    typed.rtuEnd = ExactText(base.rtuEndDb);
    if (stereo) typed.boost = ExactText(base.boostDb);
  }
  if (options.rtuStartText) typed.rtuStart = options.rtuStartText;
  if (options.rtuEndText) typed.rtuEnd = options.rtuEndText;
  if (!typedThreshold.empty()) typed.wThreshold = typedThreshold;
  if (stereo && options.yThresholdText) typed.yThreshold = options.yThresholdText;
  if (stereo && options.boostText) typed.boost = options.boostText;
  return typed;
}

GivenSettings GivenFromTyped(const TypedFields& typed) {
  GivenSettings given;
  auto take = [](const std::optional<std::string>& text, bool& has, double& value) {
    has = text.has_value();
    if (has) value = std::strtod(text->c_str(), nullptr);
  };
  take(typed.rtuStart, given.hasRtuStart, given.rtuStartDb);
  take(typed.rtuEnd, given.hasRtuEnd, given.rtuEndDb);
  take(typed.wThreshold, given.hasW, given.wThreshold);
  take(typed.yThreshold, given.hasY, given.yThreshold);
  take(typed.boost, given.hasBoost, given.boostDb);
  return given;
}

// Stands in for the person at the screen: fills the settings dialog once and
// presses OK, and reads every message box.
class DialogPerson : public headless::Observer {
 public:
  DialogPerson(const Options& options, const TypedFields& typed, const RunListener& listener,
               FileResult& result)
      : options_(options), typed_(typed), listener_(listener), result_(result) {}

  int OnMessageBox(HWND, const std::string& text, const std::string& caption, UINT) override {
    // Called from inside the plug-in: nothing may escape from here.
    try {
      PluginMessage message{caption, text};
      result_.outcome.messages.push_back(message);
      if (listener_.onMessage) listener_.onMessage(message);
    } catch (...) {
    }
    return IDOK;
  }
  void OnBeep(UINT) override {}
  void OnHelp(HWND, const std::string&, UINT, const std::string&) override {}
  void OnDialogShown(HWND) override {}
  void OnDialogEnded(HWND, INT_PTR) override {}

  void OnDialogIdle(HWND dialog) override {
    if (settingsFilled_ || headless::ViewDialog(dialog).templateId != SETTINGS_DIALOG_TEMPLATE) return;
    settingsFilled_ = true;
    if (typed_.rtuStart) headless::TypeText(dialog, ID_RTU_START, *typed_.rtuStart);
    if (typed_.rtuEnd) headless::TypeText(dialog, ID_RTU_END, *typed_.rtuEnd);
    if (typed_.wThreshold) headless::TypeText(dialog, ID_W_THRESHOLD, *typed_.wThreshold);
    if (typed_.yThreshold) {
      headless::SetCheckBox(dialog, ID_LOCK, false);
      headless::TypeText(dialog, ID_Y_THRESHOLD, *typed_.yThreshold);
    }
    if (typed_.boost) headless::TypeText(dialog, ID_BOOST, *typed_.boost);
    if (options_.noiseCorrection)
      headless::SetCheckBox(dialog, ID_NOISE_CORRECTION, *options_.noiseCorrection);
    if (options_.thirdOctave) headless::SetCheckBox(dialog, ID_THIRD_OCTAVE, *options_.thirdOctave);
    headless::PressButton(dialog, ID_OK);
  }

 private:
  const Options& options_;
  const TypedFields& typed_;
  const RunListener& listener_;
  FileResult& result_;
  bool settingsFilled_ = false;
};

// Turns --start/--end/--frames into an inclusive frame range of the file.
bool ChooseSelection(const Options& options, const AudioData& audio, uint32_t& first, uint32_t& last,
                     std::string& error) {
  const uint64_t frames = audio.fileFrames;
  const double rate = audio.sampleRate;
  char duration[64];
  std::snprintf(duration, sizeof(duration), "%llu frames, %.6g s", static_cast<unsigned long long>(frames),
                static_cast<double>(frames) / rate);
  uint64_t begin = 0, end = frames;  // [begin, end)
  if (options.firstFrame) {
    begin = *options.firstFrame;
    end = *options.lastFrame + 1;
    if (*options.lastFrame >= frames) {
      error = "the selection --frames " + std::to_string(begin) + ":" + std::to_string(*options.lastFrame) +
              " lies past the end of the file (" + duration + ", last frame " + std::to_string(frames - 1) +
              ")";
      return false;
    }
  } else {
    // Times beyond the file stay beyond it (and never overflow a frame index).
    auto frameAt = [&](double seconds) {
      const double position = std::round(seconds * rate);
      return position > static_cast<double>(frames) ? frames + 1 : static_cast<uint64_t>(position);
    };
    if (options.startSeconds) begin = frameAt(*options.startSeconds);
    if (options.endSeconds) end = frameAt(*options.endSeconds);
    if (begin >= frames || end > frames) {
      error = std::string("the selection lies past the end of the file (") + duration + ")";
      return false;
    }
    if (end <= begin) {
      error = "the selection holds no frame (--end must lie after --start)";
      return false;
    }
  }
  if (end - 1 > UINT32_MAX) {
    error = "the selection reaches past frame " + std::to_string(UINT32_MAX) + ", the last a host can select";
    return false;
  }
  first = static_cast<uint32_t>(begin);
  last = static_cast<uint32_t>(end - 1);
  return true;
}

void AnalyseSelectionUnguarded(const Options& options, const std::vector<uint8_t>& baseSettings,
                               const RunListener& listener, FileResult& result);

// With --sweep: the recording `path`'s deconvolved response stands for the
// file (sweep_command.h); the selection options choose from the response.
// False with the outcome's exit code and sentence.
bool ReadSweepSelection(const std::string& path, const Options& options, FileResult& result) {
  FileInput& input = result.input;
  AudioData& audio = input.audio;
  std::string error;
  int exitCode = EXIT_UNREADABLE;
  sweep::DeconvolutionFacts facts;
  if (!ReadSweepResponse(path, options.sweepPath, options.channels, audio, facts, exitCode, error) ||
      !ChooseSelection(options, audio, input.firstFrame, input.lastFrame, error) ||
      (!options.nativeRate && audio.sampleRate != ANALYSIS_RATE_HZ &&
       !CheckResampling(input.lastFrame - uint64_t{input.firstFrame} + 1, audio.sampleRate, ANALYSIS_RATE_HZ,
                        error))) {
    result.outcome.exitCode = exitCode == EXIT_OK ? EXIT_UNREADABLE : exitCode;
    result.outcome.error = error;
    if (exitCode == EXIT_REFUSED) result.outcome.refusal = "sweep-mismatch";
    return false;
  }
  input.deconvolution = facts;
  const size_t channels = audio.usedChannels.size();
  audio.samples.erase(
      audio.samples.begin() + static_cast<std::ptrdiff_t>((input.lastFrame + size_t{1}) * channels),
      audio.samples.end());
  audio.samples.erase(audio.samples.begin(),
                      audio.samples.begin() + static_cast<std::ptrdiff_t>(input.firstFrame * channels));
  return true;
}

void AnalyseFileUnguarded(const std::string& path, const Options& options,
                          const std::vector<uint8_t>& baseSettings, const RunListener& listener,
                          FileResult& result) {
  result.input.path = path;
  result.offer.thresholdMode = options.thresholdMode;
  if (!options.sweepPath.empty()) {
    if (ReadSweepSelection(path, options, result)) AnalyseSelection(options, baseSettings, listener, result);
    return;
  }
  std::string error;
  AudioReader reader;
  AudioData& audio = result.input.audio;
  uint64_t lastFrame = 0;
  if (!reader.Open(path, options.channels, audio, error) ||
      !ChooseSelection(options, audio, result.input.firstFrame, result.input.lastFrame, error) ||
      (!options.nativeRate && audio.sampleRate != ANALYSIS_RATE_HZ &&
       !CheckResampling(result.input.lastFrame - uint64_t{result.input.firstFrame} + 1, audio.sampleRate,
                        ANALYSIS_RATE_HZ, error)) ||
      !reader.ReadSelection(result.input.firstFrame, lastFrame = result.input.lastFrame, audio, error)) {
    result.outcome.exitCode = reader.Interrupted() ? EXIT_INTERRUPTED : EXIT_UNREADABLE;
    result.outcome.error = error;
    return;
  }
  result.input.lastFrame = static_cast<uint32_t>(lastFrame);
  AnalyseSelection(options, baseSettings, listener, result);
}

// Opens the plug-in's settings dialog on the host's block, which the
// dialog person fills; records the confirmed block and what the dialog
// stored otherwise than typed. False (exit code 3) when it was not confirmed.
bool ConfirmSettings(hostkit::PluginHost& host, const std::vector<uint8_t>& baseSettings,
                     const TypedFields& typed, FileResult& result) {
  if (baseSettings.empty()) {
    host.Init();
  } else {
    host.SetSettingsBytes(baseSettings);
  }
  if (host.Setup(nullptr) != 1) {
    result.outcome.exitCode = EXIT_NO_RESULTS;
    result.outcome.error = "the settings dialog was not confirmed";
    return false;
  }
  FileConfirmation& confirmation = result.confirmation;
  confirmation.settingsBytes = host.SettingsBytes();
  std::memcpy(&confirmation.settings, confirmation.settingsBytes.data(),
              std::min(confirmation.settingsBytes.size(), sizeof(confirmation.settings)));
  confirmation.adjustments = FindAdjustments(GivenFromTyped(typed), confirmation.settings);
  return true;
}

// Runs XfmDo: status texts and progress go to the listener (an interrupt
// stops the band analysis), the results store is copied while the results
// dialog is open, the report is copied through the clipboard, and the run
// watcher's record is kept.
void RunAnalysis(hostkit::PluginHost& host, const RunListener& listener, FileResult& result) {
  // The hooks run inside the plug-in's calls: nothing may escape from them.
  host.onStatusText = [&](const std::string& text) {
    try {
      result.outcome.statusTexts.push_back(text);
      if (listener.onStatus) listener.onStatus(text);
    } catch (...) {
    }
  };
  host.onProgress = [&](int32_t done, int32_t total) {
    // The band analysis reads the stop word right after each progress report.
    if (g_stopRequested.load()) host.cancelWord = 1;
    try {
      if (listener.onProgress) listener.onProgress(done, total);
    } catch (...) {
    }
  };
  // The results dialog is open: its store is complete and still alive. Read
  // it through the settings block's result pointers and ask for the report
  // before the dialog's own automatic OK comes through the queue.
  host.onDialogCreated = [&](HWND window) {
    if (hostkit::CopyPublishedResults(host.SettingsHandle(), &result.outcome.store))
      result.outcome.haveResults = true;
    headless::PressButton(window, ID_COPY);
  };
  // The results dialog closes by itself once filled.
  host.SetInteractive(0, 0);
  headless::ResetClipboard();
  host.Do();
  result.outcome.record = host.lastRun;
  if (auto text = headless::ClipboardText()) result.outcome.report = *text;
}

// Why a run that gave no results ended.
void ExplainNoResults(const hostkit::PluginHost& host, FileOutcome& outcome) {
  if (outcome.haveResults) return;
  if (host.cancelWord != 0) {
    outcome.exitCode = EXIT_INTERRUPTED;
    outcome.error = "interrupted";
  } else {
    outcome.exitCode = EXIT_NO_RESULTS;
    outcome.error = outcome.messages.empty() ? "the analysis ended without results"
                                             : "the analysis ended without results (see the message above)";
  }
}

// Copies of band signals on their way from the plug-in's run to the ISO
// thread, at most about two selections' worth at a time (the producer waits
// for room); a consumed copy's memory goes back to the producer.
class BandHandOver {
 public:
  struct Item {
    size_t channel;
    IsoOwnedBandSignal band;
  };
  explicit BandHandOver(size_t boundSamples) : bound_(boundSamples) {}
  void Push(size_t channel, const BandSignalTrace& trace, bool thirdOctave) {
    std::vector<float> samples = Recycled(trace.length);
    samples.assign(trace.samples, trace.samples + trace.length);
    const float nominalHz = trace.row == 0 ? 0.0f
                            : thirdOctave  ? ThirdOctaveCentreHz(trace.row)
                                           : OctaveCentreHz(trace.row);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return queued_ == 0 || queued_ + trace.length <= bound_; });
    queued_ += trace.length;
    items_.push_back(Item{channel, IsoOwnedBandSignal{trace.row, nominalHz, static_cast<double>(trace.rateHz),
                                                      std::move(samples)}});
    changed_.notify_all();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  // The next band signal; false once the run has ended and all are taken.
  bool Pop(Item& item) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !items_.empty() || closed_; });
    if (items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    queued_ -= item.band.samples.size();
    changed_.notify_all();
    return true;
  }
  void GiveBack(std::vector<float>&& samples) {
    std::lock_guard lock(mutex_);
    if (spare_.size() < MAX_SPARE) spare_.push_back(std::move(samples));
  }

 private:
  // Buffers given back and kept for the next copies: a copy into one that
  // holds it touches no new memory.
  static constexpr size_t MAX_SPARE = 4;
  // The smallest spare buffer that holds `length` samples, else the largest.
  std::vector<float> Recycled(size_t length) {
    std::lock_guard lock(mutex_);
    if (spare_.empty()) return {};
    auto chosen = spare_.begin();
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
      const bool fits = it->capacity() >= length, chosenFits = chosen->capacity() >= length;
      if (fits ? !chosenFits || it->capacity() < chosen->capacity()
               : !chosenFits && it->capacity() > chosen->capacity())
        chosen = it;
    }
    std::vector<float> samples = std::move(*chosen);
    spare_.erase(chosen);
    return samples;
  }
  const size_t bound_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  std::vector<std::vector<float>> spare_;
  size_t queued_ = 0;
  bool closed_ = false;
};

// The ISO 3382 evaluation of the offered selection, made from the band
// signals of the plug-in's run (IsoTappedEvaluation): when a core is spare,
// on its own thread, fed copies as the plug-in filters them; otherwise on
// the run's thread as each band signal appears. It ends (joined, finished,
// re-filtered if the run did not deliver every band) when the object ends.
// Skipped with --evaluation plugin. The layout (octave or third-octave) is
// the one confirmed in the settings dialog.
class IsoRun {
 public:
  IsoRun(const Options& options, hostkit::PluginHost& host, size_t channels, int32_t rateHz, bool thirdOctave,
         bool plots, IsoFileEvaluation& out)
      : host_(host), out_(out), handOver_(2 * host.Audio().size() / std::max<size_t>(channels, 1) + 1) {
    if (options.evaluation == Evaluation::Plugin || channels == 0) return;
    IsoRequest request;
    request.thirdOctave = thirdOctave;
    request.keepPlots = plots;
    request.pair = channels == 2 ? options.pair : PairKind::None;
    request.figure8GainDb = options.figure8GainDb;
    const std::vector<float>& samples = host.Audio();
    tapped_.emplace(samples.data(), samples.size() / channels, channels, rateHz, request, &g_stopRequested);
    const bool spare = options.spareCore;
    host.onBandSignal = [this, spare, thirdOctave](const BandSignalTrace& trace) {
      // Inside the plug-in's run: nothing may escape from here.
      try {
        const size_t channel = trace.channelLetter == 'r' ? 1 : 0;
        if (spare) {
          handOver_.Push(channel, trace, thirdOctave);
        } else if (!failed_) {
          tapped_->Take(channel,
                        IsoBandSignal{trace.row, NominalOf(trace.row, thirdOctave),
                                      static_cast<double>(trace.rateHz), trace.samples, trace.length});
        }
      } catch (...) {
        failed_ = true;
      }
    };
    if (spare) thread_ = std::jthread([this] { Consume(); });
  }
  ~IsoRun() {
    host_.onBandSignal = nullptr;
    if (!tapped_) return;
    handOver_.Close();
    if (thread_.joinable()) {
      thread_.join();
    } else {
      Finish();
    }
  }
  IsoRun(const IsoRun&) = delete;
  IsoRun& operator=(const IsoRun&) = delete;

 private:
  static float NominalOf(int row, bool thirdOctave) {
    return row == 0 ? 0.0f : thirdOctave ? ThirdOctaveCentreHz(row) : OctaveCentreHz(row);
  }
  void Consume() {
    BandHandOver::Item item;
    while (handOver_.Pop(item)) {
      try {
        if (!failed_) {
          const IsoOwnedBandSignal& band = item.band;
          tapped_->Take(item.channel,
                        IsoBandSignal{band.row, band.nominalHz, band.rateHz, band.samples.data(),
                                      static_cast<uint32_t>(band.samples.size())});
        }
      } catch (...) {
        failed_ = true;
      }
      handOver_.GiveBack(std::move(item.band.samples));
    }
    Finish();
  }
  void Finish() {
    try {
      if (failed_) {
        out_ = IsoFileEvaluation{};  // not done: every output says the evaluation is missing
      } else {
        tapped_->Finish(out_);
      }
    } catch (const std::bad_alloc&) {
      out_ = IsoFileEvaluation{};
    }
  }
  hostkit::PluginHost& host_;
  IsoFileEvaluation& out_;
  std::optional<IsoTappedEvaluation> tapped_;
  BandHandOver handOver_;
  std::atomic<bool> failed_{false};
  std::jthread thread_;
};

void AnalyseSelectionUnguarded(const Options& options, const std::vector<uint8_t>& baseSettings,
                               const RunListener& listener, FileResult& result) {
  result.offer.thresholdMode = options.thresholdMode;
  const size_t channelCount = result.input.audio.usedChannels.size();
  result.request = FileRequest{options.evaluation, channelCount == 2 ? options.pair : PairKind::None};
  OfferedAudio offered;
  if (!PrepareSelection(options, result, offered)) return;

  headless::ResetThreadState();
  const TypedFields typed =
      ChooseTypedFields(options, baseSettings, result.offer.typedThreshold, channelCount != 1);
  DialogPerson person(options, typed, listener, result);
  headless::SetObserver(&person);

  const bool drawing = !options.htmlPath.empty();
  if (drawing) {
    for (size_t c = 0; c < channelCount; ++c) {
      result.outcome.energyTime.push_back(EnergyTimeCurve(offered.samples, static_cast<int>(channelCount),
                                                          static_cast<int>(c), offered.first, offered.last));
    }
  }

  hostkit::PluginHost host;
  host.keepLevelCurves = drawing;
  if (options.spareCore) host.lentCores = hostkit::SpareCores();
  // The host holds the selection alone (resampled or not), so the plug-in's
  // selection is all of it.
  host.SetAudio(static_cast<uint16_t>(channelCount), offered.bits, offered.rate, std::move(offered.samples));
  if (!ConfirmSettings(host, baseSettings, typed, result)) {
    headless::SetObserver(nullptr);
    return;
  }
  {
    // The ISO evaluation takes the run's band signals (and, should the run
    // not deliver them all, re-filters the samples the host serves, never
    // written during the run), beside the run when a core is spare.
    IsoRun iso(options, host, channelCount, offered.rate, result.ThirdOctave(), drawing, result.outcome.iso);
    RunAnalysis(host, listener, result);
  }
  host.Destroy();
  headless::SetObserver(nullptr);
  ExplainNoResults(host, result.outcome);
}

}  // namespace

namespace {

// Runs one analysis step; nothing it throws escapes: a file that cannot be
// analysed gets exit code 2 and a sentence.
template <typename Step>
void Guarded(FileResult& result, Step step) {
  try {
    step();
  } catch (const std::bad_alloc&) {
    headless::SetObserver(nullptr);
    result.outcome.exitCode = EXIT_UNREADABLE;
    result.outcome.error = "cannot be analysed: there is not enough memory for its selection";
  } catch (const std::exception& e) {
    headless::SetObserver(nullptr);
    result.outcome.exitCode = EXIT_UNREADABLE;
    result.outcome.error = std::string("cannot be analysed: ") + e.what();
  }
}

}  // namespace

void AnalyseSelection(const Options& options, const std::vector<uint8_t>& baseSettings,
                      const RunListener& listener, FileResult& result) {
  Guarded(result, [&] { AnalyseSelectionUnguarded(options, baseSettings, listener, result); });
}

void AnalyseFile(const std::string& path, const Options& options, const std::vector<uint8_t>& baseSettings,
                 const RunListener& listener, FileResult& result) {
  Guarded(result, [&] { AnalyseFileUnguarded(path, options, baseSettings, listener, result); });
}

}  // namespace cli
