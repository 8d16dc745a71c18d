// `SimulatedDiskHost`: the host's physical drives 0..25 with simulated devices plugged into
// some of them. It implements DiskHost, so the channel, the detection and the update run
// against it exactly as against the real disks.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/device_events.h"
#include "device/scsi_transport.h"
#include "emulator/simulated_device.h"

namespace korvan::emu {

// A transport bound to `device`: it forwards every command and keeps the device alive while
// open. Commands still go through after the drive is detached; unplugging is done on the
// device (SimulatedDevice::Disconnect), which fails them.
std::unique_ptr<ScsiTransport> MakeSimulatedTransport(std::shared_ptr<SimulatedDevice> device);

class SimulatedDiskHost final : public DiskHost, public EnumeratedDisks {
 public:
  // Plugs `device` in as drive `drive` (kFirstDrive..kLastDrive, else std::out_of_range),
  // replacing what was there. One device may sit behind several drives.
  void Attach(int drive, std::shared_ptr<SimulatedDevice> device);
  // Empties drive `drive`; transports already open keep working.
  void Detach(int drive);
  // A denied drive holds a disk this user may not open: OpenDrive answers AccessDenied
  // whether or not a device is attached.
  void SetAccessDenied(int drive, bool denied);

  // Opened with a transport for the attached device; NoSuchDrive for an empty drive, a drive
  // out of range, or a device that has been unplugged; AccessDenied for a denied drive.
  // Thread-safe.
  OpenResult OpenDrive(int drive) override;
  // "simulated drive N".
  std::string DriveName(int drive) const override;

  // The host's disk list: "vendor&product" of each attached device still connected, from its
  // INQUIRY data, in drive order. Thread-safe.
  std::vector<std::string> Identifications() const override;

  // How often OpenDrive was asked for `drive`, whatever it answered.
  int OpenCount(int drive) const;

 private:
  struct Drive {
    std::shared_ptr<SimulatedDevice> device;
    bool denied = false;
    int opens = 0;
  };

  Drive& At(int drive);

  mutable std::mutex mutex_;
  std::array<Drive, kLastDrive - kFirstDrive + 1> drives_;
};

}  // namespace korvan::emu
