#include "device/linux/sg_disk_host.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "device/linux/sysfs_inquiry_filter.h"

namespace korvan {
namespace {

// The kernel's driver byte: low nibble an error code, DRIVER_SENSE (0x08) only says that sense
// data came back, which goes with a CHECK CONDITION status and is judged through that status.
constexpr uint16_t kDriverErrorMask = 0x0F;
constexpr uint16_t kDriverSense = 0x08;
constexpr uint8_t kStatusMask = 0x7E;  // the status byte without its reserved bits

constexpr unsigned kTimeoutMs = kCommandTimeoutSeconds * 1000U;

}  // namespace

std::shared_ptr<const SgSystemCalls> SgSystemCalls::Real() {
  static const auto calls = std::make_shared<const SgSystemCalls>(SgSystemCalls{
      [](const char* path, int flags) { return ::open(path, flags); },
      [](int fd, sg_io_hdr_t* request) { return ::ioctl(fd, SG_IO, request); },
      [](int fd) { return ::close(fd); },
  });
  return calls;
}

sg_io_hdr_t MakeSgIoRequest(const Cdb& cdb, DataDirection direction,
                            std::span<uint8_t, kUnitSize> data,
                            std::array<uint8_t, kSenseLength>& sense) {
  sg_io_hdr_t request;
  std::memset(&request, 0, sizeof request);
  request.interface_id = 'S';
  request.cmd_len = static_cast<unsigned char>(cdb.size());
  // The kernel only reads the command block.
  request.cmdp = const_cast<unsigned char*>(cdb.data());
  request.dxfer_direction =
      direction == DataDirection::FromDevice ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
  request.dxfer_len = kUnitSize;
  request.dxferp = data.data();
  request.mx_sb_len = static_cast<unsigned char>(sense.size());
  request.sbp = sense.data();
  request.timeout = kTimeoutMs;
  return request;
}

CommandResult InterpretSgIoResult(int ioctlResult, int ioctlErrno, const sg_io_hdr_t& request) {
  CommandResult result;
  if (ioctlResult < 0) {
    result.status = CommandStatus::OsError;
    result.osError = ioctlErrno;
    return result;
  }
  result.hostStatus = request.host_status;
  result.driverStatus = request.driver_status;
  result.scsiStatus = request.status;
  const uint16_t driverError = request.driver_status & kDriverErrorMask;
  if (request.host_status != 0 || (driverError != 0 && driverError != kDriverSense)) {
    result.status = CommandStatus::TransportError;
  } else if ((request.status & kStatusMask) != 0) {
    result.status = CommandStatus::DeviceStatus;
  } else {
    result.status = CommandStatus::Good;
  }
  return result;
}

OpenStatus OpenStatusFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return OpenStatus::NoSuchDrive;
    case EACCES:
    case EPERM:
    case EROFS:
      return OpenStatus::AccessDenied;
    default:
      return OpenStatus::Failed;
  }
}

SgTransport::SgTransport(int fd, std::shared_ptr<const SgSystemCalls> calls)
    : fd_(fd), calls_(std::move(calls)) {}

SgTransport::~SgTransport() {
  calls_->close(fd_);
}

CommandResult SgTransport::Execute(const Cdb& cdb, DataDirection direction,
                                   std::span<uint8_t, kUnitSize> data) {
  std::array<uint8_t, kSenseLength> sense{};
  sg_io_hdr_t request = MakeSgIoRequest(cdb, direction, data, sense);
  int result;
  do {
    result = calls_->sgIo(fd_, &request);
  } while (result < 0 && errno == EINTR);
  return InterpretSgIoResult(result, result < 0 ? errno : 0, request);
}

SgDiskHost::SgDiskHost() : SgDiskHost(Options{}) {}

SgDiskHost::SgDiskHost(Options options, std::shared_ptr<const SgSystemCalls> calls)
    : options_(std::move(options)), calls_(std::move(calls)) {}

std::filesystem::path SgDiskHost::NodePath(int drive) const {
  return options_.devDir / ("sg" + std::to_string(drive));
}

std::string SgDiskHost::DriveName(int drive) const {
  return NodePath(drive).string();
}

OpenResult SgDiskHost::OpenDrive(int drive) {
  OpenResult result;
  if (drive < kFirstDrive || drive > kLastDrive) {
    result.status = OpenStatus::NoSuchDrive;
    return result;
  }
  if (options_.sysfsFilter &&
      JudgeSysfsNode(options_.sysfsDir, drive) == SysfsVerdict::NotTheDevice) {
    result.status = OpenStatus::NotTheDevice;
    return result;
  }
  // SG_IO blocks until the command ends whatever the flags; O_NONBLOCK only keeps the open
  // itself from waiting on another program's exclusive open.
  const int fd = calls_->open(NodePath(drive).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    result.osError = errno;
    result.status = OpenStatusFromErrno(result.osError);
    return result;
  }
  result.status = OpenStatus::Opened;
  result.transport = std::make_unique<SgTransport>(fd, calls_);
  return result;
}

}  // namespace korvan
