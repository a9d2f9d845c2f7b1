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
#include "host/cli/run_file.h"
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

// What Python receives of a run: the file's json object (as the program
// writes it), the confirmed settings block, and each channel's first arrival
// in frames from the start of the selection (-1: none reached the threshold).
py::tuple Outcome(const std::vector<cli::FileResult>& results) {
  const cli::FileResult& result = results.front();
  std::vector<int64_t> arrivals;
  for (size_t c = 0; c < result.input.audio.usedChannels.size() && c < MAX_CHANNELS; ++c) {
    const ChannelTrace& trace = result.outcome.record.channels[c].trace;
    const bool found = result.outcome.record.channels[c].searched && trace.arrival < trace.length;
    arrivals.push_back(found ? static_cast<int64_t>(trace.arrival) : -1);
  }
  py::bytes settings(reinterpret_cast<const char*>(result.confirmation.settingsBytes.data()),
                     result.confirmation.settingsBytes.size());
  return py::make_tuple(cli::FormatJson(results), settings, arrivals);
}

py::tuple AnalyseSamples(py::array_t<float, py::array::c_style> samples, int64_t rateHz, int bitsOffered,
                         bool floatSource, const std::string& sourceName, const std::string& subFormat,
                         const std::vector<std::string>& words) {
  if (samples.ndim() != 2 || samples.shape(1) < 1 || samples.shape(1) > MAX_CHANNELS ||
      samples.shape(0) < 1) {
    throw py::value_error("samples must be a (frames, 1 or 2) array with at least one frame");
  }
  if (rateHz <= 0 || rateHz > INT32_MAX)
    throw py::value_error("the sampling rate must be a positive whole number");
  if (bitsOffered != 8 && bitsOffered != 16 && bitsOffered != 32)
    throw py::value_error("bits must be 8, 16 or 32");
  const cli::Options options = ParseWords(words, sourceName);

  std::vector<cli::FileResult> results(1);
  cli::FileResult& result = results.front();
  cli::AudioData& audio = result.input.audio;
  const size_t frames = static_cast<size_t>(samples.shape(0));
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
  return Outcome(results);
}

py::tuple AnalyseFile(const std::string& path, const std::vector<std::string>& words) {
  const cli::Options options = ParseWords(words, path);
  std::vector<cli::FileResult> results(1);
  {
    py::gil_scoped_release release;
    cli::AnalyseFile(path, options, {}, cli::RunListener{}, results.front());
  }
  return Outcome(results);
}

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

std::string PluginName() {
  XfmInfo info{};
  QueryXfm(&info);
  return std::string(info.name, strnlen(info.name, sizeof(info.name)));
}

}  // namespace

PYBIND11_MODULE(_roomstat, m) {
  m.doc() = "Native core of roomstat: runs the plug-in as the roomstat program does.";
  m.def("analyse_samples", &AnalyseSamples, py::arg("samples"), py::arg("rate"), py::arg("bits"),
        py::arg("float_source"), py::arg("name"), py::arg("sub_format"), py::arg("words"));
  m.def("analyse_file", &AnalyseFile, py::arg("path"), py::arg("words"));
  m.def("bands", &Bands, py::arg("third_octave"));
  m.def("parameters", &Parameters);
  m.def("pair_rows", &PairRows);
  m.def("reasons", &Reasons);
  m.def("plugin_name", &PluginName);
  m.attr("SETTINGS_SIZE") = SETTINGS_SIZE;
  m.attr("RTU_RANGE_DB") = py::make_tuple(RTU_LOWEST_DB, RTU_HIGHEST_DB);
  m.attr("RTU_MIN_SPAN_DB") = RTU_MIN_SPAN_DB;
  m.attr("THRESHOLD_RANGE") = py::make_tuple(THRESHOLD_LOWEST, THRESHOLD_HIGHEST);
  m.attr("BOOST_LIMIT_DB") = BOOST_LIMIT_DB;
  m.attr("FILTER_DESIGN_RATE_HZ") = FILTER_DESIGN_RATE_HZ;
  m.attr("__version__") = ROOMSTAT_VERSION;
}
