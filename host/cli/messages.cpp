#include "host/cli/messages.h"

#include <cstdio>

#include "analysis/stop_messages.h"
#include "host/cli/resample.h"

namespace cli {

namespace {

constexpr const char* NO_ARRIVAL =
    "No sample of the selection reaches the first-arrival threshold, so nothing was computed: give a lower "
    "--threshold, or --threshold auto.";
constexpr const char* NO_MEMORY = "The analysis could not allocate its memory: try a shorter selection.";

}  // namespace

const char* LateralExplanation(LateralStatus status) {
  switch (status) {
    case LATERAL_NO_ARRIVAL_W:
    case LATERAL_W_BEYOND_INDEX:
      return "The lateral fraction found no first arrival of the left channel (W) in a band, or found it "
             "later "
             "than sample 32767: that band's LF is missing; lower --threshold or select less lead-in before "
             "the "
             "response.";
    case LATERAL_NO_ARRIVAL_Y:
    case LATERAL_Y_BEYOND_INDEX:
      return "The lateral fraction found no first arrival of the right channel (Y) in a band, or found it "
             "later "
             "than sample 32767: that band's LF is missing; lower --y-threshold or select less lead-in "
             "before "
             "the response.";
    case LATERAL_WINDOW_BEYOND_END:
      return "The selection ends less than 80 ms after a first arrival, so LF of that band is missing: "
             "select "
             "more of the response's end.";
    default:
      return "";
  }
}

const char* IaccExplanation(IaccStatus status) {
  switch (status) {
    case IACC_NO_ARRIVAL:
      return "IACC found no first arrival in a band, so its IACC is missing: lower the threshold.";
    case IACC_WINDOW_TOO_SHORT:
      return "The selection ends at a first arrival, so IACC of that band is missing: select more of the "
             "response's end.";
    case IACC_BLANK_NEEDED:
      return "IACC needs at least 1 ms before the first arrival: start the selection earlier, or add silence "
             "before the response.";
    case IACC_ZERO_ENERGY:
      return "One ear has no energy in a band's IACC window, so that band's IACC is missing.";
    default:
      return "";
  }
}

// A message box is told apart by the status that raised it: the plug-in's
// own status-to-message functions give the text each status shows.
std::string PlainSentence(const PluginMessage& message) {
  if (message.text == NO_FIRST_ARRIVAL_MESSAGE) return NO_ARRIVAL;
  if (message.text == PAIR_BUFFERS_MESSAGE || message.text == CHANNEL_BUFFERS_MESSAGE) return NO_MEMORY;
  for (int s = 0; s <= LATERAL_NO_SETTINGS; ++s) {
    const LateralStatus status = static_cast<LateralStatus>(s);
    const char* text = LateralMessage(status);
    if (message.caption == LF_CAPTION && text != nullptr && message.text == text)
      return LateralExplanation(status);
  }
  for (int s = 0; s <= IACC_NO_SETTINGS; ++s) {
    const IaccStatus status = static_cast<IaccStatus>(s);
    const char* text = IaccMessage(status);
    if (message.caption == IACC_CAPTION && text != nullptr && message.text == text)
      return IaccExplanation(status);
  }
  return "";
}

std::string NativeRateWarning(const FileResult& r) {
  if (r.offer.analysisRate == 0 || r.offer.analysisRate == ANALYSIS_RATE_HZ || r.offer.resampledFrom != 0)
    return "";
  char text[240];
  std::snprintf(
      text, sizeof(text),
      "analysed at %d Hz (--native-rate): the band filters are designed for %d Hz, so every band centre "
      "lies at %.4g times its nominal frequency (the 1k column is centred at %.0f Hz)",
      r.offer.analysisRate, ANALYSIS_RATE_HZ, r.offer.analysisRate / static_cast<double>(ANALYSIS_RATE_HZ),
      1000.0 * r.offer.analysisRate / ANALYSIS_RATE_HZ);
  return text;
}

}  // namespace cli
