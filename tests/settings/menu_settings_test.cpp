// The table of the 48 menu settings: entries as shown, stored value <-> entry, the default
// tables and the lists each model disables.
#include "settings/menu_settings.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvan {
namespace {

constexpr int8_t kType = 24;  // has every list, "База" included
constexpr uint8_t kRussia = 3;
constexpr uint8_t kUzbekistan = 12;

TEST(MenuSettingsTest, EveryListAsShown) {
  struct Row {
    int index;
    std::string_view key;
    std::string_view label;
    int controlId;
    size_t count;
    std::string_view first;
    std::string_view last;
  };
  const Row rows[] = {
      {0, "Language", "Язык ", 1019, 2, "Русский", "English"},
      {1, "X OnOff", "X", 1033, 2, "Вкл", "Вык"},
      {2, "Ku OnOff", "Ku", 1034, 2, "Вкл", "Вык"},
      {3, "Ka OnOff", "Ka", 1035, 2, "Вкл", "Вык"},
      {4, "K OnOff", "K", 1036, 2, "Вкл", "Вык"},
      {5, "Strelka OnOff", "СТРЕЛКА", 1037, 2, "Вкл", "Вык"},
      {6, "Laser", "Laser", 1038, 2, "Вкл", "Вык"},
      {7, "Smart GPS", "Смарт GPS", 1050, 3, "Вкл", "База"},
      {8, "Highway", "Трасса", 1023, 29, "100m", "1500m"},
      {9, "City1", "Город1 ", 1039, 29, "100m", "1500m"},
      {10, "City2", "Город2", 1040, 29, "100m", "1500m"},
      {11, "City3", "Город3", 1041, 29, "100m", "1500m"},
      {12, "AOSPD", "ВыкРадЧасти", 1043, 15, "0 Km/h", "70 Km/h"},
      {13, "AMSPD", "АвтоВыкЗвук", 1044, 15, "0 Km/h", "70 Km/h"},
      {14, "ACSPD", "АвтоГород ", 1045, 19, "0 Km/h", "90 Km/h"},
      {15, "ATSPD", "АвтоТрасса", 1046, 25, "0 Km/h", "120 Km/h"},
      {16, "OSPD", "МаксСкор", 1048, 37, "20 Km/h", "200 Km/h"},
      {17, "OSL", "ПревышСкор", 1049, 21, "0 Km/h", "20 Km/h"},
      {18, "LowPowerRadar", "Маломощный радар", 1031, 2, "Вкл", "Вык"},
      {19, "SystemPotok", "Система ПОТОК", 1032, 2, "Вкл", "Вык"},
      {20, "StrelkaDB", "СТРЕЛКА", 1042, 2, "Вкл", "Вык"},
      {21, "StrelkaVideo", "СТРЕЛКА Видеоблок", 1051, 2, "Вкл", "Вык"},
      {22, "TrafficLight", "Светофор", 1053, 2, "Вкл", "Вык"},
      {23, "RailRoadCrossing", "ЖД переезд", 1054, 2, "Вкл", "Вык"},
      {24, "MobileRadar", "Мобильный радар", 1055, 2, "Вкл", "Вык"},
      {25, "PostDPS", "Пост ДПС", 1058, 2, "Вкл", "Вык"},
      {26, "Autodoria", "КСС", 1059, 2, "Вкл", "Вык"},
      {27, "DummyRadar", "Муляж радара", 1060, 2, "Вкл", "Вык"},
      {28, "Radar", "Стационарный радар", 1061, 2, "Вкл", "Вык"},
      {29, "Platon", "Грузовой контроль", 1062, 2, "Вкл", "Вык"},
      {30, "ParkingControl", "Остановка или стоянка", 1063, 2, "Вкл", "Вык"},
      {31, "StrelkaM", "СТРЕЛКА M", 1047, 3, "Вкл", "Вык"},
      {32, "Robot", "РОБОТ", 1052, 2, "Вкл", "Вык"},
      {33, "SenseSpeedway", "Чувствит. магист-ль", 1065, 2, "4", "5"},
      {34, "SenseHighway", "Чувствит. трасса", 1067, 3, "1", "3"},
      {35, "FilterIndicator", "Индикатор фильтра ", 1069, 3, "График", "Вык"},
      {36, "AutoLcd", "Автовыкл. дисплея", 1070, 5, "off", "5Мин"},
      {37, "OffScreen", "Заставка экрана", 1071, 2, "Спидометр", "Темный экран"},
      {38, "Animation", "Анимация", 1072, 2, "Вкл", "Вык"},
      {39, "GpsSpeedway", "Магистраль", 1024, 29, "100m", "1500m"},
      {40, "ASSPD",
       "A\u0432\u0442\u043e\u041c\u0430\u0433\u0438\u0441\u0442\u0440\u0430\u043b\u044c", 1080, 29,
       "60 Km/h", "200 Km/h"},
      {41, "AEMSPD", "АвтоЭкстра MUTE", 1082, 31, "Вык", "150 Km/h"},
      {42, "ExtraMuteGps", "Экстра MUTE GPS", 1084, 23, "Вык", "110 Km/h"},
      {43, "OSLAlert", "Звук превыш. скор.", 1089, 2, "Вкл", "Вык"},
      {44, "DistanceVoice", "Оповещ. дист", 1087, 2, "Вкл", "Вык"},
      {45, "Hikvision", "HIKVISION", 1090, 3, "Вкл", "Вык"},
      {46, "Lochin", "LOCHIN", 1091, 3, "Вкл", "Вык"},
      {47, "Autocon", "AUTOCON", 1092, 2, "Вкл", "Вык"},
  };
  ASSERT_EQ(std::size(rows), size_t{kMenuSettingCount});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    const MenuSetting& setting = MenuSettings()[static_cast<size_t>(row.index)];
    EXPECT_EQ(setting.key, row.key);
    EXPECT_EQ(setting.label, row.label);
    EXPECT_EQ(setting.controlId, row.controlId);
    const auto entries = MenuEntries(row.index, kType, kRussia);
    ASSERT_EQ(entries.size(), row.count);
    EXPECT_EQ(MenuEntryCount(row.index, kType), static_cast<int>(row.count));
    EXPECT_EQ(entries.front(), row.first);
    EXPECT_EQ(entries.back(), row.last);
  }
}

