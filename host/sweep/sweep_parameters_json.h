// The sweep's parameters as a small JSON object, the form in which they
// travel with the sweep file (its comment string, or a sidecar file):
//
//   {"kind":"exponential-sine-sweep","version":1,"startHz":20.0,"endHz":20000.0,
//    "sweepSeconds":10.0,"rateHz":48000,"levelDbfs":-6.0,"fadeInSeconds":0.05,
//    "fadeOutSeconds":0.01,"silenceSeconds":3.0,"repetitions":1}
//
// Numbers are written so that they read back to the same doubles.
#pragma once

#include <string>

#include "host/sweep/deconvolution.h"
#include "host/sweep/sweep_signal.h"

namespace sweep {

std::string SweepParametersToJson(const SweepParameters& parameters);

// Reads what SweepParametersToJson wrote. False, with the reason in `error`,
// for text that is not such an object (another kind, a missing or mistyped
// field) or whose parameters do not pass CheckSweepParameters.
bool SweepParametersFromJson(const std::string& text, SweepParameters& parameters, std::string& error);

// The deconvolution's facts as a JSON object (startHz, endHz, rateHz,
// sweepsAveraged, directSoundSeconds, leadSeconds, peakToNoiseDb,
// harmonicCutDb, keptSeconds, decayEndSeconds (null when the response was not
// cut at its decay)), for file facts and the response file's comment.
std::string DeconvolutionFactsToJson(const DeconvolutionFacts& facts);

}  // namespace sweep
