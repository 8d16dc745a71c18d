// The whole detection of a type-26 device on the simulated device (1 MiB of controller memory
// and 16 MiB of data flash copied unit by unit into the working folder, then versions read),
// against the simulated device's own work for the same commands, to show what the program
// adds per unit: the channel, the file writes, the progress posts and the window-thread tasks.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

#include "app/detection_worker.h"
#include "app/main_window_steps.h"
#include "app/recording_view.h"
#include "app/task_queue.h"
#include "device/model_catalogue.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"

namespace korvan {
namespace {

constexpr int kDrive = 2;
constexpr int8_t kType = 26;

std::shared_ptr<emu::SimulatedDevice> Type26Device() {
  emu::PresetOptions preset;
  preset.rawType = kType;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  device->SetRecordMode(emu::RecordMode::Off);
  return device;
}

uint64_t CopiedUnits() {
  return (ModelCatalogue::FwReadLength(kType) + ModelCatalogue::FlashSize(kType)) / kUnitSize;
}

std::filesystem::path BenchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvan_bench_XXXXXX").string();
  return mkdtemp(pattern.data());
}

void BM_DetectionType26(benchmark::State& state) {
  auto device = Type26Device();
  emu::SimulatedDiskHost host;
  host.Attach(kDrive, device);
  const auto folder = BenchFolder();
  size_t positionsPosted = 0;
  for (auto _ : state) {
    DriveSlotTable slots;
    TaskQueue window;
    RecordingView view;
    AppState app;
    app.programFolder = folder;
    DetectionWorker worker(host, slots, window, view, app,
                           DetectionOptions{std::chrono::milliseconds(1), 0});
    worker.Start();
    window.RunUntil([&app] { return app.detectionPhase == DetectionPhase::Ready; },
                    std::chrono::minutes(5));
    worker.Stop();
    window.RunPending();
    positionsPosted = view.Positions().size();
  }
  std::filesystem::remove_all(folder);
  state.counters["units"] = static_cast<double>(CopiedUnits());
  state.counters["ns_per_unit"] = benchmark::Counter(
      static_cast<double>(CopiedUnits()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  // Posts of the status bar's position: one per shown percent of the flash copy (0..100), plus
  // the resets to 0 before and after.
  state.counters["positions_posted"] = static_cast<double>(positionsPosted);
}
BENCHMARK(BM_DetectionType26)->Unit(benchmark::kMillisecond)->UseRealTime();

// The simulated device alone answering the same reads, with no channel, file or window.
void BM_DeviceOwnWorkType26(benchmark::State& state) {
  auto device = Type26Device();
  UnitBuffer buffer{};
  for (auto _ : state) {
    const uint32_t controllerEnd = kControllerBase + ModelCatalogue::FwReadLength(kType);
    for (uint32_t a = kControllerBase; a < controllerEnd; a += kUnitSize) {
      device->Execute(MakeReadUnitCdb(MemorySelector::Controller, a), DataDirection::FromDevice,
                      buffer);
    }
    for (uint32_t a = 0; a < ModelCatalogue::FlashSize(kType); a += kUnitSize) {
      device->Execute(MakeReadUnitCdb(MemorySelector::DataFlash, a), DataDirection::FromDevice,
                      buffer);
    }
    benchmark::DoNotOptimize(buffer);
  }
  state.counters["ns_per_unit"] = benchmark::Counter(
      static_cast<double>(CopiedUnits()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeviceOwnWorkType26)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace korvan
