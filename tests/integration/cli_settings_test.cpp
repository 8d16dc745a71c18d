// `korvan settings` on device folders: a change reaches exactly its byte of the settings unit
// (with the signature where the model wants it), "По умолч" writes the factory table, and
// every refused assignment leaves the device alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emulator/device_folder.h"
#include "emulator/device_presets.h"
#include "settings/menu_settings.h"
#include "tests/support/cli_run.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::ReadAll;

constexpr size_t kFlashSettings = 0x7FC000;
constexpr size_t kMemory2Settings = 0x08080400 - 0x08080000;

struct Device {
  explicit Device(uint8_t type) {
    emu::PresetOptions preset;
    preset.rawType = type;
    EXPECT_TRUE(emu::WriteDeviceFolder(folder, emu::MakePresetImages(preset)).ok());
  }

  testing::CliRun Korvan(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--device-dir", folder.string(), "--workdir", work.path().string()});
    return testing::RunCli(args);
  }

  Bytes File(const char* name) const { return ReadAll(folder / name); }

  testing::ScopedTempDir work{"korvan_settings_cli"};
  fs::path folder = work / "device";
};

TEST(CliSettingsTest, SetChangesExactlyItsByteAndShowShowsIt) {
  for (const uint8_t type : {6, 24}) {
    SCOPED_TRACE(static_cast<int>(type));
    Device device(type);
    Bytes expected = device.File(emu::kFlashFileName);
    ASSERT_EQ(expected[kFlashSettings + 1], 0) << "the preset has the X band on";
    expected[kFlashSettings + 1] = 1;

    const testing::CliRun set = device.Korvan({"settings", "set", "X OnOff=Вык", "--json"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find(R"("written": true, "changed": [{"key": "X OnOff", "from": "Вкл", )"
                           R"("to": "Вык", "stored": 1}])"),
              std::string::npos)
        << set.out;
    const Bytes flash = device.File(emu::kFlashFileName);
    EXPECT_EQ(flash, expected);
    EXPECT_EQ(Bytes(flash.begin() + kFlashSettings + 1020, flash.begin() + kFlashSettings + 1024),
              (Bytes{0x19, 0x54, 0xAF, 0x13}));

    const testing::CliRun show = device.Korvan({"settings", "show", "--json"});
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find(R"({"key": "X OnOff", "label": "X", "stored": 1, "entry": "Вык", )"
                            R"("enabled": true})"),
              std::string::npos)
        << show.out;
  }
}

TEST(CliSettingsTest, DefaultsWriteTheFactoryTableIntoTheLegacyMemory) {
  Device device(4);
  Bytes expected = device.File(emu::kMemory2FileName);
  const Bytes flash = device.File(emu::kFlashFileName);
  for (int i = 0; i < kMenuSettingCount; ++i) {
    expected[kMemory2Settings + static_cast<size_t>(i)] =
        static_cast<uint8_t>(DefaultStoredValue(i, kCountryRussia));
  }

  const testing::CliRun run = device.Korvan({"settings", "defaults"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Загрузка настроек произведена."), std::string::npos) << run.out;
  EXPECT_EQ(device.File(emu::kMemory2FileName), expected);
  EXPECT_EQ(device.File(emu::kFlashFileName), flash);
}

TEST(CliSettingsTest, RefusedAssignmentsWriteNothing) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"Foo=Вык"}, R"("Foo": no such setting; the settings are "Language", "X OnOff")"},
      {{"X OnOff=Off"}, R"("X OnOff" has no entry "Off"; its list has "Вкл", "Вык")"},
      {{"Ku OnOff=Вкл"}, R"("Ku OnOff" cannot be changed: the form disables it)"},
      {{"X OnOff"}, "expected KEY=ENTRY"},
      {{"X OnOff=Вык", "X OnOff=Вкл"}, R"("X OnOff" is given twice)"},
      {{"X OnOff=Вык", "Highway=1501m"}, R"("Highway" has no entry "1501m")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    Device device(6);
    const Bytes flash = device.File(emu::kFlashFileName);
    std::vector<std::string> args{"settings", "set"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::CliRun run = device.Korvan(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(device.File(emu::kFlashFileName), flash);
  }
}

}  // namespace
}  // namespace korvan
