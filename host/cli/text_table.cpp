#include "host/cli/text_table.h"

#include <algorithm>

namespace cli {

namespace {

// Columns a cell takes on a terminal: one per UTF-8 character ("r²", "±").
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

}  // namespace

std::vector<size_t> ColumnWidths(const std::vector<TextRows>& tables) {
  std::vector<size_t> widths;
  for (const TextRows& rows : tables) {
    for (const auto& row : rows) {
      if (widths.size() < row.size()) widths.resize(row.size(), 0);
      for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
  }
  return widths;
}

std::string AlignedTable(const TextRows& rows, const std::vector<size_t>& widths) {
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      const std::string pad(widths[i] - DisplayWidth(row[i]), ' ');
      if (i == 0) {
        line += row[i];
        line += pad;
      } else {
        line += "  ";
        line += pad;
        line += row[i];
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line;
    out += '\n';
  }
  return out;
}

std::string AlignedTable(const TextRows& rows) { return AlignedTable(rows, ColumnWidths({rows})); }

}  // namespace cli
