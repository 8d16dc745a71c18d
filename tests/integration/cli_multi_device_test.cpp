// Several devices on one computer: --drive picks one for a device command, and
// `update --all` brings every device of the file's model up to date at once and reports each
// one as it truly ended.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include <iterator>
#include <map>
#include <sstream>

#include "app/history_log.h"
#include "cli/detect_command.h"
#include "cli/update_commands.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/support/cli_run.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;

emu::PresetOptions Preset(uint8_t type) {
  emu::PresetOptions preset;
  preset.rawType = type;
  return preset;
}

struct Bench {
  testing::ScopedTempDir work{"korvan_multi_cli"};
  fs::path updateFile;

  explicit Bench(uint8_t type) {
    updateFile =
        emu::WriteUpdateFile(work.path(), emu::MakeUpdateFile(emu::NewerUpdateFile(Preset(type))))
            .value();
  }

  fs::path Device(const std::string& name, uint8_t type) const {
    const fs::path folder = work / name;
    EXPECT_TRUE(emu::WriteDeviceFolder(folder, emu::MakePresetImages(Preset(type))).ok());
    return folder;
  }

  testing::CliRun Korvan(std::vector<std::string> args) const {
    args.insert(args.end(), {"--workdir", (work / "workdir").string()});
    return testing::RunCli(args);
  }
};

// The simulated devices' fault for the one run of `body`.
class FaultForRun {
 public:
  explicit FaultForRun(const std::string& fault) : fault_("KORVAN_SIMULATE_FAULT", fault) {}

 private:
  testing::ScopedEnv fault_;
};

TEST(CliMultiDeviceTest, DrivePicksTheNamedDeviceAndRefusesAnEmptyDrive) {
  Bench bench(26);
  const std::string small = bench.Device("small", 4).string();
  const std::string large = bench.Device("large", 26).string();
  const std::vector<std::string> folders = {"--device-dir", small + "@2", "--device-dir",
                                            large + "@5"};
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string expected;  // in the output
  };
  const Case cases[] = {
      {{"detect", "--once", "--json", "--drive", "5"}, 0, "\"drive\": 5"},
      {{"--drive", "2", "detect", "--once", "--json"}, 0, "\"drive\": 2"},
      {{"detect", "--once", "--drive", "3"}, 1, "No device answered on drive 3 ("},
      {{"probe", "--drive", "5", "--json"}, 0, "[{\"drive\": 5, \"rawType\": 26}]\n"},
      {{"check", bench.updateFile.string(), "--drive", "5"}, 0, "Upload:    enabled"},
      {{"check", bench.updateFile.string(), "--drive", "2"}, 1, "Upload:    disabled"},
      {{"update", bench.updateFile.string(), "--drive", "4"}, 1, "No device answered on drive 4"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = folders;
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const testing::CliRun run = bench.Korvan(args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  }
  EXPECT_EQ(bench.Korvan({"probe", "--drive", "26"}).status, 2);
}

// Commands a type-26 device answers for `korvan update` of the bench's file: the detection's,
// and the whole run's. `reference` ends up updated as the single-device command updates it.
std::pair<uint64_t, uint64_t> CommandsOfOneUpdate(const Bench& bench, const fs::path& reference) {
  auto loaded = emu::LoadDeviceFolder(reference);
  EXPECT_TRUE(loaded.device) << loaded.error;
  emu::SimulatedDiskHost host;
  host.Attach(kFirstDrive, loaded.device);
  frontend::GlobalOptions options;
  options.workdir = bench.work / "reference-workdir";
  options.json = true;
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunUpdate(host, options, {bench.updateFile.string()}, out, err), 0) << out.str();
  const uint64_t whole = loaded.device->CommandCount();
  EXPECT_EQ(cli::RunDetect(host, options, {.once = true}, out, err), 0);
  return {loaded.device->CommandCount() - whole, whole};
}

