// Writes zip files the way the update server's packages come: deflated or stored entries, folder
// entries, DOS or Unix attributes and times. Used by the server tree and by tests that need a
// package of their own (odd names, hidden files, folders, stored entries).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvan::emu {

// A DOS date and time as the zip headers keep it: local time, even seconds, years 1980..2107.
struct ZipTime {
  uint16_t year = 2023;
  uint8_t month = 5;  // 1..12
  uint8_t day = 15;   // 1..31
  uint8_t hour = 12;
  uint8_t minute = 0;
  uint8_t second = 0;
};

// DOS attribute bits of an entry's external attributes.
inline constexpr uint8_t kDosReadOnly = 0x01;
inline constexpr uint8_t kDosHidden = 0x02;
inline constexpr uint8_t kDosSystem = 0x04;
inline constexpr uint8_t kDosFolder = 0x10;
inline constexpr uint8_t kDosArchive = 0x20;

struct ZipEntry {
  enum class Method : uint8_t { Deflate, Store };

  // Stored as given, with no cleaning: '/' separates folders, a folder's name ends in '/', and
  // names such as "../x" or "C:\x" go in unchanged for tests of the extraction.
  std::string name;
  std::vector<uint8_t> bytes;  // must be empty for a folder
  Method method = Method::Deflate;
  int level = -1;  // deflate level 1..9; -1: zlib's default
  ZipTime modified;
  // Adds an extended-timestamp extra field ("UT") with this modification time (seconds since
  // 1970, UTC), as Unix zip tools write it beside the DOS time.
  std::optional<uint32_t> unixTime;
  // Low byte of the external attributes. kDosFolder is set for a folder whatever is given here.
  uint8_t dosAttributes = 0;
  // With a mode (e.g. 0100644), the entry is "made by Unix" and the mode fills the high 16 bits
  // of the external attributes; without, it is "made by MS-DOS".
  std::optional<uint16_t> unixMode;
  // Sets the general-purpose flag bit 11 (name is UTF-8).
  bool utf8Name = false;

  bool IsFolder() const { return !name.empty() && name.back() == '/'; }
};

// A deflated file entry with `bytes`.
ZipEntry ZipFileEntry(std::string name, std::vector<uint8_t> bytes);
// A deflated file entry holding `text` as it stands (no line-break conversion).
ZipEntry ZipTextEntry(std::string name, std::string_view text);
// A folder entry; a missing trailing '/' is added.
ZipEntry ZipFolderEntry(std::string name);

struct ZipResult {
  std::string error;  // empty on success; otherwise a sentence naming the file or entry
  bool ok() const { return error.empty(); }
};

// Writes `entries`, in order, into a new zip file at `path` (replacing a file there; the folder
// must exist). Entries are written as given: duplicates and unsafe names included. On failure a
// partly written file may be left behind.
ZipResult WriteZip(const std::filesystem::path& path, std::span<const ZipEntry> entries);

}  // namespace korvan::emu
