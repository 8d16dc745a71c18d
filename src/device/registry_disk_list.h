// The system's list of enumerated disks as the registry keeps it: a key with a value "Count"
// and one value per disk, "0" .. "Count-1", each the disk's device-instance identification as
// a UTF-16 string. The walk here is plain code over a reader of one value, so it runs the same
// on every platform; the Windows reader (device/windows/registry_value_reader.h) reads the real
// key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "device/device_events.h"

namespace korvan {

// Every value is read into a buffer of this size; a longer value reads as empty.
inline constexpr size_t kRegistryValueBufferSize = 256;

// Reads value `name` of the list's key: its data, or nullopt when the key or the value cannot
// be read (a reader may also give nullopt for a value longer than kRegistryValueBufferSize).
using RegistryValueReader =
    std::function<std::optional<std::vector<uint8_t>>(const std::string& name)>;

// The identifications of the listed disks, in value order: as many as the low byte of "Count"
// (0 when it cannot be read), so a "Count" of 300 gives 44. A value that is missing, cannot be
// read or is longer than kRegistryValueBufferSize gives an empty identification, which names
// no disk.
std::vector<std::string> ReadRegistryDiskList(const RegistryValueReader& read);

// UTF-16LE `bytes` up to the first NUL (or their end) as UTF-8; an odd last byte is dropped and
// an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes);

class RegistryDiskList final : public EnumeratedDisks {
 public:
  explicit RegistryDiskList(RegistryValueReader read) : read_(std::move(read)) {}
  std::vector<std::string> Identifications() const override { return ReadRegistryDiskList(read_); }

 private:
  RegistryValueReader read_;
};

}  // namespace korvan
