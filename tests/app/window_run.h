// One main window over a simulated host, with the test thread as its window thread: the
// harness of the tests that drive MainWindow's handlers as the dialog does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/recording_view.h"
#include "app/task_queue.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::testing {

inline constexpr int kDrive = 2;

inline emu::PresetOptions Preset(uint8_t rawType) {
  emu::PresetOptions preset;
  preset.rawType = rawType;
  return preset;
}

// One main window over a simulated host, opened or not.
struct WindowRun {
  explicit WindowRun(std::chrono::milliseconds scanInterval = std::chrono::milliseconds(1),
                     std::string serverUrl = {})
      : main(host, window, view, folder.path(),
             MainWindowOptions{
                 DetectionOptions{scanInterval, 0}, std::move(serverUrl), nullptr, {}}) {}
  // The dialog's window thread refuses tasks before the window goes, as the real one does.
  ~WindowRun() { window.Close(); }

  std::shared_ptr<emu::SimulatedDevice> Plug(const emu::PresetOptions& preset) {
    auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    device->SetRecordMode(emu::RecordMode::CdbOnly);
    host.Attach(kDrive, device);
    return device;
  }

  bool Pump(const std::function<bool()>& done) {
    return window.RunUntil(done, std::chrono::seconds(120));
  }

  // Pump for a condition no task tells of (the device's own counters): asked again every few
  // milliseconds, not only after a task.
  bool PumpPolling(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!window.RunUntil(done, std::chrono::milliseconds(5))) {
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
    }
    return true;
  }

  // Opens the dialog and runs the window thread until the detection has shown the device.
  void OpenUntilReady() {
    main.OnInitDialog();
    ASSERT_TRUE(Pump([this] { return main.State().detectionPhase == DetectionPhase::Ready; }));
  }

  // The local-file source, and the Open command answered with a newer update file for the
  // model `rawType`.
  void ChooseNewerFile(uint8_t rawType) {
    const auto file = emu::WriteUpdateFile(
        folder / "files", emu::MakeUpdateFile(emu::NewerUpdateFile(Preset(rawType))));
    ASSERT_TRUE(file.has_value());
    main.OnFileSource();
    view.QueueFileChoice(file->string());
    main.OnOpen();
  }

  // The View calls `handler` makes.
  std::vector<std::string> CallsOf(const std::function<void()>& handler) {
    const size_t from = view.Calls().size();
    handler();
    return {view.Calls().begin() + static_cast<std::ptrdiff_t>(from), view.Calls().end()};
  }

  emu::SimulatedDiskHost host;
  TaskQueue window;
  RecordingView view;
  ScopedTempDir folder{"korvan_main"};
  MainWindow main;
};

}  // namespace korvan::testing
