// `korvan update` saving backups and `korvan restore` writing one back, on device folders: the
// device's files byte for byte, the refusals (another model, a changed image, an unusable
// backup folder), --backups, and the reports.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>

#include "app/backup_store.h"
#include "app/history_log.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/update_file_builder.h"
#include "tests/support/cli_run.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::ReadAll;

struct Device {
  testing::ScopedTempDir work{"korvan_restore_cli"};
  fs::path device = work / "device";
  fs::path updateFile;

  explicit Device(uint8_t type) {
    emu::PresetOptions preset;
    preset.rawType = type;
    EXPECT_TRUE(emu::WriteDeviceFolder(device, emu::MakePresetImages(preset)).ok());
    updateFile =
        emu::WriteUpdateFile(work.path(), emu::MakeUpdateFile(emu::NewerUpdateFile(preset)))
            .value();
  }

  testing::CliRun Korvan(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--device-dir", device.string(), "--workdir", work.path().string()});
    return testing::RunCli(args);
  }

  Bytes Controller() const { return ReadAll(device / emu::kControllerFileName); }
  Bytes Flash() const { return ReadAll(device / emu::kFlashFileName); }

  // `korvan update --json`; returns the backup it reports.
  fs::path Update() const {
    const testing::CliRun run = Korvan({"update", updateFile.string(), "--json"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const auto report = nlohmann::json::parse(run.out);
    return report["backup"].is_string() ? fs::path(report["backup"].get<std::string>())
                                        : fs::path();
  }
};

TEST(CliRestoreTest, RestoreAfterAnUpdateGivesBackTheMemoriesByteForByte) {
  const Device device(4);
  const Bytes controller = device.Controller();
  const Bytes flash = device.Flash();
  const fs::path backup = device.Update();
  ASSERT_TRUE(fs::is_directory(backup));
  ASSERT_FALSE(device.Controller() == controller);

  const testing::CliRun run = device.Korvan({"restore", backup.string(), "--json"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(device.Controller() == controller);
  EXPECT_TRUE(device.Flash() == flash);

  const auto report = nlohmann::ordered_json::parse(run.out);
  std::vector<std::string> keys;
  for (const auto& item : report.items()) {
    keys.push_back(item.key());
  }
  EXPECT_EQ(keys,
            (std::vector<std::string>{"backup", "model", "savedBackup", "firmware", "dataFlash",
                                      "status", "message", "parked", "restored", "error"}));
  EXPECT_EQ(report["backup"], backup.string());
  EXPECT_EQ(report["model"], "DAHLIA");
  EXPECT_EQ(report["firmware"], "Обновлено");
  EXPECT_EQ(report["dataFlash"], "Обновлено");
  EXPECT_EQ(report["restored"], true);
  EXPECT_EQ(report["parked"], false);
  // The updated memories were saved before the restore wrote over them.
  ASSERT_TRUE(report["savedBackup"].is_string());
  EXPECT_NE(report["savedBackup"].get<std::string>(), backup.string());
  EXPECT_TRUE(fs::exists(fs::path(report["savedBackup"].get<std::string>()) / "manifest.json"));

  // The history's last run: the restore, both regions written, from the backup.
  const HistoryRead history = ReadHistory(device.work.path(), 1);
  ASSERT_EQ(history.entries.size(), 1u);
  const HistoryEntry& restored = history.entries[0];
  EXPECT_EQ(restored.kind, kHistoryRestore);
  EXPECT_EQ(restored.source, backup.string());
  EXPECT_EQ(restored.error, "");
  EXPECT_EQ(restored.components,
            (std::vector<HistoryComponent>{{"firmware", "written"}, {"data flash", "written"}}));
}

TEST(CliRestoreTest, RefusedBackupsWriteNothing) {
  const Device dahlia(4);
  const fs::path backup = dahlia.Update();
  ASSERT_FALSE(backup.empty());
  const Device dahliaMax(5);
  const fs::path tampered = dahlia.work / "tampered";
  fs::copy(backup, tampered);
  {
    std::fstream image(tampered / std::string(kBackupFlashName),
                       std::ios::binary | std::ios::in | std::ios::out);
    image.seekp(0x1234);
    image.put('\x42');
  }
  const fs::path noManifest = dahlia.work / "no-manifest";
  fs::copy(backup, noManifest);
  fs::remove(noManifest / std::string(kBackupManifestName));

  struct Case {
    const char* name;
    const Device& device;
    fs::path backup;
    std::vector<std::string> said;
  };
  const Case cases[] = {
      {"another model", dahliaMax, backup, {"DAHLIA (type 4)", "DAHLIA_MAX (type 5)"}},
      {"a changed image", dahlia, tampered, {"SHA-256"}},
      {"no manifest", dahlia, noManifest, {"manifest.json"}},
      {"no folder", dahlia, dahlia.work / "nothing", {"no backup"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes controller = c.device.Controller();
    const Bytes flash = c.device.Flash();
    const testing::CliRun run = c.device.Korvan({"restore", c.backup.string()});
    EXPECT_EQ(run.status, 1);
    for (const auto& text : c.said) {
      EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
    }
    EXPECT_NE(run.out.find("Error:"), std::string::npos) << run.out;
    EXPECT_TRUE(c.device.Controller() == controller);
    EXPECT_TRUE(c.device.Flash() == flash);
  }
}

TEST(CliRestoreTest, BackupsOptionAndAFailedSave) {
  {
    SCOPED_TRACE("--backups 0");
    const Device device(4);
    const testing::CliRun run =
        device.Korvan({"--backups", "0", "update", device.updateFile.string(), "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"backup\": null"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(device.work / std::string(kBackupsFolderName)));
  }
  {
    SCOPED_TRACE("--backups 1 keeps one");
    const Device device(4);
    const fs::path backup = device.Update();
    // The restore's own backup of the device leaves only itself.
    const testing::CliRun run = device.Korvan({"--backups", "1", "restore", backup.string()});
    EXPECT_EQ(run.status, 0) << run.out;
    int backups = 0;
    for (const auto& entry :
         fs::directory_iterator(device.work / std::string(kBackupsFolderName))) {
      backups += entry.is_directory();
    }
    EXPECT_EQ(backups, 1);
  }
  {
    SCOPED_TRACE("a save that fails");
    const Device device(4);
    const Bytes controller = device.Controller();
    std::ofstream(device.work / std::string(kBackupsFolderName)) << "not a folder";
    const testing::CliRun run = device.Korvan({"update", device.updateFile.string(), "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("could not be backed up, so nothing was written"), std::string::npos)
        << run.out;
    EXPECT_TRUE(device.Controller() == controller);
  }
  EXPECT_EQ(testing::RunCli({"--backups", "-1", "probe"}).status, 2);
}

}  // namespace
}  // namespace korvan
