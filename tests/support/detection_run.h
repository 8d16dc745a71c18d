// Runs the real DetectionWorker against simulated drives, with the test thread as the window
// thread and a RecordingView as the window, until the detection is ready or gave up.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "app/app_state.h"
#include "app/detection_worker.h"
#include "app/main_window_steps.h"
#include "app/recording_view.h"
#include "app/task_queue.h"
#include "emulator/simulated_disk_host.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::testing {

class DetectionRun {
 public:
  DetectionRun() {
    state.programFolder = folder.path();
    InitMainDialogControls(view);
  }

  // Runs one detection to its end (Ready or NotFound) and stops the worker. Scans repeat
  // after 1 ms instead of a second.
  bool Run(int maxScans = 0, bool serviceMode = false) {
    state.serviceMode = serviceMode;
    DetectionWorker worker(host, slots, window, view, state,
                           DetectionOptions{std::chrono::milliseconds(1), maxScans});
    worker.Start();
    const bool ended = window.RunUntil(
        [this] {
          return state.detectionPhase == DetectionPhase::Ready ||
                 state.detectionPhase == DetectionPhase::NotFound;
        },
        std::chrono::seconds(60));
    worker.Stop();
    window.RunPending();
    return ended;
  }

  emu::SimulatedDiskHost host;
  DriveSlotTable slots;
  TaskQueue window;
  RecordingView view;
  AppState state;
  ScopedTempDir folder{"korvan_detect"};
};

}  // namespace korvan::testing
