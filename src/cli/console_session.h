// One command-line run of the main window's logic: the state, the console window, the window
// thread (this thread, pumping posted tasks) and the detection that every device command
// starts with.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "app/app_state.h"
#include "app/task_queue.h"
#include "app/update_worker.h"
#include "cli/console_view.h"
#include "cli/interrupt_watch.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "frontend/global_options.h"
#include "workdir/run_lock.h"

namespace korvan::cli {

inline constexpr int kUnusableFolderExit = 2;  // the working folder cannot be made or used
inline constexpr int kBusyFolderExit = 3;      // another run holds the working folder

class ConsoleSession {
 public:
  // Live progress goes to `err` when it is a terminal and the output is not JSON.
  ConsoleSession(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& err);

  // Makes the working folder ready and takes it for this run (one run per folder). 0 when it
  // is this run's; after telling `err` why not, kUnusableFolderExit when it cannot be used and
  // kBusyFolderExit when another run holds it.
  int PrepareFolder(const frontend::GlobalOptions& options, std::ostream& err);

  // The detection, as the window runs it, until model and versions are shown; with `once` a
  // single scan. Returns whether a device was read.
  bool Detect(bool once, bool serviceMode, const frontend::GlobalOptions& options,
              std::ostream& err);

  // Runs the posted tasks on this thread until `done` holds or Ctrl+C came.
  void RunUntil(const std::function<bool()>& done);

  // After Ctrl+C, once the workers have been stopped (or let go): says so and ends the process
  // with kInterruptedExit. Nothing is destroyed on the way, since a worker let go inside a
  // device command may still be using the session.
  void LeaveIfInterrupted();

  // The end of a command that may have started `worker`: waits for the run to finish or park
  // when `started`, then stops the worker (a parked one ends here: the program is closing)
  // and runs what it posted last.
  void FinishUpdate(UpdateWorker& worker, bool started);

  DiskHost& host;
  DriveSlotTable slots;
  TaskQueue window;
  ConsoleView view;
  AppState state;
  bool interrupted = false;  // set on this thread by the task Ctrl+C posts

 private:
  std::ostream& err_;
  std::unique_ptr<workdir::RunLock> folderLock_;  // held until the session ends
  InterruptHandlerScope interruptHandler_;        // last: gone before the queue it posts to
};

// "drive N" with --drive, else "drives 0-25": where device commands look.
std::string DrivesSearched(const frontend::GlobalOptions& options);

// Says that no device answered (on the --drive when given) and which disks could not be
// opened.
void ReportNoDevice(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& out,
                    std::ostream& err);

}  // namespace korvan::cli
