#include "app/update_worker.h"

#include <system_error>
#include <utility>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/run_history.h"
#include "app/show_result.h"
#include "app/status_bar_poster.h"
#include "device/model_catalogue.h"
#include "device/update_file_header.h"
#include "sources/program_folder.h"

namespace korvan {
namespace {

namespace catalogue = ModelCatalogue;

int CellOf(Region region) {
  switch (region) {
    case Region::Firmware:
      return ids::kFwResultText;
    case Region::Voice:
      return ids::kVoiceResultText;
    case Region::Database:
      return ids::kDbResultText;
    case Region::Signature:
      break;
  }
  return 0;
}

bool IsSettingsMode(int mode) {
  return mode >= 5 && mode <= 7;
}

constexpr std::string_view kSettingsComponent = "settings";
constexpr std::string_view kParkedError =
    "the device did not take a unit; the user was asked to reconnect the cable";
constexpr std::string_view kInterruptedError = "interrupted: the program was closed";
const std::string kBackupNotSavedError = "nothing was written: the backup could not be saved: ";

// The writers' reports reach the window as posted tasks. A bar text given to the first write
// stays until its first progress, then the percentage shows as usual.
class WindowWriterObserver final : public RegionWriterObserver {
 public:
  WindowWriterObserver(WindowThread& window, View& view, bool clearTextFirst = false)
      : window_(window), view_(view), bar_(window, view), clearTextFirst_(clearTextFirst) {}

  void SlotPosition(int slot, int position) override {
    if (bar_.Position(slot, position, clearTextFirst_)) {
      clearTextFirst_ = false;
    }
  }
  void SlotAmount(int slot, uint64_t done, uint64_t total) override {
    bar_.Amount(slot, done, total);
  }
  void SlotText(int slot, std::string_view text) override { bar_.Text(slot, text); }
  void RegionCellText(Region region, std::string_view text) override {
    if (const int cell = CellOf(region); cell != 0) {
      window_.Post(
          [&view = view_, cell, text = std::string(text)] { view.SetControlText(cell, text); });
    }
  }
  void ShowError(std::string_view text, std::string_view caption) override {
    PostAndWait(window_, [&view = view_, text = std::string(text), caption = std::string(caption)] {
      view.ShowMessage(text, caption, MessageIcon::Error);
    });
  }

