// The main window's handlers driven as the dialog drives them, with the test thread as the
// window thread: the real detection and update workers run against simulated devices, and the
// assertions are on what the window shows, the device's memories and its command traffic.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/control_ids.h"
#include "app/history_log.h"
#include "app/recording_view.h"
#include "app/task_queue.h"
#include "device/device_copies.h"
#include "device/model_catalogue.h"
#include "device/version_record.h"
#include "emulator/device_presets.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/app/window_run.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::kDrive;
using testing::Preset;
using testing::WindowRun;

constexpr const char* kBlank = "            ";
constexpr const char* kReady = "готов";
constexpr const char* kUpdated = "Обновлено";

// Every control the user can act on, hidden ones included.
constexpr int kInputs[] = {ids::kEnd,
                           ids::kOpenButton,
                           ids::kDownloadButton,
                           ids::kUploadModeRadio,
                           ids::kServerSourceRadio,
                           ids::kFileSourceRadio,
                           ids::kMenuModeRadio,
                           ids::kMenuSettingsButton,
                           ids::kVerifyCheck,
                           ids::kDbModeRadio,
                           ids::kUploadButton,
                           ids::kReadButton,
                           ids::kEraseButton,
                           ids::kVoiceCombo,
                           ids::kRussiaRadio,
                           ids::kUzbekistanRadio,
                           ids::kTestButton};

