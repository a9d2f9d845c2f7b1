#include "host/cli/json_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/cli/text_encoding.h"

namespace cli {

namespace {

// Numbers written at a precision other than a double's 17 digits travel as
// binary values whose subtype is the number of significant digits: nothing
// else in a document is binary.
Json Digits(double value, int digits) {
  if (!std::isfinite(value)) return nullptr;
  std::vector<uint8_t> bytes(sizeof(double));
  std::memcpy(bytes.data(), &value, sizeof(double));
  return Json::binary(std::move(bytes), static_cast<std::uint8_t>(digits));
}

std::string NumberText(double value, int digits) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.*g", digits, value);
  return text;
}

class Writer {
 public:
  explicit Writer(const JsonLayout& layout) : layout_(layout) {}

  void Value(const Json& value, const std::string& path, const std::string& lineIndent) {
    switch (value.type()) {
      case Json::value_t::object:
      case Json::value_t::array:
        Container(value, path, lineIndent);
        break;
      case Json::value_t::string:
        out_ += JsonString(value.get_ref<const std::string&>());
        break;
      case Json::value_t::number_float:
        out_ += std::isfinite(value.get<double>()) ? NumberText(value.get<double>(), 17) : "null";
        break;
      case Json::value_t::binary: {
        const Json::binary_t& bytes = value.get_binary();
        double number = 0.0;
        std::memcpy(&number, bytes.data(), sizeof(double));
        out_ += NumberText(number, static_cast<int>(bytes.subtype()));
        break;
      }
      default:
        out_ += value.dump();  // integers, booleans, null
    }
  }

  std::string Text() const { return out_; }

 private:
  static bool Matches(const std::vector<std::string>& patterns, const std::string& path) {
    return std::find(patterns.begin(), patterns.end(), path) != patterns.end();
  }

  void Container(const Json& value, const std::string& path, const std::string& lineIndent) {
    const bool object = value.is_object();
    const bool flat = Matches(layout_.flat, path);
    const bool broken = flat || Matches(layout_.broken, path);
    const std::string inner = flat ? lineIndent : lineIndent + "  ";
    out_ += object ? '{' : '[';
    if (broken) out_ += '\n';
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (!first) out_ += broken ? ",\n" : ", ";
      first = false;
      if (broken) out_ += inner;
      if (object) out_ += JsonString(it.key()) + ": ";
      Value(*it, path + "/" + (object ? it.key() : std::string("*")), broken ? inner : lineIndent);
    }
    if (broken) out_ += (first ? "" : "\n") + lineIndent;
    out_ += object ? '}' : ']';
  }

  const JsonLayout& layout_;
  std::string out_;
};

}  // namespace

Json JsonReal(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }
Json JsonSingle(float value) { return Digits(value, 9); }
Json JsonLevel(double value) { return Digits(value, 6); }
Json JsonOptional(double value, bool present) { return present ? JsonReal(value) : Json(nullptr); }

JsonLayout JsonLayout::Under(const std::string& prefix) const {
  JsonLayout moved;
  for (const std::string& path : broken) moved.broken.push_back(prefix + path);
  for (const std::string& path : flat) moved.flat.push_back(prefix + path);
  return moved;
}

void JsonLayout::Add(const JsonLayout& other) {
  broken.insert(broken.end(), other.broken.begin(), other.broken.end());
  flat.insert(flat.end(), other.flat.begin(), other.flat.end());
}

std::string WriteJson(const Json& document, const JsonLayout& layout) {
  Writer writer(layout);
  writer.Value(document, "", "");
  return writer.Text();
}

}  // namespace cli
