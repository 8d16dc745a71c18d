#include "emulator/zip_writer.h"

#include <minizip/zip.h>
#ifdef _WIN32
#include <minizip/iowin32.h>
#endif
#include <zlib.h>

#include <algorithm>
#include <array>

namespace korvan::emu {
namespace {

// "Version made by": zip format 2.0, host system in the high byte.
constexpr uLong kMadeByDos = 20;
constexpr uLong kMadeByUnix = (3u << 8) | 20;
constexpr uLong kUtf8NameFlag = 1u << 11;
constexpr uint16_t kExtendedTimestampId = 0x5455;  // "UT"
constexpr uint8_t kModificationTimePresent = 0x01;
// zipWriteInFileInZip takes an unsigned length; large images go in pieces.
constexpr size_t kWriteChunk = 1u << 20;

uLong DosDateTime(const ZipTime& t) {
  const uLong date = (static_cast<uLong>(t.year - 1980) << 9) | (uLong{t.month} << 5) | t.day;
  const uLong time = (uLong{t.hour} << 11) | (uLong{t.minute} << 5) | (t.second / 2u);
  return (date << 16) | time;
}

// The extended-timestamp field carries the same 5 data bytes in the local and the central
// header when only the modification time is given.
std::array<uint8_t, 9> ExtendedTimestamp(uint32_t unixTime) {
  return {static_cast<uint8_t>(kExtendedTimestampId & 0xFF),
          static_cast<uint8_t>(kExtendedTimestampId >> 8),
          5,
          0,
          kModificationTimePresent,
          static_cast<uint8_t>(unixTime),
          static_cast<uint8_t>(unixTime >> 8),
          static_cast<uint8_t>(unixTime >> 16),
          static_cast<uint8_t>(unixTime >> 24)};
}

std::string EntryError(const ZipEntry& entry, const char* what, int code) {
  return "cannot " + std::string(what) + " entry \"" + entry.name + "\" (minizip error " +
         std::to_string(code) + ")";
}

std::string WriteEntry(zipFile zip, const ZipEntry& entry) {
  const bool folder = entry.IsFolder();
  if (folder && !entry.bytes.empty()) {
    return "folder entry \"" + entry.name + "\" cannot hold bytes";
  }
  zip_fileinfo info{};
  info.dosDate = DosDateTime(entry.modified);
  info.external_fa = entry.dosAttributes | (folder ? kDosFolder : 0);
  if (entry.unixMode) {
    info.external_fa |= static_cast<uLong>(*entry.unixMode) << 16;
  }
  std::array<uint8_t, 9> extra{};
  uInt extraSize = 0;
  if (entry.unixTime) {
    extra = ExtendedTimestamp(*entry.unixTime);
    extraSize = static_cast<uInt>(extra.size());
  }
  const bool store = folder || entry.method == ZipEntry::Method::Store;
  const int method = store ? 0 : Z_DEFLATED;
  const int level = store ? 0 : entry.level;
  int code = zipOpenNewFileInZip4_64(
      zip, entry.name.c_str(), &info, extraSize ? extra.data() : nullptr, extraSize,
      extraSize ? extra.data() : nullptr, extraSize, nullptr, method, level, 0, -MAX_WBITS,
      DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, entry.unixMode ? kMadeByUnix : kMadeByDos,
      entry.utf8Name ? kUtf8NameFlag : 0, 0);
  if (code != ZIP_OK) {
    return EntryError(entry, "open", code);
  }
  for (size_t at = 0; at < entry.bytes.size(); at += kWriteChunk) {
    const size_t length = std::min(kWriteChunk, entry.bytes.size() - at);
    code = zipWriteInFileInZip(zip, entry.bytes.data() + at, static_cast<unsigned>(length));
    if (code != ZIP_OK) {
      zipCloseFileInZip(zip);
      return EntryError(entry, "write", code);
    }
  }
  code = zipCloseFileInZip(zip);
  return code == ZIP_OK ? std::string() : EntryError(entry, "close", code);
}

}  // namespace

ZipEntry ZipFileEntry(std::string name, std::vector<uint8_t> bytes) {
  ZipEntry entry;
  entry.name = std::move(name);
  entry.bytes = std::move(bytes);
  return entry;
}

ZipEntry ZipTextEntry(std::string name, std::string_view text) {
  return ZipFileEntry(std::move(name), std::vector<uint8_t>(text.begin(), text.end()));
}

ZipEntry ZipFolderEntry(std::string name) {
  ZipEntry entry;
  entry.name = std::move(name);
  if (entry.name.empty() || entry.name.back() != '/') {
    entry.name += '/';
  }
  entry.method = ZipEntry::Method::Store;
  return entry;
}

ZipResult WriteZip(const std::filesystem::path& path, std::span<const ZipEntry> entries) {
#ifdef _WIN32
  // minizip's own open takes a narrow name in the ANSI code page; the wide file functions take
  // the path as it is.
  zlib_filefunc64_def files;
  fill_win32_filefunc64W(&files);
  zipFile zip = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &files);
#else
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
#endif
  if (zip == nullptr) {
    return {"cannot create zip file \"" + path.string() + "\""};
  }
  std::string error;
  for (const ZipEntry& entry : entries) {
    error = WriteEntry(zip, entry);
    if (!error.empty()) {
      error = "\"" + path.string() + "\": " + error;
      break;
    }
  }
  // The central directory is written here: without it the file is no zip at all.
  const int closed = zipClose(zip, nullptr);
  if (error.empty() && closed != ZIP_OK) {
    error = "cannot finish zip file \"" + path.string() + "\" (minizip error " +
            std::to_string(closed) + ")";
  }
  return {error};
}

}  // namespace korvan::emu
