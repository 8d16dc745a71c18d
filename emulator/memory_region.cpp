#include "emulator/memory_region.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "device/os_error_text.h"

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

#ifdef _WIN32
// The file is a HANDLE; reads and writes are positioned through an OVERLAPPED offset on a
// handle opened for synchronous use, Windows' pread / pwrite.
namespace {

HANDLE AsHandle(intptr_t file) {
  return reinterpret_cast<HANDLE>(file);
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// One call moves at most this much: DWORD counts, and a unit is far smaller anyway.
constexpr size_t kMaxPiece = 1u << 30;

}  // namespace

FileMemory::FileMemory(uint64_t base, uint64_t size, intptr_t file, bool writable)
    : MemoryRegion(base, size), file_(file), writable_(writable) {}

FileMemory::~FileMemory() {
  ::CloseHandle(AsHandle(file_));
}

FileMemory::OpenResult FileMemory::Open(uint64_t base, const std::filesystem::path& path) {
  // Other programs may read and write the file meanwhile, as on Linux.
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  // FILE_FLAG_BACKUP_SEMANTICS lets a folder open too, so that it is refused below as what it
  // is rather than with a misleading "access denied".
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS;
  bool writable = true;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr,
                              OPEN_EXISTING, kFlags, nullptr);
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    writable = false;
    file =
        ::CreateFileW(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) {
    return {nullptr, "cannot open " + path.string() + ": " +
                         OsErrorText(static_cast<int>(::GetLastError()))};
  }
  // A device (NUL, a console) is refused before its information is asked for, which a device
  // need not give.
  BY_HANDLE_FILE_INFORMATION info{};
  const bool disk = ::GetFileType(file) == FILE_TYPE_DISK;
  const bool infoOk = !disk || ::GetFileInformationByHandle(file, &info) != 0;
  const DWORD infoError = ::GetLastError();
  if (!disk || !infoOk || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const std::string why =
        infoOk ? "not a regular file" : OsErrorText(static_cast<int>(infoError));
    ::CloseHandle(file);
    return {nullptr, "cannot use " + path.string() + ": " + why};
  }
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return {std::unique_ptr<FileMemory>(
              new FileMemory(base, size, reinterpret_cast<intptr_t>(file), writable)),
          {}};
}

bool FileMemory::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    const DWORD piece = static_cast<DWORD>(std::min(out.size() - done, kMaxPiece));
    if (!::ReadFile(AsHandle(file_), out.data() + done, piece, &n, &at) || n == 0) {
      return false;  // an error, or the file was cut short behind our back
    }
    done += n;
  }
  return true;
}

bool FileMemory::WriteAt(uint64_t offset, std::span<const uint8_t> in) {
  if (!writable_) {
    return false;
  }
  size_t done = 0;
  while (done < in.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    const DWORD piece = static_cast<DWORD>(std::min(in.size() - done, kMaxPiece));
    if (!::WriteFile(AsHandle(file_), in.data() + done, piece, &n, &at) || n == 0) {
      return false;
    }
    done += n;
  }
  return true;
}
#else
FileMemory::FileMemory(uint64_t base, uint64_t size, intptr_t file, bool writable)
    : MemoryRegion(base, size), file_(file), writable_(writable) {}

FileMemory::~FileMemory() {
  ::close(static_cast<int>(file_));
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
    const ssize_t n = ::pread(static_cast<int>(file_), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + done));
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
    const ssize_t n = ::pwrite(static_cast<int>(file_), in.data() + done, in.size() - done,
                               static_cast<off_t>(offset + done));
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

#endif

}  // namespace korvan::emu
