// How the command-line host writes numbers and texts into its machine
// formats: one rule each, for every output (csv, json, averages, the HTML
// page's data and the settings typed into the dialog).
#pragma once

#include <string>
#include <string_view>

namespace cli {

// Shortest decimal text that reads back as the same float or double.
std::string ExactText(float value);
std::string ExactText(double value);
// Short texts of numbers for people, one per purpose:
std::string LevelText(double db);         // a level given in the settings, 6 digits ("-0.1")
std::string CentreText(double hz);        // a band centre in Hz, 6 digits ("999.887")
std::string StatisticText(double value);  // a mean, deviation or difference, 4 digits
// A json string (the json writer writes every string so). UTF-8 text (file names) passes through; any other
// byte outside ASCII is written as the code point of the same value.
std::string JsonString(std::string_view text);
// A csv field (RFC 4180): quoted when it holds a comma, quote or line end.
std::string CsvField(std::string_view text);

}  // namespace cli