TEST(MenuSettingsTest, EntriesThatDependOnTheDeviceAndFormattedSamples) {
  struct Case {
    int index;
    int8_t type;
    uint8_t country;
    size_t entry;
    std::string_view text;
  };
  const Case cases[] = {
      {0, kType, kUzbekistan, 1, "O`zbek"}, {0, kType, 109, 1, "English"},
      {8, kType, kRussia, 1, "150m"},       {12, kType, kRussia, 1, "5 Km/h"},
      {16, kType, kRussia, 8, "60 Km/h"},   {17, kType, kRussia, 7, "7 Km/h"},
      {40, kType, kRussia, 0, "60 Km/h"},   {41, kType, kRussia, 1, "5 Km/h"},
      {42, kType, kRussia, 0, "Вык"},       {31, kType, kRussia, 1, "ВыкMCK"},
      {45, kType, kRussia, 1, "M Вкл"},     {46, kType, kRussia, 1, "M Вык"},
      {7, 17, kRussia, 2, "База"},          {7, 22, kRussia, 2, "База"},
      {7, 27, kRussia, 2, "База"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "setting " << c.index << " type " << int{c.type});
    const auto entries = MenuEntries(c.index, c.type, c.country);
    ASSERT_GT(entries.size(), c.entry);
    EXPECT_EQ(entries[c.entry], c.text);
  }
  for (const int8_t type : {1, 6, 16, 18, 21}) {
    EXPECT_EQ(MenuEntries(kSmartGpsSetting, type, kRussia).size(), 2u) << int{type};
  }
}

