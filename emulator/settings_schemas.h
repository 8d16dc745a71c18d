// The settings schemas the update server publishes for the models that keep their menu settings
// as a settings packet (types 25-27). A schema is a UTF-8 CSV file with LF line ends: a header of
// column names, meta rows (schema_version, byte_length, fw_index) and one field row per setting,
// in display order. The settings editor downloads the model's schema from the download directory
// to learn which payload byte holds which setting.
//
// The schemas here fit the preset devices: byte_length is the preset packet's payload length,
// and every payload byte the presets write is a legal raw value of its field, with the country
// setting at RUS.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvan::emu {

// The models that have a settings schema on the server, ascending.
inline constexpr std::array<int8_t, 3> kSchemaModelTypes{25, 26, 27};

// The schema's file name in the download directory: "schema_Gorse.csv" (25),
// "schema_FernUltra.csv" (26), "schema_GorseTwo.csv" (27); empty for every other model.
std::string_view SettingsSchemaFileName(int8_t type);

// The whole schema file of `type`. Throws std::invalid_argument for a model without a schema.
std::string SettingsSchemaText(int8_t type);

}  // namespace korvan::emu
