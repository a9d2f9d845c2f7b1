#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "acoustics/iso3382_spatial.h"
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

// --- Numbers as an acoustician reads them -------------------------------------

// A plain decimal with `decimals` digits after the point, never "-0.0".
std::string Plain(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1)) return text + 1;
  return text;
}

// A plain decimal with `digits` significant digits (times: 0.533, 5.89, 574).
std::string Significant(double value, int digits) {
  if (value == 0.0) return "0";
  const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  const int decimals = std::max(0, digits - 1 - magnitude);
  const std::string text = Plain(value, decimals);
  // Rounded up into the next decade (9.996 -> 10.00): one decimal less.
  if (decimals > 0 && std::fabs(std::atof(text.c_str())) >= std::pow(10.0, digits - decimals))
    return Plain(value, decimals - 1);
  return text;
}

// A setting as typed: up to 5 significant digits, no trailing zeros.
std::string SettingText(double value) {
  std::string text = Significant(value, 5);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

// A value in its unit: times to 3 significant digits, levels to 0.1 dB,
// percentages to 0.1, coefficients (r², LF, IACC) to 3 decimals.
std::string UnitText(double value, const std::string& unit) {
  if (!std::isfinite(value)) return MISSING_MARK;
  if (unit == "s" || unit == "ms") return Significant(value, 3);
  if (unit == "dB" || unit == "%") return Plain(value, 1);
  return Plain(value, 3);
}

std::string RowLabel(const std::string& name, const std::string& unit) {
  return unit.empty() ? name : name + " (" + unit + ")";
}

// "r2 T20" written as an acoustician writes it.
std::string IsoParameterName(int slot) {
  std::string name = PARAMETERS[slot].isoName;
  if (name.compare(0, 2, "r2") == 0) name = "r\u00b2" + name.substr(2);
  return name;
}

// --- Band labels ---------------------------------------------------------

// A band's column heading: its name, or the real centre in Hz when the file
// was analysed at its own rate.
std::string TableBandName(const FileResult& r, int band) {
  if (NominalBands(r) || band == 0) return BandName(r, band);
  char text[32];
  std::snprintf(text, sizeof(text), "%.4g Hz", BandCentreHz(r, band));
  return text;
}

// A band as a note names it ("Hz" is added after the band list).
std::string NoteBandName(const FileResult& r, int band) { return TableBandName(r, band); }

// --- Notes under a block ---------------------------------------------------

// Cells grouped by band, bands with the same quantities merged, in order of
// first appearance: "T20, T30 250, 500 Hz; T30 1000 Hz" ("all" when every
// row of the block is named).
class CellList {
 public:
  void Add(const std::string& band, const std::string& name) {
    for (auto& entry : byBand_) {
      if (entry.first == band) return entry.second.push_back(name);
    }
    byBand_.push_back({band, {name}});
  }
  std::string Text(int rowCount) const {
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;  // names, bands
    for (const auto& [band, names] : byBand_) {
      std::string key;
      for (const std::string& name : names) key += (key.empty() ? "" : ", ") + name;
      if (rowCount > 1 && static_cast<int>(names.size()) == rowCount) key = "all";
      auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == key; });
      if (group == groups.end()) group = groups.insert(groups.end(), {key, {}});
      if (!band.empty()) group->second.push_back(band);
    }
    std::string out;
    for (const auto& [names, bands] : groups) {
      out += (out.empty() ? "" : "; ") + names;
      for (size_t i = 0; i < bands.size(); ++i) out += (i ? ", " : " ") + bands[i];
      // Numbered bands in Hz ("broadband" and real centres say it themselves).
      if (!bands.empty() && std::isdigit(static_cast<unsigned char>(bands.back()[0])) &&
          bands.back().find("Hz") == std::string::npos)
        out += " Hz";
    }
    return out;
  }

 private:
  std::vector<std::pair<std::string, std::vector<std::string>>> byBand_;
};

// The notes of one block: numbered notes of flagged values (a value kept
// but invalid, '*', or kept with a warning, '!'), numbered through the file,
// then the reasons of values that are missing (MISSING_MARK).
class BlockNotes {
 public:
  BlockNotes(int& counter, int rowCount) : counter_(counter), rowCount_(rowCount) {}

