#include "cli/json_text.h"

namespace korvan::cli {
namespace {

void Append(const nlohmann::ordered_json& value, std::string& out) {
  if (value.is_object()) {
    out += '{';
    bool first = true;
    for (const auto& [key, member] : value.items()) {
      out += first ? "" : ", ";
      first = false;
      out += nlohmann::ordered_json(key).dump();
      out += ": ";
      Append(member, out);
    }
    out += '}';
  } else if (value.is_array()) {
    out += '[';
    bool first = true;
    for (const auto& element : value) {
      out += first ? "" : ", ";
      first = false;
      Append(element, out);
    }
    out += ']';
  } else {
    // Texts stay UTF-8 as they are; invalid bytes are replaced rather than aborting output.
    out += value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
}

}  // namespace

std::string JsonLine(const nlohmann::ordered_json& value) {
  std::string out;
  Append(value, out);
  return out;
}

}  // namespace korvan::cli