 private:
  WindowThread& window_;
  View& view_;
  StatusBarPoster bar_;
  bool clearTextFirst_;
};

}  // namespace

UpdateWorker::UpdateWorker(DiskHost& host, DriveSlotTable& slots, WindowThread& window, View& view,
                           AppState& state, SettingsBlockWriter* settings)
    : host_(host),
      slots_(slots),
      window_(window),
      view_(view),
      state_(state),
      settings_(settings) {}

UpdateWorker::~UpdateWorker() {
  Stop();
}

void UpdateWorker::Start() {
  Stop();
  Job job;
  job.device = state_.deviceInfo;
  job.file = state_.updateFileInfo;
  job.updateFile = state_.UpdateFilePath;
  job.fwCopy = state_.FwReadPath;
  job.flashCopy = state_.FlashReadPath;
  job.folder = state_.programFolder;
  job.records = RecordsFolder(state_);
  job.drive = state_.DetectedDrive;
  job.verify = state_.verify;
  job.quiet = state_.QuietUpload;
  job.uploadMode = state_.UploadMode;
  job.header = state_.updateFileHeader;
  job.backups = state_.backups;
  // The run's course is decided here, on the window thread that owns the flags.
  job.settingsRun = state_.SettingsPending && IsSettingsMode(state_.UploadMode);
  if (!job.settingsRun) {
    job.fullRun = !state_.UpdateStarted;
    state_.UpdateStarted = true;
  }
  const bool fromServer = state_.source == 0 && !state_.PackageUrl.empty();
  job.history = DeviceHistoryEntry(
      job.settingsRun ? kHistorySettings : (fromServer ? kHistoryDownload : kHistoryUpdate),
      state_.frontEnd, state_.deviceInfo, state_.DetectedDrive);
  if (!job.settingsRun) {
    job.history.source = fromServer ? state_.PackageUrl + " (" + state_.pickedImageName + ")"
                                    : state_.UpdateFilePath.string();
    job.fileVersions = UpdateFileVersions(state_.updateFileInfo, state_.deviceInfo.typeCode,
                                          state_.UpdateFilePath);
  }
  state_.updatePhase = UpdatePhase::Running;
  parked_ = false;
  backupFailed_ = false;
  thread_.Start([this, job](const StopSignal& stop) { Run(stop, job); });
}

bool UpdateWorker::Stop(StopDeadline deadline) {
  return thread_.Stop(deadline);
}

void UpdateWorker::SetUploadMode(Job& job, int mode) {
  job.uploadMode = mode;
  window_.Post([&state = state_, mode] { state.UploadMode = mode; });
}

void UpdateWorker::NoteComponent(Job& job, std::string_view component, std::string_view result,
                                 std::string_view why) {
  job.history.components.push_back({std::string(component), std::string(result)});
  if (result == kHistoryFailed) {
    if (!job.history.error.empty()) {
      job.history.error += "; ";
    }
    job.history.error += std::string(component) + ": " + std::string(why);
  }
}

void UpdateWorker::RecordHistory(Job& job, std::string_view error) {
  HistoryEntry& entry = job.history;
  if (!error.empty()) {
    entry.error =
        entry.error.empty() ? std::string(error) : std::string(error) + "; " + entry.error;
  }
  // What the device holds now: the file's version where a component was written, nothing
  // known where its writing failed.
  const std::pair<std::string_view, std::optional<std::string> HistoryVersions::*> versions[] = {
      {"firmware", &HistoryVersions::firmware},
      {"voice", &HistoryVersions::voice},
      {"database", &HistoryVersions::database},
  };
  for (const HistoryComponent& component : entry.components) {
    for (const auto& [name, member] : versions) {
      if (component.name == name) {
        // A component the device already held keeps the text detection read.
        if (component.result == kHistoryFailed) {
          entry.after.*member = std::nullopt;
        } else if (component.result == kHistoryWritten) {
          entry.after.*member = job.fileVersions.*member;
        }
      }
    }
  }
  AppendHistory(job.records, entry);
}

void UpdateWorker::SetCell(int cellId, std::string_view text) {
  window_.Post(
      [&view = view_, cellId, text = std::string(text)] { view.SetControlText(cellId, text); });
}

void UpdateWorker::ShowResultAndWait(int code) {
  PostAndWait(window_, [&view = view_, code] { ShowResult(view, code); });
}

void UpdateWorker::Park(const StopSignal& stop) {
  parked_ = true;
  // The writer has asked the user to reconnect the cable; "End" is given back so the program
  // can be closed (the run had disabled it), and nothing else is touched.
  window_.Post([&state = state_, &view = view_] {
    state.updatePhase = UpdatePhase::Parked;
    view.EnableControl(ids::kEnd, true);
  });
  stop.WaitForStop();
}

void UpdateWorker::Run(const StopSignal& stop, Job job) {
  for (const int cell : {ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    SetCell(cell, kBlankCellText);
  }
  if (job.settingsRun) {
    const bool written = UploadSettings(stop, job);
    NoteComponent(job, kSettingsComponent, written ? kHistoryWritten : kHistoryFailed, job.failure);
    if (parked_ || stop.Requested()) {
      RecordHistory(job, parked_ ? kParkedError : kInterruptedError);
      return;
    }
    RecordHistory(job);
    // The box follows what the device now holds, not what was attempted.
    ShowResultAndWait(written ? 8 : kResultSettingsFailed);
    window_.Post([&state = state_, &view = view_, written] {
      // The settings command took its button away while the run lasted.
      view.EnableControl(ids::kMenuSettingsButton, true);
      state.SettingsPending = false;
      state.updateFailed = !written;
      state.updatePhase = UpdatePhase::Finished;
    });
    return;
  }
  if (!job.fullRun) {
    window_.Post([&state = state_] { state.updatePhase = UpdatePhase::Finished; });
    return;
  }

  window_.Post([&view = view_] {
    DisableInputs(view);
    view.EnableControl(ids::kEnd, false);
  });
  // The component lengths come from the file's header. It used to be read only by the
  // firmware step, so a type-8 device whose firmware step is skipped compared and wrote
  // zero-length voice and database components ("Same"): read it for every run.
  ReadUpdateFileHeader(job.updateFile, job.header);
  window_.Post([&state = state_, header = job.header] { state.updateFileHeader = header; });
  {
    std::error_code error;
    job.fileSize = std::filesystem::file_size(job.updateFile, error);
    if (error) {
      job.fileSize = 0;  // every component then lies outside the file and fails
    }
  }
  // The memory copies are replaced by the first component that differs, so the backup is taken
  // from them now; it is published only when something is about to be written. Whatever
  // happens to the run, a staged backup that was not published is not left behind.
  window_.Post([&state = state_] {
    state.lastBackup.clear();
    state.backupError.clear();
  });
  struct StagedBackupGuard {
    Job& job;
    ~StagedBackupGuard() { DiscardStagedBackup(job.backupStaged); }
  } stagedGuard{job};
  if (job.backups.enabled()) {
    const BackupResult staged = StageBackup(
        job.records, {job.device, job.fwCopy, job.flashCopy, job.backups.programVersion});
    if (!staged.ok()) {
      FailBackup(staged.error);
      RecordHistory(job, kBackupNotSavedError + staged.error);
      return;
    }
    job.backupStaged = staged.path;
  }

  const int8_t type = job.device.typeCode;
  int attempted = 0;
  int failed = 0;
  for (const UpdateComponent component : ComponentsFor(type)) {
    const int bit = 1 << static_cast<int>(component);
    const StepOutcome outcome = ComponentStep(stop, job, component);
    if (outcome != StepOutcome::NotAttempted) {
      attempted |= bit;
    }
    if (outcome == StepOutcome::Failed) {
      failed |= bit;
    }
    if (parked_ || stop.Requested()) {
      // Nothing more: no device traffic, no window change.
      RecordHistory(job, parked_ ? kParkedError : kInterruptedError);
      return;
    }
    if (backupFailed_) {
      RecordHistory(job, kBackupNotSavedError + backupError_);
      return;  // FailBackup has given the window back
    }
  }
  RecordHistory(job);

  window_.Post([&view = view_, attempted] {
    if (attempted != 0) {
      DisableInputs(view);
    } else {
      view.SetStatusPosition(0);
    }
  });
  RemoveFolderTree(ProgramFolderFile(job.folder, kUpdateFolderName));
  // A success box only for what the device now holds: after any failed component one error
  // box asks for the update again, and the failed cells keep their texts.
  if (failed != 0) {
    ShowResultAndWait(kResultUpdateFailed);
  } else if (attempted & 1) {
    ShowResultAndWait(3);
  } else if (attempted & 4) {
    ShowResultAndWait(4);
  }
  window_.Post([&view = view_, &state = state_, failed] {
    view.EnableControl(ids::kEnd, true);
    view.EnableControl(ids::kMenuSettingsButton, true);
    state.updateFailed = failed != 0;
    state.updatePhase = UpdatePhase::Finished;
  });
}

UpdateWorker::StepOutcome UpdateWorker::ComponentStep(const StopSignal& stop, Job& job,
                                                      UpdateComponent which) {
  const std::optional<ComponentJob> planned =
      SequenceJob(which, job.device, job.file, job.fwCopy, job.flashCopy);
  if (!planned) {
    return StepOutcome::NotAttempted;
  }
  const ComponentJob& component = *planned;
  switch (PrepareComponent(component, job.device.typeCode, job.header, job.file, job.updateFile,
                           job.fileSize)) {
    case Preparation::Same:
      if (component.cellId != 0) {
        SetCell(component.cellId, kSameText);
      }
      NoteComponent(job, ComponentName(which), kHistorySame);
      return StepOutcome::NotAttempted;
    case Preparation::CannotExtract:
      return FailWithoutWriting(stop, job, component);
    case Preparation::Extracted:
      break;
  }
  if (!PublishBackupBeforeWriting(job)) {
    return StepOutcome::Failed;
  }
  SetUploadMode(job, component.uploadMode);
  if (component.cellId != 0) {
    SetCell(component.cellId, kUpdatingText);
  }
  const bool written =
      RunUploadStep(stop, job, component.deviceCopy, std::exchange(job.firstWriteText, {}));
  NoteComponent(job, ComponentName(component.component), written ? kHistoryWritten : kHistoryFailed,
                job.failure);
  if (parked_ || stop.Requested()) {
    return StepOutcome::Failed;
  }
  if (component.cellId != 0) {
    SetCell(component.cellId, written ? kUpdatedText : kVerifyErrorText);
  }
  return written ? StepOutcome::Succeeded : StepOutcome::Failed;
}

bool UpdateWorker::PublishBackupBeforeWriting(Job& job) {
  if (job.backupStaged.empty()) {
    return true;  // backups are off, or this run's backup is already in place
  }
  const BackupResult published =
      PublishBackup(job.backupStaged, job.records, BackupModelName(job.device), job.backups.keep,
                    std::chrono::system_clock::now(), job.backups.keepSince);
  if (!published.ok()) {
    FailBackup(published.error);
    return false;
  }
  job.backupStaged.clear();
  // Said on the bar by the first write, which would otherwise blank it at once.
  job.firstWriteText = kBackupSavedText;
  window_.Post([&state = state_, path = published.path] { state.lastBackup = path; });
  return true;
}

void UpdateWorker::FailBackup(const std::string& reason) {
  backupFailed_ = true;
  backupError_ = reason;
  window_.Post([&state = state_, reason] { state.backupError = reason; });
  PostAndWait(window_, [&view = view_, text = std::string(kBackupFailedText) + reason] {
    view.ShowMessage(text, kErrorCaption, MessageIcon::Error);
  });
  // Nothing was written: the full run may be started again once the cause is mended (a
  // second Upload would otherwise only blank the cells).
  window_.Post([&view = view_, &state = state_] {
    view.SetStatusPosition(0);
    view.EnableControl(ids::kOpenButton, true);
    view.EnableControl(ids::kEnd, true);
    view.EnableControl(ids::kMenuSettingsButton, true);
    state.UpdateStarted = false;
    state.updateFailed = true;
    state.updatePhase = UpdatePhase::Finished;
  });
}

UpdateWorker::StepOutcome UpdateWorker::FailWithoutWriting(const StopSignal& stop, Job& job,
                                                           const ComponentJob& component) {
  NoteComponent(job, ComponentName(component.component), kHistoryFailed,
                "the update file does not hold it whole, or the working copy could not be "
                "replaced; nothing was sent");
  // Shown as a source file that cannot be opened: the user can choose the file again.
  SetUploadMode(job, component.uploadMode);
  ReportFileOpenFailed(stop, true);
  if (component.cellId != 0 && !stop.Requested()) {
    SetCell(component.cellId, kVerifyErrorText);
  }
  return StepOutcome::Failed;
}

void UpdateWorker::ReportFileOpenFailed(const StopSignal& stop, bool barShown) {
  window_.Post([&view = view_, barShown] {
    if (barShown) {
      view.SetStatusText(kFileOpenErrorText);
    }
    view.EnableControl(ids::kOpenButton, true);
  });
  stop.SleepUnlessStopped(std::chrono::milliseconds(1000));
}

bool UpdateWorker::RunUploadStep(const StopSignal& stop, Job& job,
                                 const std::filesystem::path& source, std::string_view barText) {
  DeviceChannel channel(host_, slots_);
  channel.Claim(job.drive);
  channel.Open();
  const int slot = channel.FindDriveSlot(job.drive);
  const bool showOnBar = !job.quiet && slot == 0;
  if (showOnBar) {
    window_.Post([&view = view_, text = std::string(barText)] {
      view.SetStatusPosition(0);
      view.SetStatusText(text);
      view.SetStatusShowText(true);
    });
  }
  if (!job.quiet) {
    window_.Post([&view = view_] { DisableInputs(view); });
  }

  int result = -1;
  job.failure = "nothing could be sent";
  if (job.uploadMode >= 0 && job.uploadMode <= 3) {
    static constexpr Region kRegions[] = {Region::Firmware, Region::Voice, Region::Database,
                                          Region::Signature};
    const RegionWrite request{
        .region = kRegions[job.uploadMode],
        .typeCode = job.device.typeCode,
        .source = source,
        .verify = job.verify,
        // Written where the update file's firmware will look for it.
        .databaseAddress = catalogue::DbFlashOffset(1, job.device, job.file),
        .link = DeviceLink{host_, slots_, job.drive},
        .folder = job.folder,
        .stop = stop.Token(),
    };
    WindowWriterObserver observer(window_, view_, !barText.empty());
    const StepResult written = WriteRegion(channel, slot, request, observer);
    if (written == StepResult::Parked) {
      channel.Close();
      job.failure = "the device did not take a unit";
      Park(stop);
      return false;
    }
    result = static_cast<int>(written);
  } else if (IsSettingsMode(job.uploadMode) && settings_ != nullptr) {
    result = settings_->WriteSettingsBlock(channel, job.uploadMode);
  }
  // The step is over: release the handle and free the slot.
  channel.Close();

  const bool barShown = slot == 0;
  switch (result) {
    case 0:
      if (IsSettingsMode(job.uploadMode) && !job.quiet) {
        window_.Post([&view = view_, barShown] {
          if (barShown) {
            view.SetStatusPosition(100);
            view.SetStatusText(kUpdatedText);
          }
          view.EnableControl(ids::kVerifyCheck, true);
          view.EnableControl(ids::kOpenButton, false);
        });
      }
      return true;
    case 1:
      job.failure = "what the device holds differs from the file";
      if (barShown) {
        window_.Post([&view = view_] { view.SetStatusText(kVerifyErrorText); });
      }
      return false;
    case 2:
      job.failure = "the device stopped answering or was unplugged";
      if (barShown) {
        window_.Post([&view = view_] { view.SetStatusText(kConnectionErrorText); });
      }
      return false;
    case 3:
      job.failure = IsSettingsMode(job.uploadMode) ? "Parameters.ini could not be used"
                                                   : "the source could not be read";
      if (IsSettingsMode(job.uploadMode)) {
        // Parameters.ini was unusable and nothing was sent; there is no file to choose again,
        // so Open is left as it is.
        if (barShown) {
          window_.Post([&view = view_] { view.SetStatusText(kFileOpenErrorText); });
        }
      } else {
        ReportFileOpenFailed(stop, barShown);
      }
      return false;
    default:
      return false;
  }
}

bool UpdateWorker::UploadSettings(const StopSignal& stop, Job& job) {
  const int8_t type = job.device.typeCode;
  if (type == 6 || type == 8 || type == 9 || (type >= 16 && type <= 24)) {
    SetUploadMode(job, 6);
  } else if (catalogue::IsLargeModel(type)) {
    SetUploadMode(job, 7);
  }
  return RunUploadStep(stop, job, {});
}

void DeleteTempFiles(const std::filesystem::path& folder) {
  // The files are made in the working folder, so they are deleted there (not in whatever the
  // process's current folder happens to be).
  for (const std::string_view name : {"TempFwData.bin", "TempImageData.bin", "VerifyFwData.bin",
                                      "VerifyDb.bin", "VerifyImage.bin"}) {
    std::error_code ignored;
    std::filesystem::remove(folder / name, ignored);
  }
}

}  // namespace korvan
