#include "settings/schema_csv.h"

#include <algorithm>
#include <cstdint>

namespace korvan {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool IsTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool AllEmpty(const SchemaRow& cells) {
  return std::all_of(cells.begin(), cells.end(),
                     [](const std::string& cell) { return cell.empty(); });
}

}  // namespace

SchemaRow SplitSchemaLine(std::string_view line) {
  SchemaRow cells;
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (!quoted) {
      if (c == ',') {
        cells.push_back(std::move(cell));
        cell.clear();
      } else if (c == '"') {
        quoted = true;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else {
      cell += c;
    }
  }
  // The end of the line closes the last cell, unless an open quote swallows it.
  if (!quoted) {
    cells.push_back(std::move(cell));
  }
  return cells;
}

bool SchemaRowReader::Next(SchemaRow& cells) {
  while (!ended_) {
    const std::size_t end = rest_.find('\n');
    const std::string_view line = rest_.substr(0, end);
    if (end == std::string_view::npos) {
      ended_ = true;
      rest_ = {};
    } else {
      rest_.remove_prefix(end + 1);
    }
    cells = SplitSchemaLine(line);
    if (AllEmpty(cells)) {
      continue;
    }
    if (first_) {
      first_ = false;
      if (cells.front().starts_with(kByteOrderMark)) {
        cells.front().erase(0, kByteOrderMark.size());
      }
    }
    return true;
  }
  cells.clear();
  return false;
}

std::vector<SchemaRow> SplitSchemaRows(std::string_view bytes) {
  std::vector<SchemaRow> rows;
  SchemaRowReader reader(bytes);
  SchemaRow cells;
  while (reader.Next(cells)) {
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::string DecodeCellText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<uint8_t>(bytes[i]);
    if (lead < 0x80) {
      text += bytes[i++];
      continue;
    }
    // Sequence length and the allowed range of the second byte; later bytes are 80..BF. The
    // narrowed ranges after E0, ED, F0 and F4 keep out overlong forms, surrogates and values
    // past U+10FFFF.
    std::size_t length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    std::size_t used = 1;
    while (used < length && i + used < bytes.size()) {
      const auto next = static_cast<uint8_t>(bytes[i + used]);
      if (next < low || next > high) {
        break;
      }
      low = 0x80;
      high = 0xBF;
      ++used;
    }
    // A broken sequence becomes one U+FFFD up to the byte that broke it, which then starts
    // the next character.
    if (length != 0 && used == length) {
      text.append(bytes.substr(i, length));
    } else {
      text.append(kReplacementCharacter);
    }
    i += used;
  }
  return text;
}

std::string_view TrimSchemaText(std::string_view text) {
  while (!text.empty() && IsTrimmed(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsTrimmed(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

}  // namespace korvan
