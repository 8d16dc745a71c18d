// `korvan update --all` on four type-26 simulated devices against `korvan update` on one, each
// device taking 1 ms per command as a USB device does: the goal is a ratio of at most 1.2
// (the devices are updated side by side, not one after another). Both runs are the whole
// command: the scan, the reading of each device, the file's check and the update.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "cli/update_all_command.h"
#include "cli/update_commands.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"

namespace korvan {
namespace {

constexpr uint8_t kType = 26;
constexpr auto kLatency = std::chrono::milliseconds(1);

std::filesystem::path BenchFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "korvan_bench_all_XXXXXX").string();
  return mkdtemp(pattern.data());
}

void BM_UpdateDevicesAtOnce(benchmark::State& state) {
  const int devices = static_cast<int>(state.range(0));
  const auto folder = BenchFolder();
  emu::PresetOptions preset;
  preset.rawType = kType;
  emu::UpdateFileOptions fileOptions = emu::NewerUpdateFile(preset);
  fileOptions.voiceLength = 0x40000;
  fileOptions.databaseLength = 0x10000;
  const auto filePath = emu::WriteUpdateFile(folder, emu::MakeUpdateFile(fileOptions)).value();
  const emu::DeviceImages images = emu::MakePresetImages(preset);

  frontend::GlobalOptions options;
  options.workdir = folder / "workdir";
  options.json = true;
  cli::UpdateOptions update;
  update.file = filePath.string();
  update.all = devices > 1;
  int failures = 0;
  for (auto _ : state) {
    state.PauseTiming();
    emu::SimulatedDiskHost host;
    for (int i = 0; i < devices; ++i) {
      auto device = emu::MakeSimulatedDevice(images);
      device->SetRecordMode(emu::RecordMode::Off);
      device->SetCommandDelay(kLatency);
      host.Attach(2 + i, std::move(device));
    }
    std::ostringstream out, err;
    state.ResumeTiming();

    const int status = update.all ? cli::RunUpdateAll(host, options, update, out, err)
                                  : cli::RunUpdate(host, options, update, out, err);
    failures += status == 0 ? 0 : 1;
  }
  std::filesystem::remove_all(folder);
  state.counters["failed_runs"] = failures;
}
// One device alone with `update`, then four with `update --all`.
BENCHMARK(BM_UpdateDevicesAtOnce)
    ->Arg(1)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
}  // namespace korvan
