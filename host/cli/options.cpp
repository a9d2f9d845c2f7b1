#include "host/cli/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace cli {

const char* UsageText() {
  return "Usage: roomstat [OPTIONS] FILE...\n"
         "Room-acoustical parameters of measured impulse responses (mono or stereo).\n"
         "\n"
         "Settings (typed into the plug-in's settings dialog, which clamps them):\n"
         "  --rtu START,END          user-defined decay range in dB (default -5,-15)\n"
         "  --threshold N|auto       first-arrival threshold of W (or the only channel),\n"
         "                           0..32767 in the 16-bit sample scale; auto (default): 20 dB\n"
         "                           below the peak of the selection's weaker channel\n"
         "  --y-threshold N          threshold of Y (the second channel), 0..32767; unticks Lock\n"
         "  --boost DB               gain of W's energy in LF, -100..100 (default 3)\n"
         "  --no-noise-correction    do not subtract the noise floor\n"
         "  --noise-correction       subtract it (the default)\n"
         "  --third-octave           27 one-third-octave bands instead of octaves\n"
         "  --octave                 octave bands (the default)\n"
         "  --native-rate            keep the file's rate instead of resampling to\n"
         "                           44100 Hz: bands lie at nominal x rate / 44100\n"
         "  --settings FILE          start from a saved 586-byte settings block\n"
         "  --save-settings FILE     write the confirmed settings block\n"
         "\n"
         "Selection:\n"
         "  --start SECONDS          first frame at this time (default 0)\n"
         "  --end SECONDS            last frame at this time (default: end of file)\n"
         "  --frames FIRST:LAST      frames by index, 0-based and inclusive\n"
         "  --channels A[,B]         the file's channels to analyse, 1-based\n"
         "\n"
         "Output:\n"
         "  --format table|report|csv|json\n"
         "                           default: table on a terminal, report otherwise\n"
         "  -o, --output FILE        write to FILE instead of standard output\n"
         "  --html FILE              write a self-contained HTML room report with decay\n"
         "                           curves, fits and charts against frequency (then\n"
         "                           standard output only with --format or -o)\n"
         "  --average [all]          mean, standard deviation and count over the files\n"
         "                           per channel (mono, left, right), or over all\n"
         "                           channels; csv then gives the average table alone\n"
         "  --compare                differences of exactly two files, flagged above\n"
         "                           one just-noticeable difference (ISO 3382-1)\n"
         "  -j, --jobs N             files analysed in parallel (default: cores)\n"
         "  -q, --quiet              no progress bar\n"
         "  -h, --help               this text\n"
         "  -V, --version            version\n"
         "\n"
         "Exit status: 0 results for every file, 1 usage error, 2 a file that cannot\n"
         "be read or used, 3 an analysis that ended without results, 4 an output file\n"
         "that cannot be written (the previous one is left as it was), 5 a selection\n"
         "refused (silent, shorter than 50 ms, or no decay), 130 interrupted.\n"
         "See roomstat(1) for the reason codes of missing values.\n";
}

bool IsNumberText(const std::string& text) {
  // What the dialog's fields read: a decimal number (no hexadecimal, no
  // "inf" or "nan"), within the 38 characters that a field holds.
  if (text.empty() || text.size() > MAX_FIELD_TEXT) return false;
  size_t at = 0;
  if (text[at] == '+' || text[at] == '-') ++at;
  size_t digits = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at, ++digits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at, ++digits;
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    size_t exponentDigits = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return at == text.size() && std::isfinite(std::strtod(text.c_str(), nullptr));
}

bool IsThresholdText(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return std::atol(text.c_str()) <= MAX_THRESHOLD;
}

