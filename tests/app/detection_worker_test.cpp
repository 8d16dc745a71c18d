// The detection on simulated devices, asserted on what the window shows (the recorded View),
// the state handed to the window thread, the working copies and the command traffic.
#include "app/detection_worker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/control_ids.h"
#include "device/model_catalogue.h"
#include "device/version_record.h"
#include "emulator/device_presets.h"
#include "flash/firmware_build_table.h"
#include "tests/flash/copy_fixtures.h"
#include "tests/support/detection_run.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using testing::DetectionRun;

constexpr int kDrive = 2;
constexpr const char* kError = "Ошибка соединения!!";
constexpr const char* kBlank = "            ";

std::shared_ptr<emu::SimulatedDevice> Attach(DetectionRun& run, const emu::PresetOptions& preset) {
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  device->SetRecordMode(emu::RecordMode::CdbOnly);
  run.host.Attach(kDrive, device);
  return device;
}

emu::PresetOptions Preset(uint8_t rawType) {
  emu::PresetOptions preset;
  preset.rawType = rawType;
  return preset;
}

size_t CountReads(const emu::SimulatedDevice& device, MemorySelector selector) {
  size_t count = 0;
  for (const Cdb& cdb : device.RecordedCdbs()) {
    count += cdb[0] == kOpReadUnit && cdb[1] == static_cast<uint8_t>(selector);
  }
  return count;
}

