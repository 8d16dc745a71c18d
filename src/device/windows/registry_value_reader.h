// Reads values of a registry key for the list of enumerated disks (device/registry_disk_list.h).
#pragma once

#include <windows.h>

#include <string>

#include "device/registry_disk_list.h"

namespace korvan {

// The disk driver's list of the disks it serves, under HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kDiskEnumKey[] = L"SYSTEM\\ControlSet001\\Services\\disk\\Enum";

// A reader of the values of `root`\`keyPath`: each read opens the key for reading (KEY_READ),
// queries the value into a buffer of kRegistryValueBufferSize bytes and closes the key. Gives
// nullopt when the key cannot be opened or the value is missing, cannot be read or does not
// fit. Tests point it at a key of their own.
RegistryValueReader MakeRegistryValueReader(HKEY root = HKEY_LOCAL_MACHINE,
                                            std::wstring keyPath = kDiskEnumKey);

}  // namespace korvan
