// The update sequence's decisions for one component, apart from the writing: whether the
// sequence takes the component for this device and file, where the device copy keeps it, and
// whether the copy already holds it. The update worker writes what this prepares; the dry run
// (`korvan diff`) asks the same questions of scratch copies and writes nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "device/device_info.h"
#include "device/update_file_header.h"
#include "sources/update_file_layout.h"

namespace korvan {

// One component of the sequence: where the device copy keeps it and how it is shown.
struct ComponentJob {
  UpdateComponent component;
  std::filesystem::path deviceCopy;  // compared against, then replaced by the extract
  uint64_t deviceOffset;
  uint64_t extractEnd;  // 0: the extract is as long as the component
  int uploadMode;
  int cellId;  // 0: no status cell (the signature)
};

// "firmware", "voice", "database", "signature".
std::string_view ComponentName(UpdateComponent component);

// The job for `component` (one of ComponentsFor(device.typeCode)), or nullopt where the sequence
// leaves it out for this device and file (a type-8 device already at the last firmware the
// file carries too; a type-8 file whose voice is not for the device).
std::optional<ComponentJob> SequenceJob(UpdateComponent component, const DeviceInfo& device,
                                        const UpdateFileInfo& file,
                                        const std::filesystem::path& fwCopy,
                                        const std::filesystem::path& flashCopy);

enum class Preparation {
  Same,           // the device copy already holds the component; nothing is to be written
  Extracted,      // the device copy now holds the component, ready to be written
  CannotExtract,  // the component does not lie whole in the file, or could not be extracted
};

// Checks where the component lies in the update file (the header may have changed since Open
// checked it), compares it with the device copy and, when they differ, replaces the copy by it.
// WARNING: after CannotExtract the copy may still hold the whole memory read at detection; it
// must not be written as if it were the component.
Preparation PrepareComponent(const ComponentJob& job, int8_t type, const UpdateFileHeader& header,
                             const UpdateFileInfo& file, const std::filesystem::path& updateFile,
                             uint64_t fileSize);

}  // namespace korvan