bool Contains(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

std::vector<std::pair<std::string, int>> Voices(const RecordingView& view) {
  std::vector<std::pair<std::string, int>> voices;
  for (const VoiceItem& item : view.VoiceItems()) {
    voices.emplace_back(item.text, item.itemData);
  }
  return voices;
}

TEST(MainWindowTest, OpeningWaitsForTheDeviceWithOnlyEndAndServerSource) {
  WindowRun run;  // no device anywhere
  run.main.OnInitDialog();
  ASSERT_TRUE(
      run.Pump([&] { return run.main.State().detectionPhase == DetectionPhase::Searching; }));

  std::vector<int> usable;
  for (const int id : kInputs) {
    const ControlState control = run.view.Control(id);
    if (control.shown && control.enabled) {
      usable.push_back(id);
    }
  }
  EXPECT_EQ(usable, (std::vector<int>{ids::kEnd, ids::kServerSourceRadio}));
  EXPECT_TRUE(run.view.Control(ids::kServerSourceRadio).checked);
  EXPECT_TRUE(run.view.Control(ids::kVerifyCheck).checked);
  EXPECT_FALSE(run.view.Control(ids::kVerifyCheck).enabled);
  EXPECT_TRUE(run.main.State().verify);
  EXPECT_EQ(run.main.State().source, 0);
  for (const int id :
       {ids::kModelText, ids::kFwVersionText, ids::kDbVersionText, ids::kVoiceVersionText,
        ids::kFileFwVersionText, ids::kFileVoiceVersionText, ids::kFileDbText, ids::kFwResultText,
        ids::kVoiceResultText, ids::kDbResultText}) {
    EXPECT_EQ(run.view.Text(id), kBlank) << "field " << id;
  }
  EXPECT_EQ(run.view.Text(ids::kFilePathEdit), "");
  EXPECT_EQ(run.view.Status().text, "Поиск может занять 1-2мин.. Пжл, подождите!");
  EXPECT_EQ(run.view.Status().position, 0);
  EXPECT_FALSE(run.main.State().DevicePresent);
}

TEST(MainWindowTest, ReadyStateShowsTheDevice) {
  struct Case {
    uint8_t type;
    const char* model;
    size_t voices;
    bool countryRadios;
  };
  const Case cases[] = {{4, "DAHLIA_Russia", 4, true}, {26, "FERN_ULTRA_Russia", 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    WindowRun run;
    run.Plug(Preset(c.type));
    run.OpenUntilReady();

    EXPECT_EQ(run.view.Text(ids::kModelText), c.model);
    EXPECT_EQ(run.view.Text(ids::kFwVersionText), "v02.15");
    EXPECT_EQ(run.view.Text(ids::kVoiceVersionText), "v00.31");
    EXPECT_EQ(run.view.Text(ids::kDbVersionText), "v1.2 240517");
    EXPECT_EQ(run.view.Status().text, kReady);
    for (const int id : {ids::kDownloadButton, ids::kVoiceCombo, ids::kMenuSettingsButton,
                         ids::kFileSourceRadio, ids::kServerSourceRadio}) {
      EXPECT_TRUE(run.view.Control(id).enabled) << "control " << id;
    }
    EXPECT_FALSE(run.view.Control(ids::kUploadButton).enabled);
    EXPECT_EQ(run.view.VoiceItems().size(), c.voices);
    EXPECT_EQ(run.view.Control(ids::kRussiaRadio).shown, c.countryRadios);
    EXPECT_EQ(run.main.State().DetectedDrive, kDrive);
  }
}

TEST(MainWindowTest, SourceRadios) {
  for (const uint8_t type : {1, 2, 4, 26}) {
    SCOPED_TRACE("type " + std::to_string(type));
    const bool packages = type >= 3;
    WindowRun run;
    run.Plug(Preset(type));
    run.OpenUntilReady();

    const auto fileCalls = run.CallsOf([&] { run.main.OnFileSource(); });
    EXPECT_EQ(run.main.State().source, 1);
    EXPECT_TRUE(run.view.Control(ids::kOpenButton).enabled);
    EXPECT_TRUE(run.view.Control(ids::kVerifyCheck).enabled);
    EXPECT_FALSE(run.view.Control(ids::kUploadButton).enabled);
    EXPECT_FALSE(run.view.Control(ids::kDownloadButton).enabled);
    EXPECT_FALSE(run.view.Control(ids::kVoiceCombo).enabled);
    EXPECT_EQ(run.view.Status().text, kReady);
    EXPECT_EQ(run.view.Status().position, 0);
    EXPECT_EQ(Contains(fileCalls, "enable 1020 1"), packages);

    run.main.OnServerSource();
    EXPECT_EQ(run.main.State().source, 0);
    for (const int id : {ids::kUploadModeRadio, ids::kDbModeRadio, ids::kOpenButton,
                         ids::kUploadButton, ids::kVerifyCheck}) {
      EXPECT_FALSE(run.view.Control(id).enabled) << "control " << id;
    }
    EXPECT_EQ(run.view.Control(ids::kDownloadButton).enabled, packages);
    EXPECT_EQ(run.view.Control(ids::kVoiceCombo).enabled, packages);
  }
}

TEST(MainWindowTest, PackageCountryRefillsTheVoiceList) {
  WindowRun run;
  run.Plug(Preset(9));
  run.OpenUntilReady();
  ASSERT_TRUE(run.view.Control(ids::kUzbekistanRadio).shown);

  struct Case {
    int radio;
    uint8_t packageCountry;
    std::vector<std::pair<std::string, int>> voices;
  };
  const Case cases[] = {
      {ids::kUzbekistanRadio, 12, {{"Русский голос", 0}, {"узбекский голос", 1}}},
      {ids::kRussiaRadio,
       3,
       {{"женский голос", 0},
        {"женский урезанный голос", 1},
        {"мужской голос", 2},
        {"мужской урезанный голос", 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("radio " + std::to_string(c.radio));
    run.main.OnPackageCountry(c.radio);
    EXPECT_EQ(run.main.State().deviceInfo.packageCountry, c.packageCountry);
    EXPECT_EQ(Voices(run.view), c.voices);
  }
}

// The pair appears while the device is still being read; the user's choice then belongs to the
// window, and the detection's last report must not undo it.
TEST(MainWindowTest, CountryChosenWhileTheDeviceIsReadStaysChosen) {
  WindowRun run;
  emu::PresetOptions uzbek = Preset(9);
  uzbek.country = kCountryUzbekistan;
  auto device = run.Plug(uzbek);
  device->SetCommandDelay(100us);
  run.main.OnInitDialog();
  ASSERT_TRUE(run.Pump([&] { return run.main.State().detectionPhase == DetectionPhase::Reading; }));
  ASSERT_TRUE(run.view.Control(ids::kRussiaRadio).shown);
  // Nothing is chosen yet, so neither radio may show checked.
  EXPECT_TRUE(Contains(run.view.Calls(), "check 1088 0"));
  EXPECT_TRUE(Contains(run.view.Calls(), "check 1093 0"));
  EXPECT_FALSE(run.view.Control(ids::kRussiaRadio).checked);
  EXPECT_FALSE(run.view.Control(ids::kUzbekistanRadio).checked);

  run.main.OnPackageCountry(ids::kRussiaRadio);
  const auto russianVoices = Voices(run.view);
  ASSERT_EQ(russianVoices.size(), 4u);
  ASSERT_TRUE(run.Pump([&] { return run.main.State().detectionPhase == DetectionPhase::Ready; }));
  EXPECT_EQ(run.main.State().deviceInfo.packageCountry, kCountryRussia);
  EXPECT_EQ(run.main.State().deviceInfo.country, kCountryUzbekistan) << "the device's own";
  EXPECT_EQ(Voices(run.view), russianVoices);
}

TEST(MainWindowTest, ServiceModeShowsItsControlsOnce) {
  WindowRun run;
  run.Plug(Preset(8));
  run.main.OnInitDialog();

  const auto first = run.CallsOf([&] { run.main.OnServiceMode(); });
  EXPECT_EQ(first, (std::vector<std::string>{"show 1049 1", "show 1050 1", "show 1047 1",
                                             "show 1053 1", "show 1054 1"}));
  EXPECT_TRUE(run.main.State().serviceMode);
  const auto second = run.CallsOf([&] { run.main.OnServiceMode(); });
  EXPECT_EQ(second, first) << "the second press changes nothing";
  EXPECT_TRUE(run.main.State().serviceMode);
  for (const int id : {ids::kAuxGroup, ids::kAuxLabel, ids::kAuxVersionText, ids::kReadButton,
                       ids::kEraseButton}) {
    EXPECT_TRUE(run.view.Control(id).shown) << "control " << id;
  }

  // Turned on while the detection runs, it reaches the worker: type 8 shows its second version.
  ASSERT_TRUE(run.Pump([&] { return run.main.State().detectionPhase == DetectionPhase::Ready; }));
  EXPECT_EQ(run.view.Text(ids::kAuxVersionText), "v01.73");
}

TEST(MainWindowTest, ReadAndEraseAreRefusedBeforeADeviceIsIdentified) {
  const std::pair<const char*, std::function<bool(MainWindow&)>> commands[] = {
      {"READ", [](MainWindow& main) { return main.OnRead(); }},
      {"ERASE", [](MainWindow& main) { return main.OnErase(); }},
  };
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    WindowRun run;
    auto device = run.Plug(Preset(2));
    EXPECT_FALSE(command(run.main));
    EXPECT_EQ(device->CommandCount(), 0u);
    EXPECT_EQ(run.host.OpenCount(kDrive), 0);
    EXPECT_TRUE(run.view.Calls().empty());
    EXPECT_FALSE(fs::exists(run.folder / "ReadFlashData.bin"));
  }
}

// The device has answered but the detection is still copying its memories: a service command
// then would share the drive with the copy.
TEST(MainWindowTest, ReadAndEraseWaitUntilTheDetectionHasReadTheDevice) {
  WindowRun run;
  auto device = run.Plug(Preset(2));
  device->SetCommandDelay(200us);
  run.main.OnInitDialog();
  ASSERT_TRUE(run.Pump([&] { return run.main.State().detectionPhase == DetectionPhase::Reading; }));
  ASSERT_TRUE(run.main.State().DevicePresent);

  EXPECT_FALSE(run.main.OnErase());
  EXPECT_FALSE(run.main.OnRead());
  const auto commands = device->Recording();
  EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const emu::RecordedCommand& c) {
    return c.direction == DataDirection::ToDevice;
  }));
  EXPECT_FALSE(fs::exists(run.folder / "ReadFlashData.bin"));
}

// ERASE would overwrite units an update has just written and verified; READ would share the
// drive with the writer.
TEST(MainWindowTest, ReadAndEraseAreRefusedWhileAnUploadRuns) {
  WindowRun run;
  auto device = run.Plug(Preset(26));
  run.OpenUntilReady();
  run.ChooseNewerFile(26);
  device->SetCommandDelay(50us);
  run.main.OnUpload();
  ASSERT_EQ(run.main.State().updatePhase, UpdatePhase::Running);

  EXPECT_FALSE(run.main.OnErase());
  EXPECT_FALSE(run.main.OnRead());
  EXPECT_FALSE(fs::exists(run.folder / "ReadFlashData.bin"));
  ASSERT_TRUE(run.Pump([&] { return run.main.State().updatePhase == UpdatePhase::Finished; }));
  EXPECT_EQ(run.view.Text(ids::kFwResultText), kUpdated);
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated);
  EXPECT_EQ(run.view.Text(ids::kDbResultText), kUpdated);
  // Nothing but the update wrote: the voice the file carries is still in the data flash.
  const auto file = emu::MakeUpdateFile(emu::NewerUpdateFile(Preset(26)));
  const auto voice = device->Peek(MemorySelector::DataFlash, 0, 1024);
  EXPECT_TRUE(std::equal(voice.begin(), voice.end(),
                         file.bytes.begin() + ModelCatalogue::VoiceFileOffset(26)));

  EXPECT_TRUE(run.main.OnRead()) << "allowed again once the update has ended";
}

