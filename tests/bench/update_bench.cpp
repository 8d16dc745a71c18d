// A full update of a type-26 simulated device (firmware, voice and database all differ, each
// unit written and read back, each region verified), against the simulated device's own work
// for the same commands. Also counts the commands sent against the minimum.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/backup_store.h"
#include "app/detection_worker.h"
#include "app/main_window_steps.h"
#include "app/recording_view.h"
#include "app/task_queue.h"
#include "app/update_worker.h"
#include "app/upload_command.h"
#include "device/model_catalogue.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"

namespace korvan {
namespace {

constexpr int kDrive = 2;
constexpr int8_t kType = 26;

emu::UpdateFileOptions NewerFile() {
  emu::PresetOptions device;
  device.rawType = kType;
  emu::UpdateFileOptions options = emu::NewerUpdateFile(device);
  options.voiceLength = 0x100000;
  options.databaseLength = 0x40000;
  return options;
}

uint64_t Units(uint64_t bytes) {
  return (bytes + kUnitSize - 1) / kUnitSize;
}

// One write and one read per unit, and the verification reads of each region.
uint64_t MinimumCommands(const emu::UpdateFileOptions& file) {
  const uint64_t fw =
      Units(ModelCatalogue::FwEndOffset(kType) - ModelCatalogue::BootLoaderSize(kType));
  const uint64_t voice = Units(file.voiceLength);
  const uint64_t db = Units(file.databaseLength);
  const uint64_t verify = Units(ModelCatalogue::FwReadLength(kType)) + voice + db;
  return 2 * (fw + voice + db) + verify;
}

std::filesystem::path BenchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvan_bench_XXXXXX").string();
  return mkdtemp(pattern.data());
}

// A fresh device detected at full speed, with the newer update file chosen as Open leaves it.
struct DetectedDevice {
  DetectedDevice(std::shared_ptr<emu::SimulatedDevice> simulated,
                 const std::filesystem::path& folder, const std::filesystem::path& file,
                 int backupsKept)
      : device(std::move(simulated)) {
    device->SetRecordMode(emu::RecordMode::Off);
    host.Attach(kDrive, device);
    app.programFolder = folder;
    app.backups.keep = backupsKept;
    app.backups.programVersion = "bench";
    InitMainDialogControls(view);
    {
      DetectionWorker detection(host, slots, window, view, app,
                                DetectionOptions{std::chrono::milliseconds(1), 0});
      detection.Start();
      window.RunUntil([this] { return app.detectionPhase == DetectionPhase::Ready; },
                      std::chrono::minutes(5));
    }
    window.RunPending();
    app.UpdateFilePath = file;
    app.filePathText = file.string();
    app.UpdateFileReady = true;
    app.updateFileInfo.fileAccepted = true;
    app.updateFileInfo.fileFwVersion = {0, 3, 0, 1};
  }

  // The Upload command, until the run has ended.
  void Update() {
    UpdateWorker worker(host, slots, window, view, app);
    UploadCommand(view, app, worker);
    window.RunUntil([this] { return app.updatePhase != UpdatePhase::Running; },
                    std::chrono::minutes(30));
    worker.Stop();
    window.RunPending();
  }

