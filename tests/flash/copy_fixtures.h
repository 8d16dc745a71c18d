// Memory copies for the version extraction tests, built in code: pseudo-random contents shaped
// so that chosen rows of a build table match, and sparse files with a few bytes at far offsets.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "flash/firmware_build_table.h"

namespace korvan::testing {

// Bytes to place at an offset of a copy.
struct Patch {
  uint64_t offset;
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> PseudoRandomBytes(size_t size, uint64_t seed) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes[i] = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

// The sum of a row read the slow, obvious way: its bytes from the start offset, zeros past the
// end of the copy.
inline uint8_t ReferenceRowSum(std::span<const uint8_t> copy, uint64_t start, uint64_t length) {
  uint8_t sum = 0;
  for (uint64_t i = start; i < start + length && i < copy.size(); ++i) {
    sum = static_cast<uint8_t>(sum + copy[i]);
  }
  return sum;
}

inline std::vector<size_t> ReferenceMatchingRows(std::span<const uint8_t> copy,
                                                 const FirmwareBuildTable& table) {
  std::vector<size_t> rows;
  for (size_t row = 0; row < table.rows.size(); ++row) {
    if (ReferenceRowSum(copy, table.startOffset, table.rows[row].length) == table.rows[row].sum) {
      rows.push_back(row);
    }
  }
  return rows;
}

// A copy of `size` bytes with `patches` applied on which exactly the rows `wanted` of `table`
// match: pseudo-random contents, the last byte of each wanted row (the last byte of the copy for
// a row reaching past it) adjusted to give the row's sum; seeds that make another row match by
// chance are skipped.
inline std::vector<uint8_t> CopyMatchingRows(size_t size, const FirmwareBuildTable& table,
                                             std::vector<size_t> wanted,
                                             const std::vector<Patch>& patches = {}) {
  std::sort(wanted.begin(), wanted.end(),
            [&table](size_t a, size_t b) { return table.rows[a].length < table.rows[b].length; });
  for (uint64_t seed = 1; seed < 200; ++seed) {
    std::vector<uint8_t> copy = PseudoRandomBytes(size, seed);
    for (const Patch& patch : patches) {
      std::copy(patch.bytes.begin(), patch.bytes.end(), copy.begin() + patch.offset);
    }
    for (const size_t row : wanted) {
      const uint64_t end = std::min<uint64_t>(table.startOffset + table.rows[row].length, size);
      const uint8_t have = ReferenceRowSum(copy, table.startOffset, table.rows[row].length);
      copy[end - 1] = static_cast<uint8_t>(copy[end - 1] + table.rows[row].sum - have);
    }
    std::vector<size_t> expected = wanted;
    std::sort(expected.begin(), expected.end());
    bool patchesKept = true;
    for (const Patch& patch : patches) {
      patchesKept = patchesKept &&
                    std::equal(patch.bytes.begin(), patch.bytes.end(), copy.begin() + patch.offset);
    }
    if (patchesKept && ReferenceMatchingRows(copy, table) == expected) {
      return copy;
    }
  }
  ADD_FAILURE() << "no copy of " << size << " bytes matches the wanted rows of " << table.name;
  return {};
}

inline void WriteCopy(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// A copy of `size` bytes, zero but for `patches`, written as a sparse file so that copies of
// many megabytes cost next to nothing.
inline void WriteSparseCopy(const std::filesystem::path& path, uint64_t size,
                            const std::vector<Patch>& patches) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const Patch& patch : patches) {
      out.seekp(static_cast<std::streamoff>(patch.offset));
      out.write(reinterpret_cast<const char*>(patch.bytes.data()),
                static_cast<std::streamsize>(patch.bytes.size()));
    }
    ASSERT_TRUE(out.good()) << path;
  }
  std::filesystem::resize_file(path, size);
}

}  // namespace korvan::testing
