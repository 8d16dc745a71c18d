// The contents of a simulated device as plain bytes: its INQUIRY data and its three memories.
// Built by the presets, written to and read from device folders, loaded into a device.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "emulator/simulated_device.h"

namespace korvan::emu {

struct DeviceImages {
  std::vector<uint8_t> inquiry;     // INQUIRY data, 36..136 bytes
  std::vector<uint8_t> controller;  // memory 0, from byte address 0x08000000
  std::vector<uint8_t> flash;       // memory 1 (data flash), from 0; empty: the device has none
  std::vector<uint8_t> memory2;     // memory 2 (legacy settings), from 0x08080000; empty: none
};

// A device that keeps the images in RAM. An empty image is a memory the device lacks.
std::shared_ptr<SimulatedDevice> MakeSimulatedDevice(DeviceImages images);

}  // namespace korvan::emu
