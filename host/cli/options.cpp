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
         "  --sweep SWEEP            every FILE is a recording of the sweep file SWEEP\n"
         "                           (roomstat sweep): its deconvolved response is analysed\n"
         "\n"
         "ISO 3382 evaluation (beside the plug-in's values, labelled \"ISO 3382\"):\n"
         "  --evaluation plugin|iso|both\n"
         "                           which evaluations to show (default both)\n"
         "  --pair binaural|wy       what the two channels are: two ears (IACC early,\n"
         "                           late, all) or omni + figure-of-eight, omni first\n"
         "                           (J_LF, J_LFC); without it no ISO spatial quantity\n"
         "  --figure8-gain DB        the figure-of-eight's sensitivity relative to the\n"
         "                           omni's on its main axis (default 0, needs --pair wy)\n"
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
         "  --average-include-flagged\n"
         "                           keep values with a warning in the means (left out\n"
         "                           by default)\n"
         "  --compare                differences of exactly two files, flagged above\n"
         "                           one just-noticeable difference (ISO 3382-1)\n"
         "  -j, --jobs N             files analysed in parallel (default: cores)\n"
         "  -q, --quiet              no progress bar\n"
         "  -v, --verbose            the table also gives implementation notes (the\n"
         "                           scaling of float samples)\n"
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
  return std::atol(text.c_str()) <= THRESHOLD_HIGHEST;
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

