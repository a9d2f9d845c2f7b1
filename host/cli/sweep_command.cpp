#include "host/cli/sweep_command.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/cli/file_result.h"
#include "host/cli/interrupts.h"
#include "host/cli/limits.h"
#include "host/cli/output_file.h"
#include "host/sweep/deconvolution.h"
#include "host/sweep/response_length.h"
#include "host/sweep/sweep_file.h"
#include "host/sweep/sweep_parameters_json.h"
#include "host/sweep/sweep_signal.h"

namespace cli {
namespace {

constexpr const char* kSweepUsage =
    "usage: roomstat sweep -o FILE [--from HZ] [--to HZ] [--seconds S] [--rate HZ] [--level DBFS]\n"
    "                      [--fade-in S] [--fade-out S] [--silence S] [--repeat N]\n"
    "Writes an exponential sine sweep (FILE's extension picks the format: .wav .flac .aiff .caf .w64\n"
    ".rf64 .au) with its parameters in the file's comment (else in FILE.sweep.json).\n"
    "  --from HZ      start frequency (default 20)\n"
    "  --to HZ        end frequency, below Nyquist (default 20000, at most 0.45 x the rate)\n"
    "  --seconds S    duration of the sweep (default 10)\n"
    "  --rate HZ      sample rate (default 48000)\n"
    "  --level DBFS   peak level (default -6)\n"
    "  --fade-in S    raised-cosine fade at the start (default 0.05)\n"
    "  --fade-out S   raised-cosine fade at the end (default 0.01)\n"
    "  --silence S    silence after each sweep, the response's length (default 3)\n"
    "  --repeat N     sweeps one after the other, averaged by deconvolve (default 1)\n";

constexpr const char* kDeconvolveUsage =
    "usage: roomstat deconvolve --sweep SWEEP RECORDING... -o IR\n"
    "Deconvolves recordings of the sweep file SWEEP (made by roomstat sweep) into the impulse\n"
    "response IR (float samples at the recordings' rate; .wav .flac .aiff .caf .w64 .rf64 .au).\n"
    "The harmonic distortion products are cut, the direct sound lies 5 ms after the start, the\n"
    "response lasts as long as the sweep's silence; repeated sweeps and several recordings are\n"
    "averaged.\n";

int Usage(const char* usage, const std::string& problem) {
  std::fprintf(stderr, "roomstat: %s\n%s", problem.c_str(), usage);
  return EXIT_USAGE;
}

// A finite decimal number, whole text.
bool ParseNumber(const char* text, double& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return errno == 0 && *end == '\0' && std::isfinite(value) && std::strpbrk(text, "xXnNiI") == nullptr;
}

// The value after option argv[i]; false when it is missing.
bool TakeValue(int argc, char** argv, int& i, const char*& value) {
  if (i + 1 >= argc) return false;
  value = argv[++i];
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  FileIdentity first, second;
  return IdentifyFile(a, first) && IdentifyFile(b, second) && first == second;
}

int WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::string error;
  if (!WriteFileAtomically(path, bytes.data(), bytes.size(), error)) {
    std::fprintf(stderr, "roomstat: %s: %s\n", path.c_str(), error.c_str());
    return EXIT_WRITE_FAILED;
  }
  return EXIT_OK;
}

// Fills `p` from the options of `roomstat sweep`; returns EXIT_OK or the usage error.
int ParseSweepOptions(int argc, char** argv, sweep::SweepParameters& p, std::string& output, bool& help) {
  bool endGiven = false;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      help = true;
      return EXIT_OK;
    }
    const char* text = nullptr;
    if (!TakeValue(argc, argv, i, text)) return Usage(kSweepUsage, option + " needs a value");
    if (option == "-o") {
      output = text;
      continue;
    }
    double value = 0.0;
    if (!ParseNumber(text, value)) return Usage(kSweepUsage, option + ": not a number: \"" + text + "\"");
    if (option == "--from") {
      p.startHz = value;
    } else if (option == "--to") {
      p.endHz = value;
      endGiven = true;
    } else if (option == "--seconds") {
      p.sweepSeconds = value;
    } else if (option == "--rate" || option == "--repeat") {
      if (value != std::floor(value) || std::fabs(value) > 1e7)
        return Usage(kSweepUsage, option + ": not a whole number: \"" + text + "\"");
      (option == "--rate" ? p.rateHz : p.repetitions) = static_cast<int32_t>(value);
    } else if (option == "--level") {
      p.levelDbfs = value;
    } else if (option == "--fade-in") {
      p.fadeInSeconds = value;
    } else if (option == "--fade-out") {
      p.fadeOutSeconds = value;
    } else if (option == "--silence") {
      p.silenceSeconds = value;
    } else {
      return Usage(kSweepUsage, "unknown option " + option);
    }
  }
  if (!endGiven) p.endHz = std::min(p.endHz, sweep::HighestEndHz(p.rateHz));
  if (output.empty()) return Usage(kSweepUsage, "no output file (-o FILE)");
  const sweep::SweepStatus status = sweep::CheckSweepParameters(p);
  if (status != sweep::SweepStatus::Ok) return Usage(kSweepUsage, sweep::SweepStatusSentence(status));
  return EXIT_OK;
}

