#include "emulator/settings_schemas.h"

#include <stdexcept>
#include <vector>

#include "emulator/device_presets.h"

namespace korvan::emu {
namespace {

// Which models carry a field.
constexpr uint8_t kGorse = 1;      // 25
constexpr uint8_t kFernUltra = 2;  // 26
constexpr uint8_t kGorseTwo = 4;   // 27
constexpr uint8_t kAll = kGorse | kFernUltra | kGorseTwo;
constexpr uint8_t kLarge = kFernUltra | kGorseTwo;

// Country masks of the display column.
constexpr int kTjk = 1;
constexpr int kUzb = 2;
constexpr int kRus = 4;
constexpr int kEverywhere = kTjk | kUzb | kRus;

constexpr int kUnset = 255;

struct Field {
  uint8_t models = kAll;
  std::string_view type{};
  std::string_view name{};
  std::string_view category{};
  int index = 0;
  int display = kEverywhere;
  int rus = 0;
  int uzb = 0;
  int tjk = 0;
  int min = 0;
  int max = 0;
  int unit = 1;
  int scale = 1;
  std::string_view suffix{};
  std::string_view hint{};
  std::string_view options{};
};

struct Defaults {
  int rus = 0;
  int uzb = 0;
  int tjk = 0;
};

constexpr Field Toggle(uint8_t models, std::string_view name, std::string_view category, int index,
                       int display, Defaults defaults, std::string_view hint) {
  return Field{.models = models,
               .type = "toggle",
               .name = name,
               .category = category,
               .index = index,
               .display = display,
               .rus = defaults.rus,
               .uzb = defaults.uzb,
               .tjk = defaults.tjk,
               .min = 0,
               .max = 1,
               .hint = hint};
}

// The range of an enum is one raw value per option.
constexpr Field Enum(uint8_t models, std::string_view name, std::string_view category, int index,
                     int display, Defaults defaults, std::string_view options,
                     std::string_view hint) {
  int last = 0;
  for (const char c : options) {
    last += c == '|' ? 1 : 0;
  }
  return Field{.models = models,
               .type = "enum",
               .name = name,
               .category = category,
               .index = index,
               .display = display,
               .rus = defaults.rus,
               .uzb = defaults.uzb,
               .tjk = defaults.tjk,
               .min = 0,
               .max = last,
               .hint = hint,
               .options = options};
}

struct Range {
  int min = 0;
  int max = 0;
  int unit = 1;
  int scale = 1;
  std::string_view suffix;
};

constexpr Field Number(uint8_t models, std::string_view name, std::string_view category, int index,
                       int display, Defaults defaults, Range range, std::string_view hint) {
  return Field{.models = models,
               .type = "number",
               .name = name,
               .category = category,
               .index = index,
               .display = display,
               .rus = defaults.rus,
               .uzb = defaults.uzb,
               .tjk = defaults.tjk,
               .min = range.min,
               .max = range.max,
               .unit = range.unit,
               .scale = range.scale,
               .suffix = range.suffix,
               .hint = hint};
}

constexpr std::string_view kRadar = "Радар";
constexpr std::string_view kGps = "GPS";
constexpr std::string_view kFilters = "Фильтры";
constexpr std::string_view kScreen = "Экран";
constexpr std::string_view kSystem = "Система";

// GPS ranges: 100 m to 1400 m in steps of 100 m.
constexpr Range kGpsRange{2, 28, 2, 50, "m"};
constexpr std::string_view kCountryOptions = "RUS|UZB|TJK";
constexpr std::string_view kCountryHint =
    "Страна настроек: от неё зависят\\nзначения по умолчанию и пункты меню.";

// Every field of the three schemas in display order. The byte the preset devices hold at a
// field's index must stay a legal raw value of the field, and the country byte must say RUS.
const std::vector<Field>& Fields() {
  static const std::vector<Field> kFields{
      Toggle(kAll, "Диапазон X", kRadar, 1, kEverywhere, {0, 1, 1},
             "Старые радары диапазона X.\\nВ городе даёт много ложных сигналов."),
      Toggle(kAll, "Диапазон K", kRadar, 4, kEverywhere, {1, 1, 1}, "Большинство радаров."),
      Toggle(kAll, "Диапазон Ka", kRadar, 3, kEverywhere, {1, 1, 0}, ""),
      Toggle(kAll, "Лазер", kRadar, 6, kEverywhere, {1, 1, 1}, "Лазерные измерители скорости."),
      Toggle(kAll, "Стрелка", kRadar, 5, kEverywhere, {1, 0, 0},
             "Комплексы с низким уровнем излучения.\\nРекомендуется включить."),
      Enum(kAll, "Чувствительность", kRadar, 36, kEverywhere, {2, 2, 1}, "Город|Трасса|Авто|Макс",
           "Город и Трасса: постоянные режимы,\\nАвто выбирает режим по скорости."),

      Enum(kAll, "Режим GPS", kGps, 7, kEverywhere, {0, 0, 0}, "Смарт|Ручной",
           "Смарт: дальность оповещения зависит от скорости.\\n"
           "Ручной: дальности задаются ниже."),
      Number(kAll, "Город 1", kGps, 9, kEverywhere, {8, 6, 4}, kGpsRange,
             "Дальность оповещения в городе.\\nДействует в ручном режиме GPS."),
      Number(kLarge, "Город 2", kGps, 10, kEverywhere, {10, 8, 8}, kGpsRange,
             "Вторая городская дальность,\\nдля плотной застройки."),
      Number(kAll, "Трасса", kGps, 8, kEverywhere, {18, 14, 14}, kGpsRange,
             "Дальность оповещения за городом."),
      Number(kLarge, "Магистраль", kGps, 39, kEverywhere, {22, 22, 20}, kGpsRange,
             "Дальность на скоростных дорогах."),
      Toggle(kAll, "Пост ДПС", kGps, 18, kUzb | kRus, {1, 1, 0}, ""),
      Toggle(kLarge, "Грузовой контроль", kGps, 21, kRus, {0, 0, 0},
             "Рамки весового контроля грузовиков."),
      Toggle(kAll, "Мобильные камеры", kGps, 42, kUzb, {0, 1, 0},
             "Переносные камеры на обочине.\\nБаза обновляется еженедельно."),
      Toggle(kGorseTwo, "Засады", kGps, 43, kTjk | kUzb, {0, 1, 1},
             "Места частых проверок скорости."),

      Number(kAll, "Порог радара", kFilters, 13, kEverywhere, {12, 10, 10}, {0, 30, 2, 5, "км/ч"},
             "Ниже этой скорости радары не озвучиваются.\\n0: всегда."),
      Number(kAll, "Авто трасса", kFilters, 15, kEverywhere, {20, 16, 16}, {0, 50, 2, 5, "км/ч"},
             "С этой скорости включается режим Трасса."),
      Number(kLarge, "Макс. скорость", kFilters, 16, kEverywhere, {22, 20, 18},
             {4, 40, 1, 5, "км/ч"}, "Предупреждение о скорости выше заданной."),

      Number(kAll, "Яркость", kScreen, 34, kEverywhere, {4, 4, 4}, {1, 5, 1, 20, "%"}, ""),
      Enum(kAll, "Заставка", kScreen, 37, kEverywhere, {0, 0, 0}, "Спидометр|Часы|Тёмный экран",
           "Что показывает экран без оповещений."),

      Enum(kAll, "Язык", kSystem, 0, kEverywhere, {0, 2, 0}, "Русский|English|Ўзбекча", ""),
      Number(kAll, "Громкость", kSystem, 17, kEverywhere, {7, 7, 7}, {0, 10, 1, 1, ""},
             "Громкость голоса и сигналов.\\n0: без звука."),
      Enum(kGorseTwo, "Голос", kSystem, 45, kEverywhere, {0, 0, 0}, "Женский|Мужской|Краткий", ""),
      Toggle(kGorseTwo, "Обновление по Wi-Fi", kSystem, 61, kEverywhere, {1, 1, 1},
             "Обновление баз через точку доступа\\nв приложении на телефоне."),
      // The country setting sits at a different byte in each model.
      Enum(kGorse, "FW_Country", kSystem, 60, kEverywhere, {0, 1, 2}, kCountryOptions,
           kCountryHint),
      Enum(kFernUltra, "FW_Country", kSystem, 57, kEverywhere, {0, 1, 2}, kCountryOptions,
           kCountryHint),
      Enum(kGorseTwo, "FW_Country", kSystem, 63, kEverywhere, {0, 1, 2}, kCountryOptions,
           kCountryHint),
  };
  return kFields;
}

struct Model {
  int8_t type;
  uint8_t bit;
  std::string_view fileName;
  std::string_view schemaVersion;
};

constexpr std::array<Model, 3> kModels{{
    {25, kGorse, "schema_Gorse.csv", "2.3.0-04"},
    {26, kFernUltra, "schema_FernUltra.csv", "2.4.1-07"},
    {27, kGorseTwo, "schema_GorseTwo.csv", "3.0.2-11"},
}};

const Model* FindModel(int8_t type) {
  for (const Model& model : kModels) {
    if (model.type == type) {
      return &model;
    }
  }
  return nullptr;
}

constexpr std::array<std::string_view, 17> kColumns{
    "rowtype",     "type",        "name",        "category", "index",  "display",
    "rus_default", "uzb_default", "tjk_default", "value",    "min",    "max",
    "unit",        "scale",       "suffix",      "hint",     "options"};

// A cell as CSV text: quoted when it holds a comma or a quote.
void AppendCell(std::string& line, std::string_view cell) {
  if (cell.find_first_of(",\"") == std::string_view::npos) {
    line += cell;
    return;
  }
  line += '"';
  for (const char c : cell) {
    line += c;
    if (c == '"') {
      line += '"';
    }
  }
  line += '"';
}

void AppendRow(std::string& text, const std::array<std::string, kColumns.size()>& cells) {
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) {
      text += ',';
    }
    AppendCell(text, cells[i]);
  }
  text += '\n';
}

