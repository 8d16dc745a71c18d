#include "device/voice_names.h"

#include <gtest/gtest.h>

#include <string>

namespace korvan {
namespace {

struct Case {
  int type;
  uint8_t country;
  uint8_t packageCountry;
  bool legacyModel;
  bool comboEnabled;
  std::vector<std::pair<std::string, int>> items;  // text, item data
};

TEST(VoiceNamesTest, ComboItemsByModelAndCountry) {
  const std::string female = "женский голос";
  const std::string femaleReduced = "женский урезанный голос";
  const std::string male = "мужской голос";
  const std::string maleReduced = "мужской урезанный голос";
  const std::string russian = "Русский голос";
  const std::string uzbek = "узбекский голос";
  const std::vector<std::pair<std::string, int>> fourVoices{
      {female, 0}, {femaleReduced, 1}, {male, 2}, {maleReduced, 3}};
  const std::vector<std::pair<std::string, int>> uzbekList{{russian, 0}, {uzbek, 1}};

  const Case cases[] = {
      {5, 3, 0, true, true, {{femaleReduced, 1}, {maleReduced, 3}}},
      {9, 3, 12, false, true, uzbekList},
      {9, 12, 0, false, true, uzbekList},
      {9, 12, 3, false, true, fourVoices},  // a chosen package country wins
      {26, 12, 0, false, true, {{femaleReduced, 0}}},
      {25, 3, 3, false, true, {{femaleReduced, 0}}},
      {6, 3, 0, true, true, {{female, 0}}},
      {3, 0, 0, true, true, fourVoices},
      {24, 109, 0, false, true, fourVoices},
      // A legacy model counts as Russian unless a package country was chosen...
      {4, 12, 0, true, true, fourVoices},
      {4, 12, 12, true, true, uzbekList},
      // ... and without a voice list the combo box is disabled.
      {1, 3, 0, true, false, {}},
      {2, 3, 0, true, false, {}},
      {7, 3, 0, true, false, {}},
      {12, 3, 0, false, false, {}},
      {28, 3, 0, false, false, {}},
      {0, 3, 0, false, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " country " + std::to_string(c.country) +
                 " package " + std::to_string(c.packageCountry));
    DeviceInfo info;
    info.country = c.country;
    info.packageCountry = c.packageCountry;
    info.legacyModel = c.legacyModel;
    const auto items = VoiceComboItems(c.type, info);
    ASSERT_EQ(items.has_value(), c.comboEnabled);
    if (!items) {
      continue;
    }
    std::vector<std::pair<std::string, int>> got;
    for (const auto& item : *items) {
      got.emplace_back(item.text, item.itemData);
    }
    EXPECT_EQ(got, c.items);
  }
}

TEST(VoiceNamesTest, UzbekCountryWithoutVoiceListStillFillsSlots) {
  // The slots are built for any model; only the combo box decides whether to show them.
  DeviceInfo info;
  info.country = 12;
  const VoiceSlots slots = BuildVoiceNames(1, info);
  EXPECT_EQ(slots[0], "Русский голос");
  EXPECT_EQ(slots[1], "узбекский голос");
  EXPECT_TRUE(slots[2].empty());
}

}  // namespace
}  // namespace korvan
