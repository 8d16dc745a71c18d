// One command-line run of the main window's logic: the state, the console window, the window
// thread (this thread, pumping posted tasks) and the detection that every device command
// starts with.
#pragma once

#include <functional>
#include <ostream>

#include "app/app_state.h"
#include "app/task_queue.h"
#include "app/update_worker.h"
#include "cli/console_view.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

class ConsoleSession {
 public:
  // Live progress goes to `err` when it is a terminal and the output is not JSON.
  ConsoleSession(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& err);

  // Makes the working folder ready; false after telling `err` why it cannot be used.
  bool PrepareFolder(const frontend::GlobalOptions& options, std::ostream& err);

  // The detection, as the window runs it, until model and versions are shown; with `once` a
  // single scan. Returns whether a device was read.
  bool Detect(bool once, bool serviceMode, const frontend::GlobalOptions& options,
              std::ostream& err);

  // Runs the posted tasks on this thread until `done` holds.
  void RunUntil(const std::function<bool()>& done);

  // The end of a command that may have started `worker`: waits for the run to finish or park
  // when `started`, then stops the worker (a parked one ends here: the program is closing)
  // and runs what it posted last.
  void FinishUpdate(UpdateWorker& worker, bool started);

  DiskHost& host;
  DriveSlotTable slots;
  TaskQueue window;
  ConsoleView view;
  AppState state;
};

// Says that no device answered and which disks could not be opened.
void ReportNoDevice(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& out,
                    std::ostream& err);

}  // namespace korvan::cli
