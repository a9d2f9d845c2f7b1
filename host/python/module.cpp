// _roomstat: the native half of the roomstat Python package. It hands an
// array or a file to the command-line host's core (options parsed by the
// same parser, the same run, the same json writer), so that the module and
// the program can never disagree on a value, its state or its reason. The
// package (roomstat/__init__.py) checks arrays, builds the option words and
// turns the json into numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/cli/cells.h"
#include "host/cli/json_output.h"
#include "host/cli/options.h"
#include "host/cli/resample.h"
#include "host/cli/run_file.h"
#include "host/python/run_outcome.h"
#include "host/python/sweep_bindings.h"
#include "interface/bands.h"
#include "interface/entry_points.h"
#include "interface/settings.h"
#include "interface/settings_ranges.h"

namespace py = pybind11;

namespace {

// The option words as the command line would give them, with `input` as the
// one input; a usage error becomes ValueError with the program's message.
cli::Options ParseWords(const std::vector<std::string>& words, const std::string& input) {
  std::vector<std::string> storage;
  storage.reserve(words.size() + 3);
  storage.push_back("roomstat");
  storage.insert(storage.end(), words.begin(), words.end());
  storage.push_back("--");
  storage.push_back(input);
  std::vector<char*> argv;
  for (std::string& word : storage) argv.push_back(word.data());
  cli::Options options;
  std::string error;
  if (!cli::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error))
    throw py::value_error(error);
  if (options.help || options.version || !options.settingsPath.empty() || !options.saveSettingsPath.empty() ||
      options.inputs.size() != 1) {
    throw py::value_error("only analysis settings and the selection can be given here");
  }
  return options;
}

// Why a file gave no results, where Python raises its own exception for it:
// "bounds" (a sampling rate or length that resampling refuses: ValueError),
// "memory" (MemoryError), "" otherwise.
std::string FailureKind(const cli::FileResult& result, const cli::Options& options) {
  if (result.outcome.exitCode != cli::EXIT_UNREADABLE) return "";
  if (result.outcome.error.find("not enough memory") != std::string::npos) return "memory";
  const cli::AudioData& audio = result.input.audio;
  std::string why;
  if (!options.nativeRate && audio.sampleRate > 0 && audio.sampleRate != cli::ANALYSIS_RATE_HZ &&
      result.input.lastFrame >= result.input.firstFrame &&
      !cli::CheckResampling(result.input.lastFrame - uint64_t{result.input.firstFrame} + 1, audio.sampleRate,
                            cli::ANALYSIS_RATE_HZ, why)) {
    return "bounds";
  }
  return "";
}

// What Python receives of a run: the file's json object (as the program
// writes it), the confirmed settings block, each channel's first arrival
// in frames from the start of the selection (-1: none reached the
// threshold), and what the json may not hold (run_outcome.h) with the
// kind of failure.
py::tuple Outcome(const std::vector<cli::FileResult>& results, const cli::Options& options) {
  const cli::FileResult& result = results.front();
  std::vector<int64_t> arrivals;
  for (size_t c = 0; c < result.input.audio.usedChannels.size() && c < MAX_CHANNELS; ++c) {
    const ChannelTrace& trace = result.outcome.record.channels[c].trace;
    const bool found = result.outcome.record.channels[c].searched && trace.arrival < trace.length;
    arrivals.push_back(found ? static_cast<int64_t>(trace.arrival) : -1);
  }
  py::bytes settings(reinterpret_cast<const char*>(result.confirmation.settingsBytes.data()),
                     result.confirmation.settingsBytes.size());
  py::dict extra;
  extra["iso"] = pyhost::IsoChannels(result);
  extra["pairIso"] = pyhost::PairIso(result);
  extra["curves"] = pyhost::DecayCurves(result);
  extra["failure"] = FailureKind(result, options);
  return py::make_tuple(cli::FormatJson(results), settings, arrivals, extra);
}

// Curves for drawing are kept as for an HTML report; no report is written.
void KeepCurves(cli::Options& options, bool curves) {
  if (curves) options.htmlPath = "<python>";
}

