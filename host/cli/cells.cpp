#include "host/cli/cells.h"

#include <cmath>
#include <cstdio>

#include "interface/bands.h"
#include "ui/cell_text.h"

namespace cli {

namespace {

const std::vector<ReasonText> REASONS = {
    {"no-first-arrival", "no sample reaches the first-arrival threshold within the band's signal"},
    {"window-too-short",
     "the selection ends less than 50 ms (C50, D50) or 80 ms (C80) after the first arrival"},
    {"not-finite",
     "the value is infinite or not a number (no energy after the early window, or a silent band)"},
    {"fit-range-not-reached",
     "the decay does not fall through the fit's range before the end of the selection"},
    {"tail-guard",
     "the fit's range ends in the last tenth (sixteenth without noise correction) of the selection"},
    {"low-correlation", "the decay is not straight enough: squared correlation below 0.85"},
    {"flat-decay", "the decay curve is flat over the fit's range (degenerate fit)"},
    {"noise-window-too-short", "the band's last sixteenth is too short to measure its noise floor"},
    {"lf-arrival-beyond-index", "a first arrival lies past sample 32767, the last the lateral pass can keep"},
    {"window-beyond-end",
     "the selection ends less than 80 ms after a first arrival (LF) or at the arrival (IACC)"},
    {"zero-denominator", "W (or one ear) has no energy in the window: the ratio is undefined"},
    {"blank-needed",
     "the first arrival lies within 1 ms of the start: the correlation needs that much lead-in"},
    {"width-not-measurable", "the correlation does not fall below 90 % of its peak on one side within 1 ms"},
    {"no-lin-reference",
     "Lin's first arrivals or correlation window, which every band reuses, were not found"},
    {"unsupported-width", "the samples are neither 8, 16 nor 32 bits wide"},
    {"settings-unavailable", "the settings block could not be locked"},
    {"above-band-limit", "the band's centre lies above 0.476 times the sampling rate"},
    {"above-bandwidth", "the band's upper edge lies above the file's Nyquist frequency"},
    {"not-computed-in-this-mode", "this band or parameter is not computed in this mode"},
    {"not-analysed", "the analysis did not reach this band"},
    {"silent", "a channel of the selection is silent (every sample is 0)"},
    {"too-short", "the selection is shorter than the 50 ms any parameter needs"},
    {"no-decay", "no 50 ms after the peak lie 10 dB below the 50 ms that start at the peak"},
    {"fit-ends-in-noise",
     "the fit reaches far into the noise beyond the decay's end (the ISO 3382 truncation point); select less "
     "of the tail"},
    {"not-meaningful-for-binaural-pair", "not meaningful for a binaural pair"},
    {"not-meaningful-for-wy-pair", "not meaningful for an omni + figure-of-eight (W/Y) pair"},
};

const std::vector<ReasonText> WARNINGS = {
    {"low-inr",
     "the band's impulse-to-noise ratio lies below what the fit needs (35 dB T20, 45 dB T30, 10 dB below "
     "RTU's end): the value is kept"},
};

ValueState Missing(const char* reason) { return ValueState{false, reason}; }

ValueState FromValueStatus(ValueStatus status) {
  switch (status) {
    case VALUE_OK:
      return ValueState{true, ""};
    case VALUE_NO_ARRIVAL:
      return Missing("no-first-arrival");
    case VALUE_WINDOW_TOO_SHORT:
      return Missing("window-too-short");
    case VALUE_NOT_FINITE:
      return Missing("not-finite");
    case VALUE_FIT_RANGE_NOT_REACHED:
      return Missing("fit-range-not-reached");
    case VALUE_FIT_TAIL_GUARD:
      return Missing("tail-guard");
    case VALUE_FIT_LOW_CORRELATION:
      return Missing("low-correlation");
    case VALUE_FIT_FLAT:
      return Missing("flat-decay");
  }
  return Missing("not-finite");
}

ValueState FromLateralStatus(LateralStatus status) {
  switch (status) {
    case LATERAL_OK:
      return ValueState{true, ""};
    case LATERAL_NO_ARRIVAL_W:
    case LATERAL_NO_ARRIVAL_Y:
      return Missing("no-first-arrival");
    case LATERAL_W_BEYOND_INDEX:
    case LATERAL_Y_BEYOND_INDEX:
      return Missing("lf-arrival-beyond-index");
    case LATERAL_NO_LIN_ARRIVALS:
      return Missing("no-lin-reference");
    case LATERAL_WINDOW_BEYOND_END:
      return Missing("window-beyond-end");
    case LATERAL_UNSUPPORTED_WIDTH:
      return Missing("unsupported-width");
    case LATERAL_ZERO_DENOMINATOR:
      return Missing("zero-denominator");
    case LATERAL_NO_SETTINGS:
      return Missing("settings-unavailable");
  }
  return Missing("not-analysed");
}

ValueState FromIaccStatus(IaccStatus status) {
  switch (status) {
    case IACC_OK:
      return ValueState{true, ""};
    case IACC_NO_ARRIVAL:
      return Missing("no-first-arrival");
    case IACC_WINDOW_TOO_SHORT:
      return Missing("window-beyond-end");
    case IACC_NO_WINDOW:
      return Missing("no-lin-reference");
    case IACC_BLANK_NEEDED:
      return Missing("blank-needed");
    case IACC_ZERO_ENERGY:
      return Missing("zero-denominator");
    case IACC_NO_SETTINGS:
      return Missing("settings-unavailable");
  }
  return Missing("not-analysed");
}

}  // namespace

double AnalysedCentreHz(bool thirdOctave, int band, int rateHz) {
  return BandColumns(thirdOctave)[band].nominalHz * static_cast<double>(rateHz) / FILTER_DESIGN_RATE_HZ;
}

double BandCentreHz(const FileResult& r, int band) {
  return AnalysedCentreHz(r.ThirdOctave(), band, r.offer.analysisRate);
}

bool NominalBands(const FileResult& r) {
  return r.offer.analysisRate == static_cast<int32_t>(FILTER_DESIGN_RATE_HZ);
}

bool AboveBandwidth(const FileResult& r, int band) {
  if (band == 0 || r.offer.resampledFrom == 0 || r.offer.resampledFrom >= r.offer.analysisRate) return false;
  // Upper band edges: half an octave, or a sixth of one, above the centre.
  const double edge = BandCentreHz(r, band) * (r.ThirdOctave() ? std::pow(2.0, 1.0 / 6.0) : std::sqrt(2.0));
  return edge > r.offer.resampledFrom / 2.0;
}

double RequiredInrDb(const FileResult& r, int slot) {
  switch (slot) {
    case SLOT_RT20:
    case SLOT_R_RT20:
      return 35.0;
    case SLOT_RT30:
    case SLOT_R_RT30:
      return 45.0;
    case SLOT_RTU:
    case SLOT_R_RTU:
      return 10.0 - r.confirmation.settings.rtuEndDb;
    default:
      return 0.0;
  }
}

std::string InrWarning(const FileResult& r, int channel, int band, int slot) {
  const double needed = RequiredInrDb(r, slot);
  if (needed <= 0.0 || !ParameterState(r, channel, band, slot).computed) return "";
  const double inr = r.outcome.record.channels[channel].bands[band].inrDb;
  if (!(inr < needed)) return "";
  char text[160];
  std::snprintf(text, sizeof(text),
                "impulse-to-noise ratio %.1f dB, below the %.0f dB this decay range needs", inr, needed);
  return text;
}

ValueState ParameterState(const FileResult& r, int channel, int band, int slot) {
  if (!r.outcome.haveResults || band >= BandRowCount(r.ThirdOctave()))
    return Missing("not-computed-in-this-mode");
  if (AboveBandwidth(r, band)) return Missing("above-bandwidth");
  // The band analysis covers 31.5 Hz to 8 kHz; the 16 kHz column belongs to
  // the lateral pass.
  if (!r.ThirdOctave() && band == OCTAVE_ROWS - 1) return Missing("not-computed-in-this-mode");
  const hostkit::BandRecord& record = r.outcome.record.channels[channel].bands[band];
  if (!record.analysed) return Missing("not-analysed");
  ValueState state = FromValueStatus(record.outcome.status[slot]);
  // The plug-in's own mark has the last word on what it computed.
  const float value = r.outcome.store.values[channel][band][slot];
  if (state.computed && (r.outcome.store.valid[channel][band][slot] != 'y' || !std::isfinite(value))) {
    state = Missing("not-finite");
  }
  // A fit that ran far into the noise: the cause of its failure, or a number
  // that is not the decay's.
  if (FitEndsInNoise(r, channel, band, slot)) state = Missing("fit-ends-in-noise");
  return state;
}

namespace {

// The ISO band of a channel and row with a truncation point, or null.
const IsoBandEvaluation* TruncatedIsoBand(const FileResult& r, int channel, int row) {
  const IsoFileEvaluation& iso = r.outcome.iso;
  if (!iso.done || channel < 0 || static_cast<size_t>(channel) >= iso.channels.size()) return nullptr;
  const IsoChannelEvaluation& c = iso.channels[static_cast<size_t>(channel)];
  if (row < 0 || static_cast<size_t>(row) >= c.bands.size()) return nullptr;
  const IsoBandEvaluation& band = c.bands[static_cast<size_t>(row)];
  const uint32_t noTruncation = ISO_NO_ONSET | ISO_SILENT_BAND | ISO_NO_DECAY_ABOVE_NOISE;
  if (!band.evaluated || (band.result.bandReasons & noTruncation) ||
      !std::isfinite(band.result.truncationSeconds) || !std::isfinite(c.onsetSeconds))
    return nullptr;
  return &band;
}

}  // namespace

bool FitEndsInNoise(const FileResult& r, int channel, int band, int slot) {
  const int f = FitOfSlot(slot);
  if (f < 0 || !r.outcome.haveResults) return false;
  const IsoBandEvaluation* iso = TruncatedIsoBand(r, channel, band);
  if (!iso) return false;
  const hostkit::BandRecord& record = r.outcome.record.channels[channel].bands[band];
  const FitResult& fit = record.outcome.fits[f];
  if (fit.pointCount == 0 || !(record.rateHz > 0.0)) return false;
  // Both times from the ISO onset, in seconds of the selection.
  const double onset = r.outcome.iso.channels[static_cast<size_t>(channel)].onsetSeconds;
  const double fitEnd = (fit.firstIndex + fit.pointCount - 1.0) / record.rateHz - onset;
  const double truncation = iso->result.truncationSeconds - onset;
  return truncation > 0.0 && fitEnd > 2.0 * truncation;
}

double LatestTruncationSeconds(const FileResult& r) {
  double latest = std::nan("");
  for (size_t c = 0; c < r.outcome.iso.channels.size(); ++c) {
    for (size_t b = 0; b < r.outcome.iso.channels[c].bands.size(); ++b) {
      const IsoBandEvaluation* band = TruncatedIsoBand(r, static_cast<int>(c), static_cast<int>(b));
      if (band && !(band->result.truncationSeconds <= latest)) latest = band->result.truncationSeconds;
    }
  }
  return latest;
}

bool SelectionMuchLongerThanDecay(const FileResult& r) {
  const double latest = LatestTruncationSeconds(r);
  if (!std::isfinite(latest) || r.input.audio.sampleRate <= 0) return false;
  const double selection =
      static_cast<double>(r.input.lastFrame - r.input.firstFrame + 1) / r.input.audio.sampleRate;
  return selection > 4.0 * latest && selection > latest + 5.0;
}

ValueState PairState(const FileResult& r, PairRow row, int band) {
  if (!r.outcome.haveResults || r.input.audio.usedChannels.size() != 2 ||
      band >= BandRowCount(r.ThirdOctave()))
    return Missing("not-computed-in-this-mode");
  if (r.ThirdOctave() && (row != PAIR_LF || band != 0)) return Missing("not-computed-in-this-mode");
  if (AboveBandwidth(r, band)) return Missing("above-bandwidth");
  const hostkit::LateralRecord& record = r.outcome.record.lateral[band];
  if (!record.analysed) return Missing("above-band-limit");
  if (r.request.pair == PairKind::Binaural && row == PAIR_LF)
    return Missing("not-meaningful-for-binaural-pair");
  if (r.request.pair == PairKind::OmniFigure8 && row != PAIR_LF) return Missing("not-meaningful-for-wy-pair");
  if (row == PAIR_LF) return FromLateralStatus(record.trace.lf);
  ValueState state = FromIaccStatus(record.trace.iacc);
  if (state.computed && row == PAIR_W_IACC && r.outcome.store.wIacc[band] == 0.0)
    state = Missing("width-not-measurable");
  return state;
}

ValueState NoiseCorrectionState(const FileResult& r, int band) {
  if (!r.outcome.haveResults || r.confirmation.settings.noiseCorrection == 0 ||
      band >= BandRowCount(r.ThirdOctave()))
    return Missing("");
  if (!r.ThirdOctave() && band == OCTAVE_ROWS - 1) return Missing("not-computed-in-this-mode");
  if (AboveBandwidth(r, band)) return Missing("above-bandwidth");
  if (!r.outcome.record.channels[0].bands[band].analysed) return Missing("not-analysed");
  return r.outcome.store.noiseCorrected[band] == 'y' ? ValueState{true, ""}
                                                     : Missing("noise-window-too-short");
}

const std::vector<ReasonText>& ReasonCodes() { return REASONS; }
const std::vector<ReasonText>& WarningCodes() { return WARNINGS; }

const char* ReasonSentence(const std::string& code) {
  for (const std::vector<ReasonText>* list : {&REASONS, &WARNINGS}) {
    for (const ReasonText& reason : *list) {
      if (code == reason.code) return reason.sentence;
    }
  }
  return "";
}

std::vector<std::string> ParameterWarnings(const FileResult& r, int channel, int band, int slot) {
  std::vector<std::string> codes;
  if (!InrWarning(r, channel, band, slot).empty()) codes.emplace_back("low-inr");
  return codes;
}

std::string ParameterDialogText(const FileResult& r, int channel, int band, int slot) {
  if (!ParameterState(r, channel, band, slot).computed) return MISSING_MARK;
  const char mark = r.outcome.store.valid[channel][band][slot];
  const float value = r.outcome.store.values[channel][band][slot];
  char text[NUMBER_TEXT_SIZE];
  return r.ThirdOctave() ? ThirdOctaveCellText(band, mark, value, text)
                         : ParameterCellText(mark, value, MISSING_MARK, text);
}

std::string PairDialogText(const FileResult& r, PairRow row, int band) {
  if (!PairState(r, row, band).computed) return MISSING_MARK;
  char text[NUMBER_TEXT_SIZE];
  return PairCellText(PairValue(r, row, band), MISSING_MARK, text);
}

std::string NoiseDialogText(const FileResult& r, int band) {
  if (AboveBandwidth(r, band)) return MISSING_MARK;
  return NoiseCorrectionCellText(r.confirmation.settings.noiseCorrection,
                                 r.outcome.store.noiseCorrected[band], MISSING_MARK);
}

double PairValue(const FileResult& r, PairRow row, int band) {
  const AcousticResults& store = r.outcome.store;
  const double* rows[PAIR_ROW_COUNT] = {store.lf, store.iacc, store.wIacc, store.tauIacc};
  return rows[row][band];
}

const char* BandName(bool thirdOctave, int band) {
  return band == 0 ? "broadband" : BandColumns(thirdOctave)[band].nominalLabel;
}

const char* BandName(const FileResult& r, int band) { return BandName(r.ThirdOctave(), band); }

const char* ChannelName(const FileResult& r, int channel) {
  if (r.ChannelCount() == 1) return "mono";
  return channel == 0 ? "left" : "right";
}

const char* StatusName(const FileResult& r) {
  switch (r.outcome.exitCode) {
    case EXIT_OK:
      return "ok";
    case EXIT_UNREADABLE:
      return "unreadable";
    case EXIT_NO_RESULTS:
      return "no results";
    case EXIT_REFUSED:
      return "refused";
    case EXIT_INTERRUPTED:
      return "interrupted";
    default:
      return "failed";
  }
}

const char* ThresholdSourceName(const FileResult& r) {
  switch (r.offer.thresholdMode) {
    case ThresholdMode::Auto:
      return "auto";
    case ThresholdMode::Given:
      return "given";
    case ThresholdMode::Keep:
      return "settings file";
  }
  return "";
}

double FileSeconds(const FileResult& r, double index, double rateHz) {
  return static_cast<double>(r.input.firstFrame) / r.input.audio.sampleRate + index / rateHz;
}

FitRanges FitRangesDb(const FileResult& r) {
  const AnalysisSettings& s = r.confirmation.settings;
  return FitRanges{{{-0.1, -10.1}, {-5.0, -25.0}, {-5.0, -35.0}, {s.rtuStartDb, s.rtuEndDb}}};
}

int FitOfSlot(int slot) {
  switch (slot) {
    case SLOT_EDT:
      return DECAY_EDT;
    case SLOT_RT20:
    case SLOT_R_RT20:
      return DECAY_RT20;
    case SLOT_RT30:
    case SLOT_R_RT30:
      return DECAY_RT30;
    case SLOT_RTU:
    case SLOT_R_RTU:
      return DECAY_RTU;
    default:
      return -1;
  }
}

// --- The ISO 3382 evaluation -------------------------------------------------

const IsoParameterName ISO_PARAMETERS[ISO_PARAMETER_COUNT] = {
    {"EDT", "s"}, {"T20", "s"}, {"T30", "s"}, {"C50", "dB"}, {"C80", "dB"}, {"D50", "%"}, {"Ts", "ms"}};
const IsoParameterName ISO_SINGLES[ISO_SINGLE_COUNT] = {{"EDT", "s"},  {"T20mid", "s"}, {"T30mid", "s"},
                                                        {"C80", "dB"}, {"D50", "%"},    {"Ts", "ms"}};

namespace {

IsoCell CellOf(const IsoValue& value, const std::vector<std::string>& warnings) {
  IsoCell cell;
  cell.present = std::isfinite(value.value);
  cell.value = cell.present ? value.value : 0.0;
  cell.valid = cell.present && value.Valid();
  cell.reasons = IsoReasonCodes(value.reasons);
  if (!cell.present && cell.reasons.empty()) cell.reasons.emplace_back("not-computed");
  cell.warnings = warnings;
  return cell;
}

const IsoValue& IsoValueOf(const IsoBandResult& band, IsoParameter parameter) {
  switch (parameter) {
    case ISO_EDT:
      return band.edt.time;
    case ISO_T20:
      return band.t20.time;
    case ISO_T30:
      return band.t30.time;
    case ISO_C50:
      return band.c50;
    case ISO_C80:
      return band.c80;
    case ISO_D50:
      return band.d50;
    case ISO_TS:
    default:
      return band.ts;
  }
}

const IsoValue& IsoSingleOf(const IsoSingleNumbers& singles, IsoSingle single) {
  switch (single) {
    case ISO_SINGLE_EDT:
      return singles.edt;
    case ISO_SINGLE_T20_MID:
      return singles.t20Mid;
    case ISO_SINGLE_T30_MID:
      return singles.t30Mid;
    case ISO_SINGLE_C80:
      return singles.c80;
    case ISO_SINGLE_D50:
      return singles.d50;
    case ISO_SINGLE_TS:
    default:
      return singles.ts;
  }
}

IsoCell MissingCell(const char* reason) {
  IsoCell cell;
  cell.reasons.emplace_back(reason);
  return cell;
}

// The sentence of a spatial reason code ("" for another code).
const char* SpatialSentence(const std::string& code) {
  for (int s = SPATIAL_INVALID_INPUT; s <= SPATIAL_BAND_NOT_VALID; ++s) {
    const SpatialReason reason = SpatialReasonOf(static_cast<SpatialStatus>(s));
    if (code == reason.code) return reason.sentence;
  }
  return "";
}

}  // namespace

bool HasIso(const FileResult& result) { return result.outcome.iso.done; }

IsoCell IsoBandCell(const FileResult& result, int channel, int row, IsoParameter parameter) {
  const IsoFileEvaluation& iso = result.outcome.iso;
  if (!iso.done || channel < 0 || static_cast<size_t>(channel) >= iso.channels.size())
    return MissingCell("not-evaluated");
  const std::vector<IsoBandEvaluation>& bands = iso.channels[static_cast<size_t>(channel)].bands;
  if (row < 0 || static_cast<size_t>(row) >= bands.size() || !bands[static_cast<size_t>(row)].evaluated)
    return MissingCell("not-computed-in-this-mode");
  const IsoBandEvaluation& band = bands[static_cast<size_t>(row)];
  if (AboveBandwidth(result, row)) {
    IsoCell cell = CellOf(IsoValueOf(band.result, parameter), band.warnings);
    cell.valid = false;
    cell.reasons.insert(cell.reasons.begin(), "above-bandwidth");
    return cell;
  }
  return CellOf(IsoValueOf(band.result, parameter), band.warnings);
}

IsoCell IsoSingleCell(const FileResult& result, int channel, IsoSingle single) {
  const IsoFileEvaluation& iso = result.outcome.iso;
  if (!iso.done || channel < 0 || static_cast<size_t>(channel) >= iso.channels.size())
    return MissingCell("not-evaluated");
  return CellOf(IsoSingleOf(iso.channels[static_cast<size_t>(channel)].singleNumbers, single), {});
}

const char* IsoCodeSentence(const std::string& code) {
  if (const char* sentence = IsoReasonSentence(code); *sentence) return sentence;
  if (const char* sentence = IsoWarningSentence(code); *sentence) return sentence;
  if (code == "not-evaluated") return "the ISO 3382 evaluation was not made (--evaluation plugin, or no run)";
  if (code == "not-computed") return "no value could be computed";
  if (code == "pair-not-declared")
    return "the two channels were not declared as a pair: --pair binaural (two ears) or --pair wy (omni "
           "first, figure-of-eight second)";
  if (const char* sentence = SpatialSentence(code); *sentence) return sentence;
  return ReasonSentence(code);
}

// --- The ISO 3382 spatial quantities of a declared pair ---------------------

const IsoParameterName ISO_PAIR_QUANTITIES[ISO_PAIR_QUANTITY_COUNT] = {
    {"IACC_E", ""}, {"IACC_L", ""}, {"IACC_A", ""}, {"JLF", ""}, {"JLFC", ""}};
const IsoParameterName ISO_PAIR_SINGLES[ISO_PAIR_SINGLE_COUNT] = {
    {"oneMinusIACC_E3", ""}, {"JLF", ""}, {"JLFC", ""}};

bool PairHas(PairKind pair, IsoPairQuantity quantity) {
  return pair == PairKind::Binaural ? quantity <= ISO_IACC_A
                                    : pair == PairKind::OmniFigure8 && quantity >= ISO_JLF;
}

bool PairHas(PairKind pair, IsoPairSingle single) {
  return pair == PairKind::Binaural ? single == ISO_ONE_MINUS_IACC_E3
                                    : pair == PairKind::OmniFigure8 && single != ISO_ONE_MINUS_IACC_E3;
}

PairKind IsoPairOf(const FileResult& r) {
  return r.outcome.iso.done && r.ChannelCount() == 2 ? r.outcome.iso.pair.kind : PairKind::None;
}

const char* IsoPairMissingReason(const FileResult& r) {
  if (r.ChannelCount() != 2 || IsoPairOf(r) != PairKind::None) return "";
  return r.request.pair == PairKind::None ? "pair-not-declared" : "not-evaluated";
}

const char* PairKindName(PairKind pair) {
  switch (pair) {
    case PairKind::Binaural:
      return "binaural";
    case PairKind::OmniFigure8:
      return "wy";
    case PairKind::None:
      break;
  }
  return "";
}

namespace {

IsoCell SpatialCellOf(const SpatialValue& value) {
  IsoCell cell;
  cell.valid = value.Valid() && std::isfinite(value.value);
  cell.present = cell.valid;  // an invalid spatial value has no number worth showing
  cell.value = cell.present ? value.value : 0.0;
  cell.reasons = value.reasons;
  if (!cell.valid && cell.reasons.empty()) cell.reasons.emplace_back("not-computed");
  return cell;
}

const SpatialValue& SpatialValueOf(const IsoPairBand& band, IsoPairQuantity quantity) {
  const SpatialValue* values[ISO_PAIR_QUANTITY_COUNT] = {&band.iaccEarly, &band.iaccLate, &band.iaccAll,
                                                         &band.jlf, &band.jlfc};
  return *values[quantity];
}

}  // namespace

IsoCell SpatialCell(const FileResult& r, int row, IsoPairQuantity quantity) {
  const PairKind pair = IsoPairOf(r);
  if (pair == PairKind::None)
    return MissingCell(r.ChannelCount() == 2 ? IsoPairMissingReason(r) : "not-computed-in-this-mode");
  if (!PairHas(pair, quantity))
    return MissingCell(pair == PairKind::Binaural ? "not-meaningful-for-binaural-pair"
                                                  : "not-meaningful-for-wy-pair");
  for (const IsoPairBand& band : r.outcome.iso.pair.bands) {
    if (band.row != row) continue;
    IsoCell cell = SpatialCellOf(SpatialValueOf(band, quantity));
    if (AboveBandwidth(r, row)) {
      cell = IsoCell{};
      cell.reasons.emplace_back("above-bandwidth");
    }
    return cell;
  }
  return MissingCell("not-computed-in-this-mode");
}

IsoCell SpatialValueCell(const SpatialValue& value) {
  IsoCell cell;
  cell.present = std::isfinite(value.value);
  cell.value = cell.present ? value.value : 0.0;
  cell.valid = cell.present && value.Valid();
  cell.reasons = value.reasons;
  if (!cell.present && cell.reasons.empty()) cell.reasons.emplace_back("not-computed");
  return cell;
}

IsoCell SpatialSingleCell(const FileResult& r, IsoPairSingle single) {
  const PairKind pair = IsoPairOf(r);
  if (pair == PairKind::None)
    return MissingCell(r.ChannelCount() == 2 ? IsoPairMissingReason(r) : "not-computed-in-this-mode");
  if (!PairHas(pair, single))
    return MissingCell(pair == PairKind::Binaural ? "not-meaningful-for-binaural-pair"
                                                  : "not-meaningful-for-wy-pair");
  const IsoPairEvaluation& p = r.outcome.iso.pair;
  const SpatialValue* values[ISO_PAIR_SINGLE_COUNT] = {&p.oneMinusIaccE3, &p.jlf, &p.jlfc};
  return SpatialCellOf(*values[single]);
}

}  // namespace cli
