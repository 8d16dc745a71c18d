// Linux host for the device link: physical drive N is the SCSI generic node /dev/sgN, and each
// command travels as one SG_IO request. The system calls are injectable so tests can check the
// exact request that reaches the kernel without a device.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "device/scsi_transport.h"

namespace korvan {

inline constexpr size_t kSenseLength = 32;

// The three system calls the host makes; the real ones by default.
struct SgSystemCalls {
  std::function<int(const char* path, int flags)> open;
  std::function<int(int fd, sg_io_hdr_t* request)> sgIo;  // ioctl(fd, SG_IO, request)
  std::function<int(int fd)> close;

  static std::shared_ptr<const SgSystemCalls> Real();
};

// The SG_IO request for one command: 12-byte CDB, one 1024-byte unit in `direction`, room for
// 32 bytes of sense data, the command time-out in milliseconds. Pointers refer to the
// arguments, which must outlive the request.
sg_io_hdr_t MakeSgIoRequest(const Cdb& cdb, DataDirection direction,
                            std::span<uint8_t, kUnitSize> data,
                            std::array<uint8_t, kSenseLength>& sense);

// Sorts a finished request: the ioctl's own failure, then the adapter and driver codes, then
// the device's SCSI status. Only a request that every layer reports good is Good.
CommandResult InterpretSgIoResult(int ioctlResult, int ioctlErrno, const sg_io_hdr_t& request);

// Maps an open(2) errno onto the categories front ends report.
OpenStatus OpenStatusFromErrno(int error);

// Whether a SCSI device's sysfs state ("running", "cancel", ...) is one of a disk still attached.
bool AttachedDeviceState(std::string_view state);

class SgTransport final : public ScsiTransport {
 public:
  // `deviceState` is the node's <sysfs>/sgN/device/state, or empty when the kernel did not
  // describe the node when it was opened; `removalWait` bounds the wait for it (see Execute).
  SgTransport(int fd, std::shared_ptr<const SgSystemCalls> calls,
              std::filesystem::path deviceState = {},
              std::chrono::milliseconds removalWait = std::chrono::milliseconds(0));
  ~SgTransport() override;
  SgTransport(const SgTransport&) = delete;
  SgTransport& operator=(const SgTransport&) = delete;

  // For data from the device, only the bytes the device sent (the request less the kernel's
  // residue) reach `data`, and only when the command succeeded: the kernel itself copies its
  // whole buffer back, past the data with whatever that buffer last held.
  // WARNING: usb-storage fails the command in flight when the cable is pulled with a plain
  // adapter error (DID_ERROR), before the kernel removes the disk. A transport error that does
  // not already say the device is gone therefore waits (at most removalWait) for the node's
  // device to leave; if it does, the command is reported as the adapter's no-connect.
  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data) override;

 private:
  bool DeviceLeaving() const;

  int fd_;
  std::shared_ptr<const SgSystemCalls> calls_;
  std::filesystem::path deviceState_;
  std::chrono::milliseconds removalWait_;
};

class SgDiskHost final : public DiskHost {
 public:
  struct Options {
    std::filesystem::path devDir = "/dev";
    // Where the kernel describes each generic node (sgN/device/vendor, sgN/device/model).
    std::filesystem::path sysfsDir = "/sys/class/scsi_generic";
    // Skip nodes whose identification in sysfs cannot be the device, before opening them.
    bool sysfsFilter = true;
    // How long a failed command waits for the kernel to show the disk's removal (see
    // SgTransport::Execute).
    std::chrono::milliseconds removalWait = std::chrono::milliseconds(2000);
  };

  SgDiskHost();
  explicit SgDiskHost(Options options,
                      std::shared_ptr<const SgSystemCalls> calls = SgSystemCalls::Real());

  OpenResult OpenDrive(int drive) override;
  std::string DriveName(int drive) const override;

 private:
  std::filesystem::path NodePath(int drive) const;

  Options options_;
  std::shared_ptr<const SgSystemCalls> calls_;
};

}  // namespace korvan
