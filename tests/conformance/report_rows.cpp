// Markdown of the conformance report; see the header.
#include "tests/conformance/report_rows.h"

#include <cstdio>

namespace conformance {
namespace {

// Table cells may not hold a pipe or a line break.
std::string Cell(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '|') {
      out += "\\|";
    } else if (c == '\n') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

int PassCount(const Section& section) {
  int count = 0;
  for (const Row& row : section.rows) count += row.pass;
  return count;
}

std::string SectionTable(const Section& section, int* number) {
  std::string out =
      "| # | quantity | standard, clause | input | expected (source) | computed | tolerance | result |\n"
      "|---|---|---|---|---|---|---|---|\n";
  for (const Row& row : section.rows) {
    std::string result = row.pass ? "pass" : "**fail**";
    if (!row.verdict.empty()) result += ": " + row.verdict;
    out += "| " + std::to_string(++*number) + " | " + Cell(row.quantity) + " | " + Cell(row.clause) + " | " +
           Cell(row.input) + " | " + Cell(row.expected) + " | " + Cell(row.computed) + " | " +
           Cell(row.tolerance) + " | " + Cell(result) + " |\n";
  }
  return out;
}

}  // namespace

std::string Fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

std::string Signed(double value, int decimals) {
  std::string text = Fixed(value, decimals);
  return text[0] == '-' ? text : "+" + text;
}

std::string RenderReport(const std::vector<Section>& sections, const std::string& preamble) {
  int rows = 0, passed = 0;
  for (const Section& section : sections) {
    rows += static_cast<int>(section.rows.size());
    passed += PassCount(section);
  }
  std::string out = "# Conformance report\n\n" + preamble + "\n**" + std::to_string(passed) + " of " +
                    std::to_string(rows) +
                    " rows pass.**\n\n| section | rows | pass | fail |\n|---|---|---|---|\n";
  for (const Section& section : sections) {
    const int n = static_cast<int>(section.rows.size()), p = PassCount(section);
    out += "| " + section.title + " | " + std::to_string(n) + " | " + std::to_string(p) + " | " +
           std::to_string(n - p) + " |\n";
  }
  int number = 0;
  for (const Section& section : sections) {
    out += "\n## " + section.title + "\n\n" + section.introduction + "\n";
    if (!section.rows.empty()) out += "\n" + SectionTable(section, &number);
    if (!section.appendix.empty()) out += "\n" + section.appendix;
  }
  return out;
}

}  // namespace conformance
