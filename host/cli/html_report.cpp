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
    const int octave = thirdOctave ? (band + 2) / 3 : band;
    std::string label = nominal ? OCTAVE_BANDS[octave].dialogName : FrequencyLabel(hz);
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
      c.markers.push_back({trace.arrival / rate,
                           "first arrival" +
                               (r.ChannelCount() == 2 ? " " + ChannelTitle(r, ch) : std::string()) + ": " +
                               Format("%.1f ms", 1000.0 * trace.arrival / rate),
                           r.ChannelCount() == 1 ? COLOR_ARRIVAL : CHANNEL_COLORS[ch]});
    }
  }
  c.y = svg::Axis{
      "Level re peak (dB)", std::clamp(std::floor(lowest / 10.0) * 10.0, -120.0, -40.0), 0.0, false, {}};
  return c;
}

// The band's level curve with its fits; a fit that is not a result is named
// with the reason instead of drawn.
svg::Chart DecayChart(const FileResult& r, int ch, int band, const std::string& id) {
  const hostkit::BandRecord& rec = r.outcome.record.channels[ch].bands[band];
  const double rate = rec.rateHz;
  svg::Chart c;
  c.id = id;
  c.title = ChannelTitle(r, ch) + " \xc2\xb7 " + BandColumns(r.ThirdOctave())[band].dialogName +
            (band == 0 ? "" : " Hz");
  c.width = 340.0;
  c.plotHeight = 150.0;
  c.x = svg::Axis{"Time (s)", 0.0, rec.length / rate, false, {}};

  // Levels relative to the curve's start: the total energy of the band.
  const double reference = rec.curve.levelDb.empty() ? 0.0 : rec.curve.levelDb.front();
  // The fits keep out of the curve's last tenth when noise correction was
  // asked for, of its last sixteenth otherwise (acoustics/decay.cpp).
  const uint32_t tailStart = rec.length - (rec.noiseCorrectionAsked ? rec.length / 10 : rec.length / 16);
  svg::Series curve, tail;
  curve.name = "decay curve";
  curve.color = COLOR_CURVE;
  curve.width = 1.2;
  tail.name = rec.noisePower > 0.0       ? "last tenth, noise subtracted (no fits)"
              : rec.noiseCorrectionAsked ? "last tenth (no fits)"
                                         : "last sixteenth (no fits)";
  tail.color = COLOR_TAIL;
  tail.width = 1.2;
  tail.dash = svg::Dash::Dashed;
  double lowest = 0.0;
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

  // Each later fit is drawn thinner on top of the earlier, so that
  // overlapping fits stay visible.
  for (int f = 0; f < DECAY_FIT_COUNT; ++f) {
    const int slot = FIT_SLOTS[f];
    const FitResult& fit = rec.outcome.fits[f];
    const ValueState state = ParameterState(r, ch, band, slot);
    const char* name = PARAMETERS[slot].isoName;
    if (!state.computed) {
      c.notes.push_back(std::string(name) + " " + MISSING_MARK + ": " + ReasonWords(state.reason));
      continue;
    }
    std::string r2 = FIT_R_SLOTS[f] >= 0 && ParameterState(r, ch, band, FIT_R_SLOTS[f]).computed
                         ? ParameterDialogText(r, ch, band, FIT_R_SLOTS[f])
                         : Format("%.4g", fit.coefficient);
    svg::Series s;
    s.name = std::string(name) + " " + ParameterDialogText(r, ch, band, slot) + " s, r\xc2\xb2 " + r2;
    s.color = ParameterColor(slot);
    s.width = 3.2 - 0.6 * f;
    // The fitted line over the samples the fit used, through their centroid.
    const double last = fit.firstIndex + (fit.pointCount ? fit.pointCount - 1 : 0);
    for (double index : {static_cast<double>(fit.firstIndex), last}) {
      s.x.push_back(index / rate);
      s.y.push_back(fit.centroidLevelDb + fit.slopeDbPerSample * (index - fit.centroidIndex) - reference);
    }
    lowest = std::min(lowest, s.y.back());
    c.series.push_back(s);
  }
  c.y = svg::Axis{
      "Level (dB)", std::clamp(std::floor((lowest - 5.0) / 10.0) * 10.0, -100.0, -20.0), 2.0, false, {}};
  c.y.ticks = svg::NiceTicks(c.y.min, 0.0, 4);
  return c;
}

