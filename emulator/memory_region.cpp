#include "emulator/memory_region.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace korvan::emu {

bool MemoryRegion::Covers(uint64_t byteAddress, uint64_t length) const {
  // Written so that no sum can wrap: addresses come from 32-bit unit numbers times 1024.
  return byteAddress >= base_ && byteAddress - base_ <= size_ &&
         length <= size_ - (byteAddress - base_);
}

bool MemoryRegion::Read(uint64_t byteAddress, std::span<uint8_t> out) {
  if (!Covers(byteAddress, out.size())) {
    return false;
  }
  return ReadAt(byteAddress - base_, out);
}

bool MemoryRegion::Write(uint64_t byteAddress, std::span<const uint8_t> in) {
  if (!Covers(byteAddress, in.size())) {
    return false;
  }
  return WriteAt(byteAddress - base_, in);
}

RamMemory::RamMemory(uint64_t base, std::vector<uint8_t> bytes)
    : MemoryRegion(base, bytes.size()), bytes_(std::move(bytes)) {}

bool RamMemory::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
  return true;
}

bool RamMemory::WriteAt(uint64_t offset, std::span<const uint8_t> in) {
  std::copy(in.begin(), in.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

FileMemory::FileMemory(uint64_t base, uint64_t size, int fd, bool writable)
    : MemoryRegion(base, size), fd_(fd), writable_(writable) {}

FileMemory::~FileMemory() {
  ::close(fd_);
}

FileMemory::OpenResult FileMemory::Open(uint64_t base, const std::filesystem::path& path) {
  bool writable = true;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    writable = false;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    return {nullptr, "cannot open " + path.string() + ": " + std::strerror(errno)};
  }
  struct stat info {};
  const bool statOk = ::fstat(fd, &info) == 0;
  if (!statOk || !S_ISREG(info.st_mode)) {
    const std::string why = statOk ? "not a regular file" : std::strerror(errno);
    ::close(fd);
    return {nullptr, "cannot use " + path.string() + ": " + why};
  }
  return {std::unique_ptr<FileMemory>(
              new FileMemory(base, static_cast<uint64_t>(info.st_size), fd, writable)),
          {}};
}

bool FileMemory::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;  // an error, or the file was cut short behind our back
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool FileMemory::WriteAt(uint64_t offset, std::span<const uint8_t> in) {
  if (!writable_) {
    return false;
  }
  size_t done = 0;
  while (done < in.size()) {
    const ssize_t n =
        ::pwrite(fd_, in.data() + done, in.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace korvan::emu
