// `ZipExtractor`: reads the update packages the download flow fetches, over minizip's unzip
// side. minizip reads the zip container; this layer decides what is listed and what may be
// written, and writes it. Packages come from the network, so every item is treated as hostile:
// see ExtractEntryInto for what is refused. What touches the file system is per platform
// (extraction_target.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace korvan {

enum class ZipResult : uint32_t {
  Ok = 0,
  // The package cannot be opened or is not a zip; or the target file (or a folder on its way)
  // cannot be created.
  CannotOpen = 0x200,
  WriteFailed = 0x400,
  // The item's local header does not agree with the central directory, or is not one at all.
  LocalHeaderMismatch = 0x700,
  // Reading the local header or its extra data failed.
  LocalHeaderUnreadable = 0x800,
  // The item is encrypted; no password is ever given.
  Encrypted = 0x1000,
  // Index out of range, a closed extractor, or an item refused by the safety rules (its name or
  // its kind).
  BadArguments = 0x10000,
  // The data cannot be decompressed, stops early, fails its CRC-32, or is bigger than declared
  // or than the size limits allow.
  DecompressionFailed = 0x5000000,
};

// Bits of ZipEntry::attributes (the MS-DOS ones).
inline constexpr uint32_t kZipReadOnly = 0x01;
inline constexpr uint32_t kZipHidden = 0x02;
inline constexpr uint32_t kZipSystem = 0x04;
inline constexpr uint32_t kZipFolder = 0x10;
inline constexpr uint32_t kZipArchive = 0x20;

// One item as the package lists it. Times are file times: 100 ns units since 1601-01-01 UTC.
struct ZipEntry {
  int32_t index = 0;
  // The stored name as UTF-8, cleaned of drive prefixes, leading separators and parent steps
  // (CleanEntryName), at most 259 characters. Folders may be separated by '/' or '\'.
  std::string name;
  uint32_t attributes = 0;
  uint64_t accessTime = 0;
  uint64_t creationTime = 0;
  uint64_t writeTime = 0;
  // From the central directory, cut to 32 bits.
  int32_t compressedSize = 0;
  int32_t uncompressedSize = 0;
};

// How much one package may make. An update package holds a few firmware, voice and database
// files of a few MiB; anything near these sizes is a zip bomb.
struct ZipLimits {
  uint64_t maxEntrySize = 64ull << 20;     // declared or inflated size of one item
  uint64_t maxPackageSize = 256ull << 20;  // all items together: declared, or written so far
};

// Not thread-safe: one thread uses an extractor at a time. Every operation stores its result,
// which LastResult() answers.
class ZipExtractor {
 public:
  // Opens `packagePath` read-only and positions on the first item. The process's current
  // folder at this moment is the base of relative target paths. nullptr when the file cannot be
  // opened or its central directory cannot be read (`result`, when given, is CannotOpen).
  static std::unique_ptr<ZipExtractor> Open(const std::filesystem::path& packagePath,
                                            ZipResult* result = nullptr,
                                            const ZipLimits& limits = {});

  ~ZipExtractor();
  ZipExtractor(const ZipExtractor&) = delete;
  ZipExtractor& operator=(const ZipExtractor&) = delete;

  // index -1: `entry.index` is the number of items, the other fields empty. 0 <= index < count:
  // that item, with the times of its local "UT" extra field where it has one (so the item's
  // local header is read: LocalHeaderMismatch / LocalHeaderUnreadable when that fails, the other
  // fields still filled). Any other index: BadArguments.
  ZipResult GetEntry(int32_t index, ZipEntry& entry);

  // Extracts item `index` into the folder `rootFolder` (relative: below the base folder), at
  // the path its cleaned name gives; the download flow's call. `rootFolder` is the caller's and
  // is created with its parents; below it nothing leaves it:
  //  - Refused (BadArguments): a stored name over 259 bytes or holding a NUL; a cleaned name
  //    that is empty or has a step made of dots only; a symbolic link or other special file
  //    (by its Unix mode), which is never created, not even as a plain file; an item whose data
  //    overlaps the data of another item already extracted; a link where a folder of the path
  //    is needed (a file there answers CannotOpen). On Windows also a symbolic link or junction
  //    on the path, and a name Windows cannot hold as it stands: a character it forbids (':'
  //    among them), a trailing dot or space, a device name (CON, NUL, COM1, ...).
  //  - Size limits (DecompressionFailed): an item declared bigger than maxEntrySize, or inflating
  //    past its declared size; any item of a package whose declared sizes add up to more than
  //    maxPackageSize; an item that would take the bytes this extractor has written (repeats
  //    included) past maxPackageSize.
  //  - A folder item is created with its missing parents. A file is written to "<target>.part"
  //    (a stale one is removed, never followed), then given its times and renamed onto the
  //    target (replacing a file or a link there, never writing through it) only when all of
  //    its data was read and the CRC-32 matched. Whatever fails, no .part and no folder this
  //    call created is left, and whatever was at the target before stays as it was.
  //  - Read-only items get no write permission; the rest 0644 / 0755 under the umask. On
  //    Windows read-only items get FILE_ATTRIBUTE_READONLY, and a read-only plain file at the
  //    target is replaced as on Linux (its attribute put back if the replacing fails). Names
  //    differing only in case are one file there: the last extracted wins.
  ZipResult ExtractEntryInto(int32_t index, const std::filesystem::path& rootFolder);

  // Extracts item `index` to `targetPath` (UTF-8). Absolute when it starts with '\' or '/' or
  // its second character is ':'; else below the base folder. On Windows such a path is taken as
  // Windows reads it (a leading separator alone names the root of the base folder's drive); on
  // Linux as it stands. '\' separates folders as '/' does; a path holding a NUL is refused.
  // The folder the item must stay in is the part of the target before the item's cleaned name
  // when the target ends in it (folder + "/" + entry.name, as the download flow builds it), else
  // the target's own folder; then everything of ExtractEntryInto applies.
  ZipResult ExtractEntry(int32_t index, const std::string& targetPath);

  // Closes the package and frees the buffers; later calls answer BadArguments.
  ZipResult Close();

  ZipResult LastResult() const { return lastResult_; }

 private:
  struct State;
  ZipExtractor();
  ZipResult Store(ZipResult result);

  std::unique_ptr<State> state_;
  ZipResult lastResult_ = ZipResult::Ok;
};

}  // namespace korvan
