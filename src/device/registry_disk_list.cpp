#include "device/registry_disk_list.h"

#include <algorithm>
#include <array>

#include "device/utf8.h"

namespace korvan {
namespace {

using ValueBuffer = std::array<uint8_t, kRegistryValueBufferSize>;

// The value as the list is read: a zeroed buffer, filled only by a value that fits it whole.
ValueBuffer ReadValue(const RegistryValueReader& read, const std::string& name) {
  ValueBuffer buffer{};
  const std::optional<std::vector<uint8_t>> value = read(name);
  if (value && value->size() <= buffer.size()) {
    std::copy(value->begin(), value->end(), buffer.begin());
  }
  return buffer;
}

bool IsHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes) {
  const size_t units = bytes.size() / 2;
  auto unitAt = [&](size_t i) {
    return uint32_t{bytes[2 * i]} | (uint32_t{bytes[2 * i + 1]} << 8);
  };
  std::string text;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t unit = unitAt(i);
    if (unit == 0) {
      break;
    }
    if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(unitAt(i + 1))) {
      AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(text, 0xFFFD);
    } else {
      AppendUtf8(text, unit);
    }
  }
  return text;
}

std::vector<std::string> ReadRegistryDiskList(const RegistryValueReader& read) {
  // "Count" is a 32-bit number; only its low byte counts, so at most 255 disks are listed.
  const uint8_t count = ReadValue(read, "Count")[0];
  std::vector<std::string> disks;
  disks.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    disks.push_back(Utf16LeToUtf8(ReadValue(read, std::to_string(i))));
  }
  return disks;
}

}  // namespace korvan
