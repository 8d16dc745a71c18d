// Builds zip packages for the extractor's tests and benchmark with minizip's zip side, hostile
// ones included: data of our own with a CRC and sizes of our own, any "made by" host and
// external attributes, extra fields, a password, and byte patches for what the zip side will not
// write (a NUL in a name, a local header that disagrees, central entries sharing data).
#pragma once

#include <minizip/zip.h>
#include <zlib.h>
#ifdef _WIN32
#include <minizip/iowin32.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvan::testing {

inline constexpr uint16_t kMadeByDos = 0x0014;   // host 0, version 2.0
inline constexpr uint16_t kMadeByUnix = 0x0314;  // host 3

inline uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  const auto date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const auto time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return date << 16 | time;
}

inline uint32_t Crc(std::string_view data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// `data` as a raw deflate stream, as zip items carry it.
inline std::string Deflate(std::string_view data, int level = Z_DEFAULT_COMPRESSION) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// `mib` MiB of zeros as a raw deflate stream, built in milliseconds: after a full flush the
// compressor starts afresh, so each MiB compresses to the same bytes and the stream is one
// compressed MiB repeated. `crc` receives the CRC-32 of the inflated zeros.
inline std::string DeflatedZeros(uint32_t mib, uint32_t& crc) {
  const std::string zeros(1u << 20, '\0');
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string chunk(deflateBound(&stream, static_cast<uLong>(zeros.size())) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
  stream.avail_in = static_cast<uInt>(zeros.size());
  stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
  stream.avail_out = static_cast<uInt>(chunk.size());
  deflate(&stream, Z_FULL_FLUSH);
  chunk.resize(stream.total_out);
  deflateEnd(&stream);
  std::string out;
  out.reserve(chunk.size() * mib + 2);
  const uint32_t oneCrc = Crc(zeros);
  crc = 0;
  for (uint32_t i = 0; i < mib; ++i) {
    out += chunk;
    crc = static_cast<uint32_t>(crc32_combine(crc, oneCrc, static_cast<z_off_t>(zeros.size())));
  }
  out += std::string("\x03\x00", 2);  // an empty final block
  return out;
}

struct TestItem {
  std::string name;
  std::string data;  // the content; with `raw`, the bytes stored as they are
  bool stored = false;
  int level = Z_DEFAULT_COMPRESSION;
  uint16_t madeBy = kMadeByDos;
  uint32_t external = 0x20;
  uint32_t dosDateTime = DosDateTime(2024, 5, 17, 12, 34, 56);
  std::string localExtra;
  std::string centralExtra;
  const char* password = nullptr;
  // Writes `data` untouched and declares this CRC and uncompressed size.
  struct Raw {
    uint32_t crc = 0;
    uint64_t size = 0;
  };
  std::optional<Raw> raw;
};

// A deflated item declaring the true CRC and size of `content`, written raw (as hostile
// packages are) so that tests can change what it declares.
inline TestItem RawItem(std::string name, std::string_view content) {
  TestItem item;
  item.name = std::move(name);
  item.data = Deflate(content);
  item.raw = TestItem::Raw{Crc(content), content.size()};
  return item;
}

inline bool WritePackage(const std::filesystem::path& path, const std::vector<TestItem>& items) {
#ifdef _WIN32
  // By its wide name, as the extractor opens it.
  zlib_filefunc64_def files{};
  fill_win32_filefunc64W(&files);
  zipFile zip = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &files);
#else
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
#endif
  if (zip == nullptr) {
    return false;
  }
  bool ok = true;
  for (const TestItem& item : items) {
    zip_fileinfo info{};
    info.dosDate = item.dosDateTime;
    info.external_fa = item.external;
    const int method = item.stored ? 0 : Z_DEFLATED;
    ok = ok && zipOpenNewFileInZip4_64(
                   zip, item.name.c_str(), &info, item.localExtra.data(),
                   static_cast<uInt>(item.localExtra.size()), item.centralExtra.data(),
                   static_cast<uInt>(item.centralExtra.size()), nullptr, method, item.level,
                   item.raw ? 1 : 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, item.password,
                   item.password != nullptr ? Crc(item.data) : 0, item.madeBy, 0, 0) == ZIP_OK;
    // Written in pieces: the zip side takes an unsigned length.
    for (std::size_t at = 0; ok && at < item.data.size(); at += 1u << 20) {
      const std::size_t piece = std::min<std::size_t>(1u << 20, item.data.size() - at);
      ok = zipWriteInFileInZip(zip, item.data.data() + at, static_cast<unsigned>(piece)) == ZIP_OK;
    }
    ok = ok && (item.raw ? zipCloseFileInZipRaw64(zip, item.raw->size, item.raw->crc)
                         : zipCloseFileInZip(zip)) == ZIP_OK;
  }
  return zipClose(zip, nullptr) == ZIP_OK && ok;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void ReplaceAll(std::string& bytes, std::string_view from, std::string_view to) {
  for (std::size_t at = bytes.find(from); at != std::string::npos;
       at = bytes.find(from, at + to.size())) {
    bytes.replace(at, from.size(), to);
  }
}

inline uint32_t Le32(const std::string& bytes, std::size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

inline uint16_t Le16(const std::string& bytes, std::size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1])
                                                                     << 8);
}

// Where each central-directory entry of a package without a comment starts.
inline std::vector<std::size_t> CentralEntries(const std::string& bytes) {
  const std::size_t end = bytes.size() - 22;
  const uint16_t count = Le16(bytes, end + 10);
  std::size_t at = Le32(bytes, end + 16);
  std::vector<std::size_t> entries;
  for (uint16_t i = 0; i < count; ++i) {
    entries.push_back(at);
    at += 46 + Le16(bytes, at + 28) + Le16(bytes, at + 30) + Le16(bytes, at + 32);
  }
  return entries;
}

// Points central entry `entry` at the local header (and so the data) of entry `target`.
inline void PointEntryAt(std::string& bytes, std::size_t entry, std::size_t target) {
  const auto entries = CentralEntries(bytes);
  bytes.replace(entries[entry] + 42, 4, bytes, entries[target] + 42, 4);
}

// The offset of the local header of central entry `entry`.
inline std::size_t LocalHeaderOf(const std::string& bytes, std::size_t entry) {
  return Le32(bytes, CentralEntries(bytes)[entry] + 42);
}

// An extended-timestamp ("UT") extra block: the flags, then the times that follow them.
inline std::string UnixTimesBlock(uint8_t flags, const std::vector<uint32_t>& times) {
  std::string block = "UT";
  const auto size = static_cast<uint16_t>(1 + 4 * times.size());
  block += static_cast<char>(size & 0xFF);
  block += static_cast<char>(size >> 8);
  block += static_cast<char>(flags);
  for (uint32_t t : times) {
    for (int i = 0; i < 4; ++i) {
      block += static_cast<char>((t >> (8 * i)) & 0xFF);
    }
  }
  return block;
}

}  // namespace korvan::testing
