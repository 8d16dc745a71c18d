// `UpdateWorker`: brings the device up to date with the chosen update file, or loads menu
// settings into it, on its own thread. Component by component (firmware, voice, database,
// signature) it compares the device copy with the update file, extracts what differs and has
// the region writers program it; every visible step is posted to the window thread.
#pragma once

#include <filesystem>

#include "app/app_state.h"
#include "app/history_log.h"
#include "app/stop_signal.h"
#include "app/update_sequence.h"
#include "app/view.h"
#include "app/window_thread.h"
#include "app/worker_thread.h"
#include "device/device_channel.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "flash/region_writer.h"
#include "settings/settings_block_writer.h"
#include "sources/update_file_layout.h"

namespace korvan {

inline constexpr std::string_view kSameText = "Same";
inline constexpr std::string_view kUpdatingText = "Обновляется..";
inline constexpr std::string_view kUpdatedText = "Обновлено";
inline constexpr std::string_view kVerifyErrorText = "Oшибка проверить";  // Latin O
inline constexpr std::string_view kFileOpenErrorText = "Ошибка открытия файла!!";
inline constexpr std::string_view kBackupSavedText = "Резервная копия сохранена";
inline constexpr std::string_view kBackupFailedText =
    "Не удалось сохранить резервную копию памяти устройства.\nОбновление остановлено, в "
    "устройство ничего не записано.\n\n";
inline constexpr std::string_view kUpdateFolderName = "update";
// Fourteen spaces: the status cells before a run.
inline constexpr std::string_view kBlankCellText = "              ";

class UpdateWorker {
 public:
  // `view` and `state` are touched only by tasks posted to `window`. `settings` may be null
  // while no settings editor exists; a settings upload then fails as a lost link would.
  UpdateWorker(DiskHost& host, DriveSlotTable& slots, WindowThread& window, View& view,
               AppState& state, SettingsBlockWriter* settings = nullptr);
  ~UpdateWorker();
  UpdateWorker(const UpdateWorker&) = delete;
  UpdateWorker& operator=(const UpdateWorker&) = delete;

  // Starts a run with what `state` holds now; call on the window thread. A previous run must
  // have ended (Stop joins it).
  void Start();
  // Ends the run at once (the program is closing) and waits for the thread until `deadline`.
  // False when a device command still holds it: it is let go (see WorkerThread::Stop).
  bool Stop(StopDeadline deadline = StopDeadlineFromNow());

 private:
  // What a run works with: a copy of the window's state at its start.
  struct Job {
    DeviceInfo device;
    UpdateFileInfo file;
    std::filesystem::path updateFile;
    std::filesystem::path fwCopy;
    std::filesystem::path flashCopy;
    std::filesystem::path folder;
    std::filesystem::path records;  // the history and the backups
    int32_t drive = -1;
    bool verify = true;
    bool quiet = false;
    bool settingsRun = false;  // a settings upload
    bool fullRun = false;      // the component sequence (once per program run)
    int uploadMode = 0;
    UpdateFileHeader header;
    uint64_t fileSize = 0;  // of the update file, when the run started
    // The run's history line, filled in as it goes; the file's versions are what the device
    // holds after a component is written.
    HistoryEntry history;
    HistoryVersions fileVersions;
    std::string failure;  // why the last upload step did not write its component
    BackupSettings backups;
    // The backup of the memory copies, staged at the start of the run and published before
    // the first unit is written; empty when none is staged (off, or already published).
    std::filesystem::path backupStaged;
    // The window's status text of the first write: the backup note once one was saved.
    std::string firstWriteText;
  };

  enum class StepOutcome {
    NotAttempted,  // skipped, or the device already holds the component ("Same")
    Succeeded,     // written and read back
    Failed,        // attempted, and the device does not hold it
  };

  void Run(const StopSignal& stop, Job job);
  // The staged backup moved into place; false (after the error box) when it cannot be, and
  // nothing may be written.
  bool PublishBackupBeforeWriting(Job& job);
  // Ends a run whose backup could not be saved: nothing was sent to the device.
  void FailBackup(const std::string& reason);
  // Checks, compares and extracts the component, then writes it when it differs.
  StepOutcome ComponentStep(const StopSignal& stop, Job& job, UpdateComponent component);
  // A component that cannot be extracted fails as a source that cannot be opened; nothing is
  // sent to the device for it.
  StepOutcome FailWithoutWriting(const StopSignal& stop, Job& job, const ComponentJob& component);
  // The file-open error: the bar's text, Open enabled again, then a one-second pause.
  void ReportFileOpenFailed(const StopSignal& stop, bool barShown);
  // `barText`: what the bar shows until the first unit's progress (normally nothing).
  bool RunUploadStep(const StopSignal& stop, Job& job, const std::filesystem::path& source,
                     std::string_view barText = {});
  // True when the settings unit was written and read back.
  bool UploadSettings(const StopSignal& stop, Job& job);
  void SetUploadMode(Job& job, int mode);
  // Notes what became of `component` for the history, and why it failed.
  static void NoteComponent(Job& job, std::string_view component, std::string_view result,
                            std::string_view why = {});
  // Appends the run's history line; `error` overrides what the components say.
  static void RecordHistory(Job& job, std::string_view error = {});
  void SetCell(int cellId, std::string_view text);
  void ShowResultAndWait(int code);
  void Park(const StopSignal& stop);

  DiskHost& host_;
  DriveSlotTable& slots_;
  WindowThread& window_;
  View& view_;
  AppState& state_;
  SettingsBlockWriter* settings_;
  bool parked_ = false;
  bool backupFailed_ = false;  // the run stopped before writing: its backup was not saved
  std::string backupError_;    // why, for the history
  WorkerThread thread_;
};

// `DeleteTempFiles`: the working copies and read-back files of the last run, from the
// working folder (ReadFlashData.bin and VerifySignature.bin stay).
void DeleteTempFiles(const std::filesystem::path& folder);

}  // namespace korvan