TEST(CliMultiDeviceTest, AllUpdatesEveryDeviceAndReportsTheOneThatFailedMidWay) {
  Bench bench(26);
  const fs::path reference = bench.Device("reference", 26);
  const auto [detection, whole] = CommandsOfOneUpdate(bench, reference);
  const fs::path original = bench.Device("original", 26);

  // One backup per model is kept, yet each device of the run keeps its own.
  std::vector<std::string> args = {"update", bench.updateFile.string(), "--all", "--backups", "1"};
  const int drives[] = {2, 3, 7, 11};
  const int failing = 7;
  for (const int drive : drives) {
    const fs::path folder = bench.Device("dev" + std::to_string(drive), 26);
    args.insert(args.end(), {"--device-dir", folder.string() + "@" + std::to_string(drive)});
  }
  // Unplugged half-way through its writes.
  const uint64_t midWay = detection + (whole - detection) / 2;
  testing::CliRun run;
  {
    FaultForRun fault("unplug@" + std::to_string(midWay) + ":" + std::to_string(failing));
    run = bench.Korvan(args);
  }
  EXPECT_EQ(run.status, 1) << run.out << run.err;

  // The summary's rows, split into columns: drive, model, result, firmware, voice, database.
  std::istringstream lines(run.out);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    rows.emplace_back(std::istream_iterator<std::string>(words),
                      std::istream_iterator<std::string>());
  }
  ASSERT_GE(rows.size(), 6u) << run.out;
  EXPECT_EQ(rows[0][0], "Drive") << run.out;
  for (size_t i = 0; i < 4; ++i) {
    const std::vector<std::string>& row = rows[i + 1];
    SCOPED_TRACE(run.out);
    ASSERT_GE(row.size(), 6u);
    EXPECT_EQ(row[0], std::to_string(drives[i]));
    const std::vector<std::string> written = {row[3], row[4], row[5]};
    const std::vector<std::string> updated(3, "Обновлено");
    if (drives[i] == failing) {
      EXPECT_EQ(row[2], "failed");
      EXPECT_NE(written, updated);
    } else {
      EXPECT_EQ(row[2], "updated");
      EXPECT_EQ(written, updated);
    }
  }
  EXPECT_NE(run.out.find("Drive 7: the device stopped taking data"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3 of 4 devices updated."), std::string::npos) << run.out;

  // Each device that succeeded holds what the single-device update writes; the one that
  // failed does not.
  for (const int drive : drives) {
    SCOPED_TRACE(drive);
    const fs::path folder = bench.work / ("dev" + std::to_string(drive));
    const bool same = ReadAll(folder / "controller.bin") == ReadAll(reference / "controller.bin") &&
                      ReadAll(folder / "flash.bin") == ReadAll(reference / "flash.bin");
    EXPECT_EQ(same, drive != failing);
  }
  EXPECT_FALSE(ReadAll(original / "flash.bin") == ReadAll(reference / "flash.bin"));

  // The runs' records are kept together in the working folder: a backup of each device, taken
  // before its first write, and each device's update in the history, as it ended.
  const fs::path workdir = bench.work / "workdir";
  size_t backups = 0;
  for (const auto& entry : fs::directory_iterator(workdir / "backups")) {
    backups += fs::exists(entry.path() / "manifest.json") ? 1 : 0;
  }
  EXPECT_EQ(backups, 4u);
  std::map<int, std::string> errors;
  for (const HistoryEntry& entry : ReadHistory(workdir, 0).entries) {
    if (entry.kind == kHistoryUpdate) {
      errors[entry.drive] = entry.error;
    }
  }
  ASSERT_EQ(errors.size(), 4u);
  for (const int drive : drives) {
    EXPECT_EQ(errors[drive].empty(), drive != failing) << drive << ": " << errors[drive];
  }
}

TEST(CliMultiDeviceTest, AllSkipsAnotherModelAndPrintsOneJsonDocument) {
  Bench bench(26);
  const fs::path small = bench.Device("small", 4);
  const fs::path large = bench.Device("large", 26);
  const std::vector<std::string> both = {
      "update",       bench.updateFile.string(), "--all",        "--json",
      "--device-dir", small.string() + "@1",     "--device-dir", large.string() + "@4"};
  testing::CliRun run = bench.Korvan(both);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["file"], bench.updateFile.string());
  ASSERT_EQ(report["devices"].size(), 2u) << run.out;
  const auto& skipped = report["devices"][0];
  EXPECT_EQ(skipped["drive"], 1);
  EXPECT_EQ(skipped["result"], "skipped");
  EXPECT_NE(skipped["reason"].get<std::string>().find("not for this device"), std::string::npos);
  EXPECT_FALSE(skipped.contains("firmware"));
  const auto& updated = report["devices"][1];
  EXPECT_EQ(updated["drive"], 4);
  EXPECT_EQ(updated["result"], "updated");
  // The fields `update --json` prints for one device.
  for (const char* key : {"firmware", "voice", "database"}) {
    EXPECT_EQ(updated[key], "Обновлено") << key;
  }
  for (const char* key : {"status", "message", "parked", "errors"}) {
    EXPECT_TRUE(updated.contains(key)) << key;
  }
  EXPECT_EQ(updated["parked"], false);

  // Only a device of another model: nothing to update is a failure, said plainly.
  run = bench.Korvan(
      {"update", bench.updateFile.string(), "--all", "--device-dir", small.string() + "@1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no device of the update file's model answered"), std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("skipped"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace korvan
