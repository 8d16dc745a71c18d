// Backups of the device's memories: taken by the update run before its first unit is written,
// rotated per model, refused when they cannot be saved, checked when read back, and written
// back by a restore after an update that went wrong.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <functional>
#include <mutex>

#include "app/backup_store.h"
#include "app/control_ids.h"
#include "app/restore_run.h"
#include "app/sha256_file.h"
#include "app/update_worker.h"
#include "app/upload_command.h"
#include "device/model_catalogue.h"
#include "emulator/update_file_builder.h"
#include "tests/support/detection_run.h"
#include "tests/support/file_bytes.h"
#include "tests/support/folder_link.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::ReadAll;

constexpr int kDrive = 2;

// The published backups in `folder`/backups (staging folders are not backups).
std::vector<fs::path> Backups(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator it(folder / kBackupsFolderName, error), end; !error && it != end;
       it.increment(error)) {
    found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Passes every command on to the device; at the first unit written it notes which backups
// were in place.
class FirstWriteWatch final : public DiskHost {
 public:
  FirstWriteWatch(DiskHost& inner, fs::path folder) : inner_(inner), folder_(std::move(folder)) {}

  OpenResult OpenDrive(int drive) override {
    OpenResult result = inner_.OpenDrive(drive);
    if (result.transport) {
      result.transport = std::make_unique<Transport>(std::move(result.transport), *this);
    }
    return result;
  }
  std::string DriveName(int drive) const override { return inner_.DriveName(drive); }

  std::optional<std::vector<fs::path>> AtFirstWrite() const {
    std::lock_guard lock(mutex_);
    return atFirstWrite_;
  }

 private:
  class Transport final : public ScsiTransport {
   public:
    Transport(std::unique_ptr<ScsiTransport> inner, FirstWriteWatch& watch)
        : inner_(std::move(inner)), watch_(watch) {}
    CommandResult Execute(const Cdb& cdb, DataDirection direction,
                          std::span<uint8_t, kUnitSize> data) override {
      if (cdb[0] == kOpWriteUnit) {
        std::lock_guard lock(watch_.mutex_);
        if (!watch_.atFirstWrite_) {
          watch_.atFirstWrite_ = Backups(watch_.folder_);
        }
      }
      return inner_->Execute(cdb, direction, data);
    }

   private:
    std::unique_ptr<ScsiTransport> inner_;
    FirstWriteWatch& watch_;
  };

  DiskHost& inner_;
  const fs::path folder_;
  mutable std::mutex mutex_;
  std::optional<std::vector<fs::path>> atFirstWrite_;
};

struct BackupRun : testing::DetectionRun {
  std::shared_ptr<emu::SimulatedDevice> device;
  FirstWriteWatch watch{host, folder.path()};
  Bytes controllerBefore;
  Bytes flashBefore;

  explicit BackupRun(uint8_t type, int keep = kDefaultBackupsKept) {
    emu::PresetOptions preset;
    preset.rawType = type;
    device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    device->SetRecordMode(emu::RecordMode::CdbOnly);
    host.Attach(kDrive, device);
    EXPECT_TRUE(Run());
    state.backups.keep = keep;
    state.backups.programVersion = "9.9.9";
    controllerBefore = Memory(MemorySelector::Controller);
    flashBefore = Memory(MemorySelector::DataFlash);
    ChooseFile(emu::NewerUpdateFile(preset));
    device->ClearRecording();
  }

  // The memory as far as the detection copies it.
  Bytes Memory(MemorySelector selector) const {
    const int8_t type = state.deviceInfo.typeCode;
    return selector == MemorySelector::Controller
               ? device->Peek(selector, kControllerBase, ModelCatalogue::FwReadLength(type))
               : device->Peek(selector, kDataFlashBase, ModelCatalogue::FlashSize(type));
  }

  void ChooseFile(const emu::UpdateFileOptions& update) {
    const auto path = emu::WriteUpdateFile(folder.path(), emu::MakeUpdateFile(update)).value();
    state.UpdateFilePath = path;
    state.filePathText = path.string();
    state.UpdateFileReady = true;
    state.updateFileInfo.fileAccepted = true;
    for (size_t i = 0; i < 4; ++i) {
      state.updateFileInfo.fileFwVersion[i] = update.contents.firmware[i];
      state.updateFileInfo.fileVoiceVersion[i] = update.contents.voice[i];
    }
    state.updateFileInfo.fileCountry = update.contents.country;
  }

  void Upload() {
    UpdateWorker worker(watch, slots, window, view, state);
    ASSERT_TRUE(UploadCommand(view, state, worker));
    EXPECT_TRUE(window.RunUntil(
        [this] {
          return state.updatePhase == UpdatePhase::Finished ||
                 state.updatePhase == UpdatePhase::Parked;
        },
        std::chrono::seconds(120)));
    worker.Stop();
    window.RunPending();
  }

  bool Wrote() const {
    for (const Cdb& cdb : device->RecordedCdbs()) {
      if (cdb[0] == kOpWriteUnit) {
        return true;
      }
    }
    return false;
  }
};

TEST(BackupTest, AnUpdateSavesTheMemoriesBeforeItsFirstWrite) {
  BackupRun run(4);
  run.Upload();
  ASSERT_EQ(run.state.updatePhase, UpdatePhase::Finished);
  EXPECT_FALSE(run.state.updateFailed);

  // The backup was complete and in place when the first unit went to the device.
  const std::vector<fs::path> backups = Backups(run.folder.path());
  ASSERT_EQ(backups.size(), 1u);
  ASSERT_TRUE(run.watch.AtFirstWrite().has_value());
  EXPECT_EQ(*run.watch.AtFirstWrite(), backups);
  EXPECT_EQ(run.state.lastBackup, backups[0]);
  EXPECT_EQ(backups[0].filename().string().rfind("DAHLIA_", 0), 0u);

  // It holds the memories as they were before the update.
  EXPECT_TRUE(ReadAll(backups[0] / kBackupControllerName) == run.controllerBefore);
  EXPECT_TRUE(ReadAll(backups[0] / kBackupFlashName) == run.flashBefore);
  std::ifstream in(backups[0] / kBackupManifestName);
  const auto manifest = nlohmann::json::parse(in);
  EXPECT_EQ(manifest["model"], "DAHLIA");
  EXPECT_EQ(manifest["typeCode"], 4);
  EXPECT_EQ(manifest["program"], "9.9.9");
  EXPECT_EQ(manifest["images"]["controller"]["size"], run.controllerBefore.size());
  EXPECT_EQ(manifest["images"]["dataFlash"]["sha256"], *Sha256File(backups[0] / kBackupFlashName));
  for (const char* key : {"country", "firmware", "voice", "database"}) {
    EXPECT_TRUE(manifest.contains(key)) << key;
  }

  // The window said so on its bar before writing.
  const auto& calls = run.view.Calls();
  const auto said =
      std::find(calls.begin(), calls.end(), "status " + std::string(kBackupSavedText));
  EXPECT_NE(said, calls.end());
}

TEST(BackupTest, NothingToWriteOrBackupsOffLeavesNoBackup) {
  {
    SCOPED_TRACE("backups off");
    BackupRun run(4, 0);
    run.Upload();
    EXPECT_TRUE(run.Wrote());
    EXPECT_FALSE(run.state.updateFailed);
    EXPECT_FALSE(fs::exists(run.folder / std::string(kBackupsFolderName)));
  }
  {
    SCOPED_TRACE("the device already holds the file");
    BackupRun run(4);
    emu::UpdateFileOptions same;
    same.contents.rawType = 4;
    run.ChooseFile(same);
    run.Upload();
    EXPECT_FALSE(run.Wrote());
    EXPECT_TRUE(Backups(run.folder.path()).empty()) << "no backup, no staging folder left";
  }
}

TEST(BackupTest, ABackupThatCannotBeSavedStopsTheUpdateBeforeAnyWrite) {
  BackupRun run(4);
  // Something that is not a folder stands where the backups go.
  std::ofstream(run.folder / std::string(kBackupsFolderName)) << "not a folder";
  run.Upload();
  EXPECT_FALSE(run.Wrote());
  EXPECT_TRUE(run.Memory(MemorySelector::Controller) == run.controllerBefore);
  EXPECT_TRUE(run.Memory(MemorySelector::DataFlash) == run.flashBefore);
  EXPECT_EQ(run.state.updatePhase, UpdatePhase::Finished);
  EXPECT_TRUE(run.state.updateFailed);
  EXPECT_FALSE(run.state.backupError.empty());
  ASSERT_EQ(run.view.Messages().size(), 1u);
  EXPECT_EQ(run.view.Messages()[0].text.rfind(kBackupFailedText, 0), 0u);
  EXPECT_EQ(run.view.Messages()[0].icon, MessageIcon::Error);
  EXPECT_TRUE(run.view.Control(ids::kEnd).enabled);
}

// Writes a backup folder of `model` stamped `stamp` by hand.
fs::path FakeBackup(const fs::path& backups, const std::string& name) {
  fs::create_directories(backups / name);
  std::ofstream(backups / name / std::string(kBackupManifestName)) << "{}";
  return backups / name;
}

TEST(BackupTest, RotationKeepsTheNewestOfTheModelAndNothingElseIsTouched) {
  testing::ScopedTempDir folder("korvan_rotation");
  const fs::path backups = folder / std::string(kBackupsFolderName);
  for (const char* name : {"DAHLIA_20240101-000000", "DAHLIA_20240102-000000",
                           "DAHLIA_20240102-000000-2", "DAHLIA_20230101-235959"}) {
    FakeBackup(backups, name);
  }
  // Not ours: another model, names that only look like backups, a file, a link.
  const std::vector<std::string> strangers{"DAHLIA_MAX_20200101-000000", "DAHLIA_notes",
                                           "DAHLIA_20200101-000000-old", "DAHLIA_2020"};
  for (const auto& name : strangers) {
    FakeBackup(backups, name);
  }
  std::ofstream(backups / "DAHLIA_20000101-000000-9") << "a file";
  // A link is left alone (where the platform can make one).
  const bool linked = testing::MakeFolderLink(backups / "DAHLIA_20240101-000000",
                                              backups / "DAHLIA_19990101-000000");

  PruneBackups(backups, "DAHLIA", 2);
  EXPECT_TRUE(fs::exists(backups / "DAHLIA_20240102-000000-2"));
  EXPECT_TRUE(fs::exists(backups / "DAHLIA_20240102-000000"));
  EXPECT_FALSE(fs::exists(backups / "DAHLIA_20240101-000000"));
  EXPECT_FALSE(fs::exists(backups / "DAHLIA_20230101-235959"));
  for (const auto& name : strangers) {
    EXPECT_TRUE(fs::exists(backups / name)) << name;
  }
  EXPECT_TRUE(fs::exists(backups / "DAHLIA_20000101-000000-9"));
  EXPECT_EQ(fs::is_symlink(backups / "DAHLIA_19990101-000000"), linked);

  // Two backups within one second get names of their own.
  const auto now = std::chrono::system_clock::now();
  for (int i = 0; i < 2; ++i) {
    const fs::path staged = backups / ".staging-test";
    fs::create_directory(staged);
    EXPECT_TRUE(PublishBackup(staged, folder.path(), "FERN_ULTRA", 5, now).ok());
  }
  int fern = 0;
  for (const auto& entry : fs::directory_iterator(backups)) {
    fern += entry.path().filename().string().rfind("FERN_ULTRA_", 0) == 0;
  }
  EXPECT_EQ(fern, 2);
}

TEST(BackupTest, AManifestIsCheckedBeforeItIsTrusted) {
  testing::ScopedTempDir folder("korvan_manifest");
  DeviceInfo device;
  device.typeCode = 1;  // small memories: 64 KiB of controller memory, no data flash
  const fs::path controller = folder / "controller-copy.bin";
  // The detection reads no data flash of such a model, so there is no copy of it.
  const fs::path flash = folder / "flash-copy.bin";
  std::ofstream(controller, std::ios::binary) << std::string(0x10000, '\x5A');
  const BackupResult saved = SaveBackup(folder.path(), {device, controller, flash, "1"}, 5);
  ASSERT_TRUE(saved.ok()) << saved.error;
  EXPECT_EQ(fs::file_size(saved.path / kBackupFlashName), 0u);
  std::string error;
  ASSERT_TRUE(ReadBackupManifest(saved.path, error).has_value()) << error;
  std::ifstream in(saved.path / kBackupManifestName);
  const nlohmann::json good = nlohmann::json::parse(in);

  struct Case {
    const char* name;
    std::function<void(nlohmann::json&)> change;
  };
  const Case cases[] = {
      {"model missing", [](auto& m) { m.erase("model"); }},
      {"type code a string", [](auto& m) { m["typeCode"] = "1"; }},
      {"type code unknown", [](auto& m) { m["typeCode"] = 7; }},
      {"type code out of range", [](auto& m) { m["typeCode"] = 300; }},
      {"size of another memory", [](auto& m) { m["images"]["controller"]["size"] = 0x20000; }},
      {"size negative", [](auto& m) { m["images"]["controller"]["size"] = -1; }},
      {"hash not hex", [](auto& m) { m["images"]["dataFlash"]["sha256"] = std::string(64, 'g'); }},
      {"image elsewhere", [](auto& m) { m["images"]["dataFlash"]["file"] = "../flash-copy.bin"; }},
      {"images missing", [](auto& m) { m.erase("images"); }},
      {"not an object", [](auto& m) { m = nlohmann::json::array(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    nlohmann::json manifest = good;
    c.change(manifest);
    std::ofstream(saved.path / kBackupManifestName) << manifest.dump();
    error.clear();
    EXPECT_FALSE(ReadBackupManifest(saved.path, error).has_value());
    EXPECT_FALSE(error.empty());
  }
  std::ofstream(saved.path / kBackupManifestName) << "{\"model\": ";
  EXPECT_FALSE(ReadBackupManifest(saved.path, error).has_value());

  // A changed byte is found by the hash, and the copy is not left behind.
  std::ofstream(saved.path / kBackupManifestName) << good.dump();
  {
    std::fstream image(saved.path / kBackupControllerName,
                       std::ios::binary | std::ios::in | std::ios::out);
    image.seekp(100);
    image.put('\x00');
  }
  const auto manifest = ReadBackupManifest(saved.path, error);
  ASSERT_TRUE(manifest.has_value());
  EXPECT_FALSE(CopyVerifiedImage(saved.path / kBackupControllerName, folder / "copy.bin",
                                 manifest->controller, error));
  EXPECT_NE(error.find("SHA-256"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "copy.bin"));
}

class NullObserver final : public RegionWriterObserver {
 public:
  void SlotPosition(int, int) override {}
  void SlotText(int, std::string_view) override {}
  void RegionCellText(Region, std::string_view) override {}
  void ShowError(std::string_view, std::string_view) override {}
};

TEST(BackupTest, RestoreAfterABadUpdateGivesBackTheMemoriesByteForByte) {
  BackupRun run(4);
  // The voice region's second unit never reads back: the update parks half-way, with the
  // firmware and part of the voice written.
  run.device->CorruptReads(MemorySelector::DataFlash, 1, 1000);
  run.Upload();
  ASSERT_EQ(run.state.updatePhase, UpdatePhase::Parked);
  run.device->ClearFaults();
  ASSERT_FALSE(run.Memory(MemorySelector::Controller) == run.controllerBefore);
  const std::vector<fs::path> backups = Backups(run.folder.path());
  ASSERT_EQ(backups.size(), 1u);

  // The restore runs on what a new detection found.
  run.state.detectionPhase = DetectionPhase::Idle;
  ASSERT_TRUE(run.Run());
  NullObserver observer;
  RestoreJob job{backups[0],
                 run.state.deviceInfo,
                 kDrive,
                 run.state.FwReadPath,
                 run.state.FlashReadPath,
                 run.folder.path(),
                 {kDefaultBackupsKept, "9.9.9", std::nullopt}};
  RestoreResult result = RunRestore(run.host, run.slots, job, observer, {});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_TRUE(run.Memory(MemorySelector::Controller) == run.controllerBefore);
  EXPECT_TRUE(run.Memory(MemorySelector::DataFlash) == run.flashBefore);
  for (const RestoreRegion& region : result.regions) {
    EXPECT_TRUE(region.attempted);
    EXPECT_EQ(region.result, StepResult::Ok);
  }
  // The half-updated memories were saved first, beside the backup that was restored.
  EXPECT_TRUE(fs::exists(result.savedBackup / kBackupManifestName));
  EXPECT_EQ(Backups(run.folder.path()).size(), 2u);

  // A backup of another model is refused and nothing is sent to the device.
  job.device.typeCode = 5;
  run.device->ClearRecording();
  result = RunRestore(run.host, run.slots, job, observer, {});
  EXPECT_EQ(result.outcome, RestoreOutcome::Refused);
  EXPECT_NE(result.error.find("DAHLIA (type 4)"), std::string::npos) << result.error;
  EXPECT_NE(result.error.find("DAHLIA_MAX (type 5)"), std::string::npos) << result.error;
  EXPECT_FALSE(run.Wrote());
}

}  // namespace
}  // namespace korvan
