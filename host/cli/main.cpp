// roomstat: analyses room impulse responses with the plug-in, driving it as a
// host editor would (settings dialog, run, results dialog, clipboard), and
// prints what the plug-in computed as a table, the copied report, csv or json.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/cli/allocator.h"
#include "host/cli/average.h"
#include "host/cli/cells.h"
#include "host/cli/html_report.h"
#include "host/cli/interrupts.h"
#include "host/cli/json_output.h"
#include "host/cli/messages.h"
#include "host/cli/options.h"
#include "host/cli/output_file.h"
#include "host/cli/run_file.h"
#include "host/cli/settings_check.h"
#include "host/cli/sweep_command.h"
#include "host/cli/text_output.h"
#include "interface/entry_points.h"

#ifndef ROOMSTAT_VERSION
#define ROOMSTAT_VERSION "0.0.0"
#endif

namespace cli {
namespace {

// One line on stderr that shows the running analyses, redrawn in place.
class ProgressLine {
 public:
  ProgressLine(bool enabled, size_t fileCount) : enabled_(enabled), fileCount_(fileCount) {}

  void Status(const std::string& file, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = file;
    status_ = text;
    done_ = 0;
    total_ = 0;
    Draw();
  }
  void Progress(const std::string& file, int32_t done, int32_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = file;
    done_ = done;
    total_ = total;
    Draw();
  }
  void FileDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++filesDone_;
    Draw();
  }
  // Prints a line of its own above the progress line.
  void Print(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    Clear();
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
    Draw();
  }
  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    Clear();
    enabled_ = false;
  }

 private:
  void Clear() {
    if (enabled_ && drawn_) std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
  }
  void Draw() {
    if (!enabled_) return;
    constexpr int BAR_WIDTH = 24;
    const double fraction = total_ > 0 ? std::clamp(static_cast<double>(done_) / total_, 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(fraction * BAR_WIDTH + 0.5);
    std::string name = file_;
    if (name.size() > 32) name = "..." + name.substr(name.size() - 29);
    std::string status = status_;
    if (status.size() > 40) status.resize(40);
    std::fprintf(stderr, "\r\x1b[K[%zu/%zu] %s: %s [%s%s] %3d%%", filesDone_, fileCount_, name.c_str(),
                 status.c_str(), std::string(filled, '#').c_str(),
                 std::string(BAR_WIDTH - filled, '-').c_str(), static_cast<int>(fraction * 100 + 0.5));
    std::fflush(stderr);
    drawn_ = true;
  }

  std::mutex mutex_;
  bool enabled_;
  bool drawn_ = false;
  size_t fileCount_;
  size_t filesDone_ = 0;
  std::string file_, status_;
  int32_t done_ = 0, total_ = 0;
};

// Reads a small regular file whole (a settings block); devices and FIFOs are
// refused, so that nothing waits on a writer that never comes.
bool ReadSmallFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes, std::string& error) {
  struct stat facts {};
  if (stat(path.c_str(), &facts) != 0) {
    error = std::string("cannot read the settings file ") + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(facts.st_mode)) {
    error = "the settings file " + path + " is not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(facts.st_size) > limit) {
    error = path + " is not a settings block: " + std::to_string(facts.st_size) + " bytes, expected " +
            std::to_string(SETTINGS_SIZE);
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    error = "cannot read the settings file " + path;
    return false;
  }
  return true;
}

// No output may replace an input or the other output (output_file.h).
bool CheckOutputsAgainstInputs(const Options& options, std::string& error) {
  std::vector<NamedOutput> outputs;
  if (!options.outputPath.empty()) outputs.push_back({"-o", options.outputPath});
  if (!options.saveSettingsPath.empty()) outputs.push_back({"--save-settings", options.saveSettingsPath});
  if (!options.htmlPath.empty()) outputs.push_back({"--html", options.htmlPath});
  std::vector<std::string> inputs;
  for (const std::string& input : options.inputs) {
    if (input != "-") inputs.push_back(input);
  }
  if (!options.settingsPath.empty()) inputs.push_back(options.settingsPath);
  if (!options.sweepPath.empty()) inputs.push_back(options.sweepPath);
  return CheckOutputPaths(outputs, inputs, error);
}