int RunSweep(int argc, char** argv) {
  sweep::SweepParameters p;
  std::string output;
  bool help = false;
  const int parsed = ParseSweepOptions(argc, argv, p, output, help);
  if (help) {
    std::fputs(kSweepUsage, stdout);
    return EXIT_OK;
  }
  if (parsed != EXIT_OK) return parsed;
  const std::string json = sweep::SweepParametersToJson(p);
  std::vector<unsigned char> bytes;
  bool commentStored = false;
  std::string error;
  if (!sweep::EncodeAudio(output, p.rateHz, 1, sweep::SweepPlayback(p), json, bytes, commentStored, error))
    return Usage(kSweepUsage, output + ": " + error);
  if (!commentStored) {
    const std::string sidecar = sweep::SidecarPath(output);
    const std::vector<unsigned char> text(json.begin(), json.end());
    if (const int code = WriteBytes(sidecar, text); code != EXIT_OK) return code;
  }
  if (const int code = WriteBytes(output, bytes); code != EXIT_OK) return code;
  std::printf("%s: sweep %g to %g Hz in %g s at %d Hz, %g dBFS, %g s silence, %d time(s)%s\n", output.c_str(),
              p.startHz, p.endHz, p.sweepSeconds, p.rateHz, p.levelDbfs, p.silenceSeconds, p.repetitions,
              commentStored ? "" : "; parameters in the sidecar .sweep.json");
  return EXIT_OK;
}

struct DeconvolveOptions {
  std::string sweepPath, output;
  std::vector<std::string> recordings;
};

int ParseDeconvolveOptions(int argc, char** argv, DeconvolveOptions& options, bool& help) {
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    const char* text = nullptr;
    if (option == "--help" || option == "-h") {
      help = true;
      return EXIT_OK;
    } else if (option == "--sweep" || option == "-o") {
      if (!TakeValue(argc, argv, i, text)) return Usage(kDeconvolveUsage, option + " needs a value");
      (option == "-o" ? options.output : options.sweepPath) = text;
    } else if (option.size() > 1 && option[0] == '-') {
      return Usage(kDeconvolveUsage, "unknown option " + option);
    } else {
      options.recordings.push_back(option);
    }
  }
  if (options.sweepPath.empty()) return Usage(kDeconvolveUsage, "no sweep file (--sweep SWEEP)");
  if (options.recordings.empty()) return Usage(kDeconvolveUsage, "no recording");
  if (options.output.empty()) return Usage(kDeconvolveUsage, "no output file (-o IR)");
  if (sweep::FormatForPath(options.output) == 0)
    return Usage(kDeconvolveUsage, options.output + ": unknown audio file extension");
  for (const std::string& input : options.recordings)
    if (SameFile(input, options.output) || SameFile(options.sweepPath, options.output))
      return Usage(kDeconvolveUsage, "the output " + options.output + " is an input");
  return EXIT_OK;
}