// ERASE writes every unit of the data flash with 0xFF; a model without a data flash still gets
// one unit, and its bar must not divide by a zero size.
TEST(MainWindowTest, EraseWritesEveryDataFlashUnit) {
  struct Case {
    uint8_t type;
    uint32_t units;
  };
  for (const Case c : {Case{2, 2048}, Case{1, 1}}) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    WindowRun run;
    auto device = run.Plug(Preset(c.type));
    run.OpenUntilReady();
    device->ClearRecording();

    const size_t from = run.view.Calls().size();
    EXPECT_TRUE(run.main.OnErase());

    const auto cdbs = device->RecordedCdbs();
    ASSERT_EQ(cdbs.size(), c.units);
    for (uint32_t unit = 0; unit < c.units; ++unit) {
      EXPECT_EQ(CdbOpcode(cdbs[unit]), kOpWriteUnit);
      EXPECT_EQ(CdbSelector(cdbs[unit]), 1);
      EXPECT_EQ(CdbUnit(cdbs[unit]), unit);
    }
    const std::vector<uint8_t> flash =
        device->Peek(MemorySelector::DataFlash, 0, device->MemorySize(MemorySelector::DataFlash));
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));

    // Nothing but the bar moves: no text, no message.
    const std::vector<int> positions = run.view.Positions(from);
    EXPECT_EQ(run.view.Calls().size() - from, positions.size());
    ASSERT_EQ(positions.size(), c.units);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 100);
  }
}

