#include "app/restore_run.h"

#include <fstream>
#include <system_error>
#include <vector>

#include "device/device_channel.h"
#include "device/model_catalogue.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
namespace catalogue = ModelCatalogue;

std::string ModelNamed(int8_t type) {
  DeviceInfo device;
  device.typeCode = type;
  return BackupModelName(device) + " (type " + std::to_string(type) + ")";
}

// The firmware region of a controller image: everything behind the boot loader, up to the end
// of the memory. The update writes its last firmware unit padded with 0xFF past the firmware's
// end, so the restore must write that tail back too.
bool CutFirmwareRegion(const fs::path& controller, const fs::path& to, int8_t type,
                       std::string& error) {
  const uint64_t start = catalogue::BootLoaderSize(type);
  std::ifstream in(controller, std::ios::binary);
  std::vector<char> bytes(
      catalogue::FwReadLength(type) > start ? catalogue::FwReadLength(type) - start : 0);
  in.seekg(static_cast<std::streamoff>(start));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!in || !out) {
    error = "cannot write the firmware region to '" + to.string() + "'";
    return false;
  }
  return true;
}

void RemoveWorkingFiles(const fs::path& folder) {
  for (const std::string_view name : {kRestoreControllerName, kRestoreFwName, kRestoreFlashName}) {
    std::error_code ignored;
    fs::remove(folder / name, ignored);
  }
}

}  // namespace

RestoreResult RunRestore(DiskHost& host, DriveSlotTable& slots, const RestoreJob& job,
                         RegionWriterObserver& observer, std::stop_token stop,
                         const std::function<void(Region)>& regionStarted) {
  RestoreResult result;
  const int8_t type = job.device.typeCode;
  const auto manifest = ReadBackupManifest(job.backupDir, result.error);
  if (!manifest) {
    return result;
  }
  result.backupModel = manifest->model;
  if (manifest->typeCode != type) {
    result.error = "the backup is of " + ModelNamed(manifest->typeCode) + ", the device is " +
                   ModelNamed(type) + "; nothing was written";
    return result;
  }
  // What is written is what was hashed: copies in the working folder, checked there.
  struct Cleanup {
    const fs::path& folder;
    ~Cleanup() { RemoveWorkingFiles(folder); }
  } cleanup{job.folder};
  const fs::path controller = job.folder / kRestoreControllerName;
  const fs::path firmware = job.folder / kRestoreFwName;
  const fs::path flash = job.folder / kRestoreFlashName;
  const bool hasFlash = catalogue::FlashSize(type) > 0;
  if (!CopyVerifiedImage(job.backupDir / kBackupControllerName, controller, manifest->controller,
                         result.error) ||
      !CopyVerifiedImage(job.backupDir / kBackupFlashName, flash, manifest->dataFlash,
                         result.error) ||
      !CutFirmwareRegion(controller, firmware, type, result.error)) {
    return result;
  }

  if (job.backups.enabled()) {
    const BackupResult saved =
        SaveBackup(job.folder, {job.device, job.fwCopy, job.flashCopy, job.backups.programVersion},
                   job.backups.keep);
    if (!saved.ok()) {
      result.outcome = RestoreOutcome::BackupFailed;
      result.error = "the device's memories could not be saved before the restore (" + saved.error +
                     "); nothing was written";
      return result;
    }
    result.savedBackup = saved.path;
  }

  for (RestoreRegion& region : result.regions) {
    if (region.region == Region::Voice && !hasFlash) {
      continue;  // the model has no data flash
    }
    if (stop.stop_requested()) {
      result.outcome = RestoreOutcome::Stopped;
      return result;
    }
    DeviceChannel channel(host, slots);
    channel.Claim(job.drive);
    channel.Open();
    const int slot = channel.FindDriveSlot(job.drive);
    const RegionWrite request{
        .region = region.region,
        .typeCode = type,
        .source = region.region == Region::Firmware ? firmware : flash,
        .verify = true,
        .databaseAddress = 0,
        .link = DeviceLink{host, slots, job.drive},
        .folder = job.folder,
        .stop = stop,
    };
    region.attempted = true;
    if (regionStarted) {
      regionStarted(region.region);
    }
    region.result = WriteRegion(channel, slot, request, observer);
    channel.Close();
    switch (region.result) {
      case StepResult::Ok:
        break;
      case StepResult::Parked:
        result.outcome = stop.stop_requested() ? RestoreOutcome::Stopped : RestoreOutcome::Parked;
        result.error = "the device stopped taking data; reconnect the USB cable and restore again";
        return result;
      case StepResult::FileOpenFailed:
        result.outcome = RestoreOutcome::WriteFailed;
        result.error = "the image does not fit the device's memory; nothing more was written";
        return result;
      case StepResult::VerifyFailed:
      case StepResult::LinkLost:
        // The next region is still written: the device is best left holding as much of the
        // backup as it takes.
        result.outcome = RestoreOutcome::WriteFailed;
        break;
    }
  }
  if (result.outcome == RestoreOutcome::WriteFailed) {
    result.error = "a region does not read back as the backup holds it; restore again";
  } else {
    result.outcome = RestoreOutcome::Restored;
  }
  return result;
}

}  // namespace korvan