  // The mark a flagged cell carries ("*2", "!3"); `text` says why, in
  // `codes` explained at the file's end.
  std::string Mark(char symbol, const std::string& text, const std::vector<std::string>& codes,
                   const std::string& band, const std::string& name) {
    for (Flag& flag : flags_) {
      if (flag.symbol == symbol && flag.text == text) {
        flag.cells.Add(band, name);
        return symbol + std::to_string(flag.number);
      }
    }
    flags_.push_back({++counter_, symbol, text, codes, {}});
    flags_.back().cells.Add(band, name);
    return symbol + std::to_string(counter_);
  }
  // A missing value and its reason codes, explained once at the file's end.
  void Missing(const std::vector<std::string>& codes, const std::string& band, const std::string& name) {
    std::string key;
    for (const std::string& code : codes) key += (key.empty() ? "" : ", ") + code;
    for (auto& entry : missing_) {
      if (entry.codes == codes) return entry.cells.Add(band, name);
    }
    missing_.push_back({codes, key, {}});
    missing_.back().cells.Add(band, name);
  }
  std::string Lines(std::vector<std::string>& codesUsed) const {
    std::string out;
    for (const Flag& flag : flags_) {
      out += "  [" + std::to_string(flag.number) + "] " + flag.symbol + " " + flag.cells.Text(rowCount_) +
             ": " + flag.text + "\n";
      Use(flag.codes, codesUsed);
    }
    for (const MissingGroup& group : missing_) {
      out += std::string("  ") + MISSING_MARK + " " + group.key + ": " + group.cells.Text(rowCount_) + "\n";
      Use(group.codes, codesUsed);
    }
    return out;
  }

 private:
  static void Use(const std::vector<std::string>& codes, std::vector<std::string>& codesUsed) {
    for (const std::string& code : codes) {
      if (std::find(codesUsed.begin(), codesUsed.end(), code) == codesUsed.end()) codesUsed.push_back(code);
    }
  }
  struct Flag {
    int number;
    char symbol;
    std::string text;
    std::vector<std::string> codes;
    CellList cells;
  };
  struct MissingGroup {
    std::vector<std::string> codes;
    std::string key;
    CellList cells;
  };
  int& counter_;
  int rowCount_;
  std::vector<Flag> flags_;
  std::vector<MissingGroup> missing_;
};

// The sentence of a code of any kind: the plug-in's, the ISO evaluation's,
// a spatial one.
std::string CodeSentence(const std::string& code) {
  if (const char* sentence = IsoCodeSentence(code); *sentence) return sentence;
  for (int status = SPATIAL_INVALID_INPUT; status <= SPATIAL_BAND_NOT_VALID; ++status) {
    const SpatialReason reason = SpatialReasonOf(static_cast<SpatialStatus>(status));
    if (code == reason.code) return reason.sentence;
  }
  return "";
}

// "code, code": the sentences follow at the end of the file.
std::string CodesText(const std::vector<std::string>& codes) {
  std::string out;
  for (const std::string& code : codes) out += (out.empty() ? "" : ", ") + code;
  return out;
}

// The text of an ISO cell: the number with its marks, or MISSING_MARK.
std::string IsoCellText(const IsoCell& cell, const std::string& unit, BlockNotes& notes,
                        const std::string& band, const std::string& name, bool withUnit = false) {
  if (!cell.present) {
    notes.Missing(cell.reasons, band, name);
    return MISSING_MARK;
  }
  std::string text = UnitText(cell.value, unit) + (withUnit && !unit.empty() ? " " + unit : "");
  if (!cell.valid) text += notes.Mark('*', CodesText(cell.reasons), cell.reasons, band, name);
  if (!cell.warnings.empty()) text += notes.Mark('!', CodesText(cell.warnings), cell.warnings, band, name);
  return text;
}

// --- Blocks --------------------------------------------------------------

// A block's cells: rows of quantities over columns of bands, printed with
// the bands across (octaves) or down (thirds, which do not fit across).
struct Block {
  std::vector<std::string> rowLabels, bandLabels;
  std::vector<std::vector<std::string>> cells;  // [row][band]
};

