#include "emulator/simulated_device.h"

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <utility>

namespace korvan::emu {
namespace {

constexpr size_t kAllocationLengthByte = 4;  // INQUIRY: how many bytes the host asks for
constexpr size_t kTransferLengthByte = 8;    // vendor commands: units to move, always 1

CommandResult CheckCondition() {
  CommandResult result;
  result.status = CommandStatus::DeviceStatus;
  result.scsiStatus = kScsiCheckCondition;
  return result;
}

// What the host adapter reports for a command the device never answered, once it gives up.
CommandResult TimedOut() {
  CommandResult result;
  result.status = CommandStatus::TransportError;
  result.hostStatus = kHostTimedOut;
  return result;
}

CommandResult Unplugged() {
  CommandResult result;
  result.status = CommandStatus::TransportError;
  result.hostStatus = kHostNoConnect;
  return result;
}

}  // namespace

SimulatedDevice::SimulatedDevice(std::vector<uint8_t> inquiry, Memories memories)
    : inquiry_(std::move(inquiry)), memories_(std::move(memories)) {
  if (inquiry_.size() > kUnitSize) {
    throw std::invalid_argument("INQUIRY data longer than one unit");
  }
}

MemoryRegion* SimulatedDevice::MemoryFor(uint8_t selector) const {
  return selector < kMemoryCount ? memories_[selector].get() : nullptr;
}

CommandResult SimulatedDevice::Execute(const Cdb& cdb, DataDirection direction,
                                       std::span<uint8_t, kUnitSize> data) {
  std::lock_guard command(commandMutex_);
  std::chrono::nanoseconds delay;
  {
    std::lock_guard lock(mutex_);
    delay = faults_.delay();
  }
  if (delay.count() > 0) {
    std::this_thread::sleep_for(delay);
  }

  std::unique_lock lock(mutex_);
  ++commandCount_;
  CommandResult result;
  size_t returned = 0;  // bytes handed to the host, for the recording
  switch (faults_.Admit(cdb)) {
    case FaultPlan::Verdict::Unplugged:
      result = Unplugged();
      break;
    case FaultPlan::Verdict::Fail:
      result = CheckCondition();
      break;
    case FaultPlan::Verdict::Serve:
      result = Serve(cdb, direction, data, returned);
      break;
    case FaultPlan::Verdict::Stall:
      // Holds this command, and with it every command behind it, until the faults are
      // cleared; it then ends as a command the host gave up on.
      stallReleased_.wait(lock, [this] { return !faults_.stalled(); });
      result = TimedOut();
      break;
  }

  if (recordMode_ != RecordMode::Off) {
    RecordedCommand& entry = recording_.emplace_back();
    entry.cdb = cdb;
    entry.direction = direction;
    entry.status = result.status;
    if (recordMode_ == RecordMode::Full) {
      if (direction == DataDirection::ToDevice) {
        entry.data.assign(data.begin(), data.end());
      } else if (result.ok()) {
        entry.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(returned));
      }
    }
  }
  return result;
}

CommandResult SimulatedDevice::Serve(const Cdb& cdb, DataDirection direction,
                                     std::span<uint8_t, kUnitSize> data, size_t& returned) {
  const uint8_t opcode = CdbOpcode(cdb);
  if (opcode == kOpInquiry) {
    if (direction != DataDirection::FromDevice) {
      return CheckCondition();
    }
    returned = std::min<size_t>(inquiry_.size(), cdb[kAllocationLengthByte]);
    std::copy_n(inquiry_.begin(), returned, data.begin());
    return {};
  }

  const bool read = opcode == kOpReadUnit;
  if (!read && opcode != kOpWriteUnit) {
    return CheckCondition();
  }
  if (direction != (read ? DataDirection::FromDevice : DataDirection::ToDevice) ||
      cdb[kTransferLengthByte] != 1) {
    return CheckCondition();
  }
  MemoryRegion* memory = MemoryFor(CdbSelector(cdb));
  if (memory == nullptr) {
    return CheckCondition();
  }
  const uint64_t byteAddress = uint64_t{CdbUnit(cdb)} * kUnitSize;
  if (!read) {
    return memory->Write(byteAddress, data) ? CommandResult{} : CheckCondition();
  }
  // Through a local buffer, so a read that fails half-way hands out nothing.
  UnitBuffer unit;
  if (!memory->Read(byteAddress, unit)) {
    return CheckCondition();
  }
  faults_.AlterRead(cdb, unit);
  std::copy(unit.begin(), unit.end(), data.begin());
  returned = kUnitSize;
  return {};
}