TEST(MenuSettingsTest, StoredValueToEntry) {
  struct Case {
    int index;
    int8_t type;
    int stored;
    std::optional<int> entry;
  };
  const std::optional<int> none;
  const Case cases[] = {
      {0, kType, 0, 0},
      {0, kType, 1, 1},
      {0, kType, 2, none},
      {0, kType, 99, none},
      {0, kType, -1, none},
      {8, kType, 28, 28},
      {8, kType, 29, none},
      {41, kType, 30, 30},
      {41, kType, 31, none},
      {7, kType, 0, 1},
      {7, kType, 1, 0},
      {7, kType, 2, 2},
      {7, 6, 2, none},
      {7, kType, 3, none},
      {7, kType, -1, none},
      {31, kType, 0, 2},
      {31, kType, 1, 1},
      {31, kType, 2, 0},
      {31, kType, 3, none},
      {31, kType, -1, none},
      {45, kType, 0, 2},
      {46, kType, 2, 0},
      {33, kType, 4, 0},
      {33, kType, 5, 1},
      {33, kType, 3, none},
      {33, kType, 6, none},
      {33, kType, 99, none},
      {33, kType, -1, none},
      {34, kType, 1, 0},
      {34, kType, 3, 2},
      {34, kType, 0, none},
      {34, kType, 4, none},
      {40, kType, 12, 0},
      {40, kType, 40, 28},
      {40, kType, 11, none},
      {40, kType, 41, none},
      {40, kType, INT_MIN, none},
      {40, kType, INT_MAX, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "setting " << c.index << " stored " << c.stored);
    EXPECT_EQ(EntryForStored(c.index, c.stored, c.type), c.entry);
  }
}

TEST(MenuSettingsTest, EntryToStoredValue) {
  struct Case {
    int index;
    std::optional<int> entry;
    int stored;
  };
  const std::optional<int> none;
  const Case cases[] = {
      {0, 1, 1},     {0, none, -1}, {7, 0, 1},      {7, 1, 0},      {7, 2, 2},      {7, none, -1},
      {31, 0, 2},    {31, 2, 0},    {31, none, -1}, {45, none, -1}, {46, none, -1}, {33, 1, 5},
      {33, none, 3}, {34, 2, 3},    {34, none, 0},  {40, 28, 40},   {40, none, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "setting " << c.index);
    EXPECT_EQ(StoredForEntry(c.index, c.entry), c.stored);
  }
  // Saving and loading again gives back every entry of every list.
  for (const int8_t type : {6, 24}) {
    for (int i = 0; i < kMenuSettingCount; ++i) {
      for (int e = 0; e < MenuEntryCount(i, type); ++e) {
        EXPECT_EQ(EntryForStored(i, StoredForEntry(i, e), type), e) << i << " entry " << e;
      }
    }
  }
}

TEST(MenuSettingsTest, DefaultTablesHoldStoredValues) {
  const std::array<int, kMenuSettingCount> uzbekistan{
      0, 1, 1, 1, 0, 1, 1, 0, 14, 8, 4, 8, 6, 10, 10, 12, 28, 1,  0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 2, 0,  5, 3, 1, 3, 0,  1,  22, 20, 30, 0, 0, 1, 0, 1, 0};
  const std::array<int, kMenuSettingCount> others{
      0, 1, 1, 1, 0, 0, 0, 0, 18, 10, 8, 8, 8, 12, 16, 20, 20, 10, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 1,  4,  2, 1, 3, 0,  0,  22, 26, 24, 0, 0, 1, 2, 2, 1};
  for (int i = 0; i < kMenuSettingCount; ++i) {
    SCOPED_TRACE(MenuSettings()[static_cast<size_t>(i)].key);
    EXPECT_EQ(DefaultStoredValue(i, kUzbekistan), uzbekistan[static_cast<size_t>(i)]);
    EXPECT_EQ(DefaultStoredValue(i, kRussia), others[static_cast<size_t>(i)]);
    EXPECT_EQ(DefaultStoredValue(i, 109), others[static_cast<size_t>(i)]);
    // Every default selects an entry of its list on every model with the form.
    for (const int8_t type : {1, 6, 24}) {
      EXPECT_TRUE(EntryForStored(i, uzbekistan[static_cast<size_t>(i)], type).has_value());
      EXPECT_TRUE(EntryForStored(i, others[static_cast<size_t>(i)], type).has_value());
    }
  }
  // Stored, not entry, values: the default "Вык" of Smart GPS is entry 1; 5 is SenseSpeedway's
  // second entry; Hikvision's 0 is "Вык".
  EXPECT_EQ(EntryForStored(kSmartGpsSetting, 0, kType), 1);
  EXPECT_EQ(EntryForStored(33, DefaultStoredValue(33, kUzbekistan), kType), 1);
  EXPECT_EQ(EntryForStored(45, DefaultStoredValue(45, kUzbekistan), kType), 2);
  EXPECT_EQ(EntryForStored(40, DefaultStoredValue(40, kRussia), kType), 14);
}