namespace {

bool ParseInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

bool SplitPair(const std::string& text, char separator, std::string& first, std::string& second) {
  const size_t at = text.find(separator);
  if (at == std::string::npos) return false;
  first = text.substr(0, at);
  second = text.substr(at + 1);
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  bool onlyFiles = false;
  bool thresholdGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
      options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyFiles = true;
      continue;
    }
    std::string name = arg, inlineValue;
    bool hasInline = false;
    if (arg.size() > 2 && arg[1] != '-' && (arg[1] == 'j' || arg[1] == 'o')) {
      // Attached value of a short option: -j4, -oFILE.
      name = arg.substr(0, 2);
      inlineValue = arg.substr(2);
      hasInline = true;
    } else if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
        hasInline = true;
      }
    }
    auto value = [&](std::string& out) -> bool {
      if (hasInline) {
        out = inlineValue;
        return true;
      }
      if (i + 1 >= argc) {
        error = "option " + name + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto noValue = [&]() -> bool {
      if (hasInline) {
        error = "option " + name + " takes no value";
        return false;
      }
      return true;
    };
    std::string v;
    if (name == "-h" || name == "--help") {
      if (!noValue()) return false;
      options.help = true;
    } else if (name == "-V" || name == "--version") {
      if (!noValue()) return false;
      options.version = true;
    } else if (name == "-q" || name == "--quiet") {
      if (!noValue()) return false;
      options.quiet = true;
    } else if (name == "--format") {
      if (!value(v)) return false;
      if (v == "table")
        options.format = OutputFormat::Table;
      else if (v == "report")
        options.format = OutputFormat::Report;
      else if (v == "csv")
        options.format = OutputFormat::Csv;
      else if (v == "json")
        options.format = OutputFormat::Json;
      else {
        error = "unknown format '" + v + "' (table, report, csv or json)";
        return false;
      }
    } else if (name == "-o" || name == "--output") {
      if (!value(options.outputPath)) return false;
      if (options.outputPath.empty()) {
        error = "empty output file name";
        return false;
      }
    } else if (name == "--html") {
      if (!value(options.htmlPath)) return false;
      if (options.htmlPath.empty()) {
        error = "empty HTML file name";
        return false;
      }
    } else if (name == "--average") {
      // The word after it is its value only when it is one of the two modes.
      std::string mode = hasInline ? inlineValue : "";
      const bool modeFollows =
          i + 1 < argc && (std::strcmp(argv[i + 1], "all") == 0 || std::strcmp(argv[i + 1], "channel") == 0);
      if (!hasInline && modeFollows) mode = argv[++i];
      if (mode == "all")
        options.average = Options::AverageMode::AllChannels;
      else if (mode.empty() || mode == "channel")
        options.average = Options::AverageMode::PerChannel;
      else {
        error = "--average takes 'all' or 'channel', not '" + mode + "'";
        return false;
      }
    } else if (name == "--compare") {
      if (!noValue()) return false;
      options.compare = true;
    } else if (name == "-j" || name == "--jobs") {
      if (!value(v)) return false;
      long long jobs = 0;
      if (!ParseInteger(v, jobs) || jobs < 1 || jobs > 256) {
        error = "--jobs needs a whole number from 1 to 256, not '" + v + "'";
        return false;
      }
      options.jobs = static_cast<int>(jobs);
    } else if (name == "--rtu") {
      if (!value(v)) return false;
      std::string a, b;
      if (!SplitPair(v, ',', a, b) || !IsNumberText(a) || !IsNumberText(b)) {
        error = "--rtu needs two decimal numbers in dB, as START,END (e.g. -5,-25), not '" + v + "'";
        return false;
      }
      options.rtuStartText = a;
      options.rtuEndText = b;
    } else if (name == "--threshold") {
      if (!value(v)) return false;
      thresholdGiven = true;
      if (v == "auto") {
        options.thresholdMode = ThresholdMode::Auto;
      } else if (IsThresholdText(v)) {
        options.thresholdMode = ThresholdMode::Given;
        options.thresholdText = v;
      } else {
        error = "--threshold needs a whole number from 0 to 32767 or 'auto', not '" + v + "'";
        return false;
      }
    } else if (name == "--y-threshold") {
      if (!value(v)) return false;
      if (!IsThresholdText(v)) {
        error = "--y-threshold needs a whole number from 0 to 32767, not '" + v + "'";
        return false;
      }
      options.yThresholdText = v;
    } else if (name == "--boost") {
      if (!value(v)) return false;
      if (!IsNumberText(v) || std::fabs(std::strtod(v.c_str(), nullptr)) > MAX_BOOST_DB) {
        error = "--boost needs a number of dB from -100 to 100, not '" + v + "'";
        return false;
      }
      options.boostText = v;
    } else if (name == "--no-noise-correction") {
      if (!noValue()) return false;
      options.noiseCorrection = false;
    } else if (name == "--noise-correction") {
      if (!noValue()) return false;
      options.noiseCorrection = true;
    } else if (name == "--third-octave") {
      if (!noValue()) return false;
      options.thirdOctave = true;
    } else if (name == "--octave") {
      if (!noValue()) return false;
      options.thirdOctave = false;
    } else if (name == "--native-rate") {
      if (!noValue()) return false;
      options.nativeRate = true;
    } else if (name == "--settings") {
      if (!value(options.settingsPath)) return false;
    } else if (name == "--save-settings") {
      if (!value(options.saveSettingsPath)) return false;
    } else if (name == "--start" || name == "--end") {
      if (!value(v)) return false;
      if (!IsNumberText(v) || std::strtod(v.c_str(), nullptr) < 0) {
        error = name + " needs a time in seconds, 0 or more, not '" + v + "'";
        return false;
      }
      (name == "--start" ? options.startSeconds : options.endSeconds) = std::strtod(v.c_str(), nullptr);
    } else if (name == "--frames") {
      if (!value(v)) return false;
      std::string a, b;
      long long first = 0, last = 0;
      if (!SplitPair(v, ':', a, b) || !ParseInteger(a, first) || !ParseInteger(b, last) || first < 0 ||
          last < first) {
        error = "--frames needs FIRST:LAST, whole numbers with 0 <= FIRST <= LAST, not '" + v + "'";
        return false;
      }
      options.firstFrame = static_cast<uint64_t>(first);
      options.lastFrame = static_cast<uint64_t>(last);
    } else if (name == "--channels") {
      if (!value(v)) return false;
      std::string a = v, b;
      const bool two = SplitPair(v, ',', a, b);
      long long ca = 0, cb = 0;
      if (!ParseInteger(a, ca) || ca < 1 || (two && (!ParseInteger(b, cb) || cb < 1)) || ca > 65535 ||
          cb > 65535) {
        error = "--channels needs one or two channel numbers from 1, as A or A,B, not '" + v + "'";
        return false;
      }
      options.channels = {static_cast<int>(ca)};
      if (two) options.channels.push_back(static_cast<int>(cb));
    } else {
      error = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (options.help || options.version) return true;
  // A saved block keeps its own thresholds unless the user asks otherwise.
  if (!options.settingsPath.empty() && !thresholdGiven) options.thresholdMode = ThresholdMode::Keep;
  if ((options.startSeconds || options.endSeconds) && options.firstFrame) {
    error = "--frames cannot be combined with --start or --end";
    return false;
  }
  if (options.startSeconds && options.endSeconds && *options.endSeconds < *options.startSeconds) {
    error = "--end lies before --start";
    return false;
  }
  if (options.inputs.empty()) {
    error = "no input file";
    return false;
  }
  if (std::count(options.inputs.begin(), options.inputs.end(), "-") > 1) {
    error = "standard input (-) can be read only once";
    return false;
  }
  if (options.compare && options.inputs.size() != 2) {
    error = "--compare needs exactly two files";
    return false;
  }
  if (options.compare && options.average != Options::AverageMode::None) {
    error = "--compare and --average cannot be combined";
    return false;
  }
  return true;
}

}  // namespace cli
