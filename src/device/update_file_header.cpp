#include "device/update_file_header.h"

#include <fstream>
#include <system_error>

#include "device/model_catalogue.h"

namespace korvan {

int ReadUpdateFileHeader(const std::filesystem::path& path, UpdateFileHeader& header) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return 0;
  }
  std::array<uint8_t, kUpdateFileHeaderSize> bytes{};
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (file.gcount() != static_cast<std::streamsize>(bytes.size())) {
    return 0;
  }
  header.bytes = bytes;
  return 1;
}

uint32_t FwImageLength(const std::filesystem::path& path, int8_t typeCode,
                       UpdateFileHeader& header) {
  if (typeCode == 1) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<uint32_t>(size);
  }
  ReadUpdateFileHeader(path, header);
  if (const auto fixed = ModelCatalogue::FixedFwImageLength(typeCode)) {
    return *fixed;
  }
  return header.FwLength();
}

}  // namespace korvan
