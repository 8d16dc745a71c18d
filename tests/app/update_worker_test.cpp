// Full uploads on simulated devices: the detection's copies, an update file built from a
// preset, the Upload command and the update worker; asserted on the device's memories, the
// command traffic and what the window shows.
#include "app/update_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "app/control_ids.h"
#include "app/upload_command.h"
#include "device/model_catalogue.h"
#include "emulator/update_file_builder.h"
#include "tests/support/detection_run.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
namespace catalogue = ModelCatalogue;

constexpr int kDrive = 2;
constexpr const char* kUpdated = "Обновлено";

struct UploadRun : testing::DetectionRun {
  std::shared_ptr<emu::SimulatedDevice> device;
  emu::UpdateFile file;
  fs::path filePath;
  bool started = false;

  // Detects a device made from `devicePreset`, then chooses an update file made from `update`.
  UploadRun(const emu::PresetOptions& devicePreset, const emu::UpdateFileOptions& update) {
    device = emu::MakeSimulatedDevice(emu::MakePresetImages(devicePreset));
    device->SetRecordMode(emu::RecordMode::CdbOnly);
    host.Attach(kDrive, device);
    EXPECT_TRUE(Run());
    file = emu::MakeUpdateFile(update);
    filePath = emu::WriteUpdateFile(folder.path(), file).value();
    // What a successful Open leaves behind.
    state.UpdateFilePath = filePath;
    state.filePathText = filePath.string();
    state.UpdateFileReady = true;
    state.updateFileInfo.fileAccepted = true;
    for (size_t i = 0; i < 4; ++i) {
      state.updateFileInfo.fileFwVersion[i] = update.contents.firmware[i];
      state.updateFileInfo.fileVoiceVersion[i] = update.contents.voice[i];
    }
    state.updateFileInfo.fileCountry = update.contents.country;
    device->ClearRecording();
  }

  // The Upload command and the whole run, until the worker gives the window back or parks.
  void Upload() {
    UpdateWorker worker(host, slots, window, view, state);
    started = UploadCommand(view, state, worker);
    if (started) {
      EXPECT_TRUE(window.RunUntil(
          [this] {
            return state.updatePhase == UpdatePhase::Finished ||
                   state.updatePhase == UpdatePhase::Parked;
          },
          std::chrono::seconds(120)));
    }
    worker.Stop();
    window.RunPending();
  }

  std::vector<uint8_t> FileBytes(uint32_t offset, uint32_t length) const {
    std::vector<uint8_t> bytes(length, 0xFF);
    for (uint32_t i = 0; i < length && offset + i < file.bytes.size(); ++i) {
      bytes[i] = file.bytes[offset + i];
    }
    return bytes;
  }

  // The first unit written to `selector`, as a byte address.
  std::optional<uint32_t> FirstWrite(MemorySelector selector) const {
    for (const Cdb& cdb : device->RecordedCdbs()) {
      if (cdb[0] == kOpWriteUnit && cdb[1] == static_cast<uint8_t>(selector)) {
        return CdbUnit(cdb) * kUnitSize;
      }
    }
    return std::nullopt;
  }
};

emu::PresetOptions Device(uint8_t type) {
  emu::PresetOptions preset;
  preset.rawType = type;
  return preset;
}

emu::UpdateFileOptions NewerFile(uint8_t type) {
  return emu::NewerUpdateFile(Device(type));
}

