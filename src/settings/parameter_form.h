// `ParameterForm`: what the menu settings dialog of the fixed-layout models decides, without a
// toolkit. It holds one selection per list, loads and saves them through Parameters.ini and
// knows which lists are disabled; the wx dialog and the command line show and drive it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/unit.h"
#include "settings/menu_settings.h"
#include "settings/parameters_ini.h"

namespace korvan {

class ParameterForm {
 public:
  ParameterForm(int8_t typeCode, uint8_t country, bool legacyModel, std::filesystem::path iniFile);

  // Each list's selection from Parameters.ini; a missing key or a value without entry selects
  // nothing.
  void Load();
  // Selects `entry` of list `index` (nullopt: no selection). An entry the list lacks selects
  // nothing, as a combo box would.
  void Select(int index, std::optional<int> entry);
  std::optional<int> Selection(int index) const;

  // "По умолч": writes the default stored values to Parameters.ini and selects their entries;
  // nothing goes to the device. False when the file could not be written.
  bool Defaults();

  struct OkResult {
    MenuValues values;                             // stored values, as written to the INI
    std::array<uint8_t, kMenuSettingCount> bytes;  // their low 8 bits: SettingsWriteBlock 0-47
    bool saved;                                    // Parameters.ini was written
  };
  // The stored values of the current selections, written to Parameters.ini.
  OkResult Ok();
  // Whether the current selections differ from bytes 0-47 of the unit read at opening.
  bool Changed(std::span<const uint8_t, kUnitSize> readBlock) const;

  bool Enabled(int index) const;
  const std::vector<std::string>& Entries(int index) const;
  std::string_view Label(int index) const;
  std::string_view Group(int index) const;
  std::string_view Tooltip(int index) const;
  int ControlId(int index) const;

 private:
  MenuValues StoredValues() const;
  void SelectStored(const MenuValues& values);

  int8_t typeCode_;
  uint8_t country_;
  std::filesystem::path iniFile_;
  std::set<int> disabled_;
  std::array<std::vector<std::string>, kMenuSettingCount> entries_;
  std::array<std::optional<int>, kMenuSettingCount> selection_{};
};

}  // namespace korvan
