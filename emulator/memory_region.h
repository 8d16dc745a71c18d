// One memory of the simulated device: a byte range that starts at a base byte address and is
// read and written one 1024-byte unit at a time. Kept in RAM, or in a file read and written in
// place, so that what a test or a tool writes through the device stays in that file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/unit.h"

namespace korvan::emu {

class MemoryRegion {
 public:
  MemoryRegion(uint64_t base, uint64_t size) : base_(base), size_(size) {}
  virtual ~MemoryRegion() = default;
  MemoryRegion(const MemoryRegion&) = delete;
  MemoryRegion& operator=(const MemoryRegion&) = delete;

  uint64_t base() const { return base_; }
  uint64_t size() const { return size_; }

  // True when the `length` bytes from `byteAddress` lie wholly inside this memory.
  bool Covers(uint64_t byteAddress, uint64_t length) const;

  // Moves the bytes at `byteAddress`; false, with nothing moved, unless the range lies wholly
  // inside the memory, or when the backing store fails. Not synchronised: the device that owns
  // the memory serialises its users.
  bool Read(uint64_t byteAddress, std::span<uint8_t> out);
  bool Write(uint64_t byteAddress, std::span<const uint8_t> in);

 protected:
  // `offset` and the span are checked against size() already.
  virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
  virtual bool WriteAt(uint64_t offset, std::span<const uint8_t> in) = 0;

 private:
  uint64_t base_;
  uint64_t size_;
};

class RamMemory final : public MemoryRegion {
 public:
  RamMemory(uint64_t base, std::vector<uint8_t> bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 protected:
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  bool WriteAt(uint64_t offset, std::span<const uint8_t> in) override;

 private:
  std::vector<uint8_t> bytes_;
};

// A file taken as the memory's bytes from `base` on; its length at opening is the memory's
// size. Reads and writes go straight to the file (pread / pwrite, or their Windows forms), so
// writes persist; sizes and offsets are 64-bit.
class FileMemory final : public MemoryRegion {
 public:
  struct OpenResult {
    std::unique_ptr<FileMemory> memory;  // null on failure
    std::string error;                   // why, naming the file
  };
  // Opens `path` for reading and writing; a file that may only be read is opened read-only,
  // and every write to it then fails.
  static OpenResult Open(uint64_t base, const std::filesystem::path& path);

  ~FileMemory() override;

  bool writable() const { return writable_; }

 protected:
  bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  bool WriteAt(uint64_t offset, std::span<const uint8_t> in) override;

 private:
  FileMemory(uint64_t base, uint64_t size, intptr_t file, bool writable);

  intptr_t file_;  // the file descriptor, or on Windows the HANDLE
  bool writable_;
};

}  // namespace korvan::emu
