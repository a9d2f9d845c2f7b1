#include "host/python/sweep_bindings.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "host/sweep/deconvolution.h"
#include "host/sweep/sweep_parameters_json.h"

namespace py = pybind11;

namespace pyhost {
namespace {

py::dict FieldsOf(const sweep::SweepParameters& p) {
  py::dict o;
  o["start_hz"] = p.startHz;
  o["end_hz"] = p.endHz;
  o["seconds"] = p.sweepSeconds;
  o["rate"] = p.rateHz;
  o["level_dbfs"] = p.levelDbfs;
  o["fade_in"] = p.fadeInSeconds;
  o["fade_out"] = p.fadeOutSeconds;
  o["silence"] = p.silenceSeconds;
  o["repetitions"] = p.repetitions;
  return o;
}

py::array_t<float> Playback(const py::dict& fields) {
  const sweep::SweepParameters parameters = SweepParametersOf(fields);
  std::vector<float> samples;
  {
    py::gil_scoped_release release;
    samples = sweep::SweepPlayback(parameters);
  }
  return py::array_t<float>(static_cast<py::ssize_t>(samples.size()), samples.data());
}

// The facts as the program's json gives them (one writer for both).
py::dict FactsOf(const sweep::DeconvolutionFacts& f) {
  return py::module_::import("json").attr("loads")(sweep::DeconvolutionFactsToJson(f));
}

// `recording` (frames, channels) at `rateHz`, full scale 1.0: the response
// as (frames, channels) float32 and the deconvolution's facts; ValueError
// with the sentence for a recording that does not fit the sweep.
py::tuple Deconvolve(py::array_t<float, py::array::c_style | py::array::forcecast> recording, int64_t rateHz,
                     const py::dict& fields) {
  const sweep::SweepParameters parameters = SweepParametersOf(fields);
  if (recording.ndim() != 2 || recording.shape(0) < 1 || recording.shape(1) < 1)
    throw py::value_error("recording must be a (frames, channels) array with at least one frame");
  if (rateHz <= 0 || rateHz > INT32_MAX) throw py::value_error("rate must be a positive whole number of Hz");
  sweep::DeconvolutionResult result;
  {
    py::gil_scoped_release release;
    result = sweep::DeconvolveInterleaved(recording.data(), static_cast<size_t>(recording.shape(0)),
                                          static_cast<int>(recording.shape(1)), static_cast<int32_t>(rateHz),
                                          parameters);
  }
  if (result.status != sweep::SweepStatus::Ok) throw py::value_error(result.sentence);
  const std::vector<float> frames = sweep::InterleavedResponse(result);
  const py::ssize_t channels = static_cast<py::ssize_t>(result.channels.size());
  py::array_t<float> response({static_cast<py::ssize_t>(frames.size()) / channels, channels});
  std::copy(frames.begin(), frames.end(), response.mutable_data());
  return py::make_tuple(response, FactsOf(result.facts));
}

py::dict FromJson(const std::string& text) {
  sweep::SweepParameters parameters;
  std::string error;
  if (!sweep::SweepParametersFromJson(text, parameters, error)) throw py::value_error(error);
  return FieldsOf(parameters);
}

}  // namespace

sweep::SweepParameters SweepParametersOf(const py::dict& fields) {
  sweep::SweepParameters p;
  p.startHz = fields["start_hz"].cast<double>();
  p.endHz = fields["end_hz"].cast<double>();
  p.sweepSeconds = fields["seconds"].cast<double>();
  p.rateHz = fields["rate"].cast<int32_t>();
  p.levelDbfs = fields["level_dbfs"].cast<double>();
  p.fadeInSeconds = fields["fade_in"].cast<double>();
  p.fadeOutSeconds = fields["fade_out"].cast<double>();
  p.silenceSeconds = fields["silence"].cast<double>();
  p.repetitions = fields["repetitions"].cast<int32_t>();
  const sweep::SweepStatus status = sweep::CheckSweepParameters(p);
  if (status != sweep::SweepStatus::Ok) throw py::value_error(sweep::SweepStatusSentence(status));
  return p;
}

void BindSweep(py::module_& m) {
  m.def("sweep_playback", &Playback, py::arg("parameters"));
  m.def("sweep_highest_end_hz", &sweep::HighestEndHz, py::arg("rate"));
  m.def("deconvolve", &Deconvolve, py::arg("recording"), py::arg("rate"), py::arg("parameters"));
  m.def(
      "sweep_parameters_to_json",
      [](const py::dict& fields) { return sweep::SweepParametersToJson(SweepParametersOf(fields)); },
      py::arg("parameters"));
  m.def("sweep_parameters_from_json", &FromJson, py::arg("text"));
}

}  // namespace pyhost
