#include "emulator/simulated_disk_host.h"

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace korvan::emu {
namespace {

// The open failures as the platform's own host reports them: errno, or Windows' error codes.
#ifdef _WIN32
constexpr int kNoSuchFile = 2;    // ERROR_FILE_NOT_FOUND
constexpr int kAccessDenied = 5;  // ERROR_ACCESS_DENIED
#else
constexpr int kNoSuchFile = ENOENT;
constexpr int kAccessDenied = EACCES;
#endif

class SimulatedTransport final : public ScsiTransport {
 public:
  explicit SimulatedTransport(std::shared_ptr<SimulatedDevice> device)
      : device_(std::move(device)) {}

  CommandResult Execute(const Cdb& cdb, DataDirection direction,
                        std::span<uint8_t, kUnitSize> data) override {
    return device_->Execute(cdb, direction, data);
  }

 private:
  std::shared_ptr<SimulatedDevice> device_;
};

// The INQUIRY text in bytes [from, from + length), where the data has them.
std::string InquiryText(const std::vector<uint8_t>& inquiry, size_t from, size_t length) {
  std::string text;
  for (size_t i = from; i < from + length && i < inquiry.size(); ++i) {
    text += static_cast<char>(inquiry[i]);
  }
  return text;
}

bool InRange(int drive) {
  return drive >= kFirstDrive && drive <= kLastDrive;
}

}  // namespace

std::unique_ptr<ScsiTransport> MakeSimulatedTransport(std::shared_ptr<SimulatedDevice> device) {
  return std::make_unique<SimulatedTransport>(std::move(device));
}

SimulatedDiskHost::Drive& SimulatedDiskHost::At(int drive) {
  if (!InRange(drive)) {
    throw std::out_of_range("simulated drive number out of range: " + std::to_string(drive));
  }
  return drives_[static_cast<size_t>(drive - kFirstDrive)];
}

void SimulatedDiskHost::Attach(int drive, std::shared_ptr<SimulatedDevice> device) {
  std::lock_guard lock(mutex_);
  At(drive).device = std::move(device);
}

std::vector<std::string> SimulatedDiskHost::Identifications() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> disks;
  for (const Drive& drive : drives_) {
    if (drive.device != nullptr && drive.device->IsConnected()) {
      const std::vector<uint8_t>& inquiry = drive.device->inquiry();
      disks.push_back(InquiryText(inquiry, 8, 8) + "&" + InquiryText(inquiry, 16, 16));
    }
  }
  return disks;
}

void SimulatedDiskHost::Detach(int drive) {
  std::lock_guard lock(mutex_);
  At(drive).device.reset();
}

void SimulatedDiskHost::SetAccessDenied(int drive, bool denied) {
  std::lock_guard lock(mutex_);
  At(drive).denied = denied;
}

OpenResult SimulatedDiskHost::OpenDrive(int drive) {
  OpenResult result;
  if (!InRange(drive)) {
    result.status = OpenStatus::NoSuchDrive;
    result.osError = kNoSuchFile;
    return result;
  }
  std::shared_ptr<SimulatedDevice> device;
  {
    std::lock_guard lock(mutex_);
    Drive& slot = At(drive);
    ++slot.opens;
    if (slot.denied) {
      result.status = OpenStatus::AccessDenied;
      result.osError = kAccessDenied;
      return result;
    }
    device = slot.device;
  }
  if (!device || !device->IsConnected()) {
    result.status = OpenStatus::NoSuchDrive;
    result.osError = kNoSuchFile;
    return result;
  }
  result.status = OpenStatus::Opened;
  result.transport = MakeSimulatedTransport(std::move(device));
  return result;
}

std::string SimulatedDiskHost::DriveName(int drive) const {
  return "simulated drive " + std::to_string(drive);
}

int SimulatedDiskHost::OpenCount(int drive) const {
  if (!InRange(drive)) {
    return 0;
  }
  std::lock_guard lock(mutex_);
  return drives_[static_cast<size_t>(drive - kFirstDrive)].opens;
}

}  // namespace korvan::emu
