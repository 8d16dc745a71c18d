#include "cli/restore_command.h"

#include <optional>

#include "app/history_log.h"
#include "app/main_window_steps.h"
#include "app/restore_run.h"
#include "app/run_history.h"
#include "app/update_worker.h"
#include "app/worker_thread.h"
#include "cli/console_session.h"
#include "cli/json_text.h"

namespace korvan::cli {
namespace {

std::string_view RegionName(Region region) {
  return region == Region::Firmware ? "firmware" : "data flash";
}

// The writers' reports reach the console view as tasks posted to this thread.
class ConsoleRestoreObserver final : public RegionWriterObserver {
 public:
  explicit ConsoleRestoreObserver(ConsoleSession& session) : session_(session) {}

  void RegionStarted(Region region) { Post("Restoring " + std::string(RegionName(region)), 0); }
  void SlotPosition(int slot, int position) override {
    if (slot == 0) {
      session_.window.Post([&view = session_.view, position] { view.SetStatusPosition(position); });
    }
  }
  void SlotText(int slot, std::string_view text) override {
    if (slot == 0) {
      session_.window.Post(
          [&view = session_.view, text = std::string(text)] { view.SetStatusText(text); });
    }
  }
  void RegionCellText(Region region, std::string_view) override {
    Post("Checking " + std::string(RegionName(region)), 100);
  }
  void ShowError(std::string_view text, std::string_view caption) override {
    PostAndWait(session_.window,
                [&view = session_.view, text = std::string(text), caption = std::string(caption)] {
                  view.ShowMessage(text, caption, MessageIcon::Error);
                });
  }

 private:
  void Post(std::string text, int position) {
    session_.window.Post([&view = session_.view, text = std::move(text), position] {
      view.SetStatusText(text);
      view.SetStatusPosition(position);
    });
  }

  ConsoleSession& session_;
};

// A region's outcome in the words `korvan update` uses for its cells.
std::string RegionText(const RestoreRegion& region) {
  if (!region.attempted) {
    return "";
  }
  switch (region.result) {
    case StepResult::Ok:
      return std::string(kUpdatedText);
    case StepResult::VerifyFailed:
      return std::string(kVerifyErrorText);
    case StepResult::LinkLost:
      return std::string(kConnectionErrorText);
    case StepResult::FileOpenFailed:
      return std::string(kFileOpenErrorText);
    case StepResult::Parked:
      return std::string(kReconnectText);
  }
  return "";
}

// The restore's history line. The versions afterwards are those of the backup's images, which
// the program does not read: they stay unknown until the next detection.
void RecordRestore(const AppState& state, const std::filesystem::path& backupDir,
                   const RestoreResult& result) {
  HistoryEntry entry =
      DeviceHistoryEntry(kHistoryRestore, state.frontEnd, state.deviceInfo, state.DetectedDrive);
  entry.source = backupDir.string();
  entry.after = {};
  bool anyWritten = false;
  for (const RestoreRegion& region : result.regions) {
    if (region.attempted) {
      anyWritten = true;
      entry.components.push_back(
          {region.region == Region::Firmware ? "firmware" : "data flash",
           std::string(region.result == StepResult::Ok ? kHistoryWritten : kHistoryFailed)});
    }
  }
  if (!anyWritten) {
    entry.after = entry.before;  // nothing was written
  }
  if (!result.ok()) {
    entry.error = result.error.empty() ? "the restore did not complete" : result.error;
  }
  AppendHistory(RecordsFolder(state), std::move(entry));
}

}  // namespace

int RunRestoreCommand(DiskHost& host, const frontend::GlobalOptions& options,
                      const RestoreOptions& restore, std::ostream& out, std::ostream& err) {
  frontend::GlobalOptions sessionOptions = options;
  sessionOptions.progressOnTerminal = options.progressOnTerminal && !restore.quiet;
  ConsoleSession session(host, sessionOptions, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  if (!session.Detect(true, false, sessionOptions, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  std::error_code ignored;
  const auto absolute = std::filesystem::absolute(restore.backupDir, ignored);
  const AppState& state = session.state;
  const RestoreJob job{
      .backupDir = absolute.empty() ? std::filesystem::path(restore.backupDir) : absolute,
      .device = state.deviceInfo,
      .drive = state.DetectedDrive,
      .fwCopy = state.FwReadPath,
      .flashCopy = state.FlashReadPath,
      .folder = state.programFolder,
      .backups = state.backups,
  };

  std::optional<RestoreResult> result;
  ConsoleRestoreObserver observer(session);
  {
    // On a worker thread, so that Ctrl+C is seen while a region is being written.
    WorkerThread worker;
    worker.Start([&](const StopSignal& stop) {
      RestoreResult done =
          RunRestore(session.host, session.slots, job, observer, stop.Token(),
                     [&observer](Region region) { observer.RegionStarted(region); });
      session.window.Post([&result, done = std::move(done)] { result = done; });
    });
    session.RunUntil([&result] { return result.has_value(); });
    worker.Stop(StopDeadlineFromNow());
    session.LeaveIfInterrupted();
    session.window.RunPending();
  }
  session.view.EndProgressLine();
  if (!result) {
    err << "korvan: the restore ended without a result\n";
    return 1;
  }
  RecordRestore(state, job.backupDir, *result);

  const std::string firmware = RegionText(result->regions[0]);
  const std::string flash = RegionText(result->regions[1]);
  const bool parked = result->outcome == RestoreOutcome::Parked;
  if (options.json) {
    const auto pathOrNull = [](const std::filesystem::path& path) {
      return path.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(path.string());
    };
    out << JsonLine({{"backup", job.backupDir.string()},
                     {"model", result->backupModel},
                     {"savedBackup", pathOrNull(result->savedBackup)},
                     {"firmware", firmware},
                     {"dataFlash", flash},
                     {"status", session.view.StatusShown()},
                     {"message", session.view.LastMessage()},
                     {"parked", parked},
                     {"restored", result->ok()},
                     {"error", result->error}})
        << '\n';
  } else {
    out << "Backup:     " << job.backupDir.string() << '\n';
    if (!result->savedBackup.empty()) {
      out << "Saved:      " << result->savedBackup.string() << " (the device before the restore)\n";
    }
    out << "Firmware:   " << firmware << '\n' << "Data flash: " << flash << '\n';
    if (const std::string message = session.view.LastMessage(); !message.empty()) {
      out << "Message:\n" << message << '\n';
    }
    if (!result->ok()) {
      out << "Error:      " << result->error << '\n';
    }
  }
  return result->ok() ? 0 : 1;
}

}  // namespace korvan::cli
