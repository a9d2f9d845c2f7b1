// The subcommands `roomstat sweep` (writes an exponential sine sweep with its
// parameters) and `roomstat deconvolve` (turns recordings of it into an
// impulse response), and the reading side of `roomstat --sweep SWEEP
// RECORDING...` (each recording's response, analysed as a file).
#pragma once

#include <string>
#include <vector>

#include "host/cli/audio_file.h"
#include "host/sweep/deconvolution.h"

namespace cli {

// argv[1] is "sweep" or "deconvolve". Returns the program's exit code.
int RunSweepSubcommand(int argc, char** argv);

// The impulse response in a recording of the sweep file `sweepPath`, as the
// audio of a file: the recording's channels `channels` (1-based; empty: all,
// one or two) are deconvolved, their repetitions averaged, and the response
// is cut where its decay has met its noise (sweep::KeepDecay). `audio` then
// holds the whole response (float samples in the offered 16-bit scale,
// fileFrames its length) and `facts` the deconvolution's. False with the exit
// code (2: unreadable, 5: a recording whose rate or length does not fit the
// sweep, 130: interrupted) and a sentence otherwise. A recording longer than
// its sweeps and silences by more than a minute (or one period of a longer
// sweep) is refused before its samples are read.
bool ReadSweepResponse(const std::string& recordingPath, const std::string& sweepPath,
                       const std::vector<int>& channels, AudioData& audio, sweep::DeconvolutionFacts& facts,
                       int& exitCode, std::string& error);

// The deconvolution's facts as one line of text (no newline): "Deconvolved
// from a sweep of 20 to 20000 Hz, 2 sweep(s) averaged: direct sound at ...".
std::string DeconvolutionFactsText(const sweep::DeconvolutionFacts& facts);

// A deconvolved response (full scale 1.0) as the samples and facts of a
// file's audio whose other facts (formats, channels) are already set.
void ResponseAsAudio(const sweep::DeconvolutionResult& response, AudioData& audio);

}  // namespace cli