struct FrequencyLine {
  std::string name;
  std::string color;
  svg::Dash dash = svg::Dash::Solid;
  std::vector<double> values;  // by band row; NaN where missing
  double width = 1.5;
  bool markers = true;
};

svg::Chart FrequencyChart(const std::string& id, const std::string& title, const std::string& yLabel,
                          bool thirdOctave, int rateHz, int lastBand, const std::vector<FrequencyLine>& lines,
                          bool fromZero) {
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
    for (int band = 1; band <= lastBand && band < static_cast<int>(line.values.size()); ++band) {
      s.x.push_back(AnalysedCentreHz(thirdOctave, band, rateHz));
      s.y.push_back(line.values[band]);
      all.push_back(line.values[band]);
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
};
const std::vector<ChartGroup>& ChartGroups() {
  static const std::vector<ChartGroup> groups = {
      {"reverberation", "EDT, T20 and T30", "Time (s)", {SLOT_EDT, SLOT_RT20, SLOT_RT30}, true},
      {"clarity", "C50 and C80", "Clarity (dB)", {SLOT_C50, SLOT_C80}, false},
      {"definition", "D50", "Definition (%)", {SLOT_D50}, true},
      {"centre-time", "Ts", "Centre time (ms)", {SLOT_TS}, true},
  };
  return groups;
}

int LastBand(bool thirdOctave) { return BandRowCount(thirdOctave) - 1; }

std::string FrequencyCharts(const FileResult& r, const std::string& prefix) {
  std::string o = "<div class=\"grid\">";
  const bool third = r.ThirdOctave();
  for (const ChartGroup& group : ChartGroups()) {
    std::vector<FrequencyLine> lines;
    for (int slot : group.slots) {
      for (int ch = 0; ch < r.ChannelCount(); ++ch) {
        FrequencyLine line;
        line.name =
            std::string(PARAMETERS[slot].isoName) + (r.ChannelCount() == 2 ? " " + ChannelTitle(r, ch) : "");
        line.color = ParameterColor(slot);
        line.dash = ch == 0 ? svg::Dash::Solid : svg::Dash::Dashed;
        line.values = ParameterValues(r, ch, slot);
        lines.push_back(line);
      }
    }
    // The octave analysis ends at 8 kHz; 16 kHz belongs to LF and IACC.
    const int lastBand = third ? LastBand(true) : OCTAVE_ROWS - 2;
    o += "<figure>" +
         svg::Render(FrequencyChart(prefix + group.key, group.title, group.yLabel, third, AnalysisRateHz(r),
                                    lastBand, lines, group.fromZero)) +
         "</figure>";
  }
  if (r.ChannelCount() == 2 && !third) {
    std::vector<FrequencyLine> lines = {
        {PAIR_ROWS[PAIR_LF].name, COLOR_LF, svg::Dash::Solid, PairValues(r, PAIR_LF)},
        {PAIR_ROWS[PAIR_IACC].name, COLOR_IACC, svg::Dash::Solid, PairValues(r, PAIR_IACC)}};
    svg::Chart c = FrequencyChart(prefix + "lateral", "LF and IACC", "Ratio", false, AnalysisRateHz(r),
                                  OCTAVE_ROWS - 1, lines, true);
    c.y.min = 0.0;
    c.y.max = 1.05;
    o += "<figure>" + svg::Render(c) + "</figure>";
  }
  return o + "</div>";
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

std::string ResultsTable(const FileResult& r, int ch, Footnotes& notes) {
  const bool third = r.ThirdOctave();
  const int bands = BandRowCount(third);
  std::string o = "<table class=\"results\" data-channel=\"" + ChannelTitle(r, ch) + "\">";
  o += "<caption>" +
       std::string(third ? "1/3 octave band acoustical parameters" : "Octave band acoustical parameters") +
       (r.ChannelCount() == 2 ? " \xe2\x80\x93 " + ChannelTitle(r, ch) + " channel" : "") + "</caption>";
  if (third) {
    o += "<thead><tr><th>Band</th>";
    for (const ParameterLabel& label : PARAMETERS) o += "<th>" + Escape(label.thirdDialogLabel) + "</th>";
    o += "<th>NC</th></tr></thead><tbody>";
    for (int band = 0; band < bands; ++band) {
      o += "<tr><th>" + Escape(THIRD_OCTAVE_BANDS[band].dialogName) + "</th>";
      for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
        o += "<td>" + notes.Cell(ParameterDialogText(r, ch, band, slot), ParameterState(r, ch, band, slot)) +
             "</td>";
      }
      o += "<td>" + (band == 0 ? std::string() : Escape(NoiseDialogText(r, band))) + "</td></tr>";
    }
    o += "</tbody></table>";
    if (r.ChannelCount() == 2) {
      o +=
          "<p>LF (Wide Band) " + notes.Cell(PairDialogText(r, PAIR_LF, 0), PairState(r, PAIR_LF, 0)) + "</p>";
    }
    return o;
  }
  o += "<thead><tr><th></th>";
  for (int band = 0; band < bands; ++band) o += "<th>" + Escape(OCTAVE_BANDS[band].dialogName) + "</th>";
  o += "</tr></thead><tbody>";
  for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
    o += "<tr><th>" + Escape(PARAMETERS[slot].dialogLabel) + "</th>";
    for (int band = 0; band < bands; ++band) {
      o += "<td>" + notes.Cell(ParameterDialogText(r, ch, band, slot), ParameterState(r, ch, band, slot)) +
           "</td>";
    }
    o += "</tr>";
  }
  o += "<tr><th>N.C.</th>";
  for (int band = 0; band < bands; ++band) o += "<td>" + Escape(NoiseDialogText(r, band)) + "</td>";
  o += "</tr>";
  if (r.ChannelCount() == 2) {
    for (int row = 0; row < PAIR_ROW_COUNT; ++row) {
      o += "<tr><th>" + std::string(PAIR_ROWS[row].dialogLabel) + "</th>";
      for (int band = 0; band < bands; ++band) {
        const PairRow pair = static_cast<PairRow>(row);
        o += "<td>" + notes.Cell(PairDialogText(r, pair, band), PairState(r, pair, band)) + "</td>";
      }
      o += "</tr>";
    }
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
      row(name, Format("%.2f ms", 1000.0 * channel.trace.arrival / channel.trace.rateHz) + " (sample " +
                    std::to_string(channel.trace.arrival) + " of the selection)");
    }
  }
  row("Noise correction", r.confirmation.settings.noiseCorrection ? "on" : "off");
  row("RTU range", RtuText(r));
  if (r.offer.scaled)
    row("Scaling", "float samples above the 16-bit scale, scaled by " + Format("%.6g", r.offer.scaleFactor));
  for (const PluginMessage& m : r.outcome.messages)
    row("Message", m.caption.empty() ? m.text : m.caption + ": " + m.text);
  return o + "</tbody></table>";
}