namespace {

// How an option takes its value: none, the next word (or an attached one:
// -j4, --format=json), or --average's optional mode word.
enum class Takes { Nothing, Value, Mode };

typedef bool (*Apply)(Options& options, const std::string& name, const std::string& value,
                      std::string& error);

struct OptionEntry {
  const char* shortName;  // "" when there is none
  const char* longName;
  Takes takes;
  Apply apply;
};

bool SetFormat(Options& o, const std::string&, const std::string& v, std::string& error) {
  static const std::pair<const char*, OutputFormat> FORMATS[] = {{"table", OutputFormat::Table},
                                                                 {"report", OutputFormat::Report},
                                                                 {"csv", OutputFormat::Csv},
                                                                 {"json", OutputFormat::Json}};
  for (const auto& [word, format] : FORMATS) {
    if (v == word) {
      o.format = format;
      return true;
    }
  }
  error = "unknown format '" + v + "' (table, report, csv or json)";
  return false;
}

bool SetOutput(Options& o, const std::string&, const std::string& v, std::string& error) {
  o.outputPath = v;
  if (v.empty()) error = "empty output file name";
  return !v.empty();
}

bool SetHtml(Options& o, const std::string&, const std::string& v, std::string& error) {
  o.htmlPath = v;
  if (v.empty()) error = "empty HTML file name";
  return !v.empty();
}

bool SetAverage(Options& o, const std::string&, const std::string& mode, std::string& error) {
  if (mode == "all") {
    o.average = Options::AverageMode::AllChannels;
  } else if (mode.empty() || mode == "channel") {
    o.average = Options::AverageMode::PerChannel;
  } else {
    error = "--average takes 'all' or 'channel', not '" + mode + "'";
    return false;
  }
  return true;
}

bool SetJobs(Options& o, const std::string&, const std::string& v, std::string& error) {
  long long jobs = 0;
  if (!ParseInteger(v, jobs) || jobs < 1 || jobs > 256) {
    error = "--jobs needs a whole number from 1 to 256, not '" + v + "'";
    return false;
  }
  o.jobs = static_cast<int>(jobs);
  return true;
}

bool SetRtu(Options& o, const std::string&, const std::string& v, std::string& error) {
  std::string a, b;
  if (!SplitPair(v, ',', a, b) || !IsNumberText(a) || !IsNumberText(b)) {
    error = "--rtu needs two decimal numbers in dB, as START,END (e.g. -5,-25), not '" + v + "'";
    return false;
  }
  o.rtuStartText = a;
  o.rtuEndText = b;
  return true;
}

bool SetThreshold(Options& o, const std::string&, const std::string& v, std::string& error) {
  o.thresholdGiven = true;
  if (v == "auto") {
    o.thresholdMode = ThresholdMode::Auto;
  } else if (IsThresholdText(v)) {
    o.thresholdMode = ThresholdMode::Given;
    o.thresholdText = v;
  } else {
    error = "--threshold needs a whole number from 0 to 32767 or 'auto', not '" + v + "'";
    return false;
  }
  return true;
}

bool SetYThreshold(Options& o, const std::string&, const std::string& v, std::string& error) {
  if (!IsThresholdText(v)) {
    error = "--y-threshold needs a whole number from 0 to 32767, not '" + v + "'";
    return false;
  }
  o.yThresholdText = v;
  return true;
}

bool SetBoost(Options& o, const std::string&, const std::string& v, std::string& error) {
  if (!IsNumberText(v) || std::fabs(std::strtod(v.c_str(), nullptr)) > BOOST_LIMIT_DB) {
    error = "--boost needs a number of dB from -100 to 100, not '" + v + "'";
    return false;
  }
  o.boostText = v;
  return true;
}

bool SetTime(Options& o, const std::string& name, const std::string& v, std::string& error) {
  if (!IsNumberText(v) || std::strtod(v.c_str(), nullptr) < 0) {
    error = name + " needs a time in seconds, 0 or more, not '" + v + "'";
    return false;
  }
  (name == "--start" ? o.startSeconds : o.endSeconds) = std::strtod(v.c_str(), nullptr);
  return true;
}

bool SetFrames(Options& o, const std::string&, const std::string& v, std::string& error) {
  std::string a, b;
  long long first = 0, last = 0;
  if (!SplitPair(v, ':', a, b) || !ParseInteger(a, first) || !ParseInteger(b, last) || first < 0 ||
      last < first) {
    error = "--frames needs FIRST:LAST, whole numbers with 0 <= FIRST <= LAST, not '" + v + "'";
    return false;
  }
  o.firstFrame = static_cast<uint64_t>(first);
  o.lastFrame = static_cast<uint64_t>(last);
  return true;
}

bool SetChannels(Options& o, const std::string&, const std::string& v, std::string& error) {
  std::string a = v, b;
  const bool two = SplitPair(v, ',', a, b);
  long long ca = 0, cb = 0;
  if (!ParseInteger(a, ca) || ca < 1 || (two && (!ParseInteger(b, cb) || cb < 1)) || ca > 65535 ||
      cb > 65535) {
    error = "--channels needs one or two channel numbers from 1, as A or A,B, not '" + v + "'";
    return false;
  }
  o.channels = {static_cast<int>(ca)};
  if (two) o.channels.push_back(static_cast<int>(cb));
  return true;
}

bool SetEvaluation(Options& o, const std::string&, const std::string& v, std::string& error) {
  static const std::pair<const char*, Evaluation> WORDS[] = {
      {"both", Evaluation::Both}, {"plugin", Evaluation::Plugin}, {"iso", Evaluation::Iso}};
  for (const auto& [word, evaluation] : WORDS) {
    if (v == word) {
      o.evaluation = evaluation;
      return true;
    }
  }
  error = "--evaluation takes plugin, iso or both, not '" + v + "'";
  return false;
}

bool SetPair(Options& o, const std::string&, const std::string& v, std::string& error) {
  if (v == "binaural") {
    o.pair = PairKind::Binaural;
  } else if (v == "wy") {
    o.pair = PairKind::OmniFigure8;
  } else {
    error = "--pair takes binaural (two ears) or wy (omni first, figure-of-eight second), not '" + v + "'";
    return false;
  }
  return true;
}

bool SetFigure8Gain(Options& o, const std::string&, const std::string& v, std::string& error) {
  const double gain = std::strtod(v.c_str(), nullptr);
  if (!IsNumberText(v) || std::fabs(gain) > FIGURE8_GAIN_LIMIT_DB) {
    error = "--figure8-gain needs a number of dB from -40 to 40, not '" + v + "'";
    return false;
  }
  o.figure8GainDb = gain;
  return true;
}

bool SetSweep(Options& o, const std::string&, const std::string& v, std::string& error) {
  o.sweepPath = v;
  if (v.empty()) error = "empty sweep file name";
  return !v.empty();
}

// A switch that sets one member.
template <auto Member, auto Value>
bool Switch(Options& o, const std::string&, const std::string&, std::string&) {
  o.*Member = Value;
  return true;
}

template <auto Member>
bool SetPath(Options& o, const std::string&, const std::string& v, std::string&) {
  o.*Member = v;
  return true;
}

const OptionEntry OPTIONS[] = {
    {"-h", "--help", Takes::Nothing, Switch<&Options::help, true>},
    {"-V", "--version", Takes::Nothing, Switch<&Options::version, true>},
    {"-q", "--quiet", Takes::Nothing, Switch<&Options::quiet, true>},
    {"-v", "--verbose", Takes::Nothing, Switch<&Options::verbose, true>},
    {"", "--format", Takes::Value, SetFormat},
    {"-o", "--output", Takes::Value, SetOutput},
    {"", "--html", Takes::Value, SetHtml},
    {"", "--average", Takes::Mode, SetAverage},
    {"", "--compare", Takes::Nothing, Switch<&Options::compare, true>},
    {"", "--average-include-flagged", Takes::Nothing, Switch<&Options::averageIncludeFlagged, true>},
    {"-j", "--jobs", Takes::Value, SetJobs},
    {"", "--rtu", Takes::Value, SetRtu},
    {"", "--threshold", Takes::Value, SetThreshold},
    {"", "--y-threshold", Takes::Value, SetYThreshold},
    {"", "--boost", Takes::Value, SetBoost},
    {"", "--no-noise-correction", Takes::Nothing, Switch<&Options::noiseCorrection, false>},
    {"", "--noise-correction", Takes::Nothing, Switch<&Options::noiseCorrection, true>},
    {"", "--third-octave", Takes::Nothing, Switch<&Options::thirdOctave, true>},
    {"", "--octave", Takes::Nothing, Switch<&Options::thirdOctave, false>},
    {"", "--native-rate", Takes::Nothing, Switch<&Options::nativeRate, true>},
    {"", "--settings", Takes::Value, SetPath<&Options::settingsPath>},
    {"", "--save-settings", Takes::Value, SetPath<&Options::saveSettingsPath>},
    {"", "--sweep", Takes::Value, SetSweep},
    {"", "--start", Takes::Value, SetTime},
    {"", "--end", Takes::Value, SetTime},
    {"", "--frames", Takes::Value, SetFrames},
    {"", "--channels", Takes::Value, SetChannels},
    {"", "--evaluation", Takes::Value, SetEvaluation},
    {"", "--pair", Takes::Value, SetPair},
    {"", "--figure8-gain", Takes::Value, SetFigure8Gain},
};

const OptionEntry* FindOption(const std::string& name) {
  for (const OptionEntry& entry : OPTIONS) {
    if (name == entry.longName || (entry.shortName[0] && name == entry.shortName)) return &entry;
  }
  return nullptr;
}

// What the options say together, once all are read.
bool CheckCombination(Options& options, std::string& error) {
  if (options.help || options.version) return true;
  // A saved block keeps its own thresholds unless the user asks otherwise.
  if (!options.settingsPath.empty() && !options.thresholdGiven) options.thresholdMode = ThresholdMode::Keep;
  const std::pair<bool, const char*> refusals[] = {
      {(options.startSeconds || options.endSeconds) && options.firstFrame,
       "--frames cannot be combined with --start or --end"},
      {options.startSeconds && options.endSeconds && *options.endSeconds < *options.startSeconds,
       "--end lies before --start"},
      {options.inputs.empty(), "no input file"},
      {std::count(options.inputs.begin(), options.inputs.end(), "-") > 1,
       "standard input (-) can be read only once"},
      {options.compare && options.inputs.size() != 2, "--compare needs exactly two files"},
      {options.compare && options.average != Options::AverageMode::None,
       "--compare and --average cannot be combined"},
      {options.averageIncludeFlagged && options.average == Options::AverageMode::None &&
           options.htmlPath.empty(),
       "--average-include-flagged needs --average (or --html with several files)"},
      {options.figure8GainDb != 0.0 && options.pair != PairKind::OmniFigure8,
       "--figure8-gain needs --pair wy (an omni and a figure-of-eight microphone)"},
  };
  for (const auto& [refused, why] : refusals) {
    if (refused) {
      error = why;
      return false;
    }
  }
  return true;
}

}  // namespace

