// The clipboard text report. The octave and third-octave forms differ in
// their columns and in where the TABs stand: the octave parameter table puts
// a TAB before each cell, every other row (and the whole third-octave form)
// puts one after each cell.
#include "ui/report.h"

#include <cstring>

#include "interface/bands.h"
#include "ui/cell_text.h"

namespace {

constexpr uint32_t BLOCK_BYTES_PER_CHANNEL = 4000;
constexpr int REPORT_DIGITS = 4;

const char* const LINE_END = "\r\n";
const char* const TITLE = "OCTAVE BAND ACOUSTICAL PARAMETERS";

int ColumnCount(ReportForm form) { return BandRowCount(form == REPORT_THIRD_OCTAVE); }

const char* ColumnName(ReportForm form, int band) {
  return BandColumns(form == REPORT_THIRD_OCTAVE)[band].reportName;
}

void AppendNumber(ReportText* text, double value) {
  char number[NUMBER_TEXT_SIZE];
  AppendText(text, FormatGcvt(value, REPORT_DIGITS, number));
}

void AppendChannelSections(ReportText* text, ReportForm form, int sections, const AnalysisSettings& settings,
                           const ResultsView& results) {
  for (int channel = 0; channel < sections; ++channel) {
    if (sections == 2) {
      AppendText(text, channel == 0 ? "Left Channel" : "Right Channel");
      AppendText(text, LINE_END);
    }
    AppendParameterTable(text, form, results, channel);
    if (form == REPORT_OCTAVE) AppendPairRow(text, form, "LF", results.lf);
    AppendPairRow(text, form, "IACC", results.iacc);
    AppendPairRow(text, form, "Wiacc", results.wIacc);
    AppendPairRow(text, form, "Tau_iacc", results.tauIacc);
    if (form == REPORT_THIRD_OCTAVE) AppendText(text, LINE_END);
    AppendNoiseCorrectionRow(text, form, settings.noiseCorrection, results.noiseCorrected);
    AppendText(text, LINE_END);
    AppendText(text, "RTU = RT User (");
    AppendNumber(text, static_cast<double>(settings.rtuStartDb));
    AppendText(text, " dB, ");
    AppendNumber(text, static_cast<double>(settings.rtuEndDb));
    AppendText(text, " dB)");
    AppendText(text, LINE_END);
    AppendText(text, LINE_END);
  }
}

}  // namespace

void ResetReportText(ReportText* text, char* data, uint32_t capacity) {
  text->data = data;
  text->capacity = capacity;
  text->length = 0;
  if (capacity > 0) data[0] = '\0';
}

void AppendText(ReportText* text, const char* piece) {
  const uint32_t pieceLength = static_cast<uint32_t>(std::strlen(piece));
  if (text->capacity > 0 && text->length < text->capacity - 1) {
    uint32_t room = text->capacity - 1 - text->length;
    uint32_t copied = pieceLength < room ? pieceLength : room;
    std::memcpy(text->data + text->length, piece, copied);
    text->data[text->length + copied] = '\0';
  }
  text->length += pieceLength;
}

void AppendParameterTable(ReportText* text, ReportForm form, const ResultsView& results, int channel) {
  const int columns = ColumnCount(form);
  const bool tabBefore = form == REPORT_OCTAVE;
  AppendText(text, "Band");
  if (!tabBefore) AppendText(text, "\t");
  for (int band = 0; band < columns; ++band) {
    if (tabBefore) AppendText(text, "\t");
    AppendText(text, ColumnName(form, band));
    if (!tabBefore) AppendText(text, "\t");
  }
  AppendText(text, LINE_END);
  AppendText(text, "Parameters");
  AppendText(text, LINE_END);
  char number[NUMBER_TEXT_SIZE];
  for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
    AppendText(text, PARAMETERS[slot].reportLabel);
    if (!tabBefore) AppendText(text, "\t");
    for (int band = 0; band < columns; ++band) {
      if (tabBefore) AppendText(text, "\t");
      AppendText(text, ParameterCellText(results.Mark(channel, band, slot),
                                         results.Value(channel, band, slot), REPORT_MISSING, number));
      if (!tabBefore) AppendText(text, "\t");
    }
    AppendText(text, LINE_END);
  }
}

void AppendPairRow(ReportText* text, ReportForm form, const char* label, const double* row) {
  AppendText(text, label);
  AppendText(text, "\t");
  char number[NUMBER_TEXT_SIZE];
  for (int band = 0; band < ColumnCount(form); ++band) {
    AppendText(text, PairCellText(row[band], REPORT_MISSING, number));
    AppendText(text, "\t");
  }
  AppendText(text, LINE_END);
}

void AppendNoiseCorrectionRow(ReportText* text, ReportForm form, uint8_t noiseCorrection,
                              const char* noiseCorrected) {
  AppendText(text, "NC:");
  AppendText(text, "\t");
  for (int band = 0; band < ColumnCount(form); ++band) {
    AppendText(text, NoiseCorrectionCellText(noiseCorrection, noiseCorrected[band], REPORT_MISSING));
    AppendText(text, "\t");
  }
  AppendText(text, LINE_END);
}

void BuildReport(ReportText* text, ReportForm form, uint16_t channelCount, const AnalysisSettings& settings,
                 const ResultsView& results) {
  ResetReportText(text, text->data, text->capacity);
  AppendText(text, TITLE);
  AppendText(text, LINE_END);
  AppendText(text, LINE_END);
  // A store has two channels: any count but 0 and 2 is read as mono.
  const int sections = channelCount == 0 ? 0 : channelCount == 2 ? 2 : 1;
  AppendChannelSections(text, form, sections, settings, results);
}

uint32_t ReportLength(ReportForm form, uint16_t channelCount, const AnalysisSettings& settings,
                      const ResultsView& results) {
  ReportText text;
  ResetReportText(&text, nullptr, 0);
  BuildReport(&text, form, channelCount, settings, results);
  return text.length;
}

uint32_t ReportBlockSize(uint16_t channelCount, uint32_t length) {
  const uint32_t perChannel = BLOCK_BYTES_PER_CHANNEL * channelCount;
  return length + 1 > perChannel ? length + 1 : perChannel;
}
