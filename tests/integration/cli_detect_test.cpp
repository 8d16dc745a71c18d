// `korvan detect` in-process, on simulated devices: the JSON contract and the exit statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/detect_command.h"
#include "cli/korvan_cli.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "tests/support/cli_run.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

testing::CliRun Korvan(std::vector<std::string> args, const testing::ScopedTempDir& work) {
  args.push_back("--workdir");
  args.push_back(work.path().string());
  return testing::RunCli(args);
}

TEST(CliDetectTest, JsonObjectOfADeviceFolder) {
  testing::ScopedTempDir work("korvan_detect_cli");
  emu::PresetOptions preset;
  preset.rawType = 4;
  ASSERT_TRUE(emu::WriteDeviceFolder(work / "device", emu::MakePresetImages(preset)).ok());
  const testing::CliRun run =
      Korvan({"--device-dir", (work / "device").string(), "detect", "--json"}, work);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"drive\": 2, \"typeCode\": 4, \"typeForced\": false, \"country\": 3, "
            "\"legacyModel\": true, \"model\": \"DAHLIA_Russia\", \"firmware\": \"v02.15\", "
            "\"database\": \"v1.2 240517\", \"voice\": \"v00.31\", \"aux\": \"\", "
            "\"status\": \"готов\", \"message\": \"\"}\n");
  EXPECT_TRUE(std::filesystem::exists(work / "TempFwData.bin"));
  EXPECT_TRUE(std::filesystem::exists(work / "TempImageData.bin"));
}

TEST(CliDetectTest, ServiceModeAndTheType8Notice) {
  testing::ScopedTempDir work("korvan_detect_cli");
  const testing::CliRun run = Korvan({"--simulate", "8", "detect", "--service", "--json"}, work);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"aux\": \"v01.73\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"message\": \"          Внимание!\\nВаше устройство совместимо\\n"),
            std::string::npos)
      << run.out;

  const testing::CliRun text = Korvan({"--simulate", "8", "detect"}, work);
  EXPECT_NE(text.out.find("Model:     OldHardware_DAHLIA_LITE\n"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("Version 1:"), std::string::npos) << "only in service mode";
}

TEST(CliDetectTest, OnceWithoutDeviceAndUnusableFolder) {
  testing::ScopedTempDir work("korvan_detect_cli");
  emu::SimulatedDiskHost empty;
  empty.SetAccessDenied(6, true);
  frontend::GlobalOptions options;
  options.workdir = work.path();
  options.json = true;
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunDetect(empty, options, {.once = true}, out, err), 1);
  EXPECT_EQ(out.str(), "null\n");
  EXPECT_NE(err.str().find("simulated drive 6: this user may not open the disk read-write"),
            std::string::npos)
      << err.str();

  std::ofstream(work / "file") << "not a folder";
  std::ostringstream badOut, badErr;
  EXPECT_EQ(cli::RunKorvan({"--simulate", "5", "detect", "--workdir", (work / "file").string()},
                           badOut, badErr),
            2);
  EXPECT_NE(badErr.str().find("cannot use the working folder"), std::string::npos) << badErr.str();
}

}  // namespace
}  // namespace korvan
