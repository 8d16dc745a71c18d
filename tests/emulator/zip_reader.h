// Reads a zip file back with minizip's unzip side, keeping every header field the emulator's zip
// writer sets, so its tests and the server-tree tests see what an extractor would see.
#pragma once

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#ifdef _WIN32
#include <minizip/iowin32.h>
#endif

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvan::testing {

struct ReadZipEntry {
  std::string name;
  std::vector<uint8_t> bytes;
  uint64_t compressedSize = 0;
  unsigned long method = 0;  // 0 stored, 8 deflated
  unsigned long flag = 0;
  unsigned long versionMadeBy = 0;
  unsigned long externalAttributes = 0;
  tm_unz time{};  // the DOS date and time, as minizip decodes them (months from 0)
  std::vector<uint8_t> centralExtra;
  std::vector<uint8_t> localExtra;
};

// Every entry in directory order; nullopt (with a test failure) when the file is no readable
// zip or an entry fails its CRC.
inline std::optional<std::vector<ReadZipEntry>> ReadZip(const std::filesystem::path& path) {
#ifdef _WIN32
  zlib_filefunc64_def files;
  fill_win32_filefunc64W(&files);
  unzFile zip = unzOpen2_64(path.c_str(), &files);
#else
  unzFile zip = unzOpen64(path.c_str());
#endif
  if (zip == nullptr) {
    ADD_FAILURE() << path << " is not a readable zip file";
    return std::nullopt;
  }
  std::vector<ReadZipEntry> entries;
  bool ok = true;
  for (int at = unzGoToFirstFile(zip); ok && at == UNZ_OK; at = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    char name[1024] = {};
    std::vector<uint8_t> extra(1024);
    unzGetCurrentFileInfo64(zip, &info, name, sizeof(name) - 1, extra.data(),
                            static_cast<uLong>(extra.size()), nullptr, 0);
    ReadZipEntry entry;
    entry.name = name;
    entry.compressedSize = info.compressed_size;
    entry.method = info.compression_method;
    entry.flag = info.flag;
    entry.versionMadeBy = info.version;
    entry.externalAttributes = info.external_fa;
    entry.time = info.tmu_date;
    extra.resize(info.size_file_extra);
    entry.centralExtra = extra;
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
      ADD_FAILURE() << "cannot open entry " << entry.name << " of " << path;
      ok = false;
      break;
    }
    entry.localExtra.resize(1024);
    const int localLength = unzGetLocalExtrafield(zip, entry.localExtra.data(),
                                                  static_cast<unsigned>(entry.localExtra.size()));
    entry.localExtra.resize(localLength > 0 ? static_cast<size_t>(localLength) : 0);
    entry.bytes.resize(info.uncompressed_size);
    size_t got = 0;
    while (got < entry.bytes.size()) {
      const int n = unzReadCurrentFile(zip, entry.bytes.data() + got,
                                       static_cast<unsigned>(entry.bytes.size() - got));
      if (n <= 0) {
        break;
      }
      got += static_cast<size_t>(n);
    }
    // The CRC is checked only when the entry is closed.
    if (got != entry.bytes.size() || unzCloseCurrentFile(zip) != UNZ_OK) {
      ADD_FAILURE() << "entry " << entry.name << " of " << path << " does not read back";
      ok = false;
    }
    entries.push_back(std::move(entry));
  }
  unzClose(zip);
  if (!ok) {
    return std::nullopt;
  }
  return entries;
}

// The entry called `name`, or null.
inline const ReadZipEntry* FindEntry(const std::vector<ReadZipEntry>& entries,
                                     const std::string& name) {
  for (const ReadZipEntry& entry : entries) {
    if (entry.name == name) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace korvan::testing
