#include "settings/settings_schema.h"

#include <array>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <system_error>
#include <utility>

#include "settings/parameters_ini.h"
#include "settings/schema_csv.h"

namespace korvan {
namespace {

constexpr std::array<std::string_view, 3> kCountryOptions = {"RUS", "UZB", "TJK"};

void Report(std::string* message, std::string_view text) {
  if (message != nullptr) {
    *message = text;
  }
}

// The whole file, or nullopt when it is not a readable regular file within the size limit. A
// folder opens without error on Linux, so it is turned away before reading.
std::optional<std::string> ReadSchemaFile(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error) || error) {
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  // Read in pieces, whatever size the file claims, and stop one piece past the limit.
  std::string bytes;
  std::array<char, 16384> piece{};
  while (bytes.size() <= kMaxSchemaFileBytes) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    bytes.append(piece.data(), static_cast<std::size_t>(in.gcount()));
    if (!in) {
      break;
    }
  }
  if (in.bad() || bytes.size() > kMaxSchemaFileBytes) {
    return std::nullopt;
  }
  return bytes;
}

// Column positions by trimmed, lower-cased header name; a repeated name keeps its last position.
class Columns {
 public:
  explicit Columns(const SchemaRow& header) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      positions_[AsciiLower(TrimSchemaText(header[i]))] = i;
    }
  }

  // The raw cell of `row` in column `name`; empty when the header or the row lacks it.
  std::string_view Cell(const SchemaRow& row, std::string_view name) const {
    const auto found = positions_.find(name);
    if (found == positions_.end() || found->second >= row.size()) {
      return {};
    }
    return row[found->second];
  }

  int32_t Integer(const SchemaRow& row, std::string_view name) const {
    return ParseDecimalPrefix(Cell(row, name));
  }

  std::string Text(const SchemaRow& row, std::string_view name) const {
    return DecodeCellText(Cell(row, name));
  }

  std::string TrimmedText(const SchemaRow& row, std::string_view name) const {
    return std::string(TrimSchemaText(Text(row, name)));
  }

 private:
  std::map<std::string, std::size_t, std::less<>> positions_;
};

void ApplyMetaRow(const Columns& columns, const SchemaRow& row, SchemaMeta& meta) {
  const std::string key = columns.TrimmedText(row, "type");
  const std::string value = columns.TrimmedText(row, "rus_default");
  if (EqualsIgnoringAsciiCase(key, "schema_version")) {
    meta.schema_version = value;
  } else if (EqualsIgnoringAsciiCase(key, "byte_length")) {
    meta.byte_length = ParseDecimalPrefix(value);
  } else if (EqualsIgnoringAsciiCase(key, "fw_index")) {
    meta.fw_index = ParseDecimalPrefix(value);
  }
}

std::vector<std::string> SplitOptions(std::string_view text) {
  std::vector<std::string> options;
  for (;;) {
    const std::size_t bar = text.find('|');
    const std::string_view piece = TrimSchemaText(text.substr(0, bar));
    if (!piece.empty()) {
      options.emplace_back(piece);
    }
    if (bar == std::string_view::npos) {
      return options;
    }
    text.remove_prefix(bar + 1);
  }
}

void Normalise(SettingField& field) {
  if (field.display < 0) {
    field.display = 0;
  }
  if (field.min < 0) {
    field.min = 0;
  }
  if (field.max > 255) {
    field.max = 255;
  }
  if (field.min > field.max) {
    std::swap(field.min, field.max);
  }
  if (field.unit < 1) {
    field.unit = 1;
  }
  if (field.scale < 1) {
    field.scale = 1;
  }
  const bool toggle = IsToggleField(field);
  if (IsEnumField(field) && !field.options.empty()) {
    field.min = 0;
    // The option count is bounded by the file size, far below INT32_MAX.
    const auto last = static_cast<int32_t>(field.options.size() - 1);
    field.max = std::min(field.max, last);
  }
  if (toggle) {
    field.min = 0;
    field.max = 1;
    field.unit = 1;
  }
  for (int32_t* d : {&field.rus_default, &field.uzb_default, &field.tjk_default}) {
    *d = Clamp(StepNearest(*d, field.unit), field.min, field.max);
  }
  if (field.value != kUnsetValue) {
    field.value = toggle ? (field.value != 0 ? 1 : 0)
                         : Clamp(StepDown(field.value, field.unit), field.min, field.max);
  }
}

SettingField ReadFieldRow(const Columns& columns, const SchemaRow& row) {
  SettingField field;
  field.index = columns.Integer(row, "index");
  field.display = columns.Integer(row, "display");
  field.category = columns.Text(row, "category");
  field.name = columns.Text(row, "name");
  field.type = columns.Text(row, "type");
  field.options = SplitOptions(columns.Text(row, "options"));
  field.rus_default = columns.Integer(row, "rus_default");
  field.uzb_default = columns.Integer(row, "uzb_default");
  field.tjk_default = columns.Integer(row, "tjk_default");
  field.value = columns.Integer(row, "value");
  field.min = columns.Integer(row, "min");
  field.max = columns.Integer(row, "max");
  field.unit = columns.Integer(row, "unit");
  field.scale = columns.Integer(row, "scale");
  field.suffix = columns.TrimmedText(row, "suffix");
  // Only a hint cell that is empty as written falls back; one of blanks gives an empty hint.
  field.hint = columns.TrimmedText(row, columns.Cell(row, "hint").empty() ? "description" : "hint");
  Normalise(field);
  return field;
}

