#include "device/linux/sg_disk_host.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
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

constexpr std::chrono::milliseconds kRemovalPoll(10);

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

bool AttachedDeviceState(std::string_view state) {
  state = state.substr(0, state.find('\n'));
  // The states of a device the kernel still serves; "cancel" and "deleted" come with its
  // removal, "offline" once error handling has given it up.
  for (const std::string_view attached :
       {"running", "created", "blocked", "created-blocked", "quiesce"}) {
    if (state == attached) {
      return true;
    }
  }
  return false;
}

SgTransport::SgTransport(int fd, std::shared_ptr<const SgSystemCalls> calls,
                         std::filesystem::path deviceState, std::chrono::milliseconds removalWait)
    : fd_(fd),
      calls_(std::move(calls)),
      deviceState_(std::move(deviceState)),
      removalWait_(removalWait) {}

SgTransport::~SgTransport() {
  calls_->close(fd_);
}

bool SgTransport::DeviceLeaving() const {
  if (deviceState_.empty()) {
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + removalWait_;
  for (;;) {
    const std::optional<std::string> state = ReadSysfsAttribute(deviceState_);
    if (!state || !AttachedDeviceState(*state)) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kRemovalPoll);
  }
}

CommandResult SgTransport::Execute(const Cdb& cdb, DataDirection direction,
                                   std::span<uint8_t, kUnitSize> data) {
  std::array<uint8_t, kSenseLength> sense{};
  // Data from the device lands here first; see the header for why.
  UnitBuffer received{};
  const bool fromDevice = direction == DataDirection::FromDevice;
  sg_io_hdr_t request = MakeSgIoRequest(cdb, direction, fromDevice ? received : data, sense);
  int ioctlResult;
  do {
    ioctlResult = calls_->sgIo(fd_, &request);
  } while (ioctlResult < 0 && errno == EINTR);
  CommandResult result = InterpretSgIoResult(ioctlResult, ioctlResult < 0 ? errno : 0, request);

  if (result.ok() && fromDevice) {
    const size_t residue = static_cast<size_t>(std::clamp(request.resid, 0, int{kUnitSize}));
    std::copy_n(received.begin(), kUnitSize - residue, data.begin());
  }
  if (result.status == CommandStatus::TransportError && !DeviceGone(result) && DeviceLeaving()) {
    result.hostStatus = kHostNoConnect;
  }
  return result;
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
  // The removal of the node's device can be watched only where the kernel describes it now.
  std::filesystem::path deviceState =
      options_.sysfsDir / ("sg" + std::to_string(drive)) / "device" / "state";
  if (!ReadSysfsAttribute(deviceState)) {
    deviceState.clear();
  }
  result.status = OpenStatus::Opened;
  result.transport =
      std::make_unique<SgTransport>(fd, calls_, std::move(deviceState), options_.removalWait);
  return result;
}

}  // namespace korvan
