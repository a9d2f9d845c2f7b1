// The clipboard text report. The octave and third-octave forms differ in
// their columns and in where the TABs stand: the octave parameter table puts
// a TAB before each cell, every other row (and the whole third-octave form)
// puts one after each cell.
#include "ui/report.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "ui/number_text.h"

namespace {

constexpr int OCTAVE_COLUMNS = 11;
constexpr int THIRD_OCTAVE_COLUMNS = 28;
constexpr uint32_t BLOCK_BYTES_PER_CHANNEL = 4000;
constexpr int REPORT_DIGITS = 4;

const char* const OCTAVE_COLUMN_NAMES[OCTAVE_COLUMNS] = {"Lin", "31.5", "63", "125", "250", "500",
                                                         "1K",  "2K",   "4K", "8K",  "16K"};
const char* const THIRD_OCTAVE_COLUMN_NAMES[THIRD_OCTAVE_COLUMNS] = {
    "Lin",    "31.5(1)", "31.5(2)", "31.5(3)", "63(1)",  "63(2)",  "63(3)", "125(1)", "125(2)", "125(3)",
    "250(1)", "250(2)",  "250(3)",  "500(1)",  "500(2)", "500(3)", "1K(1)", "1K(2)",  "1K(3)",  "2K(1)",
    "2K(2)",  "2K(3)",   "4K(1)",   "4K(2)",   "4K(3)",  "8K(1)",  "8K(2)", "8K(3)"};
const char* const ROW_LABELS[PARAMS_PER_BAND] = {"C50[dB]", "C80[dB]", "D50 [%]", "TS [ms]",
                                                 "EDT [s]", "RT20[s]", "r RT20",  "RT30[s]",
                                                 "r RT30",  "RTU [s]", "r RTU"};
const char* const MISSING = "--";
const char* const LINE_END = "\r\n";
const char* const TITLE = "OCTAVE BAND ACOUSTICAL PARAMETERS";

int ColumnCount(ReportForm form) { return form == REPORT_OCTAVE ? OCTAVE_COLUMNS : THIRD_OCTAVE_COLUMNS; }

const char* ColumnName(ReportForm form, int band) {
  return form == REPORT_OCTAVE ? OCTAVE_COLUMN_NAMES[band] : THIRD_OCTAVE_COLUMN_NAMES[band];
}

void AppendNumber(ReportText* text, double value) {
  char number[NUMBER_TEXT_SIZE];
  AppendText(text, FormatGcvt(value, REPORT_DIGITS, number));
}

// A parameter cell: "--" unless computed; a computed value that is not
// finite cannot come from the analysis and is written "--" as well.
void AppendParameterCell(ReportText* text, char mark, float value) {
  if (mark != 'y' || !std::isfinite(value)) {
    AppendText(text, MISSING);
  } else {
    AppendNumber(text, static_cast<double>(value));
  }
}

struct ReportSource {
  const AnalysisSettings* settings;
  const char* valid;    // channel 0, then channel 1, then noiseCorrected
  const float* values;  // channel 0, then channel 1
  const double* lf;
  const double* iacc;
  const double* wIacc;
  const double* tauIacc;
};

void AppendChannelSections(ReportText* text, ReportForm form, const XfmContext* ctx,
                           const ReportSource& source) {
  // The store holds two channels; any count but 2 was analysed as mono.
  const int channelCount = ctx->channelCount == 2 ? 2 : 1;
  for (int channel = 0; channel < channelCount; ++channel) {
    if (channelCount == 2) {
      AppendText(text, channel == 0 ? "Left Channel" : "Right Channel");
      AppendText(text, LINE_END);
    }
    AppendParameterTable(text, form, source.valid + channel * CHANNEL_STRIDE,
                         source.values + channel * CHANNEL_STRIDE);
    if (form == REPORT_OCTAVE) AppendPairRow(text, form, "LF", source.lf);
    AppendPairRow(text, form, "IACC", source.iacc);
    AppendPairRow(text, form, "Wiacc", source.wIacc);
    AppendPairRow(text, form, "Tau_iacc", source.tauIacc);
    if (form == REPORT_THIRD_OCTAVE) AppendText(text, LINE_END);
    AppendNoiseCorrectionRow(text, form, source.settings->noiseCorrection,
                             source.valid + NOISE_CORRECTED_OFFSET);
    AppendText(text, LINE_END);
    AppendText(text, "RTU = RT User (");
    AppendNumber(text, static_cast<double>(source.settings->rtuStartDb));
    AppendText(text, " dB, ");
    AppendNumber(text, static_cast<double>(source.settings->rtuEndDb));
    AppendText(text, " dB)");
    AppendText(text, LINE_END);
    AppendText(text, LINE_END);
  }
}

void BuildReport(ReportText* text, ReportForm form, const XfmContext* ctx) {
  ResetReportText(text, text->data, text->capacity);
  HGLOBAL handle = static_cast<HGLOBAL>(AddressFromSlot(ctx->settingsHandle));
  const AnalysisSettings* settings = static_cast<const AnalysisSettings*>(GlobalLock(handle));
  if (settings == nullptr) return;
  AppendText(text, TITLE);
  AppendText(text, LINE_END);
  AppendText(text, LINE_END);
  if (ctx->channelCount >= 1) {
    ReportSource source;
    source.settings = settings;
    source.valid = PointerFromSlot<const char>(settings->resultFlags);
    source.values = PointerFromSlot<const float>(settings->resultValues);
    source.lf = PointerFromSlot<const double>(settings->resultLF);
    source.iacc = PointerFromSlot<const double>(settings->resultIACC);
    source.wIacc = PointerFromSlot<const double>(settings->resultWIACC);
    source.tauIacc = PointerFromSlot<const double>(settings->resultTauIACC);
    AppendChannelSections(text, form, ctx, source);
  }
  GlobalUnlock(handle);
}

uint32_t MeasureReport(ReportForm form, const XfmContext* ctx) {
  ReportText text;
  ResetReportText(&text, nullptr, 0);
  BuildReport(&text, form, ctx);
  return text.length;
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

void AppendParameterTable(ReportText* text, ReportForm form, const char* valid, const float* values) {
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
  for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
    AppendText(text, ROW_LABELS[slot]);
    if (!tabBefore) AppendText(text, "\t");
    for (int band = 0; band < columns; ++band) {
      const int index = band * PARAMS_PER_BAND + slot;
      if (tabBefore) AppendText(text, "\t");
      AppendParameterCell(text, valid[index], values[index]);
      if (!tabBefore) AppendText(text, "\t");
    }
    AppendText(text, LINE_END);
  }
}

void AppendPairRow(ReportText* text, ReportForm form, const char* label, const double* row) {
  AppendText(text, label);
  AppendText(text, "\t");
  for (int band = 0; band < ColumnCount(form); ++band) {
    if (row[band] == 0.0 || !std::isfinite(row[band])) {
      AppendText(text, MISSING);
    } else {
      AppendNumber(text, row[band]);
    }
    AppendText(text, "\t");
  }
  AppendText(text, LINE_END);
}

void AppendNoiseCorrectionRow(ReportText* text, ReportForm form, uint8_t noiseCorrection,
                              const char* noiseCorrected) {
  AppendText(text, "NC:");
  AppendText(text, "\t");
  for (int band = 0; band < ColumnCount(form); ++band) {
    if (noiseCorrection == 0) {
      AppendText(text, MISSING);
    } else {
      AppendText(text, noiseCorrected[band] == 'y' ? "yes" : "no");
    }
    AppendText(text, "\t");
  }
  AppendText(text, LINE_END);
}

void BuildOctaveReport(ReportText* text, const XfmContext* ctx) { BuildReport(text, REPORT_OCTAVE, ctx); }

void BuildThirdOctaveReport(ReportText* text, const XfmContext* ctx) {
  BuildReport(text, REPORT_THIRD_OCTAVE, ctx);
}

uint32_t OctaveReportLength(const XfmContext* ctx) { return MeasureReport(REPORT_OCTAVE, ctx); }

uint32_t ThirdOctaveReportLength(const XfmContext* ctx) { return MeasureReport(REPORT_THIRD_OCTAVE, ctx); }

uint32_t ReportBlockSize(uint16_t channelCount, uint32_t length) {
  const uint32_t perChannel = BLOCK_BYTES_PER_CHANNEL * channelCount;
  return length + 1 > perChannel ? length + 1 : perChannel;
}
