// The csv format: one row per value; the file's, channel's, band's and fit's
// facts are repeated on each row they belong to. The `method` column tells
// the plug-in's values ("plugin") from the host's ISO 3382 evaluation
// ("iso3382"); --evaluation chooses which rows there are. A file without
// results has one row with its status, exit code and message.
#include <cmath>
#include <string>
#include <vector>

#include "host/cli/cells.h"
#include "host/cli/text_encoding.h"
#include "host/cli/text_output.h"
#include "interface/bands.h"

namespace cli {

namespace {

enum Column {
  COL_FILE = 0,
  COL_STATUS,
  COL_EXIT_CODE,
  COL_CHANNEL,
  COL_BAND,
  COL_CENTRE_HZ,
  COL_NOMINAL,
  COL_PARAMETER,
  COL_ISO_NAME,
  COL_UNIT,
  COL_VALUE,
  COL_COMPUTED,
  COL_REASON,
  COL_WARNING,
  COL_FIRST_ARRIVAL_SAMPLE,
  COL_FIRST_ARRIVAL_S,
  COL_NOISE_POWER,
  COL_INR_DB,
  COL_FIT_FROM_DB,
  COL_FIT_TO_DB,
  COL_FIT_START_S,
  COL_FIT_END_S,
  COL_W_THRESHOLD,
  COL_Y_THRESHOLD,
  COL_RESAMPLED_FROM,
  COL_MESSAGE,
  COL_METHOD,
  COL_VALID,
  COL_REASONS,
  COL_WARNINGS,
  COL_ONSET_S,
  COL_TRUNCATION_S,
  COL_NOISE_DB,
  COL_CURVATURE_PERCENT,
  COL_XI_PERMILLE,
  COL_UNCERTAINTY_S,
  CSV_COLUMNS
};

constexpr const char* CSV_HEADER =
    "file,status,exit_code,channel,band,centre_hz,nominal,parameter,iso_name,unit,value,computed,reason,"
    "warning,first_arrival_sample,first_arrival_s,noise_power,inr_db,fit_from_db,fit_to_db,fit_start_s,"
    "fit_end_s,w_threshold,y_threshold,resampled_from,message,method,valid,reasons,warnings,onset_s,"
    "truncation_s,noise_db,curvature_percent,xi_permille,uncertainty_s\r\n";

// The band a single number stands for.
constexpr const char* SINGLE_BAND = "single";

using Row = std::vector<std::string>;

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
  return out;
}

std::string RowText(const Row& row) { return Joined(row, ",") + "\r\n"; }

std::string Exact(double value) { return std::isfinite(value) ? ExactText(value) : std::string(); }

// Seconds from the start of the selection in the file's time base.
std::string FileTimeText(const FileResult& r, double selectionSeconds) {
  if (!std::isfinite(selectionSeconds)) return "";
  return ExactText(static_cast<double>(r.input.firstFrame) / r.input.audio.sampleRate + selectionSeconds);
}

std::string NoResultsRow(const FileResult& r) {
  Row cells(CSV_COLUMNS);
  cells[COL_FILE] = CsvField(r.input.path);
  cells[COL_STATUS] = CsvField(StatusName(r));
  cells[COL_EXIT_CODE] = std::to_string(r.outcome.exitCode);
  cells[COL_COMPUTED] = "no";
  cells[COL_REASON] = CsvField(r.outcome.refusal.empty() ? StatusName(r) : r.outcome.refusal);
  if (r.offer.resampledFrom) cells[COL_RESAMPLED_FROM] = std::to_string(r.offer.resampledFrom);
  cells[COL_MESSAGE] = CsvField(r.outcome.error);
  cells[COL_VALID] = "no";
  cells[COL_REASONS] = cells[COL_REASON];
  return RowText(cells);
}

// The cells every row of a file with results shares.
Row SharedRow(const FileResult& r, const char* method) {
  const AnalysisSettings& s = r.confirmation.settings;
  Row row(CSV_COLUMNS);
  row[COL_FILE] = CsvField(r.input.path);
  row[COL_STATUS] = CsvField(StatusName(r));
  row[COL_EXIT_CODE] = std::to_string(r.outcome.exitCode);
  row[COL_W_THRESHOLD] = ExactText(s.wThreshold);
  if (r.ChannelCount() == 2) row[COL_Y_THRESHOLD] = ExactText(s.yThreshold);
  if (r.offer.resampledFrom) row[COL_RESAMPLED_FROM] = std::to_string(r.offer.resampledFrom);
  row[COL_METHOD] = method;
  return row;
}

void SetBand(const FileResult& r, int b, Row& row) {
  row[COL_BAND] = CsvField(BandName(r, b));
  if (b != 0) row[COL_CENTRE_HZ] = CentreText(BandCentreHz(r, b));
  if (NominalBands(r)) row[COL_NOMINAL] = BandColumns(r.ThirdOctave())[b].nominalLabel;
}

void SetName(const char* name, const char* isoName, const char* unit, Row& row) {
  row[COL_PARAMETER] = CsvField(name);
  row[COL_ISO_NAME] = CsvField(isoName);
  row[COL_UNIT] = unit;
}

// value,computed,reason and valid,reasons of a plug-in value: an empty value
// and the reason for anything that is not a result.
template <typename T>
void SetPluginValue(const ValueState& state, T value, Row& row) {
  row[COL_VALUE] = state.computed ? ExactText(value) : std::string();
  row[COL_COMPUTED] = state.computed ? "yes" : "no";
  row[COL_REASON] = state.reason;
  row[COL_VALID] = row[COL_COMPUTED];
  row[COL_REASONS] = state.reason;
}

// The same columns of an ISO 3382 value: computed says a number exists,
// valid whether it is a valid result; reason is the first of its reasons.
void SetIsoValue(const IsoCell& cell, Row& row) {
  row[COL_VALUE] = cell.present ? ExactText(cell.value) : std::string();
  row[COL_COMPUTED] = cell.present ? "yes" : "no";
  row[COL_REASON] = cell.reasons.empty() ? std::string() : cell.reasons.front();
  std::vector<std::string> sentences;
  for (const std::string& code : cell.warnings) sentences.emplace_back(IsoCodeSentence(code));
  row[COL_WARNING] = CsvField(Joined(sentences, "; "));
  row[COL_VALID] = cell.valid ? "yes" : "no";
  row[COL_REASONS] = Joined(cell.reasons, ";");
  row[COL_WARNINGS] = Joined(cell.warnings, ";");
}

// first_arrival_sample,first_arrival_s of a channel.
void SetArrival(const FileResult& r, int c, Row& row) {
  const hostkit::ChannelRecord& channel = r.outcome.record.channels[c];
  if (!channel.searched || channel.trace.arrival >= channel.trace.length) return;
  const double seconds = FileSeconds(r, channel.trace.arrival, channel.trace.rateHz);
  row[COL_FIRST_ARRIVAL_SAMPLE] = std::to_string(std::llround(seconds * r.input.audio.sampleRate));
  row[COL_FIRST_ARRIVAL_S] = ExactText(seconds);
}

// fit_from_db,fit_to_db,fit_start_s,fit_end_s of a parameter's decay fit.
void SetFit(const FileResult& r, const hostkit::BandRecord& band, bool known, int slot, Row& row) {
  const int f = FitOfSlot(slot);
  if (f < 0 || !known) return;
  const FitRanges ranges = FitRangesDb(r);
  row[COL_FIT_FROM_DB] = LevelText(ranges[f][0]);
  row[COL_FIT_TO_DB] = LevelText(ranges[f][1]);
  const FitResult& result = band.outcome.fits[f];
  if (result.pointCount == 0) return;
  row[COL_FIT_START_S] = ExactText(FileSeconds(r, result.firstIndex, band.rateHz));
  row[COL_FIT_END_S] = ExactText(FileSeconds(r, result.firstIndex + result.pointCount - 1.0, band.rateHz));
}

// The plug-in's rows of one band of one channel: its parameters, and for
// the first channel its noise correction (decided by the first or only
// channel's analysis: 1 where the noise floor was subtracted).
std::string BandRows(const FileResult& r, int c, int b) {
  const hostkit::BandRecord& band = r.outcome.record.channels[c].bands[b];
  const bool known = band.analysed && !AboveBandwidth(r, b);
  Row lead = SharedRow(r, "plugin");
  lead[COL_CHANNEL] = ChannelName(r, c);
  SetBand(r, b, lead);
  SetArrival(r, c, lead);
  if (known && band.noisePower > 0.0) lead[COL_NOISE_POWER] = ExactText(band.noisePower);
  if (known && std::isfinite(band.inrDb)) lead[COL_INR_DB] = ExactText(band.inrDb);
  std::string out;
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    Row row = lead;
    SetName(PARAMETERS[k].name, PARAMETERS[k].isoName, PARAMETERS[k].unit, row);
    SetPluginValue(ParameterState(r, c, b, k), r.outcome.store.values[c][b][k], row);
    row[COL_WARNING] = CsvField(InrWarning(r, c, b, k));
    row[COL_WARNINGS] = Joined(ParameterWarnings(r, c, b, k), ";");
    SetFit(r, band, known, k, row);
    out += RowText(row);
  }
  if (c == 0) {
    const ValueState nc = NoiseCorrectionState(r, b);
    Row row = lead;
    SetName("NC", "NC", "", row);
    row[COL_VALUE] = nc.computed ? "1" : "0";
    row[COL_COMPUTED] = r.confirmation.settings.noiseCorrection != 0 ? "yes" : "no";
    row[COL_REASON] = nc.reason;
    row[COL_VALID] = row[COL_COMPUTED];
    row[COL_REASONS] = nc.reason;
    out += RowText(row);
  }
  return out;
}

