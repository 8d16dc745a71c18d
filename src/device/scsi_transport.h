// The host side of the device link: `DiskHost` opens physical drive N and hands out a
// `ScsiTransport` that executes one command block at a time. Implemented by the Linux SG_IO
// host (device/linux/), the Windows pass-through host (device/windows/) and the simulated device
// (emulator/).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "device/command_block.h"
#include "device/unit.h"

namespace korvan {

// Drives the detection scan visits, in this order.
inline constexpr int kFirstDrive = 0;
inline constexpr int kLastDrive = 25;

// Time-out of one command. The device answers a unit in milliseconds; the value is the one the
// device's own tools have always used, in seconds.
inline constexpr uint32_t kCommandTimeoutSeconds = 5000;

// How a command ended, sorted from "it worked" to "it never reached the device".
enum class CommandStatus : uint8_t {
  Good,            // completed, the device reported GOOD
  DeviceStatus,    // the device answered with another SCSI status (CHECK CONDITION, BUSY, ...)
  TransportError,  // the host adapter or its driver failed the command (device gone, time-out)
  OsError,         // the request was refused before reaching the device (no handle, ioctl error)
};

struct CommandResult {
  CommandStatus status = CommandStatus::Good;
  int osError = 0;          // errno (or the Windows error) for OsError
  uint8_t scsiStatus = 0;   // SCSI status byte for DeviceStatus
  uint16_t hostStatus = 0;  // adapter and driver codes for TransportError
  uint16_t driverStatus = 0;

  bool ok() const { return status == CommandStatus::Good; }
};

// Host codes of an adapter: the device is no longer there (the first two), or never answered.
inline constexpr uint16_t kHostNoConnect = 0x01;
inline constexpr uint16_t kHostBadTarget = 0x04;
inline constexpr uint16_t kHostTimedOut = 0x03;

// True when the command failed because the device is gone (unplugged): the adapter could not
// reach it, or the system no longer has the disk. A time-out or a device's own refusal is not.
bool DeviceGone(const CommandResult& result);

class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;

  // Sends the 12-byte `cdb` and moves one unit through `data` in `direction`. For data from
  // the device, bytes the device does not send keep their previous contents. Blocks until the
  // device answers or kCommandTimeoutSeconds pass. A transport belongs to one thread at a time.
  virtual CommandResult Execute(const Cdb& cdb, DataDirection direction,
                                std::span<uint8_t, kUnitSize> data) = 0;
};

enum class OpenStatus : uint8_t {
  Opened,
  NoSuchDrive,   // nothing behind drive N (no node, or the disk went away)
  AccessDenied,  // a disk is there but this user may not open it
  NotTheDevice,  // the host already knows the disk is something else; nothing was sent to it
  Failed,        // any other reason; see osError
};

struct OpenResult {
  OpenStatus status = OpenStatus::Failed;
  int osError = 0;
  std::unique_ptr<ScsiTransport> transport;  // set only when status is Opened
};

class DiskHost {
 public:
  virtual ~DiskHost() = default;

  // Opens physical drive `drive` (kFirstDrive..kLastDrive) for pass-through commands.
  // Thread-safe: the detection thread, the update thread and the window thread may all call it.
  virtual OpenResult OpenDrive(int drive) = 0;

  // How a user would name drive `drive` in a message ("/dev/sg3", \\.\PhysicalDrive3).
  virtual std::string DriveName(int drive) const = 0;
};

}  // namespace korvan
