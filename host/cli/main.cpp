// roomstat: analyses room impulse responses with the plug-in, driving it as a
// host editor would (settings dialog, run, results dialog, clipboard), and
// prints what the plug-in computed as a table, the copied report, csv or json.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/cli/analysis.h"
#include "host/cli/options.h"
#include "host/cli/output.h"
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
    std::fprintf(stderr, "\r\x1b[K[%zu/%zu] %s: %s [%s%s] %3d%%", filesDone_, fileCount_, name.c_str(), status.c_str(),
                 std::string(filled, '#').c_str(), std::string(BAR_WIDTH - filled, '-').c_str(),
                 static_cast<int>(fraction * 100 + 0.5));
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

extern "C" void OnInterrupt(int) { g_stopRequested.store(true); }

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // A second Ctrl-C ends the program at once.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out.flush());
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
  if (options.version) {
    XfmInfo info{};
    QueryXfm(&info);
    std::printf("roomstat %s\nplug-in: %.80s\n", ROOMSTAT_VERSION, info.name);
    return EXIT_OK;
  }
  std::vector<uint8_t> baseSettings;
  if (!options.settingsPath.empty()) {
    if (!ReadFileBytes(options.settingsPath, baseSettings)) {
      std::fprintf(stderr, "roomstat: cannot read the settings file %s\n", options.settingsPath.c_str());
      return EXIT_USAGE;
    }
    if (baseSettings.size() != SETTINGS_SIZE) {
      std::fprintf(stderr, "roomstat: %s is not a settings block: %zu bytes, expected %u\n",
                   options.settingsPath.c_str(), baseSettings.size(), SETTINGS_SIZE);
      return EXIT_USAGE;
    }
  }
  const OutputFormat format =
      options.format ? *options.format
                     : (options.outputPath.empty() && isatty(STDOUT_FILENO) ? OutputFormat::Table : OutputFormat::Report);

  InstallInterruptHandler();
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
      };
      AnalyseFile(path, options, baseSettings, listener, results[i]);
      progress.FileDone();
    }
  };
  unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs) : std::max(1u, std::thread::hardware_concurrency());
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
    if (r.exitCode == EXIT_INTERRUPTED || exitCode == EXIT_INTERRUPTED) exitCode = EXIT_INTERRUPTED;
    else exitCode = std::max(exitCode, r.exitCode);
    if (r.exitCode == EXIT_INTERRUPTED && r.settingsBytes.empty()) {
      ++skipped;
      continue;
    }
    std::fprintf(stderr, "roomstat: %s: %s\n", r.path.c_str(), r.error.c_str());
  }
  if (skipped > 0) std::fprintf(stderr, "roomstat: interrupted: %zu file(s) not analysed\n", skipped);

  std::string text;
  switch (format) {
    case OutputFormat::Table: text = FormatTable(results); break;
    case OutputFormat::Report: text = FormatReport(results); break;
    case OutputFormat::Csv: text = FormatCsv(results); break;
    case OutputFormat::Json: text = FormatJson(results); break;
  }
  if (options.outputPath.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  } else if (!WriteFileBytes(options.outputPath, text.data(), text.size())) {
    std::fprintf(stderr, "roomstat: cannot write %s\n", options.outputPath.c_str());
    if (exitCode == EXIT_OK) exitCode = EXIT_USAGE;
  }

  if (!options.saveSettingsPath.empty()) {
    const auto confirmed = std::find_if(results.begin(), results.end(),
                                        [](const FileResult& r) { return !r.settingsBytes.empty(); });
    if (confirmed == results.end()) {
      std::fprintf(stderr, "roomstat: no settings were confirmed, %s not written\n", options.saveSettingsPath.c_str());
    } else if (!WriteFileBytes(options.saveSettingsPath, confirmed->settingsBytes.data(),
                               confirmed->settingsBytes.size())) {
      std::fprintf(stderr, "roomstat: cannot write %s\n", options.saveSettingsPath.c_str());
      if (exitCode == EXIT_OK) exitCode = EXIT_USAGE;
    }
  }
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
