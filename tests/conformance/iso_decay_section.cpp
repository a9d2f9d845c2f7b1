// The ISO 3382 decay section of the report: synthetic decays through the
// host's ISO evaluation (cli::EvaluateIsoFile), as the command line runs it.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "interface/bands.h"
#include "tests/conformance/iso_sections.h"
#include "tests/conformance/synthetic_runs.h"

namespace conformance {
namespace {

constexpr double DECAY_60 = 13.815510557964274;  // ln(10^6)
constexpr int REALISATIONS = 4;
constexpr uint32_t FIRST_SEED = 101;
constexpr double CLEAN_INR_DB = 70.0;

const char* OctaveLabel(int row) { return OCTAVE_BANDS[row].nominalLabel; }

cli::IsoFileEvaluation EvaluateMono(const std::vector<float>& samples, bool thirdOctave) {
  cli::IsoRequest request;
  request.thirdOctave = thirdOctave;
  return EvaluateIso(samples, 1, request);
}

const IsoDecayFit& FitOf(const IsoBandResult& band, int which) {
  return which == 0 ? band.edt : which == 1 ? band.t20 : band.t30;
}
const char* FIT_NAMES[] = {"EDT", "T20", "T30"};

// sigma of ISO 3382-2:2008 7.2 for the mean of `positions` responses.
double Sigma(double t, double nominalHz, int rangeDb, int positions) {
  return IsoReverberationUncertaintySeconds(t, IsoNominalBandwidthHz(nominalHz, false), rangeDb, 10,
                                            positions);
}

// Decaying noise of one T, REALISATIONS seeds, mean fitted T per band.
void AddCleanDecayRows(double t60, Section& section) {
  const int rows[] = {3, 6, 8};
  double sum[3][3] = {};
  int flagged[3][3] = {};
  uint32_t reasons[3][3] = {};
  for (int k = 0; k < REALISATIONS; ++k) {
    const cli::IsoFileEvaluation eval =
        EvaluateMono(DecayingNoise(t60, CLEAN_INR_DB, FIRST_SEED + static_cast<uint32_t>(k)), false);
    for (int b = 0; b < 3; ++b) {
      const IsoBandResult& band = eval.channels[0].bands[static_cast<size_t>(rows[b])].result;
      for (int f = 0; f < 3; ++f) {
        sum[b][f] += FitOf(band, f).time.value;
        flagged[b][f] += FitOf(band, f).time.reasons != 0;
        reasons[b][f] |= FitOf(band, f).time.reasons;
      }
    }
  }
  for (int b = 0; b < 3; ++b) {
    for (int f = 0; f < 3; ++f) {
      const double mean = sum[b][f] / REALISATIONS;
      // EDT reads 10 dB of the decay: about twice the scatter of T20's 20 dB.
      const double sigma = f == 0 ? 2 * Sigma(t60, OctaveCentreHz(rows[b]), 20, REALISATIONS)
                                  : Sigma(t60, OctaveCentreHz(rows[b]), f == 1 ? 20 : 30, REALISATIONS);
      Row r;
      r.quantity =
          std::string(FIT_NAMES[f]) + ", " + OctaveLabel(rows[b]) + " Hz octave, T = " + Fixed(t60, 1) + " s";
      r.clause = f == 0 ? "ISO 3382-1:2009 A.2.1, 3382-2:2008 5.3" : "ISO 3382-2:2008 5.3, A.2";
      r.input = "decaying noise with a direct sound (LCG seeds " + std::to_string(FIRST_SEED) + ".." +
                std::to_string(FIRST_SEED + REALISATIONS - 1) + ", mean of " + std::to_string(REALISATIONS) +
                "), floor " + Fixed(CLEAN_INR_DB, 0) + " dB below, 44100 Hz, octave mode";
      r.expected = Fixed(t60, 3) + " s (the decay's own T)";
      r.computed = Fixed(mean, 4) + " s (" + Signed(100 * (mean / t60 - 1), 2) + " %); " +
                   (flagged[b][f] ? "not valid in " + std::to_string(flagged[b][f]) + " of " +
                                        std::to_string(REALISATIONS) + ": " + ReasonText(reasons[b][f])
                                  : std::string("valid in all"));
      r.tolerance = "±" + Fixed(3 * sigma, 4) +
                    " s: 3 σ of the mean (ISO 3382-2 7.2, N = " + std::to_string(REALISATIONS) +
                    (f == 0 ? ", twice T20's σ)" : ")");
      r.pass = std::fabs(mean - t60) <= 3 * sigma;
      if (!r.pass) r.verdict = "outside 3 σ";
      section.rows.push_back(r);
    }
  }
}

bool HasReason(uint32_t reasons, IsoReason bit) { return (reasons & bit) != 0; }

// A stationary floor at a stated INR: which fits stay valid (ISO 3382-1
// 5.3.3: the range's end at least 10 dB above the noise), the measured INR,
// and Lundeby's truncation against the decay's known crossing of the noise.
void AddNoiseRows(Section& section) {
  struct Case {
    double inrDb;
    bool t20Valid, t30Valid;
  } cases[] = {{60, true, true}, {40, true, false}, {25, false, false}};
  for (const Case& c : cases) {
    const cli::IsoFileEvaluation eval = EvaluateMono(DecayingNoise(1.0, c.inrDb, 27), false);
    const IsoBandResult& band = eval.channels[0].bands[6].result;
    const std::string input = "decaying noise T = 1.0 s (seed 27) plus stationary noise " +
                              Fixed(c.inrDb, 0) +
                              " dB below the decay's initial level, 44100 Hz, 2.2 s, octave mode";
    Row inr;
    inr.quantity = "INR, 1000 Hz octave, floor " + Fixed(c.inrDb, 0) + " dB";
    inr.clause = "ISO 3382-1:2009 5.3.3 (impulse-to-noise ratio)";
    inr.input = input;
    inr.expected = Fixed(c.inrDb, 1) + " dB (both noises white: the same ratio in every band)";
    inr.computed = Fixed(band.inrDb, 2) + " dB";
    inr.tolerance = "±2 dB (Lundeby's first line through one realisation)";
    inr.pass = std::fabs(band.inrDb - c.inrDb) <= 2.0;
    section.rows.push_back(inr);
    for (int f = 1; f <= 2; ++f) {
      const IsoDecayFit& fit = FitOf(band, f);
      const bool valid = f == 1 ? c.t20Valid : c.t30Valid;
      Row r;
      r.quantity = std::string(FIT_NAMES[f]) + " validity, 1000 Hz octave, INR " + Fixed(c.inrDb, 0) + " dB";
      r.clause = "ISO 3382-1:2009 5.3.3, Table 1 (INR ≥ " + std::string(f == 1 ? "35" : "45") + " dB)";
      r.input = input;
      r.expected = valid ? "valid, 1.000 s" : "not valid: inr-too-low";
      r.computed = Fixed(fit.time.value, 4) + " s, " + ReasonText(fit.time.reasons);
      r.tolerance = valid ? "±5 % (one realisation)" : "the reason given";
      r.pass = valid ? fit.time.Valid() && std::fabs(fit.time.value - 1.0) <= 0.05
                     : HasReason(fit.time.reasons, ISO_INR_TOO_LOW);
      section.rows.push_back(r);
    }
    // The band's mean square falls 60 dB per T from the onset and meets the
    // floor INR dB down.
    const double crossing = c.inrDb / 60.0,
                 truncation = band.truncationSeconds - eval.channels[0].onsetSeconds;
    Row t;
    t.quantity = "Lundeby truncation point, 1000 Hz octave, INR " + Fixed(c.inrDb, 0) + " dB";
    t.clause = "ISO 3382-1:2009 5.3.3 (Lundeby et al. 1995)";
    t.input = input;
    t.expected = Fixed(crossing, 3) + " s after the onset (INR · T / 60: the decay meets the noise)";
    t.computed = Fixed(truncation, 3) + " s";
    const double tolerance = std::fmax(0.1 * crossing, 2 * band.lundeby.blockSeconds);
    t.tolerance = "±" + Fixed(tolerance, 3) + " s: 10 % or two of Lundeby's last blocks (" +
                  Fixed(1000 * band.lundeby.blockSeconds, 1) + " ms), the larger";
    t.pass = std::fabs(truncation - crossing) <= tolerance;
    section.rows.push_back(t);
  }
}

// A 1 kHz tone whose energy envelope is e^(-13.82 t/T1) + g e^(-13.82 t/T2),
// starting 10 ms in, over a white floor 80 dB below: its decay curve in the
// 1 kHz octave is the closed form below, without a realisation's scatter.
std::vector<float> BentTone(double t1, double t2, double gDb) {
  const double g = std::pow(10.0, gDb / 10);
  const size_t n = static_cast<size_t>((0.02 + 2.5 * std::fmax(t1, t2) + 0.3) * SYNTH_RATE_HZ);
  std::vector<float> out(n);
  Lcg floorNoise{7};
  const double floorAmplitude = 0.5 * SYNTH_PEAK * 1e-4;
  for (size_t i = 0; i < n; ++i) {
    const double t = (static_cast<double>(i) - SYNTH_ARRIVAL) / SYNTH_RATE_HZ;
    double x = 0.0;
    if (t >= 0) {
      const double envelope = std::sqrt(std::exp(-DECAY_60 * t / t1) + g * std::exp(-DECAY_60 * t / t2));
      x = 0.5 * SYNTH_PEAK * envelope * std::sin(2 * M_PI * 1000.0 * t);
    }
    out[i] = static_cast<float>(x + floorAmplitude * floorNoise.Next());
  }
  return out;
}

struct ClosedFit {
  double t, xi;
};
// Least-squares line through 10 lg(S(t)/S(0)), S(t) = sum of T_i/13.82 g_i
// e^(-13.82 t/T_i) (the backward integral of the envelope), on the 1 kHz
// octave's sample grid (5512.5 Hz) where the level lies in [endDb, startDb].
ClosedFit FitClosedForm(double t1, double t2, double gDb, double startDb, double endDb) {
  const double g = std::pow(10.0, gDb / 10), rate = 44100.0 / 8;
  auto s = [&](double t) {
    return t1 * std::exp(-DECAY_60 * t / t1) + g * t2 * std::exp(-DECAY_60 * t / t2);
  };
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
  for (int i = 0;; ++i) {
    const double t = i / rate, level = 10 * std::log10(s(t) / s(0));
    if (level < endDb) break;
    if (level > startDb) continue;
    n += 1, sx += t, sy += level, sxx += t * t, sxy += t * level, syy += level * level;
  }
  const double cov = sxy - sx * sy / n, vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
  return {-60.0 / (cov / vx), 1000 * (1 - cov * cov / (vx * vy))};
}

Row BentRow(const std::string& quantity, const std::string& clause, const std::string& input,
            const std::string& expected, const std::string& computed, const std::string& tolerance,
            bool pass) {
  Row r;
  r.quantity = quantity;
  r.clause = clause;
  r.input = input;
  r.expected = expected;
  r.computed = computed;
  r.tolerance = tolerance;
  r.pass = pass;
  return r;
}

// Curvature and non-linearity of straight, gently bent and double-slope
// decays against the closed-form curve's own fit.
void AddBentRows(Section& section) {
  struct Case {
    double t1, t2, gDb;
    const char* name;
  } cases[] = {{1.0, 1.0, -400, "straight"}, {0.8, 1.6, -15, "gently bent"}, {0.5, 2.0, -20, "double slope"}};
  for (const Case& c : cases) {
    const IsoBandResult band = EvaluateMono(BentTone(c.t1, c.t2, c.gDb), false).channels[0].bands[6].result;
    const ClosedFit t20 = FitClosedForm(c.t1, c.t2, c.gDb, -5, -25),
                    t30 = FitClosedForm(c.t1, c.t2, c.gDb, -5, -35);
    const double curvature = 100 * (t30.t / t20.t - 1);
    const std::string input =
        std::string(c.name) + ": 1 kHz tone, energy envelope e^(-13.82 t/" + Fixed(c.t1, 1) + ")" +
        (c.gDb > -100 ? " + 10^(" + Fixed(c.gDb / 10, 1) + ") e^(-13.82 t/" + Fixed(c.t2, 1) + ")" : "") +
        ", white floor 80 dB below, 44100 Hz, 1 kHz octave";
    const std::string src = " (least squares on the closed-form decay curve)";
    const bool curved = curvature > 10, bentT30 = t30.xi > 10;
    section.rows.push_back(BentRow("T30, " + std::string(c.name), "ISO 3382-2:2008 5.3", input,
                                   Fixed(t30.t, 4) + " s" + src, Fixed(band.t30.time.value, 4) + " s",
                                   "±0.5 % (the filter's build-up and the floor)",
                                   std::fabs(band.t30.time.value / t30.t - 1) <= 0.005));
    section.rows.push_back(BentRow(
        "curvature C, " + std::string(c.name), "ISO 3382-2:2008 B.3", input,
        Fixed(curvature, 2) + " %" + src +
            (curved ? ", flagged curvature-above-10-percent" : ", not flagged"),
        Fixed(band.curvaturePercent, 2) + " %, T30: " + ReasonText(band.t30.time.reasons), "±0.5 % points",
        std::fabs(band.curvaturePercent - curvature) <= 0.5 &&
            HasReason(band.t30.time.reasons, ISO_CURVATURE_ABOVE_10_PERCENT) == curved));
    section.rows.push_back(
        BentRow("non-linearity ξ of T30, " + std::string(c.name), "ISO 3382-2:2008 B.3 (ξ = 1000 (1 - r²))",
                input, Fixed(t30.xi, 2) + " ‰" + src + (bentT30 ? ", flagged" : ", not flagged"),
                Fixed(band.t30.xiPermille, 2) + " ‰", "±max(0.3 ‰, 5 %)",
                std::fabs(band.t30.xiPermille - t30.xi) <= std::fmax(0.3, 0.05 * t30.xi) &&
                    HasReason(band.t30.time.reasons, ISO_NONLINEARITY_ABOVE_10_PERMILLE) == bentT30));
  }
}

// sigma of ISO 3382-2:2008 7.2 written out for the fitted T of one band.
Row UncertaintyRow(const IsoDecayFit& fit, int rangeDb, double nominalHz, bool thirdOctave,
                   const std::string& label) {
  const double t = fit.time.value, b = (thirdOctave ? 0.23 : 0.71) * nominalHz;
  const double k = rangeDb == 20 ? 0.88 : 0.55, c = rangeDb == 20 ? 1.90 : 1.52;
  const double hand = k * t * std::sqrt((1 + c / 10) / (1 * b * t));
  Row r;
  r.quantity = "σ(T" + std::to_string(rangeDb) + "), " + label;
  r.clause = "ISO 3382-2:2008 7.2 (integrated impulse response: n = 10, N = 1)";
  r.input = "decaying noise T = 1.0 s (seed 27), floor 60 dB below; the fitted T" + std::to_string(rangeDb) +
            " = " + Fixed(t, 4) + " s";
  r.expected = Fixed(hand, 5) + " s = " + Fixed(k, 2) + " · " + Fixed(t, 4) + " · sqrt((1 + " + Fixed(c, 2) +
               "/10) / (1 · " + Fixed(b, 2) + " · " + Fixed(t, 4) +
               ")), B = " + (thirdOctave ? "0.23" : "0.71") + " · " + Fixed(nominalHz, 0) +
               " Hz (hand computation)";
  r.computed = Fixed(fit.uncertaintySeconds, 5) + " s";
  r.tolerance = "±0.00001 s (the rounding of the fitted T shown)";
  r.pass = std::fabs(fit.uncertaintySeconds - hand) <= 1e-5;
  return r;
}

// The uncertainty rows, and the warning that the host gives every ISO value
// of a band whose filter meets no IEC 61260-1 class.
void AddUncertaintyAndWarningRows(const std::vector<BandVerdict>& verdicts, Section& section) {
  const std::vector<float> response = DecayingNoise(1.0, 60, 27);
  const cli::IsoFileEvaluation octave = EvaluateMono(response, false), third = EvaluateMono(response, true);
  for (int row : {3, 6}) {
    const IsoBandResult& band = octave.channels[0].bands[static_cast<size_t>(row)].result;
    const std::string label = std::string(OctaveLabel(row)) + " Hz octave";
    section.rows.push_back(UncertaintyRow(band.t20, 20, OctaveCentreHz(row), false, label));
    section.rows.push_back(UncertaintyRow(band.t30, 30, OctaveCentreHz(row), false, label));
  }
  section.rows.push_back(
      UncertaintyRow(third.channels[0].bands[17].result.t20, 20, 1000.0, true, "1000 Hz third octave"));
  for (const cli::IsoFileEvaluation* eval : {&octave, &third}) {
    std::string expected, computed;
    for (const BandVerdict& v : verdicts) {
      if (v.response->thirdOctave == eval->thirdOctave && v.iecClass == 0)
        expected += (expected.empty() ? "" : ", ") +
                    std::string(BandColumns(eval->thirdOctave)[v.response->row].nominalLabel);
    }
    for (const cli::IsoBandEvaluation& band : eval->channels[0].bands) {
      for (const std::string& w : band.warnings) {
        if (w == "filter-below-iec-class-2")
          computed += (computed.empty() ? "" : ", ") +
                      std::string(BandColumns(eval->thirdOctave)[band.row].nominalLabel);
      }
    }
    Row r;
    r.quantity = std::string("bands whose ISO values carry the warning filter-below-iec-class-2, ") +
                 (eval->thirdOctave ? "third octaves" : "octaves");
    r.clause = "IEC 61260-1:2014 5.10 (the band's class), as the hosts report it";
    r.input = "decaying noise T = 1.0 s (seed 27) through the host's ISO evaluation";
    r.expected = (expected.empty() ? "none" : expected) + " Hz (class none, measured in the filter section)";
    r.computed = (computed.empty() ? "none" : computed) + " Hz";
    r.tolerance = "the same bands";
    r.pass = expected == computed;
    section.rows.push_back(r);
  }
}

}  // namespace

Section IsoDecaySection(const std::vector<BandVerdict>& verdicts) {
  Section section;
  section.title = "ISO 3382-1/-2 decay evaluation";
  section.introduction =
      "The hosts' ISO 3382 evaluation of a file (`cli::EvaluateIsoFile`, host/cli/iso_evaluation.h), the "
      "code behind the command line's ISO values: the plug-in's own band signals (bit for bit), the onset at "
      "20 dB below the broadband peak, Lundeby's truncation with the noise subtracted and the late decay "
      "compensated, least-squares fits over 0/-10, -5/-25 and -5/-35 dB, the validity of each fit (INR, "
      "curvature, non-linearity), and the uncertainty of ISO 3382-2 7.2. One octave-band response of "
      "decaying "
      "noise scatters by about 2.5 % in T30 at 1 kHz, so the decays of known T are the mean of " +
      std::to_string(REALISATIONS) +
      " realisations, held to three standard deviations of that mean by the standard's own formula; a fit "
      "that the evaluation does not call valid is counted beside the value (in the 125 Hz octave, B·T is "
      "small and one realisation's fluctuations can exceed the 10 per mille non-linearity limit). Bent "
      "decays are made of a 1 kHz tone under a known energy envelope, whose decay curve in the 1 kHz octave "
      "is a closed form without scatter.\n";
  for (double t60 : {0.5, 1.0, 2.0}) AddCleanDecayRows(t60, section);
  AddNoiseRows(section);
  AddBentRows(section);
  AddUncertaintyAndWarningRows(verdicts, section);
  return section;
}

}  // namespace conformance