std::string PairRows(const FileResult& r, int b) {
  std::string out;
  Row lead = SharedRow(r, "plugin");
  lead[COL_CHANNEL] = "pair";
  SetBand(r, b, lead);
  for (int i = 0; i < PAIR_ROW_COUNT; ++i) {
    const PairRow pair = static_cast<PairRow>(i);
    Row row = lead;
    SetName(PAIR_ROWS[i].name, PAIR_ROWS[i].name, PAIR_ROWS[i].unit, row);
    SetPluginValue(PairState(r, pair, b), PairValue(r, pair, b), row);
    out += RowText(row);
  }
  return out;
}

// The ISO 3382 rows of one band of one channel.
std::string IsoBandRows(const FileResult& r, int c, const IsoChannelEvaluation& channel,
                        const IsoBandEvaluation& band) {
  const bool known = band.evaluated && !AboveBandwidth(r, band.row);
  const IsoBandResult& result = band.result;
  Row lead = SharedRow(r, "iso3382");
  lead[COL_CHANNEL] = ChannelName(r, c);
  SetBand(r, band.row, lead);
  lead[COL_ONSET_S] = FileTimeText(r, channel.onsetSeconds);
  if (known) {
    lead[COL_INR_DB] = Exact(result.inrDb);
    lead[COL_TRUNCATION_S] = FileTimeText(r, result.truncationSeconds);
    lead[COL_NOISE_DB] = Exact(result.noiseDb);
    lead[COL_CURVATURE_PERCENT] = Exact(result.curvaturePercent);
  }
  const IsoDecayFit* fits[ISO_PARAMETER_COUNT] = {&result.edt, &result.t20, &result.t30};
  std::string out;
  for (int p = 0; p < ISO_PARAMETER_COUNT; ++p) {
    Row row = lead;
    SetName(ISO_PARAMETERS[p].key, ISO_PARAMETERS[p].key, ISO_PARAMETERS[p].unit, row);
    SetIsoValue(IsoBandCell(r, c, band.row, static_cast<IsoParameter>(p)), row);
    const IsoDecayFit* fit = p < 3 ? fits[p] : nullptr;
    if (fit && known) {
      row[COL_FIT_FROM_DB] = LevelText(fit->startDb);
      row[COL_FIT_TO_DB] = LevelText(fit->endDb);
      if (std::isfinite(fit->startSeconds) && std::isfinite(fit->endSeconds) && fit->endSeconds > 0.0) {
        row[COL_FIT_START_S] = FileTimeText(r, channel.onsetSeconds + fit->startSeconds);
        row[COL_FIT_END_S] = FileTimeText(r, channel.onsetSeconds + fit->endSeconds);
      }
      if (p != ISO_EDT) {
        row[COL_XI_PERMILLE] = Exact(fit->xiPermille);
        row[COL_UNCERTAINTY_S] = Exact(fit->uncertaintySeconds);
      }
    }
    out += RowText(row);
  }
  return out;
}

