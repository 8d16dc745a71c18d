#include "flash/memory_copy_file.h"

#include <algorithm>
#include <limits>

namespace korvan {

MemoryCopyFile::MemoryCopyFile(const std::filesystem::path& path)
    : stream_(path, std::ios::binary) {}

std::optional<size_t> MemoryCopyFile::ReadSome(uint64_t offset, std::span<uint8_t> out) {
  if (!stream_.is_open() ||
      offset > static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max())) {
    return std::nullopt;
  }
  // An earlier short read leaves eof and fail set; they would refuse the seek.
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset));
  if (!stream_) {
    return std::nullopt;
  }
  if (out.empty()) {
    return 0;
  }
  stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  const auto got = static_cast<size_t>(stream_.gcount());
  // A short read is the end of the copy only when the stream says so; a failing read (a
  // directory, an I/O error) sets badbit instead.
  if (stream_.bad() || (got < out.size() && !stream_.eof())) {
    return std::nullopt;
  }
  return got;
}

bool MemoryCopyFile::ReadZeroFilled(uint64_t offset, std::span<uint8_t> out) {
  const std::optional<size_t> got = ReadSome(offset, out);
  if (!got) {
    return false;
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(*got), out.end(), uint8_t{0});
  return true;
}

}  // namespace korvan
