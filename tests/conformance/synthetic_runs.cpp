// Synthetic responses and the hosts' evaluations of them; see the header.
#include "tests/conformance/synthetic_runs.h"

#include <cmath>

#include "interface/bands.h"
#include "ui/cell_text.h"

namespace conformance {

std::vector<float> DecayingNoise(double t60, double inrDb, uint32_t seed) {
  Lcg lcg{seed}, floorNoise{seed ^ 0x9e3779b9u};
  const size_t n = static_cast<size_t>((2 * t60 + 0.2) * SYNTH_RATE_HZ);
  const double floorAmplitude = inrDb > 0 ? 0.5 * SYNTH_PEAK * std::pow(10.0, -inrDb / 20) : 0.0;
  std::vector<float> out(n, 0.0f);
  for (size_t i = 0; i < n; ++i) {
    const double t = (static_cast<double>(i) - SYNTH_ARRIVAL) / SYNTH_RATE_HZ;
    const double decay =
        i >= SYNTH_ARRIVAL ? 0.5 * SYNTH_PEAK * std::pow(10.0, -3.0 * t / t60) * lcg.Next() : 0.0;
    out[i] = static_cast<float>(decay + floorAmplitude * floorNoise.Next());
  }
  out[SYNTH_ARRIVAL] = SYNTH_PEAK;
  return out;
}

cli::FileResult AnalyseWithPlugin(const std::vector<float>& samples, int rateHz, bool noiseCorrection) {
  cli::Options options;
  options.thirdOctave = false;
  options.noiseCorrection = noiseCorrection;
  cli::FileResult result;
  result.input.path = "synthetic";
  result.input.audio.fileChannels = 1;
  result.input.audio.usedChannels = {1};
  result.input.audio.sampleRate = rateHz;
  result.input.audio.fileFrames = samples.size();
  result.input.audio.bitsOffered = 32;
  result.input.audio.floatSource = true;
  result.input.audio.samples = samples;
  result.input.firstFrame = 0;
  result.input.lastFrame = static_cast<uint32_t>(samples.size() - 1);
  cli::AnalyseSelection(options, {}, cli::RunListener{}, result);
  return result;
}

std::string PluginCell(const cli::FileResult& result, int row, int slot) {
  if (!result.outcome.haveResults) return "no results (exit " + std::to_string(result.outcome.exitCode) + ")";
  char buffer[NUMBER_TEXT_SIZE];
  return ParameterCellText(result.outcome.store.valid[0][row][slot],
                           result.outcome.store.values[0][row][slot], DIALOG_MISSING, buffer);
}

cli::IsoFileEvaluation EvaluateIso(const std::vector<float>& interleaved, size_t channels,
                                   const cli::IsoRequest& request) {
  cli::IsoFileEvaluation out;
  cli::EvaluateIsoFile(interleaved.data(), interleaved.size() / channels, channels, SYNTH_RATE_HZ, request,
                       nullptr, out);
  return out;
}

std::string ReasonText(uint32_t reasons) {
  std::string text;
  for (const std::string& code : cli::IsoReasonCodes(reasons)) text += (text.empty() ? "" : ", ") + code;
  return text.empty() ? "valid" : text;
}

}  // namespace conformance
