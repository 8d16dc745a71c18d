#include "emulator/gadget/mass_storage_target.h"

#include <algorithm>
#include <utility>

namespace korvan::emu {
namespace {

constexpr uint32_t kCommandSignature = 0x43425355;  // "USBC"
constexpr uint32_t kStatusSignature = 0x53425355;   // "USBS"
constexpr uint8_t kDirectionIn = 0x80;

// Additional sense codes.
constexpr SenseCode kInvalidOpcode{kSenseIllegalRequest, 0x20, 0x00};
constexpr SenseCode kAddressOutOfRange{kSenseIllegalRequest, 0x21, 0x00};
constexpr SenseCode kInvalidField{kSenseIllegalRequest, 0x24, 0x00};
constexpr SenseCode kLunNotSupported{kSenseIllegalRequest, 0x25, 0x00};

constexpr size_t kFixedSenseLength = 18;
constexpr uint8_t kFixedSenseCurrent = 0x70;
constexpr uint8_t kEvpdBit = 0x01;

uint32_t LittleEndian32(std::span<const uint8_t> bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

void PutLittleEndian32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

}  // namespace

std::optional<CommandBlockWrapper> ParseCommandBlockWrapper(std::span<const uint8_t> bytes) {
  if (bytes.size() != kCommandBlockWrapperSize || LittleEndian32(bytes) != kCommandSignature) {
    return std::nullopt;
  }
  CommandBlockWrapper command;
  command.tag = LittleEndian32(bytes.subspan(4));
  command.dataLength = LittleEndian32(bytes.subspan(8));
  command.dataIn = (bytes[12] & kDirectionIn) != 0;
  command.lun = bytes[13] & 0x0F;
  command.cdbLength = bytes[14] & 0x1F;
  if (command.cdbLength < 1 || command.cdbLength > command.cdb.size()) {
    return std::nullopt;
  }
  std::copy_n(bytes.begin() + 15, command.cdbLength, command.cdb.begin());
  return command;
}

std::array<uint8_t, kCommandStatusWrapperSize> MakeCommandStatusWrapper(uint32_t tag,
                                                                        uint32_t residue,
                                                                        CommandOutcome outcome) {
  std::array<uint8_t, kCommandStatusWrapperSize> status{};
  PutLittleEndian32(&status[0], kStatusSignature);
  PutLittleEndian32(&status[4], tag);
  PutLittleEndian32(&status[8], residue);
  status[12] = static_cast<uint8_t>(outcome);
  return status;
}

MassStorageTarget::MassStorageTarget(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

TargetReply MassStorageTarget::Fail(const CommandBlockWrapper& command, SenseCode sense) {
  sense_ = sense;
  TargetReply reply;
  reply.outcome = CommandOutcome::Failed;
  reply.residue = command.dataLength;
  return reply;
}

TargetReply MassStorageTarget::Answer(const CommandBlockWrapper& command,
                                      std::span<const uint8_t> dataOut) {
  if (command.lun != 0) {
    return Fail(command, kLunNotSupported);
  }
  const uint8_t opcode = command.cdb[0];
  if (opcode == kOpRequestSense) {
    std::vector<uint8_t> sense(kFixedSenseLength, 0);
    sense[0] = kFixedSenseCurrent;
    sense[2] = sense_.key;
    sense[7] = kFixedSenseLength - 8;  // additional sense length
    sense[12] = sense_.asc;
    sense[13] = sense_.ascq;
    sense_ = {};
    const size_t sent = std::min<size_t>({sense.size(), command.cdb[4], command.dataLength});
    sense.resize(command.dataIn ? sent : 0);
    TargetReply reply;
    reply.residue = command.dataLength - static_cast<uint32_t>(sense.size());
    reply.dataIn = std::move(sense);
    return reply;
  }
  if (opcode == kOpTestUnitReady) {
    sense_ = {};
    TargetReply reply;
    reply.residue = command.dataLength;
    return reply;
  }
  if (opcode == kOpInquiry || opcode == kOpReadUnit || opcode == kOpWriteUnit) {
    return DeviceCommand(command, dataOut);
  }
  return Fail(command, kInvalidOpcode);
}

TargetReply MassStorageTarget::DeviceCommand(const CommandBlockWrapper& command,
                                             std::span<const uint8_t> dataOut) {
  const uint8_t opcode = command.cdb[0];
  // The device only ever answers standard INQUIRY data; vital product data pages are the
  // storage driver's question, and a device may refuse them.
  if (opcode == kOpInquiry && ((command.cdb[1] & kEvpdBit) != 0 || command.cdb[2] != 0)) {
    return Fail(command, kInvalidField);
  }
  const bool toDevice = opcode == kOpWriteUnit;
  // Units move whole: a data stage that cannot hold one would leave part of it on the cable.
  if (toDevice != !command.dataIn || (opcode != kOpInquiry && command.dataLength < kUnitSize) ||
      (toDevice && dataOut.size() != kUnitSize)) {
    return Fail(command, kInvalidField);
  }

  Cdb cdb{};
  std::copy_n(command.cdb.begin(), std::min(cdb.size(), size_t{command.cdbLength}), cdb.begin());
  UnitBuffer unit{};
  if (toDevice) {
    std::copy(dataOut.begin(), dataOut.end(), unit.begin());
  }
  const auto start = std::chrono::steady_clock::now();
  const CommandResult result =
      device_->Execute(cdb, toDevice ? DataDirection::ToDevice : DataDirection::FromDevice, unit);
  deviceTime_ += std::chrono::steady_clock::now() - start;
  ++deviceCommands_;
  if (!result.ok()) {
    return Fail(command, kAddressOutOfRange);
  }

  sense_ = {};
  TargetReply reply;
  if (toDevice) {
    return reply;
  }
  // The device hands out min(its INQUIRY length, the allocation length) for INQUIRY, and a
  // whole unit for a read.
  size_t length = kUnitSize;
  if (opcode == kOpInquiry) {
    length = std::min<size_t>(device_->inquiry().size(), cdb[4]);
  }
  length = std::min<size_t>(length, command.dataLength);
  reply.dataIn.assign(unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(length));
  reply.residue = command.dataLength - static_cast<uint32_t>(length);
  return reply;
}

const char* OperationName(uint8_t opcode) {
  switch (opcode) {
    case 0x00:
      return "TEST UNIT READY";
    case 0x03:
      return "REQUEST SENSE";
    case 0x12:
      return "INQUIRY";
    case 0x1A:
      return "MODE SENSE(6)";
    case 0x1B:
      return "START STOP UNIT";
    case 0x1E:
      return "PREVENT ALLOW MEDIUM REMOVAL";
    case 0x25:
      return "READ CAPACITY(10)";
    case 0x28:
      return "READ(10)";
    case 0x2A:
      return "WRITE(10)";
    case 0x35:
      return "SYNCHRONIZE CACHE(10)";
    case 0x5A:
      return "MODE SENSE(10)";
    case 0x9E:
      return "SERVICE ACTION IN(16)";
    case 0xA0:
      return "REPORT LUNS";
    case kOpReadUnit:
      return "read unit";
    case kOpWriteUnit:
      return "write unit";
    default:
      return nullptr;
  }
}

}  // namespace korvan::emu
