#include "host/cli/html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "host/cli/cells.h"
#include "host/cli/svg_chart.h"
#include "host/cli/text_encoding.h"
#include "host/cli/text_output.h"
#include "interface/bands.h"

#ifndef ROOMSTAT_VERSION
#define ROOMSTAT_VERSION "0.0.0"
#endif

namespace cli {

namespace {

using svg::Escape;

// One colour per parameter, the same in every chart.
constexpr const char* COLOR_CURVE = "#333333";
constexpr const char* COLOR_TAIL = "#a0a0a0";
constexpr const char* COLOR_ARRIVAL = "#2ca02c";
constexpr const char* COLOR_TAIL_REGION = "#f1f1f1";
const char* ParameterColor(int slot) {
  switch (slot) {
    case SLOT_C50:
      return "#1f77b4";
    case SLOT_C80:
      return "#17becf";
    case SLOT_D50:
      return "#8c564b";
    case SLOT_TS:
      return "#7f7f7f";
    case SLOT_EDT:
      return "#2ca02c";
    case SLOT_RT20:
      return "#ff7f0e";
    case SLOT_RT30:
      return "#9467bd";
    case SLOT_RTU:
      return "#e377c2";
  }
  return "#000000";
}
constexpr const char* COLOR_LF = "#bcbd22";
constexpr const char* COLOR_IACC = "#d62728";
constexpr const char* CHANNEL_COLORS[2] = {"#1f77b4", "#d62728"};
// Positions in the average's charts.
constexpr const char* POSITION_COLORS[8] = {"#4e79a7", "#f28e2b", "#59a14f", "#e15759",
                                            "#76b7b2", "#edc948", "#b07aa1", "#9c755f"};

constexpr int FIT_SLOTS[DECAY_FIT_COUNT] = {SLOT_EDT, SLOT_RT20, SLOT_RT30, SLOT_RTU};
constexpr int FIT_R_SLOTS[DECAY_FIT_COUNT] = {-1, SLOT_R_RT20, SLOT_R_RT30, SLOT_R_RTU};

std::string ChannelTitle(const FileResult& r, int channel) {
  if (r.ChannelCount() == 1) return "Mono";
  return channel == 0 ? "Left" : "Right";
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::string ReasonWords(const char* code) {
  std::string words = code;
  std::replace(words.begin(), words.end(), '-', ' ');
  return words;
}

// A value as the page prints it: 3 significant digits for times, 0.1 dB
// for levels and 0.1 for per cent, 0.01 for a coefficient, 0.001 for r².
std::string PlainText(double value, const std::string& unit) {
  std::string text;
  if (unit == "s" || (unit == "ms" && std::fabs(value) < 100.0)) {
    text = Format(std::fabs(value) >= 100.0 ? "%.0f" : "%#.3g", value);
  } else if (unit == "ms") {
    text = Format("%.0f", value);
  } else if (unit == "dB" || unit == "%") {
    text = Format("%.1f", value);
  } else if (unit == "r2") {
    text = Format("%.3f", value);
  } else {
    text = Format("%.2f", value);
  }
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

// The ISO name of a plug-in row, r² written as such.
std::string SlotName(int slot) {
  std::string name = PARAMETERS[slot].isoName;
  if (name.rfind("r2 ", 0) == 0) name = "r\xc2\xb2 " + name.substr(3);
  return name;
}
std::string SlotUnit(int slot) { return PARAMETERS[slot].unit[0] ? PARAMETERS[slot].unit : "r2"; }
std::string SlotLabel(int slot) {
  return SlotName(slot) + (*PARAMETERS[slot].unit ? " (" + std::string(PARAMETERS[slot].unit) + ")" : "");
}

// The pair the user declared (known through the ISO evaluation).
PairKind DeclaredPair(const FileResult& r) { return r.outcome.iso.pair.kind; }
// Whether a plug-in inter-channel row fits the declared pair: no LF for a
// binaural pair, no IACC for an omni + figure-of-eight pair.
bool PairRowFits(const FileResult& r, int row) {
  if (DeclaredPair(r) == PairKind::Binaural) return row != PAIR_LF;
  if (DeclaredPair(r) == PairKind::OmniFigure8) return row == PAIR_LF;
  return true;
}

// The sentences of ISO reason and warning codes, and of the spatial ones.
std::string CodeSentence(const std::string& code) {
  if (const char* sentence = IsoCodeSentence(code); *sentence) return sentence;
  for (int status = SPATIAL_OK; status <= SPATIAL_BAND_NOT_VALID; ++status) {
    const SpatialReason reason = SpatialReasonOf(static_cast<SpatialStatus>(status));
    if (code == reason.code) return reason.sentence;
  }
  return ReasonWords(code.c_str());
}
std::string Sentences(const std::vector<std::string>& codes) {
  std::string text;
  for (const std::string& code : codes) text += (text.empty() ? "" : "; ") + CodeSentence(code);
  return text;
}

// What the page marks on an ISO value: empty for a valid value without
// warnings, else "not valid: ..." and the warnings.
std::string IsoNote(const IsoCell& cell) {
  std::string note;
  if (!cell.valid) note = "not valid: " + Sentences(cell.reasons);
  if (!cell.warnings.empty()) note += (note.empty() ? "" : "; ") + Sentences(cell.warnings);
  return note;
}
// The same in a few words (a chart's note): the codes.
std::string CodeWords(const IsoCell& cell) {
  std::string words = cell.valid ? "" : "not valid:";
  for (const std::string& code : cell.reasons)
    words += (words.size() > 11 ? ", " : " ") + ReasonWords(code.c_str());
  for (const std::string& code : cell.warnings)
    words += (words.empty() ? "" : ";") + (" " + ReasonWords(code.c_str()));
  return words;
}

// A table cell of an ISO value: the number (or the missing mark), class
// "warn" and the sentences as its tooltip when it is not a clean result.
std::string IsoTd(const IsoCell& cell, const std::string& unit, const std::string& key) {
  const std::string note = IsoNote(cell);
  std::string o = "<td data-iso=\"" + Escape(key) + "\" data-valid=\"" + (cell.valid ? "1" : "0") + "\"";
  if (!note.empty()) o += " class=\"warn\" title=\"" + Escape(note) + "\"";
  return o + ">" + (cell.present ? PlainText(cell.value, unit) : std::string(MISSING_MARK)) + "</td>";
}

// --- frequency axis -------------------------------------------------------

std::string FrequencyLabel(double hz) {
  if (hz >= 1000.0) return Format("%.3g", hz / 1000.0) + "k";
  return Format("%.3g", hz);
}

svg::Axis FrequencyAxis(bool thirdOctave, int rateHz, int lastBand) {
  svg::Axis axis;
  axis.label = "Frequency (Hz)";
  axis.logarithmic = true;
  axis.min = AnalysedCentreHz(thirdOctave, 1, rateHz) / 1.5;
  axis.max = AnalysedCentreHz(thirdOctave, lastBand, rateHz) * 1.5;
  const bool nominal = rateHz == static_cast<int>(FILTER_DESIGN_RATE_HZ);
  for (int band = 1; band <= lastBand; ++band) {
    const double hz = AnalysedCentreHz(thirdOctave, band, rateHz);
    // Thirds: only the octave centres are labelled, so that labels never touch.
    const bool labelled = !thirdOctave || (band - 1) % 3 == 1;
    std::string label = nominal ? BandName(thirdOctave, band) : FrequencyLabel(hz);
    axis.ticks.push_back({hz, labelled ? label : ""});
  }
  return axis;
}

void FitRange(svg::Axis& axis, const std::vector<double>& values, bool fromZero) {
  double lo = fromZero ? 0.0 : INFINITY, hi = fromZero ? 0.0 : -INFINITY;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  if (!std::isfinite(lo)) lo = 0.0, hi = 1.0;
  if (hi - lo < 1e-9) lo -= 0.5, hi += 0.5;
  const double pad = (hi - lo) * 0.08;
  axis.min = fromZero && lo >= 0.0 ? 0.0 : lo - pad;
  axis.max = hi + pad;
}

// --- charts of one file ---------------------------------------------------

svg::Chart EnergyTimeChart(const FileResult& r, const std::string& id) {
  svg::Chart c;
  c.id = id;
  c.title = "Energy-time curve";
  c.width = 700.0;
  c.plotHeight = 200.0;
  const double rate = AnalysisRateHz(r);
  const uint32_t frames =
      r.offer.analysedFrames > 0 ? r.offer.analysedFrames : r.input.lastFrame - r.input.firstFrame + 1;
  c.x = svg::Axis{"Time (s)", 0.0, frames / rate, false, {}};
  double lowest = 0.0;
  for (int ch = 0; ch < r.ChannelCount() && ch < static_cast<int>(r.outcome.energyTime.size()); ++ch) {
    svg::Series s;
    s.name = ChannelTitle(r, ch);
    s.color = r.ChannelCount() == 1 ? COLOR_CURVE : CHANNEL_COLORS[ch];
    s.width = 1.0;
    for (size_t i = 0; i < r.outcome.energyTime[ch].index.size(); ++i) {
      s.x.push_back(r.outcome.energyTime[ch].index[i] / rate);
      s.y.push_back(r.outcome.energyTime[ch].levelDb[i]);
      if (r.outcome.energyTime[ch].levelDb[i] > -150.0f)
        lowest = std::min(lowest, static_cast<double>(r.outcome.energyTime[ch].levelDb[i]));
    }
    c.series.push_back(s);
    const ChannelTrace& trace = r.outcome.record.channels[ch].trace;
    if (r.outcome.record.channels[ch].searched && trace.arrival < trace.length) {
      c.markers.push_back(
          {trace.arrival / rate,
           "first arrival" + (r.ChannelCount() == 2 ? " " + ChannelTitle(r, ch) : std::string()) + ": " +
               Format("%.1f ms", 1000.0 * FileSeconds(r, trace.arrival, rate)) + " in the file",
           r.ChannelCount() == 1 ? COLOR_ARRIVAL : CHANNEL_COLORS[ch]});
    }
  }
  c.y = svg::Axis{
      "Level re peak (dB)", std::clamp(std::floor(lowest / 10.0) * 10.0, -120.0, -40.0), 0.0, false, {}};
  c.x.ticks = svg::NiceTicks(c.x.min, c.x.max, 14);
  return c;
}

// How each decay fit is drawn: the plug-in's fits in light colours, the
// ISO 3382 fits of the same range in dark ones; one dash per range.
struct FitStyle {
  const char* color;
  const char* isoColor;
  svg::Dash dash;
};
constexpr FitStyle FIT_STYLES[DECAY_FIT_COUNT] = {
    {"#2ca02c", "#00441b", svg::Dash::Solid},
    {"#ff7f0e", "#7f2704", svg::Dash::Dashed},
    {"#9467bd", "#3f007d", svg::Dash::DashDot},
    {"#e377c2", "", svg::Dash::Dotted},
};
constexpr const char* COLOR_ISO_CURVE = "#1f4e9c";
constexpr const char* COLOR_ENVELOPE = "#9ecae1";
constexpr const char* COLOR_NOISE = "#d62728";
constexpr const char* COLOR_TRUNCATION = "#d62728";
constexpr const char* COLOR_LIMIT = "#b0b0b0";
constexpr double ISO_LIMITS_DB[] = {0.0, -5.0, -10.0, -25.0, -35.0};

// The plug-in's level curve of a band with its fits; a fit that is not a
// result is named with the reason instead of drawn, a flagged one noted.
void PluginDecay(const FileResult& r, int ch, int band, svg::Chart& c, double& lowest) {
  const hostkit::BandRecord& rec = r.outcome.record.channels[ch].bands[band];
  const double rate = rec.rateHz;
  // Levels relative to the curve's start: the total energy of the band.
  const double reference = rec.curve.levelDb.empty() ? 0.0 : rec.curve.levelDb.front();
  // The fits keep out of the curve's last tenth when noise correction was
  // asked for, of its last sixteenth otherwise (acoustics/decay.cpp).
  const uint32_t tailStart = rec.length - (rec.noiseCorrectionAsked ? rec.length / 10 : rec.length / 16);
  svg::Series curve, tail;
  curve.name = "decay curve";
  curve.color = COLOR_CURVE;
  curve.width = 1.2;
  tail.name = "tail (no fits)";
  tail.color = COLOR_TAIL;
  tail.width = 1.2;
  tail.dash = svg::Dash::Dashed;
  for (size_t i = 0; i < rec.curve.index.size(); ++i) {
    const uint32_t index = rec.curve.index[i];
    const double level = rec.curve.levelDb[i] - reference;
    svg::Series& s = index >= tailStart ? tail : curve;
    s.x.push_back(index / rate);
    s.y.push_back(level);
    if (index < tailStart) lowest = std::min(lowest, level);
  }
  // Join the two parts where the tail begins.
  if (!curve.x.empty() && !tail.x.empty() && curve.x.back() < tail.x.front()) {
    tail.x.insert(tail.x.begin(), curve.x.back());
    tail.y.insert(tail.y.begin(), curve.y.back());
  }
  c.series.push_back(curve);
  c.series.push_back(tail);
  c.regions.push_back({tailStart / rate, rec.length / rate, "", COLOR_TAIL_REGION});
  if (rec.arrival < rec.length) c.markers.push_back({rec.arrival / rate, "first arrival", COLOR_ARRIVAL});
  for (int f = 0; f < DECAY_FIT_COUNT; ++f) {
    const int slot = FIT_SLOTS[f];
    const FitResult& fit = rec.outcome.fits[f];
    const ValueState state = ParameterState(r, ch, band, slot);
    const std::string name = SlotName(slot);
    if (!state.computed) {
      c.notes.push_back(name + " " + MISSING_MARK + ": " + ReasonWords(state.reason));
      continue;
    }
    const std::string value = PlainText(r.outcome.store.values[ch][band][slot], "s");
    svg::Series s;
    s.name = name + " " + value + " s" +
             (FIT_R_SLOTS[f] >= 0 && ParameterState(r, ch, band, FIT_R_SLOTS[f]).computed
                  ? ", r\xc2\xb2 " + PlainText(r.outcome.store.values[ch][band][FIT_R_SLOTS[f]], "r2")
                  : std::string());
    s.color = FIT_STYLES[f].color;
    s.dash = FIT_STYLES[f].dash;
    s.width = 2.2;
    // The fitted line over the samples the fit used, through their centroid.
    const double last = fit.firstIndex + (fit.pointCount ? fit.pointCount - 1 : 0);
    for (double index : {static_cast<double>(fit.firstIndex), last}) {
      s.x.push_back(index / rate);
      s.y.push_back(fit.centroidLevelDb + fit.slopeDbPerSample * (index - fit.centroidIndex) - reference);
    }
    lowest = std::min(lowest, s.y.back());
    c.series.push_back(s);
    if (!InrWarning(r, ch, band, slot).empty()) {
      c.notes.push_back(name + " " + value + " s flagged: impulse-to-noise " + PlainText(rec.inrDb, "dB") +
                        " dB < " + Format("%.0f", RequiredInrDb(r, slot)) + " dB");
    }
  }
}

// The ISO 3382 evaluation of the band: its decay curve from the truncation
// point, the band's energy envelope, the noise level, the truncation point,
// the evaluation limits and the fitted lines, in the plug-in's time base
// (seconds from the start of the selection).
void IsoDecay(const FileResult& r, int ch, int band, svg::Chart& c, double& lowest) {
  if (!HasIso(r) || static_cast<size_t>(ch) >= r.outcome.iso.channels.size()) return;
  const IsoChannelEvaluation& channel = r.outcome.iso.channels[static_cast<size_t>(ch)];
  if (static_cast<size_t>(band) >= channel.bands.size() || !channel.bands[band].evaluated) return;
  const IsoBandEvaluation& b = channel.bands[band];
  const double onset = channel.onsetSeconds;
  if (b.plot.decay.empty() || !std::isfinite(onset)) return;
  svg::Series envelope, decay;
  envelope.name = "ISO 3382 band energy";
  envelope.color = COLOR_ENVELOPE;
  envelope.width = 1.0;
  for (const IsoPlotPoint& point : b.plot.envelope) {
    envelope.x.push_back(onset + point.seconds);
    envelope.y.push_back(point.levelDb);
  }
  decay.name = "ISO 3382 decay curve";
  decay.color = COLOR_ISO_CURVE;
  decay.width = 1.2;
  for (const IsoPlotPoint& point : b.plot.decay) {
    decay.x.push_back(onset + point.seconds);
    decay.y.push_back(point.levelDb);
    lowest = std::min(lowest, point.levelDb);
  }
  c.series.insert(c.series.begin(), envelope);
  c.series.push_back(decay);
  for (double db : ISO_LIMITS_DB) c.levels.push_back({db, "", COLOR_LIMIT, svg::Dash::Dotted, 0.8});
  if (std::isfinite(b.plot.noiseDb))
    c.levels.push_back({b.plot.noiseDb, "noise", COLOR_NOISE, svg::Dash::Dashed, 1.0});
  if (std::isfinite(b.plot.truncationSeconds))
    c.markers.push_back({onset + b.plot.truncationSeconds, "truncation", COLOR_TRUNCATION});
  const IsoDecayFit* fits[3] = {&b.result.edt, &b.result.t20, &b.result.t30};
  for (int f = 0; f < 3; ++f) {
    const IsoCell cell = IsoBandCell(r, ch, band, static_cast<IsoParameter>(ISO_EDT + f));
    const std::string name = std::string("ISO 3382 ") + ISO_PARAMETERS[ISO_EDT + f].key;
    if (!cell.present) {
      c.notes.push_back(name + " " + MISSING_MARK + ": " + CodeWords(cell));
      continue;
    }
    const IsoDecayFit& fit = *fits[f];
    svg::Series s;
    s.name = name + " " + PlainText(cell.value, "s") + " s, r\xc2\xb2 " + PlainText(fit.r2, "r2");
    s.color = FIT_STYLES[f].isoColor;
    s.dash = FIT_STYLES[f].dash;
    s.width = 1.3;
    for (double t : {fit.startSeconds, fit.endSeconds}) {
      s.x.push_back(onset + t);
      s.y.push_back(fit.interceptDb + fit.slopeDbPerSecond * t);
    }
    c.series.push_back(s);
    if (!IsoNote(cell).empty())
      c.notes.push_back(name + " " + PlainText(cell.value, "s") + " s " + CodeWords(cell));
  }
}

svg::Chart DecayChart(const FileResult& r, int ch, int band, const std::string& id) {
  const hostkit::BandRecord& rec = r.outcome.record.channels[ch].bands[band];
  svg::Chart c;
  c.id = id;
  c.title = ChannelTitle(r, ch) + " \xc2\xb7 " + BandName(r, band) + (band == 0 ? "" : " Hz");
  c.width = 340.0;
  c.plotHeight = 140.0;
  c.legend = false;  // the section's key names the lines
  c.x = svg::Axis{"Time (s)", 0.0, rec.length / rec.rateHz, false, {}};
  double lowest = 0.0;
  PluginDecay(r, ch, band, c, lowest);
  IsoDecay(r, ch, band, c, lowest);
  c.y = svg::Axis{
      "Level (dB)", std::clamp(std::floor((lowest - 5.0) / 10.0) * 10.0, -100.0, -40.0), 5.0, false, {}};
  c.y.ticks = svg::NiceTicks(c.y.min, 0.0, 5);
  c.x.ticks = svg::NiceTicks(c.x.min, c.x.max, 6);
  return c;
}

// The key of every decay plot of a file.
std::string DecayKey(const FileResult& r, const std::string& id) {
  std::vector<svg::KeyEntry> entries = {{"plug-in decay curve", COLOR_CURVE, svg::Dash::Solid, 1.2},
                                        {"plug-in tail (no fits)", COLOR_TAIL, svg::Dash::Dashed, 1.2},
                                        {"first arrival", COLOR_ARRIVAL, svg::Dash::Dashed, 1.2}};
  for (int f = 0; f < DECAY_FIT_COUNT; ++f)
    entries.push_back({"plug-in " + SlotName(FIT_SLOTS[f]), FIT_STYLES[f].color, FIT_STYLES[f].dash, 2.2});
  if (HasIso(r)) {
    entries.push_back(
        {"ISO 3382 decay curve (truncated, compensated)", COLOR_ISO_CURVE, svg::Dash::Solid, 1.2});
    entries.push_back({"ISO 3382 band energy", COLOR_ENVELOPE, svg::Dash::Solid, 1.0});
    for (int f = 0; f < 3; ++f)
      entries.push_back({std::string("ISO 3382 ") + ISO_PARAMETERS[ISO_EDT + f].key, FIT_STYLES[f].isoColor,
                         FIT_STYLES[f].dash, 1.3});
    entries.push_back({"noise level", COLOR_NOISE, svg::Dash::Dashed, 1.0});
    entries.push_back({"truncation point", COLOR_TRUNCATION, svg::Dash::Dashed, 1.2});
    entries.push_back(
        {"evaluation limits 0, \xe2\x88\x92"
         "5, \xe2\x88\x92"
         "10, \xe2\x88\x92"
         "25, \xe2\x88\x92"
         "35 dB",
         COLOR_LIMIT, svg::Dash::Dotted, 0.8});
  }
  return svg::Key(id, entries, 700.0);
}

struct FrequencyLine {
  std::string name;
  std::string color;
  svg::Dash dash = svg::Dash::Solid;
  std::vector<double> values;  // by band row; NaN where missing
  double width = 1.5;
  bool markers = true;
  std::vector<std::string> notes;  // by band row: why a value is flagged (empty: clean)
};

// A band whose values set a decay-time axis: 125 Hz to 4 kHz, so that an
// outlier at the ends of the range does not squash the rest.
bool AxisBand(bool thirdOctave, int band) {
  const double hz = BandColumns(thirdOctave)[band].nominalHz;
  return band > 0 && hz > 110.0 && hz < 4500.0;
}

// robust: the y axis spans the values of the 125 Hz to 4 kHz bands; the
// others beyond it are drawn on the frame's edge.
svg::Chart FrequencyChart(const std::string& id, const std::string& title, const std::string& yLabel,
                          bool thirdOctave, int rateHz, int lastBand, const std::vector<FrequencyLine>& lines,
                          bool fromZero, bool robust = false) {
  svg::Chart c;
  c.id = id;
  c.title = title;
  c.width = 340.0;
  c.plotHeight = 170.0;
  c.x = FrequencyAxis(thirdOctave, rateHz, lastBand);
  std::vector<double> all;
  for (const FrequencyLine& line : lines) {
    svg::Series s;
    s.name = line.name;
    s.color = line.color;
    s.dash = line.dash;
    s.width = line.width;
    s.markers = line.markers;
    s.clampOutliers = robust;
    for (int band = 1; band <= lastBand && band < static_cast<int>(line.values.size()); ++band) {
      s.x.push_back(AnalysedCentreHz(thirdOctave, band, rateHz));
      s.y.push_back(line.values[band]);
      s.notes.push_back(static_cast<size_t>(band) < line.notes.size() ? line.notes[band] : std::string());
      if (!robust || AxisBand(thirdOctave, band)) all.push_back(line.values[band]);
    }
    c.series.push_back(s);
  }
  c.y.label = yLabel;
  FitRange(c.y, all, fromZero);
  return c;
}

std::vector<double> ParameterValues(const FileResult& r, int ch, int slot) {
  std::vector<double> values(BandRowCount(r.ThirdOctave()), NAN);
  for (int band = 0; band < static_cast<int>(values.size()); ++band) {
    if (ParameterState(r, ch, band, slot).computed) values[band] = r.outcome.store.values[ch][band][slot];
  }
  return values;
}

std::vector<std::string> ParameterNotes(const FileResult& r, int ch, int slot) {
  std::vector<std::string> notes(BandRowCount(r.ThirdOctave()));
  for (int band = 0; band < static_cast<int>(notes.size()); ++band)
    notes[band] = InrWarning(r, ch, band, slot);
  return notes;
}

std::vector<double> PairValues(const FileResult& r, PairRow row) {
  std::vector<double> values(BandRowCount(r.ThirdOctave()), NAN);
  for (int band = 0; band < static_cast<int>(values.size()); ++band) {
    if (PairState(r, row, band).computed) values[band] = PairValue(r, row, band);
  }
  return values;
}

struct ChartGroup {
  const char* key;
  const char* title;
  const char* yLabel;
  std::vector<int> slots;
  bool fromZero;
  bool robust;
};
const std::vector<ChartGroup>& ChartGroups() {
  static const std::vector<ChartGroup> groups = {
      {"reverberation", "EDT, T20 and T30", "Time (s)", {SLOT_EDT, SLOT_RT20, SLOT_RT30}, true, true},
      {"clarity", "C50 and C80", "Clarity (dB)", {SLOT_C50, SLOT_C80}, false, false},
      {"definition", "D50", "Definition (%)", {SLOT_D50}, true, false},
      {"centre-time", "Ts", "Centre time (ms)", {SLOT_TS}, true, false},
  };
  return groups;
}

int LastBand(bool thirdOctave) { return BandRowCount(thirdOctave) - 1; }
// The last band row with decay and energy values (the octave analysis ends at 8 kHz).
int LastAnalysedBand(bool thirdOctave) { return thirdOctave ? LastBand(true) : OCTAVE_ROWS - 2; }

std::string Figure(const svg::Chart& c) { return "<figure>" + svg::Render(c) + "</figure>"; }

// The plug-in's inter-channel values that fit the declared pair (octaves).
std::string PluginPairChart(const FileResult& r, const std::string& prefix) {
  std::vector<FrequencyLine> lines;
  if (PairRowFits(r, PAIR_LF))
    lines.push_back(
        {PAIR_ROWS[PAIR_LF].name, COLOR_LF, svg::Dash::Solid, PairValues(r, PAIR_LF), 1.5, true, {}});
  if (PairRowFits(r, PAIR_IACC))
    lines.push_back(
        {PAIR_ROWS[PAIR_IACC].name, COLOR_IACC, svg::Dash::Solid, PairValues(r, PAIR_IACC), 1.5, true, {}});
  std::string title = lines.size() == 2 ? "LF and IACC" : lines.front().name;
  svg::Chart c = FrequencyChart(prefix + "lateral", title, "Ratio", false, AnalysisRateHz(r),
                                LastAnalysedBand(false), lines, true);
  c.y.min = 0.0;
  c.y.max = 1.05;
  return Figure(c);
}

std::string FrequencyCharts(const FileResult& r, const std::string& prefix) {
  std::string o;
  const bool third = r.ThirdOctave();
  for (const ChartGroup& group : ChartGroups()) {
    std::vector<FrequencyLine> lines;
    for (int slot : group.slots) {
      for (int ch = 0; ch < r.ChannelCount(); ++ch) {
        FrequencyLine line;
        line.name = SlotName(slot) + (r.ChannelCount() == 2 ? " " + ChannelTitle(r, ch) : "");
        line.color = ParameterColor(slot);
        line.dash = ch == 0 ? svg::Dash::Solid : svg::Dash::Dashed;
        line.values = ParameterValues(r, ch, slot);
        line.notes = ParameterNotes(r, ch, slot);
        lines.push_back(line);
      }
    }
    o += Figure(FrequencyChart(prefix + group.key, group.title, group.yLabel, third, AnalysisRateHz(r),
                               LastAnalysedBand(third), lines, group.fromZero, group.robust));
  }
  if (r.ChannelCount() == 2 && !third) o += PluginPairChart(r, prefix);
  return o;
}

// --- the ISO 3382 charts ---------------------------------------------------

FrequencyLine IsoLine(const FileResult& r, int ch, IsoParameter parameter, const char* color) {
  FrequencyLine line;
  line.name =
      std::string(ISO_PARAMETERS[parameter].key) + (r.ChannelCount() == 2 ? " " + ChannelTitle(r, ch) : "");
  line.color = color;
  line.dash = ch == 0 ? svg::Dash::Solid : svg::Dash::Dashed;
  const int rows = BandRowCount(r.ThirdOctave());
  line.values.assign(rows, NAN);
  line.notes.assign(rows, "");
  for (int band = 0; band < rows; ++band) {
    const IsoCell cell = IsoBandCell(r, ch, band, parameter);
    if (!cell.present) continue;
    line.values[band] = cell.value;
    line.notes[band] = IsoNote(cell);
  }
  return line;
}

// A spatial value per band row of the declared pair.
FrequencyLine SpatialLine(const FileResult& r, const std::string& name, const char* color, svg::Dash dash,
                          SpatialValue IsoPairBand::*member) {
  FrequencyLine line;
  line.name = name;
  line.color = color;
  line.dash = dash;
  const int rows = BandRowCount(r.ThirdOctave());
  line.values.assign(rows, NAN);
  line.notes.assign(rows, "");
  for (const IsoPairBand& band : r.outcome.iso.pair.bands) {
    if (band.row <= 0 || band.row >= rows) continue;
    const IsoCell cell = SpatialValueCell(band.*member);
    if (!cell.present) continue;
    line.values[band.row] = cell.value;
    line.notes[band.row] = IsoNote(cell);
  }
  return line;
}

// A single number drawn as a level over the bands it averages.
void SingleNumberSpan(svg::Chart& c, const std::string& name, const char* color, const SpatialValue& v,
                      double fromHz, double toHz) {
  if (!std::isfinite(v.value)) return;
  svg::Series s;
  s.name = name + " " + PlainText(v.value, "") + (v.Valid() ? "" : " (not valid)");
  s.color = color;
  s.width = 1.0;
  s.dash = svg::Dash::Dotted;
  s.x = {fromHz, toHz};
  s.y = {v.value, v.value};
  c.series.push_back(s);
}

// The analysed centre of the band of nominal frequency `hz`.
double CentreOf(bool thirdOctave, double hz, int rateHz) {
  for (int band = 1; band < BandRowCount(thirdOctave); ++band) {
    if (std::fabs(BandColumns(thirdOctave)[band].nominalHz - hz) < 1.0)
      return AnalysedCentreHz(thirdOctave, band, rateHz);
  }
  return NAN;
}

std::string IsoPairCharts(const FileResult& r, const std::string& prefix) {
  const IsoPairEvaluation& pair = r.outcome.iso.pair;
  const bool third = r.ThirdOctave();
  const int rate = AnalysisRateHz(r);
  const int last = LastAnalysedBand(third);
  if (pair.kind == PairKind::Binaural) {
    std::vector<FrequencyLine> lines = {SpatialLine(r,
                                                    "IACC_E (0\xe2\x80\x93"
                                                    "80 ms)",
                                                    "#d62728", svg::Dash::Solid, &IsoPairBand::iaccEarly),
                                        SpatialLine(r,
                                                    "IACC_L (80 ms\xe2\x80\x93"
                                                    "end)",
                                                    "#1f77b4", svg::Dash::Dashed, &IsoPairBand::iaccLate)};
    svg::Chart c =
        FrequencyChart(prefix + "iso-iacc", "ISO 3382 IACC", "IACC", third, rate, last, lines, true);
    c.y.min = 0.0;
    c.y.max = 1.05;
    SingleNumberSpan(c, "1 \xe2\x88\x92 IACC_E3", "#7f7f7f", pair.oneMinusIaccE3,
                     CentreOf(third, 500.0, rate), CentreOf(third, 2000.0, rate));
    return Figure(c);
  }
  if (pair.kind == PairKind::OmniFigure8) {
    std::vector<FrequencyLine> lines = {
        SpatialLine(r, "J_LF", "#bcbd22", svg::Dash::Solid, &IsoPairBand::jlf),
        SpatialLine(r, "J_LFC", "#8c564b", svg::Dash::Dashed, &IsoPairBand::jlfc)};
    svg::Chart c = FrequencyChart(prefix + "iso-jlf", "ISO 3382 J_LF and J_LFC", "Lateral energy fraction",
                                  third, rate, last, lines, true);
    const double from = CentreOf(third, 125.0, rate), to = CentreOf(third, 1000.0, rate);
    SingleNumberSpan(c,
                     "J_LF 125 Hz\xe2\x80\x93"
                     "1 kHz",
                     "#bcbd22", pair.jlf, from, to);
    SingleNumberSpan(c,
                     "J_LFC 125 Hz\xe2\x80\x93"
                     "1 kHz",
                     "#8c564b", pair.jlfc, from, to);
    return Figure(c);
  }
  return "";
}

// ISO 3382 values against frequency; a value that is not valid or carries a
// warning is a hollow point with the sentence as its tooltip.
std::string IsoCharts(const FileResult& r, const std::string& prefix) {
  if (!HasIso(r)) return "";
  const bool third = r.ThirdOctave();
  const int rate = AnalysisRateHz(r);
  std::vector<FrequencyLine> times, clarity;
  const char* timeColors[3] = {FIT_STYLES[0].isoColor, FIT_STYLES[1].isoColor, FIT_STYLES[2].isoColor};
  for (int ch = 0; ch < r.ChannelCount(); ++ch) {
    for (int f = 0; f < 3; ++f)
      times.push_back(IsoLine(r, ch, static_cast<IsoParameter>(ISO_EDT + f), timeColors[f]));
    clarity.push_back(IsoLine(r, ch, ISO_C50, ParameterColor(SLOT_C50)));
    clarity.push_back(IsoLine(r, ch, ISO_C80, ParameterColor(SLOT_C80)));
  }
  std::string o = Figure(FrequencyChart(prefix + "iso-reverberation", "ISO 3382 EDT, T20 and T30", "Time (s)",
                                        third, rate, LastAnalysedBand(third), times, true, true));
  o += Figure(FrequencyChart(prefix + "iso-clarity", "ISO 3382 C50 and C80", "Clarity (dB)", third, rate,
                             LastAnalysedBand(third), clarity, false));
  return o + IsoPairCharts(r, prefix);
}

// --- tables -----------------------------------------------------------------

// Numbers the reasons of one table's missing cells as footnotes.
class Footnotes {
 public:
  std::string Cell(const std::string& text, const ValueState& state) {
    if (state.computed || !*state.reason) return Escape(text);
    auto it = numbers_.find(state.reason);
    if (it == numbers_.end()) {
      it = numbers_.emplace(state.reason, static_cast<int>(order_.size()) + 1).first;
      order_.push_back(state.reason);
    }
    return "<span class=\"missing\" title=\"" + Escape(ReasonSentence(state.reason)) + "\">" + Escape(text) +
           "<sup>" + std::to_string(it->second) + "</sup></span>";
  }
  std::string List() const {
    if (order_.empty()) return "";
    std::string o = "<ol class=\"reasons\">";
    for (const std::string& code : order_) {
      o += "<li><code>" + Escape(code) + "</code>: " + Escape(ReasonSentence(code)) + "</li>";
    }
    return o + "</ol>";
  }

 private:
  std::map<std::string, int> numbers_;
  std::vector<std::string> order_;
};

// A cell of the plug-in's table: its value as plain decimals, a missing
// value with its footnote, a flagged value with class "warn" and the
// warning as its tooltip.
std::string PluginTd(const FileResult& r, int ch, int band, int slot, Footnotes& notes) {
  const ValueState state = ParameterState(r, ch, band, slot);
  if (!state.computed) return "<td>" + notes.Cell(MISSING_MARK, state) + "</td>";
  const std::string text = PlainText(r.outcome.store.values[ch][band][slot], SlotUnit(slot));
  if (const std::string warning = InrWarning(r, ch, band, slot); !warning.empty())
    return "<td class=\"warn\" title=\"" + Escape(warning) + "\">" + Escape(text) + "</td>";
  return "<td>" + Escape(text) + "</td>";
}

std::string PairTd(const FileResult& r, PairRow row, int band, Footnotes& notes) {
  const ValueState state = PairState(r, row, band);
  if (!state.computed) return "<td>" + notes.Cell(MISSING_MARK, state) + "</td>";
  return "<td>" + Escape(PlainText(PairValue(r, row, band), PAIR_ROWS[row].unit)) + "</td>";
}

// The plug-in's values of a channel: bands across in octaves (no 16 kHz
// column: only the lateral pass reaches it), down in thirds.
std::string ResultsTable(const FileResult& r, int ch, Footnotes& notes) {
  const bool third = r.ThirdOctave();
  const int bands = LastAnalysedBand(third) + 1;
  std::string o = "<table class=\"results\" data-channel=\"" + ChannelTitle(r, ch) + "\">";
  o += "<caption>Plug-in evaluation" + std::string(third ? ", third-octave bands" : ", octave bands") +
       (r.ChannelCount() == 2 ? " \xe2\x80\x93 " + ChannelTitle(r, ch) + " channel" : "") + "</caption>";
  if (third) {
    o += "<thead><tr><th>Band (Hz)</th>";
    for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) o += "<th>" + Escape(SlotLabel(slot)) + "</th>";
    o += "<th>N.C.</th></tr></thead><tbody>";
    for (int band = 0; band < bands; ++band) {
      o += "<tr><th>" + Escape(BandName(r, band)) + "</th>";
      for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) o += PluginTd(r, ch, band, slot, notes);
      o += "<td>" + (band == 0 ? std::string() : Escape(NoiseDialogText(r, band))) + "</td></tr>";
    }
    o += "</tbody></table>";
    if (r.ChannelCount() == 2 && PairRowFits(r, PAIR_LF)) {
      o += "<table class=\"results pair\"><tbody><tr><th>LF (" + Escape(BandName(r, 0)) + ")</th>" +
           PairTd(r, PAIR_LF, 0, notes) + "</tr></tbody></table>";
    }
    return o;
  }
  o += "<thead><tr><th>Band (Hz)</th>";
  for (int band = 0; band < bands; ++band) o += "<th>" + Escape(BandName(r, band)) + "</th>";
  o += "</tr></thead><tbody>";
  for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
    o += "<tr><th>" + Escape(SlotLabel(slot)) + "</th>";
    for (int band = 0; band < bands; ++band) o += PluginTd(r, ch, band, slot, notes);
    o += "</tr>";
  }
  o += "<tr><th>N.C.</th>";
  for (int band = 0; band < bands; ++band) o += "<td>" + Escape(NoiseDialogText(r, band)) + "</td>";
  o += "</tr>";
  if (r.ChannelCount() == 2 && ch == r.ChannelCount() - 1) {
    for (int row = 0; row < PAIR_ROW_COUNT; ++row) {
      if (!PairRowFits(r, row)) continue;
      o += "<tr class=\"pair\"><th>" + std::string(PAIR_ROWS[row].dialogLabel) + "</th>";
      for (int band = 0; band < bands; ++band) o += PairTd(r, static_cast<PairRow>(row), band, notes);
      o += "</tr>";
    }
  }
  return o + "</tbody></table>";
}

// --- the ISO 3382 tables ------------------------------------------------------

// The single numbers of ISO 3382-1 Annex A of every channel, and of the pair.
std::string IsoSinglesTable(const FileResult& r) {
  if (!HasIso(r)) return "";
  std::string o =
      "<table class=\"iso-singles\"><caption>ISO 3382 single numbers (mean of 500 Hz and "
      "1 kHz)</caption><thead><tr><th></th>";
  for (const IsoParameterName& single : ISO_SINGLES)
    o += "<th>" + Escape(single.key) + " (" + Escape(single.unit) + ")</th>";
  o += "</tr></thead><tbody>";
  for (int ch = 0; ch < r.ChannelCount(); ++ch) {
    o += "<tr><th>" + ChannelTitle(r, ch) + "</th>";
    for (int single = 0; single < ISO_SINGLE_COUNT; ++single) {
      o += IsoTd(IsoSingleCell(r, ch, static_cast<IsoSingle>(single)), ISO_SINGLES[single].unit,
                 ISO_SINGLES[single].key);
    }
    o += "</tr>";
  }
  o += "</tbody></table>";
  const IsoPairEvaluation& pair = r.outcome.iso.pair;
  if (pair.kind == PairKind::Binaural) {
    o += "<table class=\"iso-singles pair\"><tbody><tr><th>1 \xe2\x88\x92 IACC_E3 (500 Hz\xe2\x80\x93"
         "2 kHz)</th>" +
         IsoTd(SpatialValueCell(pair.oneMinusIaccE3), "", "oneMinusIACC_E3") + "</tr></tbody></table>";
  } else if (pair.kind == PairKind::OmniFigure8) {
    o += "<table class=\"iso-singles pair\"><tbody><tr><th>J_LF (125 Hz\xe2\x80\x93"
         "1 kHz)</th>" +
         IsoTd(SpatialValueCell(pair.jlf), "", "JLF") +
         "<th>J_LFC (125 Hz\xe2\x80\x93"
         "1 kHz)</th>" +
         IsoTd(SpatialValueCell(pair.jlfc), "", "JLFC") + "</tr></tbody></table>";
  }
  return o;
}

// The ISO 3382 values of a channel, a band per row, with the noise, the
// truncation point and the curvature behind their validity.
std::string IsoTable(const FileResult& r, int ch) {
  const IsoChannelEvaluation& channel = r.outcome.iso.channels[static_cast<size_t>(ch)];
  std::string o = "<table class=\"iso\" data-channel=\"" + ChannelTitle(r, ch) +
                  "\"><caption>ISO 3382 evaluation" +
                  (r.ChannelCount() == 2 ? " \xe2\x80\x93 " + ChannelTitle(r, ch) + " channel" : "") +
                  "</caption><thead><tr><th>Band (Hz)</th>";
  for (const IsoParameterName& p : ISO_PARAMETERS)
    o += "<th>" + Escape(p.key) + " (" + Escape(p.unit) + ")</th>";
  o += "<th>INR (dB)</th><th>Truncation (s)</th><th>C (%)</th></tr></thead><tbody>";
  for (const IsoBandEvaluation& band : channel.bands) {
    if (!band.evaluated) continue;
    o += "<tr><th>" + Escape(BandName(r, band.row)) + "</th>";
    for (int p = 0; p < ISO_PARAMETER_COUNT; ++p) {
      o += IsoTd(IsoBandCell(r, ch, band.row, static_cast<IsoParameter>(p)), ISO_PARAMETERS[p].unit,
                 ISO_PARAMETERS[p].key);
    }
    const IsoBandResult& b = band.result;
    auto plain = [](double v, const char* unit) {
      return std::isfinite(v) ? PlainText(v, unit) : std::string(MISSING_MARK);
    };
    o += "<td>" + plain(b.inrDb, "dB") + "</td><td>" + plain(b.truncationSeconds, "s") + "</td>";
    const bool bent = std::isfinite(b.curvaturePercent) && b.curvaturePercent > 10.0;
    o += std::string(bent ? "<td class=\"warn\" title=\"curvature above 10 %: the decay is not straight\">"
                          : "<td>") +
         plain(b.curvaturePercent, "%") + "</td></tr>";
  }
  return o + "</tbody></table>";
}

// The spatial values of the declared pair per band.
std::string IsoPairTable(const FileResult& r) {
  const IsoPairEvaluation& pair = r.outcome.iso.pair;
  if (!HasIso(r) || pair.kind == PairKind::None || pair.bands.empty()) return "";
  const bool binaural = pair.kind == PairKind::Binaural;
  std::string o =
      std::string("<table class=\"iso pair\"><caption>ISO 3382 ") +
      (binaural ? "IACC of the binaural pair" : "lateral energy of the omni + figure-of-eight pair") +
      "</caption><thead><tr><th>Band (Hz)</th>" +
      (binaural ? "<th>IACC_E</th><th>IACC_L</th><th>IACC_A</th>" : "<th>J_LF</th><th>J_LFC</th>") +
      "</tr></thead><tbody>";
  for (const IsoPairBand& band : pair.bands) {
    o += "<tr><th>" + Escape(BandName(r, band.row)) + "</th>";
    if (binaural) {
      o += IsoTd(SpatialValueCell(band.iaccEarly), "", "IACC_E") +
           IsoTd(SpatialValueCell(band.iaccLate), "", "IACC_L") +
           IsoTd(SpatialValueCell(band.iaccAll), "", "IACC_A");
    } else {
      o += IsoTd(SpatialValueCell(band.jlf), "", "JLF") + IsoTd(SpatialValueCell(band.jlfc), "", "JLFC");
    }
    o += "</tr>";
  }
  return o + "</tbody></table>";
}

std::string FactsTable(const FileResult& r) {
  const double rate = r.input.audio.sampleRate;
  std::string o = "<table class=\"facts\"><tbody>";
  auto row = [&](const std::string& name, const std::string& value) {
    o += "<tr><th>" + Escape(name) + "</th><td>" + Escape(value) + "</td></tr>";
  };
  row("File", FileFactsText(r));
  row("Selection", Format("%.4f s", r.input.firstFrame / rate) + " to " +
                       Format("%.4f s", (r.input.lastFrame + 1) / rate) + " (" +
                       std::to_string(r.input.lastFrame - r.input.firstFrame + 1) + " frames)");
  row("Analysis rate", r.offer.resampledFrom > 0
                           ? "resampled from " + std::to_string(r.offer.resampledFrom) + " Hz to " +
                                 std::to_string(AnalysisRateHz(r)) + " Hz"
                           : std::to_string(AnalysisRateHz(r)) + " Hz (the file's own)");
  row("Threshold", ThresholdText(r));
  for (int ch = 0; ch < r.ChannelCount(); ++ch) {
    const hostkit::ChannelRecord& channel = r.outcome.record.channels[ch];
    if (!channel.searched) continue;
    const std::string name =
        r.ChannelCount() == 1 ? "First arrival" : "First arrival, " + ChannelTitle(r, ch);
    if (channel.trace.arrival >= channel.trace.length) {
      row(name, "no sample reaches the threshold");
    } else {
      // In the file's time base, as csv and json give it.
      const double seconds = FileSeconds(r, channel.trace.arrival, channel.trace.rateHz);
      row(name, Format("%.2f ms", 1000.0 * seconds) + " (sample " +
                    std::to_string(std::llround(seconds * r.input.audio.sampleRate)) + " of the file)");
    }
  }
  row("Noise correction", r.confirmation.settings.noiseCorrection ? "on" : "off");
  row("RTU range", RtuText(r));
  for (const PluginMessage& m : r.outcome.messages)
    row("Message", m.caption.empty() ? m.text : m.caption + ": " + m.text);
  return o + "</tbody></table>";
}

std::string DecayPlots(const FileResult& r, const std::string& prefix) {
  const bool third = r.ThirdOctave();
  std::string o = "<h3>Decay curves and fits</h3>" + DecayKey(r, prefix + "decay-key");
  o += "<p class=\"hint\">Level per band re the band's energy at the start; the plug-in's backward "
       "integral and fits (light), the ISO 3382 curve from the truncation point with its fits (dark); the "
       "fitted lines span the samples each fit used.</p>";
  for (int ch = 0; ch < r.ChannelCount(); ++ch) {
    o += "<div class=\"grid decays\">";
    std::string skipped;
    for (int band = 0; band < BandRowCount(third); ++band) {
      const hostkit::BandRecord& rec = r.outcome.record.channels[ch].bands[band];
      if (!rec.analysed || rec.curve.index.empty()) {
        if (!third && band == OCTAVE_ROWS - 1) continue;  // the 16 kHz octave has no decay analysis
        const ValueState state = ParameterState(r, ch, band, SLOT_EDT);
        skipped +=
            std::string(skipped.empty() ? "" : "; ") + BandName(r, band) + ": " + ReasonWords(state.reason);
        continue;
      }
      o += Figure(
          DecayChart(r, ch, band, prefix + "decay-" + std::to_string(ch) + "-" + std::to_string(band)));
    }
    o += "</div>";
    if (!skipped.empty())
      o += "<p class=\"hint\">" + ChannelTitle(r, ch) + ", no decay curve: " + Escape(skipped) + ".</p>";
  }
  return o;
}

std::string FileSection(const FileResult& r, int number) {
  const std::string prefix = "f" + std::to_string(number) + "-";
  std::string o = "<section class=\"file\" id=\"file-" + std::to_string(number) + "\" data-file=\"" +
                  Escape(r.input.path) + "\">";
  o += "<h2>" + Escape(r.input.path) + "</h2>";
  if (!r.outcome.haveResults) {
    return o + "<p class=\"error\">No results: " + Escape(r.outcome.error) + "</p></section>";
  }
  o += IsoSinglesTable(r);
  o += FactsTable(r);
  o += "<h3>Results</h3><div class=\"tables\">";
  Footnotes notes;
  for (int ch = 0; ch < r.ChannelCount(); ++ch) o += ResultsTable(r, ch, notes);
  o += "</div><p class=\"rtu\">RTU = user range " + Escape(RtuText(r)) + "</p>";
  o += notes.List();
  if (HasIso(r)) {
    o += "<div class=\"tables\">";
    for (int ch = 0; ch < r.ChannelCount(); ++ch) o += IsoTable(r, ch);
    o += IsoPairTable(r) + "</div>";
  }
  o += "<h3>Energy-time curve</h3><figure class=\"wide\">" + svg::Render(EnergyTimeChart(r, prefix + "etc")) +
       "</figure>";
  o += "<h3>Parameters against frequency</h3><div class=\"grid\">" + FrequencyCharts(r, prefix) +
       IsoCharts(r, prefix) + "</div>";
  o += DecayPlots(r, prefix);
  return o + "</section>";
}

// --- average and comparison -----------------------------------------------

// A mean from fewer than half of the positions.
std::string FewNote(const Statistic& s) {
  return "mean of only " + std::to_string(s.count) + " of " + std::to_string(s.count + s.missing) +
         " positions";
}

std::string AverageSection(const std::vector<FileResult>& results, const HtmlExtras& extras) {
  std::string o = "<section class=\"average\" id=\"average\"><h2>Average over positions</h2>";
  if (!extras.average) return o + "<p class=\"error\">" + Escape(extras.averageError) + "</p></section>";
  const Average& a = *extras.average;
  o += "<p>Arithmetic mean, sample standard deviation and count of the computed values of " +
       std::to_string(a.fileCount) +
       " file(s) (ISO 3382-1 spatial averaging); values that are not results are left out and counted as "
       "missing.</p>";
  const int bands = BandRowCount(a.thirdOctave);
  for (const AverageGroup& group : a.groups) {
    const bool pair = group.channel == "pair";
    o += "<table class=\"average\" data-channel=\"" + Escape(group.channel) +
         "\"><caption>Average \xe2\x80\x93 " + Escape(group.channel) + "</caption><thead><tr><th></th>";
    for (int band = 0; band < bands; ++band) o += "<th>" + Escape(BandName(a.thirdOctave, band)) + "</th>";
    o += "</tr></thead><tbody>";
    for (int row = 0; row < AVERAGE_ROW_COUNT; ++row) {
      if ((row >= PARAMS_PER_BAND) != pair) continue;
      o += "<tr><th>" + Escape(RowName(row)) + (*RowUnit(row) ? " (" + std::string(RowUnit(row)) + ")" : "") +
           "</th>";
      for (int band = 0; band < bands; ++band) {
        const Statistic& s = group.cells[band][row];
        if (s.count == 0) {
          o += std::string("<td>") + MISSING_MARK + "</td>";
          continue;
        }
        const bool few = 2 * s.count < s.count + s.missing;
        o += "<td data-mean=\"" + ExactText(s.mean) + "\" data-count=\"" + std::to_string(s.count) + "\"" +
             (few ? " class=\"few\" title=\"" + FewNote(s) + "\"" : std::string()) + ">" +
             PlainText(s.mean, RowUnit(row)) + "<br><small>" +
             (s.count > 1 ? "\xc2\xb1" + Format(s.deviation >= 10.0 ? "%.0f" : "%.2g", s.deviation) + " "
                          : std::string()) +
             "(" + std::to_string(s.count) + (s.missing ? "/" + std::to_string(s.count + s.missing) : "") +
             ")</small></td>";
      }
      o += "</tr>";
    }
    o += "</tbody></table>";
  }
  // Per parameter: every position thin, the mean bold.
  for (const AverageGroup& group : a.groups) {
    if (group.channel == "pair") continue;
    o += "<h3>Positions and mean \xe2\x80\x93 " + Escape(group.channel) + "</h3><div class=\"grid\">";
    for (int slot : {SLOT_EDT, SLOT_RT20, SLOT_RT30, SLOT_C50, SLOT_C80, SLOT_D50}) {
      std::vector<FrequencyLine> lines;
      int position = 0;
      int rate = a.sampleRate;
      for (const FileResult& r : results) {
        if (!r.outcome.haveResults) continue;
        for (int ch = 0; ch < r.ChannelCount(); ++ch) {
          const std::string kind = r.ChannelCount() == 1 ? "mono" : ch == 0 ? "left" : "right";
          if (group.channel != "all" && group.channel != kind) continue;
          FrequencyLine line;
          line.name = r.input.path.substr(r.input.path.find_last_of('/') + 1) +
                      (r.ChannelCount() == 2 ? " " + kind : "");
          line.color = POSITION_COLORS[position++ % 8];
          line.width = 1.0;
          line.markers = false;
          line.values = ParameterValues(r, ch, slot);
          lines.push_back(line);
        }
      }
      FrequencyLine mean;
      mean.name = "mean";
      mean.color = "#000000";
      mean.width = 2.5;
      mean.values.assign(bands, NAN);
      mean.notes.assign(bands, "");
      FrequencyLine upper{"mean \xc2\xb1 1 SD",
                          "#000000",
                          svg::Dash::Dotted,
                          std::vector<double>(bands, NAN),
                          1.0,
                          false,
                          {}};
      FrequencyLine lower{"", "#000000", svg::Dash::Dotted, std::vector<double>(bands, NAN), 1.0, false, {}};
      for (int band = 0; band < bands; ++band) {
        const Statistic& st = group.cells[band][slot];
        if (st.count == 0) continue;
        mean.values[band] = st.mean;
        if (2 * st.count < st.count + st.missing) mean.notes[band] = FewNote(st);
        if (st.count > 1)
          upper.values[band] = st.mean + st.deviation, lower.values[band] = st.mean - st.deviation;
      }
      lines.push_back(mean);
      lines.push_back(upper);
      lines.push_back(lower);
      const std::string unit = PARAMETERS[slot].unit;
      const int lastBand = a.thirdOctave ? LastBand(true) : OCTAVE_ROWS - 2;
      o += "<figure>" +
           svg::Render(FrequencyChart("avg-" + group.channel + "-" + PARAMETERS[slot].isoName,
                                      PARAMETERS[slot].isoName + std::string(" (plug-in)"),
                                      std::string(PARAMETERS[slot].isoName) + " (" + unit + ")",
                                      a.thirdOctave, rate, lastBand, lines, unit != "dB")) +
           "</figure>";
    }
    o += "</div>";
  }
  return o + "</section>";
}

std::string ComparisonSection(const HtmlExtras& extras) {
  std::string o = "<section class=\"compare\" id=\"compare\"><h2>Comparison</h2>";
  if (!extras.comparison)
    return o + "<p class=\"error\">" + Escape(extras.comparisonError) + "</p></section>";
  const Comparison& c = *extras.comparison;
  o += "<p>Difference B \xe2\x88\x92 A with A = <code>" + Escape(c.fileA) + "</code>, B = <code>" +
       Escape(c.fileB) +
       "</code>; decay times in per cent of A. Highlighted: above one just-noticeable difference of ISO "
       "3382-1 "
       "Annex A (EDT and T 5 %, C50 and C80 1 dB, D50 5 %, Ts 10 ms, LF 0.05).</p>";
  const int bands = BandRowCount(c.thirdOctave);
  for (size_t ch = 0; ch < c.channels.size(); ++ch) {
    const bool pair = c.channels[ch] == "pair";
    o += "<table class=\"compare\" data-channel=\"" + Escape(c.channels[ch]) +
         "\"><caption>Difference \xe2\x80\x93 " + Escape(c.channels[ch]) + "</caption><thead><tr><th></th>";
    for (int band = 0; band < bands; ++band) o += "<th>" + Escape(BandName(c.thirdOctave, band)) + "</th>";
    o += "</tr></thead><tbody>";
    for (int row = 0; row < AVERAGE_ROW_COUNT; ++row) {
      if ((row >= PARAMS_PER_BAND) != pair) continue;
      const char* unit = JndRelative(row) ? "%" : RowUnit(row);
      o += "<tr><th>" + Escape(RowName(row)) + (*unit ? " [" + std::string(unit) + "]" : "") + "</th>";
      for (int band = 0; band < bands; ++band) {
        const Difference& d = c.cells[ch][band][row];
        if (!d.bothComputed) {
          o += std::string("<td>") + MISSING_MARK + "</td>";
          continue;
        }
        o += std::string("<td") + (d.noticeable ? " class=\"jnd\"" : "") + ">" +
             (d.difference == 0.0 ? "0" : Format(d.relative ? "%+.1f" : "%+.3g", d.difference)) + "</td>";
      }
      o += "</tr>";
    }
    o += "</tbody></table>";
  }
  return o + "</section>";
}

const char* STYLE = R"css(
:root { color-scheme: light; }
body { font: 14px/1.4 Helvetica, Arial, sans-serif; color: #222; margin: 24px auto; max-width: 1180px;
  padding: 0 16px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 18px; border-bottom: 2px solid #444; padding-bottom: 2px; margin-top: 32px;
  word-break: break-all; }
h3 { font-size: 15px; margin: 20px 0 6px; }
p.meta, p.hint { color: #555; font-size: 12px; }
p.error { color: #a00; }
nav ol { font-size: 13px; }
table { border-collapse: collapse; margin: 8px 0 12px; font-size: 12px; font-variant-numeric: tabular-nums; }
caption { text-align: left; font-weight: bold; padding: 4px 0; }
th, td { border: 1px solid #ccc; padding: 2px 6px; }
td { text-align: right; white-space: nowrap; }
th { background: #f3f3f3; text-align: left; font-weight: normal; }
table.facts td { text-align: left; white-space: normal; }
table.iso caption, table.iso-singles caption { color: #1f4e9c; }
table.iso-singles td { font-weight: bold; }
.tables { display: flex; flex-wrap: wrap; gap: 0 16px; align-items: flex-start; }
.missing { color: #888; }
.missing sup { color: #a60; margin-left: 1px; }
td.warn { background: #fff1c2; color: #8a4b00; }
td.warn::after { content: "\0021"; font-size: 9px; vertical-align: super; margin-left: 1px; }
td.few { font-style: italic; color: #777; }
td.jnd { background: #ffe2b3; font-weight: bold; }
ol.reasons { font-size: 12px; color: #444; }
.grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(340px, 1fr)); gap: 8px 16px; }
figure { margin: 0; break-inside: avoid; page-break-inside: avoid; }
svg.chart, svg.key { max-width: 100%; height: auto; display: block; }
@page { size: A4; margin: 10mm; }
@media print {
  body { margin: 0; max-width: none; padding: 0; font-size: 9px; }
  h1 { font-size: 15px; }
  header p.meta { margin: 0; }
  svg.key { max-width: 80%; }
  section.file ~ section.file, section.file ~ section.compare { break-before: page; page-break-before: always; }
  h2 { font-size: 13px; margin: 6px 0 2px; }
  h3 { font-size: 11px; margin: 4px 0 2px; }
  h2, h3 { break-after: avoid; page-break-after: avoid; }
  p.hint, p.rtu, ol.reasons { font-size: 8px; margin: 2px 0; }
  .grid { grid-template-columns: repeat(3, 1fr); gap: 2px 8px; }
  .grid.decays { grid-template-columns: repeat(4, 1fr); }
  figure.wide svg { max-height: 150px; width: auto; }
  table { font-size: 7.5px; margin: 2px 0 4px; }
  th, td { padding: 0 3px; }
  tr { break-inside: avoid; page-break-inside: avoid; }
  nav { display: none; }
}
)css";

}  // namespace

std::string FormatHtml(const std::vector<FileResult>& results, const HtmlExtras& extras) {
  std::string o = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  o += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  o += "<meta name=\"generator\" content=\"roomstat " ROOMSTAT_VERSION "\">\n";
  std::string title = "Room acoustics report";
  if (results.size() == 1) title += ": " + results.front().input.path;
  o += "<title>" + Escape(title) + "</title>\n<style>" + STYLE + "</style>\n</head>\n<body>\n";
  o += "<header><h1>Room acoustics report</h1><p class=\"meta\">roomstat " ROOMSTAT_VERSION " \xc2\xb7 " +
       std::to_string(results.size()) +
       " file(s) \xc2\xb7 room-acoustical parameters after ISO 3382-1, computed by the Roomstat "
       "plug-in</p></header>\n";
  if (results.size() > 1) {
    o += "<nav><ol>";
    for (size_t i = 0; i < results.size(); ++i) {
      o += "<li><a href=\"#file-" + std::to_string(i + 1) + "\">" + Escape(results[i].input.path) +
           "</a></li>";
    }
    o += "</ol></nav>\n";
  }
  if (extras.average || !extras.averageError.empty()) o += AverageSection(results, extras) + "\n";
  if (extras.comparison || !extras.comparisonError.empty()) o += ComparisonSection(extras) + "\n";
  for (size_t i = 0; i < results.size(); ++i) o += FileSection(results[i], static_cast<int>(i + 1)) + "\n";
  return o + "</body>\n</html>\n";
}

}  // namespace cli