// Reads and checks the --settings block (empty path: none). False with a
// message on a block that cannot be used.
bool LoadBaseSettings(const std::string& path, std::vector<uint8_t>& baseSettings) {
  if (path.empty()) return true;
  std::string error;
  if (!ReadSmallFile(path, SETTINGS_SIZE, baseSettings, error)) {
    std::fprintf(stderr, "roomstat: %s\n", error.c_str());
    return false;
  }
  if (baseSettings.size() != SETTINGS_SIZE) {
    std::fprintf(stderr, "roomstat: %s is not a settings block: %zu bytes, expected %u\n", path.c_str(),
                 baseSettings.size(), SETTINGS_SIZE);
    return false;
  }
  AnalysisSettings block;
  std::memcpy(&block, baseSettings.data(), sizeof(block));
  if (!CheckSettingsBlock(block, error)) {
    std::fprintf(stderr, "roomstat: %s is refused as a settings block: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

// Parses the options and answers --help and --version. Returns an exit code
// when the program is done, -1 when files are to be analysed.
int StartFromOptions(int argc, char** argv, Options& options) {
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "roomstat: %s\nTry 'roomstat --help'.\n", error.c_str());
    return EXIT_USAGE;
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return EXIT_OK;
  }
  if (!options.version && !CheckOutputsAgainstInputs(options, error)) {
    std::fprintf(stderr, "roomstat: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  if (options.version) {
    XfmInfo info{};
    QueryXfm(&info);
    std::printf("roomstat %s\nplug-in: %.80s\n", ROOMSTAT_VERSION, info.name);
    return EXIT_OK;
  }
  return -1;
}

// Analyses every file on `jobs` threads (0: one per core), in input order
// in the result, showing progress and the plug-in's messages on stderr.
std::vector<FileResult> AnalyseAll(const Options& options, const std::vector<uint8_t>& baseSettings) {
  const size_t fileCount = options.inputs.size();
  const bool several = fileCount > 1;
  ProgressLine progress(!options.quiet && isatty(STDERR_FILENO), fileCount);
  std::vector<FileResult> results(fileCount);
  unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                   : std::max(1u, std::thread::hardware_concurrency());
  jobs = static_cast<unsigned>(std::min<size_t>(jobs, fileCount));
  // One file at a time leaves the other cores to each file's own work.
  Options fileOptions = options;
  fileOptions.spareCore = jobs <= 1 && std::thread::hardware_concurrency() > 1;
  std::atomic<size_t> next{0};
  auto worker = [&]() {
    for (size_t i = next++; i < fileCount; i = next++) {
      const std::string& path = options.inputs[i];
      if (g_stopRequested.load()) {
        results[i].input.path = path;
        results[i].outcome.exitCode = EXIT_INTERRUPTED;
        results[i].outcome.error = "not analysed: interrupted";
        continue;
      }
      RunListener listener;
      listener.onStatus = [&](const std::string& text) { progress.Status(path, text); };
      listener.onProgress = [&](int32_t done, int32_t total) { progress.Progress(path, done, total); };
      listener.onMessage = [&](const PluginMessage& message) {
        std::string line = message.caption.empty() ? message.text : message.caption + ": " + message.text;
        progress.Print(several ? path + ": " + line : line);
        const std::string plain = PlainSentence(message);
        if (!plain.empty()) progress.Print("  " + plain);
      };
      AnalyseFile(path, fileOptions, baseSettings, listener, results[i]);
      const std::string warning = NativeRateWarning(results[i]);
      if (!warning.empty()) progress.Print("roomstat: " + path + ": " + warning);
      progress.FileDone();
    }
  };
  if (jobs <= 1) {
    worker();
  } else {
    std::vector<std::thread> threads;
    for (unsigned j = 0; j < jobs; ++j) threads.emplace_back(worker);
    for (auto& thread : threads) thread.join();
  }
  progress.Finish();
  return results;
}

// One line per failed file (the files that an interruption left out are
// counted in one line), then the values that the settings dialog stored
// otherwise than they were given, each said once. Returns the exit status
// the files give.
// Says once, for a two-channel file analysed without --pair, how to declare
// what its channels are: the ISO spatial quantities need it.
void NoteUndeclaredPair(const Options& options, const std::vector<FileResult>& results) {
  if (options.pair != PairKind::None || options.evaluation == Evaluation::Plugin) return;
  const bool stereo = std::any_of(results.begin(), results.end(), [](const FileResult& r) {
    return r.outcome.haveResults && r.ChannelCount() == 2;
  });
  if (stereo)
    std::fputs(
        "roomstat: no ISO 3382 spatial quantities: say what the two channels are with --pair binaural "
        "(two ears: IACC) or --pair wy (omni first, figure-of-eight second: J_LF)\n",
        stderr);
}

// Says once per file when its selection is much longer than its decay: the
// plug-in's fits then reach into the noise (the cells mark those that do).
void NoteLongSelections(const std::vector<FileResult>& results) {
  for (const FileResult& r : results) {
    if (!r.outcome.haveResults || !SelectionMuchLongerThanDecay(r)) continue;
    const double selection =
        static_cast<double>(r.input.lastFrame - r.input.firstFrame + 1) / r.input.audio.sampleRate;
    std::fprintf(stderr,
                 "roomstat: %s: the selection (%.1f s) is much longer than the decay (it meets the noise "
                 "%.2f s into the selection): decay fits that reach far into the noise are marked "
                 "fit-ends-in-noise; select less of the tail\n",
                 r.input.path.c_str(), selection, LatestTruncationSeconds(r));
  }
}

int ReportFiles(const std::vector<FileResult>& results) {
  int exitCode = EXIT_OK;
  size_t skipped = 0;
  for (const FileResult& r : results) {
    if (r.outcome.exitCode == EXIT_OK) continue;
    if (r.outcome.exitCode == EXIT_INTERRUPTED || exitCode == EXIT_INTERRUPTED)
      exitCode = EXIT_INTERRUPTED;
    else
      exitCode = std::max(exitCode, r.outcome.exitCode);
    if (r.outcome.exitCode == EXIT_INTERRUPTED && r.confirmation.settingsBytes.empty()) {
      ++skipped;
      continue;
    }
    std::fprintf(stderr, "roomstat: %s: %s\n", r.input.path.c_str(), r.outcome.error.c_str());
  }
  if (skipped > 0) std::fprintf(stderr, "roomstat: interrupted: %zu file(s) not analysed\n", skipped);
  std::vector<std::string> said;
  for (const FileResult& r : results) {
    for (const SettingAdjustment& a : r.confirmation.adjustments) {
      char line[200];
      std::snprintf(line, sizeof(line),
                    "roomstat: the settings dialog stored %s = %.9g for the given %.15g\n", a.field.c_str(),
                    a.stored, a.given);
      if (std::find(said.begin(), said.end(), line) != said.end()) continue;
      said.push_back(line);
      std::fputs(line, stderr);
    }
  }
  return exitCode;
}

// The average over the files (asked for, or the HTML report's first
// section when there are several) and the comparison of two.
struct Summaries {
  bool averageAsked = false;
  bool haveAverage = false;
  Average average;
  std::string averageError;
  bool haveComparison = false;
  Comparison comparison;
  std::string comparisonError;
};

Summaries Summarise(const Options& options, const std::vector<FileResult>& results, int& exitCode) {
  Summaries s;
  s.averageAsked = options.average != Options::AverageMode::None;
  if (s.averageAsked || (!options.htmlPath.empty() && results.size() > 1)) {
    const bool allChannels = options.average == Options::AverageMode::AllChannels;
    s.haveAverage =
        ComputeAverage(results, allChannels, s.average, s.averageError, options.averageIncludeFlagged);
    if (!s.haveAverage && s.averageAsked) {
      std::fprintf(stderr, "roomstat: --average: %s\n", s.averageError.c_str());
      if (exitCode == EXIT_OK) exitCode = EXIT_USAGE;
    }
  }
  s.haveComparison = options.compare && CompareFiles(results, s.comparison, s.comparisonError);
  if (options.compare && !s.haveComparison) {
    std::fprintf(stderr, "roomstat: --compare: %s\n", s.comparisonError.c_str());
    if (exitCode == EXIT_OK) exitCode = EXIT_USAGE;
  }
  return s;
}

// The text output in the chosen format.
std::string FormatOutput(OutputFormat format, const Options& options, const std::vector<FileResult>& results,
                         const Summaries& s) {
  const Average* average = s.averageAsked && s.haveAverage ? &s.average : nullptr;
  const Comparison* comparison = s.haveComparison ? &s.comparison : nullptr;
  switch (format) {
    case OutputFormat::Table:
      return FormatTable(results, TableView{options.evaluation, options.pair, options.verbose}) +
             (average ? "\n" + AverageTable(*average) : "") +
             (comparison ? "\n" + ComparisonTable(*comparison) : "");
    case OutputFormat::Report:
      return FormatReport(results) + (average ? "\r\n" + AverageReport(*average) : "") +
             (comparison ? "\r\n" + ComparisonReport(*comparison) : "");
    case OutputFormat::Csv:
      // One table per csv file: the average or the comparison replaces the values.
      return s.averageAsked ? (average ? AverageCsv(*average) : std::string())
             : comparison   ? ComparisonCsv(*comparison)
                            : FormatCsv(results);
    case OutputFormat::Json:
      return FormatJson(results, JsonExtras{s.averageAsked, average, options.compare, comparison});
  }
  return "";
}

// Writes the HTML report, the text output and the confirmed settings block;
// a write that fails raises the exit status to 4 (unless interrupted).
void WriteOutputs(const Options& options, const std::vector<FileResult>& results, const Summaries& s,
                  const std::string& text, int& exitCode) {
  std::string error;
  auto failWrite = [&](const std::string& path, const std::string& why) {
    std::fprintf(stderr, "roomstat: cannot write %s (%s); the previous file, if any, is unchanged\n",
                 path.c_str(), why.c_str());
    if (exitCode != EXIT_INTERRUPTED) exitCode = std::max<int>(exitCode, EXIT_WRITE_FAILED);
  };
  const bool anyResults =
      std::any_of(results.begin(), results.end(), [](const FileResult& r) { return r.outcome.haveResults; });
  if (!options.htmlPath.empty() && !anyResults) {
    std::fprintf(stderr, "roomstat: no file was analysed, %s not written\n", options.htmlPath.c_str());
  } else if (!options.htmlPath.empty()) {
    HtmlExtras extras;
    if (results.size() > 1 || s.averageAsked) {
      extras.average = s.haveAverage ? &s.average : nullptr;
      extras.averageError = s.haveAverage ? "" : s.averageError;
    }
    if (options.compare) {
      extras.comparison = s.haveComparison ? &s.comparison : nullptr;
      extras.comparisonError = s.comparisonError;
    }
    const std::string html = FormatHtml(results, extras);
    if (!WriteFileAtomically(options.htmlPath, html.data(), html.size(), error))
      failWrite(options.htmlPath, error);
  }
  // With --html, standard output gets the usual output only when asked for.
  const bool printText = options.htmlPath.empty() || options.format || !options.outputPath.empty();
  if (!printText) {
    // Nothing more to write.
  } else if (options.outputPath.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) failWrite("standard output", std::strerror(errno));
  } else if (!anyResults) {
    std::fprintf(stderr, "roomstat: no file was analysed, %s not written\n", options.outputPath.c_str());
  } else if (!WriteFileAtomically(options.outputPath, text.data(), text.size(), error)) {
    failWrite(options.outputPath, error);
  }
  if (options.saveSettingsPath.empty()) return;
  const auto confirmed = std::find_if(results.begin(), results.end(), [](const FileResult& r) {
    return !r.confirmation.settingsBytes.empty();
  });
  if (confirmed == results.end()) {
    std::fprintf(stderr, "roomstat: no settings were confirmed, %s not written\n",
                 options.saveSettingsPath.c_str());
  } else if (!WriteFileAtomically(options.saveSettingsPath, confirmed->confirmation.settingsBytes.data(),
                                  confirmed->confirmation.settingsBytes.size(), error)) {
    failWrite(options.saveSettingsPath, error);
  }
}

int Run(int argc, char** argv) {
  Options options;
  const int done = StartFromOptions(argc, argv, options);
  if (done >= 0) return done;
  std::vector<uint8_t> baseSettings;
  if (!LoadBaseSettings(options.settingsPath, baseSettings)) return EXIT_USAGE;
  const OutputFormat format =
      options.format ? *options.format
                     : (options.outputPath.empty() && isatty(STDOUT_FILENO) ? OutputFormat::Table
                                                                            : OutputFormat::Report);
  InstallInterruptHandlers();
  const std::vector<FileResult> results = AnalyseAll(options, baseSettings);
  int exitCode = ReportFiles(results);
  NoteUndeclaredPair(options, results);
  NoteLongSelections(results);
  const Summaries summaries = Summarise(options, results, exitCode);
  const std::string text = FormatOutput(format, options, results, summaries);
  // An interruption decides the exit status, even when the files that were
  // running when it came completed their analyses.
  if (g_stopRequested.load()) exitCode = EXIT_INTERRUPTED;
  WriteOutputs(options, results, summaries, text, exitCode);
  // An interrupt that came during the writes decides the status too.
  if (g_stopRequested.load()) exitCode = EXIT_INTERRUPTED;
  return exitCode;
}

}  // namespace
}  // namespace cli

#ifdef ROOMSTAT_JEMALLOC
extern "C" {
const char* malloc_conf = ROOMSTAT_JEMALLOC_OPTIONS;
}
#endif

int main(int argc, char** argv) {
  cli::AlignAllocatorMappings();
  if (argc >= 2 && (std::strcmp(argv[1], "sweep") == 0 || std::strcmp(argv[1], "deconvolve") == 0))
    return cli::RunSweepSubcommand(argc, argv);
  try {
    return cli::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "roomstat: %s\n", e.what());
    return 2;
  }
}
