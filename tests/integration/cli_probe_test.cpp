// `korvan probe` in-process: options before and after the command, the simulated devices,
// the output forms and the exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/korvan_cli.h"
#include "cli/probe_command.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "frontend/version.h"
#include "tests/support/cli_run.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

testing::CliRun Korvan(const std::vector<std::string>& args) {
  return testing::RunCli(args);
}

TEST(CliProbeTest, SimulatedDeviceAppearsAsDriveTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--simulate", "0x85", "probe", "--json"},
           {"--json", "probe", "--simulate", "133"},
           {"probe", "--json", "--simulate=0x85"},
       }) {
    const testing::CliRun run = Korvan(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "[{\"drive\": 2, \"rawType\": 133}]\n");
  }
  const testing::CliRun text = Korvan({"--simulate", "0", "probe"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "Drive 2 (simulated drive 2): device found, raw type byte 0 (0x00)\n");
}

TEST(CliProbeTest, DeviceFoldersAsChosenDrives) {
  testing::ScopedTempDir temp("korvan_cli");
  emu::PresetOptions preset;
  preset.rawType = 26;
  ASSERT_TRUE(emu::WriteDeviceFolder(temp / "a", emu::MakePresetImages(preset)).ok());
  preset.rawType = 0x84;
  ASSERT_TRUE(emu::WriteDeviceFolder(temp / "b", emu::MakePresetImages(preset)).ok());
  const std::string a = (temp / "a").string();
  const std::string b = (temp / "b").string();

  testing::CliRun run = Korvan({"--device-dir", a, "probe", "--json"});
  EXPECT_EQ(run.out, "[{\"drive\": 2, \"rawType\": 26}]\n");
  run = Korvan({"--device-dir", a + "@5", "probe", "--json"});
  EXPECT_EQ(run.out, "[{\"drive\": 5, \"rawType\": 26}]\n");
  run = Korvan(
      {"--device-dir", b + "@0", "--device-dir", a + "@25", "--simulate", "7", "probe", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "[{\"drive\": 0, \"rawType\": 132}, {\"drive\": 2, \"rawType\": 7}, "
            "{\"drive\": 25, \"rawType\": 26}]\n");
}

TEST(CliProbeTest, BadArgumentsExitWithTwoAndSayWhy) {
  testing::ScopedTempDir temp("korvan_cli_bad");
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"probe", "--simulate", "256"}, "--simulate 256"},
      {{"probe", "--simulate", "five"}, "--simulate five"},
      {{"--device-dir", "x@26", "probe"}, "from 0 to 25"},
      {{"--device-dir", "@3", "probe"}, "folder is missing"},
      {{"--device-dir", (temp / "none").string(), "probe"}, "does not exist"},
      {{"--device-dir", (temp / "none").string() + "@2", "--simulate", "5", "probe"}, ""},
      {{"probe", "--simulate", "5", "--sim-latency", "1ms"}, "--sim-latency \"1ms\""},
      {{"probe", "--simulate", "5", "--sim-latency", "20000000"}, "0 to 10000000"},
      {{"probe", "--sim-latency", "1000"}, "simulated devices only"},
      {{"probe", "--bogus"}, "--bogus"},
      {{}, "subcommand"},
  };
  for (const auto& c : cases) {
    const testing::CliRun run = Korvan(c.args);
    EXPECT_EQ(run.status, 2) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  const testing::CliRun help = Korvan({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("probe"), std::string::npos);
}

TEST(CliProbeTest, VersionIsTheProjectsWhereverTheFlagStands) {
  // Three numbers with dots between them.
  const std::string version(frontend::kProgramVersion);
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
  EXPECT_TRUE(std::all_of(version.begin(), version.end(),
                          [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
              version.front() != '.' && version.back() != '.' &&
              version.find("..") == std::string::npos)
      << version;
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--version"}, {"probe", "--version"}}) {
    const testing::CliRun run = Korvan(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "korvan " + std::string(frontend::kProgramVersion) + "\n");
    EXPECT_TRUE(run.err.empty()) << run.err;
  }
}

TEST(CliProbeTest, NoDeviceSaysWhichDisksCouldNotBeOpened) {
  emu::SimulatedDiskHost host;
  host.SetAccessDenied(3, true);
  frontend::GlobalOptions options;
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunProbe(host, options, out, err), 1);
  EXPECT_EQ(out.str(), "No device answered on drives 0-25.\n");
  EXPECT_NE(err.str().find("simulated drive 3: this user may not open the disk read-write"),
            std::string::npos)
      << err.str();

  options.json = true;
  std::ostringstream jsonOut, jsonErr;
  EXPECT_EQ(cli::RunProbe(host, options, jsonOut, jsonErr), 1);
  EXPECT_EQ(jsonOut.str(), "[]\n");
}

}  // namespace
}  // namespace korvan
