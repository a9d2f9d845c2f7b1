// libFuzzer target: the json and HTML writers on hostile file names, error
// texts, plug-in messages and result values. The input gives one or two
// files: a flags byte, then NUL-separated texts (path, error, message
// caption and text, status text) and the bytes of the results store.
// Whatever the input, the json must parse as json (so every string is
// escaped and valid UTF-8) and no text may open a tag of its own in the page.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/cli/html_report.h"
#include "host/cli/json_output.h"

namespace {

// A tag that only an unescaped text could put into the page.
constexpr char MARKER[] = "<x-fuzz";

struct Input {
  const uint8_t* at;
  size_t left;
  uint8_t Byte() { return left ? (--left, *at++) : 0; }
  std::string Text() {
    std::string text;
    while (left && *at) text += static_cast<char>(Byte());
    Byte();
    return MARKER + text;
  }
  void Bytes(void* to, size_t size) {
    const size_t n = std::min(size, left);
    std::memcpy(to, at, n);
    at += n;
    left -= n;
  }
};

cli::FileResult MakeResult(Input& in) {
  static const int EXITS[] = {cli::EXIT_OK, cli::EXIT_UNREADABLE, cli::EXIT_NO_RESULTS, cli::EXIT_REFUSED,
                              cli::EXIT_INTERRUPTED};
  const uint8_t flags = in.Byte();
  cli::FileResult r;
  r.outcome.exitCode = EXITS[(flags >> 3) % 5];
  r.outcome.haveResults = r.outcome.exitCode == cli::EXIT_OK;
  r.input.path = in.Text();
  r.outcome.error = in.Text();
  if (r.outcome.exitCode == cli::EXIT_REFUSED) r.outcome.refusal = in.Text();
  r.outcome.messages.push_back({in.Text(), in.Text()});
  r.outcome.statusTexts.push_back(in.Text());
  r.input.audio.usedChannels = (flags & 1) ? std::vector<int>{1, 2} : std::vector<int>{1};
  r.input.audio.fileChannels = 2;
  r.input.audio.sampleRate = (flags & 4) ? 48000 : 44100;
  r.input.audio.majorFormat = in.Text();
  r.input.audio.subFormat = in.Text();
  r.offer.resampledFrom = (flags & 4) ? 48000 : 0;
  r.offer.analysisRate = 44100;
  r.offer.analysedBits = 16;
  r.offer.analysedFrames = 44100;
  r.input.lastFrame = 44099;
  r.confirmation.settings.thirdOctave = (flags >> 1) & 1;
  r.offer.typedThreshold = in.Text();
  r.offer.peaks.assign(r.input.audio.usedChannels.size(), 1000.0);
  r.outcome.report = in.Text();
  in.Bytes(&r.outcome.store, sizeof(r.outcome.store));
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  std::vector<cli::FileResult> results;
  results.push_back(MakeResult(in));
  if (in.left) results.push_back(MakeResult(in));

  const std::string json = cli::FormatJson(results);
  if (!nlohmann::json::accept(json)) std::abort();
  cli::HtmlExtras extras;
  extras.averageError = MARKER;
  extras.comparisonError = MARKER;
  const std::string html = cli::FormatHtml(results, extras);
  if (html.find(MARKER) != std::string::npos) std::abort();
  return 0;
}
