#include "device/windows/pass_through_disk_host.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace korvan {
namespace {

std::wstring DrivePath(int drive) {
  return L"\\\\.\\PhysicalDrive" + std::to_wstring(drive);
}

// ERROR_NO_SUCH_DEVICE, which mingw's <winerror.h> lacks.
constexpr DWORD kErrorNoSuchDevice = 433;

// The errors with which a request fails once the disk has been unplugged: the disk's own
// (device not connected, removed, no longer there) and the one a request on the handle of a
// disk object the system has already deleted gets (file not found).
bool DiskGoneError(DWORD error) {
  switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case kErrorNoSuchDevice:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::shared_ptr<const PassThroughSystemCalls> PassThroughSystemCalls::Real() {
  static const auto calls = std::make_shared<const PassThroughSystemCalls>(PassThroughSystemCalls{
      [](const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
        return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
      },
      [](HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
         DWORD* returned) {
        return DeviceIoControl(handle, code, in, inSize, out, outSize, returned, nullptr);
      },
      [](HANDLE handle) { return CloseHandle(handle); },
      [] { return GetLastError(); },
  });
  return calls;
}

CommandResult InterpretPassThroughResult(bool accepted, DWORD error,
                                         const PassThroughRequest& request) {
  CommandResult result;
  if (!accepted) {
    result.osError = static_cast<int>(error);
    if (DiskGoneError(error)) {
      result.status = CommandStatus::TransportError;
      result.hostStatus = kHostNoConnect;
    } else {
      result.status = CommandStatus::OsError;
    }
    return result;
  }
  result.scsiStatus = PassThroughScsiStatus(request);
  result.status = result.scsiStatus == 0 ? CommandStatus::Good : CommandStatus::DeviceStatus;
  return result;
}

OpenStatus OpenStatusFromWindowsError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return OpenStatus::NoSuchDrive;
    case ERROR_ACCESS_DENIED:
      return OpenStatus::AccessDenied;
    default:
      return OpenStatus::Failed;
  }
}

PassThroughTransport::PassThroughTransport(HANDLE handle,
                                           std::shared_ptr<const PassThroughSystemCalls> calls)
    : handle_(handle), calls_(std::move(calls)) {}

PassThroughTransport::~PassThroughTransport() {
  calls_->closeHandle(handle_);
}

CommandResult PassThroughTransport::Execute(const Cdb& cdb, DataDirection direction,
                                            std::span<uint8_t, kUnitSize> data) {
  const bool fromDevice = direction == DataDirection::FromDevice;
  if (fromDevice) {
    // Nothing of an earlier command may pass for this one's data.
    buffer_.fill(0);
  } else {
    std::copy(data.begin(), data.end(), buffer_.begin());
  }
  PassThroughRequest request =
      MakePassThroughRequest(cdb, direction, reinterpret_cast<uintptr_t>(buffer_.data()));
  DWORD returned = 0;
  const BOOL accepted = calls_->deviceIoControl(
      handle_, kIoctlScsiPassThroughDirect, request.bytes.data(), request.bytes.size(),
      request.bytes.data(), request.bytes.size(), &returned);
  const DWORD error = accepted ? ERROR_SUCCESS : calls_->getLastError();
  const CommandResult result = InterpretPassThroughResult(accepted != FALSE, error, request);

  if (result.ok() && fromDevice) {
    // On a short transfer the driver writes back how many bytes came.
    const size_t received = std::min<size_t>(PassThroughDataTransferLength(request), kUnitSize);
    std::copy_n(buffer_.begin(), received, data.begin());
  }
  return result;
}

PassThroughDiskHost::PassThroughDiskHost(std::shared_ptr<const PassThroughSystemCalls> calls)
    : calls_(std::move(calls)) {}

std::string PassThroughDiskHost::DriveName(int drive) const {
  return "\\\\.\\PhysicalDrive" + std::to_string(drive);
}

OpenResult PassThroughDiskHost::OpenDrive(int drive) {
  OpenResult result;
  if (drive < kFirstDrive || drive > kLastDrive) {
    result.status = OpenStatus::NoSuchDrive;
    return result;
  }
  // Opened for synchronous I/O: every request is sent with DeviceIoControl and no OVERLAPPED
  // structure, which a handle opened with FILE_FLAG_OVERLAPPED does not allow.
  const HANDLE handle = calls_->createFile(DrivePath(drive).c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = calls_->getLastError();
    result.osError = static_cast<int>(error);
    result.status = OpenStatusFromWindowsError(error);
    return result;
  }
  result.status = OpenStatus::Opened;
  result.transport = std::make_unique<PassThroughTransport>(handle, calls_);
  return result;
}

}  // namespace korvan
