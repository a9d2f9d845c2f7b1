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

#include "host/cli/analysis.h"
#include "host/cli/average.h"
#include "host/cli/html_report.h"
#include "host/cli/interrupts.h"
#include "host/cli/messages.h"
#include "host/cli/options.h"
#include "host/cli/output.h"
#include "host/cli/output_file.h"
#include "host/cli/settings_check.h"
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
  return CheckOutputPaths(outputs, inputs, error);
}

int Run(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "roomstat: %s\nTry 'roomstat --help'.\n", error.c_str());
    return EXIT_USAGE;
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return EXIT_OK;
  }
  if (!options.help && !options.version && !CheckOutputsAgainstInputs(options, error)) {
    std::fprintf(stderr, "roomstat: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  if (options.version) {
    XfmInfo info{};
    QueryXfm(&info);
    std::printf("roomstat %s\nplug-in: %.80s\n", ROOMSTAT_VERSION, info.name);
    return EXIT_OK;
  }
  std::vector<uint8_t> baseSettings;
  if (!options.settingsPath.empty()) {
    if (!ReadSmallFile(options.settingsPath, SETTINGS_SIZE, baseSettings, error)) {
      std::fprintf(stderr, "roomstat: %s\n", error.c_str());
      return EXIT_USAGE;
    }
    if (baseSettings.size() != SETTINGS_SIZE) {
      std::fprintf(stderr, "roomstat: %s is not a settings block: %zu bytes, expected %u\n",
                   options.settingsPath.c_str(), baseSettings.size(), SETTINGS_SIZE);
      return EXIT_USAGE;
    }
    AnalysisSettings block;
    std::memcpy(&block, baseSettings.data(), sizeof(block));
    if (!CheckSettingsBlock(block, error)) {
      std::fprintf(stderr, "roomstat: %s is refused as a settings block: %s\n", options.settingsPath.c_str(),
                   error.c_str());
      return EXIT_USAGE;
    }
  }
  const OutputFormat format =
      options.format ? *options.format
                     : (options.outputPath.empty() && isatty(STDOUT_FILENO) ? OutputFormat::Table
                                                                            : OutputFormat::Report);

  InstallInterruptHandlers();
  const size_t fileCount = options.inputs.size();
  const bool several = fileCount > 1;
  ProgressLine progress(!options.quiet && isatty(STDERR_FILENO), fileCount);

  std::vector<FileResult> results(fileCount);
  std::atomic<size_t> next{0};
  auto worker = [&]() {
    for (size_t i = next++; i < fileCount; i = next++) {
      const std::string& path = options.inputs[i];
      if (g_stopRequested.load()) {
        results[i].path = path;
        results[i].exitCode = EXIT_INTERRUPTED;
        results[i].error = "not analysed: interrupted";
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
      AnalyseFile(path, options, baseSettings, listener, results[i]);
      const std::string warning = NativeRateWarning(results[i]);
      if (!warning.empty()) progress.Print("roomstat: " + path + ": " + warning);
      progress.FileDone();
    }
  };
  unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                   : std::max(1u, std::thread::hardware_concurrency());
  jobs = static_cast<unsigned>(std::min<size_t>(jobs, fileCount));
  if (jobs <= 1) {
    worker();
  } else {
    std::vector<std::thread> threads;
    for (unsigned j = 0; j < jobs; ++j) threads.emplace_back(worker);
    for (auto& thread : threads) thread.join();
  }
  progress.Finish();

  // One line per failed file; the files that an interruption left out are
  // counted in one line.
  int exitCode = EXIT_OK;
  size_t skipped = 0;
  for (const FileResult& r : results) {
    if (r.exitCode == EXIT_OK) continue;
    if (r.exitCode == EXIT_INTERRUPTED || exitCode == EXIT_INTERRUPTED)
      exitCode = EXIT_INTERRUPTED;
    else
      exitCode = std::max(exitCode, r.exitCode);
    if (r.exitCode == EXIT_INTERRUPTED && r.settingsBytes.empty()) {
      ++skipped;
      continue;
    }
    std::fprintf(stderr, "roomstat: %s: %s\n", r.path.c_str(), r.error.c_str());
  }
  if (skipped > 0) std::fprintf(stderr, "roomstat: interrupted: %zu file(s) not analysed\n", skipped);
  // Values that the settings dialog stored otherwise than they were given,
  // each said once (the same options give the same changes in every file).
  std::vector<std::string> said;
  for (const FileResult& r : results) {
    for (const SettingAdjustment& a : r.adjustments) {
      char line[200];
      std::snprintf(line, sizeof(line),
                    "roomstat: the settings dialog stored %s = %.9g for the given %.15g\n", a.field.c_str(),
                    a.stored, a.given);
      if (std::find(said.begin(), said.end(), line) != said.end()) continue;
      said.push_back(line);
      std::fputs(line, stderr);
    }
  }

  // The average over the files (asked for, or the HTML report's first
  // section when there are several) and the comparison of two.
  Average average;
  std::string averageError;
  const bool averageAsked = options.average != Options::AverageMode::None;
  bool haveAverage = false;
  if (averageAsked || (!options.htmlPath.empty() && fileCount > 1)) {
    const bool allChannels = options.average == Options::AverageMode::AllChannels;
    haveAverage = ComputeAverage(results, allChannels, average, averageError);
    if (!haveAverage && averageAsked) {
      std::fprintf(stderr, "roomstat: --average: %s\n", averageError.c_str());
      if (exitCode == EXIT_OK) exitCode = EXIT_USAGE;
    }
  }
  Comparison comparison;
  std::string comparisonError;
  const bool haveComparison = options.compare && CompareFiles(results, comparison, comparisonError);
  if (options.compare && !haveComparison) {
    std::fprintf(stderr, "roomstat: --compare: %s\n", comparisonError.c_str());
    if (exitCode == EXIT_OK) exitCode = EXIT_USAGE;
  }

  std::string text;
  switch (format) {
    case OutputFormat::Table:
      text = FormatTable(results);
      if (averageAsked && haveAverage) text += "\n" + AverageTable(average);
      if (haveComparison) text += "\n" + ComparisonTable(comparison);
      break;
    case OutputFormat::Report:
      text = FormatReport(results);
      if (averageAsked && haveAverage) text += "\r\n" + AverageReport(average);
      if (haveComparison) text += "\r\n" + ComparisonReport(comparison);
      break;
    case OutputFormat::Csv:
      // One table per csv file: the average or the comparison replaces the values.
      text = averageAsked     ? (haveAverage ? AverageCsv(average) : std::string())
             : haveComparison ? ComparisonCsv(comparison)
                              : FormatCsv(results);
      break;
    case OutputFormat::Json:
      text = FormatJson(results);
      if (averageAsked || options.compare) {
        text.pop_back();  // the array's closing newline
        text = "{\n\"files\": " + text;
        if (averageAsked) text += ",\n\"average\": " + (haveAverage ? AverageJson(average, "") : "null");
        if (options.compare) {
          text += ",\n\"comparison\": " + (haveComparison ? ComparisonJson(comparison, "") : "null");
        }
        text += "\n}\n";
      }
      break;
  }
  // An interruption decides the exit status, even when the files that were
  // running when it came completed their analyses.
  if (g_stopRequested.load()) exitCode = EXIT_INTERRUPTED;
  const bool anyResults =
      std::any_of(results.begin(), results.end(), [](const FileResult& r) { return r.haveResults; });
  auto failWrite = [&](const std::string& path, const std::string& why) {
    std::fprintf(stderr, "roomstat: cannot write %s (%s); the previous file, if any, is unchanged\n",
                 path.c_str(), why.c_str());
    if (exitCode != EXIT_INTERRUPTED) exitCode = std::max<int>(exitCode, EXIT_WRITE_FAILED);
  };
  if (!options.htmlPath.empty() && !anyResults) {
    std::fprintf(stderr, "roomstat: no file was analysed, %s not written\n", options.htmlPath.c_str());
  } else if (!options.htmlPath.empty()) {
    HtmlExtras extras;
    if (fileCount > 1 || averageAsked) {
      extras.average = haveAverage ? &average : nullptr;
      extras.averageError = haveAverage ? "" : averageError;
    }
    if (options.compare) {
      extras.comparison = haveComparison ? &comparison : nullptr;
      extras.comparisonError = comparisonError;
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

  if (!options.saveSettingsPath.empty()) {
    const auto confirmed = std::find_if(results.begin(), results.end(),
                                        [](const FileResult& r) { return !r.settingsBytes.empty(); });
    if (confirmed == results.end()) {
      std::fprintf(stderr, "roomstat: no settings were confirmed, %s not written\n",
                   options.saveSettingsPath.c_str());
    } else if (!WriteFileAtomically(options.saveSettingsPath, confirmed->settingsBytes.data(),
                                    confirmed->settingsBytes.size(), error)) {
      failWrite(options.saveSettingsPath, error);
    }
  }
  // An interrupt that came during the writes decides the status too.
  if (g_stopRequested.load()) exitCode = EXIT_INTERRUPTED;
  return exitCode;
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
  try {
    return cli::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "roomstat: %s\n", e.what());
    return 2;
  }
}
