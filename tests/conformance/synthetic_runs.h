// Synthetic responses for the report and the runs that evaluate them as the
// command-line host does: the plug-in through cli::AnalyseSelection, the
// ISO 3382 evaluation through cli::EvaluateIsoFile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/cli/iso_evaluation.h"
#include "host/cli/run_file.h"

namespace conformance {

constexpr int SYNTH_RATE_HZ = 44100;
constexpr float SYNTH_PEAK = 30000.0f;  // 16-bit scale
constexpr int SYNTH_ARRIVAL = 441;      // 10 ms of silence before the direct sound

// Fixed-seed generator, uniform in [-1, 1): the same numbers everywhere.
struct Lcg {
  uint32_t state;
  float Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
  }
};

// Noise decaying 60 dB per T after a direct-sound spike at SYNTH_ARRIVAL,
// over a stationary noise floor `inrDb` below the decay's initial level (none
// when 0); 2 T + 0.2 s long.
std::vector<float> DecayingNoise(double t60, double inrDb, uint32_t seed);

// One mono response through the command-line host's plug-in analysis, octave mode.
cli::FileResult AnalyseWithPlugin(const std::vector<float>& samples, int rateHz, bool noiseCorrection);
// The cell as the octave results dialog shows it.
std::string PluginCell(const cli::FileResult& result, int row, int slot);

// The host's ISO 3382 evaluation of interleaved samples at 44100 Hz.
cli::IsoFileEvaluation EvaluateIso(const std::vector<float>& interleaved, size_t channels,
                                   const cli::IsoRequest& request);

// The reason codes of a mask joined by ", " ("valid" for none).
std::string ReasonText(uint32_t reasons);

}  // namespace conformance
