// The settings of types 25-27 from the command line: `korvan settings schema` and `packet` on
// schema files, and `korvan settings show|set` on device folders against a served tree.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "emulator/settings_schemas.h"
#include "settings/settings_schema.h"
#include "tests/support/cli_run.h"
#include "tests/support/example_schema.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/served_tree.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::ReadAll;
using testing::ServedTree;

constexpr size_t kUnit = 0xFFC000;

fs::path WriteText(const fs::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
  return file;
}

bool Has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

TEST(CliSchemaSettingsTest, SchemaPrintsWhatTheDialogLoads) {
  testing::ScopedTempDir work("korvan_schema_cli");
  const fs::path schema = WriteText(work / "example.csv", testing::kExampleSchemaCsv);

  const testing::CliRun run = testing::RunCli({"settings", "schema", schema.string(), "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, R"({"ok": true, "message": "", "meta": {"schema_version": "2.4.1-07", )"
                           R"("byte_length": 64, "fw_index": 62}, "fields": [)"))
      << run.out;
  EXPECT_TRUE(Has(run.out, R"({"index": 9, "display": 6, "category": "GPS", "name": "City 1 )"
                           R"(range", "type": "number", "options": [], "rus_default": 8, )"
                           R"("uzb_default": 6, "tjk_default": 4, "value": 255, "min": 2, "max": )"
                           R"(28, "unit": 2, "scale": 50, "suffix": "m", "hint": "Search range )"
                           R"(in town"})"))
      << run.out;

  const testing::CliRun missing =
      testing::RunCli({"settings", "schema", (work / "none.csv").string(), "--json"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.out, R"("ok": false, "message": "CSV 열기 실패")")) << missing.out;

  for (const int8_t type : emu::kSchemaModelTypes) {
    const fs::path served = WriteText(work / "served.csv", emu::SettingsSchemaText(type));
    EXPECT_EQ(testing::RunCli({"settings", "schema", served.string()}).status, 0) << int{type};
  }
}

TEST(CliSchemaSettingsTest, PacketIsWhatOkWouldSend) {
  testing::ScopedTempDir work("korvan_packet_cli");
  const fs::path schema = WriteText(work / "example.csv", testing::kExampleSchemaCsv);
  const fs::path out = work / "packet.bin";

  // No device packet: an all-zero unit, so a zero header and version, and no value from it.
  const testing::CliRun run = testing::RunCli(
      {"settings", "packet", "--schema", schema.string(), "--country", "UZB", "--defaults", "--set",
       "City 1 range=400 m", "--out", out.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, R"({"ok": true, "message": "", "version": "000000", "country": 1, )"
                     R"("visible": ["Laser", "City 1 range"], "packetLength": 88})"
                     "\n");
  Bytes expected(88, 0);
  std::fill(expected.begin() + 16, expected.begin() + 22, '0');
  expected[22] = 64;
  expected[24 + 62] = 1;  // UZB
  expected[24 + 5] = 1;   // Laser's UZB default
  expected[24 + 9] = 8;   // 400 m
  EXPECT_EQ(ReadAll(out), expected);

  // The device's header and version travel into the packet.
  Bytes unit(1024, 0);
  for (size_t i = 0; i < 16; ++i) {
    unit[i] = static_cast<uint8_t>(0xA0 + i);
  }
  const std::string version = "000412";
  std::copy(version.begin(), version.end(), unit.begin() + 16);
  unit[22] = 9;  // bytes 0-8: City 1 range at 9 lies beyond
  unit[24 + 5] = 1;
  const fs::path device = work / "unit.bin";
  std::ofstream(device, std::ios::binary).write(reinterpret_cast<const char*>(unit.data()), 1024);
  ASSERT_EQ(testing::RunCli({"settings", "packet", "--schema", schema.string(), "--device-packet",
                             device.string(), "--out", out.string()})
                .status,
            0);
  const Bytes packet = ReadAll(out);
  ASSERT_EQ(packet.size(), 88U);
  EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 22), Bytes(unit.begin(), unit.begin() + 22));
  EXPECT_EQ(packet[24 + 5], 1);
  EXPECT_EQ(packet[24 + 9], 0xFF) << "beyond the device's payload: still unset";
}