void AppendMeta(std::string& text, std::string_view key, std::string_view value) {
  std::array<std::string, kColumns.size()> cells;
  cells[0] = "meta";
  cells[1] = key;
  cells[6] = value;
  AppendRow(text, cells);
}

}  // namespace

std::string_view SettingsSchemaFileName(int8_t type) {
  const Model* model = FindModel(type);
  return model ? model->fileName : std::string_view();
}

std::string SettingsSchemaText(int8_t type) {
  const Model* model = FindModel(type);
  if (model == nullptr) {
    throw std::invalid_argument("model " + std::to_string(type) + " has no settings schema");
  }
  std::string text;
  for (size_t i = 0; i < kColumns.size(); ++i) {
    text += i > 0 ? "," : "";
    text += kColumns[i];
  }
  text += '\n';

  int fwIndex = -1;
  for (const Field& field : Fields()) {
    if ((field.models & model->bit) != 0 && field.name == "FW_Country") {
      fwIndex = field.index;
    }
  }
  AppendMeta(text, "schema_version", model->schemaVersion);
  AppendMeta(text, "byte_length", std::to_string(kPresetPacketPayloadLength));
  AppendMeta(text, "fw_index", std::to_string(fwIndex));

  for (const Field& field : Fields()) {
    if ((field.models & model->bit) == 0) {
      continue;
    }
    AppendRow(text,
              {"field", std::string(field.type), std::string(field.name),
               std::string(field.category), std::to_string(field.index),
               std::to_string(field.display), std::to_string(field.rus), std::to_string(field.uzb),
               std::to_string(field.tjk), std::to_string(kUnset), std::to_string(field.min),
               std::to_string(field.max), std::to_string(field.unit), std::to_string(field.scale),
               std::string(field.suffix), std::string(field.hint), std::string(field.options)});
  }
  return text;
}

}  // namespace korvan::emu
