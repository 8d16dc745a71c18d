// The update worker's special paths: the type-8 rules, settings uploads through the settings
// writer, and the result messages.
#include <gtest/gtest.h>

#include <fstream>

#include "app/control_ids.h"
#include "app/show_result.h"
#include "app/update_worker.h"
#include "app/upload_command.h"
#include "emulator/update_file_builder.h"
#include "tests/support/detection_run.h"

namespace korvan {
namespace {

constexpr int kDrive = 2;

class RecordingSettingsWriter final : public SettingsBlockWriter {
 public:
  int WriteSettingsBlock(DeviceChannel& channel, int uploadMode) override {
    modes.push_back(uploadMode);
    openWhenCalled = channel.IsOpen();
    return result;
  }
  std::vector<int> modes;
  bool openWhenCalled = false;
  int result = 0;
};

void RunWorker(testing::DetectionRun& run, UpdateWorker& worker, bool viaUploadCommand) {
  if (viaUploadCommand) {
    UploadCommand(run.view, run.state, worker);
  } else {
    worker.Start();
  }
  run.window.RunUntil([&run] { return run.state.updatePhase != UpdatePhase::Running; },
                      std::chrono::seconds(60));
  worker.Stop();
  run.window.RunPending();
}

TEST(UpdateRulesTest, Type8KeepsFirmware0173AndTakesOnlyVoicesStartingWithZero) {
  emu::PresetOptions device;
  device.rawType = 8;
  device.firmware = {0, 1, 7, 3};
  testing::DetectionRun run;
  run.host.Attach(kDrive, emu::MakeSimulatedDevice(emu::MakePresetImages(device)));
  ASSERT_TRUE(run.Run());

  emu::UpdateFileOptions update;
  update.contents = device;
  update.contents.voice = {1, 0, 0, 2};  // a voice for newer firmware: not for this device
  update.contents.database = {'2', '0', '2', '5', '1', '2', '0', '1'};
  const emu::UpdateFile file = emu::MakeUpdateFile(update);
  const auto path = emu::WriteUpdateFile(run.folder.path(), file).value();
  run.state.UpdateFilePath = path;
  run.state.filePathText = path.string();
  run.state.UpdateFileReady = true;
  run.state.updateFileInfo.fileAccepted = true;
  run.state.updateFileInfo.fileFwVersion = {0, 1, 7, 3};
  run.state.updateFileInfo.fileVoiceVersion = {1, 0, 0, 2};

  UpdateWorker worker(run.host, run.slots, run.window, run.view, run.state);
  RunWorker(run, worker, true);
  const std::string blank = "              ";
  EXPECT_EQ(run.view.Text(ids::kFwResultText), blank) << "firmware step skipped";
  EXPECT_EQ(run.view.Text(ids::kVoiceResultText), blank) << "voice step skipped";
  // The header's lengths are read although the firmware step was skipped: the database is
  // compared in full and written (it used to compare zero bytes and say "Same").
  EXPECT_EQ(run.view.Text(ids::kDbResultText), "Обновлено");
  EXPECT_EQ(run.view.Messages().back().text, "База данных успешно обновлена!");
}

TEST(UpdateRulesTest, SettingsUploadsGoThroughTheSettingsWriter) {
  struct Case {
    uint8_t type;
    int modeSet;      // what the settings editor left
    int modeWritten;  // what the writer is asked for
  };
  const Case cases[] = {{4, 5, 5}, {9, 5, 6}, {24, 5, 6}, {26, 7, 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    emu::PresetOptions device;
    device.rawType = c.type;
    testing::DetectionRun run;
    run.host.Attach(kDrive, emu::MakeSimulatedDevice(emu::MakePresetImages(device)));
    ASSERT_TRUE(run.Run());
    const size_t messagesBefore = run.view.Messages().size();
    run.state.UploadMode = c.modeSet;
    run.state.SettingsPending = true;
    run.state.QuietUpload = true;
    RecordingSettingsWriter settings;
    UpdateWorker worker(run.host, run.slots, run.window, run.view, run.state, &settings);
    const auto statusBefore = run.view.Status();
    RunWorker(run, worker, false);
    EXPECT_EQ(settings.modes, std::vector<int>{c.modeWritten});
    EXPECT_TRUE(settings.openWhenCalled);
    EXPECT_FALSE(run.state.SettingsPending);
    EXPECT_FALSE(run.state.UpdateStarted) << "a settings run leaves the full sequence to come";
    ASSERT_EQ(run.view.Messages().size(), messagesBefore + 1);
    EXPECT_EQ(run.view.Messages().back().text, "Загрузка настроек произведена.");
    EXPECT_EQ(run.view.Status().text, statusBefore.text) << "a quiet upload leaves the bar alone";
  }
}

TEST(UpdateRulesTest, ResultMessages) {
  struct Case {
    int code;
    const char* text;
    MessageIcon icon;
  };
  const Case cases[] = {
      {0, "Пожалуйста, обновите устройство вручную с сайта!", MessageIcon::None},
      {1, "Пожалуйста, обновите устройство вручную с сайта!", MessageIcon::None},
      {2, "", MessageIcon::None},
      {3,
       "Прошивка успешно обновлена! \nПри следующем включении устройства сделайте сброс на "
       "Заводские установки!",
       MessageIcon::Information},
      {4, "База данных успешно обновлена!", MessageIcon::Information},
      {5, "", MessageIcon::None},
      {6, "Неверный файл обновления.", MessageIcon::None},
      {7,
       "          Внимание!\nВаше устройство совместимо\nс прошивкой v01.73 и ниже.\nОбновится "
       "только база данных.",
       MessageIcon::Information},
      {8, "Загрузка настроек произведена.", MessageIcon::Information},
      {9, "Ошибка обновления! Повторите загрузку.", MessageIcon::Error},
      {10, "Ошибка загрузки настроек! Повторите загрузку.", MessageIcon::Error},
      {11, "", MessageIcon::None},
  };
  for (const auto& c : cases) {
    RecordingView view;
    ShowResult(view, c.code);
    if (*c.text == '\0') {
      EXPECT_TRUE(view.Messages().empty()) << c.code;
      continue;
    }
    ASSERT_EQ(view.Messages().size(), 1u) << c.code;
    EXPECT_EQ(view.Messages()[0].text, c.text) << c.code;
    EXPECT_EQ(view.Messages()[0].icon, c.icon) << c.code;
  }
}

}  // namespace
}  // namespace korvan
