#include "settings/device_settings_reader.h"

#include "settings/parameters_ini.h"
#include "settings/settings_unit_writer.h"

namespace korvan {

SettingsUnitAddress FormSettingsUnit(int8_t typeCode) {
  if (typeCode < 6) {
    return {MemorySelector::LegacySettings, kLegacySettingsAddress};
  }
  return {MemorySelector::DataFlash, kFlashSettingsAddress};
}

bool ReadSettingsUnit(DiskHost& host, DriveSlotTable& slots, int32_t drive,
                      SettingsUnitAddress where, UnitBuffer& unit) {
  DeviceChannel channel(host, slots);
  channel.Claim(drive);
  channel.Open();
  unit.fill(0x00);
  const int read = channel.ReadUnit(unit, where.selector, where.byteAddress);
  channel.Close();
  return read != 0;
}

SettingsReadResult ReadDeviceSettings(DiskHost& host, DriveSlotTable& slots, int32_t drive,
                                      int8_t typeCode, const std::filesystem::path& iniFile,
                                      UnitBuffer& unit) {
  // A failed read leaves whatever the buffer held; writing that would replace the user's last
  // settings with bytes that never came from the device.
  if (!ReadSettingsUnit(host, slots, drive, FormSettingsUnit(typeCode), unit)) {
    return SettingsReadResult::LinkLost;
  }
  MenuValues values{};
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<int8_t>(unit[i]);
  }
  return WriteMenuValues(iniFile, values) ? SettingsReadResult::Read
                                          : SettingsReadResult::IniNotWritten;
}

}  // namespace korvan
