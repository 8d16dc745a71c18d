// Where the components of an update file lie, in the file and in the device, and whether they
// fit both. The lengths come from the file's own header, so they are checked before anything is
// compared, extracted or written: a length that runs past the file, or past the model's memory,
// would make a huge working file or overwrite what lies behind the region.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "device/device_info.h"
#include "device/update_file_header.h"

namespace korvan {

enum class UpdateComponent { Firmware, Voice, Database, Signature };

// The components an update writes to a device of `type`, in their order: the firmware from
// type 1, the voice from 2, the database from 3, the signature on type 8 only.
std::span<const UpdateComponent> ComponentsFor(int8_t type);

struct ComponentPlacement {
  uint64_t fileOffset = 0;   // where the component starts in the update file
  uint64_t length = 0;       // bytes taken from the file
  uint64_t memoryStart = 0;  // where it is written: offset in the controller memory or data flash
  uint64_t memoryEnd = 0;    // the end of that memory (FwReadLength or FlashSize)
  uint64_t maxLength = 0;    // what the region can take from memoryStart on
};

// `fileSize` matters only for type 1, whose firmware is the whole file. `file` chooses the
// database address of types 3 and 4 (where the update file's firmware will look for it).
ComponentPlacement PlacementOf(UpdateComponent component, int8_t type,
                               const UpdateFileHeader& header, const UpdateFileInfo& file,
                               uint64_t fileSize);

enum class LayoutCheck {
  Fits,
  OutsideFile,  // the component runs past the end of the update file
  TooLarge,     // it would run past the end of the model's memory (or its region)
  CannotRead,   // the file or its header cannot be read
};

// A placement against a file of `fileSize` bytes.
LayoutCheck CheckPlacement(const ComponentPlacement& placement, uint64_t fileSize);

// One component of a file of `fileSize` bytes with `header`.
LayoutCheck CheckComponent(UpdateComponent component, int8_t type, const UpdateFileHeader& header,
                           const UpdateFileInfo& file, uint64_t fileSize);

// Every component a device of `type` takes from the update file `path`; the first that does not
// fit decides.
LayoutCheck CheckUpdateFileLayout(const std::filesystem::path& path, int8_t type,
                                  const UpdateFileInfo& file);

}  // namespace korvan
