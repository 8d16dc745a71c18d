// A simulated device small enough to check unit by unit: a 4 KiB controller memory, an 8 KiB
// data flash and a 2 KiB legacy settings memory, each filled with a pattern that tells every
// unit and memory apart.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "emulator/device_images.h"
#include "emulator/device_presets.h"

namespace korvan::emu::testing {

inline constexpr uint32_t kSmallControllerSize = 4 * 1024;
inline constexpr uint32_t kSmallFlashSize = 8 * 1024;
inline constexpr uint32_t kSmallMemory2Size = 2 * 1024;

// Byte i of memory `selector` in a small device.
inline uint8_t SmallDeviceByte(uint8_t selector, size_t i) {
  return static_cast<uint8_t>(i * 7 + i / 1024 * 13 + selector * 101);
}

inline std::vector<uint8_t> SmallPattern(uint8_t selector, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = SmallDeviceByte(selector, i);
  }
  return bytes;
}

inline DeviceImages SmallDeviceImages(uint8_t rawType = 0x05, size_t inquiryLength = 36) {
  DeviceImages images;
  images.inquiry = MakeInquiryData(rawType, inquiryLength);
  images.controller = SmallPattern(0, kSmallControllerSize);
  images.flash = SmallPattern(1, kSmallFlashSize);
  images.memory2 = SmallPattern(2, kSmallMemory2Size);
  return images;
}

inline std::shared_ptr<SimulatedDevice> MakeSmallDevice(uint8_t rawType = 0x05) {
  return MakeSimulatedDevice(SmallDeviceImages(rawType));
}

}  // namespace korvan::emu::testing