TEST(CliSchemaSettingsTest, PacketRefusals) {
  testing::ScopedTempDir work("korvan_packet_refusals");
  const fs::path schema = WriteText(work / "example.csv", testing::kExampleSchemaCsv);
  const fs::path out = (work / "packet.bin").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{"--country", "KAZ"}, 2, R"(--country "KAZ": the country list has "RUS", "UZB", "TJK")"},
      {{"--country", "TJK", "--set", "City 1 range=400 m"}, 2, "is not shown for this country"},
      {{"--set", "Laser=Maybe"}, 2, R"("Laser" has no entry "Maybe"; its list has "Вык", "Вкл")"},
      {{"--set", "Radar=Вкл"}, 2, R"("Radar": no such setting)"},
      {{"--set", "City 1 range=350 m"}, 2, R"(has no entry "350 m")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    std::vector<std::string> args{"settings",      "packet", "--schema",
                                  schema.string(), "--out",  out.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::CliRun run = testing::RunCli(args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(Has(run.err, c.says)) << run.err;
    EXPECT_FALSE(fs::exists(out));
  }

  // A packet the device's length field cannot describe: the dialog's parse failure.
  Bytes unit(1024, 0);
  unit[22] = 0xE9;
  unit[23] = 0x03;
  const fs::path device = work / "unit.bin";
  std::ofstream(device, std::ios::binary).write(reinterpret_cast<const char*>(unit.data()), 1024);
  const testing::CliRun run =
      testing::RunCli({"settings", "packet", "--schema", schema.string(), "--device-packet",
                       device.string(), "--out", out.string(), "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            R"({"ok": false, "message": "패킷 파싱 실패\n길이 필드가 실제 데이터보다 큼 : 1001"})"
            "\n");
}

struct SchemaDevice {
  explicit SchemaDevice(uint8_t type) {
    emu::PresetOptions preset;
    preset.rawType = type;
    EXPECT_TRUE(emu::WriteDeviceFolder(folder, emu::MakePresetImages(preset)).ok());
  }
  testing::CliRun Korvan(const std::string& server, std::vector<std::string> args) const {
    args.insert(args.begin(), {"--device-dir", folder.string(), "--workdir", work.path().string(),
                               "--server", server});
    return testing::RunCli(args);
  }
  Bytes Flash() const { return ReadAll(folder / emu::kFlashFileName); }

  testing::ScopedTempDir work{"korvan_schema_device"};
  fs::path folder = work / "device";
};

// The payload index of the field `name` in the served schema of `type`.
size_t IndexOf(int8_t type, std::string_view name) {
  SchemaMeta meta;
  std::vector<SettingField> fields;
  EXPECT_TRUE(LoadSettingsSchemaBytes(emu::SettingsSchemaText(type), meta, fields));
  for (const SettingField& field : fields) {
    if (field.name == name) {
      return static_cast<size_t>(field.index);
    }
  }
  ADD_FAILURE() << "no field " << name;
  return 0;
}

TEST(CliSchemaSettingsTest, SetWritesAVerifiedPacketKeepingTheDevicesHeaderAndVersion) {
  ServedTree tree({26});
  SchemaDevice device(26);
  const Bytes before = device.Flash();
  const size_t laser = IndexOf(26, "Лазер");
  ASSERT_EQ(before[kUnit + 24 + laser], 0) << "the preset has the laser off";

  const testing::CliRun show = device.Korvan(tree.Url(), {"settings", "show", "--json"});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_TRUE(Has(show.out, R"({"country": "RUS", "countries": ["RUS", "UZB", "TJK"], )"))
      << show.out;
  EXPECT_TRUE(Has(show.out, R"("name": "Лазер", "value": "Вык", "options": ["Вык", "Вкл"]})"));

  const testing::CliRun set = device.Korvan(tree.Url(), {"settings", "set", "Лазер=Вкл"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_TRUE(Has(set.out, "Загрузка настроек произведена.")) << set.out;
  const Bytes after = device.Flash();
  EXPECT_EQ(Bytes(after.begin() + kUnit, after.begin() + kUnit + 24),
            Bytes(before.begin() + kUnit, before.begin() + kUnit + 24));
  EXPECT_EQ(after[kUnit + 24 + laser], 1);
  EXPECT_EQ(Bytes(after.begin() + kUnit + 1020, after.begin() + kUnit + 1024),
            (Bytes{0x19, 0x54, 0xAF, 0x13}));
  EXPECT_FALSE(fs::exists(device.work / "Schema.csv")) << "the schema goes with the command";
}

TEST(CliSchemaSettingsTest, NoSchemaFromTheServerWritesNothing) {
  ServedTree tree({9});  // publishes no schema
  SchemaDevice device(26);
  // A schema an earlier run left behind is not taken for this one.
  WriteText(device.work / "Schema.csv", emu::SettingsSchemaText(26));
  const Bytes before = device.Flash();

  const testing::CliRun run = device.Korvan(tree.Url(), {"settings", "set", "Лазер=Вкл"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.err, "패킷 파싱 실패\nCSV 열기 실패")) << run.err;
  EXPECT_EQ(device.Flash(), before);

  // The user's own schema instead of the server's.
  const fs::path own = WriteText(device.work / "own.csv", emu::SettingsSchemaText(26));
  const testing::CliRun local =
      device.Korvan(tree.Url(), {"settings", "--schema", own.string(), "set", "Лазер=Вкл"});
  EXPECT_EQ(local.status, 0) << local.err;
  EXPECT_EQ(device.Flash()[kUnit + 24 + IndexOf(26, "Лазер")], 1);
}

}  // namespace
}  // namespace korvan
