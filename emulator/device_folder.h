// Device folders: a simulated device kept as files, so tools outside the program can make,
// inspect and change one. The layout is a fixed contract:
//   inquiry.bin     the INQUIRY data the device returns, 36 to 136 bytes
//   controller.bin  memory 0, from byte address 0x08000000
//   flash.bin       memory 1 (data flash), from byte address 0; empty for a device without one
//   memory2.bin     memory 2 (legacy settings), from byte address 0x08080000; optional
//   latency.txt     microseconds the device takes per command, in decimal; optional (0)
// A loaded device reads and writes the memory files in place, so writes persist; a unit that
// is not wholly inside its file fails. flash.bin may be left out only for a model without data
// flash (by the INQUIRY model byte); an empty flash.bin always means "no data flash".
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "emulator/device_images.h"
#include "emulator/simulated_device.h"

namespace korvan::emu {

inline constexpr char kInquiryFileName[] = "inquiry.bin";
inline constexpr char kControllerFileName[] = "controller.bin";
inline constexpr char kFlashFileName[] = "flash.bin";
inline constexpr char kMemory2FileName[] = "memory2.bin";
inline constexpr char kLatencyFileName[] = "latency.txt";

struct FolderResult {
  std::string error;  // empty on success; otherwise a sentence naming the folder or file
  bool ok() const { return error.empty(); }
};

// Writes the images into `folder`, creating it (and its parents) if needed and replacing the
// device files already there. memory2.bin is written only for a non-empty image; a stale one
// is removed. Fails for INQUIRY data outside 36..136 bytes.
FolderResult WriteDeviceFolder(const std::filesystem::path& folder, const DeviceImages& images);

// Writes latency.txt with `latency`, or removes it when nullopt (the device then answers at
// once).
FolderResult WriteDeviceLatency(const std::filesystem::path& folder,
                                std::optional<std::chrono::microseconds> latency);

struct LoadedDevice {
  std::shared_ptr<SimulatedDevice> device;  // null on failure
  std::string error;
};

// A device whose memories are the files of `folder` (see the layout above), taking latency.txt's
// time per command.
LoadedDevice LoadDeviceFolder(const std::filesystem::path& folder);

}  // namespace korvan::emu
