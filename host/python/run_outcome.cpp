#include "host/python/run_outcome.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/cli/cells.h"
#include "interface/bands.h"

namespace py = pybind11;

namespace pyhost {
namespace {

py::object Number(double value) { return std::isfinite(value) ? py::object(py::float_(value)) : py::none(); }

py::array_t<double> Array(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::dict CellDict(const cli::IsoCell& cell, bool withWarnings) {
  py::dict o;
  o["value"] = cell.present ? Number(cell.value) : py::none();
  o["valid"] = cell.valid;
  o["reasons"] = cell.reasons;
  if (withWarnings) o["warnings"] = cell.warnings;
  return o;
}

py::dict SpatialDict(const cli::SpatialValue& value) {
  py::dict o;
  o["value"] = Number(value.value);
  o["valid"] = value.Valid() && std::isfinite(value.value);
  o["reasons"] = value.reasons;
  return o;
}

const char* IsoBandKey(bool thirdOctave, int row) {
  return row == 0 ? "broadband" : BandColumns(thirdOctave)[row].nominalLabel;
}

py::dict IsoBandDict(const cli::FileResult& result, int channel, int row,
                     const cli::IsoBandEvaluation& band) {
  const bool third = result.ThirdOctave();
  py::dict o;
  o["band"] = IsoBandKey(third, row);
  o["nominalHz"] = static_cast<double>(BandColumns(third)[row].nominalHz);
  const IsoBandResult& r = band.result;
  o["inrDb"] = band.evaluated ? Number(r.inrDb) : py::none();
  o["truncationSeconds"] = band.evaluated ? Number(r.truncationSeconds) : py::none();
  o["noiseDb"] = band.evaluated ? Number(r.noiseDb) : py::none();
  o["curvaturePercent"] = band.evaluated ? Number(r.curvaturePercent) : py::none();
  for (int p = 0; p < cli::ISO_PARAMETER_COUNT; ++p) {
    py::dict cell = CellDict(cli::IsoBandCell(result, channel, row, static_cast<cli::IsoParameter>(p)), true);
    const IsoDecayFit* fit = p == cli::ISO_T20 ? &r.t20 : p == cli::ISO_T30 ? &r.t30 : nullptr;
    if (fit != nullptr) {
      cell["xiPermille"] = band.evaluated ? Number(fit->xiPermille) : py::none();
      cell["uncertaintySeconds"] = band.evaluated ? Number(fit->uncertaintySeconds) : py::none();
    }
    o[cli::ISO_PARAMETERS[p].key] = cell;
  }
  return o;
}

}  // namespace

py::object IsoChannels(const cli::FileResult& result) {
  if (!cli::HasIso(result)) return py::none();
  py::list channels;
  const std::vector<cli::IsoChannelEvaluation>& evaluated = result.outcome.iso.channels;
  for (size_t c = 0; c < evaluated.size(); ++c) {
    const int channel = static_cast<int>(c);
    py::dict o;
    o["onsetSeconds"] = Number(evaluated[c].onsetSeconds);
    py::list bands;
    for (size_t row = 0; row < evaluated[c].bands.size(); ++row)
      bands.append(IsoBandDict(result, channel, static_cast<int>(row), evaluated[c].bands[row]));
    o["bands"] = bands;
    py::dict singles;
    for (int s = 0; s < cli::ISO_SINGLE_COUNT; ++s)
      singles[cli::ISO_SINGLES[s].key] =
          CellDict(cli::IsoSingleCell(result, channel, static_cast<cli::IsoSingle>(s)), false);
    o["singleNumbers"] = singles;
    channels.append(o);
  }
  return channels;
}

py::object PairIso(const cli::FileResult& result) {
  const cli::IsoPairEvaluation& pair = result.outcome.iso.pair;
  if (!cli::HasIso(result) || pair.kind == cli::PairKind::None) return py::none();
  const bool binaural = pair.kind == cli::PairKind::Binaural;
  py::dict o;
  o["pair"] = binaural ? "binaural" : "wy";
  py::list bands;
  for (const cli::IsoPairBand& band : pair.bands) {
    py::dict b;
    b["band"] = IsoBandKey(result.ThirdOctave(), band.row);
    b["nominalHz"] = band.nominalHz;
    if (binaural) {
      b["IACC_E"] = SpatialDict(band.iaccEarly);
      b["IACC_L"] = SpatialDict(band.iaccLate);
      b["IACC_A"] = SpatialDict(band.iaccAll);
    } else {
      b["JLF"] = SpatialDict(band.jlf);
      b["JLFC"] = SpatialDict(band.jlfc);
    }
    bands.append(b);
  }
  o["bands"] = bands;
  py::dict singles;
  if (binaural) {
    singles["oneMinusIACC_E3"] = SpatialDict(pair.oneMinusIaccE3);
  } else {
    singles["JLF"] = SpatialDict(pair.jlf);
    singles["JLFC"] = SpatialDict(pair.jlfc);
  }
  o["singleNumbers"] = singles;
  return o;
}

namespace {

// The plug-in's level curve of a band as the HTML report draws it: levels
// re the curve's start, times in seconds of the band's clock from the start
// of the selection, and each decay fit's line over the points it used.
py::object PluginCurve(const cli::FileResult& result, int channel, int band) {
  const hostkit::BandRecord& rec = result.outcome.record.channels[channel].bands[band];
  if (!rec.analysed || rec.curve.index.empty()) return py::none();
  const double rate = rec.rateHz;
  const double reference = rec.curve.levelDb.front();
  std::vector<double> time, level;
  for (size_t i = 0; i < rec.curve.index.size(); ++i) {
    time.push_back(rec.curve.index[i] / rate);
    level.push_back(rec.curve.levelDb[i] - reference);
  }
  py::dict o;
  o["time"] = Array(time);
  o["level"] = Array(level);
  const uint32_t tail = rec.length - (rec.noiseCorrectionAsked ? rec.length / 10 : rec.length / 16);
  o["fitEndSeconds"] = tail / rate;
  o["endSeconds"] = rec.length / rate;
  o["arrivalSeconds"] = rec.arrival < rec.length ? py::object(py::float_(rec.arrival / rate)) : py::none();
  py::dict fits;
  for (int slot = 0; slot < PARAMS_PER_BAND; ++slot) {
    const int f = cli::FitOfSlot(slot);
    if (f < 0 || std::string(PARAMETERS[slot].unit) != "s") continue;
    const FitResult& fit = rec.outcome.fits[f];
    const cli::ValueState state = cli::ParameterState(result, channel, band, slot);
    py::dict line;
    line["computed"] = state.computed;
    line["reason"] = state.reason;
    std::vector<double> t, l;
    if (state.computed) {
      const double last = fit.firstIndex + (fit.pointCount ? fit.pointCount - 1 : 0);
      for (double index : {static_cast<double>(fit.firstIndex), last}) {
        t.push_back(index / rate);
        l.push_back(fit.centroidLevelDb + fit.slopeDbPerSample * (index - fit.centroidIndex) - reference);
      }
    }
    line["time"] = Array(t);
    line["level"] = Array(l);
    fits[PARAMETERS[slot].isoName] = line;
  }
  o["fits"] = fits;
  return o;
}

py::object Points(const std::vector<IsoPlotPoint>& points) {
  std::vector<double> t, l;
  for (const IsoPlotPoint& p : points) {
    t.push_back(p.seconds);
    l.push_back(p.levelDb);
  }
  return py::make_tuple(Array(t), Array(l));
}

// The ISO decay curve of a band (times from the onset, dB re E(onset)),
// the envelope with its noise level, the truncation point and the fits.
py::object IsoCurve(const cli::FileResult& result, int channel, int row) {
  const cli::IsoFileEvaluation& iso = result.outcome.iso;
  if (!iso.done || static_cast<size_t>(channel) >= iso.channels.size()) return py::none();
  const std::vector<cli::IsoBandEvaluation>& bands = iso.channels[channel].bands;
  if (static_cast<size_t>(row) >= bands.size() || !bands[row].evaluated || bands[row].plot.decay.empty())
    return py::none();
  const cli::IsoBandEvaluation& band = bands[row];
  py::dict o;
  o["decay"] = Points(band.plot.decay);
  o["envelope"] = Points(band.plot.envelope);
  o["noiseDb"] = Number(band.plot.noiseDb);
  o["truncationSeconds"] = Number(band.plot.truncationSeconds);
  py::dict fits;
  const IsoDecayFit* each[] = {&band.result.edt, &band.result.t20, &band.result.t30};
  for (int p = 0; p < 3; ++p) {
    const IsoDecayFit& fit = *each[p];
    const cli::IsoCell cell = cli::IsoBandCell(result, channel, row, static_cast<cli::IsoParameter>(p));
    py::dict line = CellDict(cell, true);
    std::vector<double> t, l;
    if (cell.present && std::isfinite(fit.startSeconds) && std::isfinite(fit.endSeconds)) {
      for (double s : {fit.startSeconds, fit.endSeconds}) {
        t.push_back(s);
        l.push_back(fit.interceptDb + fit.slopeDbPerSecond * s);
      }
    }
    line["time"] = Array(t);
    line["level"] = Array(l);
    line["rangeDb"] = py::make_tuple(fit.startDb, fit.endDb);
    fits[cli::ISO_PARAMETERS[p].key] = line;
  }
  o["fits"] = fits;
  return o;
}

}  // namespace

py::list DecayCurves(const cli::FileResult& result) {
  py::list channels;
  const int rows = BandRowCount(result.ThirdOctave());
  for (int c = 0; c < result.ChannelCount() && c < MAX_CHANNELS; ++c) {
    py::list bands;
    bool any = false;
    for (int row = 0; row < rows; ++row) {
      py::dict band;
      band["plugin"] = PluginCurve(result, c, row);
      band["iso"] = IsoCurve(result, c, row);
      any = any || !band["plugin"].is_none() || !band["iso"].is_none();
      bands.append(band);
    }
    if (!any) return py::list();
    channels.append(bands);
  }
  return channels;
}

}  // namespace pyhost