TEST(UpdateWorkerTest, EveryComponentDiffersAndIsWritten) {
  struct Case {
    uint8_t type;
    uint32_t firmwareStart;
  };
  const Case cases[] = {{4, 0x08003000}, {8, 0x08003000}, {24, 0x08004000}, {26, 0x08010000}};
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    UploadRun run(Device(c.type), NewerFile(c.type));
    run.Upload();
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.state.updatePhase, UpdatePhase::Finished);
    EXPECT_EQ(run.view.Text(ids::kFwResultText), kUpdated);
    EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated);
    EXPECT_EQ(run.view.Text(ids::kDbResultText), kUpdated);
    EXPECT_EQ(run.FirstWrite(MemorySelector::Controller), c.firmwareStart);
    ASSERT_FALSE(run.view.Messages().empty());
    EXPECT_EQ(run.view.Messages().back().text.rfind("Прошивка успешно обновлена! \n", 0), 0u);
    EXPECT_TRUE(run.view.Control(ids::kEnd).enabled);
    EXPECT_TRUE(run.view.Control(ids::kMenuSettingsButton).enabled);
    EXPECT_FALSE(run.view.Control(ids::kUploadButton).enabled);

    // The device now holds what the file carries, where the model keeps it.
    const int8_t type = static_cast<int8_t>(c.type);
    const uint32_t fwLength = catalogue::FwEndOffset(type) - catalogue::BootLoaderSize(type);
    EXPECT_EQ(run.device->Peek(MemorySelector::Controller, c.firmwareStart, fwLength),
              run.FileBytes(catalogue::FwFileOffset(type), fwLength));
    const uint32_t voiceLength = NewerFile(c.type).voiceLength;
    EXPECT_EQ(run.device->Peek(MemorySelector::DataFlash, 0, voiceLength),
              run.FileBytes(catalogue::VoiceFileOffset(type), voiceLength));
    UpdateFileInfo fileInfo;
    fileInfo.fileFwVersion = {0, 3, 0, 1};
    DeviceInfo device;
    device.typeCode = type;
    const uint32_t dbAddress = catalogue::DbFlashOffset(1, device, fileInfo);
    const uint32_t dbLength = NewerFile(c.type).databaseLength;
    EXPECT_EQ(run.device->Peek(MemorySelector::DataFlash, dbAddress, dbLength),
              run.FileBytes(catalogue::DbFileOffset(type), dbLength));
    if (c.type == 8) {
      const uint32_t sigLength = NewerFile(c.type).signatureLength;
      auto expected = run.FileBytes(0x800000, sigLength);
      expected.resize(8 * kUnitSize, 0x00);  // the signature region is zero-filled to 8 units
      EXPECT_EQ(run.device->Peek(MemorySelector::DataFlash, 0x7FE000, 8 * kUnitSize), expected);
    }
  }
}

TEST(UpdateWorkerTest, AllSameWritesNothing) {
  emu::UpdateFileOptions same;
  same.contents = Device(26);
  UploadRun run(Device(26), same);
  run.Upload();
  EXPECT_EQ(run.view.Text(ids::kFwResultText), "Same");
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), "Same");
  EXPECT_EQ(run.view.Text(ids::kDbResultText), "Same");
  EXPECT_FALSE(run.FirstWrite(MemorySelector::Controller).has_value());
  EXPECT_FALSE(run.FirstWrite(MemorySelector::DataFlash).has_value());
  EXPECT_TRUE(run.view.Messages().empty());
  EXPECT_EQ(run.view.Status().position, 0);
  EXPECT_TRUE(run.view.Control(ids::kEnd).enabled);
  EXPECT_TRUE(run.view.Control(ids::kMenuSettingsButton).enabled);
  EXPECT_FALSE(run.view.Control(ids::kOpenButton).enabled);
  EXPECT_FALSE(run.view.Control(ids::kServerSourceRadio).enabled);

  // The full sequence runs once per program run: a second Upload only blanks the cells.
  run.state.UpdateFileReady = true;
  run.Upload();
  EXPECT_EQ(run.view.Text(ids::kFwResultText), "              ");
}

TEST(UpdateWorkerTest, NewVoiceCascadesIntoTheDatabase) {
  emu::UpdateFileOptions voiceOnly;
  voiceOnly.contents = Device(26);
  voiceOnly.contents.voice = {0, 0, 4, 2};
  UploadRun run(Device(26), voiceOnly);
  run.Upload();
  EXPECT_EQ(run.view.Text(ids::kFwResultText), "Same");
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated);
  // The voice step replaced the data-flash copy, so the database compares against 0xFF.
  EXPECT_EQ(run.view.Text(ids::kDbResultText), kUpdated);
  ASSERT_EQ(run.view.Messages().size(), 1u);
  EXPECT_EQ(run.view.Messages()[0].text, "База данных успешно обновлена!");
}

