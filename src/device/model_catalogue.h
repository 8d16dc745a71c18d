// `ModelCatalogue`: every model-dependent value, looked up by `DeviceTypeCode`. Codes are
// compared as signed 8-bit values; a code without an entry (7, 10-15, 0, negatives, above 27)
// answers 0 or an empty string.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "device/command_block.h"
#include "device/device_info.h"

namespace korvan::ModelCatalogue {

inline constexpr int8_t kFirstModelCode = 1;
inline constexpr int8_t kLastModelCode = 27;

// True for the codes with catalogue entries: 1-6, 8, 9, 16-27.
bool HasEntries(int8_t typeCode);

// Types 25-27: 16 MiB of data flash, a 64 KiB boot loader, settings kept as a packet.
bool IsLargeModel(int8_t typeCode);

// Bytes of boot loader at the start of the controller memory: the firmware starts behind it.
// 0x3000; types 20 and 21: 0x6000; type 24: 0x4000; types 25-27: 0x10000.
uint32_t BootLoaderSize(int8_t typeCode);

// Name part of update files and packages ("Dahlia_").
std::string_view ModelPrefix(int8_t typeCode);
// Identifier shown in the model field ("DAHLIA"); code 4 with `typeForced` is "OldHardware".
std::string_view ModelIdentifier(int8_t typeCode, bool typeForced);

// Bytes of controller memory copied from 0x08000000.
uint32_t FwReadLength(int8_t typeCode);
// Bytes of data flash copied from 0.
uint32_t FlashSize(int8_t typeCode);
// End of the firmware area inside the controller-memory image.
uint32_t FwEndOffset(int8_t typeCode);
// Where the firmware, voice and database images start inside an update file.
uint32_t FwFileOffset(int8_t typeCode);
uint32_t VoiceFileOffset(int8_t typeCode);
uint32_t DbFileOffset(int8_t typeCode);

// Start of the database area in the data flash. `source` 0 asks for the layout of the
// connected device (`device`); any other value for the layout the chosen update file will
// produce (`file`). Types 3 and 4 choose between three layouts by version.
uint32_t DbFlashOffset(int source, const DeviceInfo& device, const UpdateFileInfo& file);

// Fixed firmware image length inside update files of the types whose header is not trusted
// (8, 9, 16, 18-23); nullopt where the length comes from the file (type 1: its whole length;
// every other type: the header).
std::optional<uint32_t> FixedFwImageLength(int8_t typeCode);

// Where the firmware keeps its version record inside the controller-memory image: 16 bytes
// before `FwEndOffset`, or right after the 64 KiB boot loader for types 25-27. 0 without entry.
uint32_t ControllerVersionRecordOffset(int8_t typeCode);

// Where the data flash keeps its version record: 0xFFD000 for types 25-27, else 0x7FD000.
uint32_t FlashVersionRecordAddress(int8_t typeCode);

// The unit that holds the device's menu settings.
struct UnitLocation {
  MemorySelector selector;
  uint32_t byteAddress;
};
// Types 1-5: legacy settings memory at 0x08080400; 6, 8, 9, 16-24: data flash at 0x7FC000;
// 25-27: data flash at 0xFFC000 (a settings packet). nullopt without entry.
std::optional<UnitLocation> SettingsUnit(int8_t typeCode);

}  // namespace korvan::ModelCatalogue
