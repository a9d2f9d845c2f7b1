// The csv format: one row per value; the file's, channel's, band's and fit's
// facts are repeated on each row they belong to. A file without results has
// one row with its status, exit code and message.
#include <cmath>
#include <string>
#include <vector>

#include "host/cli/cells.h"
#include "host/cli/text_encoding.h"
#include "host/cli/text_output.h"
#include "interface/bands.h"

namespace cli {

namespace {

constexpr int CSV_COLUMNS = 26;
constexpr const char* CSV_HEADER =
    "file,status,exit_code,channel,band,centre_hz,nominal,parameter,iso_name,unit,value,computed,reason,"
    "warning,"
    "first_arrival_sample,first_arrival_s,noise_power,inr_db,fit_from_db,fit_to_db,fit_start_s,fit_end_s,"
    "w_threshold,y_threshold,resampled_from,message\r\n";

// value,computed,reason: an empty value and the reason for anything that is
// not a result.
template <typename T>
std::string CsvValue(const ValueState& state, T value) {
  return state.computed ? ExactText(value) + ",yes," : std::string(",no,") + state.reason;
}

std::string NoResultsRow(const FileResult& r) {
  std::vector<std::string> cells(CSV_COLUMNS);
  cells[0] = CsvField(r.input.path);
  cells[1] = CsvField(StatusName(r));
  cells[2] = std::to_string(r.outcome.exitCode);
  cells[11] = "no";
  cells[12] = CsvField(r.outcome.refusal.empty() ? StatusName(r) : r.outcome.refusal);
  if (r.offer.resampledFrom) cells[24] = std::to_string(r.offer.resampledFrom);
  cells[25] = CsvField(r.outcome.error);
  std::string out;
  for (int i = 0; i < CSV_COLUMNS; ++i) out += (i ? "," : "") + cells[i];
  return out + "\r\n";
}

// The cells every row of a file with results shares.
struct FileCells {
  std::string head;  // file,status,exit_code,
  std::string tail;  // ,w_threshold,y_threshold,resampled_from,(message)
};

FileCells SharedCells(const FileResult& r) {
  const AnalysisSettings& s = r.confirmation.settings;
  return FileCells{
      CsvField(r.input.path) + "," + CsvField(StatusName(r)) + "," + std::to_string(r.outcome.exitCode) + ",",
      "," + ExactText(s.wThreshold) + "," +
          (r.ChannelCount() == 2 ? ExactText(s.yThreshold) : std::string()) + "," +
          (r.offer.resampledFrom ? std::to_string(r.offer.resampledFrom) : std::string()) + ",\r\n"};
}

std::string BandCells(const FileResult& r, int b) {
  return CsvField(BandName(r, b)) + "," + (b == 0 ? std::string() : CentreText(BandCentreHz(r, b))) + "," +
         (NominalBands(r) ? BandColumns(r.ThirdOctave())[b].nominalLabel : "") + ",";
}

// first_arrival_sample,first_arrival_s of a channel.
std::string ArrivalCells(const FileResult& r, int c) {
  const hostkit::ChannelRecord& channel = r.outcome.record.channels[c];
  if (!channel.searched || channel.trace.arrival >= channel.trace.length) return ",";
  const double seconds = FileSeconds(r, channel.trace.arrival, channel.trace.rateHz);
  return std::to_string(std::llround(seconds * r.input.audio.sampleRate)) + "," + ExactText(seconds);
}

// fit_from_db,fit_to_db,fit_start_s,fit_end_s of a parameter's decay fit.
std::string FitCells(const FileResult& r, const hostkit::BandRecord& band, bool known, int slot) {
  const int f = FitOfSlot(slot);
  if (f < 0 || !known) return ",,,";
  const FitRanges ranges = FitRangesDb(r);
  std::string fit = LevelText(ranges[f][0]) + "," + LevelText(ranges[f][1]) + ",";
  const FitResult& result = band.outcome.fits[f];
  if (result.pointCount == 0) return fit + ",";
  return fit + ExactText(FileSeconds(r, result.firstIndex, band.rateHz)) + "," +
         ExactText(FileSeconds(r, result.firstIndex + result.pointCount - 1.0, band.rateHz));
}

// The rows of one band of one channel: its parameters, and for the first
// channel its noise correction (decided by the first or only channel's
// analysis: 1 where the noise floor was subtracted).
std::string BandRows(const FileResult& r, const FileCells& shared, int c, int b) {
  const hostkit::BandRecord& band = r.outcome.record.channels[c].bands[b];
  const bool known = band.analysed && !AboveBandwidth(r, b);
  const std::string noise = known && band.noisePower > 0.0 ? ExactText(band.noisePower) : "";
  const std::string inr = known && std::isfinite(band.inrDb) ? ExactText(band.inrDb) : "";
  const std::string lead = shared.head + ChannelName(r, c) + "," + BandCells(r, b);
  const std::string arrival = ArrivalCells(r, c);
  std::string out;
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    out += lead + CsvField(PARAMETERS[k].name) + "," + CsvField(PARAMETERS[k].isoName) + "," +
           PARAMETERS[k].unit + "," + CsvValue(ParameterState(r, c, b, k), r.outcome.store.values[c][b][k]) +
           "," + CsvField(InrWarning(r, c, b, k)) + "," + arrival + "," + noise + "," + inr + "," +
           FitCells(r, band, known, k) + shared.tail;
  }
  if (c == 0) {
    const ValueState nc = NoiseCorrectionState(r, b);
    out += lead + "NC,NC,," + (nc.computed ? "1" : "0") + "," +
           (r.confirmation.settings.noiseCorrection != 0 ? "yes" : "no") + "," + nc.reason + ",," + arrival +
           "," + noise + "," + inr + ",,,," + shared.tail;
  }
  return out;
}

std::string PairRows(const FileResult& r, const FileCells& shared, int b) {
  std::string out;
  for (int i = 0; i < PAIR_ROW_COUNT; ++i) {
    const PairRow row = static_cast<PairRow>(i);
    out += shared.head + "pair," + BandCells(r, b) + PAIR_ROWS[i].name + "," + PAIR_ROWS[i].name + "," +
           PAIR_ROWS[i].unit + "," + CsvValue(PairState(r, row, b), PairValue(r, row, b)) + ",,,,,,,,," +
           shared.tail;
  }
  return out;
}

}  // namespace

std::string FormatCsv(const std::vector<FileResult>& results) {
  std::string out = CSV_HEADER;
  for (const FileResult& r : results) {
    if (!r.outcome.haveResults) {
      out += NoResultsRow(r);
      continue;
    }
    const FileCells shared = SharedCells(r);
    const int columns = BandRowCount(r.ThirdOctave());
    for (int c = 0; c < r.ChannelCount(); ++c) {
      for (int b = 0; b < columns; ++b) out += BandRows(r, shared, c, b);
    }
    if (r.ChannelCount() == 2) {
      for (int b = 0; b < columns; ++b) out += PairRows(r, shared, b);
    }
  }
  return out;
}

}  // namespace cli