TEST(UpdateWorkerTest, ReadBackFaults) {
  // The second unit of the voice region (data flash unit 1).
  struct Case {
    const char* name;
    uint32_t corruptedReads;
    bool parked;
  };
  const Case cases[] = {
      {"one bad read-back is cured by a rewrite", 1, false},
      {"a unit that never reads back equal parks the worker", 1000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu::UpdateFileOptions voiceOnly;
    voiceOnly.contents = Device(26);
    voiceOnly.contents.voice = {0, 0, 4, 2};
    UploadRun run(Device(26), voiceOnly);
    run.device->CorruptReads(MemorySelector::DataFlash, 1, c.corruptedReads);
    run.Upload();
    EXPECT_EQ(run.state.updatePhase, c.parked ? UpdatePhase::Parked : UpdatePhase::Finished);
    if (c.parked) {
      EXPECT_EQ(run.view.Status().text, "Переподключите USB кабель!!");
      EXPECT_TRUE(run.view.Control(ids::kEnd).enabled) << "the program can still be closed";
      size_t writes = 0;
      for (const Cdb& cdb : run.device->RecordedCdbs()) {
        writes += cdb[0] == kOpWriteUnit && CdbUnit(cdb) == 1;
      }
      EXPECT_EQ(writes, 1u + 16u) << "the write and 16 rewrites, then no more";
    } else {
      EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated);
    }
  }
}

TEST(UpdateWorkerTest, LinkLostDuringTheFirmwareParks) {
  UploadRun run(Device(24), NewerFile(24));
  run.device->DisconnectAfter(6);
  run.Upload();
  EXPECT_EQ(run.state.updatePhase, UpdatePhase::Parked);
  EXPECT_EQ(run.view.Text(ids::kFwResultText), "Обновляется..");
  EXPECT_EQ(run.view.Status().text, "Переподключите USB кабель!!");
}

TEST(UpdateWorkerTest, MissingSourceShowsTheOpenErrorAndGoesOn) {
  UploadRun run(Device(26), NewerFile(26));
  // The working copies cannot be written where the state says they are. (With backups on, the
  // missing copy would stop the run before the sequence: BackupTest covers that.)
  run.state.FwReadPath = run.folder / "missing-folder" / "TempFwData.bin";
  run.state.backups.keep = 0;
  run.Upload();
  EXPECT_EQ(run.view.Text(ids::kFwResultText), "Oшибка проверить");
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated) << "the sequence goes on";
  EXPECT_TRUE(std::find(run.view.Calls().begin(), run.view.Calls().end(),
                        "status Ошибка открытия файла!!") != run.view.Calls().end());
  EXPECT_TRUE(std::find(run.view.Calls().begin(), run.view.Calls().end(), "enable 1005 1") !=
              run.view.Calls().end());
}

bool Called(const RecordingView& view, const std::string& call) {
  return std::find(view.Calls().begin(), view.Calls().end(), call) != view.Calls().end();
}

// Units written to `selector` below `end` (a byte address).
size_t WritesBelow(const emu::SimulatedDevice& device, MemorySelector selector, uint64_t end) {
  size_t writes = 0;
  for (const Cdb& cdb : device.RecordedCdbs()) {
    writes += cdb[0] == kOpWriteUnit && cdb[1] == static_cast<uint8_t>(selector) &&
              uint64_t{CdbUnit(cdb)} * kUnitSize < end;
  }
  return writes;
}

