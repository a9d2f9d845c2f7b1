// IEC 61260-1:2014 rows of the band filters; see the header.
#include "tests/conformance/filter_section.h"

#include <cmath>
#include <string>

#include "dsp/iso3382_filter_class.h"
#include "interface/bands.h"
#include "tests/conformance/iec61260_limits.h"

namespace conformance {
namespace {

std::string BandName(const BandResponse& r) {
  const BandColumn& column = BandColumns(r.thirdOctave)[r.row];
  return std::string(r.thirdOctave ? "third " : "octave ") + column.nominalLabel + " Hz (\"" +
         column.dialogName + "\")";
}

std::string ClassText(int iecClass) { return iecClass == 0 ? "none" : "class " + std::to_string(iecClass); }

// "+0.12 dB at Omega 0.707 (1234 Hz, image)": an image is a tone above the
// band rate's Nyquist frequency, folded into the band by the decimation.
std::string MarginText(const BandVerdict& v, int filterClass) {
  const BandResponse& r = *v.response;
  const double hz = v.marginOmega[filterClass] * r.midBandHz;
  std::string text = Signed(v.margin[filterClass], 2) + " dB at Ω " + Fixed(v.marginOmega[filterClass], 3) +
                     " (" + Fixed(hz, hz < 100 ? 1 : 0) + " Hz";
  if (hz > r.bandRateHz / 2) text += ", image";
  return text + ")";
}

double RelativeAt(const BandResponse& r, double omega) {
  size_t best = 0;
  for (size_t i = 1; i < r.omega.size(); ++i) {
    if (std::fabs(std::log(r.omega[i] / omega)) < std::fabs(std::log(r.omega[best] / omega))) best = i;
  }
  return r.attenuationDb[best] - r.referenceDb;
}

Row AttenuationRow(const BandVerdict& v) {
  const BandResponse& r = *v.response;
  Row row;
  row.quantity = "Relative attenuation ΔA(Ω), " + BandName(r);
  row.clause = "IEC 61260-1:2014 5.10, Table 1, Formulas (9)-(11)";
  row.input = std::to_string(r.omega.size()) + " tones from Ω " + Fixed(r.omega.front(), 3) + " to " +
              Fixed(r.omega.back(), 1) + " (" + Fixed(r.frequencyHz.front(), 1) + " to " +
              Fixed(r.frequencyHz.back(), 0) + " Hz) at 44100 Hz, band rate " + Fixed(r.bandRateHz, 2) +
              " Hz; fm = " + Fixed(r.midBandHz, 2) + " Hz";
  row.expected = "inside the class 1 corridor of Table 1 at every tone";
  row.computed = "worst margin class 1: " + MarginText(v, 1) + "; class 2: " + MarginText(v, 2);
  row.tolerance = "margin ≥ 0 dB";
  row.pass = v.margin[1] >= 0;
  row.verdict = v.margin[1] >= 0 ? "class 1" : v.margin[2] >= 0 ? "class 2, not class 1" : "neither class";
  return row;
}

Row BandwidthRow(const BandVerdict& v) {
  const BandResponse& r = *v.response;
  const double deviation = std::fabs(v.bandwidthDeviationDb);
  Row row;
  row.quantity = "Effective bandwidth deviation ΔB, " + BandName(r);
  row.clause = "IEC 61260-1:2014 5.12, Formulas (13), (15), (16)";
  row.input = "the tones of the row above, trapezoidal rule in ln Ω (IEC 61260-2:2016 7.2.3.2), Br = ln(G)/" +
              std::to_string(r.b);
  row.expected = "0 dB; |ΔB| ≤ 0.4 dB (class 1), 0.6 dB (class 2), 5.12";
  row.computed = "ΔB = " + Signed(v.bandwidthDeviationDb, 3) + " dB";
  row.tolerance = "0.4 dB";
  row.pass = deviation <= BandwidthDeviationLimitDb(1);
  row.verdict = row.pass                                    ? "class 1"
                : deviation <= BandwidthDeviationLimitDb(2) ? "class 2, not class 1"
                                                            : "neither class";
  return row;
}

}  // namespace

std::vector<BandVerdict> JudgeBands(const std::vector<BandResponse>& responses) {
  std::vector<BandVerdict> verdicts;
  for (const BandResponse& r : responses) {
    BandVerdict v;
    v.response = &r;
    std::vector<double> relative;
    for (int filterClass : {1, 2}) {
      v.margin[filterClass] = INFINITY;
      for (size_t i = 0; i < r.omega.size(); ++i) {
        const double margin = CorridorMargin(AcceptanceCorridor(filterClass, r.b, r.omega[i]),
                                             r.attenuationDb[i] - r.referenceDb);
        if (margin < v.margin[filterClass]) {
          v.margin[filterClass] = margin;
          v.marginOmega[filterClass] = r.omega[i];
        }
      }
    }
    for (double a : r.attenuationDb) relative.push_back(a - r.referenceDb);
    v.bandwidthDeviationDb = EffectiveBandwidthDeviationDb(r.omega, relative, r.b);
    const double deviation = std::fabs(v.bandwidthDeviationDb);
    if (v.margin[1] >= 0 && deviation <= BandwidthDeviationLimitDb(1)) {
      v.iecClass = 1;
    } else if (v.margin[2] >= 0 && deviation <= BandwidthDeviationLimitDb(2)) {
      v.iecClass = 2;
    }
    verdicts.push_back(v);
  }
  return verdicts;
}

namespace {

// The committed table against the measurement: class exactly, margins to the
// 0.01 dB they are kept with.
bool TableAgrees(const BandVerdict& v) {
  const BandFilterClass* entry = FindBandFilterClass(v.response->thirdOctave, v.response->row);
  return entry && entry->iecClass == v.iecClass && Fixed(entry->marginClass1Db, 2) == Fixed(v.margin[1], 2) &&
         Fixed(entry->marginClass2Db, 2) == Fixed(v.margin[2], 2);
}

Row TableRow(const std::vector<BandVerdict>& verdicts, bool* agrees) {
  int same = 0;
  std::string differing;
  for (const BandVerdict& v : verdicts) {
    if (TableAgrees(v)) {
      ++same;
    } else {
      differing += (differing.empty() ? "" : ", ") + BandName(*v.response);
    }
  }
  *agrees = same == static_cast<int>(verdicts.size());
  Row row;
  row.quantity = "Class of every band filter as the hosts read it";
  row.clause = "IEC 61260-1:2014 5.10, 5.12";
  row.input = "FindBandFilterClass (dsp/iso3382_filter_class.h) for the " + std::to_string(verdicts.size()) +
              " bands above";
  row.expected = "the measured class and margins of the rows above";
  row.computed = std::to_string(same) + " of " + std::to_string(verdicts.size()) + " agree" +
                 (differing.empty() ? "" : "; differing: " + differing);
  row.tolerance = "class exact, margins 0.01 dB";
  row.pass = *agrees;
  return row;
}

// Leakage of the octave below and above: ΔA at the neighbouring octave's
// mid-band frequency, over the nine octave filters.
Row NeighbourRow(const std::vector<BandVerdict>& verdicts, double omega, const std::string& which,
                 const std::string& expectedText, double limitDb) {
  double low = INFINITY, high = -INFINITY;
  for (const BandVerdict& v : verdicts) {
    if (v.response->thirdOctave) continue;
    const double a = RelativeAt(*v.response, omega);
    low = std::fmin(low, a);
    high = std::fmax(high, a);
  }
  Row row;
  row.quantity = "Leakage of the octave " + which + " (ΔA at its mid-band frequency)";
  row.clause = "IEC 61260-1:2014 Table 1, Ω = G^" + std::string(omega < 1 ? "-1" : "1");
  row.input = "the nine octave filters' tones nearest Ω = " + Fixed(omega, 4);
  row.expected = expectedText + "; Table 1: ≥ 16.6 dB (class 1)";
  row.computed = Fixed(low, 2) + " .. " + Fixed(high, 2) + " dB";
  row.tolerance = "≥ " + Fixed(limitDb, 1) + " dB";
  row.pass = low >= limitDb;
  return row;
}

std::string SummaryLine(const std::vector<BandVerdict>& verdicts, bool thirdOctave) {
  int counts[3] = {0, 0, 0};
  std::string none;
  for (const BandVerdict& v : verdicts) {
    if (v.response->thirdOctave != thirdOctave) continue;
    ++counts[v.iecClass];
    if (v.iecClass != 1) {
      none += std::string(none.empty() ? "" : ", ") + BandColumns(thirdOctave)[v.response->row].nominalLabel +
              " Hz: " + ClassText(v.iecClass);
    }
  }
  return std::string(thirdOctave ? "Third octaves" : "Octaves") + ": class 1 " + std::to_string(counts[1]) +
         ", class 2 " + std::to_string(counts[2]) + ", neither " + std::to_string(counts[0]) +
         (none.empty() ? "" : " (" + none + ")") + ".";
}

}  // namespace

Section FilterSection(const std::vector<BandVerdict>& verdicts, const ToneRunStats& stats,
                      bool* tableAgrees) {
  Section section;
  section.title = "IEC 61260-1:2014 band filters";
  section.introduction =
      "The plug-in's fixed sixth-order sections at 44100 Hz, measured through the real multirate path: the "
      "octave cascade of the band analysis (`FilterOctaveCascade`) and its third-octave pairs with the "
      "decimation low-pass (`FilterSixthOrderPair`), called as the driver calls them. The cascade keeps "
      "every "
      "second sample, so it is not time-invariant and no impulse response describes it; a steady tone stays "
      "one "
      "steady tone, folded about the multiples of each stage's rate. " +
      std::to_string(stats.tones) + " unit tones were played in " + std::to_string(stats.runs) +
      " multi-tone runs: each tone has a whole number of periods in the 4096-sample window read at the "
      "band's own "
      "rate after as many samples of settling, and no two tones of a run fold onto the same frequency there, "
      "so "
      "one DFT of the settled output separates them exactly. The tones follow IEC 61260-2:2016 Formula (1) "
      "(Ω_i = G^(i/(bS)), S = 24) from the lowest Table 1 breakpoint up to four times the band's rate (the "
      "images of the last decimations), then six per octave up to 22050 Hz, plus every Table 1 breakpoint "
      "and "
      "both sides of the band edges; each tone sits on the nearest bin, and the limits are taken at the Ω "
      "actually played. G = 10^(3/10); fm is the exact base-ten mid-band frequency of the band's nominal "
      "label "
      "(5.4), the reference attenuation that of the tone nearest fm. Limits between breakpoints are linear "
      "in "
      "lg Ω (5.10.6); the band edge belongs to the pass band.\n\n" +
      SummaryLine(verdicts, false) + "  \n" + SummaryLine(verdicts, true) + "\n";
  for (const BandVerdict& v : verdicts) section.rows.push_back(AttenuationRow(v));
  for (const BandVerdict& v : verdicts) section.rows.push_back(BandwidthRow(v));
  section.rows.push_back(NeighbourRow(verdicts, 1.0 / OCTAVE_RATIO_G, "below",
                                      "about 18 dB (README: the octave below passes at about -18 dB)", 16.6));
  section.rows.push_back(NeighbourRow(verdicts, OCTAVE_RATIO_G, "above",
                                      "about 30 dB (README: the octave above at -30 dB)", 16.6));
  section.rows.push_back(TableRow(verdicts, tableAgrees));
  section.appendix = BreakpointAppendix(verdicts);
  return section;
}

}  // namespace conformance
