#include "host/cli/output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "ui/number_text.h"

namespace cli {

namespace {

constexpr const char* OCTAVE_BANDS[] = {"Lin", "31.5", "63", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"};
constexpr const char* THIRD_BANDS[] = {
    "Lin",    "31.5(1)", "31.5(2)", "31.5(3)", "63(1)", "63(2)", "63(3)", "125(1)", "125(2)", "125(3)",
    "250(1)", "250(2)",  "250(3)",  "500(1)",  "500(2)", "500(3)", "1K(1)", "1K(2)",  "1K(3)",  "2K(1)",
    "2K(2)",  "2K(3)",   "4K(1)",   "4K(2)",   "4K(3)",  "8K(1)",  "8K(2)", "8K(3)"};
constexpr int OCTAVE_COLUMNS = 11;
constexpr int THIRD_COLUMNS = 28;

// Row labels of the octave results dialog, parameter slots 0..10.
constexpr const char* DIALOG_LABELS[] = {"C50 (dB)", "C80 (dB)", "D50 (%)", "TS (ms)", "EDT (s)", "RT20 (s)",
                                         "r RT20",   "RT30 (s)", "r RT30",  "RTU (s)", "r RTU"};
// Parameter names and units for csv and json.
constexpr const char* PARAMETER_NAMES[] = {"C50",  "C80",    "D50", "TS",     "EDT", "RT20",
                                           "r RT20", "RT30", "r RT30", "RTU", "r RTU"};
constexpr const char* PARAMETER_UNITS[] = {"dB", "dB", "%", "ms", "s", "s", "", "s", "", "s", ""};

const char* MISSING = "- -";

std::string Gcvt(double value, int digits) {
  char buffer[NUMBER_TEXT_SIZE];
  return FormatGcvt(value, digits, buffer);
}

// Full precision that reads back to the same value.
std::string Exact(float value) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
  return text;
}
std::string Exact(double value) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.17g", value);
  return text;
}

bool ThirdOctave(const FileResult& r) { return r.settings.thirdOctave != 0; }
int ColumnCount(const FileResult& r) { return ThirdOctave(r) ? THIRD_COLUMNS : OCTAVE_COLUMNS; }
const char* BandName(const FileResult& r, int band) {
  return ThirdOctave(r) ? THIRD_BANDS[band] : OCTAVE_BANDS[band];
}
int ChannelCount(const FileResult& r) { return static_cast<int>(r.audio.usedChannels.size()); }
const char* ChannelName(const FileResult& r, int channel) {
  if (ChannelCount(r) == 1) return "mono";
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
  if (ChannelCount(r) == 1) {
    line = "Threshold " + Gcvt(r.settings.wThreshold, 5);
  } else {
    line = "W Threshold " + Gcvt(r.settings.wThreshold, 5) + ", Y Threshold " + Gcvt(r.settings.yThreshold, 5);
  }
  if (r.thresholdMode == ThresholdMode::Auto) line += " (auto: 20 dB below the peak of the weaker channel)";
  else if (r.thresholdMode == ThresholdMode::Keep) line += " (from the settings file)";
  return line;
}

std::string FileFacts(const FileResult& r) {
  const AudioData& a = r.audio;
  char text[256];
  std::snprintf(text, sizeof(text), "%s, %s, %d Hz, frames %u..%u of %llu", a.majorFormat.c_str(),
                a.subFormat.c_str(), a.sampleRate, r.firstFrame, r.lastFrame,
                static_cast<unsigned long long>(a.fileFrames));
  std::string facts = text;
  if (ChannelCount(r) == 1) {
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

Rows OctaveTable(const FileResult& r, int channel) {
  Rows rows;
  std::vector<std::string> header{""};
  for (int b = 0; b < OCTAVE_COLUMNS; ++b) header.push_back(OCTAVE_BANDS[b]);
  rows.push_back(header);
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    std::vector<std::string> row{DIALOG_LABELS[k]};
    for (int b = 0; b < OCTAVE_COLUMNS; ++b) row.push_back(ParameterCellText(r, channel, b, k));
    rows.push_back(row);
  }
  std::vector<std::string> noise{"N.C."};
  for (int b = 0; b < OCTAVE_COLUMNS; ++b) noise.push_back(NoiseCellText(r, b));
  rows.push_back(noise);
  const struct {
    const char* label;
    const double* values;
  } pairs[] = {{"LF", r.store.lf},
               {"IACC", r.store.iacc},
               {"W IACC [ms]", r.store.wIacc},
               {"Tau IACC [ms]", r.store.tauIacc}};
  for (const auto& pair : pairs) {
    std::vector<std::string> row{pair.label};
    for (int b = 0; b < OCTAVE_COLUMNS; ++b) row.push_back(PairCellText(pair.values[b]));
    rows.push_back(row);
  }
  return rows;
}

// Third-octave results: one line per band (28 bands do not fit across a
// terminal), the dialog's view labels as columns.
Rows ThirdOctaveTable(const FileResult& r, int channel) {
  static constexpr const char* labels[] = {"C50 [dB]", "C80 [dB]", "D50 [%]", "TS [ms]", "EDT [s]", "RT20 [s]",
                                           "r RT20",   "RT30 [s]", "r RT30",  "RTUser[s]", "r RTUser"};
  Rows rows;
  std::vector<std::string> header{"Band"};
  for (const char* label : labels) header.push_back(label);
  header.push_back("NC");
  rows.push_back(header);
  for (int b = 0; b < THIRD_COLUMNS; ++b) {
    std::vector<std::string> row{b == 0 ? "Wide Band" : THIRD_BANDS[b]};
    for (int k = 0; k < PARAMS_PER_BAND; ++k) row.push_back(ParameterCellText(r, channel, b, k));
    // The wide band has no N.C. cell in the dialog.
    row.push_back(b == 0 ? "" : NoiseCellText(r, b));
    rows.push_back(row);
  }
  return rows;
}

// --- csv ---------------------------------------------------------------

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// --- json ----------------------------------------------------------------

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += length;
  }
  return true;
}

