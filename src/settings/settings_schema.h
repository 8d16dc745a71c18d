// The settings schema of types 25-27: these models keep their menu settings as a block of one
// byte per setting, laid out by a CSV file downloaded for the model. This is the in-memory model
// of that file (a meta record and the fields in file order), its loader, and the value rules the
// settings editor relies on: stepping, clamping, per-country defaults and visibility. Pure
// functions; all texts are valid UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvan {

// Payload index of the country setting when the schema names none.
inline constexpr int32_t kDefaultFwIndex = 62;
// The raw value that stands for "not set".
inline constexpr int32_t kUnsetValue = 255;
// Largest schema file the loader takes. A real schema is a few KiB (one row per setting byte);
// the limit keeps what a hostile file can make the loader allocate below 100 MiB (a minimal
// field row of a few bytes becomes a field of a few hundred). A larger file is refused as one
// that cannot be opened.
inline constexpr std::size_t kMaxSchemaFileBytes = std::size_t{1} << 20;

// Messages of LoadSettingsSchema.
inline constexpr std::string_view kSchemaOpenFailed = "CSV 열기 실패";
inline constexpr std::string_view kSchemaEmpty = "CSV 비어있음";
inline constexpr std::string_view kSchemaIndexMissing = "field index 누락";
inline constexpr std::string_view kSchemaIndexBeyondLength = "index가 byte_length 범위를 초과";

struct SchemaMeta {
  std::string schema_version;          // its decimal digits go into the packet
  int32_t byte_length = 0;             // payload length; 0: highest field index + 1
  int32_t fw_index = kDefaultFwIndex;  // payload index of the country setting
};

struct SettingField {
  int32_t index = 0;    // byte position in the payload
  int32_t display = 0;  // visibility mask: bit 0 TJK, bit 1 UZB, bit 2 RUS
  std::string category;
  std::string name;                  // "FW_Country" marks the country setting
  std::string type;                  // "enum", "toggle" or anything else (a number)
  std::vector<std::string> options;  // raw value k selects option k
  int32_t rus_default = 0;
  int32_t uzb_default = 0;
  int32_t tjk_default = 0;
  int32_t value = kUnsetValue;
  int32_t min = 0;
  int32_t max = 0;
  int32_t unit = 1;   // raw step
  int32_t scale = 1;  // the editor shows raw x scale
  std::string suffix;
  std::string hint;

  bool operator==(const SettingField&) const = default;
};

struct SettingsSchema {
  SchemaMeta meta;
  std::vector<SettingField> fields;
};

// The country of the settings; it chooses a field's default and whether the field is shown.
enum class SchemaCountry : int32_t { Tjk = 0, Uzb = 1, Rus = 2 };

// Type tests, ASCII case folded, the text compared whole (no trimming).
bool IsEnumField(const SettingField& field);
bool IsToggleField(const SettingField& field);

// Value rules, on signed 32-bit integers with division toward zero.
// lo when v < lo (tested first), hi when v > hi, else v.
int32_t Clamp(int32_t v, int32_t lo, int32_t hi);
// v rounded toward zero to a multiple of unit; v itself when unit <= 1.
int32_t StepDown(int32_t v, int32_t unit);
// (v + unit / 2) / unit * unit; v itself when unit <= 1. Computed in 64 bits: when that multiple
// lies above INT32_MAX the next lower multiple is returned.
int32_t StepNearest(int32_t v, int32_t unit);

// tjk_default, uzb_default, or rus_default for any other country value.
int32_t DefaultFor(const SettingField& field, SchemaCountry country);
// Bit 0, 1, or 2 (any other country value) of display.
bool IsVisible(const SettingField& field, SchemaCountry country);
// The country that raw value `v` of the country setting at `fwIndex` stands for: the first enum
// field at that index that decides, by its "RUS", "UZB" and "TJK" options or else by position
// (0 RUS, 1 UZB, 2 TJK); RUS when none decides.
SchemaCountry CountryOf(std::span<const SettingField> fields, int32_t fwIndex, int32_t v);

// Reads and normalises a schema file. On success `meta` and `fields` hold the schema. Fails
// with kSchemaOpenFailed (the file cannot be read, or is larger than kMaxSchemaFileBytes) or
// kSchemaEmpty (no kept row) leaving both untouched; with kSchemaIndexMissing or
// kSchemaIndexBeyondLength leaving them as read. `message` may be null.
bool LoadSettingsSchema(const std::filesystem::path& file, SchemaMeta& meta,
                        std::vector<SettingField>& fields, std::string* message = nullptr);
// The same over the file's bytes already in memory.
bool LoadSettingsSchemaBytes(std::string_view bytes, SchemaMeta& meta,
                             std::vector<SettingField>& fields, std::string* message = nullptr);

}  // namespace korvan
