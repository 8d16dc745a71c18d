#include "device/windows/registry_value_reader.h"

#include <array>
#include <utility>

namespace korvan {

RegistryValueReader MakeRegistryValueReader(HKEY root, std::wstring keyPath) {
  return [root, keyPath = std::move(keyPath)](
             const std::string& name) -> std::optional<std::vector<uint8_t>> {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    // Value names are decimal numbers and "Count": ASCII.
    const std::wstring wideName(name.begin(), name.end());
    std::array<uint8_t, kRegistryValueBufferSize> buffer{};
    DWORD size = buffer.size();
    // A longer value fails with ERROR_MORE_DATA and gives nothing.
    const LSTATUS status =
        RegQueryValueExW(key, wideName.c_str(), nullptr, nullptr, buffer.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size > buffer.size()) {
      return std::nullopt;
    }
    return std::vector<uint8_t>(buffer.begin(), buffer.begin() + size);
  };
}

}  // namespace korvan
