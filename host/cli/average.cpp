#include "host/cli/average.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/cli/cells.h"
#include "host/cli/text_encoding.h"
#include "host/cli/text_table.h"
#include "interface/bands.h"

namespace cli {

namespace {

// Just-noticeable differences of ISO 3382-1 Annex A, by row: decay times in
// per cent of the first value, D50 in percentage points (0.05 as a ratio).
struct Jnd {
  double amount;
  bool relative;
};
constexpr Jnd JNDS[AVERAGE_ROW_COUNT] = {
    {1.0, false},  {1.0, false}, {5.0, false}, {10.0, false},  // C50, C80, D50, TS
    {5.0, true},   {5.0, true},  {0.0, false}, {5.0, true},    // EDT, RT20, r RT20, RT30
    {0.0, false},  {5.0, true},  {0.0, false},                 // r RT30, RTU, r RTU
    {0.05, false}, {0.0, false}, {0.0, false}, {0.0, false},   // LF, IACC, W IACC, Tau IACC
};

bool IsPairRow(int row) { return row >= PARAMS_PER_BAND; }

// The value of a row if it is a result.
bool RowValue(const FileResult& r, int channel, int band, int row, double& value) {
  if (IsPairRow(row)) {
    const PairRow pair = static_cast<PairRow>(row - PARAMS_PER_BAND);
    if (!PairState(r, pair, band).computed) return false;
    value = PairValue(r, pair, band);
    return std::isfinite(value);
  }
  if (!ParameterState(r, channel, band, row).computed) return false;
  value = static_cast<double>(r.outcome.store.values[channel][band][row]);
  return true;
}

Statistic Summarise(const std::vector<double>& values, int missing) {
  Statistic s;
  s.count = static_cast<int>(values.size());
  s.missing = missing;
  if (values.empty()) return s;
  double sum = 0.0;
  for (double v : values) sum += v;
  s.mean = sum / s.count;
  if (s.count > 1) {
    double squares = 0.0;
    for (double v : values) squares += (v - s.mean) * (v - s.mean);
    s.deviation = std::sqrt(squares / (s.count - 1));
  }
  return s;
}

bool CheckAlike(const std::vector<const FileResult*>& files, std::string& error) {
  const FileResult& first = *files.front();
  for (const FileResult* f : files) {
    if (AnalysisRateHz(*f) != AnalysisRateHz(first)) {
      error = f->input.path + " is analysed at " + std::to_string(AnalysisRateHz(*f)) + " Hz and " +
              first.input.path + " at " + std::to_string(AnalysisRateHz(first)) +
              " Hz: one average or comparison needs one sampling rate";
      return false;
    }
    if (f->ThirdOctave() != first.ThirdOctave()) {
      error = f->input.path + " and " + first.input.path +
              " have different band sets (octaves and third octaves): analyse them with the same one";
      return false;
    }
  }
  return true;
}

std::string MeanText(const Statistic& s) {
  if (s.count == 0) return MISSING_MARK;
  if (s.count == 1) return StatisticText(s.mean) + " (1)";
  return StatisticText(s.mean) + " ±" + StatisticText(s.deviation) + " (" + std::to_string(s.count) + ")";
}

std::string DifferenceText(const Difference& d) {
  if (!d.bothComputed) return MISSING_MARK;
  std::string text = StatisticText(d.difference) + (d.relative ? " %" : "");
  if (d.noticeable) text += " *";
  return text;
}

}  // namespace

std::vector<int> GroupRows(const std::string& channel) {
  std::vector<int> rows;
  const bool pair = channel == "pair";
  for (int row = 0; row < AVERAGE_ROW_COUNT; ++row) {
    if (IsPairRow(row) == pair) rows.push_back(row);
  }
  return rows;
}

int AnalysisRateHz(const FileResult& r) {
  return r.offer.analysisRate > 0 ? r.offer.analysisRate : r.input.audio.sampleRate;
}

const char* RowName(int row) {
  return IsPairRow(row) ? PAIR_ROWS[row - PARAMS_PER_BAND].name : PARAMETERS[row].name;
}
const char* RowUnit(int row) {
  return IsPairRow(row) ? PAIR_ROWS[row - PARAMS_PER_BAND].unit : PARAMETERS[row].unit;
}

bool JndRelative(int row) { return JNDS[row].relative; }

bool ComputeAverage(const std::vector<FileResult>& results, bool allChannels, Average& average,
                    std::string& error) {
  std::vector<const FileResult*> files;
  for (const FileResult& r : results) {
    if (r.outcome.haveResults) files.push_back(&r);
  }
  if (files.empty()) {
    error = "no file has results to average";
    return false;
  }
  if (!CheckAlike(files, error)) return false;
  average = Average{};
  average.fileCount = static_cast<int>(files.size());
  average.thirdOctave = files.front()->ThirdOctave();
  average.sampleRate = AnalysisRateHz(*files.front());
  for (const FileResult* f : files) average.files.push_back(f->input.path);

  std::vector<std::string> kinds;
  bool anyPair = false;
  for (const FileResult* f : files) {
    for (int c = 0; c < f->ChannelCount(); ++c) {
      const std::string kind = allChannels ? "all" : ChannelName(*f, c);
      if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    }
    anyPair = anyPair || f->ChannelCount() == 2;
  }
  // Mono first, then left and right, whatever the order of the files.
  std::sort(kinds.begin(), kinds.end(), [](const std::string& a, const std::string& b) {
    auto rank = [](const std::string& k) { return k == "mono" ? 0 : k == "left" ? 1 : k == "right" ? 2 : 3; };
    return rank(a) < rank(b);
  });
  if (anyPair) kinds.push_back("pair");

  const int bands = BandRowCount(average.thirdOctave);
  for (const std::string& kind : kinds) {
    AverageGroup group;
    group.channel = kind;
    for (int band = 0; band < bands; ++band) {
      for (int row : GroupRows(kind)) {
        std::vector<double> values;
        int missing = 0;
        for (const FileResult* f : files) {
          for (int c = 0; c < f->ChannelCount(); ++c) {
            if (kind == "pair" ? (f->ChannelCount() != 2 || c != 0)
                               : (kind != "all" && kind != ChannelName(*f, c)))
              continue;
            double value = 0.0;
            if (RowValue(*f, c, band, row, value))
              values.push_back(value);
            else
              ++missing;
          }
        }
        group.cells[band][row] = Summarise(values, missing);
      }
    }
    average.groups.push_back(group);
  }
  return true;
}

bool CompareFiles(const std::vector<FileResult>& results, Comparison& comparison, std::string& error) {
  if (results.size() != 2) {
    error = "--compare needs exactly two files, not " + std::to_string(results.size());
    return false;
  }
  for (const FileResult& r : results) {
    if (!r.outcome.haveResults) {
      error = "cannot compare: " + r.input.path + " has no results";
      return false;
    }
  }
  const FileResult &a = results[0], &b = results[1];
  if (!CheckAlike({&a, &b}, error)) return false;
  if (a.ChannelCount() != b.ChannelCount()) {
    error = "cannot compare a mono file with a stereo one (" + a.input.path + ", " + b.input.path + ")";
    return false;
  }
  comparison = Comparison{};
  comparison.fileA = a.input.path;
  comparison.fileB = b.input.path;
  comparison.thirdOctave = a.ThirdOctave();
  const int bands = BandRowCount(comparison.thirdOctave);
  const int channels = a.ChannelCount();
  for (int c = 0; c <= channels; ++c) {
    const bool pair = c == channels;
    if (pair && channels != 2) break;
    comparison.channels.push_back(pair ? "pair" : ChannelName(a, c));
    std::vector<std::vector<Difference>> byBand(bands, std::vector<Difference>(AVERAGE_ROW_COUNT));
    for (int band = 0; band < bands; ++band) {
      for (int row = 0; row < AVERAGE_ROW_COUNT; ++row) {
        if (IsPairRow(row) != pair) continue;
        Difference& d = byBand[band][row];
        d.jnd = JNDS[row].amount;
        d.relative = JNDS[row].relative;
        const int channel = pair ? 0 : c;
        if (!RowValue(a, channel, band, row, d.a) || !RowValue(b, channel, band, row, d.b)) continue;
        if (d.relative && d.a == 0.0) continue;
        d.bothComputed = true;
        d.difference = d.relative ? (d.b - d.a) / d.a * 100.0 : d.b - d.a;
        d.noticeable = d.jnd > 0.0 && std::fabs(d.difference) > d.jnd;
      }
    }
    comparison.cells.push_back(byBand);
  }
  return true;
}

std::string AverageTable(const Average& average) {
  std::string out = "== average of " + std::to_string(average.fileCount) +
                    " file(s): mean ±standard deviation (count) ==\n";
  const int bands = BandRowCount(average.thirdOctave);
  for (const AverageGroup& group : average.groups) {
    out += "\nAVERAGE - " + group.channel + "\n";
    TextRows rows;
    std::vector<std::string> header{"Band"};
    for (int row : GroupRows(group.channel)) {
      header.push_back(std::string(RowName(row)) +
                       (*RowUnit(row) ? std::string(" [") + RowUnit(row) + "]" : ""));
    }
    rows.push_back(header);
    for (int band = 0; band < bands; ++band) {
      std::vector<std::string> line{BandName(average.thirdOctave, band)};
      for (int row : GroupRows(group.channel)) line.push_back(MeanText(group.cells[band][row]));
      rows.push_back(line);
    }
    out += AlignedTable(rows);
  }
  return out;
}

std::string AverageReport(const Average& average) {
  std::string out = "Average\t" + std::to_string(average.fileCount) + " files\r\n";
  const int bands = BandRowCount(average.thirdOctave);
  for (const AverageGroup& group : average.groups) {
    out += "\r\n" + group.channel + "\tBand";
    for (int row : GroupRows(group.channel)) out += std::string("\t") + RowName(row) + "\tSD\tN";
    out += "\r\n";
    for (int band = 0; band < bands; ++band) {
      out += std::string("\t") + BandName(average.thirdOctave, band);
      for (int row : GroupRows(group.channel)) {
        const Statistic& s = group.cells[band][row];
        out += '\t';
        if (s.count) out += StatisticText(s.mean);
        out += '\t';
        if (s.count > 1) out += StatisticText(s.deviation);
        out += '\t';
        out += std::to_string(s.count);
      }
      out += "\r\n";
    }
  }
  return out;
}

std::string AverageCsv(const Average& average) {
  std::string out = "channel,band,parameter,unit,mean,standard_deviation,count,missing\r\n";
  const int bands = BandRowCount(average.thirdOctave);
  for (const AverageGroup& group : average.groups) {
    for (int band = 0; band < bands; ++band) {
      for (int row : GroupRows(group.channel)) {
        const Statistic& s = group.cells[band][row];
        out += group.channel + "," + CsvField(BandName(average.thirdOctave, band)) + "," +
               CsvField(RowName(row)) + "," + RowUnit(row) + "," +
               (s.count ? ExactText(s.mean) : std::string()) + "," +
               (s.count > 1 ? ExactText(s.deviation) : std::string()) + "," + std::to_string(s.count) + "," +
               std::to_string(s.missing) + "\r\n";
      }
    }
  }
  return out;
}

std::string ComparisonTable(const Comparison& comparison) {
  std::string out = "== difference B - A: A " + comparison.fileA + ", B " + comparison.fileB +
                    " (* above one just-noticeable difference) ==\n";
  const int bands = BandRowCount(comparison.thirdOctave);
  for (size_t c = 0; c < comparison.channels.size(); ++c) {
    out += "\nDIFFERENCE - " + comparison.channels[c] + "\n";
    TextRows rows;
    std::vector<std::string> header{"Band"};
    for (int row : GroupRows(comparison.channels[c])) {
      const bool relative = JNDS[row].relative;
      const char* unit = relative ? "%" : RowUnit(row);
      header.push_back(std::string(RowName(row)) + (*unit ? std::string(" [") + unit + "]" : ""));
    }
    rows.push_back(header);
    for (int band = 0; band < bands; ++band) {
      std::vector<std::string> line{BandName(comparison.thirdOctave, band)};
      for (int row : GroupRows(comparison.channels[c]))
        line.push_back(DifferenceText(comparison.cells[c][band][row]));
      rows.push_back(line);
    }
    out += AlignedTable(rows);
  }
  return out;
}

std::string ComparisonReport(const Comparison& comparison) {
  std::string out = "Difference B - A\tA\t" + comparison.fileA + "\tB\t" + comparison.fileB + "\r\n";
  const int bands = BandRowCount(comparison.thirdOctave);
  for (size_t c = 0; c < comparison.channels.size(); ++c) {
    out += "\r\n" + comparison.channels[c] + "\tBand";
    for (int row : GroupRows(comparison.channels[c])) out += std::string("\t") + RowName(row);
    out += "\r\n";
    for (int band = 0; band < bands; ++band) {
      out += std::string("\t") + BandName(comparison.thirdOctave, band);
      for (int row : GroupRows(comparison.channels[c])) {
        const Difference& d = comparison.cells[c][band][row];
        out += '\t';
        if (d.bothComputed) out += DifferenceText(d);
      }
      out += "\r\n";
    }
  }
  return out;
}

std::string ComparisonCsv(const Comparison& comparison) {
  std::string out = "channel,band,parameter,unit,a,b,difference,difference_unit,jnd,above_jnd\r\n";
  const int bands = BandRowCount(comparison.thirdOctave);
  for (size_t c = 0; c < comparison.channels.size(); ++c) {
    for (int band = 0; band < bands; ++band) {
      for (int row : GroupRows(comparison.channels[c])) {
        const Difference& d = comparison.cells[c][band][row];
        out += comparison.channels[c] + "," + CsvField(BandName(comparison.thirdOctave, band)) + "," +
               CsvField(RowName(row)) + "," + RowUnit(row) + ",";
        out += d.bothComputed ? ExactText(d.a) + "," + ExactText(d.b) + "," + ExactText(d.difference)
                              : std::string(",,");
        out += std::string(",") + (d.relative ? "%" : RowUnit(row)) + "," +
               (d.jnd > 0.0 ? ExactText(d.jnd) : "") + "," +
               (d.bothComputed && d.jnd > 0.0 ? (d.noticeable ? "yes" : "no") : "") + "\r\n";
      }
    }
  }
  return out;
}

}  // namespace cli
