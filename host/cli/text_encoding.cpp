#include "host/cli/text_encoding.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace cli {

namespace {

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next >> 6) != 0x2) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    // The shortest form only, no surrogates, nothing past U+10FFFF: what
    // every strict reader (a browser, a json parser) accepts as UTF-8.
    static constexpr uint32_t SHORTEST[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (length > 1 && code < SHORTEST[length]) return false;
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

}  // namespace

std::string ExactText(float value) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
  return text;
}

std::string ExactText(double value) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.17g", value);
  return text;
}

namespace {
std::string Printed(const char* format, double value) {
  char text[40];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}
}  // namespace

std::string LevelText(double db) { return Printed("%.6g", db); }
std::string CentreText(double hz) { return Printed("%.6g", hz); }
std::string StatisticText(double value) { return Printed("%.4g", value); }

std::string JsonString(std::string_view text) {
  const bool utf8 = IsValidUtf8(text);
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
          char escape[8];
          std::snprintf(escape, sizeof(escape), "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace cli