std::string IsoChannelRows(const FileResult& r, int c) {
  const IsoChannelEvaluation& channel = r.outcome.iso.channels[static_cast<size_t>(c)];
  std::string out;
  for (const IsoBandEvaluation& band : channel.bands) out += IsoBandRows(r, c, channel, band);
  Row lead = SharedRow(r, "iso3382");
  lead[COL_CHANNEL] = ChannelName(r, c);
  lead[COL_BAND] = SINGLE_BAND;
  lead[COL_ONSET_S] = FileTimeText(r, channel.onsetSeconds);
  for (int s = 0; s < ISO_SINGLE_COUNT; ++s) {
    Row row = lead;
    SetName(ISO_SINGLES[s].key, ISO_SINGLES[s].key, ISO_SINGLES[s].unit, row);
    SetIsoValue(IsoSingleCell(r, c, static_cast<IsoSingle>(s)), row);
    out += RowText(row);
  }
  return out;
}

// The declared pair's ISO 3382 rows (channel "pair"): per band, then the
// single numbers.
std::string IsoPairRows(const FileResult& r) {
  const PairKind pair = IsoPairOf(r);
  if (pair == PairKind::None) return "";
  Row lead = SharedRow(r, "iso3382");
  lead[COL_CHANNEL] = "pair";
  lead[COL_ONSET_S] = FileTimeText(r, r.outcome.iso.pair.onsetSeconds);
  std::string out;
  for (const IsoPairBand& band : r.outcome.iso.pair.bands) {
    for (int q = 0; q < ISO_PAIR_QUANTITY_COUNT; ++q) {
      const IsoPairQuantity quantity = static_cast<IsoPairQuantity>(q);
      if (!PairHas(pair, quantity)) continue;
      Row row = lead;
      SetBand(r, band.row, row);
      SetName(ISO_PAIR_QUANTITIES[q].key, ISO_PAIR_QUANTITIES[q].key, "", row);
      SetIsoValue(SpatialCell(r, band.row, quantity), row);
      out += RowText(row);
    }
  }
  for (int s = 0; s < ISO_PAIR_SINGLE_COUNT; ++s) {
    const IsoPairSingle single = static_cast<IsoPairSingle>(s);
    if (!PairHas(pair, single)) continue;
    Row row = lead;
    row[COL_BAND] = SINGLE_BAND;
    SetName(ISO_PAIR_SINGLES[s].key, ISO_PAIR_SINGLES[s].key, "", row);
    SetIsoValue(SpatialSingleCell(r, single), row);
    out += RowText(row);
  }
  return out;
}

std::string FileRows(const FileResult& r) {
  std::string out;
  const int columns = BandRowCount(r.ThirdOctave());
  if (r.request.evaluation != Evaluation::Iso) {
    for (int c = 0; c < r.ChannelCount(); ++c) {
      for (int b = 0; b < columns; ++b) out += BandRows(r, c, b);
    }
    if (r.ChannelCount() == 2) {
      for (int b = 0; b < columns; ++b) out += PairRows(r, b);
    }
  }
  if (r.request.evaluation != Evaluation::Plugin && HasIso(r)) {
    for (int c = 0; c < r.ChannelCount() && static_cast<size_t>(c) < r.outcome.iso.channels.size(); ++c)
      out += IsoChannelRows(r, c);
    out += IsoPairRows(r);
  }
  return out;
}

}  // namespace

std::string FormatCsv(const std::vector<FileResult>& results) {
  std::string out = CSV_HEADER;
  for (const FileResult& r : results) out += r.outcome.haveResults ? FileRows(r) : NoResultsRow(r);
  return out;
}

}  // namespace cli
