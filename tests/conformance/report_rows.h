// The rows of the conformance report and their Markdown: one table per
// section, every row a quantity held against its expected value.
#pragma once

#include <string>
#include <vector>

namespace conformance {

struct Row {
  std::string quantity;
  std::string clause;    // standard and clause
  std::string input;     // how to reproduce it
  std::string expected;  // the expected value and its source
  std::string computed;
  std::string tolerance;
  bool pass = false;
  std::string verdict;  // shown after pass/fail, e.g. "class 2, not class 1"
};

struct Section {
  std::string title;
  std::string introduction;  // Markdown before the table
  std::vector<Row> rows;
  std::string appendix;  // Markdown after the table
};

// A number with a fixed count of decimals ("-0.00" is written "0.00").
std::string Fixed(double value, int decimals);
// A number with an explicit sign.
std::string Signed(double value, int decimals);

// The whole report: title, summary of every section, the sections.
std::string RenderReport(const std::vector<Section>& sections, const std::string& preamble);

}  // namespace conformance