TEST(MainWindowTest, ReadCopiesTheDataFlashAndAppliesItsVersionRecord) {
  WindowRun run;
  // A record of no accepted country leaves the country unknown at detection, so the copy's
  // record rule would still apply to the record planted afterwards.
  emu::PresetOptions preset = Preset(9);
  preset.country = 5;
  auto device = run.Plug(preset);
  run.OpenUntilReady();
  const DeviceInfo shown = run.main.State().deviceInfo;
  ASSERT_FALSE(IsAcceptedCountry(shown.country));
  const auto record = EncodeVersionRecord(kCountryRussia, 9, {0, 9, 9, 9});
  ASSERT_TRUE(device->Poke(MemorySelector::DataFlash, ModelCatalogue::FlashVersionRecordAddress(9),
                           record));

  EXPECT_TRUE(run.main.OnRead());

  const fs::path copy = run.folder / "ReadFlashData.bin";
  const uint32_t size = ModelCatalogue::FlashSize(9);
  ASSERT_TRUE(fs::exists(copy));
  ASSERT_EQ(fs::file_size(copy), size);
  std::vector<uint8_t> bytes(size);
  std::ifstream(copy, std::ios::binary)
      .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  EXPECT_EQ(bytes, device->Peek(MemorySelector::DataFlash, 0, size));
  // The copy's record rule: the device record takes the country and firmware of the record.
  EXPECT_EQ(run.main.State().deviceInfo.country, kCountryRussia);
  EXPECT_EQ(run.main.State().deviceInfo.fwVersion, (VersionDigits{0, 9, 9, 9}));
  EXPECT_EQ(run.main.State().deviceInfo.typeCode, shown.typeCode);
  EXPECT_EQ(run.view.Status().text, kReady);
  EXPECT_EQ(run.view.Status().position, 100);
}