std::string FileSection(const FileResult& r, int number) {
  const std::string prefix = "f" + std::to_string(number) + "-";
  std::string o = "<section class=\"file\" id=\"file-" + std::to_string(number) + "\" data-file=\"" +
                  Escape(r.input.path) + "\">";
  o += "<h2>" + Escape(r.input.path) + "</h2>";
  if (!r.outcome.haveResults) {
    return o + "<p class=\"error\">No results: " + Escape(r.outcome.error) + "</p></section>";
  }
  o += FactsTable(r);
  o += "<h3>Results</h3>";
  Footnotes notes;
  for (int ch = 0; ch < r.ChannelCount(); ++ch) o += ResultsTable(r, ch, notes);
  o += "<p class=\"rtu\">RTU=RT User " + Escape(RtuText(r)) + "</p>";
  o += notes.List();

  o += "<h3>Energy-time curve</h3><figure class=\"wide\">" + svg::Render(EnergyTimeChart(r, prefix + "etc")) +
       "</figure>";
  o += "<h3>Parameters against frequency</h3>" + FrequencyCharts(r, prefix);
  const bool third = r.ThirdOctave();
  for (int ch = 0; ch < r.ChannelCount(); ++ch) {
    o += "<h3>Decay curves and fits \xe2\x80\x93 " + ChannelTitle(r, ch) + "</h3>";
    o += "<p class=\"hint\">Backward-integrated level per band, re the band's total energy; the fitted lines "
         "span "
         "the samples each fit used.</p><div class=\"grid\">";
    std::string skipped;
    for (int band = 0; band < BandRowCount(third); ++band) {
      const hostkit::BandRecord& rec = r.outcome.record.channels[ch].bands[band];
      if (!rec.analysed || rec.curve.index.empty()) {
        const ValueState state = ParameterState(r, ch, band, SLOT_EDT);
        skipped += std::string(skipped.empty() ? "" : "; ") + BandColumns(third)[band].dialogName + ": " +
                   ReasonWords(state.reason);
        continue;
      }
      o += "<figure>" +
           svg::Render(
               DecayChart(r, ch, band, prefix + "decay-" + std::to_string(ch) + "-" + std::to_string(band))) +
           "</figure>";
    }
    o += "</div>";
    if (!skipped.empty()) o += "<p class=\"hint\">No decay curve: " + Escape(skipped) + ".</p>";
  }
  return o + "</section>";
}

