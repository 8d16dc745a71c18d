#include "frontend/device_source.h"

#include <set>

#include "device/platform_host.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"

namespace korvan::frontend {
namespace {

void GiveFault(emu::SimulatedDevice& device, const SimulatedFault& fault) {
  if (fault.kind == SimulatedFault::Kind::Stall) {
    device.StallAfter(fault.answered);
  } else {
    device.DisconnectAfter(fault.answered);
  }
}

// What the options make of the simulated device on `drive`: its time per command, its fault.
void Configure(emu::SimulatedDevice& device, const GlobalOptions& options, int drive) {
  if (options.simLatency) {
    device.SetCommandDelay(*options.simLatency);
  }
  if (options.simulateFault && options.simulateFault->Hits(drive)) {
    GiveFault(device, *options.simulateFault);
  }
}

}  // namespace

std::unique_ptr<DiskHost> MakeDiskHost(const GlobalOptions& options, std::string_view program,
                                       std::ostream& err) {
  if (!options.Simulated()) {
    return MakePlatformDiskHost();
  }
  auto host = std::make_unique<emu::SimulatedDiskHost>();
  std::set<int> taken;
  auto claim = [&](int drive, const std::string& what) {
    if (!taken.insert(drive).second) {
      err << program << ": " << what << " would be drive " << drive
          << ", which another simulated device already is; give it another drive with @N\n";
      return false;
    }
    return true;
  };

  for (const auto& dir : options.deviceDirs) {
    if (!claim(dir.drive, "--device-dir " + dir.dir.string())) {
      return nullptr;
    }
    auto loaded = emu::LoadDeviceFolder(dir.dir);
    if (!loaded.device) {
      err << program << ": " << loaded.error << "\n";
      return nullptr;
    }
    Configure(*loaded.device, options, dir.drive);
    host->Attach(dir.drive, loaded.device);
  }
  if (options.simulateType) {
    if (!claim(kDefaultSimulatedDrive, "--simulate")) {
      return nullptr;
    }
    emu::PresetOptions preset;
    preset.rawType = *options.simulateType;
    auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    Configure(*device, options, kDefaultSimulatedDrive);
    host->Attach(kDefaultSimulatedDrive, std::move(device));
  }
  return host;
}

}  // namespace korvan::frontend
