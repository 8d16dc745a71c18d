// `UpdateFileHeader`: the first 16 bytes of an update file with the component lengths, and the
// firmware image length that the update step takes from it (or from the model, or the file).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

namespace korvan {

inline constexpr size_t kUpdateFileHeaderSize = 16;

// Byte 0 and 15 are unused; lengths are little-endian.
struct UpdateFileHeader {
  std::array<uint8_t, kUpdateFileHeaderSize> bytes{};

  uint32_t FwLength() const { return Le32(1); }
  uint32_t VoiceLength() const { return Le32(5); }
  uint32_t DbLength() const { return Le32(9); }
  uint16_t SignatureLength() const { return static_cast<uint16_t>(bytes[13] | (bytes[14] << 8)); }

 private:
  uint32_t Le32(size_t at) const {
    return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
           (uint32_t{bytes[at + 3]} << 24);
  }
};

// Reads the first 16 bytes of `path` into `header`. A file that cannot be opened or is shorter
// leaves `header` as it was and answers 0; 1 when the header was read.
int ReadUpdateFileHeader(const std::filesystem::path& path, UpdateFileHeader& header);

// Firmware image length inside the update file `path` for model `typeCode`: type 1 the whole
// file's length; otherwise the header is read first, then the model's fixed length where it
// has one (8, 9, 16, 18-23), else the header's firmware length.
uint32_t FwImageLength(const std::filesystem::path& path, int8_t typeCode,
                       UpdateFileHeader& header);

}  // namespace korvan
