#include "sources/zip_extractor.h"

#include <minizip/unzip.h>
#include <zlib.h>
#ifdef _WIN32
#include <minizip/iowin32.h>
#endif

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "sources/extraction_target.h"
#include "sources/zip_name.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

// Data is written in pieces of this size, and read from the package in pieces of this size.
constexpr unsigned kPiece = 16384;
// File times count 100 ns steps from 1601-01-01; Unix times count seconds from 1970-01-01.
constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kUnixEpochTicks = 116'444'736'000'000'000;
constexpr uint16_t kUnixTimesTag = 0x5455;  // "UT", little-endian
constexpr uLong kEncryptedFlag = 0x0001;
// The file type bits of a Unix mode (S_IFMT, S_IFREG, S_IFDIR), which every platform reads.
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixFile = 0100000;
constexpr uint32_t kUnixFolder = 0040000;

// The MS-DOS stamp is the local time of the machine that made the package.
uint64_t DosToFileTime(uLong dosDateTime) {
  const auto date = static_cast<unsigned>(dosDateTime >> 16);
  const auto time = static_cast<unsigned>(dosDateTime & 0xFFFF);
  std::tm local{};
  local.tm_year = 80 + static_cast<int>(date >> 9);
  local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  local.tm_mday = static_cast<int>(date & 0x1F);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 0x3F);
  local.tm_sec = static_cast<int>(2 * (time & 0x1F));
  local.tm_isdst = -1;
  const std::time_t utc = std::mktime(&local);
  if (utc == static_cast<std::time_t>(-1) || utc < 0) {
    return 0;
  }
  return static_cast<uint64_t>(utc) * kTicksPerSecond + kUnixEpochTicks;
}

uint32_t ReadLe32(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The first "UT" block of a local extra field: a flags byte, then a 32-bit Unix time for each
// flag set (bit 0 write, bit 1 access, bit 2 creation). Blocks and times that run past the field
// are ignored: the extra field is the packer's, not a promise.
void ApplyUnixTimes(std::span<const uint8_t> extra, FileTimes& times) {
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    const auto tag = static_cast<uint16_t>(extra[at] | extra[at + 1] << 8);
    const std::size_t size = static_cast<std::size_t>(extra[at + 2] | extra[at + 3] << 8);
    const std::size_t data = at + 4;
    if (tag == kUnixTimesTag) {
      const std::size_t end = std::min(data + size, extra.size());
      if (data >= end) {
        return;
      }
      const uint8_t flags = extra[data];
      std::size_t next = data + 1;
      uint64_t* const slots[] = {&times.write, &times.access, &times.creation};
      for (int bit = 0; bit < 3; ++bit) {
        if ((flags & (1u << bit)) == 0) {
          continue;
        }
        if (next + 4 > end) {
          return;
        }
        *slots[bit] = ReadLe32(extra, next) * kTicksPerSecond + kUnixEpochTicks;
        next += 4;
      }
      return;
    }
    at = data + size;
  }
}

bool IsDosHost(uLong versionMadeBy) {
  const auto host = (versionMadeBy >> 8) & 0xFF;
  return host == 0 || host == 7 || host == 11 || host == 14;
}

uint32_t AttributesOf(uLong versionMadeBy, uLong external) {
  if (IsDosHost(versionMadeBy)) {
    return static_cast<uint32_t>(external) &
           (kZipReadOnly | kZipHidden | kZipSystem | kZipFolder | kZipArchive);
  }
  // Unix-like hosts keep the mode in the high 16 bits: S_IFDIR, and the owner's write bit.
  uint32_t attributes = kZipArchive;
  if ((external & 0x40000000u) != 0) {
    attributes |= kZipFolder;
  }
  if ((external & 0x00800000u) == 0) {
    attributes |= kZipReadOnly;
  }
  return attributes;
}

// A link, device, pipe or socket by the Unix mode of a Unix-like host. A mode without a type
// (some packers leave it out) is a plain file.
bool IsSpecialFile(uLong versionMadeBy, uLong external) {
  if (IsDosHost(versionMadeBy)) {
    return false;
  }
  const auto type = static_cast<uint32_t>(external >> 16) & kUnixTypeMask;
  return type != 0 && type != kUnixFile && type != kUnixFolder;
}