TEST(MainWindowTest, UploadsALocalFileThroughTheHandlers) {
  WindowRun run;
  run.Plug(Preset(26));
  run.OpenUntilReady();
  run.ChooseNewerFile(26);
  ASSERT_TRUE(run.view.Control(ids::kUploadButton).enabled);
  run.main.OnVerifyChanged(false);
  run.main.OnUpload();
  ASSERT_TRUE(run.Pump([&] {
    return run.main.State().updatePhase == UpdatePhase::Finished ||
           run.main.State().updatePhase == UpdatePhase::Parked;
  }));

  EXPECT_EQ(run.main.State().updatePhase, UpdatePhase::Finished);
  EXPECT_EQ(run.view.Text(ids::kFwResultText), kUpdated);
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated);
  EXPECT_EQ(run.view.Text(ids::kDbResultText), kUpdated);
  ASSERT_FALSE(run.view.Messages().empty());
  EXPECT_EQ(run.view.Messages().back().text.rfind("Прошивка успешно обновлена! \n", 0), 0u);
  EXPECT_FALSE(fs::exists(run.folder / "VerifyFwData.bin")) << "the box was unchecked";

  // The window's runs go into the same history as the command line's, under its own name.
  const HistoryRead history = ReadHistory(run.folder.path(), 0);
  ASSERT_EQ(history.entries.size(), 2u);
  EXPECT_EQ(history.entries[0].kind, kHistoryDetect);
  EXPECT_EQ(history.entries[1].kind, kHistoryUpdate);
  EXPECT_EQ(history.entries[1].frontEnd, "korvan-updater");
  EXPECT_EQ(history.entries[1].error, "");
}

// Download fetches the newest package and hands it to the update worker, as Upload does with a
// chosen file.
TEST(MainWindowTest, DownloadsThePackageAndUpdatesTheDevice) {
  testing::ScopedTempDir tree("korvan_main_tree");
  emu::ServerTreeOptions published;
  published.types = {26};
  ASSERT_TRUE(emu::WriteServerTree(tree.path(), "15-05-2023", published).ok());
  emu::LoopbackServer server(tree.path());
  ASSERT_TRUE(server.Start()) << server.error();

  WindowRun run(1ms, server.url() + "wp-content/db/");
  auto device = run.Plug(Preset(26));
  run.OpenUntilReady();
  ASSERT_TRUE(run.view.Control(ids::kDownloadButton).enabled);
  run.main.OnDownload();
  EXPECT_FALSE(run.view.Control(ids::kDownloadButton).enabled);
  ASSERT_TRUE(run.Pump([&] {
    return run.main.State().downloadPhase == DownloadPhase::Failed ||
           run.main.State().updatePhase == UpdatePhase::Finished;
  }));
  EXPECT_EQ(run.main.State().downloadPhase, DownloadPhase::Picked);
  EXPECT_EQ(run.view.Text(ids::kFwResultText), kUpdated);
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), kUpdated);
  EXPECT_EQ(run.view.Text(ids::kDbResultText), kUpdated);
  ASSERT_FALSE(run.view.Messages().empty());
  EXPECT_EQ(run.view.Messages().back().text.rfind("Прошивка успешно обновлена! \n", 0), 0u);
  const auto file = emu::ServerUpdateFile(26, kCountryRussia, 0);
  const auto voice = device->Peek(MemorySelector::DataFlash, 0, 1024);
  EXPECT_TRUE(std::equal(voice.begin(), voice.end(),
                         file.bytes.begin() + ModelCatalogue::VoiceFileOffset(26)));
  EXPECT_FALSE(fs::exists(run.folder / "update")) << "the worker removes the package folder";
}

TEST(MainWindowTest, CloseDeletesTheWorkingCopies) {
  WindowRun run;
  run.Plug(Preset(2));
  run.OpenUntilReady();
  EXPECT_TRUE(run.main.OnRead());
  for (const char* name : {"TempFwData.bin", "TempImageData.bin", "ReadFlashData.bin"}) {
    ASSERT_TRUE(fs::exists(run.folder / name)) << name;
  }

  run.main.OnClose();
  EXPECT_FALSE(fs::exists(run.folder / "TempFwData.bin"));
  EXPECT_FALSE(fs::exists(run.folder / "TempImageData.bin"));
  EXPECT_TRUE(fs::exists(run.folder / "ReadFlashData.bin")) << "the user's read is kept";
}