// A JSON string. UTF-8 text (file names) passes through; any other byte
// outside ASCII is written as the code point of the same value.
std::string JsonString(std::string_view text) {
  const bool utf8 = IsValidUtf8(text);
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
          char escape[8];
          std::snprintf(escape, sizeof(escape), "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}
template <typename T>
std::string JsonNumber(T value) {
  return std::isfinite(value) ? Exact(value) : "null";
}
std::string JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonFile(const FileResult& r, const std::string& indent) {
  const std::string in1 = indent + "  ", in2 = in1 + "  ", in3 = in2 + "  ", in4 = in3 + "  ";
  std::string o = indent + "{\n";
  o += in1 + "\"file\": " + JsonString(r.path) + ",\n";
  const char* status = r.exitCode == EXIT_OK            ? "ok"
                       : r.exitCode == EXIT_UNREADABLE  ? "unreadable"
                       : r.exitCode == EXIT_NO_RESULTS  ? "no results"
                       : r.exitCode == EXIT_INTERRUPTED ? "interrupted"
                                                        : "failed";
  o += in1 + "\"status\": " + JsonString(status) + ",\n";
  o += in1 + "\"exitCode\": " + std::to_string(r.exitCode) + ",\n";
  if (!r.error.empty()) o += in1 + "\"error\": " + JsonString(r.error) + ",\n";
  const AudioData& a = r.audio;
  if (a.fileChannels > 0) {
    o += in1 + "\"audio\": {\n";
    o += in2 + "\"majorFormat\": " + JsonString(a.majorFormat) + ",\n";
    o += in2 + "\"subFormat\": " + JsonString(a.subFormat) + ",\n";
    o += in2 + "\"sampleRate\": " + std::to_string(a.sampleRate) + ",\n";
    o += in2 + "\"fileChannels\": " + std::to_string(a.fileChannels) + ",\n";
    o += in2 + "\"frames\": " + std::to_string(a.fileFrames) + ",\n";
    o += in2 + "\"channelsUsed\": [";
    for (size_t i = 0; i < a.usedChannels.size(); ++i) o += (i ? ", " : "") + std::to_string(a.usedChannels[i]);
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
    o += in1 + "\"scaling\": {\"scaled\": " + JsonBool(r.scaled) + ", \"factor\": " + JsonNumber(r.scaleFactor);
    if (r.scaled) {
      o += ", \"note\": " +
           JsonString("the float samples exceeded the 16-bit scale and were scaled down so that the peak is "
                      "32767; every parameter is a ratio or a slope, so the results are unaffected");
    }
    o += "},\n";
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
           ", \"given\": " + JsonNumber(r.adjustments[i].given) + ", \"stored\": " +
           JsonNumber(r.adjustments[i].stored) + "}";
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
    for (int c = 0; c < ChannelCount(r); ++c) {
      o += in2 + "{\n" + in3 + "\"channel\": " + JsonString(ChannelName(r, c)) + ",\n" + in3 + "\"bands\": [\n";
      for (int b = 0; b < columns; ++b) {
        o += in4 + "{\"band\": " + JsonString(BandName(r, b));
        for (int k = 0; k < PARAMS_PER_BAND; ++k) {
          const char mark = r.store.valid[c][b][k];
          o += ", " + JsonString(PARAMETER_NAMES[k]) + ": {\"value\": " + JsonNumber(r.store.values[c][b][k]) +
               ", \"computed\": " + JsonBool(mark == 'y') + ", \"mark\": " + JsonString(std::string(1, mark ? mark : '0')) + "}";
        }
        o += "}";
        o += (b + 1 < columns ? ",\n" : "\n");
      }
      o += in3 + "]\n" + in2 + "}" + (c + 1 < ChannelCount(r) ? ",\n" : "\n");
    }
    o += in1 + "],\n";
    o += in1 + "\"noiseCorrected\": [";
    for (int b = 0; b < columns; ++b) o += (b ? ", " : "") + JsonBool(r.store.noiseCorrected[b] == 'y');
    o += "],\n";
    // The inter-channel rows: 0.0 means not computed.
    o += in1 + "\"interChannel\": [\n";
    for (int b = 0; b < columns; ++b) {
      const double row[] = {r.store.lf[b], r.store.iacc[b], r.store.wIacc[b], r.store.tauIacc[b]};
      const char* names[] = {"LF", "IACC", "W IACC", "Tau IACC"};
      o += in2 + "{\"band\": " + JsonString(BandName(r, b));
      for (int i = 0; i < 4; ++i) {
        o += ", " + JsonString(names[i]) + ": {\"value\": " + JsonNumber(row[i]) +
             ", \"computed\": " + JsonBool(row[i] < 0.0 || row[i] > 0.0) + "}";
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
  if (r.store.valid[channel][band][slot] != 'y') return MISSING;
  const float value = r.store.values[channel][band][slot];
  // The third-octave dialog also hides tiny values outside the wide band.
  if (ThirdOctave(r) && band > 0 && !(value < -0.0001f || value > 0.0001f)) return MISSING;
  return Gcvt(static_cast<double>(value), 4);
}

std::string PairCellText(double value) {
  if (!(value < 0.0 || value > 0.0)) return MISSING;
  return Gcvt(value, 4);
}

std::string NoiseCellText(const FileResult& r, int band) {
  if (r.settings.noiseCorrection == 0) return MISSING;
  return r.store.noiseCorrected[band] == 'y' ? "yes" : "no";
}

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
    out += ThresholdLine(r) + "\n";
    if (r.scaled) out += "Float samples above the 16-bit scale, scaled by " + Exact(r.scaleFactor) + "\n";
    const std::string title = ThirdOctave(r) ? "1/3 OCTAVE BAND ACOUSTICAL PARAMETERS" : "OCTAVE BAND ACOUSTICAL PARAMETERS";
    std::vector<Rows> tables;
    for (int c = 0; c < ChannelCount(r); ++c) tables.push_back(ThirdOctave(r) ? ThirdOctaveTable(r, c) : OctaveTable(r, c));
    const std::vector<size_t> widths = ColumnWidths(tables);
    for (int c = 0; c < ChannelCount(r); ++c) {
      out += "\n" + title;
      if (ChannelCount(r) == 2) out += c == 0 ? " - Left Channel" : " - Right Channel";
      out += "\n";
      out += AlignRows(tables[c], widths);
    }
    if (ThirdOctave(r) && ChannelCount(r) == 2) out += "\nLF (Wide Band)  " + PairCellText(r.store.lf[0]) + "\n";
    out += "\nRTU=RT User " + RtuRangeText(r) + "\n";
  }
  return out;
}

std::string FormatReport(const std::vector<FileResult>& results) {
  std::string out;
  for (const FileResult& r : results) {
    if (!r.haveResults) continue;
    // One heading line, then the copied report byte for byte.
    out += "File\t" + r.path + "\t";
    if (ChannelCount(r) == 1) {
      out += "Threshold\t" + Gcvt(r.settings.wThreshold, 5);
    } else {
      out += "W Threshold\t" + Gcvt(r.settings.wThreshold, 5) + "\tY Threshold\t" + Gcvt(r.settings.yThreshold, 5);
    }
    out += "\r\n\r\n";
    out += r.report;
  }
  return out;
}

std::string FormatCsv(const std::vector<FileResult>& results) {
  std::string out = "file,channel,band,parameter,unit,value,computed,w_threshold,y_threshold\r\n";
  for (const FileResult& r : results) {
    if (!r.haveResults) continue;
    const std::string tail = "," + Exact(r.settings.wThreshold) + "," +
                             (ChannelCount(r) == 2 ? Exact(r.settings.yThreshold) : std::string()) + "\r\n";
    const std::string file = CsvField(r.path);
    const int columns = ColumnCount(r);
    for (int c = 0; c < ChannelCount(r); ++c) {
      for (int b = 0; b < columns; ++b) {
        for (int k = 0; k < PARAMS_PER_BAND; ++k) {
          out += file + "," + ChannelName(r, c) + "," + CsvField(BandName(r, b)) + "," + CsvField(PARAMETER_NAMES[k]) +
                 "," + PARAMETER_UNITS[k] + "," + Exact(r.store.values[c][b][k]) + "," +
                 (r.store.valid[c][b][k] == 'y' ? "yes" : "no") + tail;
        }
        if (c == 0) {
          // Noise correction is decided by the first (or only) channel's analysis.
          out += file + "," + ChannelName(r, c) + "," + CsvField(BandName(r, b)) + ",NC,," +
                 (r.store.noiseCorrected[b] == 'y' ? "1" : "0") + "," +
                 (r.settings.noiseCorrection != 0 ? "yes" : "no") + tail;
        }
      }
    }
    if (ChannelCount(r) == 2) {
      for (int b = 0; b < columns; ++b) {
        const double row[] = {r.store.lf[b], r.store.iacc[b], r.store.wIacc[b], r.store.tauIacc[b]};
        const char* names[] = {"LF", "IACC", "W IACC", "Tau IACC"};
        const char* units[] = {"", "", "ms", "ms"};
        for (int i = 0; i < 4; ++i) {
          out += file + ",pair," + CsvField(BandName(r, b)) + "," + names[i] + "," + units[i] + "," + Exact(row[i]) +
                 "," + (row[i] < 0.0 || row[i] > 0.0 ? "yes" : "no") + tail;
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
