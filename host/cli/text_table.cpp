#include "host/cli/text_table.h"

#include <algorithm>

namespace cli {

std::vector<size_t> ColumnWidths(const std::vector<TextRows>& tables) {
  std::vector<size_t> widths;
  for (const TextRows& rows : tables) {
    for (const auto& row : rows) {
      if (widths.size() < row.size()) widths.resize(row.size(), 0);
      for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
  }
  return widths;
}

std::string AlignedTable(const TextRows& rows, const std::vector<size_t>& widths) {
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      const std::string pad(widths[i] - row[i].size(), ' ');
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
