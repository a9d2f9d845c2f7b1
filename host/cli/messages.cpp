#include "host/cli/messages.h"

#include <cstdio>

#include "host/cli/resample.h"

namespace cli {

namespace {

struct Explanation {
  const char* caption;  // null: any
  const char* start;    // the message text starts with this
  const char* sentence;
};

const Explanation EXPLANATIONS[] = {
    {nullptr, "Can not calculate First Arrival Time",
     "No sample of the selection reaches the first-arrival threshold, so nothing was computed: give a lower "
     "--threshold, or --threshold auto."},
    {"LF", "Left Channel: can't calculate first arrival time",
     "The lateral fraction found no first arrival of the left channel (W) in a band, or found it later than "
     "sample "
     "32767: that band's LF is missing; lower --threshold or select less lead-in before the response."},
    {"LF", "Right Channel: can't calculate first arrival time",
     "The lateral fraction found no first arrival of the right channel (Y) in a band, or found it later than "
     "sample "
     "32767: that band's LF is missing; lower --y-threshold or select less lead-in before the response."},
    {"LF", "Select a longer wave",
     "The selection ends less than 80 ms after a first arrival, so LF of that band is missing: select more "
     "of the "
     "response's end."},
    {"IACC", "Select a longer wave",
     "The selection ends at a first arrival, so IACC of that band is missing: select more of the response's "
     "end."},
    {"IACC", "Can't calculate t1",
     "IACC found no first arrival in a band, so its IACC is missing: lower the threshold."},
    {"IACC", "Insert blank at the start",
     "IACC needs at least 1 ms before the first arrival: start the selection earlier, or add silence before "
     "the "
     "response."},
    {"IACC", "Can't calculate IACC: divide by 0",
     "One ear has no energy in a band's IACC window, so that band's IACC is missing."},
    {nullptr, "Can't allocate", "The analysis could not allocate its memory: try a shorter selection."},
    {nullptr, "The system cannot allocate",
     "The analysis could not allocate its memory: try a shorter selection."},
};

}  // namespace

std::string PlainSentence(const PluginMessage& message) {
  for (const Explanation& e : EXPLANATIONS) {
    if (e.caption != nullptr && message.caption != e.caption) continue;
    if (message.text.rfind(e.start, 0) == 0) return e.sentence;
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
