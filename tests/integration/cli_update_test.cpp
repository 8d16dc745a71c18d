// `korvan check` and `korvan update` on device folders: the file rules, the exit statuses, and
// the device's files afterwards holding exactly what the update file carries where the model
// keeps it, with every other byte untouched.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>
#include <sstream>

#include "app/history_log.h"
#include "cli/update_commands.h"
#include "device/command_block.h"
#include "device/model_catalogue.h"
#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/support/cli_run.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
namespace catalogue = ModelCatalogue;

using Bytes = std::vector<uint8_t>;

using testing::ReadAll;

struct Folders {
  testing::ScopedTempDir work{"korvan_update_cli"};
  fs::path device = work / "device";
  fs::path updateFile;
  emu::UpdateFile file;

  Folders(uint8_t type, const emu::UpdateFileOptions& update) {
    emu::PresetOptions preset;
    preset.rawType = type;
    EXPECT_TRUE(emu::WriteDeviceFolder(device, emu::MakePresetImages(preset)).ok());
    file = emu::MakeUpdateFile(update);
    updateFile = emu::WriteUpdateFile(work.path(), file).value();
  }

  testing::CliRun Korvan(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--device-dir", device.string(), "--workdir", work.path().string()});
    return testing::RunCli(args);
  }
};

emu::UpdateFileOptions Newer(uint8_t type) {
  emu::PresetOptions device;
  device.rawType = type;
  emu::UpdateFileOptions options = emu::NewerUpdateFile(device);
  options.voiceLength = 0x20000 + 100;  // a short last unit
  options.databaseLength = 0x8000 + 7;
  return options;
}

// `expected` with [at, at + units x 1024) replaced by `source` padded with 0xFF.
void Overlay(Bytes& expected, size_t at, const Bytes& source, size_t from, size_t length) {
  const size_t units = (length + kUnitSize - 1) / kUnitSize;
  for (size_t i = 0; i < units * kUnitSize; ++i) {
    expected[at + i] = i < length ? source[from + i] : 0xFF;
  }
}

TEST(CliUpdateTest, DeviceFilesHoldTheUpdateAndNothingElseChanged) {
  const emu::UpdateFileOptions update = Newer(4);
  Folders folders(4, update);
  Bytes controller = ReadAll(folders.device / "controller.bin");
  Bytes flash = ReadAll(folders.device / "flash.bin");

  const testing::CliRun run = folders.Korvan({"update", folders.updateFile.string(), "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"firmware\": \"Обновлено\", \"voice\": \"Обновлено\", "
                         "\"database\": \"Обновлено\""),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"parked\": false"), std::string::npos);

  const int8_t type = 4;
  const uint32_t boot = catalogue::BootLoaderSize(type);
  const uint32_t fwLength = catalogue::FwEndOffset(type) - boot;
  Overlay(controller, boot, folders.file.bytes, catalogue::FwFileOffset(type), fwLength);
  Overlay(flash, 0, folders.file.bytes, catalogue::VoiceFileOffset(type), update.voiceLength);
  DeviceInfo device;
  device.typeCode = type;
  UpdateFileInfo fileInfo;
  fileInfo.fileFwVersion = {0, 3, 0, 1};
  Overlay(flash, catalogue::DbFlashOffset(1, device, fileInfo), folders.file.bytes,
          catalogue::DbFileOffset(type), update.databaseLength);
  EXPECT_TRUE(ReadAll(folders.device / "controller.bin") == controller);
  EXPECT_TRUE(ReadAll(folders.device / "flash.bin") == flash);

  // The device now carries the file: a second run finds everything the same.
  const testing::CliRun again = folders.Korvan({"update", folders.updateFile.string(), "--json"});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("\"firmware\": \"Same\", \"voice\": \"Same\", \"database\": \"Same\""),
            std::string::npos)
      << again.out;
}

