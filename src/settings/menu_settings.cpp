#include "settings/menu_settings.h"

#include "device/device_info.h"

namespace korvan {
namespace {

constexpr std::string_view kOn = "Вкл";
constexpr std::string_view kOff = "Вык";

const std::vector<std::string_view> kOnOff{kOn, kOff};

// The GPS search ranges: 100 m to 1500 m.
constexpr NumericEntries kRanges{"m", 29, 100, 50, false};

constexpr NumericEntries Speeds(int first, int step, int count, bool leadingOff = false) {
  return NumericEntries{" Km/h", count, first, step, leadingOff};
}

MenuSetting OnOff(std::string_view key, std::string_view label, std::string_view group, int id,
                  int uz, int other) {
  return MenuSetting{.key = key,
                     .label = label,
                     .group = group,
                     .controlId = id,
                     .texts = kOnOff,
                     .numbers = {},
                     .defaultForUzbekistan = uz,
                     .defaultForOthers = other};
}

MenuSetting Numeric(std::string_view key, std::string_view label, std::string_view group, int id,
                    NumericEntries numbers, int uz, int other) {
  return MenuSetting{.key = key,
                     .label = label,
                     .group = group,
                     .controlId = id,
                     .texts = {},
                     .numbers = numbers,
                     .defaultForUzbekistan = uz,
                     .defaultForOthers = other};
}

MenuSetting Texts(std::string_view key, std::string_view label, std::string_view group, int id,
                  std::vector<std::string_view> texts, StoredRule rule, int offset, int uz,
                  int other) {
  return MenuSetting{.key = key,
                     .label = label,
                     .group = group,
                     .controlId = id,
                     .texts = std::move(texts),
                     .numbers = {},
                     .rule = rule,
                     .offset = offset,
                     .defaultForUzbekistan = uz,
                     .defaultForOthers = other};
}

std::array<MenuSetting, kMenuSettingCount> BuildTable() {
  constexpr std::string_view kRadar = "Стац.Радар";
  constexpr std::string_view kSmart = "Смарт GPS";
  constexpr std::string_view kFilters = "Фильтры";
  constexpr std::string_view kBases = "Базы данных";
  constexpr StoredRule kEntry = StoredRule::Entry;
  MenuSetting asspd = Numeric("ASSPD", "AвтоМагистраль", kFilters, 1080, Speeds(60, 5, 29), 20, 26);
  asspd.rule = StoredRule::Offset;
  asspd.offset = 12;
  return {
      // Entry 1 of Language is filled in per device (MenuEntries).
      Texts("Language", "Язык ", "", 1019, {"Русский", "English"}, kEntry, 0, 0, 0),
      OnOff("X OnOff", "X", kRadar, 1033, 1, 1),
      OnOff("Ku OnOff", "Ku", kRadar, 1034, 1, 1),
      OnOff("Ka OnOff", "Ka", kRadar, 1035, 1, 1),
      OnOff("K OnOff", "K", kRadar, 1036, 0, 0),
      OnOff("Strelka OnOff", "СТРЕЛКА", kRadar, 1037, 1, 0),
      OnOff("Laser", "Laser", kRadar, 1038, 1, 0),
      // "База" is added for the models that have it (MenuEntries).
      Texts("Smart GPS", "Смарт GPS", kSmart, 1050, {kOn, kOff}, StoredRule::SmartGpsSwap, 0, 0, 0),
      Numeric("Highway", "Трасса", kSmart, 1023, kRanges, 14, 18),
      Numeric("City1", "Город1 ", kSmart, 1039, kRanges, 8, 10),
      Numeric("City2", "Город2", kSmart, 1040, kRanges, 4, 8),
      Numeric("City3", "Город3", kSmart, 1041, kRanges, 8, 8),
      Numeric("AOSPD", "ВыкРадЧасти", kFilters, 1043, Speeds(0, 5, 15), 6, 8),
      Numeric("AMSPD", "АвтоВыкЗвук", kFilters, 1044, Speeds(0, 5, 15), 10, 12),
      Numeric("ACSPD", "АвтоГород ", kFilters, 1045, Speeds(0, 5, 19), 10, 16),
      Numeric("ATSPD", "АвтоТрасса", kFilters, 1046, Speeds(0, 5, 25), 12, 20),
      Numeric("OSPD", "МаксСкор", kFilters, 1048, Speeds(20, 5, 37), 28, 20),
      Numeric("OSL", "ПревышСкор", kFilters, 1049, Speeds(0, 1, 21), 1, 10),
      OnOff("LowPowerRadar", "Маломощный радар", kBases, 1031, 0, 0),
      OnOff("SystemPotok", "Система ПОТОК", kBases, 1032, 0, 0),
      OnOff("StrelkaDB", "СТРЕЛКА", kBases, 1042, 0, 0),
      OnOff("StrelkaVideo", "СТРЕЛКА Видеоблок", kBases, 1051, 0, 0),
      OnOff("TrafficLight", "Светофор", kBases, 1053, 0, 0),
      OnOff("RailRoadCrossing", "ЖД переезд", kBases, 1054, 0, 0),
      OnOff("MobileRadar", "Мобильный радар", kBases, 1055, 0, 0),
      OnOff("PostDPS", "Пост ДПС", kBases, 1058, 0, 0),
      OnOff("Autodoria", "КСС", kBases, 1059, 0, 0),
      OnOff("DummyRadar", "Муляж радара", kBases, 1060, 0, 0),
      OnOff("Radar", "Стационарный радар", kBases, 1061, 0, 0),
      OnOff("Platon", "Грузовой контроль", kBases, 1062, 0, 0),
      OnOff("ParkingControl", "Остановка или стоянка", kBases, 1063, 0, 0),
      Texts("StrelkaM", "СТРЕЛКА M", kRadar, 1047, {kOn, "ВыкMCK", kOff}, StoredRule::ReversedThree,
            0, 2, 0),
      OnOff("Robot", "РОБОТ", kRadar, 1052, 0, 1),
      Texts("SenseSpeedway", "Чувствит. магист-ль", "", 1065, {"4", "5"}, StoredRule::Offset, 4, 5,
            4),
      Texts("SenseHighway", "Чувствит. трасса", "", 1067, {"1", "2", "3"}, StoredRule::Offset, 1, 3,
            2),
      Texts("FilterIndicator", "Индикатор фильтра ", "", 1069, {"График", "Значок F", kOff}, kEntry,
            0, 1, 1),
      Texts("AutoLcd", "Автовыкл. дисплея", "", 1070, {"off", "30Сек", "1Мин", "3Мин", "5Мин"},
            kEntry, 0, 3, 3),
      Texts("OffScreen", "Заставка экрана", "", 1071, {"Спидометр", "Темный экран"}, kEntry, 0, 0,
            0),
      OnOff("Animation", "Анимация", "", 1072, 1, 0),
      Numeric("GpsSpeedway", "Магистраль", kSmart, 1024, kRanges, 22, 22),
      asspd,
      Numeric("AEMSPD", "АвтоЭкстра MUTE", kFilters, 1082, Speeds(5, 5, 30, true), 30, 24),
      Numeric("ExtraMuteGps", "Экстра MUTE GPS", kFilters, 1084, Speeds(5, 5, 22, true), 0, 0),
      OnOff("OSLAlert", "Звук превыш. скор.", "", 1089, 0, 0),
      OnOff("DistanceVoice", "Оповещ. дист", "", 1087, 1, 1),
      Texts("Hikvision", "HIKVISION", kRadar, 1090, {kOn, "M Вкл", kOff}, StoredRule::ReversedThree,
            0, 0, 2),
      Texts("Lochin", "LOCHIN", kRadar, 1091, {kOn, "M Вык", kOff}, StoredRule::ReversedThree, 0, 1,
            2),
      OnOff("Autocon", "AUTOCON", kRadar, 1092, 0, 1),
  };
}

constexpr std::string_view kRangeTooltipHead =
    "Вы можете установить дальность обнаружения GPS точек в режиме ";
constexpr std::string_view kRangeTooltipTail =
    ", это опция будет работать только когда Smart GPS выкл.";

bool HasGpsBase(int8_t typeCode) {
  return typeCode == 17 || (typeCode >= 22 && typeCode <= 27);
}

bool Valid(int index) {
  return index >= 0 && index < kMenuSettingCount;
}

}  // namespace

const std::array<MenuSetting, kMenuSettingCount>& MenuSettings() {
  static const std::array<MenuSetting, kMenuSettingCount> kTable = BuildTable();
  return kTable;
}

std::string_view MenuTooltip(int index) {
  static const std::array<std::string, 18> kTooltips{
      "Язык МЕНЮ радар-детектора",
      "Вкл/Выкл Х-диапазона",
      "Вкл/Выкл Ku-диапазона",
      "Вкл/Выкл Ka-диапазона",
      "Вкл/Выкл K-диапазона",
      "Вкл/Выкл диапазона Стрелка",
      "Вкл/Выкл приема ЛАЗЕРа",
      "Если режим SMART GPS Вкл, дальность обнаружения GPS точек будет выбираться автоматически "
      "и зависеть от скорости авто. Это позволит сократить до минимума кол-во ложных срабатываний "
      "на камеры на параллельных направлениях. Если Smart GPS выкл, дальность поиска GPS точек "
      "будет такой, как вы установите сами (см.ниже)",
      std::string(kRangeTooltipHead) + "Трасса" + std::string(kRangeTooltipTail),
      std::string(kRangeTooltipHead) + "Город1" + std::string(kRangeTooltipTail),
      std::string(kRangeTooltipHead) + "Город2" + std::string(kRangeTooltipTail),
      std::string(kRangeTooltipHead) + "Город3" + std::string(kRangeTooltipTail),
      // WARNING: the two spaces before "Это" are part of the text.
      "Выключение радарной части устройства ниже установленной скорости. Если машина будет "
      "двигаться медленней этой скорости, сигналы радаров приниматься не будут.  Это позволит "
      "безопасно снизить уровень шумов и отвлекающих сообщений на дисплее.",
      "Выключение звука ниже установленной в этом окне скорости. Если машина будет двигаться "
      "медленней этой скорости, сигналы радаров будут приниматься на дисплее, но озвучиваться не "
      "будут. Это позволит безопасно снизить уровень шумов в салоне авто.",
      "Прибор автоматически перейдет в режим ГОРОД 2, если скорость авто будет НИЖЕ установленной "
      "в этом окне",
      "Прибор автоматически перейдет в режим ТРАССА, когда скорость авто будет ВЫШЕ установленной "
      "в этом окне",
      "Максимальная скорость, при превышении будет раздаваться предупреждение",
      // WARNING: the two spaces before "прибор" are part of the text.
      "Значение превышения ограничения скорости. При обнаружении ограничения GPS точки (радара),  "
      "прибор будет следить, чтобы Вы не превышали это ограничение значительно.",
  };
  if (index < 0 || index >= static_cast<int>(kTooltips.size())) {
    return {};
  }
  return kTooltips[static_cast<size_t>(index)];
}

std::vector<std::string> MenuEntries(int index, int8_t typeCode, uint8_t country) {
  if (!Valid(index)) {
    return {};
  }
  const MenuSetting& setting = MenuSettings()[static_cast<size_t>(index)];
  std::vector<std::string> entries;
  if (setting.numbers.count == 0) {
    entries.assign(setting.texts.begin(), setting.texts.end());
    if (index == kLanguageSetting && country == kCountryUzbekistan) {
      entries[1] = "O`zbek";
    }
    if (index == kSmartGpsSetting && HasGpsBase(typeCode)) {
      entries.emplace_back("База");
    }
    return entries;
  }
  const NumericEntries& n = setting.numbers;
  if (n.leadingOff) {
    entries.emplace_back(kOff);
  }
  for (int i = 0; i < n.count; ++i) {
    entries.push_back(std::to_string(n.first + i * n.step) + std::string(n.suffix));
  }
  return entries;
}

int MenuEntryCount(int index, int8_t typeCode) {
  if (!Valid(index)) {
    return 0;
  }
  const MenuSetting& setting = MenuSettings()[static_cast<size_t>(index)];
  if (setting.numbers.count != 0) {
    return setting.numbers.count + (setting.numbers.leadingOff ? 1 : 0);
  }
  const int count = static_cast<int>(setting.texts.size());
  return index == kSmartGpsSetting && HasGpsBase(typeCode) ? count + 1 : count;
}

std::optional<int> EntryForStored(int index, int stored, int8_t typeCode) {
  if (!Valid(index)) {
    return std::nullopt;
  }
  const MenuSetting& setting = MenuSettings()[static_cast<size_t>(index)];
  // Widened, so that an offset applied to an extreme stored value cannot overflow.
  int64_t entry = stored;
  switch (setting.rule) {
    case StoredRule::Entry:
      break;
    case StoredRule::SmartGpsSwap:
      if (stored == 0 || stored == 1) {
        entry = 1 - stored;
      }
      break;
    case StoredRule::ReversedThree:
      if (stored < 0 || stored > 2) {
        return std::nullopt;
      }
      entry = 2 - stored;
      break;
    case StoredRule::Offset:
      entry -= setting.offset;
      break;
  }
  if (entry < 0 || entry >= MenuEntryCount(index, typeCode)) {
    return std::nullopt;
  }
  return static_cast<int>(entry);
}

int StoredForEntry(int index, std::optional<int> entry) {
  if (!Valid(index)) {
    return -1;
  }
  const MenuSetting& setting = MenuSettings()[static_cast<size_t>(index)];
  const int e = entry.value_or(-1);
  switch (setting.rule) {
    case StoredRule::Entry:
      return e;
    case StoredRule::SmartGpsSwap:
      return e == 0 || e == 1 ? 1 - e : e;
    case StoredRule::ReversedThree:
      return e >= 0 && e <= 2 ? 2 - e : -1;
    case StoredRule::Offset:
      return e + setting.offset;
  }
  return -1;
}

int DefaultStoredValue(int index, uint8_t country) {
  if (!Valid(index)) {
    return -1;
  }
  const MenuSetting& setting = MenuSettings()[static_cast<size_t>(index)];
  return country == kCountryUzbekistan ? setting.defaultForUzbekistan : setting.defaultForOthers;
}

std::set<int> DisabledControls(int8_t typeCode, uint8_t country, bool legacyModel) {
  std::set<int> off;
  // Each step below removes what one generation of models lacks; a model stops at the first
  // step past its own features, so older models fall through to more disabled lists.
  if (country == kCountryRussia || legacyModel) {
    off.insert({1090, 1091, 1092});
  } else if (country == kCountryUzbekistan) {
    off.insert({1037, 1047, 1052});
  }
  if (typeCode == 17 || (typeCode >= 24 && typeCode <= 27)) {
    return off;
  }
  off.insert({1065, 1069, 1072, 1052});
  if (typeCode == 22 || typeCode == 23) {
    return off;
  }
  off.insert({1071, 1070, 1024, 1089, 1084, 1080});
  if (typeCode == 8 || typeCode == 9 || typeCode == 16 || (typeCode >= 18 && typeCode <= 21)) {
    return off;
  }
  off.insert({1047, 1067, 1082, 1087, 1019, 1034, 1035});
  if (typeCode == 6) {
    return off;
  }
  off.insert({1058, 1059, 1060, 1061, 1062, 1063, 1033, 1036, 1037, 1038, 1023, 1039, 1040, 1041,
              1043, 1044, 1045, 1046, 1048, 1049, 1050, 1031, 1032, 1042, 1051, 1053, 1054, 1055});
  return off;
}

}  // namespace korvan
