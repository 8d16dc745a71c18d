// The simulated device as a USB mass-storage target: the Bulk-Only Transport's command and
// status blocks, and the SCSI commands a host's storage driver sends on its own (TEST UNIT
// READY, REQUEST SENSE, INQUIRY) next to the device's three. Pure bytes in and out; the USB
// side (FunctionFS) is in function_fs_device.h, so this part runs in unit tests.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "emulator/simulated_device.h"

namespace korvan::emu {

inline constexpr size_t kCommandBlockWrapperSize = 31;
inline constexpr size_t kCommandStatusWrapperSize = 13;

// One command block wrapper as the host sent it.
struct CommandBlockWrapper {
  uint32_t tag = 0;
  uint32_t dataLength = 0;  // bytes the host expects to move in the data stage
  bool dataIn = false;      // direction of that stage: device to host
  uint8_t lun = 0;
  uint8_t cdbLength = 0;  // 1..16
  std::array<uint8_t, 16> cdb{};
};

// A valid wrapper: exactly 31 bytes, the "USBC" signature, a command length of 1..16. Anything
// else is nullopt: the host and device no longer agree where a command starts.
std::optional<CommandBlockWrapper> ParseCommandBlockWrapper(std::span<const uint8_t> bytes);

enum class CommandOutcome : uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

std::array<uint8_t, kCommandStatusWrapperSize> MakeCommandStatusWrapper(uint32_t tag,
                                                                        uint32_t residue,
                                                                        CommandOutcome outcome);

// What the target answers one command with.
struct TargetReply {
  CommandOutcome outcome = CommandOutcome::Passed;
  std::vector<uint8_t> dataIn;  // data-in commands: the bytes to send, at most dataLength
  uint32_t residue = 0;         // dataLength less the bytes that moved and counted
};

// Sense key and additional sense code of the last failed command, as REQUEST SENSE reports it.
struct SenseCode {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
};

inline constexpr uint8_t kOpTestUnitReady = 0x00;
inline constexpr uint8_t kOpRequestSense = 0x03;
inline constexpr uint8_t kSenseIllegalRequest = 0x05;

class MassStorageTarget {
 public:
  explicit MassStorageTarget(std::shared_ptr<SimulatedDevice> device);

  // Answers one command. `dataOut` is what the host sent in the data stage of a data-out
  // command (all of it), empty otherwise. INQUIRY, 0xC8 and 0xCA go to the device, which
  // answers them as it does for the program's own host; TEST UNIT READY passes; REQUEST SENSE
  // reports the last failure; every other command fails with ILLEGAL REQUEST, which the
  // storage driver takes in its stride. Not thread-safe: one command at a time.
  TargetReply Answer(const CommandBlockWrapper& command, std::span<const uint8_t> dataOut);

  // Time the device itself spent on its commands (SimulatedDevice::Execute), and how many.
  std::chrono::nanoseconds deviceTime() const { return deviceTime_; }
  uint64_t deviceCommands() const { return deviceCommands_; }

 private:
  TargetReply Fail(const CommandBlockWrapper& command, SenseCode sense);
  TargetReply DeviceCommand(const CommandBlockWrapper& command, std::span<const uint8_t> dataOut);

  std::shared_ptr<SimulatedDevice> device_;
  SenseCode sense_;
  std::chrono::nanoseconds deviceTime_{0};
  uint64_t deviceCommands_ = 0;
};

// A short English name of a SCSI operation code for logs ("READ CAPACITY(10)"), or nullptr.
const char* OperationName(uint8_t opcode);

}  // namespace korvan::emu
