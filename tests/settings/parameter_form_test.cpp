// The settings form without windows: loading selections from Parameters.ini, "По умолч", Ok
// and the comparison with the unit read when the form opened.
#include "settings/parameter_form.h"

#include <gtest/gtest.h>

#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "settings/device_settings_reader.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

constexpr uint8_t kRussia = 3;
constexpr uint8_t kUzbekistan = 12;

struct FormFolder {
  testing::ScopedTempDir folder{"korvan_form"};
  std::filesystem::path ini = ParametersIniPath(folder.path());
};

TEST(ParameterFormTest, LoadsSelectionsAndSavesThemBack) {
  FormFolder f;
  MenuValues values{};
  for (int i = 0; i < kMenuSettingCount; ++i) {
    values[static_cast<size_t>(i)] = DefaultStoredValue(i, kRussia);
  }
  values[7] = 1;    // Smart GPS "Вкл": entry 0
  values[33] = 99;  // no entry
  values[31] = -1;  // saved without selection
  values[40] = 13;  // ASSPD entry 1
  ASSERT_TRUE(WriteMenuValues(f.ini, values));
  ASSERT_TRUE(WriteMenuValue(f.ini, "Other", "Keep", 7));

  ParameterForm form(24, kRussia, false, f.ini);
  form.Load();
  EXPECT_EQ(form.Selection(7), 0);
  EXPECT_EQ(form.Selection(33), std::nullopt);
  EXPECT_EQ(form.Selection(31), std::nullopt);
  EXPECT_EQ(form.Selection(40), 1);
  EXPECT_EQ(form.Selection(8), 18);

  form.Select(8, 2);
  form.Select(34, std::nullopt);
  form.Select(0, 5);  // no such entry: nothing selected
  const auto ok = form.Ok();
  EXPECT_TRUE(ok.saved);
  MenuValues expected = values;
  expected[8] = 2;
  expected[33] = 3;  // none saves -1 + 4
  expected[34] = 0;  // none saves -1 + 1
  expected[0] = -1;
  EXPECT_EQ(ok.values, expected);
  EXPECT_EQ(ok.bytes[0], 0xFF);
  EXPECT_EQ(ok.bytes[31], 0xFF);
  EXPECT_EQ(ReadMenuValues(f.ini), expected);
  EXPECT_EQ(ReadMenuValue(f.ini, "Other", "Keep", "99"), 7);
}

TEST(ParameterFormTest, MissingFileSelectsNothing) {
  FormFolder f;
  ParameterForm form(24, kRussia, false, f.ini);
  form.Load();
  for (int i = 0; i < kMenuSettingCount; ++i) {
    EXPECT_EQ(form.Selection(i), std::nullopt) << i;
  }
  EXPECT_FALSE(std::filesystem::exists(f.ini));
}

TEST(ParameterFormTest, DefaultsWriteStoredValuesAndSelectTheirEntries) {
  for (const uint8_t country : {kRussia, kUzbekistan}) {
    SCOPED_TRACE("country " + std::to_string(country));
    FormFolder f;
    ParameterForm form(24, country, false, f.ini);
    ASSERT_TRUE(form.Defaults());
    const auto written = ReadMenuValues(f.ini);
    ASSERT_TRUE(written.has_value());
    for (int i = 0; i < kMenuSettingCount; ++i) {
      const int stored = DefaultStoredValue(i, country);
      EXPECT_EQ((*written)[static_cast<size_t>(i)], stored) << i;
      EXPECT_EQ(form.Selection(i), EntryForStored(i, stored, 24)) << i;
    }
    // Loading the file again selects the same entries.
    ParameterForm reloaded(24, country, false, f.ini);
    reloaded.Load();
    for (int i = 0; i < kMenuSettingCount; ++i) {
      EXPECT_EQ(reloaded.Selection(i), form.Selection(i)) << i;
    }
  }
}

TEST(ParameterFormTest, ChangedComparesWithTheUnitReadAtOpening) {
  emu::PresetOptions preset;
  preset.rawType = 6;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  emu::SimulatedDiskHost host;
  host.Attach(2, device);
  DriveSlotTable slots;
  FormFolder f;
  UnitBuffer readBlock{};
  ASSERT_EQ(ReadDeviceSettings(host, slots, 2, 6, f.ini, readBlock), SettingsReadResult::Read);

  ParameterForm form(6, kCountryThird, true, f.ini);
  form.Load();
  EXPECT_FALSE(form.Changed(readBlock));
  const auto original = form.Selection(8);
  form.Select(8, 0);
  EXPECT_TRUE(form.Changed(readBlock));
  form.Select(8, original);
  EXPECT_FALSE(form.Changed(readBlock));
  std::array<uint8_t, kMenuSettingCount> unchanged{};
  std::copy_n(readBlock.begin(), unchanged.size(), unchanged.begin());
  EXPECT_EQ(form.Ok().bytes, unchanged);
}

TEST(ParameterFormTest, ShowsEntriesLabelsAndDisabledLists) {
  FormFolder f;
  ParameterForm form(6, kUzbekistan, true, f.ini);
  EXPECT_EQ(form.Entries(0).at(1), "O`zbek");
  EXPECT_EQ(form.Entries(7).size(), 2u);
  EXPECT_EQ(form.Label(9), "Город1 ");
  EXPECT_EQ(form.Group(9), "Смарт GPS");
  EXPECT_EQ(form.ControlId(47), 1092);
  EXPECT_EQ(form.Tooltip(1), "Вкл/Выкл Х-диапазона");
  for (int i = 0; i < kMenuSettingCount; ++i) {
    EXPECT_EQ(form.Enabled(i), i == 1 || (i >= 4 && i <= 30)) << i;
  }
  // A disabled list is still saved.
  form.Select(47, 1);
  EXPECT_EQ(form.Ok().values[47], 1);
}

}  // namespace
}  // namespace korvan
