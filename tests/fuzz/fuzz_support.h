// What several fuzz targets share: the abort on a broken invariant, a reader of the input's
// fields, a scratch folder for the run, and SparseImage, which lets a few hundred input bytes
// stand for a multi-MiB update file or memory copy (zeros everywhere but a few pieces).
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace korvan::fuzz {

// Names the broken check before aborting: the fuzzer's stack trace loses it to inlining.
inline void Require(bool condition, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE()) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s:%d\n", file, line);
    std::abort();
  }
}

// The input as a row of fields. A field the input ends inside reads as zeros, so every input,
// however short, gives every field.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : rest_(data, size) {}

  template <size_t N>
  std::array<uint8_t, N> Bytes() {
    std::array<uint8_t, N> out{};
    const size_t take = std::min(N, rest_.size());
    std::copy_n(rest_.begin(), take, out.begin());
    rest_ = rest_.subspan(take);
    return out;
  }
  uint8_t Byte() { return Bytes<1>()[0]; }
  // Little-endian, `N` bytes.
  template <size_t N>
  uint32_t Le() {
    const auto bytes = Bytes<N>();
    uint32_t value = 0;
    for (size_t i = N; i-- > 0;) {
      value = (value << 8) | bytes[i];
    }
    return value;
  }
  // Up to (not including) the next `end`, which is consumed; the whole rest when there is none.
  std::string_view Until(char end) {
    const std::string_view text(reinterpret_cast<const char*>(rest_.data()), rest_.size());
    const size_t at = text.find(end);
    const size_t taken = at == std::string_view::npos ? text.size() : at + 1;
    rest_ = rest_.subspan(taken);
    return text.substr(0, at);
  }
  std::span<const uint8_t> Take(size_t n) {
    const auto taken = rest_.first(std::min(n, rest_.size()));
    rest_ = rest_.subspan(taken.size());
    return taken;
  }
  std::span<const uint8_t> Rest() { return Take(rest_.size()); }

 private:
  std::span<const uint8_t> rest_;
};

// One folder for the whole run, in memory when the machine has /dev/shm (whose files may be
// sparse), removed at exit.
inline const std::filesystem::path& Workspace() {
  // Never destroyed, so that the exit handler can still name it.
  static const std::string* folder = [] {
    auto* made = new std::string((std::filesystem::exists("/dev/shm")
                                      ? std::string("/dev/shm")
                                      : std::filesystem::temp_directory_path().string()) +
                                 "/korvan_fuzz_XXXXXX");
    Require(mkdtemp(made->data()) != nullptr);
    Require(std::atexit([] {
              std::error_code ignored;
              std::filesystem::remove_all(*folder, ignored);
            }) == 0);
    return made;
  }();
  static const std::filesystem::path path = *folder;
  return path;
}

// A file of `size` bytes, zero but for the pieces put into it; a later piece covers an earlier
// one, and whatever lies past `size` is cut off.
class SparseImage {
 public:
  explicit SparseImage(uint64_t size) : size_(size) {}

  uint64_t size() const { return size_; }

  void Put(uint64_t offset, std::span<const uint8_t> bytes) {
    if (offset >= size_ || bytes.empty()) {
      return;
    }
    const uint64_t room = size_ - offset;
    bytes = bytes.first(static_cast<size_t>(std::min<uint64_t>(bytes.size(), room)));
    pieces_.push_back({offset, {bytes.begin(), bytes.end()}});
  }

  // The byte at `offset`, which must lie inside the image.
  uint8_t At(uint64_t offset) const {
    for (auto piece = pieces_.rbegin(); piece != pieces_.rend(); ++piece) {
      if (offset >= piece->offset && offset - piece->offset < piece->bytes.size()) {
        return piece->bytes[static_cast<size_t>(offset - piece->offset)];
      }
    }
    return 0;
  }

  // `N` bytes at `offset`; nullopt when the image ends inside them.
  template <size_t N>
  std::optional<std::array<uint8_t, N>> Read(uint64_t offset) const {
    if (offset > size_ || size_ - offset < N) {
      return std::nullopt;
    }
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) {
      out[i] = At(offset + i);
    }
    return out;
  }

  // `N` bytes at `offset`, zero past the end.
  template <size_t N>
  std::array<uint8_t, N> ReadZeroFilled(uint64_t offset) const {
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N && offset + i < size_; ++i) {
      out[i] = At(offset + i);
    }
    return out;
  }

  // Sum modulo 256 of the bytes in [offset, offset + length) that lie inside the image. Only
  // the pieces hold anything but zeros, so this costs nothing like `length`.
  uint8_t Sum8(uint64_t offset, uint64_t length) const {
    const uint64_t end = std::min(size_, offset + length);
    uint8_t sum = 0;
    for (size_t p = 0; p < pieces_.size(); ++p) {
      const Piece& piece = pieces_[p];
      for (size_t i = 0; i < piece.bytes.size(); ++i) {
        const uint64_t at = piece.offset + i;
        if (at >= offset && at < end && !CoveredAfter(p, at)) {
          sum = static_cast<uint8_t>(sum + piece.bytes[i]);
        }
      }
    }
    return sum;
  }

  // Writes the image to `path`: the holes stay holes where the file system allows them.
  void WriteTo(const std::filesystem::path& path) const {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Require(fd >= 0);
    Require(ftruncate(fd, static_cast<off_t>(size_)) == 0);
    for (const Piece& piece : pieces_) {
      Require(pwrite(fd, piece.bytes.data(), piece.bytes.size(),
                     static_cast<off_t>(piece.offset)) == static_cast<ssize_t>(piece.bytes.size()));
    }
    Require(close(fd) == 0);
  }

 private:
  struct Piece {
    uint64_t offset;
    std::vector<uint8_t> bytes;
  };

  bool CoveredAfter(size_t p, uint64_t at) const {
    for (size_t q = p + 1; q < pieces_.size(); ++q) {
      if (at >= pieces_[q].offset && at - pieces_[q].offset < pieces_[q].bytes.size()) {
        return true;
      }
    }
    return false;
  }

  uint64_t size_;
  std::vector<Piece> pieces_;
};

}  // namespace korvan::fuzz
