#include "host/cli/json_output.h"

#include <cmath>

#include "host/cli/cells.h"
#include "host/sweep/sweep_parameters_json.h"
#include "interface/bands.h"

namespace cli {

namespace {

constexpr int JSON_SCHEMA_VERSION = 2;

// {"value": v, "computed": true} for a result; {"value": null, "computed":
// false, "reason": code} for anything else, sentinels included.
Json ValueJson(const ValueState& state, const Json& value) {
  Json cell;
  cell["value"] = state.computed ? value : Json(nullptr);
  cell["computed"] = state.computed;
  if (!state.computed) cell["reason"] = state.reason;
  return cell;
}

// The first arrival of a channel on its unfiltered signal, in the file's
// own time base; null with a reason when no sample reaches the threshold.
Json FirstArrivalJson(const FileResult& r, int channel) {
  const hostkit::ChannelRecord& record = r.outcome.record.channels[channel];
  Json arrival;
  if (!record.searched || record.trace.arrival >= record.trace.length) {
    arrival["sample"] = nullptr;
    arrival["seconds"] = nullptr;
    arrival["reason"] = record.searched ? "no-first-arrival" : "not-analysed";
    return arrival;
  }
  const double seconds = FileSeconds(r, record.trace.arrival, record.trace.rateHz);
  arrival["sample"] = std::llround(seconds * r.input.audio.sampleRate);
  arrival["seconds"] = JsonReal(seconds);
  return arrival;
}

Json FitsJson(const FileResult& r, const hostkit::BandRecord& record) {
  static const char* FIT_NAMES[DECAY_FIT_COUNT] = {"EDT", "RT20", "RT30", "RTU"};
  const FitRanges ranges = FitRangesDb(r);
  Json fits = Json::object();
  for (int f = 0; f < DECAY_FIT_COUNT; ++f) {
    const FitResult& fit = record.outcome.fits[f];
    Json& o = fits[FIT_NAMES[f]];
    o["fromDb"] = JsonLevel(ranges[f][0]);
    o["toDb"] = JsonLevel(ranges[f][1]);
    if (fit.pointCount > 0) {
      o["startSeconds"] = JsonReal(FileSeconds(r, fit.firstIndex, record.rateHz));
      o["endSeconds"] = JsonReal(FileSeconds(r, fit.firstIndex + fit.pointCount - 1.0, record.rateHz));
    }
    if (fit.status == FIT_OK) o["slopeDbPerSecond"] = JsonReal(fit.slopeDbPerSample * record.rateHz);
  }
  return fits;
}

// One band of one channel: its facts (centre, noise, impulse-to-noise
// ratio, the segments the decay fits regressed), then every parameter.
Json BandJson(const FileResult& r, int c, int b) {
  Json band;
  band["band"] = BandName(r, b);
  band["centreHz"] = JsonReal(BandCentreHz(r, b));
  band["nominal"] = NominalBands(r) ? Json(BandColumns(r.ThirdOctave())[b].nominalLabel) : Json(nullptr);
  const hostkit::BandRecord& record = r.outcome.record.channels[c].bands[b];
  if (record.analysed && !AboveBandwidth(r, b)) {
    band["noisePower"] = JsonOptional(record.noisePower, record.noisePower > 0.0);
    band["inrDb"] = JsonReal(record.inrDb);
    band["fits"] = FitsJson(r, record);
  }
  for (int k = 0; k < PARAMS_PER_BAND; ++k) {
    Json cell = ValueJson(ParameterState(r, c, b, k), JsonSingle(r.outcome.store.values[c][b][k]));
    const char mark = r.outcome.store.valid[c][b][k];
    cell["mark"] = std::string(1, mark ? mark : '0');
    cell["isoName"] = PARAMETERS[k].isoName;
    cell["warnings"] = ParameterWarnings(r, c, b, k);
    const std::string warning = InrWarning(r, c, b, k);
    if (!warning.empty()) cell["warning"] = warning;
    band[PARAMETERS[k].name] = std::move(cell);
  }
  return band;
}

Json AudioJson(const AudioData& a) {
  Json audio;
  audio["majorFormat"] = a.majorFormat;
  audio["subFormat"] = a.subFormat;
  audio["sampleRate"] = a.sampleRate;
  audio["fileChannels"] = a.fileChannels;
  audio["frames"] = a.fileFrames;
  audio["channelsUsed"] = a.usedChannels;
  audio["bitsOffered"] = a.bitsOffered;
  audio["floatSamples"] = a.floatSource;
  return audio;
}

// The selection, its peaks and scaling, and the rate it was analysed at.
void AddOffer(const FileResult& r, Json& o) {
  const AudioData& a = r.input.audio;
  const FileOffer& offer = r.offer;
  if (!offer.peaks.empty()) {
    Json& selection = o["selection"];
    selection["firstFrame"] = r.input.firstFrame;
    selection["lastFrame"] = r.input.lastFrame;
    selection["frames"] = r.input.lastFrame - r.input.firstFrame + 1;
    selection["startSeconds"] = JsonReal(static_cast<double>(r.input.firstFrame) / a.sampleRate);
    selection["endSeconds"] = JsonReal(static_cast<double>(r.input.lastFrame + 1) / a.sampleRate);
    Json& peaks = o["peaks"] = Json::array();
    for (double peak : offer.peaks) peaks.push_back(JsonReal(peak));
    Json& scaling = o["scaling"];
    scaling["scaled"] = offer.scaled;
    scaling["factor"] = JsonReal(offer.scaleFactor);
    if (offer.scaled) {
      scaling["note"] = std::string("the float samples ") +
                        (offer.scaleFactor < 1.0 ? "exceeded the 16-bit scale and were scaled down"
                                                 : "lay below -30 dBFS and were scaled up") +
                        " so that the peak is 32767; every parameter is a ratio or a slope, so the results "
                        "are unaffected";
    }
  }
  if (offer.analysisRate > 0) {
    o["resampledFrom"] = offer.resampledFrom ? Json(offer.resampledFrom) : Json(nullptr);
    Json& analysis = o["analysis"];
    analysis["sampleRate"] = offer.analysisRate;
    analysis["frames"] = offer.analysedFrames;
    analysis["bitsOffered"] = offer.analysedBits;
    analysis["nominalBands"] = NominalBands(r);
  }
}

Json SettingsJson(const FileResult& r) {
  const AnalysisSettings& s = r.confirmation.settings;
  Json o;
  o["rtuStartDb"] = JsonSingle(s.rtuStartDb);
  o["rtuEndDb"] = JsonSingle(s.rtuEndDb);
  o["wThreshold"] = JsonSingle(s.wThreshold);
  o["yThreshold"] = JsonSingle(s.yThreshold);
  o["thresholdLock"] = s.thresholdLock != 0;
  o["arrivalThreshold"] = s.arrivalThreshold;
  o["thresholdSource"] = ThresholdSourceName(r);
  o["typedThreshold"] = r.offer.typedThreshold;
  o["boostDb"] = JsonSingle(s.boostDb);
  o["noiseCorrection"] = s.noiseCorrection != 0;
  o["thirdOctave"] = s.thirdOctave != 0;
  Json& adjustments = o["adjustments"] = Json::array();
  for (const SettingAdjustment& a : r.confirmation.adjustments) {
    adjustments.push_back({{"field", a.field}, {"given", JsonReal(a.given)}, {"stored", JsonReal(a.stored)}});
  }
  return o;
}

// Seconds from the start of the selection in the file's own time base.
Json FileTimeJson(const FileResult& r, double selectionSeconds) {
  const double rate = r.input.audio.sampleRate;
  return JsonReal(rate > 0 ? static_cast<double>(r.input.firstFrame) / rate + selectionSeconds
                           : selectionSeconds);
}

// {"value": number or null, "valid", "reasons": [codes], "warnings": [codes]}.
Json IsoCellJson(const IsoCell& cell, bool withWarnings) {
  Json o;
  o["value"] = JsonOptional(cell.value, cell.present);
  o["valid"] = cell.valid;
  o["reasons"] = cell.reasons;
  if (withWarnings) o["warnings"] = cell.warnings;
  return o;
}

Json IsoBandJson(const FileResult& r, int c, const IsoBandEvaluation& band) {
  Json o;
  o["band"] = BandName(r, band.row);
  o["nominalHz"] = JsonReal(band.nominalHz);
  const bool known = band.evaluated && !AboveBandwidth(r, band.row);
  const IsoBandResult& result = band.result;
  o["inrDb"] = JsonOptional(result.inrDb, known);
  o["truncationSeconds"] = known && std::isfinite(result.truncationSeconds)
                               ? FileTimeJson(r, result.truncationSeconds)
                               : Json(nullptr);
  o["noiseDb"] = JsonOptional(result.noiseDb, known);
  o["curvaturePercent"] = JsonOptional(result.curvaturePercent, known);
  for (int p = 0; p < ISO_PARAMETER_COUNT; ++p) {
    Json cell = IsoCellJson(IsoBandCell(r, c, band.row, static_cast<IsoParameter>(p)), true);
    if (p == ISO_T20 || p == ISO_T30) {
      const IsoDecayFit& fit = p == ISO_T20 ? result.t20 : result.t30;
      cell["xiPermille"] = JsonOptional(fit.xiPermille, known);
      cell["uncertaintySeconds"] = JsonOptional(fit.uncertaintySeconds, known);
    }
    o[ISO_PARAMETERS[p].key] = std::move(cell);
  }
  return o;
}

// A channel's ISO 3382 block: null with "isoReason" when not evaluated.
void AddIso(const FileResult& r, int c, Json& channel) {
  if (!HasIso(r) || static_cast<size_t>(c) >= r.outcome.iso.channels.size()) {
    channel["iso"] = nullptr;
    channel["isoReason"] = "not-evaluated";
    return;
  }
  const IsoChannelEvaluation& evaluation = r.outcome.iso.channels[static_cast<size_t>(c)];
  Json& iso = channel["iso"];
  iso["onsetSeconds"] =
      std::isfinite(evaluation.onsetSeconds) ? FileTimeJson(r, evaluation.onsetSeconds) : Json(nullptr);
  Json& bands = iso["bands"] = Json::array();
  for (const IsoBandEvaluation& band : evaluation.bands) bands.push_back(IsoBandJson(r, c, band));
  Json& singles = iso["singleNumbers"];
  for (int s = 0; s < ISO_SINGLE_COUNT; ++s)
    singles[ISO_SINGLES[s].key] = IsoCellJson(IsoSingleCell(r, c, static_cast<IsoSingle>(s)), false);
}

// The declared pair's ISO 3382 spatial quantities; null with
// "pairIsoReason" for an undeclared or unevaluated pair; absent for mono.
void AddPairIso(const FileResult& r, Json& o) {
  if (r.ChannelCount() != 2) return;
  const PairKind pair = IsoPairOf(r);
  if (pair == PairKind::None) {
    o["pairIso"] = nullptr;
    o["pairIsoReason"] = IsoPairMissingReason(r);
    return;
  }
  Json& block = o["pairIso"];
  block["pair"] = PairKindName(pair);
  block["onsetSeconds"] = std::isfinite(r.outcome.iso.pair.onsetSeconds)
                              ? FileTimeJson(r, r.outcome.iso.pair.onsetSeconds)
                              : Json(nullptr);
  Json& bands = block["bands"] = Json::array();
  for (const IsoPairBand& band : r.outcome.iso.pair.bands) {
    Json line;
    line["band"] = BandName(r, band.row);
    line["nominalHz"] = JsonReal(band.nominalHz);
    for (int q = 0; q < ISO_PAIR_QUANTITY_COUNT; ++q) {
      const IsoPairQuantity quantity = static_cast<IsoPairQuantity>(q);
      if (PairHas(pair, quantity))
        line[ISO_PAIR_QUANTITIES[q].key] = IsoCellJson(SpatialCell(r, band.row, quantity), false);
    }
    bands.push_back(std::move(line));
  }
  Json& singles = block["singleNumbers"];
  for (int s = 0; s < ISO_PAIR_SINGLE_COUNT; ++s) {
    const IsoPairSingle single = static_cast<IsoPairSingle>(s);
    if (PairHas(pair, single))
      singles[ISO_PAIR_SINGLES[s].key] = IsoCellJson(SpatialSingleCell(r, single), false);
  }
}

// The bands, both channels' values, noise correction and the rows between
// the channels; with --evaluation iso only the facts of the run and the ISO
// blocks (the plug-in's values are left out).
void AddResults(const FileResult& r, Json& o) {
  const int columns = BandRowCount(r.ThirdOctave());
  Json& bands = o["bands"] = Json::array();
  for (int b = 0; b < columns; ++b) bands.push_back(BandName(r, b));
  const bool plugin = r.request.evaluation != Evaluation::Iso;
  Json& channels = o["channels"] = Json::array();
  for (int c = 0; c < r.ChannelCount(); ++c) {
    Json channel;
    channel["channel"] = ChannelName(r, c);
    channel["firstArrival"] = FirstArrivalJson(r, c);
    if (plugin) {
      Json& channelBands = channel["bands"] = Json::array();
      for (int b = 0; b < columns; ++b) channelBands.push_back(BandJson(r, c, b));
    }
    if (r.request.evaluation != Evaluation::Plugin) AddIso(r, c, channel);
    channels.push_back(std::move(channel));
  }
  if (r.request.evaluation != Evaluation::Plugin) AddPairIso(r, o);
  if (!plugin) return;
  Json& corrected = o["noiseCorrected"] = Json::array();
  for (int b = 0; b < columns; ++b) corrected.push_back(NoiseCorrectionState(r, b).computed);
  Json& pairs = o["interChannel"] = Json::array();
  for (int b = 0; b < columns; ++b) {
    Json band;
    band["band"] = BandName(r, b);
    for (int i = 0; i < PAIR_ROW_COUNT; ++i) {
      const PairRow row = static_cast<PairRow>(i);
      band[PAIR_ROWS[i].name] = ValueJson(PairState(r, row, b), JsonReal(PairValue(r, row, b)));
    }
    pairs.push_back(std::move(band));
  }
  o["report"] = r.outcome.report;
}

}  // namespace

Json FileJson(const FileResult& r) {
  Json o;
  o["schemaVersion"] = JSON_SCHEMA_VERSION;
  o["file"] = r.input.path;
  o["status"] = StatusName(r);
  o["exitCode"] = r.outcome.exitCode;
  if (!r.outcome.error.empty()) o["error"] = r.outcome.error;
  if (!r.outcome.refusal.empty()) o["reason"] = r.outcome.refusal;
  if (r.input.audio.fileChannels > 0) o["audio"] = AudioJson(r.input.audio);
  if (r.input.deconvolution)
    o["deconvolution"] = Json::parse(sweep::DeconvolutionFactsToJson(*r.input.deconvolution));
  AddOffer(r, o);
  if (!r.confirmation.settingsBytes.empty()) o["settings"] = SettingsJson(r);
  if (r.outcome.haveResults) AddResults(r, o);
  o["statusTexts"] = r.outcome.statusTexts;
  Json& messages = o["messages"] = Json::array();
  for (const PluginMessage& m : r.outcome.messages)
    messages.push_back({{"caption", m.caption}, {"text", m.text}});
  return o;
}

namespace {

Json StatisticJson(const Statistic& s) {
  Json cell = {{"mean", JsonOptional(s.mean, s.count > 0)},
               {"standardDeviation", JsonOptional(s.deviation, s.count > 1)},
               {"count", s.count},
               {"positions", s.positions},
               {"missing", s.missing},
               {"flagged", s.flagged},
               {"fewerThanHalf", s.fewerThanHalf}};
  Json& leftOut = cell["leftOut"] = Json::array();
  for (const LeftOutValue& v : s.leftOut) {
    leftOut.push_back({{"file", v.file},
                       {"channel", v.channel},
                       {"reason", v.reason},
                       {"sentence", v.sentence},
                       {"flagged", v.flagged}});
  }
  return cell;
}

// The bands of an average group: the plug-in's rows, or (iso) ISO 3382's values.
Json AverageBandsJson(const Average& average, const AverageGroup& group, bool iso) {
  Json rows = Json::array();
  const int bands = BandRowCount(average.thirdOctave);
  for (int band = 0; band < bands; ++band) {
    Json line;
    line["band"] = BandName(average.thirdOctave, band);
    if (iso) {
      for (int p = 0; p < ISO_PARAMETER_COUNT; ++p)
        line[ISO_PARAMETERS[p].key] = StatisticJson(group.iso[band][p]);
    } else {
      for (int row : GroupRows(group.channel)) line[RowName(row)] = StatisticJson(group.cells[band][row]);
    }
    rows.push_back(std::move(line));
  }
  return rows;
}

Json DifferenceJson(const Difference& d) {
  Json cell = {{"a", JsonOptional(d.a, d.bothComputed)},
               {"b", JsonOptional(d.b, d.bothComputed)},
               {"difference", JsonOptional(d.difference, d.bothComputed)},
               {"unit", d.unit},
               {"jnd", JsonOptional(d.jnd, d.jnd > 0.0)},
               {"aboveJnd", Judged(d) ? Json(d.noticeable) : Json(nullptr)},
               {"flagged", d.flagged},
               {"belowIsoRange", d.belowRange}};
  if (!d.reasonA.empty()) cell["reasonA"] = d.reasonA;
  if (!d.reasonB.empty()) cell["reasonB"] = d.reasonB;
  return cell;
}

Json ComparedChannelsJson(const Comparison& comparison, bool iso) {
  Json channels = Json::array();
  const DifferenceGrid& grid = iso ? comparison.iso : comparison.cells;
  const int bands = BandRowCount(comparison.thirdOctave);
  for (size_t c = 0; c < grid.size(); ++c) {
    Json channel;
    channel["channel"] = comparison.channels[c];
    Json& rows = channel["bands"] = Json::array();
    for (int band = 0; band < bands; ++band) {
      Json line;
      line["band"] = BandName(comparison.thirdOctave, band);
      if (iso) {
        for (int p = 0; p < ISO_PARAMETER_COUNT; ++p)
          line[ISO_PARAMETERS[p].key] = DifferenceJson(grid[c][band][p]);
      } else {
        for (int row : GroupRows(comparison.channels[c]))
          line[RowName(row)] = DifferenceJson(grid[c][band][row]);
      }
      rows.push_back(std::move(line));
    }
    channels.push_back(std::move(channel));
  }
  return channels;
}

}  // namespace

Json AverageJson(const Average& average) {
  Json o;
  o["fileCount"] = average.fileCount;
  o["files"] = average.files;
  o["includeFlagged"] = average.includeFlagged;
  Json& leftOutFiles = o["leftOutFiles"] = Json::array();
  for (const LeftOutFile& f : average.leftOutFiles)
    leftOutFiles.push_back({{"file", f.file}, {"status", f.status}, {"reason", f.reason}});
  Json& groups = o["groups"] = Json::array();
  for (const AverageGroup& group : average.groups) {
    Json g;
    g["channel"] = group.channel;
    g["bands"] = AverageBandsJson(average, group, false);
    // The ISO 3382 evaluation's means, never mixed with the plug-in's.
    if (group.hasIso) g["iso3382"] = AverageBandsJson(average, group, true);
    groups.push_back(std::move(g));
  }
  return o;
}

Json ComparisonJson(const Comparison& comparison) {
  Json o;
  o["a"] = comparison.fileA;
  o["b"] = comparison.fileB;
  o["pair"] = comparison.pair.empty() ? Json(nullptr) : Json(comparison.pair);
  o["channels"] = ComparedChannelsJson(comparison, false);
  if (comparison.hasIso) o["iso3382"] = {{"channels", ComparedChannelsJson(comparison, true)}};
  return o;
}

const JsonLayout& FileLayout() {
  static const JsonLayout layout{
      {"", "/audio", "/settings", "/channels", "/channels/*", "/channels/*/bands", "/channels/*/iso",
       "/channels/*/iso/bands", "/interChannel", "/pairIso", "/pairIso/bands"},
      {}};
  return layout;
}

const JsonLayout& AverageLayout() {
  static const JsonLayout layout{{"", "/leftOutFiles", "/groups", "/groups/*/bands", "/groups/*/iso3382"},
                                 {}};
  return layout;
}

const JsonLayout& ComparisonLayout() {
  static const JsonLayout layout{
      {"", "/channels", "/channels/*/bands", "/iso3382", "/iso3382/channels", "/iso3382/channels/*/bands"},
      {}};
  return layout;
}

std::string FormatJson(const std::vector<FileResult>& results, const JsonExtras& extras) {
  Json files = Json::array();
  for (const FileResult& r : results) files.push_back(FileJson(r));
  if (!extras.averageAsked && !extras.comparisonAsked) {
    JsonLayout layout = FileLayout().Under("/*");
    layout.broken.push_back("");
    return WriteJson(files, layout) + "\n";
  }
  Json document;
  JsonLayout layout{{"/files"}, {""}};
  document["files"] = std::move(files);
  layout.Add(FileLayout().Under("/files/*"));
  if (extras.averageAsked) {
    document["average"] = extras.average ? AverageJson(*extras.average) : Json(nullptr);
    layout.Add(AverageLayout().Under("/average"));
  }
  if (extras.comparisonAsked) {
    document["comparison"] = extras.comparison ? ComparisonJson(*extras.comparison) : Json(nullptr);
    layout.Add(ComparisonLayout().Under("/comparison"));
  }
  return WriteJson(document, layout) + "\n";
}

}  // namespace cli
