// A restore: a backup made by BackupStore written back into the attached device through the
// region writers, each unit read back and each region verified. Toolkit-free and blocking; the
// caller runs it on a worker thread and sees its progress through the writer observer.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "app/backup_store.h"
#include "device/device_copies.h"
#include "device/device_info.h"
#include "flash/region_writer.h"

namespace korvan {

// The working files a restore writes from: checked copies of the backup's images, and the
// firmware region cut from the controller image.
inline constexpr std::string_view kRestoreControllerName = "RestoreController.bin";
inline constexpr std::string_view kRestoreFwName = "RestoreFwData.bin";
inline constexpr std::string_view kRestoreFlashName = "RestoreFlashData.bin";

struct RestoreJob {
  std::filesystem::path backupDir;
  // The detected device: what it is, where it is, and the memory copies of its detection
  // (the backup taken before writing is made from them).
  DeviceInfo device;
  int32_t drive = -1;
  std::filesystem::path fwCopy;
  std::filesystem::path flashCopy;
  std::filesystem::path folder;  // the working folder
  BackupSettings backups;
};

enum class RestoreOutcome {
  Restored,      // every region written, read back and verified
  Refused,       // the backup is unusable or of another model: nothing was written
  BackupFailed,  // the device's memories could not be saved first: nothing was written
  WriteFailed,   // a region was written but does not read back as the backup holds it
  Parked,        // the device stopped taking data; reconnect and restore again
  Stopped,       // the program is closing
};

struct RestoreRegion {
  Region region = Region::Firmware;  // Firmware, or Voice for the whole data flash
  bool attempted = false;
  StepResult result = StepResult::Ok;
};

struct RestoreResult {
  RestoreOutcome outcome = RestoreOutcome::Refused;
  std::string error;                  // why it was refused or stopped, an English sentence
  std::string backupModel;            // the model the backup's manifest names
  std::filesystem::path savedBackup;  // the device's memories as they were before the restore
  std::array<RestoreRegion, 2> regions{RestoreRegion{Region::Firmware},
                                       RestoreRegion{Region::Voice}};

  bool ok() const { return outcome == RestoreOutcome::Restored; }
};

// Checks the backup against the device (its manifest, the same model code, the images'
// hashes), saves the device's current memories as a backup (unless backups are off), then
// writes the controller image behind the boot loader and the whole data-flash image, each
// verified. A model without data flash gets only the firmware region. `regionStarted`, when
// given, is called before each region's first unit.
RestoreResult RunRestore(DiskHost& host, DriveSlotTable& slots, const RestoreJob& job,
                         RegionWriterObserver& observer, std::stop_token stop,
                         const std::function<void(Region)>& regionStarted = {});

}  // namespace korvan
