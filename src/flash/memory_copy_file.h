// Read access to a working copy of a device memory ("TempFwData.bin", "TempImageData.bin") as
// the version extraction sees it: bytes past the end of the copy read as zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>

namespace korvan {

class MemoryCopyFile {
 public:
  explicit MemoryCopyFile(const std::filesystem::path& path);

  bool IsOpen() const { return stream_.is_open(); }

  // Reads up to out.size() bytes at `offset` into `out`. Returns the number of bytes read, which
  // is less than asked (0 included) only where the copy ends; nullopt when the read failed.
  std::optional<size_t> ReadSome(uint64_t offset, std::span<uint8_t> out);

  // Fills `out` with the bytes at `offset`, zero where the copy ends early. False when the read
  // failed; `out` then holds no usable value.
  bool ReadZeroFilled(uint64_t offset, std::span<uint8_t> out);

 private:
  std::ifstream stream_;
};

}  // namespace korvan
