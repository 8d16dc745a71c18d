// Turning the raw name bytes of a zip item into a name that can be shown and a relative path that
// stays inside the extraction folder. Pure functions over bytes: ZipExtractor uses them, and the
// tests and the fuzz targets call them directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvan {

// Longest name, in characters, an item may carry; a longer stored name is cut when shown and
// refused when extracted.
inline constexpr std::size_t kMaxEntryNameLength = 259;

// The stored name bytes read as UTF-8: each malformed sequence becomes U+FFFD, the name ends at
// the first NUL (as the C strings of the extracting tools would see it), and at most
// kMaxEntryNameLength characters are kept.
std::string DecodeEntryName(std::string_view stored);

// Strips what would take a name out of its folder, repeatedly, until nothing applies:
//   1. a leading drive prefix (any one character followed by ':'),
//   2. a leading '\' or '/',
//   3. a leading ".." followed by '\' or '/',
//   4. everything up to and including the first "\..\", "\../", "/../" or "/..\" (searched for
//      in that order).
// "../../evil.bin" -> "evil.bin", "C:\x\y.bin" -> "x\y.bin", "a/../b.bin" -> "b.bin".
// The result is always a suffix of `name`.
std::string CleanEntryName(std::string_view name);

// The folders and file name that a cleaned name stands for below the extraction folder. Both '/'
// and '\' separate folders (packages made on Windows use either) and empty steps ("a//b") are
// skipped. nullopt when nothing is left, or when a step is made of dots only: "." and ".." would
// leave the folder or land on it, and Windows drops trailing dots, so "..." names the folder
// itself there.
std::optional<std::vector<std::string>> EntryPathSteps(std::string_view cleanedName);

// Whether a cleaned name ends in a separator, the zip way of naming a folder.
bool NamesFolder(std::string_view cleanedName);

}  // namespace korvan
