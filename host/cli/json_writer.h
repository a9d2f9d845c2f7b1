// The one json writer of the roomstat host. Documents are built as
// nlohmann::ordered_json values (keys keep the order they were added in);
// WriteJson lays them out: every container on one line unless its path is
// named in the layout, then one member per line, indented by two spaces
// from the line it starts on.
#pragma once

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace cli {

using Json = nlohmann::ordered_json;

// Numbers. A double is written with 17 significant digits (it reads back
// exactly), an integer as such; these give the other precisions, and null
// for a value that is not finite.
Json JsonReal(double value);                    // 17 significant digits
Json JsonSingle(float value);                   // 9: reads back as the same float
Json JsonLevel(double value);                   // 6: a level given in the settings ("-0.1", "-25")
Json JsonOptional(double value, bool present);  // JsonReal, or null when absent

// Which containers are written one member per line, by path: "" is the
// document itself, "/channels" a member, "/channels/*" every element of an
// array. Flat paths put their members at the indent of their own braces
// (the envelope of several documents).
struct JsonLayout {
  std::vector<std::string> broken;
  std::vector<std::string> flat;
  // The same layout below `prefix` ("/files/*").
  JsonLayout Under(const std::string& prefix) const;
  void Add(const JsonLayout& other);
};

// The document as text, without a final line end.
std::string WriteJson(const Json& document, const JsonLayout& layout);

}  // namespace cli