TEST(UpdateWorkerTest, AComponentWithoutAFreshExtractIsNeverWritten) {
  // The copies hold the whole memories read at detection; when the extract cannot replace
  // them, writing them would put the boot loader where the firmware goes, or report a voice
  // as updated that was never sent.
  struct Case {
    const char* name;
    std::function<void(UploadRun&)> fault;
    MemorySelector untouched;
    uint64_t untouchedBelow;  // no unit written there
    std::vector<int> failedCells;
    std::vector<int> updatedCells;
  };
  const int fw = ids::kFwResultText;
  const int voice = ids::kVoiceResultText;
  const int db = ids::kDbResultText;
  const Case cases[] = {
      {"firmware extract cannot be written",
       [](UploadRun& r) { fs::create_directory(r.folder / "TempFwData.bin.part"); },
       MemorySelector::Controller,
       uint64_t{kControllerBase} + 0x100000,
       {fw},
       {voice, db}},
      {"data-flash extracts cannot be written",
       [](UploadRun& r) { fs::create_directory(r.folder / "TempImageData.bin.part"); },
       MemorySelector::DataFlash,
       0x1000000,
       {voice, db},
       {fw}},
      {"voice length changed after Open runs past the file",
       [](UploadRun& r) {
         std::fstream patch(r.filePath, std::ios::binary | std::ios::in | std::ios::out);
         patch.seekp(5);
         const char huge[] = {0x00, 0x00, 0x10, 0x01};  // 0x01100000
         patch.write(huge, 4);
       },
       MemorySelector::DataFlash,
       0x800000,
       {voice},
       {fw, db}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UploadRun run(Device(26), NewerFile(26));
    c.fault(run);
    run.Upload();
    EXPECT_EQ(run.state.updatePhase, UpdatePhase::Finished);
    EXPECT_EQ(WritesBelow(*run.device, c.untouched, c.untouchedBelow), 0u);
    for (const int cell : c.failedCells) {
      EXPECT_EQ(run.view.Text(cell), "Oшибка проверить") << cell;
    }
    for (const int cell : c.updatedCells) {
      EXPECT_EQ(run.view.Text(cell), kUpdated) << cell;
    }
    EXPECT_TRUE(Called(run.view, "status Ошибка открытия файла!!"));
    EXPECT_TRUE(Called(run.view, "enable 1005 1"));
    EXPECT_TRUE(run.state.updateFailed);
    ASSERT_EQ(run.view.Messages().size(), 1u);
    EXPECT_EQ(run.view.Messages()[0].text, "Ошибка обновления! Повторите загрузку.");
    EXPECT_EQ(run.view.Messages()[0].icon, MessageIcon::Error);
  }
}

TEST(UpdateWorkerTest, TheBoxFollowsWhatTheDeviceHolds) {
  struct Case {
    const char* name;
    uint8_t type;
    std::function<void(emu::SimulatedDevice&)> fault;
    const char* firmwareCell;
    const char* message;
  };
  // Type 26: 960 firmware units, each written and read back, then the whole controller memory
  // read back for the verification; its 101st read fails and leaves a unit that differs.
  constexpr uint64_t kFirmwareUnits = (0x100000 - 0x10000) / 1024;
  const Case cases[] = {
      {"everything written", 26, [](emu::SimulatedDevice&) {}, kUpdated,
       "Прошивка успешно обновлена! \nПри следующем включении устройства сделайте сброс на "
       "Заводские установки!"},
      {"firmware verification fails", 26,
       [](emu::SimulatedDevice& d) { d.FailNthCommand(2 * kFirmwareUnits + 101); },
       "Oшибка проверить", "Ошибка обновления! Повторите загрузку."},
      // A signature unit that reads back, but never as written, is not a lost link.
      {"a signature unit is not taken", 8,
       [](emu::SimulatedDevice& d) {
         d.CorruptReads(MemorySelector::DataFlash, UnitNumber(0x7FE000) + 2, 1000);
       },
       kUpdated, "Ошибка обновления! Повторите загрузку."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UploadRun run(Device(c.type), NewerFile(c.type));
    c.fault(*run.device);
    run.Upload();
    EXPECT_EQ(run.view.Text(ids::kFwResultText), c.firmwareCell);
    // Type 8's detection shows its notice first; the run adds exactly one box.
    const size_t before = c.type == 8 ? 1 : 0;
    ASSERT_EQ(run.view.Messages().size(), before + 1);
    EXPECT_EQ(run.view.Messages().back().text, c.message);
    EXPECT_NE(run.view.Status().text, "Ошибка соединения!!");
  }
}

// A settings writer that answers what the test says.
class FixedSettingsWriter final : public SettingsBlockWriter {
 public:
  explicit FixedSettingsWriter(int result) : result_(result) {}
  int WriteSettingsBlock(DeviceChannel&, int) override { return result_; }

 private:
  int result_;
};

TEST(UpdateWorkerTest, SettingsBoxFollowsTheWriter) {
  struct Case {
    int written;
    const char* message;
  };
  const Case cases[] = {{0, "Загрузка настроек произведена."},
                        {2, "Ошибка загрузки настроек! Повторите загрузку."}};
  for (const auto& c : cases) {
    UploadRun run(Device(26), NewerFile(26));
    FixedSettingsWriter writer(c.written);
    run.state.UploadMode = 7;
    run.state.SettingsPending = true;
    run.state.QuietUpload = true;
    UpdateWorker worker(run.host, run.slots, run.window, run.view, run.state, &writer);
    worker.Start();
    EXPECT_TRUE(run.window.RunUntil([&] { return run.state.updatePhase == UpdatePhase::Finished; },
                                    std::chrono::seconds(30)));
    worker.Stop();
    ASSERT_EQ(run.view.Messages().size(), 1u) << c.written;
    EXPECT_EQ(run.view.Messages()[0].text, c.message);
    EXPECT_EQ(run.state.updateFailed, c.written != 0);
  }
}

TEST(UpdateWorkerTest, VerificationOffWritesNoReadBackFile) {
  for (const bool verify : {true, false}) {
    UploadRun run(Device(26), NewerFile(26));
    run.state.verify = verify;
    run.Upload();
    EXPECT_EQ(run.view.Text(ids::kFwResultText), kUpdated);
    EXPECT_EQ(fs::exists(run.folder / "VerifyFwData.bin"), verify);
    EXPECT_EQ(fs::exists(run.folder / "VerifyImage.bin"), verify);
    EXPECT_EQ(fs::exists(run.folder / "VerifyDb.bin"), verify);
  }
}

TEST(UpdateWorkerTest, UploadCommandRefusals) {
  UploadRun run(Device(26), NewerFile(26));
  run.state.updateFileInfo.fileAccepted = false;
  run.Upload();
  EXPECT_FALSE(run.started);
  ASSERT_EQ(run.view.Messages().size(), 1u);
  EXPECT_EQ(run.view.Messages()[0].text, "Неверный файл обновления.");
  EXPECT_FALSE(run.view.Control(ids::kRussiaRadio).shown);

  run.state.updateFileInfo.fileAccepted = true;
  run.state.filePathText.clear();
  run.Upload();
  EXPECT_FALSE(run.started);
  run.state.filePathText = run.filePath.string();
  run.state.UpdateFileReady = false;
  run.Upload();
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.view.Messages().size(), 1u) << "the other refusals are silent";
}

TEST(UpdateWorkerTest, DeleteTempFilesUsesTheWorkingFolder) {
  testing::ScopedTempDir folder("korvan_temp_files");
  for (const char* name :
       {"TempFwData.bin", "TempImageData.bin", "VerifyFwData.bin", "VerifyDb.bin",
        "VerifyImage.bin", "ReadFlashData.bin", "VerifySignature.bin"}) {
    std::ofstream(folder / name) << "x";
  }
  DeleteTempFiles(folder.path());
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"ReadFlashData.bin", "VerifySignature.bin"}));
}

}  // namespace
}  // namespace korvan