TEST(MenuSettingsTest, TooltipsOfTheFirstEighteenSettings) {
  for (int i = 0; i < kMenuSettingCount; ++i) {
    EXPECT_EQ(MenuTooltip(i).empty(), i >= 18) << i;
  }
  EXPECT_EQ(MenuTooltip(0), "Язык МЕНЮ радар-детектора");
  EXPECT_EQ(MenuTooltip(10),
            "Вы можете установить дальность обнаружения GPS точек в режиме Город2, это опция "
            "будет работать только когда Smart GPS выкл.");
  EXPECT_NE(MenuTooltip(12).find("не будут.  Это позволит"), std::string_view::npos);
  EXPECT_NE(MenuTooltip(17).find("(радара),  прибор"), std::string_view::npos);
}

std::set<int> ControlsOf(std::initializer_list<int> indices) {
  std::set<int> ids;
  for (const int i : indices) {
    ids.insert(MenuSettings()[static_cast<size_t>(i)].controlId);
  }
  return ids;
}

TEST(MenuSettingsTest, DisabledListsPerModelAndCountry) {
  const std::set<int> newRadars{1090, 1091, 1092};
  const std::set<int> uzbekOff{1037, 1047, 1052};
  // The step a model stops after: 1 = only the country rule, 4 = everything.
  auto stopsAfter = [](int type) {
    if (type == 17 || type >= 24) {
      return 1;
    }
    if (type == 22 || type == 23) {
      return 2;
    }
    if (type == 8 || type == 9 || type == 16 || (type >= 18 && type <= 21)) {
      return 3;
    }
    return type == 6 ? 4 : 5;
  };
  const std::set<int> steps[] = {
      {},
      {1065, 1069, 1072, 1052},
      {1071, 1070, 1024, 1089, 1084, 1080},
      {1047, 1067, 1082, 1087, 1019, 1034, 1035},
      {1058, 1059, 1060, 1061, 1062, 1063, 1033, 1036, 1037, 1038, 1023, 1039, 1040, 1041,
       1043, 1044, 1045, 1046, 1048, 1049, 1050, 1031, 1032, 1042, 1051, 1053, 1054, 1055},
  };
  struct Country {
    uint8_t code;
    bool legacy;
    const std::set<int>* first;
  };
  const std::set<int> nothing;
  const Country countries[] = {{kRussia, false, &newRadars},
                               {kUzbekistan, false, &uzbekOff},
                               {kUzbekistan, true, &newRadars},
                               {109, false, &nothing}};
  for (int type = 1; type <= 27; ++type) {
    for (const Country& country : countries) {
      SCOPED_TRACE(::testing::Message() << "type " << type << " country " << int{country.code}
                                        << " legacy " << country.legacy);
      std::set<int> expected = *country.first;
      for (int s = 0; s < stopsAfter(type); ++s) {
        expected.insert(steps[s].begin(), steps[s].end());
      }
      EXPECT_EQ(DisabledControls(static_cast<int8_t>(type), country.code, country.legacy),
                expected);
    }
  }

  std::set<int> everyList;
  for (const MenuSetting& setting : MenuSettings()) {
    everyList.insert(setting.controlId);
  }
  for (int8_t type = 1; type <= 5; ++type) {
    EXPECT_EQ(DisabledControls(type, kRussia, true), everyList) << int{type};
  }
  EXPECT_EQ(DisabledControls(24, kRussia, false), newRadars);
  std::set<int> type6Enabled;
  for (const MenuSetting& setting : MenuSettings()) {
    if (!DisabledControls(6, kUzbekistan, true).contains(setting.controlId)) {
      type6Enabled.insert(setting.controlId);
    }
  }
  EXPECT_EQ(type6Enabled, ControlsOf({1,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                      17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}));
}

}  // namespace
}  // namespace korvan
