// Update files for the simulated devices: the combined image (16-byte header, firmware, voice,
// database, and the signature block of type 8) a model's updater takes, built from the same
// contents as the device presets, with the name the model's file pattern asks for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "emulator/device_presets.h"

namespace korvan::emu {

struct UpdateFileOptions {
  // The model (rawType) and what the file carries: firmware, voice and database versions,
  // country, the flag bit of the record's type byte.
  PresetOptions contents;
  uint32_t voiceLength = 0x20000;       // bytes of voice image, starting with its digits
  uint32_t databaseLength = 0x10000;    // bytes of database image, its text at +12
  uint16_t signatureLength = 0x400;     // type 8: the signature block at 0x800000
  std::string signatureField = "0001";  // the S field of the name, where the pattern has one
};

struct UpdateFile {
  std::string name;  // e.g. "Dahlia_F0215_V0031_D240517.bin"; empty for a model without pattern
  std::vector<uint8_t> bytes;
};

// A file for the device `device` describes whose firmware, voice and database are all newer
// than a preset's defaults: v03.01, v00.40 and "2.0 251201".
UpdateFileOptions NewerUpdateFile(const PresetOptions& device);

// The firmware image is the preset's controller memory behind the boot loader up to the end of
// the firmware area, so its version record lands where the model's files keep it. Throws
// std::invalid_argument for a model without catalogue entries.
UpdateFile MakeUpdateFile(const UpdateFileOptions& options);

// Writes `file` into `folder` (created when missing) under its name ("update.bin" for a model
// without a pattern) and returns the path; nullopt when it cannot be written.
std::optional<std::filesystem::path> WriteUpdateFile(const std::filesystem::path& folder,
                                                     const UpdateFile& file);

}  // namespace korvan::emu
