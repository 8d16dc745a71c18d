#include "emulator/device_images.h"

#include <utility>

namespace korvan::emu {
namespace {

std::unique_ptr<MemoryRegion> RamOrNone(uint64_t base, std::vector<uint8_t> bytes) {
  if (bytes.empty()) {
    return nullptr;
  }
  return std::make_unique<RamMemory>(base, std::move(bytes));
}

}  // namespace

std::shared_ptr<SimulatedDevice> MakeSimulatedDevice(DeviceImages images) {
  SimulatedDevice::Memories memories;
  memories[static_cast<size_t>(MemorySelector::Controller)] =
      RamOrNone(kControllerBase, std::move(images.controller));
  memories[static_cast<size_t>(MemorySelector::DataFlash)] =
      RamOrNone(kDataFlashBase, std::move(images.flash));
  memories[static_cast<size_t>(MemorySelector::LegacySettings)] =
      RamOrNone(kLegacySettingsBase, std::move(images.memory2));
  return std::make_shared<SimulatedDevice>(std::move(images.inquiry), std::move(memories));
}

}  // namespace korvan::emu
