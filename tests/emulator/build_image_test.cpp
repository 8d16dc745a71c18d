#include "emulator/build_image.h"

#include <gtest/gtest.h>

#include <array>

namespace korvan::emu {
namespace {

// Sums the way the version extraction does, independently of the code under test: `length`
// bytes from `start`, zeros past the image's end.
uint8_t PrefixSum(std::span<const uint8_t> image, uint32_t start, uint32_t length) {
  std::vector<uint8_t> buffer(length, 0);
  for (size_t i = 0; i < length && start + i < image.size(); ++i) {
    buffer[i] = image[start + i];
  }
  return ByteSum8(buffer);
}

std::vector<size_t> Matches(std::span<const uint8_t> image, const FirmwareBuildTable& table) {
  std::vector<size_t> rows;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    if (PrefixSum(image, table.startOffset, table.rows[r].length) == table.rows[r].sum) {
      rows.push_back(r);
    }
  }
  return rows;
}

// A small table over a 64-byte image from offset 8: rows of different lengths, two of one
// length, and two that reach past the end (so they sum the same bytes).
constexpr std::array<FirmwareBuildRow, 6> kRows{{
    {16, 0x10, {0, 0, 0, 1}},
    {32, 0x20, {0, 0, 0, 2}},
    {32, 0x21, {0, 0, 0, 3}},
    {8, 0x30, {0, 0, 0, 4}},
    {100, 0x40, {0, 0, 0, 5}},
    {200, 0x40, {0, 0, 0, 6}},  // same bytes and same sum as row 4
}};
const FirmwareBuildTable kTable{"small", 8, kRows};

std::vector<uint8_t> Image(uint64_t seed) {
  std::vector<uint8_t> image(64);
  FillPseudoRandom(image, seed);
  return image;
}

TEST(EmuBuildImageTest, FitsExactlyTheWantedRow) {
  for (uint64_t seed = 0; seed < 20; ++seed) {
    for (size_t row : {0u, 1u, 2u, 3u}) {
      std::vector<uint8_t> image = Image(seed);
      FitBuildRows(image, kTable, row);
      EXPECT_EQ(Matches(image, kTable), std::vector<size_t>{row}) << "seed " << seed;
      EXPECT_EQ(MatchingBuildRows(image, kTable), std::vector<size_t>{row});
    }
  }
}

TEST(EmuBuildImageTest, WithoutAWantedRowNoRowMatches) {
  for (uint64_t seed = 0; seed < 50; ++seed) {
    std::vector<uint8_t> image = Image(seed);
    image[8 + 7] = static_cast<uint8_t>(image[8 + 7] + 0x30 - PrefixSum(image, 8, 8));  // row 3
    FitBuildRows(image, kTable, std::nullopt);
    EXPECT_TRUE(Matches(image, kTable).empty()) << "seed " << seed;
  }
}

TEST(EmuBuildImageTest, LeavesBytesOutsideTheTableAndKeptBytesAlone) {
  const std::vector<uint8_t> original = Image(7);
  const Extent keep[] = {{8 + 31, 1}, {8 + 15, 1}};  // the last byte of two rows' stretches
  for (size_t row : {0u, 1u, 3u}) {
    std::vector<uint8_t> image = original;
    FitBuildRows(image, kTable, row, keep);
    EXPECT_EQ(Matches(image, kTable), std::vector<size_t>{row});
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 8, original.begin()));
    EXPECT_EQ(image[8 + 31], original[8 + 31]);
    EXPECT_EQ(image[8 + 15], original[8 + 15]);
  }
}

TEST(EmuBuildImageTest, RefusesRowsThatCannotBeToldApart) {
  std::vector<uint8_t> image = Image(1);
  EXPECT_THROW(FitBuildRows(image, kTable, 4), std::invalid_argument);
  EXPECT_THROW(FitBuildRows(image, kTable, 6), std::invalid_argument);
  const Extent everything[] = {{0, 64}};
  std::vector<uint8_t> zeros(64, 0);
  EXPECT_THROW(FitBuildRows(zeros, kTable, 0, everything), std::invalid_argument);
}

TEST(EmuBuildImageTest, PseudoRandomFillIsFixedBySeed) {
  std::vector<uint8_t> a(1000), b(1000), c(1000);
  FillPseudoRandom(a, 42);
  FillPseudoRandom(b, 42);
  FillPseudoRandom(c, 43);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(MixSeed({1, 2}), MixSeed({2, 1}));
  // Not a constant or short cycle: most byte values appear.
  std::array<bool, 256> seen{};
  for (uint8_t v : a) {
    seen[v] = true;
  }
  EXPECT_GT(std::count(seen.begin(), seen.end(), true), 200);
}

}  // namespace
}  // namespace korvan::emu
