// `ProcessValueForm`: what the settings dialog of types 25-27 decides, without a toolkit. It
// holds the model's settings schema, filled from the packet the device keeps, the country the
// settings are for, and the grid as groups of properties with their entries and value texts;
// the wx dialog draws it and reports the user's choices back, and the command line plays it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_packet.h"
#include "settings/settings_schema.h"

namespace korvan {

// The packet in a settings unit read from the device: its header and payload when the length
// field fits the unit, else the whole unit (whose parse then fails on the length).
std::span<const uint8_t> SettingsPacketFrame(std::span<const uint8_t, 1024> unit);

// The entries of a toggle, raw 0 then raw 1.
inline constexpr std::string_view kToggleOff = "Вык";
inline constexpr std::string_view kToggleOn = "Вкл";

// One row of the grid: a field shown as a list of choices.
struct GridProperty {
  size_t field = 0;  // position in the schema's field list
  std::string name;
  std::string description;  // the hint, its "\n" and "\u2028" written as line breaks
  std::vector<std::string> options;
  std::string value;  // the value text the row shows
  // A numeric field: the raw value behind each option.
  std::vector<int32_t> rawValues;
};

// The fields of one category, in the order of their first visible field.
struct GridGroup {
  std::string category;
  std::vector<GridProperty> properties;
};

class ProcessValueForm {
 public:
  explicit ProcessValueForm(std::filesystem::path schemaPath);

  // Loads the schema when none is loaded yet (the message tells why it failed).
  bool EnsureSchema(std::string& message);
  // The schema (loaded on first use), then the device's packet in `frame`. On success the
  // header and version of the frame are returned and the country, the grid and the country
  // list's selection follow the device's values.
  bool LoadFromDevice(std::span<const uint8_t> frame, SettingsPacketHeader& header,
                      std::string& version, std::string& message);

  // The country list: the options of the country setting, and the entry it shows.
  const std::vector<std::string>& CountryEntries() const { return countryEntries_; }
  std::optional<int> CountrySelection() const { return countrySelection_; }
  SchemaCountry Country() const { return country_; }
  const std::vector<GridGroup>& Grid() const { return grid_; }
  const SettingsSchema& Schema() const { return schema_; }
  // The country setting: the first field at the schema's fw_index; null when there is none.
  const SettingField* CountryField() const;
  // The grid row of field `field`; null when the field is not shown.
  const GridProperty* Property(size_t field) const;

  // The user picked `text` in the row of field `field`. The row then shows the value the field
  // took, which is what the packet will carry.
  void OnPropertyChanged(size_t field, std::string_view text);
  // The user picked entry `selection` of the country list (negative: none).
  void OnCountryChanged(int selection);
  // "По умолч": every field, hidden ones and the country setting included, takes its default
  // for the current country.
  void OnDefaults();

  bool BuildUploadPacket(const SettingsPacketHeader& header, std::vector<uint8_t>& packet) const;

  // The text a numeric field shows for raw value `raw`: raw x scale, no decimals, a space and
  // the suffix (the space stays without a suffix).
  static std::string NumberText(const SettingField& field, int64_t raw);
  // The text the row of `field` shows for its value.
  static std::string ValueText(const SettingField& field);

 private:
  SettingField* MutableCountryField();
  GridProperty* MutableProperty(size_t field);
  void RefreshCountry();
  void FillCountryList();
  void SelectCountryEntry();
  void RebuildGrid();

  std::filesystem::path schemaPath_;
  SettingsSchema schema_;
  SchemaCountry country_ = SchemaCountry::Rus;
  std::vector<size_t> visible_;
  std::vector<GridGroup> grid_;
  std::vector<std::string> countryEntries_;
  std::optional<int> countrySelection_;
};

}  // namespace korvan
