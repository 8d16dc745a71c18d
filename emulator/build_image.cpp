#include "emulator/build_image.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>

namespace korvan::emu {
namespace {

uint64_t SplitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Bytes of row `length` that exist in an image of `imageSize` bytes; the rest read as zeros
// and add nothing to the sum.
size_t SummedLength(size_t imageSize, uint32_t start, uint32_t length) {
  return start >= imageSize ? 0 : std::min<size_t>(length, imageSize - start);
}

bool Kept(size_t position, std::span<const Extent> keep) {
  return std::any_of(keep.begin(), keep.end(), [&](const Extent& e) {
    return position >= e.offset && position - e.offset < e.length;
  });
}

}  // namespace

void FillPseudoRandom(std::span<uint8_t> bytes, uint64_t seed) {
  uint64_t state = seed;
  size_t i = 0;
  while (i < bytes.size()) {
    uint64_t word = SplitMix64(state);
    for (int b = 0; b < 8 && i < bytes.size(); ++b, ++i) {
      bytes[i] = static_cast<uint8_t>(word);
      word >>= 8;
    }
  }
}

uint64_t MixSeed(std::initializer_list<uint64_t> parts) {
  uint64_t state = 0x4B6F7276616E2145ull;
  uint64_t seed = 0;
  for (const uint64_t part : parts) {
    state ^= part;
    seed = SplitMix64(state);
  }
  return seed;
}

std::vector<size_t> MatchingBuildRows(std::span<const uint8_t> image,
                                      const FirmwareBuildTable& table) {
  std::vector<size_t> rows;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const FirmwareBuildRow& row = table.rows[r];
    const size_t length = SummedLength(image.size(), table.startOffset, row.length);
    const size_t start = length > 0 ? table.startOffset : 0;
    if (ByteSum8(image.subspan(start, length)) == row.sum) {
      rows.push_back(r);
    }
  }
  return rows;
}

void FitBuildRows(std::span<uint8_t> image, const FirmwareBuildTable& table,
                  std::optional<size_t> wanted, std::span<const Extent> keep) {
  if (wanted && *wanted >= table.rows.size()) {
    throw std::invalid_argument("table " + std::string(table.name) + " has no row " +
                                std::to_string(*wanted) + " (it has " +
                                std::to_string(table.rows.size()) + ")");
  }
  // Rows that sum the same bytes, shortest first. A byte changed in the stretch that only a
  // group and the longer ones sum leaves the shorter groups' sums as they are, so the groups
  // can be settled one after another.
  std::map<size_t, std::vector<size_t>> groups;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    groups[SummedLength(image.size(), table.startOffset, table.rows[r].length)].push_back(r);
  }

  uint8_t sum = 0;
  size_t summed = 0;  // bytes from the start offset already in `sum`
  for (const auto& [length, rows] : groups) {
    const size_t stretchBegin = summed;  // this group's own bytes: [stretchBegin, length)
    for (; summed < length; ++summed) {
      sum = static_cast<uint8_t>(sum + image[table.startOffset + summed]);
    }
    std::vector<uint8_t> sums;
    bool holdsWanted = false;
    for (const size_t r : rows) {
      sums.push_back(table.rows[r].sum);
      holdsWanted = holdsWanted || (wanted && r == *wanted);
    }

    uint8_t target = sum;
    if (holdsWanted) {
      target = table.rows[*wanted].sum;
      if (std::count(sums.begin(), sums.end(), target) > 1) {
        throw std::invalid_argument("row " + std::to_string(*wanted) + " of table " +
                                    std::string(table.name) +
                                    " cannot be told apart from another row over these bytes");
      }
    } else {
      while (std::find(sums.begin(), sums.end(), target) != sums.end()) {
        ++target;  // ends within rows.size() steps: each step passes one taken sum
      }
    }
    if (target == sum) {
      continue;
    }

    // The last byte of the stretch that is not kept; bytes before the stretch would move the
    // shorter groups already settled.
    size_t position = length;
    do {
      if (position == stretchBegin) {
        throw std::invalid_argument("no free byte to adjust for table " + std::string(table.name));
      }
      --position;
    } while (Kept(table.startOffset + position, keep));
    uint8_t& byte = image[table.startOffset + position];
    byte = static_cast<uint8_t>(byte + static_cast<uint8_t>(target - sum));
    sum = target;
  }
}

}  // namespace korvan::emu
