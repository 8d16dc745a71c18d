// `SimulatedDevice`: a stand-in for the radar detector on the far end of the USB cable. It
// answers the same three command blocks as the real device (INQUIRY, read unit 0xC8, write
// unit 0xCA) from up to three memories, records every command it receives, and fails or alters
// commands on request so tests can drive every error path without hardware.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "device/command_block.h"
#include "device/scsi_transport.h"
#include "device/unit.h"
#include "emulator/fault_plan.h"
#include "emulator/memory_region.h"

namespace korvan::emu {

// SCSI status and host code the device answers failed commands with.
inline constexpr uint8_t kScsiCheckCondition = 0x02;

// One command as the device received it.
struct RecordedCommand {
  Cdb cdb{};
  DataDirection direction = DataDirection::FromDevice;
  // With RecordMode::Full, the data that crossed the cable: for data to the device the unit the
  // host sent (kept even when the command failed); for data from the device what it returned
  // (the INQUIRY bytes, or the unit as altered by a fault), empty when it failed.
  std::vector<uint8_t> data;
  CommandStatus status = CommandStatus::Good;

  bool ok() const { return status == CommandStatus::Good; }
};

enum class RecordMode : uint8_t {
  Full,     // command blocks and data
  CdbOnly,  // command blocks and results, no data: for runs of thousands of units
  Off,
};

class SimulatedDevice {
 public:
  static constexpr size_t kMemoryCount = 3;
  // Indexed by MemorySelector; a null entry is a memory the device does not have.
  using Memories = std::array<std::unique_ptr<MemoryRegion>, kMemoryCount>;

  // `inquiry` is the INQUIRY data (at most one unit; std::invalid_argument otherwise).
  SimulatedDevice(std::vector<uint8_t> inquiry, Memories memories);

  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // Runs one command the way the device does:
  // - INQUIRY (data from the device): copies min(INQUIRY size, CDB byte 4) bytes into `data`
  //   and leaves the rest of `data` alone;
  // - 0xC8 / 0xCA (from / to the device, CDB byte 8 = 1): one unit of memory CDB byte 1 at byte
  //   address unit * 1024. A unit not wholly inside that memory, a memory the device lacks, an
  //   unknown opcode or a direction that does not fit the opcode fails the command with CHECK
  //   CONDITION (CommandStatus::DeviceStatus); nothing then moves.
  // An unplugged device fails every command with CommandStatus::TransportError.
  // Thread-safe: commands from several threads are answered one at a time, in arrival order.
  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data);

  // False once the device has been unplugged (DisconnectAfter / Disconnect), until ClearFaults.
  bool IsConnected() const;
  // True once the device has stopped answering (StallAfter, a stall strike), until ClearFaults.
  bool IsStalled() const;

  const std::vector<uint8_t>& inquiry() const { return inquiry_; }

  // Direct access to the memories for tests and tools: no recording, no faults. Size 0 means
  // the device has no such memory. Peek and Poke fail unless the range lies wholly inside.
  uint64_t MemorySize(MemorySelector selector) const;
  bool Peek(MemorySelector selector, uint64_t byteAddress, std::span<uint8_t> out) const;
  std::vector<uint8_t> Peek(MemorySelector selector, uint64_t byteAddress, size_t length) const;
  bool Poke(MemorySelector selector, uint64_t byteAddress, std::span<const uint8_t> in);

  // Recording. The default mode is Full.
  void SetRecordMode(RecordMode mode);
  std::vector<RecordedCommand> Recording() const;
  std::vector<Cdb> RecordedCdbs() const;
  void ClearRecording();
  // Commands received since construction, recorded or not.
  uint64_t CommandCount() const;

  // Faults (see FaultPlan); each takes effect from the next command on.
  void FailNthCommand(uint64_t k);
  void FailMatching(uint8_t opcode, uint32_t unit,
                    std::optional<MemorySelector> selector = std::nullopt);
  void CorruptReads(MemorySelector selector, uint32_t unit, uint32_t count,
                    ByteRange bytes = ByteRange{});
  void DisconnectAfter(uint64_t n);
  void Disconnect() { DisconnectAfter(0); }
  // The next `n` commands are answered; the device then stops answering: every later command
  // waits until ClearFaults (and then fails as timed out), the way a hung device holds the
  // host for the channel's whole time-out.
  void StallAfter(uint64_t n);
  // The first command from now on this opcode, memory and unit fails, finds the device
  // unplugged, or finds it no longer answering (FaultPlan::StrikeAt).
  void StrikeAt(uint8_t opcode, MemorySelector selector, uint32_t unit, FaultPlan::Strike strike);
  // Every command waits this long before it is answered (and holds up the commands behind it,
  // as a busy device does).
  void SetCommandDelay(std::chrono::nanoseconds delay);
  // Removes every fault: failures, alterations, the delay, a stall (its waiting command is
  // released), and an unplugged state.
  void ClearFaults();

 private:
  CommandResult Serve(const Cdb& cdb, DataDirection direction, std::span<uint8_t, kUnitSize> data,
                      size_t& returned);
  MemoryRegion* MemoryFor(uint8_t selector) const;

  const std::vector<uint8_t> inquiry_;
  // Taken first by Execute for the whole command, delay included: one command at a time.
  std::mutex commandMutex_;
  // Guards everything below; held briefly, so faults can be set while a slow command waits.
  mutable std::mutex mutex_;
  Memories memories_;
  FaultPlan faults_;
  std::condition_variable stallReleased_;  // with mutex_
  RecordMode recordMode_ = RecordMode::Full;
  std::vector<RecordedCommand> recording_;
  uint64_t commandCount_ = 0;
};

}  // namespace korvan::emu