// Closing while the detection searches ends the scans at once, whether it is asking drives or
// waiting out the pause between scans.
TEST(MainWindowTest, CloseDuringTheSearchEndsItPromptly) {
  for (const auto interval : {1ms, 30000ms}) {
    SCOPED_TRACE("pause " + std::to_string(interval.count()) + " ms");
    WindowRun run(interval);
    run.main.OnInitDialog();
    ASSERT_TRUE(
        run.Pump([&] { return run.main.State().detectionPhase == DetectionPhase::Searching; }));
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (run.host.OpenCount(kLastDrive) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_GE(run.host.OpenCount(kLastDrive), 1) << "a whole scan has been made";

    const auto start = std::chrono::steady_clock::now();
    run.main.OnClose();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    const int opens = run.host.OpenCount(kFirstDrive);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(run.host.OpenCount(kFirstDrive), opens) << "no scan after the close";
  }
}

// The user may close the window while an upload writes: the writing ends and the working
// copies go.
TEST(MainWindowTest, CloseDuringAnUploadEndsTheWriting) {
  WindowRun run;
  auto device = run.Plug(Preset(26));
  run.OpenUntilReady();
  run.ChooseNewerFile(26);
  device->SetCommandDelay(100us);
  const uint64_t before = device->CommandCount();
  run.main.OnUpload();
  ASSERT_TRUE(run.PumpPolling([&] { return device->CommandCount() > before + 50; }));

  run.window.Close();  // the window refuses tasks before it closes
  EXPECT_TRUE(run.main.OnClose()) << "the worker ended within the grace period";
  const uint64_t atClose = device->CommandCount();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(device->CommandCount(), atClose) << "nothing is sent after the close";
  EXPECT_NE(run.main.State().updatePhase, UpdatePhase::Finished);
  EXPECT_FALSE(fs::exists(run.folder / "TempFwData.bin"));
  EXPECT_FALSE(fs::exists(run.folder / "TempImageData.bin"));
}

// A device that stops answering holds a worker inside one command for good; the close still
// ends on time: it lets the worker go after the grace period and deletes the working copies.
// The device is never released, so the worker let go never comes back into the window.
TEST(MainWindowTest, CloseLetsAWorkerStuckInADeviceCommandGo) {
  enum class When { Detecting, Uploading };
  for (const When when : {When::Detecting, When::Uploading}) {
    SCOPED_TRACE(when == When::Detecting ? "detecting" : "uploading");
    WindowRun run;
    auto device = run.Plug(Preset(26));
    constexpr uint64_t kAnswered = 20;
    uint64_t stalledAt = kAnswered + 1;
    if (when == When::Detecting) {
      device->StallAfter(kAnswered);  // INQUIRY and part of the firmware copy
      run.main.OnInitDialog();
    } else {
      run.OpenUntilReady();
      run.ChooseNewerFile(26);
      stalledAt += device->CommandCount();
      device->StallAfter(kAnswered);
      run.main.OnUpload();
    }
    ASSERT_TRUE(run.PumpPolling([&] { return device->CommandCount() >= stalledAt; }));
    ASSERT_TRUE(fs::exists(run.folder / "TempFwData.bin"));

    run.window.Close();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(run.main.OnClose()) << "the stuck worker was let go";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
#ifndef _WIN32
    // Windows removes no file that a thread still holds open: there the copy the stuck worker
    // writes stays behind, and the next run's detection overwrites it.
    EXPECT_FALSE(fs::exists(run.folder / "TempFwData.bin"));
    EXPECT_FALSE(fs::exists(run.folder / "TempImageData.bin"));
#endif
    EXPECT_EQ(device->CommandCount(), stalledAt) << "nothing is sent after the stalled command";
  }
}

TEST(MainWindowTest, LogoRectangleIncludesItsEdges) {
  struct Case {
    int x, y;
    bool inside;
  };
  const Case cases[] = {{25, 20, true},   {225, 45, true},  {100, 30, true}, {24, 30, false},
                        {226, 30, false}, {100, 19, false}, {100, 46, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(InLogoRect(c.x, c.y), c.inside) << c.x << "," << c.y;
  }
}

}  // namespace
}  // namespace korvan
