// One file through the command-line host's analysis (cli::AnalyseSelection:
// the selection's checks, the plug-in's run and the ISO 3382 evaluation),
// as `roomstat` runs it after reading the file, on the benchmark responses:
// 9.8 s mono and 10 s stereo at 96 kHz (their own rate), octave bands.
//
// Arguments: evaluation (0 the plug-in's alone, 1 both: the default run),
// spare core (0: the ISO evaluation on the run's thread; 1: on its own
// thread beside the run, as for one file on a machine with two cores).
// Times are wall clock; the CPU time is the whole process's (both threads),
// so "both / plug-in alone" of the CPU time is what the ISO evaluation adds.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "host/cli/allocator.h"
#include "host/cli/run_file.h"

#ifdef ROOMSTAT_JEMALLOC
extern "C" {
const char* malloc_conf = ROOMSTAT_JEMALLOC_OPTIONS;  // as in roomstat itself
}
#endif

namespace {

[[maybe_unused]] const bool ALLOCATOR_ALIGNED = (cli::AlignAllocatorMappings(), true);

constexpr int RATE_HZ = 96000;

// Decaying noise with a direct sound, rounded as a 16-bit file holds it.
std::vector<float> Response(double seconds, int channels) {
  const int frames = static_cast<int>(RATE_HZ * seconds);
  std::vector<float> out(static_cast<size_t>(frames) * channels);
  uint32_t seed = 42u;
  for (int i = 0; i < frames; ++i) {
    const double envelope = 8000.0 * std::exp(-6.9 * i / (1.2 * RATE_HZ));
    for (int c = 0; c < channels; ++c) {
      seed = seed * 1664525u + 1013904223u;
      out[static_cast<size_t>(i) * channels + c] = static_cast<float>(
          std::round(envelope * ((seed >> 8) / 8388608.0 - 1.0) + 0.5 * ((seed & 255) / 256.0)));
    }
  }
  for (int c = 0; c < channels; ++c) out[static_cast<size_t>(RATE_HZ / 50 + c) * channels + c] = 30000.0f;
  return out;
}

void AnalyseFile(benchmark::State& state, int channels) {
  static const std::vector<float> mono = Response(9.8, 1), stereo = Response(10.0, 2);
  const std::vector<float>& samples = channels == 1 ? mono : stereo;
  cli::Options options;
  options.nativeRate = true;
  options.thresholdMode = cli::ThresholdMode::Given;
  options.thresholdText = "20000";
  options.evaluation = state.range(0) ? cli::Evaluation::Both : cli::Evaluation::Plugin;
  options.spareCore = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    cli::FileResult result;
    result.input.path = "benchmark";
    cli::AudioData& audio = result.input.audio;
    audio.fileChannels = channels;
    audio.usedChannels = channels == 1 ? std::vector<int>{1} : std::vector<int>{1, 2};
    audio.sampleRate = RATE_HZ;
    audio.fileFrames = samples.size() / channels;
    audio.bitsOffered = 16;
    audio.samples = samples;
    result.input.lastFrame = static_cast<uint32_t>(audio.fileFrames - 1);
    state.ResumeTiming();
    cli::AnalyseSelection(options, {}, cli::RunListener{}, result);
    if (!result.outcome.haveResults ||
        (options.evaluation == cli::Evaluation::Both && !result.outcome.iso.done))
      state.SkipWithError("the file gave no results");
  }
}

void BM_FileMono96kOctave(benchmark::State& state) { AnalyseFile(state, 1); }
void BM_FileStereo96kOctave(benchmark::State& state) { AnalyseFile(state, 2); }

// The plug-in alone, both evaluations on one thread, and both with the
// spare core; wall time and the process's CPU time.
void FileCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"both", "spare"})
      ->Args({0, 0})
      ->Args({1, 0})
      ->Args({1, 1})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime();
}
BENCHMARK(BM_FileMono96kOctave)->Apply(FileCases);
BENCHMARK(BM_FileStereo96kOctave)->Apply(FileCases);

}  // namespace
