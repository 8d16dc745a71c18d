// `DetectionWorker`: the background search for the device. It scans drives 0..25 once a
// second until the device answers, copies its memories into the working files, reads the
// versions from the copies, shows model and versions, enables the device commands and then
// parks for the rest of the run: a device is identified once per run. Every visible step and
// every change of AppState is posted to the window thread, in order.
#pragma once

#include <chrono>

#include "app/app_state.h"
#include "app/stop_signal.h"
#include "app/view.h"
#include "app/window_thread.h"
#include "app/worker_thread.h"
#include "device/device_info.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"

namespace korvan {

struct DetectionOptions {
  std::chrono::milliseconds scanInterval{1000};
  // 0: scan until a device answers (the program); n: give up after n scans (NotFound).
  int maxScans = 0;
  // -1: every drive 0..25; otherwise this drive alone (the user named the device's drive).
  int onlyDrive = -1;
};

class DetectionWorker {
 public:
  // `view` and `state` are touched only by tasks posted to `window`; they must outlive the
  // tasks, and the worker must be stopped before they go.
  DetectionWorker(DiskHost& host, DriveSlotTable& slots, WindowThread& window, View& view,
                  AppState& state, DetectionOptions options = {});
  ~DetectionWorker();
  DetectionWorker(const DetectionWorker&) = delete;
  DetectionWorker& operator=(const DetectionWorker&) = delete;

  // Starts the thread; call on the window thread. The working folder is taken from `state`.
  void Start();
  // Asks the thread to end and waits for it until `deadline`: a scan, a copy or the parked
  // wait ends at once. False when a device command still holds it (see WorkerThread::Stop).
  bool Stop(StopDeadline deadline = StopDeadlineFromNow());

 private:
  void Run(const StopSignal& stop);
  bool Scan(const StopSignal& stop, DeviceInfo& info, int& drive);
  void ReadDevice(const StopSignal& stop, DeviceInfo info, int drive);

  DiskHost& host_;
  DriveSlotTable& slots_;
  WindowThread& window_;
  View& view_;
  AppState& state_;
  DetectionOptions options_;
  std::filesystem::path folder_;
  std::string frontEnd_;
  std::filesystem::path records_;  // where the history is kept
  WorkerThread thread_;
};

}  // namespace korvan