// Every recording deconvolved; the exit code of the first that fails.
int DeconvolveAll(const DeconvolveOptions& options, const sweep::SweepParameters& p,
                  std::vector<sweep::DeconvolutionResult>& results) {
  for (const std::string& path : options.recordings) {
    sweep::Recording recording;
    std::string error;
    if (!sweep::ReadRecording(path, recording, error)) {
      std::fprintf(stderr, "roomstat: %s: %s\n", path.c_str(), error.c_str());
      return EXIT_UNREADABLE;
    }
    results.push_back(sweep::DeconvolveChannels(recording.channels, recording.rateHz, p));
    if (results.back().status != sweep::SweepStatus::Ok) {
      std::fprintf(stderr, "roomstat: %s: refused: %s\n", path.c_str(), results.back().sentence.c_str());
      return EXIT_REFUSED;
    }
  }
  return EXIT_OK;
}

int RunDeconvolve(int argc, char** argv) {
  DeconvolveOptions options;
  bool help = false;
  const int parsed = ParseDeconvolveOptions(argc, argv, options, help);
  if (help) {
    std::fputs(kDeconvolveUsage, stdout);
    return EXIT_OK;
  }
  if (parsed != EXIT_OK) return parsed;
  sweep::SweepParameters p;
  std::string error;
  if (!sweep::ReadSweepParameters(options.sweepPath, p, error)) {
    std::fprintf(stderr, "roomstat: %s: %s\n", options.sweepPath.c_str(), error.c_str());
    return EXIT_UNREADABLE;
  }
  std::vector<sweep::DeconvolutionResult> results;
  if (const int code = DeconvolveAll(options, p, results); code != EXIT_OK) return code;
  const sweep::DeconvolutionResult response = sweep::AverageResponses(results);
  if (response.status != sweep::SweepStatus::Ok) {
    std::fprintf(stderr, "roomstat: refused: %s\n", response.sentence.c_str());
    return EXIT_REFUSED;
  }
  std::vector<unsigned char> bytes;
  bool commentStored = false;
  const int channels = static_cast<int>(response.channels.size());
  if (!sweep::EncodeAudio(options.output, p.rateHz, channels, sweep::InterleavedResponse(response),
                          sweep::DeconvolutionFactsToJson(response.facts), bytes, commentStored, error)) {
    std::fprintf(stderr, "roomstat: %s: %s\n", options.output.c_str(), error.c_str());
    return EXIT_WRITE_FAILED;
  }
  if (const int code = WriteBytes(options.output, bytes); code != EXIT_OK) return code;
  const sweep::DeconvolutionFacts& f = response.facts;
  std::printf(
      "%s: %d channel(s), %.3f s at %d Hz; sweep %g to %g Hz, %d sweep(s) averaged; direct sound at %.4f s; "
      "peak-to-noise ratio %.1f dB; harmonic energy cut %.1f dB\n",
      options.output.c_str(), channels, static_cast<double>(response.channels[0].size()) / p.rateHz, p.rateHz,
      f.startHz, f.endHz, f.sweepsAveraged, f.directSoundSeconds, f.peakToNoiseDb, f.harmonicCutDb);
  return EXIT_OK;
}

// Slack a recording may have beyond its sweeps and silences: the recorder
// started early, or stopped late.
constexpr double kRecordingSlackSeconds = 60.0;

// Whether a recording of `frames` frames at `rateHz` fits the sweep `p`
// (refusal sentence otherwise).
bool RecordingFits(uint64_t frames, int32_t rateHz, const sweep::SweepParameters& p, std::string& why) {
  char text[320];
  const uint64_t needed = uint64_t{sweep::PeriodSamples(p)} * static_cast<uint64_t>(p.repetitions);
  const double slack =
      std::max(kRecordingSlackSeconds, static_cast<double>(sweep::PeriodSamples(p)) / p.rateHz);
  const uint64_t longest = std::min<uint64_t>(MAX_ANALYSED_FRAMES, needed + uint64_t(slack * p.rateHz));
  if (rateHz != p.rateHz) {
    std::snprintf(text, sizeof text,
                  "the recording's rate is %d Hz, the sweep's %d Hz (record at the sweep's rate)", rateHz,
                  p.rateHz);
  } else if (frames < needed) {
    std::snprintf(text, sizeof text,
                  "the recording lasts %.3f s, but %.3f s are needed for %d sweep(s) with their silence",
                  static_cast<double>(frames) / rateHz, static_cast<double>(needed) / rateHz, p.repetitions);
  } else if (frames > longest) {
    std::snprintf(
        text, sizeof text,
        "the recording lasts %.3f s, more than its %d sweep(s) with their silence (%.3f s) and %.0f s "
        "besides: is it a recording of this sweep?",
        static_cast<double>(frames) / rateHz, p.repetitions, static_cast<double>(needed) / rateHz, slack);
  } else {
    return true;
  }
  why = text;
  return false;
}

