// The appendix of the filter section: ΔA of every band at the Table 1
// breakpoints, beside the class 1 and class 2 corridors there.
#include <cmath>
#include <string>

#include "interface/bands.h"
#include "tests/conformance/filter_section.h"
#include "tests/conformance/iec61260_limits.h"

namespace conformance {
namespace {

const char* EXPONENT_NAMES[] = {"-4",  "-3",  "-2",  "-1",  "-1/2", "-3/8", "-1/4", "-1/8", "0",
                                "1/8", "1/4", "3/8", "1/2", "1",    "2",    "3",    "4"};

// The played tone nearest omega.
size_t NearestTone(const BandResponse& r, double omega) {
  size_t best = 0;
  for (size_t i = 1; i < r.omega.size(); ++i) {
    if (std::fabs(std::log(r.omega[i] / omega)) < std::fabs(std::log(r.omega[best] / omega))) best = i;
  }
  return best;
}

std::string CorridorText(int filterClass, int b, double omega) {
  const Corridor c = AcceptanceCorridor(filterClass, b, omega);
  return std::isinf(c.maxDb) ? "≥ " + Fixed(c.minDb, 1) : Fixed(c.minDb, 1) + ".." + Fixed(c.maxDb, 1);
}

std::string ModeTable(const std::vector<BandVerdict>& verdicts, bool thirdOctave) {
  const int b = thirdOctave ? 3 : 1;
  const std::vector<Breakpoint> points = TableBreakpoints(b);
  std::string out = "| band | class |";
  std::string rule = "|---|---|";
  for (const char* name : EXPONENT_NAMES) {
    out += " G^" + std::string(name) + " |";
    rule += "---|";
  }
  out += "\n" + rule + "\n| Ω (Formula 9) | |";
  for (const Breakpoint& p : points) out += " " + Fixed(p.omega, 3) + " |";
  for (int filterClass : {1, 2}) {
    out += "\n| limits class " + std::to_string(filterClass) + " | |";
    for (const Breakpoint& p : points) out += " " + CorridorText(filterClass, b, p.omega) + " |";
  }
  for (const BandVerdict& v : verdicts) {
    const BandResponse& r = *v.response;
    if (r.thirdOctave != thirdOctave) continue;
    out += "\n| " + std::string(BandColumns(thirdOctave)[r.row].nominalLabel) + " Hz | " +
           (v.iecClass ? std::to_string(v.iecClass) : "none") + " |";
    for (const Breakpoint& p : points) {
      const size_t i = NearestTone(r, p.omega);
      out += " " + Fixed(r.attenuationDb[i] - r.referenceDb, 2) + " |";
    }
  }
  return out + "\n";
}

}  // namespace

std::string BreakpointAppendix(const std::vector<BandVerdict>& verdicts) {
  return "Relative attenuation ΔA in dB at the Table 1 breakpoints (the tone nearest each), octaves:\n\n" +
         ModeTable(verdicts, false) + "\nThird octaves:\n\n" + ModeTable(verdicts, true);
}

}  // namespace conformance
