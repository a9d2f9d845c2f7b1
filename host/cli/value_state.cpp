#include "host/cli/value_state.h"

#include <cmath>
#include <cstdio>

#include "interface/bands.h"

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

double BandCentreHz(const FileResult& r, int band) {
  return BandColumns(r.ThirdOctave())[band].nominalHz * static_cast<double>(r.analysisRate) /
         FILTER_DESIGN_RATE_HZ;
}

bool NominalBands(const FileResult& r) {
  return r.analysisRate == static_cast<int32_t>(FILTER_DESIGN_RATE_HZ);
}

bool AboveBandwidth(const FileResult& r, int band) {
  if (band == 0 || r.resampledFrom == 0 || r.resampledFrom >= r.analysisRate) return false;
  // Upper band edges: half an octave, or a sixth of one, above the centre.
  const double edge = BandCentreHz(r, band) * (r.ThirdOctave() ? std::pow(2.0, 1.0 / 6.0) : std::sqrt(2.0));
  return edge > r.resampledFrom / 2.0;
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
      return 10.0 - r.settings.rtuEndDb;
    default:
      return 0.0;
  }
}

std::string InrWarning(const FileResult& r, int channel, int band, int slot) {
  const double needed = RequiredInrDb(r, slot);
  if (needed <= 0.0 || !ParameterState(r, channel, band, slot).computed) return "";
  const double inr = r.record.channels[channel].bands[band].inrDb;
  if (!(inr < needed)) return "";
  char text[160];
  std::snprintf(text, sizeof(text),
                "impulse-to-noise ratio %.1f dB, below the %.0f dB this decay range needs", inr, needed);
  return text;
}

ValueState ParameterState(const FileResult& r, int channel, int band, int slot) {
  if (!r.haveResults || band >= BandRowCount(r.ThirdOctave())) return Missing("not-computed-in-this-mode");
  if (AboveBandwidth(r, band)) return Missing("above-bandwidth");
  // The band analysis covers 31.5 Hz to 8 kHz; the 16 kHz column belongs to
  // the lateral pass.
  if (!r.ThirdOctave() && band == OCTAVE_ROWS - 1) return Missing("not-computed-in-this-mode");
  const hostkit::BandRecord& record = r.record.channels[channel].bands[band];
  if (!record.analysed) return Missing("not-analysed");
  ValueState state = FromValueStatus(record.outcome.status[slot]);
  // The plug-in's own mark has the last word on what it computed.
  const float value = r.store.values[channel][band][slot];
  if (state.computed && (r.store.valid[channel][band][slot] != 'y' || !std::isfinite(value))) {
    state = Missing("not-finite");
  }
  return state;
}

ValueState PairState(const FileResult& r, PairRow row, int band) {
  if (!r.haveResults || r.audio.usedChannels.size() != 2 || band >= BandRowCount(r.ThirdOctave()))
    return Missing("not-computed-in-this-mode");
  if (r.ThirdOctave() && (row != PAIR_LF || band != 0)) return Missing("not-computed-in-this-mode");
  if (AboveBandwidth(r, band)) return Missing("above-bandwidth");
  const hostkit::LateralRecord& record = r.record.lateral[band];
  if (!record.analysed) return Missing("above-band-limit");
  if (row == PAIR_LF) return FromLateralStatus(record.trace.lf);
  ValueState state = FromIaccStatus(record.trace.iacc);
  if (state.computed && row == PAIR_W_IACC && r.store.wIacc[band] == 0.0)
    state = Missing("width-not-measurable");
  return state;
}

ValueState NoiseCorrectionState(const FileResult& r, int band) {
  if (!r.haveResults || r.settings.noiseCorrection == 0 || band >= BandRowCount(r.ThirdOctave()))
    return Missing("");
  if (!r.ThirdOctave() && band == OCTAVE_ROWS - 1) return Missing("not-computed-in-this-mode");
  if (AboveBandwidth(r, band)) return Missing("above-bandwidth");
  if (!r.record.channels[0].bands[band].analysed) return Missing("not-analysed");
  return r.store.noiseCorrected[band] == 'y' ? ValueState{true, ""} : Missing("noise-window-too-short");
}

const std::vector<ReasonText>& ReasonCodes() { return REASONS; }

const char* ReasonSentence(const std::string& code) {
  for (const ReasonText& reason : REASONS) {
    if (code == reason.code) return reason.sentence;
  }
  return "";
}

}  // namespace cli