py::tuple AnalyseSamples(py::array_t<float, py::array::c_style> samples, int64_t rateHz, int bitsOffered,
                         bool floatSource, const std::string& sourceName, const std::string& subFormat,
                         const std::vector<std::string>& words, bool curves) {
  if (samples.ndim() != 2 || samples.shape(1) < 1 || samples.shape(1) > MAX_CHANNELS ||
      samples.shape(0) < 1) {
    throw py::value_error("samples must be a (frames, 1 or 2) array with at least one frame");
  }
  if (rateHz <= 0 || rateHz > INT32_MAX) throw py::value_error("rate must be a positive whole number of Hz");
  if (bitsOffered != 8 && bitsOffered != 16 && bitsOffered != 32)
    throw py::value_error("bits must be 8, 16 or 32");
  cli::Options options = ParseWords(words, sourceName);
  KeepCurves(options, curves);
  const size_t frames = static_cast<size_t>(samples.shape(0));
  std::string why;
  if (!options.nativeRate && rateHz != cli::ANALYSIS_RATE_HZ &&
      !cli::CheckResampling(frames, static_cast<double>(rateHz), cli::ANALYSIS_RATE_HZ, why)) {
    throw py::value_error("the array cannot be analysed: " + why);
  }

  std::vector<cli::FileResult> results(1);
  cli::FileResult& result = results.front();
  cli::AudioData& audio = result.input.audio;
  const int channels = static_cast<int>(samples.shape(1));
  result.input.path = sourceName;
  audio.majorFormat = "array";
  audio.subFormat = subFormat;
  audio.fileChannels = channels;
  for (int c = 1; c <= channels; ++c) audio.usedChannels.push_back(c);
  audio.sampleRate = static_cast<int32_t>(rateHz);
  audio.fileFrames = frames;
  audio.bitsOffered = static_cast<uint16_t>(bitsOffered);
  audio.floatSource = floatSource;
  audio.samples.assign(samples.data(), samples.data() + frames * static_cast<size_t>(channels));
  result.input.firstFrame = 0;
  result.input.lastFrame = static_cast<uint32_t>(frames - 1);
  {
    py::gil_scoped_release release;
    cli::AnalyseSelection(options, {}, cli::RunListener{}, result);
  }
  return Outcome(results, options);
}

// `path` as the file system's bytes (os.fsencode), so that any name opens.
py::tuple AnalyseFile(const py::bytes& path, const std::vector<std::string>& words, bool curves) {
  const std::string name = path;
  cli::Options options = ParseWords(words, name);
  KeepCurves(options, curves);
  std::vector<cli::FileResult> results(1);
  {
    py::gil_scoped_release release;
    cli::AnalyseFile(name, options, {}, cli::RunListener{}, results.front());
  }
  return Outcome(results, options);
}

// Checks option words as the program would, before any work is sent.
void CheckWords(const std::vector<std::string>& words) { ParseWords(words, "<check>"); }

py::list Bands(bool thirdOctave) {
  py::list bands;
  const BandColumn* columns = BandColumns(thirdOctave);
  for (int b = 0; b < BandRowCount(thirdOctave); ++b) {
    bands.append(py::make_tuple(columns[b].nominalHz, columns[b].nominalLabel));
  }
  return bands;
}

py::list Parameters() {
  py::list parameters;
  for (const ParameterLabel& p : PARAMETERS) parameters.append(py::make_tuple(p.name, p.unit));
  return parameters;
}

py::list PairRows() {
  py::list rows;
  for (const PairRowLabel& row : PAIR_ROWS) rows.append(py::make_tuple(row.name, row.unit));
  return rows;
}

py::dict Reasons() {
  py::dict reasons;
  for (const cli::ReasonText& r : cli::ReasonCodes()) reasons[py::str(r.code)] = r.sentence;
  return reasons;
}

py::list IsoNames(bool singles) {
  py::list names;
  if (singles) {
    for (const cli::IsoParameterName& n : cli::ISO_SINGLES) names.append(py::make_tuple(n.key, n.unit));
  } else {
    for (const cli::IsoParameterName& n : cli::ISO_PARAMETERS) names.append(py::make_tuple(n.key, n.unit));
  }
  return names;
}

std::string PluginName() {
  XfmInfo info{};
  QueryXfm(&info);
  return std::string(info.name, strnlen(info.name, sizeof(info.name)));
}

}  // namespace

PYBIND11_MODULE(_roomstat, m) {
  m.doc() = "Native core of roomstat: runs the plug-in as the roomstat program does.";
  m.def("analyse_samples", &AnalyseSamples, py::arg("samples"), py::arg("rate"), py::arg("bits"),
        py::arg("float_source"), py::arg("name"), py::arg("sub_format"), py::arg("words"),
        py::arg("curves") = false);
  m.def("analyse_file", &AnalyseFile, py::arg("path"), py::arg("words"), py::arg("curves") = false);
  m.def("check_words", &CheckWords, py::arg("words"));
  pyhost::BindSweep(m);
  m.def("bands", &Bands, py::arg("third_octave"));
  m.def("parameters", &Parameters);
  m.def("pair_rows", &PairRows);
  m.def("reasons", &Reasons);
  m.def("iso_names", &IsoNames, py::arg("singles"));
  m.def(
      "iso_sentence", [](const std::string& code) { return std::string(cli::IsoCodeSentence(code)); },
      py::arg("code"));
  m.def("plugin_name", &PluginName);
  m.attr("SETTINGS_SIZE") = SETTINGS_SIZE;
  m.attr("RTU_RANGE_DB") = py::make_tuple(RTU_LOWEST_DB, RTU_HIGHEST_DB);
  m.attr("RTU_MIN_SPAN_DB") = RTU_MIN_SPAN_DB;
  m.attr("THRESHOLD_RANGE") = py::make_tuple(THRESHOLD_LOWEST, THRESHOLD_HIGHEST);
  m.attr("BOOST_LIMIT_DB") = BOOST_LIMIT_DB;
  m.attr("FILTER_DESIGN_RATE_HZ") = FILTER_DESIGN_RATE_HZ;
  m.attr("__version__") = ROOMSTAT_VERSION;
}