TextRows BlockRows(const Block& block, bool bandsDown) {
  TextRows rows;
  if (!bandsDown) {
    std::vector<std::string> header{""};
    header.insert(header.end(), block.bandLabels.begin(), block.bandLabels.end());
    rows.push_back(header);
    for (size_t i = 0; i < block.rowLabels.size(); ++i) {
      std::vector<std::string> row{block.rowLabels[i]};
      row.insert(row.end(), block.cells[i].begin(), block.cells[i].end());
      rows.push_back(row);
    }
    return rows;
  }
  std::vector<std::string> header{"Band"};
  header.insert(header.end(), block.rowLabels.begin(), block.rowLabels.end());
  rows.push_back(header);
  for (size_t b = 0; b < block.bandLabels.size(); ++b) {
    std::vector<std::string> row{block.bandLabels[b]};
    for (const auto& cells : block.cells) row.push_back(cells[b]);
    rows.push_back(row);
  }
  return rows;
}

// The band columns of a channel: the 16 kHz octave holds nothing of a
// channel (the band analysis stops at 8 kHz).
std::vector<int> ChannelBands(const FileResult& r) {
  std::vector<int> bands;
  for (int b = 0; b < BandRowCount(r.ThirdOctave()); ++b) {
    if (r.ThirdOctave() || b != OCTAVE_ROWS - 1) bands.push_back(b);
  }
  return bands;
}

std::string NoiseCorrectionText(const FileResult& r, int band) {
  const ValueState state = NoiseCorrectionState(r, band);
  if (state.computed) return "yes";
  const std::string reason = state.reason;
  return reason.empty() || reason == "noise-window-too-short" ? "no" : MISSING_MARK;
}

// The plug-in's values of a channel; a value kept although its band's
// impulse-to-noise ratio is below what its fit needs carries a '!' note.
Block PluginBlock(const FileResult& r, int channel, BlockNotes& notes) {
  Block block;
  const std::vector<int> bands = ChannelBands(r);
  for (int b : bands) block.bandLabels.push_back(TableBandName(r, b));
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    block.rowLabels.push_back(RowLabel(IsoParameterName(k), PARAMETERS[k].unit));
    std::vector<std::string> row;
    for (int b : bands) {
      const ValueState state = ParameterState(r, channel, b, k);
      if (!state.computed) {
        notes.Missing({state.reason}, NoteBandName(r, b), IsoParameterName(k));
        row.push_back(MISSING_MARK);
        continue;
      }
      std::string text = UnitText(r.outcome.store.values[channel][b][k], PARAMETERS[k].unit);
      const std::string warning = InrWarning(r, channel, b, k);
      if (!warning.empty()) text += notes.Mark('!', warning, {}, NoteBandName(r, b), IsoParameterName(k));
      row.push_back(text);
    }
    block.cells.push_back(row);
  }
  block.rowLabels.push_back("N.C.");
  block.cells.push_back({});
  for (int b : bands) block.cells.back().push_back(NoiseCorrectionText(r, b));
  return block;
}

// The plug-in's rows between the channels; with thirds only LF of the
// broadband response is computed.
Block PluginPairBlock(const FileResult& r, BlockNotes& notes) {
  Block block;
  const int bandCount = r.ThirdOctave() ? 1 : OCTAVE_ROWS, rowCount = r.ThirdOctave() ? 1 : PAIR_ROW_COUNT;
  for (int b = 0; b < bandCount; ++b) block.bandLabels.push_back(TableBandName(r, b));
  for (int i = 0; i < rowCount; ++i) {
    const PairRow pairRow = static_cast<PairRow>(i);
    block.rowLabels.push_back(RowLabel(PAIR_ROWS[i].name, PAIR_ROWS[i].unit));
    std::vector<std::string> row;
    for (int b = 0; b < bandCount; ++b) {
      const ValueState state = PairState(r, pairRow, b);
      if (state.computed) {
        row.push_back(UnitText(PairValue(r, pairRow, b), PAIR_ROWS[i].unit));
      } else {
        notes.Missing({state.reason}, NoteBandName(r, b), PAIR_ROWS[i].name);
        row.push_back(MISSING_MARK);
      }
    }
    block.cells.push_back(row);
  }
  return block;
}

