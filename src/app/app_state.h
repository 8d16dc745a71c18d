// `AppState`: the program's process-wide state, owned by the window thread. Workers never
// touch it directly: they post tasks that update it on the window thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/backup_store.h"
#include "device/device_info.h"
#include "device/unit.h"
#include "device/update_file_header.h"

namespace korvan {

enum class DetectionPhase {
  Idle,       // the worker has not started
  Searching,  // scanning drives 0..25
  Reading,    // a device answered; copies and versions are being read
  Ready,      // model and versions are shown; the worker is parked
  NotFound,   // a limited scan ended without a device (command line --once)
};

enum class UpdatePhase {
  Idle,      // no upload has run
  Running,   // the update worker is at work
  Finished,  // the worker ended and gave the window back
  Parked,    // a writer gave up on the device; the worker does nothing more
};

enum class DownloadPhase {
  Idle,     // no download has run
  Running,  // the package is being fetched and unpacked
  Failed,   // the flow ended with its message; the controls are given back
  Picked,   // the update file is chosen; the update worker has been started (or, for a
            // fetch without a device write, could be)
};

// Why the last server download failed, for the command line's report (the version, the
// package's URL and the chosen file are in AppState's own fields).
struct DownloadReport {
  struct FailedItem {
    std::string name;
    uint32_t result = 0;
  };
  std::vector<FailedItem> failed;  // package items that did not extract
  std::string transferError;       // what the HTTP client said of a failed download
};

struct AppState {
  std::string frontEnd;                 // the program's name, for the run history
  std::filesystem::path programFolder;  // `ProgramFolder`: where working files go
  // Where the run history and the backups are kept; empty: the program folder. One device's
  // run of `update --all` works in a folder of its own but keeps its records with the others'.
  std::filesystem::path recordsFolder;
  bool serviceMode = false;             // `ServiceMode`, toggled by Ctrl+A

  DeviceInfo deviceInfo;
  UpdateFileInfo updateFileInfo;
  int32_t DetectedDrive = -1;
  bool DevicePresent = false;
  std::filesystem::path FwReadPath;     // copy of the controller memory
  std::filesystem::path FlashReadPath;  // copy of the data flash
  DetectionPhase detectionPhase = DetectionPhase::Idle;

  // The dialog's members exchanged with its controls.
  std::string filePathText;  // the path box 1006
  bool verify = true;        // the "проверить" box 1028
  int source = 0;            // 0 server package (1016), 1 local file (1017)

  // The update file chosen for the upload, and what the next upload writes.
  std::filesystem::path UpdateFilePath;
  bool UpdateFileReady = false;
  int UploadMode = 0;  // 0-3 firmware, voice, database, signature; 5-7 settings
  bool SettingsPending = false;
  bool QuietUpload = false;
  bool UpdateStarted = false;
  UpdateFileHeader updateFileHeader;
  UpdatePhase updatePhase = UpdatePhase::Idle;
  bool updateFailed = false;  // the last finished run left a component or settings unwritten
  // Backups of the device's memories before an update writes: how many are kept (--backups),
  // the backup the last run saved (empty: none), and why it could not be saved (empty: it
  // could, or none was needed).
  BackupSettings backups;
  std::filesystem::path lastBackup;
  std::string backupError;

  // The settings unit as the device held it when the settings form last opened.
  UnitBuffer SettingsReadBlock{};

  // The update server: its download directory, and what the last download found there.
  std::string serverUrl;
  std::string serverVersion{"00-00-0000"};
  std::string PackageUrl;
  std::string pickedImageName;
  DownloadPhase downloadPhase = DownloadPhase::Idle;
  DownloadReport downloadReport;
};

inline std::filesystem::path RecordsFolder(const AppState& state) {
  return state.recordsFolder.empty() ? state.programFolder : state.recordsFolder;
}

}  // namespace korvan
