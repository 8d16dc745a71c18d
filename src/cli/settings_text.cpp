#include "cli/settings_text.h"

#include <algorithm>

namespace korvan::cli {

bool ParseAssignments(const std::vector<std::string>& texts, std::vector<Assignment>& parsed,
                      std::ostream& err) {
  bool good = true;
  for (const std::string& text : texts) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
      err << "korvan: " << Quoted(text) << ": expected KEY=ENTRY, as in \"X OnOff=Вык\"\n";
      good = false;
      continue;
    }
    Assignment assignment{text.substr(0, equals), text.substr(equals + 1)};
    if (std::any_of(parsed.begin(), parsed.end(),
                    [&](const Assignment& a) { return a.key == assignment.key; })) {
      err << "korvan: " << Quoted(assignment.key) << " is given twice\n";
      good = false;
      continue;
    }
    parsed.push_back(std::move(assignment));
  }
  return good;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string Padded(std::string_view text, size_t columns) {
  const auto shown = static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
  return std::string(text) + std::string(columns > shown ? columns - shown : 0, ' ');
}

}  // namespace korvan::cli