// The facts of an ISO band that are no result of their own.
enum IsoFact { FACT_INR, FACT_TRUNCATION, FACT_CURVATURE, FACT_U_T20, FACT_U_T30, FACT_COUNT };
constexpr const char* ISO_FACT_LABELS[FACT_COUNT] = {
    "INR (dB)", "truncation (s)", "curvature (%)", "T20 uncertainty (\u00b1s)", "T30 uncertainty (\u00b1s)"};

std::string IsoFactText(const IsoBandResult& band, IsoFact fact) {
  switch (fact) {
    case FACT_INR:
      return UnitText(band.inrDb, "dB");
    case FACT_TRUNCATION:
      return UnitText(band.truncationSeconds, "s");
    case FACT_CURVATURE:
      return UnitText(band.curvaturePercent, "%");
    case FACT_U_T20:
      return std::isfinite(band.t20.uncertaintySeconds) ? Significant(band.t20.uncertaintySeconds, 2)
                                                        : MISSING_MARK;
    case FACT_U_T30:
    default:
      return std::isfinite(band.t30.uncertaintySeconds) ? Significant(band.t30.uncertaintySeconds, 2)
                                                        : MISSING_MARK;
  }
}

// The ISO 3382 values of a channel, then the facts of each band.
Block IsoBlock(const FileResult& r, int channel, BlockNotes& notes) {
  Block block;
  const std::vector<IsoBandEvaluation>& evaluated =
      r.outcome.iso.channels[static_cast<size_t>(channel)].bands;
  std::vector<int> bands;
  for (const IsoBandEvaluation& band : evaluated) {
    if (band.evaluated) bands.push_back(band.row);
  }
  for (int b : bands) block.bandLabels.push_back(TableBandName(r, b));
  for (int p = 0; p < ISO_PARAMETER_COUNT; ++p) {
    block.rowLabels.push_back(RowLabel(ISO_PARAMETERS[p].key, ISO_PARAMETERS[p].unit));
    std::vector<std::string> row;
    for (int b : bands)
      row.push_back(IsoCellText(IsoBandCell(r, channel, b, static_cast<IsoParameter>(p)),
                                ISO_PARAMETERS[p].unit, notes, NoteBandName(r, b), ISO_PARAMETERS[p].key));
    block.cells.push_back(row);
  }
  for (int f = 0; f < FACT_COUNT; ++f) {
    block.rowLabels.push_back(ISO_FACT_LABELS[f]);
    std::vector<std::string> row;
    for (int b : bands)
      row.push_back(IsoFactText(evaluated[static_cast<size_t>(b)].result, static_cast<IsoFact>(f)));
    block.cells.push_back(row);
  }
  return block;
}

// The single numbers of ISO 3382-1 Annex A on one line.
std::string IsoSingleLine(const FileResult& r, int channel, BlockNotes& notes) {
  constexpr const char* NAMES[ISO_SINGLE_COUNT] = {"EDT", "T20,mid", "T30,mid", "C80", "D50", "Ts"};
  std::string line = "Single numbers (500 Hz and 1000 Hz):";
  for (int s = 0; s < ISO_SINGLE_COUNT; ++s) {
    const IsoCell cell = IsoSingleCell(r, channel, static_cast<IsoSingle>(s));
    line += std::string(s ? ", " : " ") + NAMES[s] + " " +
            IsoCellText(cell, ISO_SINGLES[s].unit, notes, "", NAMES[s], true);
  }
  return line + "\n";
}

