#include "cli/update_all_command.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/detection_worker.h"
#include "app/main_window_steps.h"
#include "app/update_worker.h"
#include "app/upload_command.h"
#include "cli/console_session.h"
#include "cli/json_text.h"
#include "cli/probe_command.h"
#include "cli/progress_board.h"
#include "cli/update_report.h"
#include "device/device_channel.h"
#include "sources/program_folder.h"

namespace korvan::cli {
namespace {

enum class Result { Updated, Failed, Skipped };

const char* ResultName(Result result) {
  switch (result) {
    case Result::Updated:
      return "updated";
    case Result::Failed:
      return "failed";
    case Result::Skipped:
      break;
  }
  return "skipped";
}

// One device of the run, as a window of its own would hold it: its state, its view, its slot
// table and its working folder. Touched only on this thread; its workers reach it through the
// session's queue.
struct DeviceRun {
  explicit DeviceRun(int driveNumber) : drive(driveNumber), view(nullptr) {}

  bool Detected() const { return state.detectionPhase == DetectionPhase::Ready; }
  bool UpdateOver() const {
    return state.updatePhase == UpdatePhase::Finished || state.updatePhase == UpdatePhase::Parked;
  }

  int drive;
  // Its own table: each device's operations then hold slot 0, the slot whose bar is shown,
  // and no device waits for another's slot. Nothing scans for devices while the runs go on.
  DriveSlotTable slots;
  ConsoleView view;
  AppState state;
  int line = -1;  // on the progress board
  bool started = false;
  Result result = Result::Skipped;
  std::string reason;  // why it was skipped or could not be updated
  UpdateOutcome outcome;
  // Last, so they are stopped and gone before what they post to.
  std::unique_ptr<DetectionWorker> detection;
  std::unique_ptr<UpdateWorker> update;
};

using Runs = std::vector<std::unique_ptr<DeviceRun>>;

// The drives where a device answers INQUIRY, as `probe` finds them.
std::vector<int> AnsweringDrives(DiskHost& host, const frontend::GlobalOptions& options) {
  DriveSlotTable slots;  // the probe claims nothing; the channel still needs a table
  DeviceChannel channel(host, slots);
  std::vector<int> drives;
  for (int drive = options.drive.value_or(kFirstDrive); drive <= options.drive.value_or(kLastDrive);
       ++drive) {
    DeviceInfo info;
    if (channel.ProbeDrive(drive, info)) {
      drives.push_back(drive);
    }
  }
  return drives;
}

std::string LinePrefix(int drive) {
  return "drive " + std::to_string(drive) + ": ";
}

// Stops every worker of one kind with one shared deadline, so that devices that stopped
// answering cost the grace once, not once each.
template <typename Member>
void StopAll(Runs& runs, Member member) {
  const StopDeadline deadline = StopDeadlineFromNow();
  for (auto& run : runs) {
    if (auto& worker = (*run).*member; worker) {
      worker->Stop(deadline);
    }
  }
}

// Code points, for lining up columns of UTF-8 texts.
size_t Width(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void PrintTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], Width(row[i]));
    }
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) {
        line += std::string(widths[i] - Width(row[i]) + 2, ' ');
      }
    }
    out << line << '\n';
  }
}

void PrintText(const Runs& runs, std::ostream& out) {
  std::vector<std::vector<std::string>> rows{
      {"Drive", "Model", "Result", "Firmware", "Voice", "Database", "Status"}};
  for (const auto& run : runs) {
    const std::string model = run->view.FieldText(ids::kModelText);
    if (run->started) {
      const UpdateOutcome& o = run->outcome;
      rows.push_back({std::to_string(run->drive), model, ResultName(run->result), o.firmware,
                      o.voice, o.database, o.status});
    } else {
      rows.push_back(
          {std::to_string(run->drive), model, ResultName(run->result), "", "", "", run->reason});
    }
  }
  PrintTable(rows, out);
  for (const auto& run : runs) {
    if (!run->started || run->result == Result::Updated) {
      continue;
    }
    const std::string prefix = "Drive " + std::to_string(run->drive) + ": ";
    for (const std::string& error : run->outcome.errors) {
      out << prefix << "error: " << error << '\n';
    }
    if (!run->outcome.message.empty()) {
      out << prefix << "message: " << run->outcome.message << '\n';
    }
    if (run->outcome.parked) {
      out << prefix
          << "the device stopped taking data; reconnect its USB cable and run the update "
             "again.\n";
    }
  }
}

nlohmann::ordered_json DeviceJson(const DeviceRun& run) {
  nlohmann::ordered_json head = {{"drive", run.drive},
                                 {"model", run.view.FieldText(ids::kModelText)},
                                 {"result", ResultName(run.result)}};
  if (!run.started) {
    head["reason"] = run.reason;
    return head;
  }
  return OutcomeJson(run.outcome, head);
}

}  // namespace

