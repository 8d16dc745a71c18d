// `korvan fetch` and `korvan download` against the simulated update server on loopback: the
// package chosen for the model, country and voice, the device afterwards holding the package's
// update file, and the options a script can get wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "device/model_catalogue.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "tests/support/cli_run.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/served_tree.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
namespace catalogue = ModelCatalogue;
using Bytes = std::vector<uint8_t>;

using testing::ReadAll;
using testing::ServedTree;

Bytes Slice(const Bytes& bytes, size_t offset, size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

TEST(CliDownloadTest, FetchChoosesThePackageOfAModelWithoutADevice) {
  ServedTree tree({9});
  testing::ScopedTempDir work("korvan_cli_fetch");
  const testing::CliRun run =
      testing::RunCli({"--server", tree.Url(), "--workdir", work.path().string(), "fetch",
                       "--type", "9", "--country", "12", "--voice", "1", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  const emu::UpdateFile file = emu::ServerUpdateFile(9, kCountryUzbekistan, 1);
  EXPECT_NE(run.out.find("\"ok\": true"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip\""), std::string::npos);
  EXPECT_NE(run.out.find("\"picked\": \"" + file.name + "\""), std::string::npos);
  EXPECT_NE(run.out.find("\"firmware\": \"v03.01\", \"voice\": \"v00.41\", \"database\": "
                         "\"251201\""),
            std::string::npos);
  EXPECT_TRUE(ReadAll(work / "update" / file.name) == file.bytes);
}

TEST(CliDownloadTest, DownloadWritesThePackageAndASecondRunFindsItTheSame) {
  ServedTree tree({26});
  testing::ScopedTempDir work("korvan_cli_download");
  const fs::path device = work / "device";
  emu::PresetOptions preset;
  preset.rawType = 26;
  ASSERT_TRUE(emu::WriteDeviceFolder(device, emu::MakePresetImages(preset)).ok());
  const std::vector<std::string> args = {"--device-dir", device.string(),    "--workdir",
                                         work.path().string(), "--server", tree.Url(),
                                         "download",           "--json"};

  testing::CliRun run = testing::RunCli(args);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("\"firmware\": \"Обновлено\", \"voice\": \"Обновлено\", "
                         "\"database\": \"Обновлено\""),
            std::string::npos)
      << run.out;
  // The device's memories hold the package's update file where the model keeps each part.
  const Bytes file = emu::ServerUpdateFile(26, kCountryRussia, 0).bytes;
  const int8_t type = 26;
  const uint32_t boot = catalogue::BootLoaderSize(type);
  const uint32_t fwLength = catalogue::FwEndOffset(type) - boot;
  EXPECT_TRUE(Slice(ReadAll(device / "controller.bin"), boot, fwLength) ==
              Slice(file, catalogue::FwFileOffset(type), fwLength));
  const Bytes flash = ReadAll(device / "flash.bin");
  const uint32_t voiceLength = file[5] | (file[6] << 8) | (file[7] << 16) | (file[8] << 24);
  EXPECT_TRUE(Slice(flash, 0, voiceLength) ==
              Slice(file, catalogue::VoiceFileOffset(type), voiceLength));
  EXPECT_FALSE(fs::exists(work / "update")) << "removed once the update ended";

  run = testing::RunCli(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"firmware\": \"Same\", \"voice\": \"Same\", \"database\": \"Same\""),
            std::string::npos)
      << run.out;
}

TEST(CliDownloadTest, RefusalsAndFailures) {
  ServedTree tree({9});
  testing::ScopedTempDir work("korvan_cli_download_bad");
  struct Case {
    std::string server;  // empty: the served tree
    std::vector<std::string> args;
    int status;
    const char* says;  // on stderr, or in the report on stdout
  };
  const Case cases[] = {
      {"", {"fetch", "--type", "9"}, 2, "--country"},
      {"", {"fetch", "--type", "9", "--country", "5"}, 2, "--country 5"},
      {"", {"fetch", "--type", "9", "--country", "3", "--voice", "7"}, 2, "--voice 7"},
      {"", {"fetch", "--type", "2", "--country", "3"}, 2, "no server packages"},
      {"ftp://x/", {"fetch", "--type", "9", "--country", "3"}, 2, "http://"},
      // Nothing listens there: the server cannot be reached.
      {"http://127.0.0.1:1/wp-content/db/",
       {"fetch", "--type", "9", "--country", "12"},
       1,
       "Пожалуйста, обновите устройство вручную с сайта!"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--workdir", work.path().string(), "--server",
                                     c.server.empty() ? tree.Url() : c.server};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::CliRun run = testing::RunCli(args);
    EXPECT_EQ(run.status, c.status) << c.says << "\n" << run.out << run.err;
    EXPECT_NE((run.err + run.out).find(c.says), std::string::npos) << run.out << run.err;
  }
}

}  // namespace
}  // namespace korvan