// The declared pair's quantities per band, and the single-number line.
Block SpatialBlock(const FileResult& r, BlockNotes& notes, std::string& singles) {
  const IsoPairEvaluation& pair = r.outcome.iso.pair;
  const bool binaural = pair.kind == PairKind::Binaural;
  struct Row {
    const char* name;
    SpatialValue IsoPairBand::*value;
  };
  const std::vector<Row> rows =
      binaural ? std::vector<Row>{{"IACC_E", &IsoPairBand::iaccEarly},
                                  {"IACC_L", &IsoPairBand::iaccLate},
                                  {"IACC_A", &IsoPairBand::iaccAll}}
               : std::vector<Row>{{"J_LF", &IsoPairBand::jlf}, {"J_LFC", &IsoPairBand::jlfc}};
  // In the bands' order, whatever order they were evaluated in.
  std::vector<const IsoPairBand*> bands;
  for (const IsoPairBand& band : pair.bands) bands.push_back(&band);
  std::sort(bands.begin(), bands.end(),
            [](const IsoPairBand* a, const IsoPairBand* b) { return a->row < b->row; });
  Block block;
  for (const IsoPairBand* band : bands) block.bandLabels.push_back(TableBandName(r, band->row));
  for (const Row& row : rows) {
    block.rowLabels.push_back(row.name);
    std::vector<std::string> cells;
    for (const IsoPairBand* band : bands)
      cells.push_back(
          IsoCellText(SpatialValueCell(band->*row.value), "", notes, NoteBandName(r, band->row), row.name));
    block.cells.push_back(cells);
  }
  if (binaural) {
    singles = "1 - IACC_E3 (500 Hz to 2000 Hz): " +
              IsoCellText(SpatialValueCell(pair.oneMinusIaccE3), "", notes, "", "1 - IACC_E3") + "\n";
  } else {
    singles = "Mean over 125 Hz to 1000 Hz: J_LF " +
              IsoCellText(SpatialValueCell(pair.jlf), "", notes, "", "J_LF") + ", J_LFC " +
              IsoCellText(SpatialValueCell(pair.jlfc), "", notes, "", "J_LFC") + "\n";
  }
  return block;
}

// --- A file ------------------------------------------------------------------

// A channel as the declared pair names it.
std::string ChannelHeading(const FileResult& r, int channel, PairKind pair) {
  if (r.ChannelCount() == 1) return "";
  switch (pair) {
    case PairKind::Binaural:
      return channel == 0 ? ", left ear" : ", right ear";
    case PairKind::OmniFigure8:
      return channel == 0 ? ", omni (W)" : ", figure-of-eight (Y)";
    case PairKind::None:
    default:
      return channel == 0 ? ", left channel" : ", right channel";
  }
}

// The thresholds in the words of the pair, in plain numbers.
std::string TableThresholdLine(const FileResult& r, PairKind pair) {
  const AnalysisSettings& s = r.confirmation.settings;
  const std::string w = SettingText(s.wThreshold), y = SettingText(s.yThreshold);
  std::string line = "First-arrival threshold " + w;
  if (r.ChannelCount() == 2) {
    if (pair == PairKind::Binaural)
      line = "First-arrival thresholds: left ear " + w + ", right ear " + y;
    else if (pair == PairKind::OmniFigure8)
      line = "First-arrival thresholds: omni (W) " + w + ", figure-of-eight (Y) " + y;
    else
      line = "First-arrival thresholds: W " + w + ", Y " + y;
  }
  if (r.offer.thresholdMode == ThresholdMode::Auto)
    line += " (auto: 20 dB below the peak of the weaker channel)";
  else if (r.offer.thresholdMode == ThresholdMode::Keep)
    line += " (from the settings file)";
  return line + "\n";
}

// The lines above a file's blocks.
std::string FileHeader(const FileResult& r, const TableView& view) {
  std::string out = FileFacts(r) + "\n";
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
  out += TableThresholdLine(r, view.pair);
  if (view.verbose && r.offer.scaled)
    out += "Float samples above the 16-bit scale, scaled by " + ExactText(r.offer.scaleFactor) + "\n";
  return out;
}

// A printed block: its title, the lines above its table, the table, the
// notes under it.
struct PrintedBlock {
  std::string title, above;
  TextRows rows;
  std::string notes;
};

