#include "app/update_worker.h"

#include <system_error>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/show_result.h"
#include "app/stop_wait.h"
#include "device/model_catalogue.h"
#include "device/update_file_header.h"
#include "sources/program_folder.h"

namespace korvan {
namespace {

namespace catalogue = ModelCatalogue;

constexpr VersionDigits kLastType8Firmware{0, 1, 7, 3};

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

// The writers' reports reach the window as posted tasks. Only slot 0's bar has a window; its
// position is posted only when the shown value changes.
class WindowWriterObserver final : public RegionWriterObserver {
 public:
  WindowWriterObserver(WindowThread& window, View& view) : window_(window), view_(view) {}

  void SlotPosition(int slot, int position) override {
    if (slot == 0 && position != lastPosition_) {
      lastPosition_ = position;
      window_.Post([&view = view_, position, done = done_, total = total_] {
        view.SetStatusAmount(done, total);
        view.SetStatusPosition(position);
      });
    }
  }
  void SlotAmount(int slot, uint64_t done, uint64_t total) override {
    if (slot == 0) {
      done_ = done;
      total_ = total;
    }
  }
  void SlotText(int slot, std::string_view text) override {
    if (slot == 0) {
      window_.Post([&view = view_, text = std::string(text)] { view.SetStatusText(text); });
    }
  }
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
  int lastPosition_ = -1;
  uint64_t done_ = 0;  // the amount behind the next position, sent with it
  uint64_t total_ = 0;
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
  job.drive = state_.DetectedDrive;
  job.verify = state_.verify;
  job.quiet = state_.QuietUpload;
  job.uploadMode = state_.UploadMode;
  job.header = state_.updateFileHeader;
  // The run's course is decided here, on the window thread that owns the flags.
  job.settingsRun = state_.SettingsPending && IsSettingsMode(state_.UploadMode);
  if (!job.settingsRun) {
    job.fullRun = !state_.UpdateStarted;
    state_.UpdateStarted = true;
  }
  state_.updatePhase = UpdatePhase::Running;
  parked_ = false;
  thread_.Start([this, job](std::stop_token stop) { Run(stop, job); });
}

bool UpdateWorker::Stop(StopDeadline deadline) {
  return thread_.Stop(deadline);
}

void UpdateWorker::SetUploadMode(Job& job, int mode) {
  job.uploadMode = mode;
  window_.Post([&state = state_, mode] { state.UploadMode = mode; });
}

void UpdateWorker::SetCell(int cellId, std::string_view text) {
  window_.Post(
      [&view = view_, cellId, text = std::string(text)] { view.SetControlText(cellId, text); });
}

void UpdateWorker::ShowResultAndWait(int code) {
  PostAndWait(window_, [&view = view_, code] { ShowResult(view, code); });
}

void UpdateWorker::Park(std::stop_token stop) {
  parked_ = true;
  // The writer has asked the user to reconnect the cable; "End" is given back so the program
  // can be closed (the run had disabled it), and nothing else is touched.
  window_.Post([&state = state_, &view = view_] {
    state.updatePhase = UpdatePhase::Parked;
    view.EnableControl(ids::kEnd, true);
  });
  WaitForStop(stop);
}

void UpdateWorker::Run(std::stop_token stop, Job job) {
  for (const int cell : {ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    SetCell(cell, kBlankCellText);
  }
  if (job.settingsRun) {
    const bool written = UploadSettings(stop, job);
    if (parked_ || stop.stop_requested()) {
      return;
    }
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
  const int8_t type = job.device.typeCode;
  int attempted = 0;
  int failed = 0;
  struct Component {
    int8_t minType;
    StepOutcome (UpdateWorker::*step)(std::stop_token, Job&);
    int bit;
  };
  const Component components[] = {
      {1, &UpdateWorker::FirmwareStep, 1},
      {2, &UpdateWorker::VoiceStep, 2},
      {3, &UpdateWorker::DatabaseStep, 4},
      {8, &UpdateWorker::SignatureStep, 8},
  };
  for (const auto& component : components) {
    if (type >= component.minType) {
      const StepOutcome outcome = (this->*component.step)(stop, job);
      if (outcome != StepOutcome::NotAttempted) {
        attempted |= component.bit;
      }
      if (outcome == StepOutcome::Failed) {
        failed |= component.bit;
      }
    }
    if (parked_ || stop.stop_requested()) {
      return;  // nothing more: no device traffic, no window change
    }
  }

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

UpdateWorker::StepOutcome UpdateWorker::FirmwareStep(std::stop_token stop, Job& job) {
  const int8_t type = job.device.typeCode;
  if (type == 8 && job.device.fwVersion == kLastType8Firmware) {
    const auto& f = job.file.fileFwVersion;
    if (f[0] == 0 && f[1] == 1 && f[2] == 7 && f[3] == 3) {
      return StepOutcome::NotAttempted;
    }
  }
  return ComponentStep(stop, job,
                       {UpdateComponent::Firmware, job.fwCopy, catalogue::BootLoaderSize(type),
                        catalogue::FwEndOffset(type), 0, ids::kFwResultText});
}

UpdateWorker::StepOutcome UpdateWorker::VoiceStep(std::stop_token stop, Job& job) {
  if (job.device.typeCode == 8 && job.file.fileVoiceVersion[0] != 0) {
    return StepOutcome::NotAttempted;
  }
  return ComponentStep(stop, job,
                       {UpdateComponent::Voice, job.flashCopy, 0, 0, 1, ids::kVoiceResultText});
}

UpdateWorker::StepOutcome UpdateWorker::DatabaseStep(std::stop_token stop, Job& job) {
  // Compared where the device's own layout keeps it; written where the file's firmware will
  // look for it (RunUploadStep).
  return ComponentStep(
      stop, job,
      {UpdateComponent::Database, job.flashCopy, catalogue::DbFlashOffset(0, job.device, job.file),
       0, 2, ids::kDbResultText});
}

UpdateWorker::StepOutcome UpdateWorker::SignatureStep(std::stop_token stop, Job& job) {
  if (job.device.typeCode != 8) {
    return StepOutcome::NotAttempted;
  }
  return ComponentStep(stop, job,
                       {UpdateComponent::Signature, job.flashCopy, kSignatureAddress, 0, 3, 0});
}

UpdateWorker::StepOutcome UpdateWorker::ComponentStep(std::stop_token stop, Job& job,
                                                      const ComponentJob& component) {
  const int8_t type = job.device.typeCode;
  const ComponentPlacement placement =
      PlacementOf(component.component, type, job.header, job.file, job.fileSize);
  // The header may have changed since Open checked it: a component that does not lie inside
  // the file, or would not fit the memory, is neither extracted nor written.
  if (CheckPlacement(placement, job.fileSize) != LayoutCheck::Fits) {
    return FailWithoutWriting(stop, job, component);
  }
  switch (CompareAndExtract(component.deviceCopy, component.deviceOffset, job.updateFile,
                            placement.fileOffset, placement.length, component.extractEnd)) {
    case CompareOutcome::Equal:
      if (component.cellId != 0) {
        SetCell(component.cellId, kSameText);
      }
      return StepOutcome::NotAttempted;
    case CompareOutcome::Failed:
      // WARNING: the copy still holds the whole memory read at detection, not the component.
      return FailWithoutWriting(stop, job, component);
    case CompareOutcome::Extracted:
      break;
  }
  SetUploadMode(job, component.uploadMode);
  if (component.cellId != 0) {
    SetCell(component.cellId, kUpdatingText);
  }
  const bool written = RunUploadStep(stop, job, component.deviceCopy);
  if (parked_ || stop.stop_requested()) {
    return StepOutcome::Failed;
  }
  if (component.cellId != 0) {
    SetCell(component.cellId, written ? kUpdatedText : kVerifyErrorText);
  }
  return written ? StepOutcome::Succeeded : StepOutcome::Failed;
}

UpdateWorker::StepOutcome UpdateWorker::FailWithoutWriting(std::stop_token stop, Job& job,
                                                           const ComponentJob& component) {
  // Shown as a source file that cannot be opened: the user can choose the file again.
  SetUploadMode(job, component.uploadMode);
  ReportFileOpenFailed(stop, true);
  if (component.cellId != 0 && !stop.stop_requested()) {
    SetCell(component.cellId, kVerifyErrorText);
  }
  return StepOutcome::Failed;
}

void UpdateWorker::ReportFileOpenFailed(std::stop_token stop, bool barShown) {
  window_.Post([&view = view_, barShown] {
    if (barShown) {
      view.SetStatusText(kFileOpenErrorText);
    }
    view.EnableControl(ids::kOpenButton, true);
  });
  SleepUnlessStopped(stop, std::chrono::milliseconds(1000));
}

bool UpdateWorker::RunUploadStep(std::stop_token stop, Job& job,
                                 const std::filesystem::path& source) {
  DeviceChannel channel(host_, slots_);
  channel.Claim(job.drive);
  channel.Open();
  const int slot = channel.FindDriveSlot(job.drive);
  const bool showOnBar = !job.quiet && slot == 0;
  if (showOnBar) {
    window_.Post([&view = view_] {
      view.SetStatusPosition(0);
      view.SetStatusText("");
      view.SetStatusShowText(true);
    });
  }
  if (!job.quiet) {
    window_.Post([&view = view_] { DisableInputs(view); });
  }

  int result = -1;
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
        .stop = stop,
    };
    WindowWriterObserver observer(window_, view_);
    const StepResult written = WriteRegion(channel, slot, request, observer);
    if (written == StepResult::Parked) {
      channel.Close();
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
      if (barShown) {
        window_.Post([&view = view_] { view.SetStatusText(kVerifyErrorText); });
      }
      return false;
    case 2:
      if (barShown) {
        window_.Post([&view = view_] { view.SetStatusText(kConnectionErrorText); });
      }
      return false;
    case 3:
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

bool UpdateWorker::UploadSettings(std::stop_token stop, Job& job) {
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