// The used channels of `audio` (in its offered scale) at full scale 1.0.
std::vector<std::vector<float>> FullScaleChannels(const AudioData& audio) {
  const size_t count = audio.usedChannels.size();
  const float scale = audio.bitsOffered == 8 ? 1.0f / 128.0f : 1.0f / 32768.0f;
  std::vector<std::vector<float>> channels(count, std::vector<float>(audio.samples.size() / count));
  for (size_t n = 0; n < channels[0].size(); ++n)
    for (size_t c = 0; c < count; ++c) channels[c][n] = audio.samples[n * count + c] * scale;
  return channels;
}

}  // namespace

std::string DeconvolutionFactsText(const sweep::DeconvolutionFacts& f) {
  char text[400];
  std::snprintf(text, sizeof text,
                "Deconvolved from a sweep of %g to %g Hz, %d sweep(s) averaged: direct sound at %.4f s, "
                "response %.3f s",
                f.startHz, f.endHz, f.sweepsAveraged, f.directSoundSeconds, f.keptSeconds);
  std::string line = text;
  if (std::isfinite(f.decayEndSeconds)) {
    std::snprintf(text, sizeof text, " (its decay meets the noise at %.3f s)", f.decayEndSeconds);
    line += text;
  }
  std::snprintf(text, sizeof text, ", peak-to-noise ratio %.1f dB, harmonic energy cut %.1f dB",
                f.peakToNoiseDb, f.harmonicCutDb);
  return line + text;
}

void ResponseAsAudio(const sweep::DeconvolutionResult& response, AudioData& audio) {
  audio.samples = sweep::InterleavedResponse(response);
  for (float& sample : audio.samples) sample *= 32768.0f;
  audio.fileFrames = response.channels.empty() ? 0 : response.channels[0].size();
  audio.sampleRate = response.facts.rateHz;
  audio.subFormat = "deconvolved response, 32 bit float";
  audio.bitsOffered = 32;
  audio.floatSource = true;
}

bool ReadSweepResponse(const std::string& recordingPath, const std::string& sweepPath,
                       const std::vector<int>& channels, AudioData& audio, sweep::DeconvolutionFacts& facts,
                       int& exitCode, std::string& error) {
  sweep::SweepParameters p;
  AudioReader reader;
  exitCode = EXIT_UNREADABLE;
  if (!sweep::ReadSweepParameters(sweepPath, p, error)) {
    error = "the sweep " + sweepPath + ": " + error;
    return false;
  }
  if (!reader.Open(recordingPath, channels, audio, error)) return false;
  if (!RecordingFits(audio.fileFrames, audio.sampleRate, p, error)) {
    exitCode = EXIT_REFUSED;
    return false;
  }
  uint64_t last = audio.fileFrames - 1;
  if (!reader.ReadSelection(0, last, audio, error)) {
    if (reader.Interrupted()) exitCode = EXIT_INTERRUPTED;
    return false;
  }
  sweep::DeconvolutionResult response =
      sweep::DeconvolveChannels(FullScaleChannels(audio), audio.sampleRate, p);
  if (response.status != sweep::SweepStatus::Ok) {
    exitCode = EXIT_REFUSED;
    error = response.sentence;
    return false;
  }
  if (g_stopRequested.load()) {
    exitCode = EXIT_INTERRUPTED;
    error = "interrupted";
    return false;
  }
  sweep::KeepDecay(response);
  ResponseAsAudio(response, audio);
  facts = response.facts;
  exitCode = EXIT_OK;
  return true;
}

int RunSweepSubcommand(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "sweep") == 0) return RunSweep(argc, argv);
  return RunDeconvolve(argc, argv);
}

}  // namespace cli
