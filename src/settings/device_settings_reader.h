// Reading the menu settings from the device when the settings form opens: the settings unit of
// a fixed-layout model goes into Parameters.ini, one signed byte per key, and the unit is kept
// so that the form can tell later whether anything changed.
#pragma once

#include <cstdint>
#include <filesystem>

#include "device/device_channel.h"
#include "device/unit.h"
#include "settings/settings_unit_writer.h"

namespace korvan {

enum class SettingsReadResult {
  Read,      // the unit was read and its 48 settings are in Parameters.ini
  LinkLost,  // the read failed; Parameters.ini is untouched ("Ошибка соединения!!")
  IniNotWritten,  // the unit was read but Parameters.ini could not be written
};

// Where the form reads the settings unit: types below 6 keep it in the legacy settings memory
// at 0x08080400, the others in the data flash at 0x7FC000.
struct SettingsUnitAddress {
  MemorySelector selector;
  uint32_t byteAddress;
};
SettingsUnitAddress FormSettingsUnit(int8_t typeCode);

// The unit of the settings packet of types 25-27.
inline constexpr SettingsUnitAddress kPacketSettingsUnit{MemorySelector::DataFlash,
                                                         kPacketSettingsAddress};

// Claims `drive`, opens, reads the unit at `where` into `unit` (zeros first), closes. False when
// the read failed.
bool ReadSettingsUnit(DiskHost& host, DriveSlotTable& slots, int32_t drive,
                      SettingsUnitAddress where, UnitBuffer& unit);

// Claims `drive`, opens, reads the unit into `unit`, closes. On a good read, byte i (as a signed
// 8-bit number, so 0xFF is -1) becomes key i of section "Menu" of `iniFile`.
SettingsReadResult ReadDeviceSettings(DiskHost& host, DriveSlotTable& slots, int32_t drive,
                                      int8_t typeCode, const std::filesystem::path& iniFile,
                                      UnitBuffer& unit);

}  // namespace korvan