bool HasCountryOption(const SettingField& field) {
  for (const std::string& option : field.options) {
    for (const std::string_view country : kCountryOptions) {
      if (EqualsIgnoringAsciiCase(option, country)) {
        return true;
      }
    }
  }
  return false;
}

std::optional<int32_t> CountrySettingIndex(std::span<const SettingField> fields) {
  for (const SettingField& field : fields) {
    if (EqualsIgnoringAsciiCase(field.name, "FW_Country")) {
      return field.index;
    }
  }
  for (const SettingField& field : fields) {
    if (IsEnumField(field) && HasCountryOption(field)) {
      return field.index;
    }
  }
  return std::nullopt;
}

}  // namespace

bool IsEnumField(const SettingField& field) {
  return EqualsIgnoringAsciiCase(field.type, "enum");
}

bool IsToggleField(const SettingField& field) {
  return EqualsIgnoringAsciiCase(field.type, "toggle");
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) {
  if (v < lo) {
    return lo;
  }
  return v > hi ? hi : v;
}

int32_t StepDown(int32_t v, int32_t unit) {
  if (unit <= 1) {
    return v;
  }
  // Truncating division already rounds toward zero on both sides; 64 bits keep -INT32_MIN
  // representable.
  const int64_t wide = v;
  return static_cast<int32_t>(wide / unit * unit);
}

int32_t StepNearest(int32_t v, int32_t unit) {
  if (unit <= 1) {
    return v;
  }
  const int64_t stepped = (int64_t{v} + unit / 2) / unit * unit;
  // Only a v near INT32_MAX can round up past it; its magnitude never grows below zero.
  if (stepped > std::numeric_limits<int32_t>::max()) {
    return static_cast<int32_t>(stepped - unit);
  }
  return static_cast<int32_t>(stepped);
}

int32_t DefaultFor(const SettingField& field, SchemaCountry country) {
  switch (country) {
    case SchemaCountry::Tjk:
      return field.tjk_default;
    case SchemaCountry::Uzb:
      return field.uzb_default;
    default:
      return field.rus_default;
  }
}

bool IsVisible(const SettingField& field, SchemaCountry country) {
  switch (country) {
    case SchemaCountry::Tjk:
      return (field.display & 1) != 0;
    case SchemaCountry::Uzb:
      return (field.display & 2) != 0;
    default:
      return (field.display & 4) != 0;
  }
}

SchemaCountry CountryOf(std::span<const SettingField> fields, int32_t fwIndex, int32_t v) {
  for (const SettingField& field : fields) {
    if (field.index != fwIndex || !IsEnumField(field)) {
      continue;
    }
    // Positions of RUS, UZB, TJK; the last occurrence counts, -1 when absent.
    std::array<int64_t, 3> positions = {-1, -1, -1};
    for (std::size_t k = 0; k < field.options.size(); ++k) {
      for (std::size_t c = 0; c < kCountryOptions.size(); ++c) {
        if (EqualsIgnoringAsciiCase(field.options[k], kCountryOptions[c])) {
          positions[c] = static_cast<int64_t>(k);
        }
      }
    }
    if (v == positions[2]) {
      return SchemaCountry::Tjk;
    }
    if (v == positions[1]) {
      return SchemaCountry::Uzb;
    }
    if (v == positions[0]) {
      return SchemaCountry::Rus;
    }
    switch (v) {
      case 0:
        return SchemaCountry::Rus;
      case 1:
        return SchemaCountry::Uzb;
      case 2:
        return SchemaCountry::Tjk;
      default:
        break;
    }
  }
  return SchemaCountry::Rus;
}

bool LoadSettingsSchema(const std::filesystem::path& file, SchemaMeta& meta,
                        std::vector<SettingField>& fields, std::string* message) {
  const std::optional<std::string> bytes = ReadSchemaFile(file);
  if (!bytes) {
    Report(message, kSchemaOpenFailed);
    return false;
  }
  return LoadSettingsSchemaBytes(*bytes, meta, fields, message);
}

bool LoadSettingsSchemaBytes(std::string_view bytes, SchemaMeta& meta,
                             std::vector<SettingField>& fields, std::string* message) {
  if (bytes.size() > kMaxSchemaFileBytes) {
    Report(message, kSchemaOpenFailed);
    return false;
  }
  SchemaRowReader reader(bytes);
  SchemaRow row;
  if (!reader.Next(row)) {
    Report(message, kSchemaEmpty);
    return false;
  }
  const Columns columns(row);

  meta = SchemaMeta{};
  fields.clear();
  while (reader.Next(row)) {
    const std::string kind = AsciiLower(columns.Cell(row, "rowtype"));
    if (kind == "meta") {
      ApplyMetaRow(columns, row, meta);
    } else if (kind == "field") {
      fields.push_back(ReadFieldRow(columns, row));
    }
  }

  if (meta.fw_index < 0) {
    meta.fw_index = kDefaultFwIndex;
  }
  if (const std::optional<int32_t> country = CountrySettingIndex(fields)) {
    meta.fw_index = *country;
  }
  if (meta.byte_length < 0) {
    meta.byte_length = 0;
  }
  for (const SettingField& field : fields) {
    if (field.index < 0) {
      Report(message, kSchemaIndexMissing);
      return false;
    }
    if (meta.byte_length != 0 && field.index >= meta.byte_length) {
      Report(message, kSchemaIndexBeyondLength);
      return false;
    }
  }
  return true;
}

}  // namespace korvan