// The item under minizip's cursor, as the central directory has it.
struct Item {
  int32_t index = 0;
  unz_file_info64 info{};
  std::string stored;  // the name's bytes as stored
  std::string cleaned;
  uint32_t attributes = 0;
  FileTimes times;
};

// Absolute the way the program's Windows heritage reads a path: a leading separator, or a drive.
bool IsAbsoluteTarget(std::string_view path) {
  return (!path.empty() && (path[0] == '\\' || path[0] == '/')) ||
         (path.size() >= 2 && path[1] == ':');
}

// Paths cross this layer as UTF-8 text; fs::path holds UTF-16 on Windows. nullopt for text the
// platform cannot convert (the conversion throws there).
std::optional<fs::path> PathFromUtf8(std::string_view text) {
  try {
    return fs::path(std::u8string(text.begin(), text.end()));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> Utf8Of(const fs::path& path) {
  try {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// An absolute target as the platform reads it.
std::optional<fs::path> AbsoluteTarget(const fs::path& target, const fs::path& baseFolder) {
#ifdef _WIN32
  // A leading separator alone is the root of the base folder's drive; a drive ("C:\x", or "C:x"
  // below that drive's current folder) or a UNC name is taken as it stands.
  if (!target.has_root_name()) {
    return baseFolder.root_name() / target;
  }
#else
  (void)baseFolder;  // on Linux a drive letter means nothing: such a path is used as it stands
#endif
  std::error_code ec;
  fs::path absolute = fs::absolute(target, ec);
  if (ec) {
    return std::nullopt;
  }
  return absolute;
}

std::optional<std::vector<std::string>> StepsOf(const fs::path& normalised) {
  std::vector<std::string> steps;
  for (const auto& step : normalised.relative_path()) {
    if (!step.empty()) {
      auto text = Utf8Of(step);
      if (!text) {
        return std::nullopt;
      }
      steps.push_back(std::move(*text));
    }
  }
  return steps;
}

std::FILE* OpenForReading(const fs::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rbe");
#endif
}

// minizip's own file functions take a char path; on Windows the package is opened by its wide
// name so that any folder name works, not only those of the ANSI code page.
unzFile OpenPackage(const fs::path& path) {
#ifdef _WIN32
  zlib_filefunc64_def files{};
  fill_win32_filefunc64W(&files);
  return unzOpen2_64(path.c_str(), &files);
#else
  return unzOpen64(path.c_str());
#endif
}

// minizip 1.1 looks for the end record everywhere but at the very start of the file, which is
// where a package without items has it (22 bytes and an optional comment): such a package is
// recognised here, and has no item to read.
bool IsEmptyPackage(const fs::path& path) {
  constexpr std::size_t kEndRecord = 22;
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) {
    return false;
  }
  std::vector<uint8_t> bytes(kEndRecord + 0xFFFF + 1);
  const std::size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  if (size < kEndRecord) {
    return false;
  }
  const std::span<const uint8_t> record(bytes.data(), kEndRecord);
  const bool allZero =
      std::all_of(record.begin() + 4, record.begin() + 20, [](uint8_t b) { return b == 0; });
  const std::size_t comment = static_cast<std::size_t>(record[20] | record[21] << 8);
  return ReadLe32(record, 0) == 0x06054b50 && allZero && size == kEndRecord + comment;
}

}  // namespace

struct ZipExtractor::State {
  unzFile zip = nullptr;
  ZipLimits limits;
  fs::path baseFolder;
  int32_t count = 0;
  int32_t current = 0;  // the item minizip's cursor is on
  bool memberOpen = false;
  uint64_t declaredTotal = 0;
  uint64_t written = 0;
  std::optional<ZipEntry> kept;
  // Where the data of each item extracted so far lies in the package: start -> (end, index).
  // Zip bombs point many entries at one run of data; a real package never does.
  std::map<uint64_t, std::pair<uint64_t, int32_t>> extractedData;
  std::vector<char> nameBuffer = std::vector<char>(0x10000);
  std::vector<uint8_t> extraBuffer;
  // The read and write pieces, allocated at the first extraction and kept until Close.
  std::unique_ptr<uint8_t[]> buffer;
  z_stream inflater{};
  bool inflaterReady = false;

  ~State() {
    if (inflaterReady) {
      inflateEnd(&inflater);
    }
    if (zip != nullptr) {
      CloseMember();
      unzClose(zip);
    }
  }

  void CloseMember() {
    if (memberOpen) {
      unzCloseCurrentFile(zip);
      memberOpen = false;
    }
  }

  // Central-directory order: back to the first item when the wanted one lies behind the
  // cursor, then forward one by one.
  ZipResult GoTo(int32_t index) {
    CloseMember();
    if (index < current) {
      if (unzGoToFirstFile(zip) != UNZ_OK) {
        current = INT32_MAX;
        return ZipResult::CannotOpen;
      }
      current = 0;
    }
    while (current < index) {
      if (unzGoToNextFile(zip) != UNZ_OK) {
        current = INT32_MAX;  // lost: the next request starts from the first item again
        return ZipResult::CannotOpen;
      }
      ++current;
    }
    return ZipResult::Ok;
  }

  // The item to extract and the folder steps of its cleaned name: BadArguments for an index
  // out of range or a name that cannot be a path below the extraction folder.
  ZipResult LoadForExtraction(int32_t index, Item& item, std::vector<std::string>& steps) {
    if (index < 0 || index >= count) {
      return ZipResult::BadArguments;
    }
    if (const ZipResult loaded = Load(index, item); loaded != ZipResult::Ok) {
      return loaded;
    }
    auto cleaned = EntryPathSteps(item.cleaned);
    if (!cleaned) {
      return ZipResult::BadArguments;
    }
    steps = std::move(*cleaned);
    return ZipResult::Ok;
  }

  ZipResult Load(int32_t index, Item& item) {
    if (const ZipResult moved = GoTo(index); moved != ZipResult::Ok) {
      return moved;
    }
    if (unzGetCurrentFileInfo64(zip, &item.info, nameBuffer.data(),
                                static_cast<uLong>(nameBuffer.size()), nullptr, 0, nullptr,
                                0) != UNZ_OK) {
      return ZipResult::CannotOpen;
    }
    item.index = index;
    item.stored.assign(nameBuffer.data(),
                       std::min<std::size_t>(item.info.size_filename, nameBuffer.size()));
    item.cleaned = CleanEntryName(DecodeEntryName(item.stored));
    item.attributes = AttributesOf(item.info.version, item.info.external_fa);
    const uint64_t dos = DosToFileTime(item.info.dosDate);
    item.times = {dos, dos, dos};
    return ZipResult::Ok;
  }

  // Opens the item's data as stored (inflating is ours, so that a stream longer than declared
  // is seen) and takes the times of its local extra field, which only an open member shows.
  ZipResult OpenMember(Item& item) {
    const int opened = unzOpenCurrentFile2(zip, nullptr, nullptr, 1);
    if (opened != UNZ_OK) {
      return opened == UNZ_BADZIPFILE ? ZipResult::LocalHeaderMismatch
                                      : ZipResult::LocalHeaderUnreadable;
    }
    memberOpen = true;
    const int extraSize = unzGetLocalExtrafield(zip, nullptr, 0);
    if (extraSize < 0) {
      return ZipResult::LocalHeaderUnreadable;
    }
    extraBuffer.resize(static_cast<std::size_t>(extraSize));
    if (extraSize > 0 && unzGetLocalExtrafield(zip, extraBuffer.data(),
                                               static_cast<unsigned>(extraSize)) != extraSize) {
      return ZipResult::LocalHeaderUnreadable;
    }
    ApplyUnixTimes(extraBuffer, item.times);
    return ZipResult::Ok;
  }

  bool OverlapsExtracted(uint64_t start, uint64_t end, int32_t index) const {
    if (start == end) {
      return false;
    }
    auto after = extractedData.upper_bound(start);
    if (after != extractedData.end() && after->first < end && after->second.second != index) {
      return true;
    }
    if (after != extractedData.begin()) {
      const auto before = std::prev(after);
      if (before->second.first > start && before->second.second != index) {
        return true;
      }
    }
    return false;
  }

  ZipResult MakeFolder(const fs::path& root, const std::vector<std::string>& steps) {
    FolderChain chain;
    ZipResult result = chain.OpenRoot(root);
    for (std::size_t i = 0; i < steps.size() && result == ZipResult::Ok; ++i) {
      result = chain.Enter(steps[i]);
    }
    if (result == ZipResult::Ok) {
      chain.Keep();
    }
    return result;
  }

  ZipResult Extract(Item& item, const fs::path& root, const std::vector<std::string>& steps);
  ZipResult Inflate(PartFile& part, const Item& item, uint32_t& crc);
  ZipResult Emit(PartFile& part, const uint8_t* data, std::size_t size, uint64_t declared,
                 uint64_t& produced, uint32_t& crc);
};

ZipResult ZipExtractor::State::Emit(PartFile& part, const uint8_t* data, std::size_t size,
                                    uint64_t declared, uint64_t& produced, uint32_t& crc) {
  // Checked before writing, so a bomb never gets a byte past its declared size onto the disk.
  if (size > declared - produced ||
      size > limits.maxPackageSize - std::min(written, limits.maxPackageSize)) {
    return ZipResult::DecompressionFailed;
  }
  if (!part.Write(data, size)) {
    return ZipResult::WriteFailed;
  }
  crc = static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
  produced += size;
  written += size;
  return ZipResult::Ok;
}

ZipResult ZipExtractor::State::Inflate(PartFile& part, const Item& item, uint32_t& crc) {
  const uint64_t declared = item.info.uncompressed_size;
  const bool deflated = item.info.compression_method == Z_DEFLATED;
  if (!deflated && item.info.compression_method != 0) {
    return ZipResult::DecompressionFailed;
  }
  if (!buffer) {
    buffer = std::make_unique<uint8_t[]>(2 * kPiece);
  }
  uint8_t* const in = buffer.get();
  uint8_t* const out = buffer.get() + kPiece;
  if (deflated) {
    const int ready = inflaterReady ? inflateReset(&inflater) : inflateInit2(&inflater, -MAX_WBITS);
    if (ready != Z_OK) {
      return ZipResult::DecompressionFailed;
    }
    inflaterReady = true;
  }
  uint64_t produced = 0;
  bool ended = false;
  while (!ended) {
    const int got = unzReadCurrentFile(zip, in, kPiece);
    if (got < 0) {
      return ZipResult::DecompressionFailed;
    }
    if (got == 0) {
      break;  // the compressed size from the central directory is used up
    }
    if (!deflated) {
      if (const ZipResult r =
              Emit(part, in, static_cast<std::size_t>(got), declared, produced, crc);
          r != ZipResult::Ok) {
        return r;
      }
      continue;
    }
    inflater.next_in = in;
    inflater.avail_in = static_cast<uInt>(got);
    do {
      inflater.next_out = out;
      inflater.avail_out = kPiece;
      const int status = inflate(&inflater, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        return ZipResult::DecompressionFailed;
      }
      if (const ZipResult r = Emit(part, out, kPiece - inflater.avail_out, declared, produced, crc);
          r != ZipResult::Ok) {
        return r;
      }
      if (status == Z_STREAM_END) {
        // Bytes behind the end of the stream are the packer's padding; nothing reads them.
        ended = true;
        break;
      }
      if (status == Z_BUF_ERROR) {
        break;  // no progress without more input
      }
    } while (inflater.avail_in > 0 || inflater.avail_out == 0);
  }
  // A deflate stream without its final block, or data shorter than declared, is cut short.
  if ((deflated && !ended) || produced != declared) {
    return ZipResult::DecompressionFailed;
  }
  return ZipResult::Ok;
}

ZipResult ZipExtractor::State::Extract(Item& item, const fs::path& root,
                                       const std::vector<std::string>& steps) {
  if (item.stored.size() > kMaxEntryNameLength || item.stored.find('\0') != std::string::npos ||
      IsSpecialFile(item.info.version, item.info.external_fa)) {
    return ZipResult::BadArguments;
  }
  if ((item.info.flag & kEncryptedFlag) != 0) {
    return ZipResult::Encrypted;
  }
  if ((item.attributes & kZipFolder) != 0 || NamesFolder(item.cleaned)) {
    return MakeFolder(root, steps);
  }
  if (item.info.uncompressed_size > limits.maxEntrySize || declaredTotal > limits.maxPackageSize) {
    return ZipResult::DecompressionFailed;
  }
  if (const ZipResult opened = OpenMember(item); opened != ZipResult::Ok) {
    CloseMember();
    return opened;
  }
  const uint64_t dataStart = unzGetCurrentFileZStreamPos64(zip);
  const uint64_t dataEnd = dataStart + item.info.compressed_size;
  if (dataEnd < dataStart || OverlapsExtracted(dataStart, dataEnd, item.index)) {
    CloseMember();
    return ZipResult::BadArguments;
  }

  FolderChain chain;
  ZipResult result = chain.OpenRoot(root);
  for (std::size_t i = 0; i + 1 < steps.size() && result == ZipResult::Ok; ++i) {
    result = chain.Enter(steps[i]);
  }
  if (result != ZipResult::Ok) {
    CloseMember();
    return result;
  }
  PartFile part(chain, steps.back());
  result = part.Create((item.attributes & kZipReadOnly) != 0);
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  if (result == ZipResult::Ok) {
    result = Inflate(part, item, crc);
  }
  CloseMember();
  if (result == ZipResult::Ok && crc != item.info.crc) {
    result = ZipResult::DecompressionFailed;
  }
  if (result == ZipResult::Ok && !part.Finish(item.times)) {
    result = ZipResult::WriteFailed;
  }
  if (result == ZipResult::Ok) {
    result = part.Commit();
  }
  if (result != ZipResult::Ok) {
    return result;
  }
  chain.Keep();
  if (dataEnd > dataStart) {
    extractedData[dataStart] = {dataEnd, item.index};
  }
  return ZipResult::Ok;
}

ZipExtractor::ZipExtractor() : state_(std::make_unique<State>()) {}

ZipExtractor::~ZipExtractor() = default;

ZipResult ZipExtractor::Store(ZipResult result) {
  lastResult_ = result;
  return result;
}

std::unique_ptr<ZipExtractor> ZipExtractor::Open(const fs::path& packagePath, ZipResult* result,
                                                 const ZipLimits& limits) {
  if (result != nullptr) {
    *result = ZipResult::CannotOpen;
  }
  std::unique_ptr<ZipExtractor> extractor(new ZipExtractor());
  State& state = *extractor->state_;
  state.limits = limits;
  std::error_code ec;
  state.baseFolder = fs::current_path(ec);
  if (ec) {
    return nullptr;
  }
  state.zip = OpenPackage(packagePath);
  if (state.zip == nullptr) {
    if (IsEmptyPackage(packagePath)) {
      if (result != nullptr) {
        *result = ZipResult::Ok;
      }
      return extractor;
    }
    return nullptr;
  }
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(state.zip, &global) != UNZ_OK || global.number_entry > INT32_MAX) {
    return nullptr;
  }
  // One pass over the central directory: a package whose directory cannot be read to the end
  // is damaged, and the declared sizes of all items are needed before the first is written.
  const auto count = static_cast<int32_t>(global.number_entry);
  for (int32_t i = 0; i < count; ++i) {
    unz_file_info64 info{};
    if ((i == 0 ? unzGoToFirstFile(state.zip) : unzGoToNextFile(state.zip)) != UNZ_OK ||
        unzGetCurrentFileInfo64(state.zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return nullptr;
    }
    state.declaredTotal += std::min<uint64_t>(info.uncompressed_size, limits.maxPackageSize + 1);
    state.declaredTotal = std::min(state.declaredTotal, limits.maxPackageSize + 1);
  }
  if (count > 0 && unzGoToFirstFile(state.zip) != UNZ_OK) {
    return nullptr;
  }
  state.count = count;
  if (result != nullptr) {
    *result = ZipResult::Ok;
  }
  return extractor;
}

ZipResult ZipExtractor::GetEntry(int32_t index, ZipEntry& entry) {
  if (!state_) {
    return Store(ZipResult::BadArguments);
  }
  State& state = *state_;
  if (index == -1) {
    entry = ZipEntry{};
    entry.index = state.count;
    return Store(ZipResult::Ok);
  }
  if (index < 0 || index >= state.count) {
    return Store(ZipResult::BadArguments);
  }
  if (state.kept && state.kept->index == index) {
    entry = *state.kept;
    return Store(ZipResult::Ok);
  }
  Item item;
  if (const ZipResult loaded = state.Load(index, item); loaded != ZipResult::Ok) {
    return Store(loaded);
  }
  const ZipResult opened = state.OpenMember(item);
  state.CloseMember();
  entry = ZipEntry{};
  entry.index = index;
  entry.name = item.cleaned;
  entry.attributes = item.attributes;
  entry.writeTime = item.times.write;
  entry.accessTime = item.times.access;
  entry.creationTime = item.times.creation;
  entry.compressedSize = static_cast<int32_t>(item.info.compressed_size);
  entry.uncompressedSize = static_cast<int32_t>(item.info.uncompressed_size);
  if (opened == ZipResult::Ok) {
    state.kept = entry;
  }
  return Store(opened);
}

ZipResult ZipExtractor::ExtractEntryInto(int32_t index, const fs::path& rootFolder) {
  if (!state_) {
    return Store(ZipResult::BadArguments);
  }
  Item item;
  std::vector<std::string> steps;
  if (const ZipResult loaded = state_->LoadForExtraction(index, item, steps);
      loaded != ZipResult::Ok) {
    return Store(loaded);
  }
  const fs::path root = (state_->baseFolder / rootFolder).lexically_normal();
  return Store(state_->Extract(item, root, steps));
}

ZipResult ZipExtractor::ExtractEntry(int32_t index, const std::string& targetPath) {
  if (!state_) {
    return Store(ZipResult::BadArguments);
  }
  Item item;
  std::vector<std::string> steps;
  if (const ZipResult loaded = state_->LoadForExtraction(index, item, steps);
      loaded != ZipResult::Ok) {
    return Store(loaded);
  }
  if (targetPath.find('\0') != std::string::npos) {
    return Store(ZipResult::BadArguments);
  }
  std::string text = targetPath;
  std::replace(text.begin(), text.end(), '\\', '/');
  const std::optional<fs::path> given = PathFromUtf8(text);
  if (!given) {
    return Store(ZipResult::BadArguments);
  }
  const std::optional<fs::path> absolute = IsAbsoluteTarget(targetPath)
                                               ? AbsoluteTarget(*given, state_->baseFolder)
                                               : state_->baseFolder / *given;
  if (!absolute) {
    return Store(ZipResult::BadArguments);
  }
  const fs::path target = absolute->lexically_normal();
  const std::optional<std::vector<std::string>> stepsOfTarget = StepsOf(target);
  if (!stepsOfTarget || stepsOfTarget->empty()) {
    return Store(ZipResult::BadArguments);
  }
  const std::vector<std::string>& targetSteps = *stepsOfTarget;
  const bool endsInName = targetSteps.size() > steps.size() &&
                          std::equal(steps.rbegin(), steps.rend(), targetSteps.rbegin());
  fs::path root = target.root_path();
  const std::size_t rootSteps = targetSteps.size() - (endsInName ? steps.size() : std::size_t{1});
  for (std::size_t i = 0; i < rootSteps; ++i) {
    root /= *PathFromUtf8(targetSteps[i]);  // converted from a path just before
  }
  const std::vector<std::string> below(targetSteps.begin() + static_cast<std::ptrdiff_t>(rootSteps),
                                       targetSteps.end());
  return Store(state_->Extract(item, root, below));
}

ZipResult ZipExtractor::Close() {
  if (!state_) {
    return Store(ZipResult::BadArguments);
  }
  state_.reset();
  return Store(ZipResult::Ok);
}

}  // namespace korvan
