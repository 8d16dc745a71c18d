#include "cli/console_session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/detection_worker.h"
#include "app/main_window_steps.h"
#include "cli/probe_command.h"
#include "frontend/version.h"
#include "sources/program_folder.h"

namespace korvan::cli {

ConsoleSession::ConsoleSession(DiskHost& diskHost, const frontend::GlobalOptions& options,
                               std::ostream& err)
    : host(diskHost),
      view(options.json || !options.progressOnTerminal ? nullptr : &err),
      err_(err),
      interruptHandler_([this] { window.Post([this] { interrupted = true; }); }) {
  InitMainDialogControls(view);
  state.serverUrl = options.serverUrl;
  state.frontEnd = "korvan";
  state.backups.keep = options.backups;
  state.backups.programVersion = frontend::kProgramVersion;
}

int ConsoleSession::PrepareFolder(const frontend::GlobalOptions& options, std::ostream& err) {
  std::string error;
  const auto folder = PrepareProgramFolder(options.workdir, error);
  if (!folder) {
    err << "korvan: " << error << "\n";
    return kUnusableFolderExit;
  }
  auto attempt = workdir::TakeRunLock(*folder, "korvan");
  if (attempt.outcome != workdir::RunLockAttempt::Outcome::Taken) {
    err << "korvan: " << attempt.message << "\n";
    return attempt.outcome == workdir::RunLockAttempt::Outcome::Busy ? kBusyFolderExit
                                                                     : kUnusableFolderExit;
  }
  folderLock_ = std::move(attempt.lock);
  state.programFolder = *folder;
  return 0;
}

void ConsoleSession::RunUntil(const std::function<bool()>& done) {
  window.RunUntil([&] { return interrupted || done(); }, std::chrono::hours(24 * 365));
  window.RunPending();
}

void ConsoleSession::LeaveIfInterrupted() {
  if (!interrupted) {
    return;
  }
  view.EndProgressLine();
  err_ << "korvan: interrupted\n";
  err_.flush();
  std::fflush(nullptr);
  std::_Exit(kInterruptedExit);
}

void ConsoleSession::FinishUpdate(UpdateWorker& worker, bool started) {
  if (started) {
    RunUntil([this] {
      return state.updatePhase == UpdatePhase::Finished || state.updatePhase == UpdatePhase::Parked;
    });
  }
  worker.Stop();
  LeaveIfInterrupted();
  window.RunPending();
}

std::string DrivesSearched(const frontend::GlobalOptions& options) {
  if (options.drive) {
    return "drive " + std::to_string(*options.drive);
  }
  return "drives " + std::to_string(kFirstDrive) + "-" + std::to_string(kLastDrive);
}

bool ConsoleSession::Detect(bool once, bool serviceMode, const frontend::GlobalOptions& options,
                            std::ostream& err) {
  state.serviceMode = serviceMode;
  if (!once && !options.json) {
    err << "Searching " << DrivesSearched(options)
        << " until a device answers (Ctrl+C to give up)...\n";
  }
  DetectionWorker worker(
      host, slots, window, view, state,
      DetectionOptions{std::chrono::milliseconds(1000), once ? 1 : 0, options.drive.value_or(-1)});
  worker.Start();
  RunUntil([this] {
    return state.detectionPhase == DetectionPhase::Ready ||
           state.detectionPhase == DetectionPhase::NotFound;
  });
  // The window's detection parks for the rest of the run; here it has done its part.
  worker.Stop();
  LeaveIfInterrupted();
  window.RunPending();
  view.EndProgressLine();
  return state.detectionPhase == DetectionPhase::Ready;
}

void ReportNoDevice(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& out,
                    std::ostream& err) {
  if (options.json) {
    out << "null\n";
  } else if (options.drive) {
    out << "No device answered on drive " << *options.drive << " ("
        << host.DriveName(*options.drive) << ").\n";
  } else {
    out << "No device answered on drives " << kFirstDrive << "-" << kLastDrive << ".\n";
  }
  ReportUnopenableDisks(host, err);
}

}  // namespace korvan::cli
