// CompareAndExtract and CompareFileRegions: byte regions of two files compared in bounded chunks,
// so a region of any length costs the same two chunk buffers, and a differing region extracted
// into a file that replaces the first one.
#include <algorithm>
#include <fstream>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "flash/memory_copy_file.h"
#include "flash/region_writer.h"

namespace korvan {
namespace {

// Large enough that a whole 8 MiB region takes a handful of reads, small enough to allocate per
// call (two comparisons never share buffers, so no process-wide state is needed).
constexpr size_t kChunkSize = 1 << 20;

// A region of a file as the comparison sees it: bytes beyond the file's end, and every byte of a
// file that cannot be opened or read, are 0xFF, the value of erased flash.
class PaddedRegionReader {
 public:
  PaddedRegionReader(const std::filesystem::path& path, uint64_t offset)
      : file_(path), offset_(offset) {}

  // Fills `out` with the region's bytes from `position` on.
  void Read(uint64_t position, std::span<uint8_t> out) {
    size_t got = 0;
    if (!exhausted_ && file_.IsOpen()) {
      const std::optional<size_t> read = file_.ReadSome(offset_ + position, out);
      got = read.value_or(0);
      readFailed_ = readFailed_ || !read;
      // Past the end (or after a failed read) nothing more can come: skip the file from now on.
      exhausted_ = !read || got < out.size();
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), uint8_t{0xFF});
  }

  // The file could not be opened, or a read failed: what was served is padding, not the
  // file's bytes. (A file that merely ends early is not a failure.)
  bool Failed() const { return !file_.IsOpen() || readFailed_; }

 private:
  MemoryCopyFile file_;
  uint64_t offset_;
  bool exhausted_ = false;
  bool readFailed_ = false;
};

bool RegionsEqual(PaddedRegionReader& a, PaddedRegionReader& b, uint64_t length) {
  std::vector<uint8_t> chunkA(static_cast<size_t>(std::min<uint64_t>(length, kChunkSize)));
  std::vector<uint8_t> chunkB(chunkA.size());
  for (uint64_t position = 0; position < length; position += chunkA.size()) {
    const auto size = static_cast<size_t>(std::min<uint64_t>(length - position, chunkA.size()));
    const std::span<uint8_t> spanA(chunkA.data(), size);
    const std::span<uint8_t> spanB(chunkB.data(), size);
    a.Read(position, spanA);
    b.Read(position, spanB);
    if (!std::equal(spanA.begin(), spanA.end(), spanB.begin())) {
      return false;
    }
  }
  return true;
}

// Writes `size` bytes to `out`: fileB's region for the first `regionLength` of them, 0xFF after.
// False when the file could not be written or fileB could not be read.
bool WriteExtract(std::ostream& out, const std::filesystem::path& fileB, uint64_t offsetB,
                  uint64_t regionLength, uint64_t size) {
  PaddedRegionReader b(fileB, offsetB);
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(size, kChunkSize)));
  for (uint64_t position = 0; position < size && out; position += chunk.size()) {
    const auto count = static_cast<size_t>(std::min<uint64_t>(size - position, chunk.size()));
    const std::span<uint8_t> span(chunk.data(), count);
    if (position >= regionLength) {
      std::fill(span.begin(), span.end(), uint8_t{0xFF});
    } else {
      const auto fromRegion =
          static_cast<size_t>(std::min<uint64_t>(regionLength - position, count));
      b.Read(position, span.first(fromRegion));
      std::fill(span.begin() + static_cast<std::ptrdiff_t>(fromRegion), span.end(), uint8_t{0xFF});
    }
    out.write(reinterpret_cast<const char*>(span.data()), static_cast<std::streamsize>(count));
  }
  out.flush();
  return static_cast<bool>(out) && !b.Failed();
}

// Replaces fileA with the extract. WARNING: fileB may be fileA itself (or a link to it), so the
// extract goes to a file beside fileA first and is renamed over it only when complete; truncating
// fileA in place would destroy the bytes still to be copied. False when fileA could not be
// replaced: it then still holds what it held before, which must not be taken for the extract.
bool ReplaceWithExtract(const std::filesystem::path& fileA, const std::filesystem::path& fileB,
                        uint64_t offsetB, uint64_t regionLength, uint64_t size) {
  std::filesystem::path part = fileA;
  part += ".part";
  bool written = false;
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    written = out && WriteExtract(out, fileB, offsetB, regionLength, size);
  }
  std::error_code error;
  if (written) {
    std::filesystem::rename(part, fileA, error);
    if (!error) {
      return true;
    }
  }
  // Only a file of our own making is removed: a folder of that name is someone else's.
  if (!std::filesystem::is_directory(part, error)) {
    std::filesystem::remove(part, error);
  }
  return false;
}

}  // namespace

CompareOutcome CompareAndExtract(const std::filesystem::path& fileA, uint64_t offsetA,
                                 const std::filesystem::path& fileB, uint64_t offsetB,
                                 uint64_t length, uint64_t extractEnd) {
  bool equal = false;
  {
    // Closed before fileA is replaced: Windows does not rename onto a file that is open.
    PaddedRegionReader a(fileA, offsetA);
    PaddedRegionReader b(fileB, offsetB);
    equal = RegionsEqual(a, b, length);
    // The device side may be missing (it then reads as erased flash), the component may not: a
    // source that cannot be read would be compared, and extracted, as 0xFF bytes.
    if (b.Failed()) {
      return CompareOutcome::Failed;
    }
  }
  if (equal) {
    return CompareOutcome::Equal;
  }
  // With an extraction end the file is the image of everything from offsetA up to that end: the
  // region first, erased bytes after it, and no more than that size even when the region is
  // longer. An end at or before offsetA leaves an empty file.
  const uint64_t size =
      extractEnd == 0 ? length : (extractEnd > offsetA ? extractEnd - offsetA : 0);
  return ReplaceWithExtract(fileA, fileB, offsetB, std::min(length, size), size)
             ? CompareOutcome::Extracted
             : CompareOutcome::Failed;
}

bool CompareFileRegions(const std::filesystem::path& fileA, uint64_t offsetA,
                        const std::filesystem::path& fileB, uint64_t offsetB, uint64_t length,
                        bool enabled) {
  if (!enabled) {
    return true;
  }
  PaddedRegionReader a(fileA, offsetA);
  PaddedRegionReader b(fileB, offsetB);
  return RegionsEqual(a, b, length);
}

}  // namespace korvan
