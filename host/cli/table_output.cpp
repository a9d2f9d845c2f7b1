#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "host/cli/cells.h"
#include "host/cli/sweep_command.h"
#include "host/cli/text_encoding.h"
#include "host/cli/text_output.h"
#include "host/cli/text_table.h"
#include "interface/bands.h"
#include "ui/cell_text.h"

namespace cli {

namespace {

std::string Gcvt(double value, int digits) {
  char buffer[NUMBER_TEXT_SIZE];
  return FormatGcvt(value, digits, buffer);
}

std::string RtuRangeText(const FileResult& r) {
  char start[NUMBER_TEXT_SIZE], end[NUMBER_TEXT_SIZE];
  FormatNumberWidth(start, r.confirmation.settings.rtuStartDb, 6);
  FormatNumberWidth(end, r.confirmation.settings.rtuEndDb, 6);
  return std::string("(") + start + " dB, " + end + " dB)";
}

std::string ThresholdLine(const FileResult& r) {
  std::string line;
  if (r.ChannelCount() == 1) {
    line = "Threshold " + Gcvt(r.confirmation.settings.wThreshold, 5);
  } else {
    line = "W Threshold " + Gcvt(r.confirmation.settings.wThreshold, 5) + ", Y Threshold " +
           Gcvt(r.confirmation.settings.yThreshold, 5);
  }
  if (r.offer.thresholdMode == ThresholdMode::Auto)
    line += " (auto: 20 dB below the peak of the weaker channel)";
  else if (r.offer.thresholdMode == ThresholdMode::Keep)
    line += " (from the settings file)";
  return line;
}

std::string FileFacts(const FileResult& r) {
  const AudioData& a = r.input.audio;
  char text[256];
  std::snprintf(text, sizeof(text), "%s, %s, %d Hz, frames %u..%u of %llu", a.majorFormat.c_str(),
                a.subFormat.c_str(), a.sampleRate, r.input.firstFrame, r.input.lastFrame,
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

// Footnotes of one channel's table: each reason for a missing value (MISSING_MARK)
// with the bands and parameters it applies to, then the values kept although
// their band's impulse-to-noise ratio is below what their fit needs; after
// the last channel, the same for the rows between the channels.
std::string Footnotes(const FileResult& r, int channel, std::vector<std::string>& reasonsUsed) {
  ReasonList missing;
  std::string lowInr;
  for (int b = 0; b < BandRowCount(r.ThirdOctave()); ++b) {
    for (int k = 0; k < PARAMS_PER_BAND; ++k) {
      const ValueState state = ParameterState(r, channel, b, k);
      if (!state.computed) {
        missing.Add(state.reason, BandName(r, b), PARAMETERS[k].name);
      } else if (PARAMETERS[k].unit[0] != '\0' && !InrWarning(r, channel, b, k).empty()) {
        char text[96];
        std::snprintf(text, sizeof(text), "%s%s %s (%.0f dB)", lowInr.empty() ? "" : ", ", BandName(r, b),
                      PARAMETERS[k].name, r.outcome.record.channels[channel].bands[b].inrDb);
        lowInr += text;
      }
    }
  }
  std::string out = missing.Lines(std::string("  ") + MISSING_MARK + " ", reasonsUsed);
  if (!lowInr.empty()) out += "  low impulse-to-noise ratio, value kept: " + lowInr + "\n";
  if (r.ChannelCount() == 2 && channel == 1) {
    ReasonList pair;
    // The third-octave table shows LF of the wide band alone.
    const int pairColumns = r.ThirdOctave() ? 1 : BandRowCount(r.ThirdOctave()),
              pairRows = r.ThirdOctave() ? 1 : PAIR_ROW_COUNT;
    for (int b = 0; b < pairColumns; ++b) {
      for (int i = 0; i < pairRows; ++i) {
        const ValueState state = PairState(r, static_cast<PairRow>(i), b);
        if (!state.computed) pair.Add(state.reason, BandName(r, b), PAIR_ROWS[i].name);
      }
    }
    out += pair.Lines(std::string("  ") + MISSING_MARK + " between the channels, ", reasonsUsed);
  }
  return out;
}

TextRows OctaveTable(const FileResult& r, int channel) {
  TextRows rows;
  std::vector<std::string> header{""};
  for (int b = 0; b < OCTAVE_ROWS; ++b) header.push_back(TableBandName(r, b));
  rows.push_back(header);
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    std::vector<std::string> row{PARAMETERS[k].dialogLabel};
    for (int b = 0; b < OCTAVE_ROWS; ++b) row.push_back(ParameterDialogText(r, channel, b, k));
    rows.push_back(row);
  }
  std::vector<std::string> noise{"N.C."};
  for (int b = 0; b < OCTAVE_ROWS; ++b) noise.push_back(NoiseDialogText(r, b));
  rows.push_back(noise);
  for (int pair = 0; pair < PAIR_ROW_COUNT; ++pair) {
    std::vector<std::string> row{PAIR_ROWS[pair].dialogLabel};
    for (int b = 0; b < OCTAVE_ROWS; ++b) row.push_back(PairDialogText(r, static_cast<PairRow>(pair), b));
    rows.push_back(row);
  }
  return rows;
}

// Third-octave results: one line per band (28 bands do not fit across a
// terminal), the dialog's view labels as columns.
TextRows ThirdOctaveTable(const FileResult& r, int channel) {
  TextRows rows;
  std::vector<std::string> header{"Band"};
  for (const ParameterLabel& label : PARAMETERS) header.push_back(label.thirdDialogLabel);
  header.push_back("NC");
  rows.push_back(header);
  for (int b = 0; b < THIRD_OCTAVE_ROWS; ++b) {
    std::vector<std::string> row{TableBandName(r, b)};
    for (int k = 0; k < PARAMS_PER_BAND; ++k) row.push_back(ParameterDialogText(r, channel, b, k));
    // The wide band has no N.C. cell in the dialog.
    row.push_back(b == 0 ? "" : NoiseDialogText(r, b));
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

std::string FileFactsText(const FileResult& r) { return FileFacts(r); }
std::string ThresholdText(const FileResult& r) { return ThresholdLine(r); }
std::string RtuText(const FileResult& r) { return RtuRangeText(r); }

std::string FormatTable(const std::vector<FileResult>& results) {
  std::string out;
  for (size_t i = 0; i < results.size(); ++i) {
    const FileResult& r = results[i];
    if (i) out += "\n";
    out += "== " + r.input.path + " ==\n";
    if (!r.outcome.haveResults) {
      out += "no results: " + r.outcome.error + "\n";
      continue;
    }
    out += FileFacts(r) + "\n";
    if (r.input.deconvolution) out += DeconvolutionFactsText(*r.input.deconvolution) + "\n";
    if (r.offer.resampledFrom) {
      out += "Resampled from " + std::to_string(r.offer.resampledFrom) + " Hz to " +
             std::to_string(r.offer.analysisRate) +
             " Hz for the analysis (nominal bands); times are in the file's time base\n";
    } else if (!NominalBands(r)) {
      char text[160];
      std::snprintf(text, sizeof(text),
                    "Analysed at the file's rate (--native-rate): band centres are nominal x %.4g\n",
                    r.offer.analysisRate / static_cast<double>(FILTER_DESIGN_RATE_HZ));
      out += text;
    }
    out += ThresholdLine(r) + "\n";
    if (r.offer.scaled)
      out += "Float samples above the 16-bit scale, scaled by " + ExactText(r.offer.scaleFactor) + "\n";
    const std::string title =
        r.ThirdOctave() ? "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS" : "OCTAVE BAND ACOUSTICAL PARAMETERS";
    std::vector<TextRows> tables;
    for (int c = 0; c < r.ChannelCount(); ++c)
      tables.push_back(r.ThirdOctave() ? ThirdOctaveTable(r, c) : OctaveTable(r, c));
    const std::vector<size_t> widths = ColumnWidths(tables);
    std::vector<std::string> reasonsUsed;
    for (int c = 0; c < r.ChannelCount(); ++c) {
      out += "\n" + title;
      if (r.ChannelCount() == 2) out += c == 0 ? " - Left Channel" : " - Right Channel";
      out += "\n";
      out += AlignedTable(tables[c], widths);
      out += Footnotes(r, c, reasonsUsed);
    }
    if (r.ThirdOctave() && r.ChannelCount() == 2)
      out += "\nLF (Wide Band)  " + PairDialogText(r, PAIR_LF, 0) + "\n";
    out += "\nRTU=RT User " + RtuRangeText(r) + "\n";
    for (const std::string& reason : reasonsUsed) out += reason + ": " + ReasonSentence(reason) + "\n";
  }
  return out;
}

std::string FormatReport(const std::vector<FileResult>& results) {
  std::string out;
  for (const FileResult& r : results) {
    if (!r.outcome.haveResults) continue;
    // One heading line, then the copied report byte for byte.
    out += "File\t" + r.input.path + "\t";
    if (r.ChannelCount() == 1) {
      out += "Threshold\t" + Gcvt(r.confirmation.settings.wThreshold, 5);
    } else {
      out += "W Threshold\t" + Gcvt(r.confirmation.settings.wThreshold, 5) + "\tY Threshold\t" +
             Gcvt(r.confirmation.settings.yThreshold, 5);
    }
    out += "\r\n\r\n";
    out += r.outcome.report;
  }
  return out;
}

}  // namespace cli