// A hand-written parser over the OPTIONS table: the tests pin its exact
// messages, the attached values of -j and -o only, and --average's mode word
// taken only when it is "all" or "channel", none of which a general option
// library reproduces.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
      options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyFiles = true;
      continue;
    }
    std::string name = arg, value;
    bool attached = false;
    if (arg.size() > 2 && arg[1] != '-' && (arg[1] == 'j' || arg[1] == 'o')) {
      name = arg.substr(0, 2);  // -j4, -oFILE
      value = arg.substr(2);
      attached = true;
    } else if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      name = arg.substr(0, arg.find('='));  // --format=json
      value = arg.substr(arg.find('=') + 1);
      attached = true;
    }
    const OptionEntry* entry = FindOption(name);
    if (entry == nullptr) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (entry->takes == Takes::Nothing && attached) {
      error = "option " + name + " takes no value";
      return false;
    }
    if (entry->takes == Takes::Value && !attached) {
      if (i + 1 >= argc) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    // The word after --average is its value only when it is one of the two modes.
    if (entry->takes == Takes::Mode && !attached && i + 1 < argc &&
        (std::strcmp(argv[i + 1], "all") == 0 || std::strcmp(argv[i + 1], "channel") == 0))
      value = argv[++i];
    if (!entry->apply(options, name, value, error)) return false;
  }
  return CheckCombination(options, error);
}

}  // namespace cli
