// Helpers that shape the bytes of device images: deterministic filler that looks like code or
// samples, and the byte adjustments that make an image a listed build of a FirmwareBuildTable
// (or keep it from being taken for one by accident).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "flash/firmware_build_table.h"

namespace korvan::emu {

// A byte range of an image.
struct Extent {
  size_t offset = 0;
  size_t length = 0;
};

// Fills `bytes` with a pseudo-random sequence fixed by `seed` (the same seed, the same bytes,
// on every machine).
void FillPseudoRandom(std::span<uint8_t> bytes, uint64_t seed);

// A seed mixed from the parts that should give an image its own bytes (model, version ...).
uint64_t MixSeed(std::initializer_list<uint64_t> parts);

// The rows of `table` whose sum `image` matches, read the way the version extraction reads a
// memory copy: the row's length from the table's start offset, zeros past the image's end.
std::vector<size_t> MatchingBuildRows(std::span<const uint8_t> image,
                                      const FirmwareBuildTable& table);

// Changes single bytes of `image` so that row `wanted` of `table` matches and no other row
// does, or, with nullopt, so that no row matches. Bytes inside `keep` stay as they are.
// Throws std::invalid_argument when that cannot be done: `wanted` is not a row, or two rows see
// the same bytes (the same length, or both reach past the image's end) and have one sum.
void FitBuildRows(std::span<uint8_t> image, const FirmwareBuildTable& table,
                  std::optional<size_t> wanted, std::span<const Extent> keep = {});

}  // namespace korvan::emu