// Which copies each model gets, and how many units each copy reads.
TEST(DetectionWorkerTest, CopiesAndExtractionByType) {
  struct Case {
    uint8_t raw;
    int8_t type;
    bool controllerCopy;
    bool flashCopy;
  };
  const Case cases[] = {
      {1, 1, true, false},  {2, 2, true, true},     {3, 3, true, true},     {4, 4, true, true},
      {5, 5, true, true},   {6, 6, true, true},     {8, 8, true, true},     {9, 9, true, true},
      {16, 16, true, true}, {17, 17, true, true},   {18, 18, true, true},   {19, 19, true, true},
      {20, 20, true, true}, {21, 21, true, true},   {22, 22, true, true},   {23, 23, true, true},
      {24, 24, true, true}, {25, 25, true, true},   {26, 26, true, true},   {27, 27, true, true},
      {7, 7, false, false}, {12, 12, false, false}, {28, 28, false, false}, {0x85, 5, true, true},
      {0, 4, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("raw type " + std::to_string(c.raw));
    DetectionRun run;
    auto device = Attach(run, Preset(c.raw));
    ASSERT_TRUE(run.Run());

    EXPECT_EQ(run.state.deviceInfo.typeCode, c.type);
    EXPECT_TRUE(run.state.DevicePresent);
    EXPECT_EQ(run.state.DetectedDrive, kDrive);
    const size_t controllerUnits = ModelCatalogue::FwReadLength(c.type) / kUnitSize;
    const size_t flashUnits = ModelCatalogue::FlashSize(c.type) / kUnitSize;
    EXPECT_EQ(CountReads(*device, MemorySelector::Controller),
              c.controllerCopy ? controllerUnits : 0);
    EXPECT_EQ(CountReads(*device, MemorySelector::DataFlash), c.flashCopy ? flashUnits : 0);
    EXPECT_EQ(fs::exists(run.folder / "TempFwData.bin"), c.controllerCopy);
    EXPECT_EQ(fs::exists(run.folder / "TempImageData.bin"), c.flashCopy);
    if (c.controllerCopy) {
      EXPECT_EQ(fs::file_size(run.folder / "TempFwData.bin"), controllerUnits * kUnitSize);
      EXPECT_EQ(run.state.FwReadPath, run.folder / "TempFwData.bin");
    }
    if (c.flashCopy) {
      EXPECT_EQ(fs::file_size(run.folder / "TempImageData.bin"), flashUnits * kUnitSize);
      EXPECT_EQ(run.state.FlashReadPath, run.folder / "TempImageData.bin");
    }
    if (c.controllerCopy) {
      // What the window ends up holding equals what the device was built to carry.
      DeviceInfo expected = emu::PresetDeviceInfo(Preset(c.raw));
      expected.legacyModel = c.type >= 1 && c.type <= 8;
      expected.packageCountry = c.type >= 25 ? 3 : 0;
      EXPECT_EQ(run.state.deviceInfo, expected);
    }
    EXPECT_EQ(run.view.Status().text, "готов");
    EXPECT_EQ(run.view.Status().position, 0);
    EXPECT_EQ(run.slots.Snapshot(), (std::array<int32_t, 4>{-1, -1, -1, -1}))
        << "every copy frees its slot";
  }
}

TEST(DetectionWorkerTest, WhatTheWindowShows) {
  struct Case {
    const char* name;
    emu::PresetOptions preset;
    bool serviceMode;
    const char* model;
    const char* firmware;
    const char* voice;
    const char* database;
    const char* aux;
    bool downloadEnabled;
    size_t voiceItems;
    bool radiosShown;
  };
  auto with = [](uint8_t raw, auto change) {
    emu::PresetOptions preset = Preset(raw);
    change(preset);
    return preset;
  };
  auto same = [](emu::PresetOptions&) {};
  const Case cases[] = {
      {"type 4", Preset(4), false, "DAHLIA_Russia", "v02.15", "v00.31", "v1.2 240517", kBlank, true,
       4, true},
      {"flag bit of the type byte", Preset(0x85), false, "DAHLIA_MAX_Russia", "v02.15", "v00.31",
       "v1.2 240517", kBlank, true, 2, true},
      {"old hardware", Preset(0), false, "DAHLIA - Обнаружено устройство старого типа!!", "v02.15",
       "v00.31", "v1.2 240517", kBlank, true, 4, true},
      {"Uzbekistan", with(9, [](auto& p) { p.country = 12; }), false, "DAHLIA_LITE_Uzbekistan",
       "v02.15", "v00.31", "v1.2 240517", kBlank, true, 2, true},
      {"third country", with(19, [](auto& p) { p.country = 109; }), false, "FERN_ONE", "v02.15",
       "v00.31", "v1.2 240517", kBlank, true, 4, true},
      {"type 1: firmware only",
       with(1,
            [](auto& p) {
              p.firmware = {0, 1, 7, 3};
            }),
       false, "ASTER_Russia", "v01.73", kError, kError, kBlank, false, 0, true},
      {"type 2 voice needs its table", Preset(2), false, "BRIAR_Russia", "v02.15", kError, kError,
       kBlank, false, 0, true},
      {"type 3 voice falls back to its first bytes", Preset(3), false, "CEDAR_Russia", "v02.15",
       "v00.31", "v1.2 240517", kBlank, true, 4, true},
      {"type 3 voice from the table", with(3, [](auto& p) { p.voiceBuildRow = 13; }), false,
       "CEDAR_Russia", "v02.15", "v00.33", "v1.2 240517", kBlank, true, 4, true},
      {"type 3 firmware from the table", with(3, [](auto& p) { p.firmwareBuildRow = 3; }), false,
       "CEDAR", "v02.10", "v00.31", "v1.2 240517", kBlank, true, 4, true},
      {"type 8 hides its second version", Preset(8), false, "OldHardware_DAHLIA_LITE", "v02.15",
       "v00.31", "v1.2 240517", kBlank, true, 4, true},
      {"type 8 in service mode", with(8, same), true, "OldHardware_DAHLIA_LITE", "v02.15", "v00.31",
       "v1.2 240517", "v01.73", true, 4, true},
      {"service mode shows nothing more on other types", Preset(9), true, "DAHLIA_LITE_Russia",
       "v02.15", "v00.31", "v1.2 240517", kBlank, true, 4, true},
      {"large model",
       with(26, [](auto& p) { p.database = {'3', '7', '2', '5', '1', '2', '0', '9'}; }), false,
       "FERN_ULTRA_Russia", "v02.15", "v00.31", "v3.7 251209", kBlank, true, 1, false},
      {"type 7 has no entries", Preset(7), false, "", kError, kError, kError, kBlank, true, 0,
       true},
      {"type 28 is unknown", Preset(28), false, "", kError, kError, kError, kBlank, true, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DetectionRun run;
    Attach(run, c.preset);
    ASSERT_TRUE(run.Run(0, c.serviceMode));
    const RecordingView& view = run.view;
    EXPECT_EQ(view.Text(ids::kModelText), c.model);
    EXPECT_EQ(view.Text(ids::kFwVersionText), c.firmware);
    EXPECT_EQ(view.Text(ids::kVoiceVersionText), c.voice);
    EXPECT_EQ(view.Text(ids::kDbVersionText), c.database);
    EXPECT_EQ(view.Text(ids::kAuxVersionText), c.aux);
    EXPECT_EQ(view.Control(ids::kDownloadButton).enabled, c.downloadEnabled);
    EXPECT_EQ(view.VoiceItems().size(), c.voiceItems);
    EXPECT_EQ(view.Control(ids::kVoiceCombo).enabled, c.voiceItems > 0 && c.downloadEnabled);
    EXPECT_TRUE(view.Control(ids::kMenuSettingsButton).enabled);
    EXPECT_TRUE(view.Control(ids::kFileSourceRadio).enabled);
    EXPECT_EQ(view.Control(ids::kRussiaRadio).shown, c.radiosShown);
    EXPECT_EQ(view.Control(ids::kUzbekistanRadio).shown, c.radiosShown);
    EXPECT_EQ(view.Status().text, "готов");
  }
}

TEST(DetectionWorkerTest, StepsReachTheWindowInOrder) {
  DetectionRun run;
  Attach(run, Preset(26));
  const size_t initCalls = run.view.Calls().size();
  ASSERT_TRUE(run.Run());
  std::vector<std::string> calls;
  for (size_t i = initCalls; i < run.view.Calls().size(); ++i) {
    const std::string& call = run.view.Calls()[i];
    if (call.rfind("position ", 0) != 0) {
      calls.push_back(call);
    }
  }
  const std::vector<std::string> expected{
      "status Поиск может занять 1-2мин.. Пжл, подождите!",
      "showtext 1",
      "colours",
      "enable 1017 0",
      "show 1088 0",
      "show 1093 0",
      "voices 1",
      "status Проверка версии ПО..",
      "status готов",
      "text 1024 FERN_ULTRA_Russia",
      "text 1025 v02.15",
      "text 1027 v00.31",
      "text 1026 v1.2 240517",
      "enable 1007 1",
      "enable 1065 1",
      "voices 1",
      "status готов",
      "enable 1020 1",
      "enable 1017 1",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(run.state.deviceInfo.packageCountry, 3);

  // Progress: one post per shown percent of the 16 MiB copy, then back to 0.
  const std::vector<int> positions = run.view.Positions(initCalls);
  ASSERT_EQ(positions.size(), 1 + 101 + 1u);
  for (int i = 0; i <= 100; ++i) {
    EXPECT_EQ(positions[static_cast<size_t>(i) + 1], i);
  }
  EXPECT_EQ(positions.back(), 0);
}

TEST(DetectionWorkerTest, Type8NoticeBlocksTheWorkerUntilClosed) {
  DetectionRun run;
  Attach(run, Preset(8));
  ASSERT_TRUE(run.Run());
  ASSERT_EQ(run.view.Messages().size(), 1u);
  EXPECT_EQ(run.view.Messages()[0].text,
            "          Внимание!\nВаше устройство совместимо\nс прошивкой v01.73 и ниже.\n"
            "Обновится только база данных.");
  EXPECT_EQ(run.view.Messages()[0].icon, MessageIcon::Information);
  // The notice is the last step before the worker parks.
  EXPECT_EQ(run.view.Calls().back().rfind("message ", 0), 0u);
}

// Version records: the data flash's record counts only while the firmware left the country
// unknown, for an accepted country and the device's own type.
TEST(DetectionWorkerTest, DataFlashVersionRecordRule) {
  struct Case {
    const char* name;
    uint8_t raw;
    bool breakFirmwareRecord;
    VersionRecordBytes flashRecord;
    const char* firmware;
    const char* model;
  };
  const VersionDigits digits{0, 9, 4, 1};
  const Case cases[] = {
      {"used when the firmware has none", 9, true, EncodeVersionRecord(12, 9, digits), "v09.41",
       "DAHLIA_LITE_Uzbekistan"},
      {"flag bit in its type", 9, true, EncodeVersionRecord(3, 9 | 0x80, digits), "v09.41",
       "DAHLIA_LITE_Russia"},
      {"another type", 9, true, EncodeVersionRecord(3, 16, digits), kError, "DAHLIA_LITE"},
      {"country already known", 9, false, EncodeVersionRecord(12, 9, digits), "v02.15",
       "DAHLIA_LITE_Russia"},
      {"large model reads 0xFFD000", 25, true, EncodeVersionRecord(3, 25, digits), "v09.41",
       "GORSE_PLUS_AIR_Russia"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DetectionRun run;
    auto device = Attach(run, Preset(c.raw));
    const auto type = static_cast<int8_t>(c.raw & 0x7F);
    if (c.breakFirmwareRecord) {
      const std::vector<uint8_t> zeros(8, 0);
      ASSERT_TRUE(device->Poke(
          MemorySelector::Controller,
          kControllerBase + ModelCatalogue::ControllerVersionRecordOffset(type), zeros));
    }
    ASSERT_TRUE(device->Poke(MemorySelector::DataFlash,
                             ModelCatalogue::FlashVersionRecordAddress(type), c.flashRecord));
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(run.view.Text(ids::kFwVersionText), c.firmware);
    EXPECT_EQ(run.view.Text(ids::kModelText), c.model);
  }
}

TEST(DetectionWorkerTest, SmallFlashHasNoRecordToRead) {
  // Types 2-4 keep 2 or 5 MiB of data flash: the copy ends before 0x7FD000.
  DetectionRun run;
  auto device = Attach(run, Preset(4));
  const std::vector<uint8_t> zeros(8, 0);
  ASSERT_TRUE(device->Poke(MemorySelector::Controller, kControllerBase + 0x1FEF0, zeros));
  ASSERT_TRUE(run.Run());
  EXPECT_EQ(run.view.Text(ids::kFwVersionText), kError);
  EXPECT_EQ(run.view.Text(ids::kModelText), "DAHLIA");
}

TEST(DetectionWorkerTest, FirmwareBuildTableCases) {
  const VersionRecordBytes record = EncodeVersionRecord(12, 4, {0, 2, 4, 3});
  struct Case {
    const char* name;
    std::vector<size_t> rows;  // T4 rows the controller copy matches
    const char* firmware;
    uint8_t layoutVariant;
    const char* model;
  };
  const Case cases[] = {
      {"one row", {5}, "v02.10", 0, "DAHLIA"},
      {"two rows: ambiguous, the record is not consulted", {1, 4}, kError, 0xFF, "DAHLIA"},
      {"no row: the record", {}, "v02.43", 2, "DAHLIA_Uzbekistan"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DetectionRun run;
    auto device = Attach(run, Preset(4));
    const auto controller =
        testing::CopyMatchingRows(0x20000, BuildTableT4(), c.rows,
                                  {{0x1FEF0, std::vector<uint8_t>(record.begin(), record.end())}});
    ASSERT_TRUE(device->Poke(MemorySelector::Controller, kControllerBase, controller));
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(run.view.Text(ids::kFwVersionText), c.firmware);
    EXPECT_EQ(run.state.deviceInfo.layoutVariant, c.layoutVariant);
    EXPECT_EQ(run.view.Text(ids::kModelText), c.model);
  }
}

TEST(DetectionWorkerTest, ScanSkipsClaimedDrivesAndKeepsSearching) {
  DetectionRun run;
  run.host.Attach(1, emu::MakeSimulatedDevice(emu::MakePresetImages(Preset(9))));
  Attach(run, Preset(26));  // drive 2
  // Neither drive can be opened yet, so the worker keeps searching.
  run.host.SetAccessDenied(1, true);
  run.host.SetAccessDenied(2, true);
  DetectionWorker worker(run.host, run.slots, run.window, run.view, run.state,
                         DetectionOptions{std::chrono::milliseconds(1), 0});
  worker.Start();
  ASSERT_TRUE(
      run.window.RunUntil([&] { return run.state.detectionPhase == DetectionPhase::Searching; },
                          std::chrono::seconds(10)));
  // Another operation now holds drive 1: the scan passes it by and finds drive 2.
  run.slots.Claim(1);
  run.host.SetAccessDenied(1, false);
  run.host.SetAccessDenied(2, false);
  ASSERT_TRUE(run.window.RunUntil([&] { return run.state.detectionPhase == DetectionPhase::Ready; },
                                  std::chrono::seconds(60)));
  worker.Stop();
  EXPECT_EQ(run.state.DetectedDrive, 2);
  EXPECT_EQ(run.state.deviceInfo.typeCode, 26);
  EXPECT_EQ(run.slots.Find(1), 0) << "the other operation keeps its slot";
}

TEST(DetectionWorkerTest, NoDeviceKeepsTheSearchTextAndStopsPromptly) {
  DetectionRun run;
  ASSERT_TRUE(run.Run(3));
  EXPECT_EQ(run.state.detectionPhase, DetectionPhase::NotFound);
  EXPECT_EQ(run.view.Status().text, "Поиск может занять 1-2мин.. Пжл, подождите!");
  EXPECT_FALSE(run.view.Control(ids::kFileSourceRadio).enabled);
  EXPECT_FALSE(run.state.DevicePresent);

  // An endless search (one-second pauses) ends as soon as the program closes.
  DetectionRun endless;
  DetectionWorker worker(endless.host, endless.slots, endless.window, endless.view, endless.state);
  worker.Start();
  ASSERT_TRUE(endless.window.RunUntil(
      [&] { return endless.state.detectionPhase == DetectionPhase::Searching; },
      std::chrono::seconds(10)));
  worker.Stop();  // returns without waiting out the pause (no timing asserted: joins or hangs)
  SUCCEED();
}

TEST(DetectionWorkerTest, StopDuringACopyLeavesTheWindowAlone) {
  DetectionRun run;
  auto device = Attach(run, Preset(26));
  device->SetCommandDelay(std::chrono::microseconds(200));
  DetectionWorker worker(run.host, run.slots, run.window, run.view, run.state,
                         DetectionOptions{std::chrono::milliseconds(1), 0});
  worker.Start();
  ASSERT_TRUE(
      run.window.RunUntil([&] { return run.state.detectionPhase == DetectionPhase::Reading; },
                          std::chrono::seconds(10)));
  worker.Stop();
  const uint64_t commandsAtStop = device->CommandCount();
  run.window.RunPending();
  EXPECT_NE(run.state.detectionPhase, DetectionPhase::Ready);
  EXPECT_NE(run.view.Status().text, "готов");
  EXPECT_LT(commandsAtStop, (0x100000 + 0x1000000) / kUnitSize) << "the copy ended early";
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(device->CommandCount(), commandsAtStop) << "nothing is sent after the stop";
}

}  // namespace
}  // namespace korvan
