// Windows host for the device link: physical drive N is \\.\PhysicalDriveN, opened for
// synchronous I/O, and each command travels as one IOCTL_SCSI_PASS_THROUGH_DIRECT request
// (device/pass_through_request.h). The system calls are injectable so tests can check the exact
// request that reaches the system without a device.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "device/pass_through_request.h"
#include "device/scsi_transport.h"
#include "device/unit.h"

namespace korvan {

// The system calls the host makes; the real ones by default. GetLastError is one of them so a
// fake can fail a call with the error of its choice.
struct PassThroughSystemCalls {
  // CreateFileW without security attributes and template.
  std::function<HANDLE(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags)>
      createFile;
  // DeviceIoControl without an OVERLAPPED structure: it returns when the request has ended.
  std::function<BOOL(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned)>
      deviceIoControl;
  std::function<BOOL(HANDLE handle)> closeHandle;
  std::function<DWORD()> getLastError;

  static std::shared_ptr<const PassThroughSystemCalls> Real();
};

// Sorts a finished request: the call's own failure (`accepted` false, with `error`), then the
// device's SCSI status written back into `request`. A call that fails because the disk is no
// longer there is a TransportError with the adapter's no-connect code, so DeviceGone holds for
// it as for every host; the Windows error stays in osError.
CommandResult InterpretPassThroughResult(bool accepted, DWORD error,
                                         const PassThroughRequest& request);

// Maps a CreateFileW error onto the categories front ends report.
OpenStatus OpenStatusFromWindowsError(DWORD error);

class PassThroughTransport final : public ScsiTransport {
 public:
  PassThroughTransport(HANDLE handle, std::shared_ptr<const PassThroughSystemCalls> calls);
  ~PassThroughTransport() override;
  PassThroughTransport(const PassThroughTransport&) = delete;
  PassThroughTransport& operator=(const PassThroughTransport&) = delete;

  // For data from the device, only the bytes the driver reports moved reach `data`, and only
  // when the command succeeded.
  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data) override;

 private:
  HANDLE handle_;
  std::shared_ptr<const PassThroughSystemCalls> calls_;
  // The driver moves the data straight between the device and this buffer, never the
  // caller's: the caller's buffer has no alignment the adapter may demand (its AlignmentMask),
  // and a failed or short transfer would leave part of it overwritten. A page-aligned unit also
  // never crosses a page. One transport serves one thread at a time, so one buffer will do.
  alignas(4096) UnitBuffer buffer_{};
};

class PassThroughDiskHost final : public DiskHost {
 public:
  explicit PassThroughDiskHost(
      std::shared_ptr<const PassThroughSystemCalls> calls = PassThroughSystemCalls::Real());

  // Thread-safe: the host keeps no state of its own, and each open gets its own handle.
  OpenResult OpenDrive(int drive) override;
  std::string DriveName(int drive) const override;

 private:
  std::shared_ptr<const PassThroughSystemCalls> calls_;
};

}  // namespace korvan