// --- average and comparison -----------------------------------------------

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
      o += "<tr><th>" + Escape(RowName(row)) + (*RowUnit(row) ? " [" + std::string(RowUnit(row)) + "]" : "") +
           "</th>";
      for (int band = 0; band < bands; ++band) {
        const Statistic& s = group.cells[band][row];
        if (s.count == 0) {
          o += std::string("<td>") + MISSING_MARK + "</td>";
          continue;
        }
        o += "<td data-mean=\"" + ExactText(s.mean) + "\">" + Format("%.4g", s.mean) + "<br><small>" +
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
      for (int band = 0; band < bands; ++band) {
        if (group.cells[band][slot].count > 0) mean.values[band] = group.cells[band][slot].mean;
      }
      lines.push_back(mean);
      const std::string unit = PARAMETERS[slot].unit;
      const int lastBand = a.thirdOctave ? LastBand(true) : OCTAVE_ROWS - 2;
      o += "<figure>" +
           svg::Render(FrequencyChart("avg-" + group.channel + "-" + PARAMETERS[slot].isoName,
                                      PARAMETERS[slot].isoName,
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
.missing { color: #888; }
.missing sup { color: #a60; margin-left: 1px; }
td.jnd { background: #ffe2b3; font-weight: bold; }
ol.reasons { font-size: 12px; color: #444; }
.grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(340px, 1fr)); gap: 8px 16px; }
figure { margin: 0; break-inside: avoid; page-break-inside: avoid; }
svg.chart { max-width: 100%; height: auto; display: block; }
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; max-width: none; padding: 0; font-size: 11px; }
  section.file, section.compare { break-before: page; page-break-before: always; }
  h2, h3 { break-after: avoid; page-break-after: avoid; }
  .grid { grid-template-columns: repeat(2, 1fr); }
  table { font-size: 9px; }
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
