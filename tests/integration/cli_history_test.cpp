// The run history through the command line: every kind of run leaves one line that says how it
// ended, and `korvan history` shows them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/update_commands.h"
#include "device/command_block.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/support/cli_run.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/served_tree.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

struct HistoryRun {
  testing::ScopedTempDir work{"korvan_history_cli"};

  testing::CliRun Korvan(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--workdir", work.path().string()});
    return testing::RunCli(args);
  }

  fs::path Device(const char* name, uint8_t type) const {
    emu::PresetOptions preset;
    preset.rawType = type;
    EXPECT_TRUE(emu::WriteDeviceFolder(work / name, emu::MakePresetImages(preset)).ok());
    return work / name;
  }
};

TEST(CliHistoryTest, EveryKindOfRunLeavesALineThatSaysHowItEnded) {
  HistoryRun history;
  emu::PresetOptions preset;
  preset.rawType = 26;
  const fs::path file =
      emu::WriteUpdateFile(history.work.path(), emu::MakeUpdateFile(emu::NewerUpdateFile(preset)))
          .value();
  const fs::path device = history.Device("fern", 26);
  ASSERT_EQ(
      history.Korvan({"--device-dir", device.string(), "update", file.string(), "--quiet"}).status,
      0);

  {  // The device is unplugged at the voice's first unit.
    emu::SimulatedDiskHost host;
    auto unplugged = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    unplugged->StrikeAt(kOpWriteUnit, MemorySelector::DataFlash, 0, emu::FaultPlan::Strike::Unplug);
    host.Attach(frontend::kDefaultSimulatedDrive, unplugged);
    frontend::GlobalOptions options;
    options.workdir = history.work.path();
    cli::UpdateOptions update;
    update.file = file.string();
    update.quiet = true;
    std::ostringstream out, err;
    EXPECT_NE(cli::RunUpdate(host, options, update, out, err), 0);
  }

  const fs::path settingsDevice = history.Device("settings", 6);
  EXPECT_EQ(
      history.Korvan({"--device-dir", settingsDevice.string(), "settings", "set", "X OnOff=Вык"})
          .status,
      0);

  testing::ServedTree tree({26});
  const fs::path fresh = history.Device("fresh", 26);
  EXPECT_EQ(
      history
          .Korvan({"--device-dir", fresh.string(), "--server", tree.Url(), "download", "--quiet"})
          .status,
      0);
  EXPECT_NE(history
                .Korvan({"--device-dir", fresh.string(), "--server", "http://127.0.0.1:1/",
                         "download", "--quiet"})
                .status,
            0);

  const testing::CliRun listed = history.Korvan({"history", "--json"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const auto runs = nlohmann::json::parse(listed.out, nullptr, false);
  ASSERT_TRUE(runs.is_array()) << listed.out;
  std::vector<std::string> kinds;
  for (const auto& run : runs) {
    kinds.push_back(run["kind"]);
    EXPECT_EQ(run["frontEnd"], "korvan");
  }
  EXPECT_EQ(kinds,
            (std::vector<std::string>{"detect", "update", "detect", "update", "detect", "settings",
                                      "detect", "download", "detect", "download"}));
  ASSERT_EQ(runs.size(), 10u);

  const auto& updated = runs[1];
  EXPECT_EQ(updated["typeCode"], 26);
  EXPECT_EQ(updated["source"], file.string());
  EXPECT_TRUE(updated["error"].is_null());
  EXPECT_EQ(
      updated["components"],
      (nlohmann::json{{"firmware", "written"}, {"voice", "written"}, {"database", "written"}}));
  EXPECT_NE(updated["before"]["firmware"], updated["after"]["firmware"]);

  const auto& unplugged = runs[3];
  EXPECT_EQ(unplugged["components"]["firmware"], "written");
  EXPECT_EQ(unplugged["components"]["voice"], "failed");
  EXPECT_TRUE(unplugged["after"]["voice"].is_null()) << "the device holds no known voice";
  EXPECT_FALSE(unplugged["error"].is_null());

  EXPECT_EQ(runs[5]["components"], (nlohmann::json{{"settings", "written"}}));
  EXPECT_TRUE(runs[5]["error"].is_null());

  EXPECT_NE(runs[7]["source"].get<std::string>().find(tree.Url()), std::string::npos);
  EXPECT_TRUE(runs[7]["error"].is_null());
  EXPECT_FALSE(runs[9]["error"].is_null()) << "a server that cannot be reached";

  // The table: a header and the last two runs.
  const testing::CliRun table = history.Korvan({"history", "--last", "2"});
  EXPECT_EQ(table.status, 0);
  EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 3) << table.out;
  EXPECT_EQ(table.out.rfind("TIME", 0), 0u) << table.out;
  EXPECT_NE(table.out.find("failed: "), std::string::npos) << table.out;
}

}  // namespace
}  // namespace korvan
