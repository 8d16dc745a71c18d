// Linux host for the device link: physical drive N is the SCSI generic node /dev/sgN, and each
// command travels as one SG_IO request. The system calls are injectable so tests can check the
// exact request that reaches the kernel without a device.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>

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

class SgTransport final : public ScsiTransport {
 public:
  SgTransport(int fd, std::shared_ptr<const SgSystemCalls> calls);
  ~SgTransport() override;
  SgTransport(const SgTransport&) = delete;
  SgTransport& operator=(const SgTransport&) = delete;

  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data) override;

 private:
  int fd_;
  std::shared_ptr<const SgSystemCalls> calls_;
};

class SgDiskHost final : public DiskHost {
 public:
  struct Options {
    std::filesystem::path devDir = "/dev";
    // Where the kernel describes each generic node (sgN/device/vendor, sgN/device/model).
    std::filesystem::path sysfsDir = "/sys/class/scsi_generic";
    // Skip nodes whose identification in sysfs cannot be the device, before opening them.
    bool sysfsFilter = true;
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
