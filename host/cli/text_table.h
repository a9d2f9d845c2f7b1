// The one aligned text table of the roomstat host (the table format's
// results, averages and differences): a left-aligned label column, the other
// columns right-aligned two spaces apart, no trailing spaces; widths count
// UTF-8 characters, not bytes.
#pragma once

#include <string>
#include <vector>

namespace cli {

using TextRows = std::vector<std::vector<std::string>>;

// Column widths wide enough for every row of several tables, so that tables
// printed one under the other (the channels of a file) line up.
std::vector<size_t> ColumnWidths(const std::vector<TextRows>& tables);

// The rows as lines, in the given widths or in their own.
std::string AlignedTable(const TextRows& rows, const std::vector<size_t>& widths);
std::string AlignedTable(const TextRows& rows);

}  // namespace cli
