// JSON as the command line prints it: one line, with a space after every ',' and ':' so
// that people can read it and scripts can parse it ([{"drive": 2, "rawType": 133}]).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace korvan::cli {

std::string JsonLine(const nlohmann::ordered_json& value);

}  // namespace korvan::cli
