// "Настройки меню" on types 25-27 through the main window's handler: the schema from a served
// tree, the device's packet, the dialog played by the recorder, and what reaches the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/menu_settings_command.h"
#include "app/process_value_form.h"
#include "app/show_result.h"
#include "device/command_block.h"
#include "emulator/settings_schemas.h"
#include "settings/settings_schema.h"
#include "settings/settings_unit_writer.h"
#include "tests/app/schema_pick.h"
#include "tests/app/window_run.h"
#include "tests/support/served_tree.h"

namespace korvan {
namespace {

using testing::Pick;
using testing::Preset;
using testing::ServedTree;
using testing::WindowRun;

using Bytes = std::vector<uint8_t>;

size_t Writes(const emu::SimulatedDevice& device) {
  const auto cdbs = device.RecordedCdbs();
  return static_cast<size_t>(std::count_if(cdbs.begin(), cdbs.end(),
                                           [](const Cdb& cdb) { return cdb[0] == kOpWriteUnit; }));
}

size_t DialogsShown(const RecordingView& view) {
  return static_cast<size_t>(std::count(view.Calls().begin(), view.Calls().end(), "schema form"));
}

// A main window on a ready type-26 device, its schemas served from `tree`.
struct SchemaRun : WindowRun {
  explicit SchemaRun(const ServedTree& tree)
      : WindowRun(std::chrono::milliseconds(1), tree.Url()), device(Plug(Preset(26))) {
    OpenUntilReady();
    device->ClearRecording();
  }
  Bytes Unit() const {
    return device->Peek(MemorySelector::DataFlash, kPacketSettingsAddress, kUnitSize);
  }
  std::filesystem::path Schema() const { return folder / "Schema.csv"; }

  std::shared_ptr<emu::SimulatedDevice> device;
};

TEST(SchemaSettingsCommandTest, OkWritesThePacketAndCancelWritesNothing) {
  ServedTree tree({26});
  SchemaRun run(tree);
  const Bytes before = run.Unit();

  run.view.QueueSchemaFormAnswer([](ProcessValueForm&) { return false; });
  run.main.OnMenuSettings();
  EXPECT_EQ(DialogsShown(run.view), 1U);
  EXPECT_EQ(Writes(*run.device), 0U);
  EXPECT_FALSE(std::filesystem::exists(run.Schema()));

  run.view.QueueSchemaFormAnswer([](ProcessValueForm& form) { return Pick(form, "Лазер", "Вкл"); });
  run.main.OnMenuSettings();
  EXPECT_FALSE(run.view.Control(ids::kMenuSettingsButton).enabled) << "while the run lasts";
  ASSERT_TRUE(run.Pump([&] { return run.main.State().updatePhase == UpdatePhase::Finished; }));
  EXPECT_EQ(run.view.Messages().back().text, kSettingsLoadedText);
  EXPECT_TRUE(run.view.Control(ids::kMenuSettingsButton).enabled);
  EXPECT_FALSE(std::filesystem::exists(run.Schema()));
  const Bytes after = run.Unit();
  EXPECT_EQ(Bytes(after.begin(), after.begin() + 24), Bytes(before.begin(), before.begin() + 24))
      << "header, version and length as the device had them";
  EXPECT_EQ(Bytes(after.end() - 4, after.end()), (Bytes{0x19, 0x54, 0xAF, 0x13}));
  SchemaMeta meta;
  std::vector<SettingField> fields;
  ASSERT_TRUE(LoadSettingsSchemaBytes(emu::SettingsSchemaText(26), meta, fields));
  const auto laser = std::find_if(fields.begin(), fields.end(),
                                  [](const SettingField& f) { return f.name == "Лазер"; });
  ASSERT_NE(laser, fields.end());
  EXPECT_EQ(before[24 + static_cast<size_t>(laser->index)], 0);
  EXPECT_EQ(after[24 + static_cast<size_t>(laser->index)], 1);
}

TEST(SchemaSettingsCommandTest, FailuresOpenNoDialogAndWriteNothing) {
  struct Case {
    const char* what;
    std::function<void(SchemaRun&)> arrange;
    const char* message;
  };
  const Case cases[] = {
      {"no schema on the server", [](SchemaRun&) {}, "패킷 파싱 실패\nCSV 열기 실패"},
      {"the unit cannot be read",
       [](SchemaRun& run) {
         run.device->FailMatching(kOpReadUnit, UnitNumber(kPacketSettingsAddress),
                                  MemorySelector::DataFlash);
       },
       "Ошибка соединения!!"},
      {"a length field beyond the unit",
       [](SchemaRun& run) {
         const uint8_t length[] = {0xE9, 0x03};
         run.device->Poke(MemorySelector::DataFlash, kPacketSettingsAddress + 22, length);
       },
       "패킷 파싱 실패\n길이 필드가 실제 데이터보다 큼 : 1001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The first case's tree publishes no schema of type 26.
    ServedTree tree(std::string_view(c.what) == "no schema on the server"
                        ? std::vector<int8_t>{25}
                        : std::vector<int8_t>{26});
    SchemaRun run(tree);
    c.arrange(run);
    run.view.QueueSchemaFormAnswer([](ProcessValueForm&) { return true; });
    run.main.OnMenuSettings();
    EXPECT_EQ(DialogsShown(run.view), 0U);
    ASSERT_EQ(run.view.Messages().size(), 1U);
    EXPECT_EQ(run.view.Messages()[0].text, c.message);
    EXPECT_EQ(Writes(*run.device), 0U);
    EXPECT_EQ(run.main.State().updatePhase, UpdatePhase::Idle);
  }
}

TEST(SchemaSettingsCommandTest, APacketTheUnitCannotHoldBesideTheSignatureIsRefused) {
  // Payload 996: packet 1020 bytes, up to the signature; 997 would lose its last byte.
  for (const int payload : {996, 997}) {
    SCOPED_TRACE(payload);
    ServedTree tree({26});
    std::ofstream(tree.root / "wp-content/db/schema_FernUltra.csv", std::ios::binary)
        << "rowtype,type,name,category,index,display,value,min,max,unit,scale,rus_default\n"
           "meta,byte_length,,,,,,,,,,"
        << payload << "\nfield,toggle,Лазер,Радар,5,7,0,0,1,1,1,0\n";
    SchemaRun run(tree);
    run.view.QueueSchemaFormAnswer(
        [](ProcessValueForm& form) { return Pick(form, "Лазер", "Вкл"); });
    run.main.OnMenuSettings();
    if (payload == 997) {
      EXPECT_EQ(run.view.Messages().back().text, kPacketBuildFailedText);
      EXPECT_EQ(Writes(*run.device), 0U);
    } else {
      ASSERT_TRUE(run.Pump([&] { return run.main.State().updatePhase == UpdatePhase::Finished; }));
      EXPECT_EQ(run.view.Messages().back().text, kSettingsLoadedText);
      EXPECT_EQ(run.Unit()[24 + 5], 1);
    }
  }
}

}  // namespace
}  // namespace korvan