// The channels' blocks in channel order, each kind (plug-in, ISO) aligned
// alike over the channels.
std::string PrintChannelBlocks(const std::vector<std::vector<PrintedBlock>>& byKind) {
  std::vector<std::vector<size_t>> widths;
  for (const auto& blocks : byKind) {
    std::vector<TextRows> tables;
    for (const PrintedBlock& block : blocks) tables.push_back(block.rows);
    widths.push_back(ColumnWidths(tables));
  }
  std::string out;
  const size_t channels = byKind.empty() ? 0 : byKind[0].size();
  for (size_t c = 0; c < channels; ++c) {
    for (size_t k = 0; k < byKind.size(); ++k) {
      const PrintedBlock& block = byKind[k][c];
      out += "\n" + block.title + "\n" + block.above + AlignedTable(block.rows, widths[k]) + block.notes;
    }
  }
  return out;
}

std::string FileTable(const FileResult& r, const TableView& view) {
  const bool plugin = view.evaluation != Evaluation::Iso,
             iso = view.evaluation != Evaluation::Plugin && HasIso(r);
  const std::string bands = r.ThirdOctave() ? "one-third-octave bands" : "octave bands";
  std::string out = FileHeader(r, view);
  std::vector<std::string> codesUsed;
  int counter = 0;  // notes are numbered through the file
  std::vector<PrintedBlock> pluginBlocks, isoBlocks;
  for (int c = 0; c < r.ChannelCount(); ++c) {
    const std::string channel = ChannelHeading(r, c, view.pair);
    if (plugin) {
      BlockNotes notes(counter, PARAMS_PER_BAND);
      TextRows rows = BlockRows(PluginBlock(r, c, notes), r.ThirdOctave());
      pluginBlocks.push_back({"PLUG-IN EVALUATION, " + bands + channel, "", rows, notes.Lines(codesUsed)});
    }
    if (iso) {
      BlockNotes notes(counter, ISO_PARAMETER_COUNT);
      const std::string singles = IsoSingleLine(r, c, notes);
      TextRows rows = BlockRows(IsoBlock(r, c, notes), r.ThirdOctave());
      isoBlocks.push_back({"ISO 3382, " + bands + channel, singles, rows, notes.Lines(codesUsed)});
    }
  }
  std::vector<std::vector<PrintedBlock>> byKind;
  if (plugin) byKind.push_back(pluginBlocks);
  if (iso) byKind.push_back(isoBlocks);
  out += PrintChannelBlocks(byKind);
  if (r.ChannelCount() == 2 && plugin) {
    BlockNotes notes(counter, PAIR_ROW_COUNT);
    const TextRows rows = BlockRows(PluginPairBlock(r, notes), false);
    out += "\nPLUG-IN EVALUATION, between the channels\n" + AlignedTable(rows) + notes.Lines(codesUsed);
  }
  if (r.ChannelCount() == 2 && iso && r.outcome.iso.pair.kind != PairKind::None) {
    BlockNotes notes(counter, r.outcome.iso.pair.kind == PairKind::Binaural ? 3 : 2);
    std::string singles;
    const TextRows rows = BlockRows(SpatialBlock(r, notes, singles), r.ThirdOctave());
    out += std::string("\nISO 3382 spatial, ") +
           (r.outcome.iso.pair.kind == PairKind::Binaural ? "binaural pair" : "omni + figure-of-eight pair") +
           "\n" + singles + AlignedTable(rows) + notes.Lines(codesUsed);
  }
  if (plugin) {
    const AnalysisSettings& s = r.confirmation.settings;
    out += "\nRTU: the plug-in's user decay range, " + SettingText(s.rtuStartDb) + " dB to " +
           SettingText(s.rtuEndDb) + " dB\n";
  }
  for (const std::string& code : codesUsed) out += code + ": " + CodeSentence(code) + "\n";
  return out;
}

}  // namespace

std::string FileFactsText(const FileResult& r) { return FileFacts(r); }
std::string ThresholdText(const FileResult& r) { return ThresholdLine(r); }
std::string RtuText(const FileResult& r) { return RtuRangeText(r); }

std::string FormatTable(const std::vector<FileResult>& results, const TableView& view) {
  std::string out;
  for (size_t i = 0; i < results.size(); ++i) {
    const FileResult& r = results[i];
    if (i) out += "\n";
    out += "== " + r.input.path + " ==\n";
    out += r.outcome.haveResults ? FileTable(r, view) : "no results: " + r.outcome.error + "\n";
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
