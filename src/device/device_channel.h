// `DeviceChannel`: one operation's link to the device. It opens physical drive N through the
// `DiskHost`, sends the three command blocks and records the drive in the `DriveSlotTable`.
// Calling order of every operation: construct, Claim(drive), Open, ReadUnit / WriteUnit ...,
// Close. Only the detection scan uses ProbeDrive, which opens and closes by itself.
// A channel belongs to the thread that made it; the slot table is the only shared part.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "device/command_block.h"
#include "device/device_info.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "device/unit.h"

namespace korvan {

// What the identification looks for: INQUIRY bytes 8-22, the vendor identification and the
// first seven bytes of the product identification. Byte 23 is free; byte 24 is the model byte.
inline constexpr char kDeviceInquiryText[] = "Firmware Update";
inline constexpr size_t kDeviceInquiryTextOffset = 8;
inline constexpr size_t kDeviceInquiryTextLength = 15;
inline constexpr size_t kDeviceInquiryTypeOffset = 24;

class DeviceChannel {
 public:
  DeviceChannel(DiskHost& host, DriveSlotTable& slots);
  // Closes a handle left open, but frees no slot: an operation that ends without Close keeps
  // its slot until the detection restarts and resets the table.
  ~DeviceChannel() = default;

  DeviceChannel(const DeviceChannel&) = delete;
  DeviceChannel& operator=(const DeviceChannel&) = delete;

  // Remembers `drive` and records it in the slot table: returns the slot already holding it,
  // else the lowest free slot, else -1 (the channel can still be opened, without a slot).
  int Claim(int32_t drive);
  // Index 0..3 of the first slot holding `drive`, else -1.
  int FindDriveSlot(int32_t drive) const;
  // Frees all four slots.
  void ResetDriveSlots();

  // Opens drive `n` (not claiming it). 1 when open, else 0; LastOpenStatus tells why not.
  int OpenDrive(int n);
  // OpenDrive for the claimed drive. A failed open makes every following command fail.
  int Open();
  // Closes the handle and frees the slot of the drive this channel claimed, if it claimed one.
  void Close();

  // INQUIRY into `buffer` (1024 bytes, 136 asked for). 1 on success, else 0.
  int Inquiry(std::span<uint8_t, kUnitSize> buffer);
  // Reads the unit holding `byteAddress` of `selector` into `buffer`. 1 on success, else 0.
  int ReadUnit(std::span<uint8_t, kUnitSize> buffer, MemorySelector selector, uint32_t byteAddress);
  // Writes `buffer` to the unit holding `byteAddress` of `selector`. 1 on success, else 0.
  int WriteUnit(std::span<const uint8_t, kUnitSize> buffer, MemorySelector selector,
                uint32_t byteAddress);

  // The identification: 1 when drive `n` answers INQUIRY with "Firmware Update" at bytes 8-22
  // (exact, case-sensitive); its raw model byte (INQUIRY byte 24) then goes to
  // `deviceInfo.typeCode` unchanged. Opens and closes the drive; claims nothing.
  int ProbeDrive(int n, DeviceInfo& deviceInfo);

  bool IsOpen() const { return handle_ != nullptr; }
  int32_t drive() const { return drive_; }
  uint32_t unitSize() const { return unitSize_; }
  // Why the last OpenDrive / Open / ProbeDrive open failed (Opened after a good one).
  OpenStatus LastOpenStatus() const { return lastOpenStatus_; }
  int LastOpenError() const { return lastOpenError_; }
  // How the last command ended; OsError when it could not be sent at all.
  const CommandResult& LastCommand() const { return lastCommand_; }
  // Once a command has found the device gone (DeviceGone), every later command of this
  // channel fails without being sent: an unplugged device gets nothing more, and a writer
  // does not read back a unit it could not write. LastCommand keeps the first such result.
  bool DeviceWentAway() const { return gone_; }

 private:
  int Execute(const Cdb& cdb, DataDirection direction, std::span<uint8_t, kUnitSize> data);

  DiskHost& host_;
  DriveSlotTable& slots_;
  int32_t drive_ = -1;
  bool claimed_ = false;
  uint32_t unitSize_ = kUnitSize;
  std::unique_ptr<ScsiTransport> handle_;  // null when closed
  OpenStatus lastOpenStatus_ = OpenStatus::Failed;
  int lastOpenError_ = 0;
  CommandResult lastCommand_;
  bool gone_ = false;
};

}  // namespace korvan
