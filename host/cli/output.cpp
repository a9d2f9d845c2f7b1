#include "host/cli/output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "host/cli/text_encoding.h"
#include "host/cli/value_state.h"
#include "interface/bands.h"
#include "ui/cell_text.h"

namespace cli {

namespace {

constexpr int JSON_SCHEMA_VERSION = 1;

struct PairLabel {
  const char* name;         // csv and json
  const char* dialogLabel;  // table
  const char* unit;
};
constexpr PairLabel PAIR_LABELS[PAIR_ROW_COUNT] = {{"LF", "LF", ""},
                                                   {"IACC", "IACC", ""},
                                                   {"W IACC", "W IACC [ms]", "ms"},
                                                   {"Tau IACC", "Tau IACC [ms]", "ms"}};

double PairValue(const FileResult& r, PairRow row, int band) {
  const double* rows[PAIR_ROW_COUNT] = {r.store.lf, r.store.iacc, r.store.wIacc, r.store.tauIacc};
  return rows[row][band];
}

std::string Gcvt(double value, int digits) {
  char buffer[NUMBER_TEXT_SIZE];
  return FormatGcvt(value, digits, buffer);
}

int ColumnCount(const FileResult& r) { return BandRowCount(r.ThirdOctave()); }
// Octave bands as the dialog heads them ("1k"), thirds as the report does ("1K(2)").
const char* BandName(const FileResult& r, int band) {
  return r.ThirdOctave() ? THIRD_OCTAVE_BANDS[band].reportName : OCTAVE_BANDS[band].dialogName;
}
const char* ChannelName(const FileResult& r, int channel) {
  if (r.ChannelCount() == 1) return "mono";
  return channel == 0 ? "left" : "right";
}

std::string RtuRangeText(const FileResult& r) {
  char start[NUMBER_TEXT_SIZE], end[NUMBER_TEXT_SIZE];
  FormatNumberWidth(start, r.settings.rtuStartDb, 6);
  FormatNumberWidth(end, r.settings.rtuEndDb, 6);
  return std::string("(") + start + " dB, " + end + " dB)";
}

std::string ThresholdSource(const FileResult& r) {
  switch (r.thresholdMode) {
    case ThresholdMode::Auto:
      return "auto";
    case ThresholdMode::Given:
      return "given";
    case ThresholdMode::Keep:
      return "settings file";
  }
  return "";
}

std::string ThresholdLine(const FileResult& r) {
  std::string line;
  if (r.ChannelCount() == 1) {
    line = "Threshold " + Gcvt(r.settings.wThreshold, 5);
  } else {
    line =
        "W Threshold " + Gcvt(r.settings.wThreshold, 5) + ", Y Threshold " + Gcvt(r.settings.yThreshold, 5);
  }
  if (r.thresholdMode == ThresholdMode::Auto)
    line += " (auto: 20 dB below the peak of the weaker channel)";
  else if (r.thresholdMode == ThresholdMode::Keep)
    line += " (from the settings file)";
  return line;
}

std::string FileFacts(const FileResult& r) {
  const AudioData& a = r.audio;
  char text[256];
  std::snprintf(text, sizeof(text), "%s, %s, %d Hz, frames %u..%u of %llu", a.majorFormat.c_str(),
                a.subFormat.c_str(), a.sampleRate, r.firstFrame, r.lastFrame,
                static_cast<unsigned long long>(a.fileFrames));
  std::string facts = text;
  if (r.ChannelCount() == 1) {
    facts += ", channel " + std::to_string(a.usedChannels[0]);
  } else {
    facts += ", channels " + std::to_string(a.usedChannels[0]) + "," + std::to_string(a.usedChannels[1]);
  }
  facts += " of " + std::to_string(a.fileChannels);
  return facts;
}

typedef std::vector<std::vector<std::string>> Rows;

// Column widths wide enough for every row of several tables, so that the
// tables of both channels line up under each other.
std::vector<size_t> ColumnWidths(const std::vector<Rows>& tables) {
  std::vector<size_t> widths;
  for (const Rows& rows : tables) {
    for (const auto& row : rows) {
      if (widths.size() < row.size()) widths.resize(row.size(), 0);
      for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
  }
  return widths;
}

// Right-aligned columns after a left-aligned label column.
std::string AlignRows(const Rows& rows, const std::vector<size_t>& widths) {
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      if (i == 0) {
        line += row[i] + std::string(widths[0] - row[i].size(), ' ');
      } else {
        line += std::string(widths[i] - row[i].size() + 2, ' ') + row[i];
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

// A band's column heading: the dialog's name for nominal bands, otherwise
// the real centre in Hz.
std::string TableBandName(const FileResult& r, int band) {
  if (NominalBands(r) || band == 0) return BandColumns(r.ThirdOctave())[band].dialogName;
  char text[32];
  std::snprintf(text, sizeof(text), "%.4g Hz", BandCentreHz(r, band));
  return text;
}

// Missing values grouped by reason, in order of first appearance: per
// reason "band (P, Q); band (R)".
class ReasonList {
 public:
  void Add(const std::string& reason, const std::string& band, const std::string& name) {
    auto& bands = Find(byReason_, reason);
    if (bands.empty() || bands.back().first != band)
      bands.push_back({band, name});
    else
      bands.back().second += ", " + name;
  }
  std::string Lines(const std::string& prefix, std::vector<std::string>& reasonsUsed) const {
    std::string out;
    for (const auto& [reason, bands] : byReason_) {
      out += prefix + reason + ":";
      for (size_t i = 0; i < bands.size(); ++i) {
        const std::string& names = bands[i].second;
        const bool all = std::count(names.begin(), names.end(), ',') == PARAMS_PER_BAND - 1;
        out += (i ? "; " : " ") + bands[i].first + " (" + (all ? "all" : names) + ")";
      }
      out += "\n";
      if (std::find(reasonsUsed.begin(), reasonsUsed.end(), reason) == reasonsUsed.end())
        reasonsUsed.push_back(reason);
    }
    return out;
  }

 private:
  typedef std::vector<std::pair<std::string, std::string>> Bands;
  static Bands& Find(std::vector<std::pair<std::string, Bands>>& list, const std::string& key) {
    for (auto& entry : list) {
      if (entry.first == key) return entry.second;
    }
    list.push_back({key, {}});
    return list.back().second;
  }
  std::vector<std::pair<std::string, Bands>> byReason_;
};

// Footnotes of one channel's table: each reason for a missing value ("- -")
// with the bands and parameters it applies to, then the values kept although
// their band's impulse-to-noise ratio is below what their fit needs; after
// the last channel, the same for the rows between the channels.
std::string Footnotes(const FileResult& r, int channel, std::vector<std::string>& reasonsUsed) {
  ReasonList missing;
  std::string lowInr;
  for (int b = 0; b < ColumnCount(r); ++b) {
    for (int k = 0; k < PARAMS_PER_BAND; ++k) {
      const ValueState state = ParameterState(r, channel, b, k);
      if (!state.computed) {
        missing.Add(state.reason, BandName(r, b), PARAMETERS[k].name);
      } else if (PARAMETERS[k].unit[0] != '\0' && !InrWarning(r, channel, b, k).empty()) {
        char text[96];
        std::snprintf(text, sizeof(text), "%s%s %s (%.0f dB)", lowInr.empty() ? "" : ", ", BandName(r, b),
                      PARAMETERS[k].name, r.record.channels[channel].bands[b].inrDb);
        lowInr += text;
      }
    }
  }
  std::string out = missing.Lines("  - - ", reasonsUsed);
  if (!lowInr.empty()) out += "  low impulse-to-noise ratio, value kept: " + lowInr + "\n";
  if (r.ChannelCount() == 2 && channel == 1) {
    ReasonList pair;
    // The third-octave table shows LF of the wide band alone.
    const int pairColumns = r.ThirdOctave() ? 1 : ColumnCount(r),
              pairRows = r.ThirdOctave() ? 1 : PAIR_ROW_COUNT;
    for (int b = 0; b < pairColumns; ++b) {
      for (int i = 0; i < pairRows; ++i) {
        const ValueState state = PairState(r, static_cast<PairRow>(i), b);
        if (!state.computed) pair.Add(state.reason, BandName(r, b), PAIR_LABELS[i].name);
      }
    }
    out += pair.Lines("  - - between the channels, ", reasonsUsed);
  }
  return out;
}

Rows OctaveTable(const FileResult& r, int channel) {
  Rows rows;
  std::vector<std::string> header{""};
  for (int b = 0; b < OCTAVE_ROWS; ++b) header.push_back(TableBandName(r, b));
  rows.push_back(header);
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    std::vector<std::string> row{PARAMETERS[k].dialogLabel};
    for (int b = 0; b < OCTAVE_ROWS; ++b) row.push_back(ParameterCellText(r, channel, b, k));
    rows.push_back(row);
  }
  std::vector<std::string> noise{"N.C."};
  for (int b = 0; b < OCTAVE_ROWS; ++b) noise.push_back(NoiseCellText(r, b));
  rows.push_back(noise);
  for (int pair = 0; pair < PAIR_ROW_COUNT; ++pair) {
    std::vector<std::string> row{PAIR_LABELS[pair].dialogLabel};
    for (int b = 0; b < OCTAVE_ROWS; ++b) row.push_back(PairCellText(r, static_cast<PairRow>(pair), b));
    rows.push_back(row);
  }
  return rows;
}

// Third-octave results: one line per band (28 bands do not fit across a
// terminal), the dialog's view labels as columns.
Rows ThirdOctaveTable(const FileResult& r, int channel) {
  Rows rows;
  std::vector<std::string> header{"Band"};
  for (const ParameterLabel& label : PARAMETERS) header.push_back(label.thirdDialogLabel);
  header.push_back("NC");
  rows.push_back(header);
  for (int b = 0; b < THIRD_OCTAVE_ROWS; ++b) {
    std::vector<std::string> row{TableBandName(r, b)};
    for (int k = 0; k < PARAMS_PER_BAND; ++k) row.push_back(ParameterCellText(r, channel, b, k));
    // The wide band has no N.C. cell in the dialog.
    row.push_back(b == 0 ? "" : NoiseCellText(r, b));
    rows.push_back(row);
  }
  return rows;
}

// --- csv ---------------------------------------------------------------

// value,computed,reason: an empty value and the reason for anything that is
// not a result.
template <typename T>
std::string CsvValue(const ValueState& state, T value) {
  return state.computed ? ExactText(value) + ",yes," : std::string(",no,") + state.reason;
}

// --- json ----------------------------------------------------------------

std::string JsonBool(bool value) { return value ? "true" : "false"; }

// {"value": v, "computed": true} for a result; {"value": null, "computed":
// false, "reason": code} for anything else, sentinels included.
template <typename T>
std::string JsonValue(const ValueState& state, T value, const std::string& extra = "") {
  if (state.computed) return "{\"value\": " + JsonNumber(value) + ", \"computed\": true" + extra + "}";
  return "{\"value\": null, \"computed\": false, \"reason\": " + JsonString(state.reason) + extra + "}";
}

// The level range of each decay fit, dB below the level at the arrival.
struct FitRanges {
  double db[DECAY_FIT_COUNT][2];
  const double* operator[](int fit) const { return db[fit]; }
};
FitRanges FitRangesDb(const FileResult& r) {
  return FitRanges{
      {{-0.1, -10.1}, {-5.0, -25.0}, {-5.0, -35.0}, {r.settings.rtuStartDb, r.settings.rtuEndDb}}};
}

// A short number for a level given in the settings (6 significant digits).
std::string Short(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.6g", value);
  return text;
}

// Seconds from the start of the file of a sample index of a band signal
// (or of the selection as analysed) at `rateHz`.
double FileSeconds(const FileResult& r, double index, double rateHz) {
  return static_cast<double>(r.firstFrame) / r.audio.sampleRate + index / rateHz;
}

// The first arrival of a channel on its unfiltered signal, in the file's
// own time base; null with a reason when no sample reaches the threshold.
std::string JsonFirstArrival(const FileResult& r, int channel) {
  const hostkit::ChannelRecord& record = r.record.channels[channel];
  if (!record.searched) return "{\"sample\": null, \"seconds\": null, \"reason\": \"not-analysed\"}";
  if (record.trace.arrival >= record.trace.length)
    return "{\"sample\": null, \"seconds\": null, \"reason\": \"no-first-arrival\"}";
  const double seconds = FileSeconds(r, record.trace.arrival, record.trace.rateHz);
  return "{\"sample\": " + std::to_string(std::llround(seconds * r.audio.sampleRate)) +
         ", \"seconds\": " + JsonNumber(seconds) + "}";
}

// Facts of one band of one channel: centre, noise, impulse-to-noise ratio
// and the segments the decay fits regressed.
std::string JsonBandFacts(const FileResult& r, int channel, int band) {
  std::string o = ", \"centreHz\": " + JsonNumber(BandCentreHz(r, band));
  o += ", \"nominal\": " +
       (NominalBands(r) ? JsonString(BandColumns(r.ThirdOctave())[band].nominalLabel) : std::string("null"));
  const hostkit::BandRecord& record = r.record.channels[channel].bands[band];
  if (!record.analysed || AboveBandwidth(r, band)) return o;
  o += ", \"noisePower\": " + (record.noisePower > 0.0 ? JsonNumber(record.noisePower) : std::string("null"));
  o += ", \"inrDb\": " + JsonNumber(record.inrDb);
  static const char* FIT_NAMES[DECAY_FIT_COUNT] = {"EDT", "RT20", "RT30", "RTU"};
  const FitRanges ranges = FitRangesDb(r);
  o += ", \"fits\": {";
  for (int f = 0; f < DECAY_FIT_COUNT; ++f) {
    const FitResult& fit = record.outcome.fits[f];
    o += std::string(f ? ", " : "") + JsonString(FIT_NAMES[f]) + ": {\"fromDb\": " + Short(ranges[f][0]) +
         ", \"toDb\": " + Short(ranges[f][1]);
    if (fit.pointCount > 0) {
      o += ", \"startSeconds\": " + JsonNumber(FileSeconds(r, fit.firstIndex, record.rateHz)) +
           ", \"endSeconds\": " +
           JsonNumber(FileSeconds(r, fit.firstIndex + fit.pointCount - 1.0, record.rateHz));
    }
    if (fit.status == FIT_OK)
      o += ", \"slopeDbPerSecond\": " + JsonNumber(fit.slopeDbPerSample * record.rateHz);
    o += "}";
  }
  return o + "}";
}

const char* StatusName(const FileResult& r) {
  return r.exitCode == EXIT_OK            ? "ok"
         : r.exitCode == EXIT_UNREADABLE  ? "unreadable"
         : r.exitCode == EXIT_NO_RESULTS  ? "no results"
         : r.exitCode == EXIT_REFUSED     ? "refused"
         : r.exitCode == EXIT_INTERRUPTED ? "interrupted"
                                          : "failed";
}

std::string JsonFile(const FileResult& r, const std::string& indent) {
  const std::string in1 = indent + "  ", in2 = in1 + "  ", in3 = in2 + "  ", in4 = in3 + "  ";
  std::string o = indent + "{\n";
  o += in1 + "\"schemaVersion\": " + std::to_string(JSON_SCHEMA_VERSION) + ",\n";
  o += in1 + "\"file\": " + JsonString(r.path) + ",\n";
  o += in1 + "\"status\": " + JsonString(StatusName(r)) + ",\n";
  o += in1 + "\"exitCode\": " + std::to_string(r.exitCode) + ",\n";
  if (!r.error.empty()) o += in1 + "\"error\": " + JsonString(r.error) + ",\n";
  if (!r.refusal.empty()) o += in1 + "\"reason\": " + JsonString(r.refusal) + ",\n";
  const AudioData& a = r.audio;
  if (a.fileChannels > 0) {
    o += in1 + "\"audio\": {\n";
    o += in2 + "\"majorFormat\": " + JsonString(a.majorFormat) + ",\n";
    o += in2 + "\"subFormat\": " + JsonString(a.subFormat) + ",\n";
    o += in2 + "\"sampleRate\": " + std::to_string(a.sampleRate) + ",\n";
    o += in2 + "\"fileChannels\": " + std::to_string(a.fileChannels) + ",\n";
    o += in2 + "\"frames\": " + std::to_string(a.fileFrames) + ",\n";
    o += in2 + "\"channelsUsed\": [";
    for (size_t i = 0; i < a.usedChannels.size(); ++i)
      o += (i ? ", " : "") + std::to_string(a.usedChannels[i]);
    o += "],\n";
    o += in2 + "\"bitsOffered\": " + std::to_string(a.bitsOffered) + ",\n";
    o += in2 + "\"floatSamples\": " + JsonBool(a.floatSource) + "\n";
    o += in1 + "},\n";
  }
  if (!r.peaks.empty()) {
    o += in1 + "\"selection\": {\"firstFrame\": " + std::to_string(r.firstFrame) +
         ", \"lastFrame\": " + std::to_string(r.lastFrame) +
         ", \"frames\": " + std::to_string(r.lastFrame - r.firstFrame + 1) +
         ", \"startSeconds\": " + JsonNumber(static_cast<double>(r.firstFrame) / a.sampleRate) +
         ", \"endSeconds\": " + JsonNumber(static_cast<double>(r.lastFrame + 1) / a.sampleRate) + "},\n";
    o += in1 + "\"peaks\": [";
    for (size_t i = 0; i < r.peaks.size(); ++i) o += (i ? ", " : "") + JsonNumber(r.peaks[i]);
    o += "],\n";
    o += in1 + "\"scaling\": {\"scaled\": " + JsonBool(r.scaled) +
         ", \"factor\": " + JsonNumber(r.scaleFactor);
    if (r.scaled) {
      o += ", \"note\": " +
           JsonString(std::string("the float samples ") +
                      (r.scaleFactor < 1.0 ? "exceeded the 16-bit scale and were scaled down"
                                           : "lay below -30 dBFS and were scaled up") +
                      " so that the peak is 32767; every parameter is a ratio or a slope, so the results are "
                      "unaffected");
    }
    o += "},\n";
  }
  if (r.analysisRate > 0) {
    o += in1 + "\"resampledFrom\": " + (r.resampledFrom ? std::to_string(r.resampledFrom) : "null") + ",\n";
    o += in1 + "\"analysis\": {\"sampleRate\": " + std::to_string(r.analysisRate) +
         ", \"frames\": " + std::to_string(r.analysedFrames) +
         ", \"bitsOffered\": " + std::to_string(r.analysedBits) +
         ", \"nominalBands\": " + JsonBool(NominalBands(r)) + "},\n";
  }
  if (!r.settingsBytes.empty()) {
    const AnalysisSettings& s = r.settings;
    o += in1 + "\"settings\": {\n";
    o += in2 + "\"rtuStartDb\": " + JsonNumber(s.rtuStartDb) + ",\n";
    o += in2 + "\"rtuEndDb\": " + JsonNumber(s.rtuEndDb) + ",\n";
    o += in2 + "\"wThreshold\": " + JsonNumber(s.wThreshold) + ",\n";
    o += in2 + "\"yThreshold\": " + JsonNumber(s.yThreshold) + ",\n";
    o += in2 + "\"thresholdLock\": " + JsonBool(s.thresholdLock != 0) + ",\n";
    o += in2 + "\"arrivalThreshold\": " + std::to_string(s.arrivalThreshold) + ",\n";
    o += in2 + "\"thresholdSource\": " + JsonString(ThresholdSource(r)) + ",\n";
    o += in2 + "\"typedThreshold\": " + JsonString(r.typedThreshold) + ",\n";
    o += in2 + "\"boostDb\": " + JsonNumber(s.boostDb) + ",\n";
    o += in2 + "\"noiseCorrection\": " + JsonBool(s.noiseCorrection != 0) + ",\n";
    o += in2 + "\"thirdOctave\": " + JsonBool(s.thirdOctave != 0) + ",\n";
    o += in2 + "\"adjustments\": [";
    for (size_t i = 0; i < r.adjustments.size(); ++i) {
      o += (i ? ", " : "") + std::string("{\"field\": ") + JsonString(r.adjustments[i].field) +
           ", \"given\": " + JsonNumber(r.adjustments[i].given) +
           ", \"stored\": " + JsonNumber(r.adjustments[i].stored) + "}";
    }
    o += "]\n";
    o += in1 + "},\n";
  }
  if (r.haveResults) {
    const int columns = ColumnCount(r);
    o += in1 + "\"bands\": [";
    for (int b = 0; b < columns; ++b) o += (b ? ", " : "") + JsonString(BandName(r, b));
    o += "],\n";
    o += in1 + "\"channels\": [\n";
    for (int c = 0; c < r.ChannelCount(); ++c) {
      o += in2 + "{\n" + in3 + "\"channel\": " + JsonString(ChannelName(r, c)) + ",\n";
      o += in3 + "\"firstArrival\": " + JsonFirstArrival(r, c) + ",\n";
      o += in3 + "\"bands\": [\n";
      for (int b = 0; b < columns; ++b) {
        o += in4 + "{\"band\": " + JsonString(BandName(r, b)) + JsonBandFacts(r, c, b);
        for (int k = 0; k < PARAMS_PER_BAND; ++k) {
          const char mark = r.store.valid[c][b][k];
          std::string extra = ", \"mark\": " + JsonString(std::string(1, mark ? mark : '0')) +
                              ", \"isoName\": " + JsonString(PARAMETERS[k].isoName);
          const std::string warning = InrWarning(r, c, b, k);
          if (!warning.empty()) extra += ", \"warning\": " + JsonString(warning);
          o += ", " + JsonString(PARAMETERS[k].name) + ": " +
               JsonValue(ParameterState(r, c, b, k), r.store.values[c][b][k], extra);
        }
        o += "}";
        o += (b + 1 < columns ? ",\n" : "\n");
      }
      o += in3 + "]\n" + in2 + "}" + (c + 1 < r.ChannelCount() ? ",\n" : "\n");
    }
    o += in1 + "],\n";
    o += in1 + "\"noiseCorrected\": [";
    for (int b = 0; b < columns; ++b) o += (b ? ", " : "") + JsonBool(NoiseCorrectionState(r, b).computed);
    o += "],\n";
    o += in1 + "\"interChannel\": [\n";
    for (int b = 0; b < columns; ++b) {
      o += in2 + "{\"band\": " + JsonString(BandName(r, b));
      for (int i = 0; i < PAIR_ROW_COUNT; ++i) {
        const PairRow row = static_cast<PairRow>(i);
        o += ", " + JsonString(PAIR_LABELS[i].name) + ": " +
             JsonValue(PairState(r, row, b), PairValue(r, row, b));
      }
      o += std::string("}") + (b + 1 < columns ? ",\n" : "\n");
    }
    o += in1 + "],\n";
    o += in1 + "\"report\": " + JsonString(r.report) + ",\n";
  }
  o += in1 + "\"statusTexts\": [";
  for (size_t i = 0; i < r.statusTexts.size(); ++i) o += (i ? ", " : "") + JsonString(r.statusTexts[i]);
  o += "],\n";
  o += in1 + "\"messages\": [";
  for (size_t i = 0; i < r.messages.size(); ++i) {
    o += (i ? ", " : "") + std::string("{\"caption\": ") + JsonString(r.messages[i].caption) +
         ", \"text\": " + JsonString(r.messages[i].text) + "}";
  }
  o += "]\n";
  o += indent + "}";
  return o;
}

}  // namespace

std::string ParameterCellText(const FileResult& r, int channel, int band, int slot) {
  if (!ParameterState(r, channel, band, slot).computed) return DIALOG_MISSING;
  const char mark = r.store.valid[channel][band][slot];
  const float value = r.store.values[channel][band][slot];
  char text[NUMBER_TEXT_SIZE];
  return r.ThirdOctave() ? ThirdOctaveCellText(band, mark, value, text)
                         : ::ParameterCellText(mark, value, DIALOG_MISSING, text);
}

std::string PairCellText(const FileResult& r, PairRow row, int band) {
  if (!PairState(r, row, band).computed) return DIALOG_MISSING;
  char text[NUMBER_TEXT_SIZE];
  return ::PairCellText(PairValue(r, row, band), DIALOG_MISSING, text);
}

std::string NoiseCellText(const FileResult& r, int band) {
  if (AboveBandwidth(r, band)) return DIALOG_MISSING;
  return NoiseCorrectionCellText(r.settings.noiseCorrection, r.store.noiseCorrected[band], DIALOG_MISSING);
}

std::string FileFactsText(const FileResult& r) { return FileFacts(r); }
std::string ThresholdText(const FileResult& r) { return ThresholdLine(r); }
std::string RtuText(const FileResult& r) { return RtuRangeText(r); }

std::string FormatTable(const std::vector<FileResult>& results) {
  std::string out;
  for (size_t i = 0; i < results.size(); ++i) {
    const FileResult& r = results[i];
    if (i) out += "\n";
    out += "== " + r.path + " ==\n";
    if (!r.haveResults) {
      out += "no results: " + r.error + "\n";
      continue;
    }
    out += FileFacts(r) + "\n";
    if (r.resampledFrom) {
      out += "Resampled from " + std::to_string(r.resampledFrom) + " Hz to " +
             std::to_string(r.analysisRate) +
             " Hz for the analysis (nominal bands); times are in the file's time base\n";
    } else if (!NominalBands(r)) {
      char text[160];
      std::snprintf(text, sizeof(text),
                    "Analysed at the file's rate (--native-rate): band centres are nominal x %.4g\n",
                    r.analysisRate / static_cast<double>(FILTER_DESIGN_RATE_HZ));
      out += text;
    }
    out += ThresholdLine(r) + "\n";
    if (r.scaled) out += "Float samples above the 16-bit scale, scaled by " + ExactText(r.scaleFactor) + "\n";
    const std::string title =
        r.ThirdOctave() ? "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS" : "OCTAVE BAND ACOUSTICAL PARAMETERS";
    std::vector<Rows> tables;
    for (int c = 0; c < r.ChannelCount(); ++c)
      tables.push_back(r.ThirdOctave() ? ThirdOctaveTable(r, c) : OctaveTable(r, c));
    const std::vector<size_t> widths = ColumnWidths(tables);
    std::vector<std::string> reasonsUsed;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      out += "\n" + title;
      if (r.ChannelCount() == 2) out += c == 0 ? " - Left Channel" : " - Right Channel";
      out += "\n";
      out += AlignRows(tables[c], widths);
      out += Footnotes(r, c, reasonsUsed);
    }
    if (r.ThirdOctave() && r.ChannelCount() == 2)
      out += "\nLF (Wide Band)  " + PairCellText(r, PAIR_LF, 0) + "\n";
    out += "\nRTU=RT User " + RtuRangeText(r) + "\n";
    for (const std::string& reason : reasonsUsed) out += reason + ": " + ReasonSentence(reason) + "\n";
  }
  return out;
}

std::string FormatReport(const std::vector<FileResult>& results) {
  std::string out;
  for (const FileResult& r : results) {
    if (!r.haveResults) continue;
    // One heading line, then the copied report byte for byte.
    out += "File\t" + r.path + "\t";
    if (r.ChannelCount() == 1) {
      out += "Threshold\t" + Gcvt(r.settings.wThreshold, 5);
    } else {
      out += "W Threshold\t" + Gcvt(r.settings.wThreshold, 5) + "\tY Threshold\t" +
             Gcvt(r.settings.yThreshold, 5);
    }
    out += "\r\n\r\n";
    out += r.report;
  }
  return out;
}

constexpr int CSV_COLUMNS = 26;

std::string FormatCsv(const std::vector<FileResult>& results) {
  // One row per value; the file's, channel's, band's and fit's facts are
  // repeated on each row they belong to. A file without results has one row
  // with its status, exit code and message.
  std::string out =
      "file,status,exit_code,channel,band,centre_hz,nominal,parameter,iso_name,unit,value,computed,reason,"
      "warning,"
      "first_arrival_sample,first_arrival_s,noise_power,inr_db,fit_from_db,fit_to_db,fit_start_s,fit_end_s,"
      "w_threshold,y_threshold,resampled_from,message\r\n";
  for (const FileResult& r : results) {
    const std::string file = CsvField(r.path);
    const std::string head = file + "," + CsvField(StatusName(r)) + "," + std::to_string(r.exitCode) + ",";
    if (!r.haveResults) {
      std::vector<std::string> cells(CSV_COLUMNS);
      cells[0] = file;
      cells[1] = CsvField(StatusName(r));
      cells[2] = std::to_string(r.exitCode);
      cells[11] = "no";
      cells[12] = CsvField(r.refusal.empty() ? StatusName(r) : r.refusal);
      if (r.resampledFrom) cells[24] = std::to_string(r.resampledFrom);
      cells[25] = CsvField(r.error);
      for (int i = 0; i < CSV_COLUMNS; ++i) out += (i ? "," : "") + cells[i];
      out += "\r\n";
      continue;
    }
    const std::string tail = "," + ExactText(r.settings.wThreshold) + "," +
                             (r.ChannelCount() == 2 ? ExactText(r.settings.yThreshold) : std::string()) +
                             "," + (r.resampledFrom ? std::to_string(r.resampledFrom) : std::string()) +
                             ",\r\n";
    const int columns = ColumnCount(r);
    auto bandCells = [&](int b) {
      char centre[32];
      std::snprintf(centre, sizeof(centre), "%.6g", BandCentreHz(r, b));
      return CsvField(BandName(r, b)) + "," + (b == 0 ? "" : centre) + "," +
             (NominalBands(r) ? BandColumns(r.ThirdOctave())[b].nominalLabel : "") + ",";
    };
    for (int c = 0; c < r.ChannelCount(); ++c) {
      const hostkit::ChannelRecord& channel = r.record.channels[c];
      std::string arrival = ",";
      if (channel.searched && channel.trace.arrival < channel.trace.length) {
        const double seconds = FileSeconds(r, channel.trace.arrival, channel.trace.rateHz);
        arrival = std::to_string(std::llround(seconds * r.audio.sampleRate)) + "," + ExactText(seconds);
      }
      for (int b = 0; b < columns; ++b) {
        const hostkit::BandRecord& band = r.record.channels[c].bands[b];
        const bool known = band.analysed && !AboveBandwidth(r, b);
        const std::string noise = known && band.noisePower > 0.0 ? ExactText(band.noisePower) : "";
        const std::string inr = known && std::isfinite(band.inrDb) ? ExactText(band.inrDb) : "";
        for (int k = 0; k < PARAMS_PER_BAND; ++k) {
          std::string fit = ",,,";
          const int f = k == SLOT_EDT                        ? DECAY_EDT
                        : k == SLOT_RT20 || k == SLOT_R_RT20 ? DECAY_RT20
                        : k == SLOT_RT30 || k == SLOT_R_RT30 ? DECAY_RT30
                        : k == SLOT_RTU || k == SLOT_R_RTU   ? DECAY_RTU
                                                             : -1;
          if (f >= 0 && known) {
            const FitRanges ranges = FitRangesDb(r);
            const double* range = ranges[f];
            fit = Short(range[0]) + "," + Short(range[1]) + ",";
            const FitResult& result = band.outcome.fits[f];
            if (result.pointCount > 0) {
              fit += ExactText(FileSeconds(r, result.firstIndex, band.rateHz)) + "," +
                     ExactText(FileSeconds(r, result.firstIndex + result.pointCount - 1.0, band.rateHz));
            } else {
              fit += ",";
            }
          }
          out += head + ChannelName(r, c) + "," + bandCells(b) + CsvField(PARAMETERS[k].name) + "," +
                 CsvField(PARAMETERS[k].isoName) + "," + PARAMETERS[k].unit + "," +
                 CsvValue(ParameterState(r, c, b, k), r.store.values[c][b][k]) + "," +
                 CsvField(InrWarning(r, c, b, k)) + "," + arrival + "," + noise + "," + inr + "," + fit +
                 tail;
        }
        if (c == 0) {
          // Noise correction is decided by the first (or only) channel's
          // analysis: 1 where the noise floor was subtracted.
          const ValueState nc = NoiseCorrectionState(r, b);
          out += head + ChannelName(r, c) + "," + bandCells(b) + "NC,NC,," + (nc.computed ? "1" : "0") + "," +
                 (r.settings.noiseCorrection != 0 ? "yes" : "no") + "," + nc.reason + ",," + arrival + "," +
                 noise + "," + inr + ",,,," + tail;
        }
      }
    }
    if (r.ChannelCount() == 2) {
      for (int b = 0; b < columns; ++b) {
        for (int i = 0; i < PAIR_ROW_COUNT; ++i) {
          const PairRow row = static_cast<PairRow>(i);
          out += head + "pair," + bandCells(b) + PAIR_LABELS[i].name + "," + PAIR_LABELS[i].name + "," +
                 PAIR_LABELS[i].unit + "," + CsvValue(PairState(r, row, b), PairValue(r, row, b)) +
                 ",,,,,,,,," + tail;
        }
      }
    }
  }
  return out;
}

std::string FormatJson(const std::vector<FileResult>& results) {
  std::string out = "[\n";
  for (size_t i = 0; i < results.size(); ++i) {
    out += JsonFile(results[i], "  ");
    out += i + 1 < results.size() ? ",\n" : "\n";
  }
  return out + "]\n";
}

}  // namespace cli