  std::shared_ptr<emu::SimulatedDevice> device;
  emu::SimulatedDiskHost host;
  DriveSlotTable slots;
  TaskQueue window;
  RecordingView view;
  AppState app;
};

void BM_FullUpdateType26(benchmark::State& state) {
  const auto folder = BenchFolder();
  const emu::UpdateFileOptions options = NewerFile();
  const emu::UpdateFile file = emu::MakeUpdateFile(options);
  const auto filePath = emu::WriteUpdateFile(folder, file).value();
  emu::PresetOptions preset;
  preset.rawType = kType;
  const emu::DeviceImages images = emu::MakePresetImages(preset);

  uint64_t commands = 0;
  for (auto _ : state) {
    state.PauseTiming();
    DetectedDevice run(emu::MakeSimulatedDevice(images), folder, filePath, kDefaultBackupsKept);
    const uint64_t before = run.device->CommandCount();
    state.ResumeTiming();

    run.Update();

    state.PauseTiming();
    commands = run.device->CommandCount() - before;
    state.ResumeTiming();
  }
  std::filesystem::remove_all(folder);
  const uint64_t minimum = MinimumCommands(options);
  state.counters["commands"] = static_cast<double>(commands);
  state.counters["minimum"] = static_cast<double>(minimum);
  state.counters["ns_per_command"] =
      benchmark::Counter(static_cast<double>(commands) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FullUpdateType26)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One update of a fresh device made from `images`, detected at full speed and then answering
// each command after `latency`; returns the update's time in seconds (detection excluded).
double TimedUpdate(const emu::DeviceImages& images, const std::filesystem::path& file,
                   const std::filesystem::path& folder, int backupsKept,
                   std::chrono::nanoseconds latency) {
  DetectedDevice run(emu::MakeSimulatedDevice(images), folder, file, backupsKept);
  run.device->SetCommandDelay(latency);

  const auto start = std::chrono::steady_clock::now();
  run.Update();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const AppState& app = run.app;
  if (app.updateFailed || app.updatePhase != UpdatePhase::Finished ||
      (backupsKept > 0) == app.lastBackup.empty()) {
    return -1;  // shown as a negative ratio: the run did not do its work
  }
  return took.count();
}

// What saving a backup adds to an update: the same full update of a type-26 device with backups
// on and off, each command answered after 1 ms (a real device's order of magnitude). The time
// shown is the run with backups; `ratio` is on / off over all iterations (goal: at most 1.02).
void BM_BackupOverheadType26(benchmark::State& state) {
  const auto folder = BenchFolder();
  const auto filePath = emu::WriteUpdateFile(folder, emu::MakeUpdateFile(NewerFile())).value();
  emu::PresetOptions preset;
  preset.rawType = kType;
  const emu::DeviceImages images = emu::MakePresetImages(preset);
  const std::chrono::nanoseconds latency = std::chrono::milliseconds(1);
  double on = 0;
  double off = 0;
  for (auto _ : state) {
    const double withoutBackup = TimedUpdate(images, filePath, folder, 0, latency);
    const double withBackup = TimedUpdate(images, filePath, folder, 5, latency);
    if (withoutBackup <= 0 || withBackup <= 0) {
      state.SkipWithError("an update failed");
      break;
    }
    off += withoutBackup;
    on += withBackup;
    state.SetIterationTime(withBackup);
  }
  std::filesystem::remove_all(folder);
  state.counters["off_s"] = off / static_cast<double>(state.iterations());
  state.counters["on_s"] = on / static_cast<double>(state.iterations());
  state.counters["ratio"] = off > 0 ? on / off : 0;
}
BENCHMARK(BM_BackupOverheadType26)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The device alone: a write and a read of each unit the update touches, plus the reads of the
// verification, with no channel, files, comparison or window.
void BM_DeviceOwnWorkOfTheUpdate(benchmark::State& state) {
  emu::PresetOptions preset;
  preset.rawType = kType;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  device->SetRecordMode(emu::RecordMode::Off);
  const emu::UpdateFileOptions options = NewerFile();
  const uint64_t minimum = MinimumCommands(options);
  UnitBuffer buffer{};
  for (auto _ : state) {
    // As many commands as the update's minimum, half writes and half reads.
    uint64_t sent = 0;
    for (uint32_t a = 0; sent < minimum; a = (a + kUnitSize) % 0x1000000) {
      device->Execute(MakeWriteUnitCdb(MemorySelector::DataFlash, a), DataDirection::ToDevice,
                      buffer);
      device->Execute(MakeReadUnitCdb(MemorySelector::DataFlash, a), DataDirection::FromDevice,
                      buffer);
      sent += 2;
    }
    benchmark::DoNotOptimize(buffer);
  }
  state.counters["ns_per_command"] =
      benchmark::Counter(static_cast<double>(minimum) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeviceOwnWorkOfTheUpdate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace korvan
