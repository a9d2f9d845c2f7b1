#include "host/cli/average.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "host/cli/cells.h"
#include "host/cli/text_encoding.h"
#include "host/cli/text_table.h"
#include "interface/bands.h"

namespace cli {

namespace {

// Just-noticeable differences by row (see average.h for their sources):
// decay times in per cent of A, D50 in percentage points. LF and IACC have
// theirs only for the pair they describe (PairJnd).
struct Jnd {
  double amount;
  bool relative;
};
constexpr Jnd JNDS[AVERAGE_ROW_COUNT] = {
    {1.0, false},  {1.0, false},   {5.0, false}, {10.0, false},  // C50, C80, D50, TS
    {5.0, true},   {5.0, true},    {0.0, false}, {5.0, true},    // EDT, RT20, r RT20, RT30
    {0.0, false},  {5.0, true},    {0.0, false},                 // r RT30, RTU, r RTU
    {0.05, false}, {0.075, false}, {0.0, false}, {0.0, false},   // LF, IACC, W IACC, Tau IACC
};
constexpr Jnd ISO_JNDS[ISO_PARAMETER_COUNT] = {
    {5.0, true}, {5.0, true}, {5.0, true}, {1.0, false}, {1.0, false}, {5.0, false}, {10.0, false},
};

bool IsPairRow(int row) { return row >= PARAMS_PER_BAND; }
bool IsCorrelationRow(int row) { return row == SLOT_R_RT20 || row == SLOT_R_RT30 || row == SLOT_R_RTU; }

PairKind DeclaredPair(const FileResult& r) { return r.outcome.iso.pair.kind; }

const char* PairWord(PairKind kind) {
  return kind == PairKind::Binaural ? "binaural" : kind == PairKind::OmniFigure8 ? "wy" : "";
}

// The inter-channel rows that describe the declared pair: LF needs an omni
// and a figure-of-eight, IACC two ears.
bool PairRowMeaningful(PairKind kind, int row) {
  const int pairRow = row - PARAMS_PER_BAND;
  if (kind == PairKind::Binaural) return pairRow != PAIR_LF;
  if (kind == PairKind::OmniFigure8) return pairRow == PAIR_LF;
  return true;
}

// The JND of an inter-channel row for the pair both files declare.
double PairJnd(PairKind kind, int row) {
  const int pairRow = row - PARAMS_PER_BAND;
  if (pairRow == PAIR_LF && kind == PairKind::OmniFigure8) return JNDS[row].amount;
  if (pairRow == PAIR_IACC && kind == PairKind::Binaural) return JNDS[row].amount;
  return 0.0;
}

// One position's value of a row: a clean result, a result with a warning,
// or no result, with why.
struct Position {
  enum Kind { MISSING, FLAGGED, CLEAN } kind = MISSING;
  double value = 0.0;
  std::string reason;
  std::string sentence;
};

Position Missing(const std::string& reason, const std::string& sentence) {
  return Position{Position::MISSING, 0.0, reason, sentence};
}

Position PluginPosition(const FileResult& r, int channel, int band, int row) {
  if (IsPairRow(row)) {
    const PairRow pair = static_cast<PairRow>(row - PARAMS_PER_BAND);
    if (!PairRowMeaningful(DeclaredPair(r), row))
      return Missing(
          "not-meaningful-for-pair",
          std::string("not meaningful for a ") +
              (DeclaredPair(r) == PairKind::Binaural ? "binaural pair" : "omni + figure-of-eight pair"));
    const ValueState state = PairState(r, pair, band);
    const double value = PairValue(r, pair, band);
    if (!state.computed) return Missing(state.reason, ReasonSentence(state.reason));
    if (!std::isfinite(value)) return Missing("not-finite", ReasonSentence("not-finite"));
    return Position{Position::CLEAN, value, "", ""};
  }
  const ValueState state = ParameterState(r, channel, band, row);
  if (!state.computed) return Missing(state.reason, ReasonSentence(state.reason));
  Position p{Position::CLEAN, static_cast<double>(r.outcome.store.values[channel][band][row]), "", ""};
  const std::string warning = InrWarning(r, channel, band, row);
  if (!warning.empty()) {
    p.kind = Position::FLAGGED;
    p.reason = "low-impulse-to-noise";
    p.sentence = warning;
  }
  return p;
}

std::string JoinCodes(const std::vector<std::string>& codes) {
  std::string text;
  for (const std::string& code : codes) text += (text.empty() ? "" : "+") + code;
  return text;
}

// An ISO 3382 value: valid without warnings is clean; a number that is not
// valid or has a warning is flagged; no number is missing.
Position IsoPosition(const FileResult& r, int channel, int band, IsoParameter parameter) {
  const IsoCell cell = IsoBandCell(r, channel, band, parameter);
  std::vector<std::string> codes = cell.reasons;
  codes.insert(codes.end(), cell.warnings.begin(), cell.warnings.end());
  const std::string sentence = codes.empty() ? "" : IsoCodeSentence(codes.front());
  if (!cell.present) return Missing(JoinCodes(codes), sentence);
  if (cell.valid && cell.warnings.empty()) return Position{Position::CLEAN, cell.value, "", ""};
  return Position{Position::FLAGGED, cell.value, JoinCodes(codes), sentence};
}

// Mean and deviation of the values, with the counts of what was left out.
Statistic Summarise(const std::vector<double>& values, Statistic s) {
  s.count = static_cast<int>(values.size());
  s.positions = static_cast<int>(values.size() + s.leftOut.size());
  s.fewerThanHalf = s.count * 2 < s.positions;
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

// The channels of a file that are positions of a group. A file without
// results whose channels are unknown is one position of every channel group.
std::vector<int> GroupChannels(const FileResult& f, const std::string& kind) {
  std::vector<int> channels;
  if (kind == "pair") {
    if (f.ChannelCount() == 2) channels.push_back(0);
    return channels;
  }
  if (f.ChannelCount() == 0) return {0};
  for (int c = 0; c < f.ChannelCount(); ++c) {
    if (kind == "all" || kind == ChannelName(f, c)) channels.push_back(c);
  }
  return channels;
}

using PositionOf = Position (*)(const FileResult&, int channel, int band, int row);

Position IsoPositionOfRow(const FileResult& r, int channel, int band, int row) {
  return IsoPosition(r, channel, band, static_cast<IsoParameter>(row));
}

// One cell of a group: every position's value, in the mean or left out.
Statistic AverageCell(const std::vector<FileResult>& results, const std::string& kind, int band, int row,
                      PositionOf positionOf, bool includeFlagged) {
  std::vector<double> values;
  Statistic s;
  for (const FileResult& f : results) {
    for (int c : GroupChannels(f, kind)) {
      const std::string channel = f.ChannelCount() ? ChannelName(f, c) : "";
      if (!f.outcome.haveResults) {
        ++s.missing;
        s.leftOut.push_back({f.input.path, channel, StatusName(f), f.outcome.error, false});
        continue;
      }
      const Position p = positionOf(f, c, band, row);
      // A value this band layout or pair never has is no position.
      if (p.kind == Position::MISSING &&
          (p.reason == "not-computed-in-this-mode" || p.reason == "not-meaningful-for-pair"))
        continue;
      if (p.kind == Position::FLAGGED) ++s.flagged;
      if (p.kind == Position::CLEAN || (p.kind == Position::FLAGGED && includeFlagged)) {
        values.push_back(p.value);
        continue;
      }
      if (p.kind == Position::MISSING) ++s.missing;
      s.leftOut.push_back({f.input.path, channel, p.reason, p.sentence, p.kind == Position::FLAGGED});
    }
  }
  return Summarise(values, std::move(s));
}

// The channel kinds of the files with results: mono first, then left and
// right (or "all"), then "pair" when a file is stereo.
std::vector<std::string> GroupKinds(const std::vector<const FileResult*>& files, bool allChannels) {
  std::vector<std::string> kinds;
  bool anyPair = false;
  for (const FileResult* f : files) {
    for (int c = 0; c < f->ChannelCount(); ++c) {
      const std::string kind = allChannels ? "all" : ChannelName(*f, c);
      if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    }
    anyPair = anyPair || f->ChannelCount() == 2;
  }
  std::sort(kinds.begin(), kinds.end(), [](const std::string& a, const std::string& b) {
    auto rank = [](const std::string& k) { return k == "mono" ? 0 : k == "left" ? 1 : k == "right" ? 2 : 3; };
    return rank(a) < rank(b);
  });
  if (anyPair) kinds.push_back("pair");
  return kinds;
}

}  // namespace

std::vector<int> GroupRows(const std::string& channel) {
  std::vector<int> rows;
  const bool pair = channel == "pair";
  for (int row = 0; row < AVERAGE_ROW_COUNT; ++row) {
    if (IsPairRow(row) == pair && !IsCorrelationRow(row)) rows.push_back(row);
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

const char* DifferenceUnit(int row) {
  if (JNDS[row].relative) return "%";
  return row == SLOT_D50 ? "pp" : RowUnit(row);
}

const char* IsoDifferenceUnit(IsoParameter parameter) {
  if (ISO_JNDS[parameter].relative) return "%";
  return parameter == ISO_D50 ? "pp" : ISO_PARAMETERS[parameter].unit;
}

bool BelowIsoRange(bool thirdOctave, int band) {
  const float hz = BandColumns(thirdOctave)[band].nominalHz;
  return band > 0 && hz < 90.0f;
}

bool Judged(const Difference& d) { return d.bothComputed && d.jnd > 0.0 && !d.flagged && !d.belowRange; }

bool ComputeAverage(const std::vector<FileResult>& results, bool allChannels, Average& average,
                    std::string& error, bool includeFlagged) {
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
  average.includeFlagged = includeFlagged;
  for (const FileResult* f : files) average.files.push_back(f->input.path);
  for (const FileResult& r : results) {
    if (!r.outcome.haveResults)
      average.leftOutFiles.push_back({r.input.path, StatusName(r), r.outcome.error});
  }

  const int bands = BandRowCount(average.thirdOctave);
  for (const std::string& kind : GroupKinds(files, allChannels)) {
    AverageGroup group;
    group.channel = kind;
    for (int band = 0; band < bands; ++band) {
      for (int row : GroupRows(kind))
        group.cells[band][row] = AverageCell(results, kind, band, row, PluginPosition, includeFlagged);
    }
    group.hasIso = kind != "pair" &&
                   std::any_of(files.begin(), files.end(), [](const FileResult* f) { return HasIso(*f); });
    for (int band = 0; group.hasIso && band < bands; ++band) {
      for (int p = 0; p < ISO_PARAMETER_COUNT; ++p)
        group.iso[band][p] = AverageCell(results, kind, band, p, IsoPositionOfRow, includeFlagged);
    }
    average.groups.push_back(std::move(group));
  }
  return true;
}

namespace {

// The difference of one cell from the two positions' values.
Difference Differ(const Position& a, const Position& b, Jnd jnd, bool belowRange, const char* unit) {
  Difference d;
  d.jnd = jnd.amount;
  d.relative = jnd.relative;
  d.unit = unit;
  d.belowRange = belowRange;
  d.reasonA = a.reason;
  d.reasonB = b.reason;
  if (a.kind == Position::MISSING || b.kind == Position::MISSING) return d;
  if (d.relative && a.value == 0.0) return d;
  d.a = a.value;
  d.b = b.value;
  d.bothComputed = true;
  d.flagged = a.kind == Position::FLAGGED || b.kind == Position::FLAGGED;
  d.difference = d.relative ? (d.b - d.a) / d.a * 100.0 : d.b - d.a;
  d.noticeable = Judged(d) && std::fabs(d.difference) > d.jnd;
  return d;
}

std::vector<std::vector<Difference>> CompareChannel(const FileResult& a, const FileResult& b, int channel,
                                                    bool pair, PairKind kind) {
  const int bands = BandRowCount(a.ThirdOctave());
  std::vector<std::vector<Difference>> byBand(bands, std::vector<Difference>(AVERAGE_ROW_COUNT));
  for (int band = 0; band < bands; ++band) {
    for (int row : GroupRows(pair ? "pair" : "")) {
      Jnd jnd = JNDS[row];
      if (pair) jnd.amount = PairJnd(kind, row);
      byBand[band][row] = Differ(PluginPosition(a, channel, band, row), PluginPosition(b, channel, band, row),
                                 jnd, BelowIsoRange(a.ThirdOctave(), band), DifferenceUnit(row));
    }
  }
  return byBand;
}

std::vector<std::vector<Difference>> CompareIsoChannel(const FileResult& a, const FileResult& b,
                                                       int channel) {
  const int bands = BandRowCount(a.ThirdOctave());
  std::vector<std::vector<Difference>> byBand(bands, std::vector<Difference>(ISO_PARAMETER_COUNT));
  for (int band = 0; band < bands; ++band) {
    for (int p = 0; p < ISO_PARAMETER_COUNT; ++p) {
      const IsoParameter parameter = static_cast<IsoParameter>(p);
      byBand[band][p] =
          Differ(IsoPosition(a, channel, band, parameter), IsoPosition(b, channel, band, parameter),
                 ISO_JNDS[p], BelowIsoRange(a.ThirdOctave(), band), IsoDifferenceUnit(parameter));
    }
  }
  return byBand;
}

}  // namespace

bool CompareFiles(const std::vector<FileResult>& results, Comparison& comparison, std::string& error) {
  if (results.size() != 2) {
    error = "--compare needs exactly two files, not " + std::to_string(results.size());
    return false;
  }
  for (const FileResult& r : results) {
    if (!r.outcome.haveResults) {
      error = "cannot compare: " + r.input.path + " has no results (" + StatusName(r) +
              (r.outcome.error.empty() ? "" : ": " + r.outcome.error) + ")";
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
  const PairKind kind = DeclaredPair(a) == DeclaredPair(b) ? DeclaredPair(a) : PairKind::None;
  comparison.pair = PairWord(kind);
  comparison.hasIso = HasIso(a) && HasIso(b);
  const int channels = a.ChannelCount();
  for (int c = 0; c < channels; ++c) {
    comparison.channels.push_back(ChannelName(a, c));
    comparison.cells.push_back(CompareChannel(a, b, c, false, kind));
    if (comparison.hasIso) comparison.iso.push_back(CompareIsoChannel(a, b, c));
  }
  if (channels == 2) {
    comparison.channels.push_back("pair");
    comparison.cells.push_back(CompareChannel(a, b, 0, true, kind));
  }
  return true;
}

// --- The text formats ---------------------------------------------------------

namespace {

// One averaged or compared quantity: a plug-in row or an ISO 3382 value.
struct Quantity {
  std::string name;
  std::string unit;
  int index;  // row, or IsoParameter
  bool iso;
};

std::vector<Quantity> PluginQuantities(const std::string& channel) {
  std::vector<Quantity> quantities;
  for (int row : GroupRows(channel)) quantities.push_back({RowName(row), RowUnit(row), row, false});
  return quantities;
}

std::vector<Quantity> IsoQuantities() {
  std::vector<Quantity> quantities;
  for (int p = 0; p < ISO_PARAMETER_COUNT; ++p)
    quantities.push_back({ISO_PARAMETERS[p].key, ISO_PARAMETERS[p].unit, p, true});
  return quantities;
}

// The sets of quantities a group shows: the plug-in's, then ISO 3382's.
std::vector<std::vector<Quantity>> GroupSets(const AverageGroup& group) {
  std::vector<std::vector<Quantity>> sets{PluginQuantities(group.channel)};
  if (group.hasIso) sets.push_back(IsoQuantities());
  return sets;
}

const Statistic& CellOf(const AverageGroup& group, const Quantity& q, int band) {
  return q.iso ? group.iso[band][q.index] : group.cells[band][q.index];
}

const char* EvaluationName(bool iso) { return iso ? "ISO 3382" : "plugin"; }

std::string Heading(const std::string& name, const std::string& unit) {
  return name + (unit.empty() ? "" : " [" + unit + "]");
}

constexpr const char* FEW_MARK = "\xe2\x80\xa0";  // dagger
constexpr const char* FLAG_MARK = "!";

std::string MeanText(const Statistic& s, bool includeFlagged) {
  std::string text = MISSING_MARK;
  if (s.count > 0) {
    text = StatisticText(s.mean) + (s.count > 1 ? " \xc2\xb1" + StatisticText(s.deviation) : "");
  }
  text += " (" + std::to_string(s.count) + " of " + std::to_string(s.positions) + ")";
  if (s.count > 0 && s.fewerThanHalf) text += FEW_MARK;
  if (includeFlagged && s.flagged > 0 && s.count > 0) text += FLAG_MARK;
  return text;
}

// Each position left out of a set of cells, once, with how many of its
// values and why.
std::string LeftOutLines(const AverageGroup& group, const std::vector<Quantity>& quantities, int bands) {
  std::map<std::string, std::map<std::string, int>> byPosition;
  for (int band = 0; band < bands; ++band) {
    for (const Quantity& q : quantities) {
      for (const LeftOutValue& v : CellOf(group, q, band).leftOut) {
        const std::string position = v.file + (v.channel.empty() ? "" : " (" + v.channel + ")");
        const std::string why = v.flagged ? v.reason + ", flagged" : v.reason;
        ++byPosition[position][why];
      }
    }
  }
  std::string out;
  for (const auto& [position, reasons] : byPosition) {
    out += "  " + position + ":";
    const char* separator = " ";
    for (const auto& [why, count] : reasons) {
      out += separator + why + " " + std::to_string(count);
      separator = ", ";
    }
    out += "\n";
  }
  return out.empty() ? "" : "left out of the means (values per reason):\n" + out;
}

}  // namespace

std::string AverageTable(const Average& average) {
  std::string out = "== average of " + std::to_string(average.fileCount) +
                    " file(s): mean \xc2\xb1standard deviation (n of N positions); " +
                    (average.includeFlagged ? "values with a warning kept (" + std::string(FLAG_MARK) + ")"
                                            : std::string("values with a warning left out")) +
                    "; " + FEW_MARK + " a mean of fewer than half the positions ==\n";
  for (const LeftOutFile& f : average.leftOutFiles)
    out += "no results, a missing position: " + f.file + " (" + f.status +
           (f.reason.empty() ? "" : ": " + f.reason) + ")\n";
  const int bands = BandRowCount(average.thirdOctave);
  for (const AverageGroup& group : average.groups) {
    for (const std::vector<Quantity>& set : GroupSets(group)) {
      const bool iso = set.front().iso;
      out += std::string("\nAVERAGE") + (iso ? " ISO 3382" : "") + " - " + group.channel + "\n";
      TextRows rows;
      std::vector<std::string> header{"Band"};
      for (const Quantity& q : set) header.push_back(Heading(q.name, q.unit));
      rows.push_back(header);
      for (int band = 0; band < bands; ++band) {
        std::vector<std::string> line{BandName(average.thirdOctave, band)};
        for (const Quantity& q : set)
          line.push_back(MeanText(CellOf(group, q, band), average.includeFlagged));
        rows.push_back(line);
      }
      out += AlignedTable(rows) + LeftOutLines(group, set, bands);
    }
  }
  return out;
}

std::string AverageReport(const Average& average) {
  std::string out = "Average\t" + std::to_string(average.fileCount) + " files\r\n";
  const int bands = BandRowCount(average.thirdOctave);
  for (const AverageGroup& group : average.groups) {
    for (const std::vector<Quantity>& set : GroupSets(group)) {
      out += "\r\n" + group.channel + (set.front().iso ? " ISO 3382" : "") + "\tBand";
      for (const Quantity& q : set) out += "\t" + q.name + "\tSD\tn\tN";
      out += "\r\n";
      for (int band = 0; band < bands; ++band) {
        out += std::string("\t") + BandName(average.thirdOctave, band);
        for (const Quantity& q : set) {
          const Statistic& s = CellOf(group, q, band);
          out += '\t';
          if (s.count) out += StatisticText(s.mean) + (s.fewerThanHalf ? FEW_MARK : "");
          out += '\t';
          if (s.count > 1) out += StatisticText(s.deviation);
          out += "\t" + std::to_string(s.count) + "\t" + std::to_string(s.positions);
        }
        out += "\r\n";
      }
    }
  }
  for (const LeftOutFile& f : average.leftOutFiles)
    out += "Left out\t" + f.file + "\t" + f.status + "\t" + f.reason + "\r\n";
  return out;
}

namespace {

// Every value a cell left out: "file (channel): reason" joined by "; ".
std::string LeftOutField(const Statistic& s) {
  std::string text;
  for (const LeftOutValue& v : s.leftOut) {
    if (!text.empty()) text += "; ";
    text += v.file + (v.channel.empty() ? "" : " (" + v.channel + ")") + ": " +
            (v.flagged ? "flagged " : "") + v.reason + (v.sentence.empty() ? "" : " - " + v.sentence);
  }
  return text;
}

}  // namespace

std::string AverageCsv(const Average& average) {
  std::string out =
      "evaluation,channel,band,parameter,unit,mean,standard_deviation,count,positions,missing,flagged,"
      "fewer_than_half,flagged_included,left_out\r\n";
  const int bands = BandRowCount(average.thirdOctave);
  for (const AverageGroup& group : average.groups) {
    for (const std::vector<Quantity>& set : GroupSets(group)) {
      for (int band = 0; band < bands; ++band) {
        for (const Quantity& q : set) {
          const Statistic& s = CellOf(group, q, band);
          out += CsvField(EvaluationName(q.iso)) + "," + group.channel + "," +
                 CsvField(BandName(average.thirdOctave, band)) + "," + CsvField(q.name) + "," + q.unit + "," +
                 (s.count ? ExactText(s.mean) : std::string()) + "," +
                 (s.count > 1 ? ExactText(s.deviation) : std::string()) + "," + std::to_string(s.count) +
                 "," + std::to_string(s.positions) + "," + std::to_string(s.missing) + "," +
                 std::to_string(s.flagged) + "," + (s.fewerThanHalf ? "yes" : "no") + "," +
                 (average.includeFlagged ? "yes" : "no") + "," + CsvField(LeftOutField(s)) + "\r\n";
        }
      }
    }
  }
  return out;
}

namespace {

// The quantities of a compared channel: plug-in rows, or ISO values.
std::vector<Quantity> ComparedQuantities(const std::string& channel, bool iso) {
  return iso ? IsoQuantities() : PluginQuantities(channel);
}

const DifferenceGrid& GridOf(const Comparison& comparison, bool iso) {
  return iso ? comparison.iso : comparison.cells;
}

// The channels of a comparison per evaluation: every channel for the
// plug-in's rows, the channels before "pair" for ISO 3382's.
size_t ComparedChannels(const Comparison& comparison, bool iso) {
  return iso ? comparison.iso.size() : comparison.channels.size();
}

std::string DifferenceText(const Difference& d) {
  if (!d.bothComputed) return MISSING_MARK;
  std::string text = StatisticText(d.difference) + (d.unit == "%" || d.unit == "pp" ? " " + d.unit : "");
  if (d.noticeable) text += " *";
  if (d.flagged) text += std::string(" ") + FLAG_MARK;
  return text;
}

}  // namespace

std::string ComparisonTable(const Comparison& comparison) {
  std::string out = "== difference B - A: A " + comparison.fileA + ", B " + comparison.fileB +
                    " (* above one just-noticeable difference of ISO 3382-1 between two values without "
                    "warnings, 125 Hz and above; " +
                    FLAG_MARK + " A or B has a warning; D50 in percentage points) ==\n";
  out += comparison.pair.empty()
             ? "no pair declared: LF and IACC get no just-noticeable difference\n"
             : "pair " + comparison.pair + ": " + (comparison.pair == "wy" ? "LF 0.05" : "IACC 0.075") +
                   " is one just-noticeable difference\n";
  const int bands = BandRowCount(comparison.thirdOctave);
  for (bool iso : {false, true}) {
    for (size_t c = 0; c < ComparedChannels(comparison, iso); ++c) {
      out += std::string("\nDIFFERENCE") + (iso ? " ISO 3382" : "") + " - " + comparison.channels[c] + "\n";
      const std::vector<Quantity> quantities = ComparedQuantities(comparison.channels[c], iso);
      TextRows rows;
      std::vector<std::string> header{"Band"};
      for (const Quantity& q : quantities)
        header.push_back(Heading(
            q.name, iso ? IsoDifferenceUnit(static_cast<IsoParameter>(q.index)) : DifferenceUnit(q.index)));
      rows.push_back(header);
      for (int band = 0; band < bands; ++band) {
        std::vector<std::string> line{BandName(comparison.thirdOctave, band)};
        for (const Quantity& q : quantities)
          line.push_back(DifferenceText(GridOf(comparison, iso)[c][band][q.index]));
        rows.push_back(line);
      }
      out += AlignedTable(rows);
    }
  }
  return out;
}

std::string ComparisonReport(const Comparison& comparison) {
  std::string out = "Difference B - A\tA\t" + comparison.fileA + "\tB\t" + comparison.fileB + "\r\n";
  const int bands = BandRowCount(comparison.thirdOctave);
  for (bool iso : {false, true}) {
    for (size_t c = 0; c < ComparedChannels(comparison, iso); ++c) {
      const std::vector<Quantity> quantities = ComparedQuantities(comparison.channels[c], iso);
      out += "\r\n" + comparison.channels[c] + (iso ? " ISO 3382" : "") + "\tBand";
      for (const Quantity& q : quantities) out += "\t" + q.name;
      out += "\r\n";
      for (int band = 0; band < bands; ++band) {
        out += std::string("\t") + BandName(comparison.thirdOctave, band);
        for (const Quantity& q : quantities) {
          const Difference& d = GridOf(comparison, iso)[c][band][q.index];
          out += '\t';
          if (d.bothComputed) out += DifferenceText(d);
        }
        out += "\r\n";
      }
    }
  }
  return out;
}

std::string ComparisonCsv(const Comparison& comparison) {
  std::string out =
      "evaluation,channel,band,parameter,unit,file_a,file_b,a,b,difference,difference_unit,jnd,above_jnd,"
      "flagged,reason_a,reason_b\r\n";
  const std::string files = CsvField(comparison.fileA) + "," + CsvField(comparison.fileB) + ",";
  const int bands = BandRowCount(comparison.thirdOctave);
  for (bool iso : {false, true}) {
    for (size_t c = 0; c < ComparedChannels(comparison, iso); ++c) {
      for (int band = 0; band < bands; ++band) {
        for (const Quantity& q : ComparedQuantities(comparison.channels[c], iso)) {
          const Difference& d = GridOf(comparison, iso)[c][band][q.index];
          out += CsvField(EvaluationName(iso)) + "," + comparison.channels[c] + "," +
                 CsvField(BandName(comparison.thirdOctave, band)) + "," + CsvField(q.name) + "," + q.unit +
                 "," + files;
          out += d.bothComputed ? ExactText(d.a) + "," + ExactText(d.b) + "," + ExactText(d.difference)
                                : std::string(",,");
          out += "," + d.unit + "," + (d.jnd > 0.0 ? ExactText(d.jnd) : "") + "," +
                 (Judged(d) ? (d.noticeable ? "yes" : "no") : "") + "," + (d.flagged ? "yes" : "no") + "," +
                 CsvField(d.reasonA) + "," + CsvField(d.reasonB) + "\r\n";
        }
      }
    }
  }
  return out;
}

}  // namespace cli
