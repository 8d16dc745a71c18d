// What the settings commands share: KEY=ENTRY arguments, quoting lists for messages, and
// padding columns of Cyrillic text.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace korvan::cli {

struct Assignment {
  std::string key;
  std::string entry;  // as the list shows it
};

// KEY=ENTRY, split at the first '=' (keys have none; they may have spaces). Every malformed or
// repeated one is told to `err`, then false.
bool ParseAssignments(const std::vector<std::string>& texts, std::vector<Assignment>& parsed,
                      std::ostream& err);

std::string Quoted(std::string_view text);

template <typename Texts>
std::string QuotedList(const Texts& texts) {
  std::string list;
  for (const auto& text : texts) {
    list += (list.empty() ? "" : ", ") + Quoted(text);
  }
  return list;
}

// `text` padded to `columns` characters (not bytes: the labels are Cyrillic).
std::string Padded(std::string_view text, size_t columns);

}  // namespace korvan::cli
