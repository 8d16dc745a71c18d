// The text layer of the settings schema file: splitting the file's bytes into rows of cells,
// decoding a cell's UTF-8, trimming and ASCII-only case folding. Pure functions over bytes; the
// schema loader builds on them and the tests drive them by tables.
//
// Splitting rules: lines end at LF (a CR before it stays in the line); each line is split by
// itself, walking its bytes from outside quotes with the end of the line acting as one last ",".
//   - Outside quotes, "," closes the cell; '"' opens quotes and is dropped, also mid-cell; any
//     other byte is kept.
//   - Inside quotes, '""' gives one '"'; a single '"' closes the quotes; any other byte, ","
//     included, is kept.
//   - Quotes still open at the end of the line drop the cell they are in.
// A line whose cells are all empty (or that has none left) is skipped; a line of a lone CR is
// not empty and is kept. A UTF-8 byte-order mark is removed from the first cell of the first
// kept row only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvan {

using SchemaRow = std::vector<std::string>;

// The cells of one line, given without its LF.
SchemaRow SplitSchemaLine(std::string_view line);

// Reads the kept rows of a schema file one at a time, so a long file never has all of its rows
// in memory at once. `bytes` must outlive the reader.
class SchemaRowReader {
 public:
  explicit SchemaRowReader(std::string_view bytes) : rest_(bytes) {}

  // The next kept row into `cells`; false when the file has no more.
  bool Next(SchemaRow& cells);

 private:
  std::string_view rest_;
  bool ended_ = false;
  bool first_ = true;
};

// Every kept row of `bytes`, in file order.
std::vector<SchemaRow> SplitSchemaRows(std::string_view bytes);

// `bytes` read as UTF-8 with every malformed sequence replaced by U+FFFD (one per maximal
// invalid subpart, as the Windows decoder does), so the result is always valid UTF-8.
std::string DecodeCellText(std::string_view bytes);

// `text` without spaces, tabs, CRs and LFs at either end.
std::string_view TrimSchemaText(std::string_view text);

// `text` with its ASCII letters lower-cased; other bytes are kept.
std::string AsciiLower(std::string_view text);

// Equal when ASCII letters are folded; no other folding.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace korvan