int RunUpdateAll(DiskHost& host, const frontend::GlobalOptions& options,
                 const UpdateOptions& update, std::ostream& out, std::ostream& err) {
  // The session gives the queue every worker posts to, Ctrl+C and the working folder; its own
  // view and state stay unused, each device has its own.
  frontend::GlobalOptions sessionOptions = options;
  sessionOptions.progressOnTerminal = false;
  ConsoleSession session(host, sessionOptions, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  const bool live = options.progressOnTerminal && !options.json && !update.quiet;
  ProgressBoard board(live ? &err : nullptr);

  Runs runs;
  const auto started = std::chrono::system_clock::now();
  for (const int drive : AnsweringDrives(host, options)) {
    auto run = std::make_unique<DeviceRun>(drive);
    // Each device's copies and read-back files go to a folder of its own: their names are fixed.
    std::string error;
    const auto folder = PrepareProgramFolder(
        session.state.programFolder / ("drive" + std::to_string(drive)), error);
    if (!folder) {
      err << "korvan: " << error << "\n";
      return 2;
    }
    run->state.programFolder = *folder;
    run->state.recordsFolder = session.state.programFolder;
    run->state.frontEnd = session.state.frontEnd;
    run->state.backups = session.state.backups;
    run->state.backups.keepSince = started;
    run->state.serverUrl = options.serverUrl;
    InitMainDialogControls(run->view);
    DeviceRun& r = *run;
    r.line = board.AddLine(LinePrefix(drive));
    r.view.OnProgressChanged(
        [&board, &r] { board.SetLine(r.line, LinePrefix(r.drive) + r.view.ProgressLine()); });
    runs.push_back(std::move(run));
  }
  if (runs.empty()) {
    board.End();
    if (options.json) {
      out << JsonLine({{"file", update.file}, {"devices", nlohmann::ordered_json::array()}})
          << '\n';
    }
    err << "korvan: no device answered on " << DrivesSearched(options) << "\n";
    ReportUnopenableDisks(host, err);
    return 1;
  }

  // Every device is read at once, as the detection reads one: a single scan of its drive.
  for (auto& run : runs) {
    run->detection = std::make_unique<DetectionWorker>(
        host, run->slots, session.window, run->view, run->state,
        DetectionOptions{std::chrono::milliseconds(1000), 1, run->drive});
    run->detection->Start();
  }
  session.RunUntil([&runs] {
    return std::all_of(runs.begin(), runs.end(), [](const auto& run) {
      return run->state.detectionPhase == DetectionPhase::Ready ||
             run->state.detectionPhase == DetectionPhase::NotFound;
    });
  });
  StopAll(runs, &DeviceRun::detection);
  session.LeaveIfInterrupted();
  session.window.RunPending();

  // Open on each device, then Upload on those that accept the file.
  for (auto& run : runs) {
    DeviceRun& r = *run;
    if (!r.Detected()) {
      // It answered the scan but could not be read: whether it is of the file's model is not
      // known, so it counts as a device not brought up to date.
      r.result = Result::Failed;
      r.reason = "the device stopped answering before it could be read";
      continue;
    }
    r.state.source = 1;  // the local-file source
    r.state.verify = update.verify;
    OpenFile(r.view, r.state, update.file);
    if (!Accepted(r.view, r.state)) {
      r.result = Result::Skipped;
      r.reason = "the file is not for this device (" + r.view.Status().text + ")";
      continue;
    }
    r.update = std::make_unique<UpdateWorker>(host, r.slots, session.window, r.view, r.state);
    r.started = UploadCommand(r.view, r.state, *r.update);
    if (!r.started) {
      r.result = Result::Failed;
      r.reason = "the update could not be started (" + r.view.LastMessage() + ")";
    }
  }
  for (auto& run : runs) {
    if (!run->started) {
      board.SetLine(run->line,
                    LinePrefix(run->drive) + ResultName(run->result) + ": " + run->reason);
    }
  }
  session.RunUntil([&runs] {
    return std::all_of(runs.begin(), runs.end(),
                       [](const auto& run) { return !run->started || run->UpdateOver(); });
  });
  StopAll(runs, &DeviceRun::update);
  session.LeaveIfInterrupted();
  session.window.RunPending();
  board.End();

  int updated = 0;
  bool everyOneGood = true;
  bool anyOfTheModel = false;
  for (auto& run : runs) {
    if (run->started) {
      run->outcome = OutcomeOf(run->view, run->state, true);
      run->result = run->outcome.good ? Result::Updated : Result::Failed;
    }
    updated += run->result == Result::Updated ? 1 : 0;
    everyOneGood = everyOneGood && run->result != Result::Failed;
    anyOfTheModel = anyOfTheModel || run->result != Result::Skipped;
  }

  if (options.json) {
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    for (const auto& run : runs) {
      devices.push_back(DeviceJson(*run));
    }
    out << JsonLine({{"file", update.file}, {"devices", devices}}) << '\n';
  } else {
    PrintText(runs, out);
    out << updated << " of " << runs.size() << " device" << (runs.size() == 1 ? "" : "s")
        << " updated.\n";
  }
  if (!anyOfTheModel) {
    err << "korvan: no device of the update file's model answered; nothing was written\n";
    return 1;
  }
  return everyOneGood ? 0 : 1;
}

}  // namespace korvan::cli