bool SimulatedDevice::IsConnected() const {
  std::lock_guard lock(mutex_);
  return !faults_.unplugged();
}

bool SimulatedDevice::IsStalled() const {
  std::lock_guard lock(mutex_);
  return faults_.stalled();
}

uint64_t SimulatedDevice::MemorySize(MemorySelector selector) const {
  std::lock_guard lock(mutex_);
  const MemoryRegion* memory = MemoryFor(static_cast<uint8_t>(selector));
  return memory != nullptr ? memory->size() : 0;
}

bool SimulatedDevice::Peek(MemorySelector selector, uint64_t byteAddress,
                           std::span<uint8_t> out) const {
  std::lock_guard lock(mutex_);
  MemoryRegion* memory = MemoryFor(static_cast<uint8_t>(selector));
  return memory != nullptr && memory->Read(byteAddress, out);
}

std::vector<uint8_t> SimulatedDevice::Peek(MemorySelector selector, uint64_t byteAddress,
                                           size_t length) const {
  std::vector<uint8_t> bytes(length);
  if (!Peek(selector, byteAddress, std::span<uint8_t>(bytes))) {
    bytes.clear();
  }
  return bytes;
}

bool SimulatedDevice::Poke(MemorySelector selector, uint64_t byteAddress,
                           std::span<const uint8_t> in) {
  std::lock_guard lock(mutex_);
  MemoryRegion* memory = MemoryFor(static_cast<uint8_t>(selector));
  return memory != nullptr && memory->Write(byteAddress, in);
}

void SimulatedDevice::SetRecordMode(RecordMode mode) {
  std::lock_guard lock(mutex_);
  recordMode_ = mode;
}

std::vector<RecordedCommand> SimulatedDevice::Recording() const {
  std::lock_guard lock(mutex_);
  return recording_;
}

std::vector<Cdb> SimulatedDevice::RecordedCdbs() const {
  std::lock_guard lock(mutex_);
  std::vector<Cdb> cdbs;
  cdbs.reserve(recording_.size());
  for (const RecordedCommand& entry : recording_) {
    cdbs.push_back(entry.cdb);
  }
  return cdbs;
}

void SimulatedDevice::ClearRecording() {
  std::lock_guard lock(mutex_);
  recording_.clear();
}

uint64_t SimulatedDevice::CommandCount() const {
  std::lock_guard lock(mutex_);
  return commandCount_;
}

void SimulatedDevice::FailNthCommand(uint64_t k) {
  std::lock_guard lock(mutex_);
  faults_.FailNthCommand(k);
}

void SimulatedDevice::FailMatching(uint8_t opcode, uint32_t unit,
                                   std::optional<MemorySelector> selector) {
  std::lock_guard lock(mutex_);
  faults_.FailMatching(opcode, unit, selector);
}

void SimulatedDevice::CorruptReads(MemorySelector selector, uint32_t unit, uint32_t count,
                                   ByteRange bytes) {
  std::lock_guard lock(mutex_);
  faults_.CorruptReads(selector, unit, count, bytes);
}

void SimulatedDevice::DisconnectAfter(uint64_t n) {
  std::lock_guard lock(mutex_);
  faults_.DisconnectAfter(n);
}

void SimulatedDevice::StallAfter(uint64_t n) {
  std::lock_guard lock(mutex_);
  faults_.StallAfter(n);
}

void SimulatedDevice::StrikeAt(uint8_t opcode, MemorySelector selector, uint32_t unit,
                               FaultPlan::Strike strike) {
  std::lock_guard lock(mutex_);
  faults_.StrikeAt(opcode, selector, unit, strike);
}

void SimulatedDevice::SetCommandDelay(std::chrono::nanoseconds delay) {
  std::lock_guard lock(mutex_);
  faults_.SetDelay(delay);
}

void SimulatedDevice::ClearFaults() {
  {
    std::lock_guard lock(mutex_);
    faults_.Clear();
  }
  stallReleased_.notify_all();
}

}  // namespace korvan::emu