TEST(CliUpdateTest, CheckJudgesTheFileForTheDeviceOrAModel) {
  Folders folders(4, Newer(4));
  testing::CliRun run = folders.Korvan({"check", folders.updateFile.string(), "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"accepted\": true, \"status\": \"Dahlia_F0301_V0040_D251201.bin\", \"firmware\": "
            "\"v03.01\", \"voice\": \"v00.40\", \"database\": \"251201\", \"country\": 3}\n");

  // The same file judged for another model without a device; and a refused update.
  run = testing::RunCli({"check", folders.updateFile.string(), "--type", "5", "--workdir",
                         folders.work.path().string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Файл прошивки не найден!!"), std::string::npos);
  // A folder of its own: where names ignore case (Windows) the copy would be the file itself.
  const fs::path renamed = folders.work / "lower" / "dahlia_F0301_V0040_D251201.bin";
  fs::create_directories(renamed.parent_path());
  fs::copy_file(folders.updateFile, renamed);
  run = folders.Korvan({"update", renamed.string(), "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("\"firmware\": \"\""), std::string::npos) << run.out;
}

// A path that starts with a slash is a file to the command line, never an option (CLI11's
// default on Windows would read "/no" as one).
TEST(CliUpdateTest, ASlashPathIsAFileNotAnOption) {
  testing::ScopedTempDir work("korvan_slash");
  const testing::CliRun run = testing::RunCli({"check", "/no/such/Dahlia_F0301_V0040_D251201.bin",
                                               "--type", "5", "--workdir", work.path().string()});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("Файл прошивки не найден!!"), std::string::npos) << run.out << run.err;
}

TEST(CliUpdateTest, AnExtractThatCannotBeMadeWritesNothingAndFails) {
  // Something that is not ours stands where an extract is written: the component is not
  // written from the memory copy of the detection, and the run fails.
  struct Case {
    const char* extract;
    const char* deviceFile;  // unchanged afterwards
    std::string cells;
  };
  const Case cases[] = {
      {"TempFwData.bin", "controller.bin",
       "\"firmware\": \"Oшибка проверить\", \"voice\": \"Обновлено\", \"database\": "
       "\"Обновлено\""},
      {"TempImageData.bin", "flash.bin",
       "\"firmware\": \"Обновлено\", \"voice\": \"Oшибка проверить\", \"database\": "
       "\"Oшибка проверить\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extract);
    Folders folders(26, emu::NewerUpdateFile([] {
                      emu::PresetOptions device;
                      device.rawType = 26;
                      return device;
                    }()));
    const Bytes before = ReadAll(folders.device / c.deviceFile);
    fs::create_directories(folders.work / (std::string(c.extract) + ".part"));

    const testing::CliRun run = folders.Korvan({"update", folders.updateFile.string(), "--json"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.out.find(c.cells), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"message\": \"Ошибка обновления! Повторите загрузку.\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"errors\": [\"Ошибка открытия файла!!\"]"), std::string::npos)
        << run.out;
    EXPECT_TRUE(ReadAll(folders.device / c.deviceFile) == before);
  }
}

// `korvan diff` says per component what the update then does, and sends nothing but reads.
TEST(CliUpdateTest, DiffForetellsTheUpdateAndWritesNothing) {
  struct Case {
    const char* what;
    uint8_t type;
    void (*change)(emu::UpdateFileOptions& file);
    std::vector<std::string> actions;  // firmware, voice, database[, signature]
  };
  const Case cases[] = {
      {"everything newer", 26, [](emu::UpdateFileOptions&) {}, {"write", "write", "write"}},
      {"the device's voice",
       26,
       [](emu::UpdateFileOptions& file) {
         emu::PresetOptions device;
         device.rawType = 26;
         file.contents.voice = device.voice;
       },
       {"write", "same", "write"}},
      {"type 8: a voice not for the device",
       8,
       [](emu::UpdateFileOptions& file) { file.contents.voice[0] = 1; },
       {"write", "skip", "write", "write"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emu::PresetOptions preset;
    preset.rawType = c.type;
    emu::UpdateFileOptions fileOptions = emu::NewerUpdateFile(preset);
    c.change(fileOptions);
    testing::ScopedTempDir work("korvan_diff");
    const fs::path file =
        emu::WriteUpdateFile(work.path(), emu::MakeUpdateFile(fileOptions)).value();
    emu::SimulatedDiskHost host;
    auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    device->SetRecordMode(emu::RecordMode::CdbOnly);
    host.Attach(frontend::kDefaultSimulatedDrive, device);
    frontend::GlobalOptions options;
    options.workdir = work.path();
    options.json = true;

    std::ostringstream out, err;
    const int status = cli::RunDiff(host, options, {file.string()}, out, err);
    const auto report = nlohmann::json::parse(out.str(), nullptr, false);
    ASSERT_TRUE(report.is_object()) << out.str() << err.str();
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_EQ(report["accepted"], true);
    std::vector<std::string> actions;
    for (const auto& component : report["components"]) {
      actions.push_back(component["action"]);
      EXPECT_EQ(component["units"] != 0, component["action"] == "write") << component;
    }
    EXPECT_EQ(actions, c.actions);
    for (const auto& command : device->Recording()) {
      ASSERT_NE(CdbOpcode(command.cdb), kOpWriteUnit) << "the dry run wrote to the device";
    }
    EXPECT_FALSE(fs::exists(work / "dry-run"));

    // The update itself, on the same device: what it wrote and found the same is what diff said.
    cli::UpdateOptions update;
    update.file = file.string();
    update.quiet = true;
    std::ostringstream updateOut, updateErr;
    EXPECT_EQ(cli::RunUpdate(host, options, update, updateOut, updateErr), 0) << updateOut.str();
    const HistoryRead history = ReadHistory(work.path(), 1);
    ASSERT_EQ(history.entries.size(), 1u);
    std::vector<std::string> done;
    for (const auto& component : report["components"]) {
      std::string result = "skip";
      for (const HistoryComponent& h : history.entries[0].components) {
        if (h.name == component["component"]) {
          result = h.result == "written" ? "write" : h.result;
        }
      }
      done.push_back(result);
    }
    EXPECT_EQ(done, c.actions);

    // Once the update is done, the same file would write nothing.
    std::ostringstream again, againErr;
    EXPECT_EQ(cli::RunDiff(host, options, {file.string()}, again, againErr), 0);
    EXPECT_NE(again.str().find("\"writes\": false"), std::string::npos) << again.str();
  }
}

}  // namespace
}  // namespace korvan
