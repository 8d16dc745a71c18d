#include "device/device_channel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace korvan {

DeviceChannel::DeviceChannel(DiskHost& host, DriveSlotTable& slots) : host_(host), slots_(slots) {}

int DeviceChannel::Claim(int32_t drive) {
  drive_ = drive;
  claimed_ = true;
  return slots_.Claim(drive);
}

int DeviceChannel::FindDriveSlot(int32_t drive) const {
  return slots_.Find(drive);
}

void DeviceChannel::ResetDriveSlots() {
  slots_.Reset();
}

int DeviceChannel::OpenDrive(int n) {
  handle_.reset();
  gone_ = false;  // a new handle: the device may be back
  OpenResult result = host_.OpenDrive(n);
  lastOpenStatus_ = result.status;
  lastOpenError_ = result.osError;
  if (result.status == OpenStatus::Opened && result.transport) {
    handle_ = std::move(result.transport);
    return 1;
  }
  if (lastOpenStatus_ == OpenStatus::Opened) {
    lastOpenStatus_ = OpenStatus::Failed;  // a host that reported success without a transport
  }
  return 0;
}

int DeviceChannel::Open() {
  return OpenDrive(drive_);
}

void DeviceChannel::Close() {
  handle_.reset();
  if (claimed_) {
    slots_.Release(drive_);
  }
}

bool DeviceGone(const CommandResult& result) {
  switch (result.status) {
    case CommandStatus::TransportError:
      return result.hostStatus == kHostNoConnect || result.hostStatus == kHostBadTarget;
    case CommandStatus::OsError:
#ifdef _WIN32
      return false;  // the Windows host reports a vanished disk as the adapter's no-connect
#else
      return result.osError == ENODEV || result.osError == ENXIO;
#endif
    default:
      return false;
  }
}

int DeviceChannel::Execute(const Cdb& cdb, DataDirection direction,
                           std::span<uint8_t, kUnitSize> data) {
  if (!handle_) {
    lastCommand_ = CommandResult{CommandStatus::OsError, EBADF};
    return 0;
  }
  if (gone_) {
    return 0;  // lastCommand_ still tells how the device went
  }
  lastCommand_ = handle_->Execute(cdb, direction, data);
  gone_ = DeviceGone(lastCommand_);
  return lastCommand_.ok() ? 1 : 0;
}

int DeviceChannel::Inquiry(std::span<uint8_t, kUnitSize> buffer) {
  return Execute(MakeInquiryCdb(), DataDirection::FromDevice, buffer);
}

int DeviceChannel::ReadUnit(std::span<uint8_t, kUnitSize> buffer, MemorySelector selector,
                            uint32_t byteAddress) {
  return Execute(MakeReadUnitCdb(selector, byteAddress), DataDirection::FromDevice, buffer);
}

int DeviceChannel::WriteUnit(std::span<const uint8_t, kUnitSize> buffer, MemorySelector selector,
                             uint32_t byteAddress) {
  // The transport takes one mutable buffer for both directions; keep the caller's const.
  UnitBuffer out;
  std::copy(buffer.begin(), buffer.end(), out.begin());
  return Execute(MakeWriteUnitCdb(selector, byteAddress), DataDirection::ToDevice, out);
}

int DeviceChannel::ProbeDrive(int n, DeviceInfo& deviceInfo) {
  UnitBuffer buffer{};
  if (!OpenDrive(n)) {
    return 0;
  }
  int result = 0;
  if (Inquiry(buffer) && std::memcmp(buffer.data() + kDeviceInquiryTextOffset, kDeviceInquiryText,
                                     kDeviceInquiryTextLength) == 0) {
    result = 1;
    deviceInfo.typeCode = static_cast<int8_t>(buffer[kDeviceInquiryTypeOffset]);
  }
  Close();
  return result;
}

}  // namespace korvan
