// The settings schema: the value rules (also on hostile numbers), per-country defaults,
// visibility and country, and the loader over a complete schema, the normalising of fields, the
// file's edge cases and its failures.
#include "settings/settings_schema.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <functional>

#include "settings/settings_packet.h"
#include "tests/support/example_schema.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using Fields = std::vector<SettingField>;

TEST(SettingsSchemaTest, ValueRules) {
  struct Case {
    const char* rule;
    int32_t v;
    int32_t unit;
    int32_t result;
  };
  const Case cases[] = {
      {"nearest", 7, 4, 8},
      {"nearest", 5, 4, 4},
      {"nearest", 6, 4, 8},
      {"nearest", -7, 4, -4},
      {"nearest", 9, 1, 9},
      {"nearest", 9, 0, 9},
      {"nearest", 9, -4, 9},
      {"down", 7, 4, 4},
      {"down", -7, 4, -4},
      {"down", 8, 4, 8},
      {"down", 7, 1, 7},
      {"down", 7, -2, 7},
      // Numbers at the ends of the range neither overflow nor leave the multiples of the unit.
      {"nearest", INT_MAX, 2, INT_MAX - 1},
      {"nearest", INT_MAX - 1, 10, 2147483640},
      {"nearest", INT_MAX, INT_MAX, INT_MAX},
      {"nearest", INT_MIN, 4, -2147483644},
      {"nearest", INT_MIN, INT_MAX, 0},
      {"down", INT_MIN, 3, -2147483646},
      {"down", INT_MIN, 2, INT_MIN},
      {"down", INT_MAX, INT_MAX, INT_MAX},
  };
  for (const Case& c : cases) {
    const int32_t result =
        std::string_view(c.rule) == "nearest" ? StepNearest(c.v, c.unit) : StepDown(c.v, c.unit);
    EXPECT_EQ(result, c.result) << c.rule << "(" << c.v << ", " << c.unit << ")";
  }
  EXPECT_EQ(Clamp(-1, 0, 255), 0);
  EXPECT_EQ(Clamp(300, 0, 255), 255);
  EXPECT_EQ(Clamp(7, 0, 255), 7);
  EXPECT_EQ(Clamp(INT_MIN, INT_MIN, INT_MAX), INT_MIN);
  // The lower bound is tested first.
  EXPECT_EQ(Clamp(5, 10, 3), 10);
  EXPECT_EQ(Clamp(11, 10, 3), 3);
}

TEST(SettingsSchemaTest, DefaultsAndVisibilityByCountry) {
  SettingField field;
  field.tjk_default = 10;
  field.uzb_default = 11;
  field.rus_default = 12;
  field.display = 5;  // TJK and RUS
  const struct {
    SchemaCountry country;
    int32_t defaultValue;
    bool visible;
  } cases[] = {
      {SchemaCountry::Tjk, 10, true},
      {SchemaCountry::Uzb, 11, false},
      {SchemaCountry::Rus, 12, true},
      {static_cast<SchemaCountry>(7), 12, true},
      {static_cast<SchemaCountry>(-1), 12, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DefaultFor(field, c.country), c.defaultValue) << static_cast<int>(c.country);
    EXPECT_EQ(IsVisible(field, c.country), c.visible) << static_cast<int>(c.country);
  }
}

SettingField EnumField(int32_t index, std::vector<std::string> options, std::string type = "enum") {
  SettingField field;
  field.index = index;
  field.type = std::move(type);
  field.options = std::move(options);
  return field;
}

TEST(SettingsSchemaTest, CountryOfTheCountrySetting) {
  constexpr auto kTjk = SchemaCountry::Tjk;
  constexpr auto kUzb = SchemaCountry::Uzb;
  constexpr auto kRus = SchemaCountry::Rus;
  const struct {
    const char* what;
    Fields fields;
    std::vector<SchemaCountry> byValue;  // for raw values 0, 1, 2, 3
  } cases[] = {
      {"named options", {EnumField(62, {"UZB", "RUS", "TJK"})}, {kUzb, kRus, kTjk, kRus}},
      {"names fold case, last occurrence counts",
       {EnumField(62, {"tjk", "Rus", "uzb", "TJK"})},
       {kRus, kRus, kUzb, kTjk}},
      {"by position", {EnumField(62, {"A", "B", "C"})}, {kRus, kUzb, kTjk, kRus}},
      {"by position, only some named", {EnumField(62, {"X", "TJK"})}, {kRus, kTjk, kTjk, kRus}},
      {"type folds case", {EnumField(62, {"A", "B", "C"}, "ENUM")}, {kRus, kUzb, kTjk, kRus}},
      {"no enum at the index",
       {EnumField(61, {"UZB", "TJK"}), EnumField(62, {"UZB", "TJK"}, "number")},
       {kRus, kRus, kRus, kRus}},
      {"a later field decides what an earlier does not",
       {EnumField(62, {"A"}), EnumField(62, {"X", "X", "X", "UZB"})},
       {kRus, kUzb, kTjk, kUzb}},
      {"no fields", {}, {kRus, kRus, kRus, kRus}},
  };
  for (const auto& c : cases) {
    for (int32_t v = 0; v < 4; ++v) {
      EXPECT_EQ(CountryOf(c.fields, 62, v), c.byValue[static_cast<std::size_t>(v)])
          << c.what << ", value " << v;
    }
  }
}

struct Loaded {
  bool ok = false;
  std::string message;
  SchemaMeta meta;
  Fields fields;
};

Loaded Load(std::string_view csv) {
  Loaded loaded;
  loaded.ok = LoadSettingsSchemaBytes(csv, loaded.meta, loaded.fields, &loaded.message);
  return loaded;
}

TEST(SettingsSchemaTest, LoadsTheExampleSchema) {
  const Loaded loaded = Load(testing::kExampleSchemaCsv);
  ASSERT_TRUE(loaded.ok) << loaded.message;
  EXPECT_EQ(loaded.meta.schema_version, "2.4.1-07");
  EXPECT_EQ(loaded.meta.byte_length, 64);
  EXPECT_EQ(loaded.meta.fw_index, 62);
  const Fields expected = {
      {.index = 62,
       .display = 7,
       .category = "System",
       .name = "FW_Country",
       .type = "enum",
       .options = {"RUS", "UZB", "TJK"},
       .rus_default = 0,
       .uzb_default = 1,
       .tjk_default = 2,
       .value = 255,
       .min = 0,
       .max = 2,
       .unit = 1,
       .scale = 1,
       .suffix = "",
       .hint = "Country of the settings"},
      {.index = 5,
       .display = 7,
       .category = "Radar",
       .name = "Laser",
       .type = "toggle",
       .options = {},
       .rus_default = 1,
       .uzb_default = 1,
       .tjk_default = 0,
       .value = 255,
       .min = 0,
       .max = 1,
       .unit = 1,
       .scale = 1,
       .suffix = "",
       .hint = "Laser detection on or off"},
      {.index = 9,
       .display = 6,
       .category = "GPS",
       .name = "City 1 range",
       .type = "number",
       .options = {},
       .rus_default = 8,
       .uzb_default = 6,
       .tjk_default = 4,
       .value = 255,
       .min = 2,
       .max = 28,
       .unit = 2,
       .scale = 50,
       .suffix = "m",
       .hint = "Search range in town"},
  };
  EXPECT_EQ(loaded.fields, expected);
  const SettingField& range = loaded.fields[2];
  EXPECT_FALSE(IsVisible(range, SchemaCountry::Tjk));
  EXPECT_TRUE(IsVisible(range, SchemaCountry::Uzb));
  EXPECT_TRUE(IsVisible(range, SchemaCountry::Rus));
  EXPECT_EQ(PacketVersionDigits(loaded.meta.schema_version), "024107");
}

// One column per member, so a row states each cell by position.
constexpr std::string_view kHeader =
    "rowtype,type,name,index,display,min,max,unit,scale,value,rus_default,uzb_default,"
    "tjk_default,options,hint,description,suffix,category\n";

TEST(SettingsSchemaTest, LoaderEdgeCases) {
  using Check = std::function<void(const Loaded&)>;
  const struct {
    const char* what;
    std::string csv;
    Check check;
  } cases[] = {
      {"byte-order mark and a padded, mixed-case header cell",
       "\xEF\xBB\xBF  RowType ,Name,INDEX\t\nfield,x,3\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 1u);
         EXPECT_EQ(l.fields[0].name, "x");
         EXPECT_EQ(l.fields[0].index, 3);
       }},
      {"quotes in cells", "rowtype,name,hint\nfield,\"a \"\"b\"\", c\",x\nfield,ab\"c,d\"e,\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 2u);
         EXPECT_EQ(l.fields[0].name, "a \"b\", c");
         EXPECT_EQ(l.fields[0].hint, "x");
         EXPECT_EQ(l.fields[1].name, "abc,de");
       }},
      {"open quote drops its cell", "rowtype,index,name\nfield,5,\"open\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 1u);
         EXPECT_EQ(l.fields[0].index, 5);
         EXPECT_EQ(l.fields[0].name, "");
       }},
      {"comma line before the header, CR-only line among the rows",
       ",,,\nrowtype,index\n\r\nfield,4\n,,,\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 1u);
         EXPECT_EQ(l.fields[0].index, 4);
       }},
      {"CR LF first line is a header without columns",
       "\r\nrowtype,type,rus_default,index\nmeta,byte_length,9,\nfield,,,4\n",
       [](const Loaded& l) {
         EXPECT_TRUE(l.fields.empty());
         EXPECT_EQ(l.meta.byte_length, 0);
       }},
      {"row kinds fold case but are not trimmed",
       "rowtype,type,rus_default,index\nMeta,byte_length,9,\n meta,fw_index,3,\nFIELD,,,1\n"
       "field ,,,2\n",
       [](const Loaded& l) {
         EXPECT_EQ(l.meta.byte_length, 9);
         EXPECT_EQ(l.meta.fw_index, 62);
         ASSERT_EQ(l.fields.size(), 1u);
         EXPECT_EQ(l.fields[0].index, 1);
       }},
      {"meta keys fold case and are trimmed, later rows win, others ignored",
       "rowtype,type,rus_default\nmeta, Schema_Version ,\" 1.0 \"\nmeta,byte_length,7\n"
       "meta,BYTE_LENGTH,-5\nmeta,fw_index,7\nmeta,fw_index,-1\nmeta,other,7\n",
       [](const Loaded& l) {
         EXPECT_EQ(l.meta.schema_version, "1.0");
         EXPECT_EQ(l.meta.byte_length, 0);
         EXPECT_EQ(l.meta.fw_index, 62);
       }},
      {"a repeated header name refers to its last column", "rowtype,index,index\nfield,1,2\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 1u);
         EXPECT_EQ(l.fields[0].index, 2);
       }},
      {"ranges: swapped, bounded, narrowed by enum options",
       std::string(kHeader) + "field,number,a,0,7,40,10,1,1,255\n"
                              "field,number,b,1,7,-3,999,0,-2,255\n"
                              "field,enum,c,2,7,0,255,1,1,255,,,,A|B|C\n"
                              "field,Enum,d,3,7,0,1,1,1,255,,,,A|B|C\n"
                              "field,enum ,e,4,7,0,255,1,1,255,,,,A|B|C\n"
                              "field,enum,f,5,7,3,9,1,1,255\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 6u);
         const std::pair<int32_t, int32_t> ranges[] = {{10, 40}, {0, 255}, {0, 2},
                                                       {0, 1},   {0, 255}, {3, 9}};
         for (std::size_t i = 0; i < 6; ++i) {
           EXPECT_EQ(std::make_pair(l.fields[i].min, l.fields[i].max), ranges[i]) << i;
         }
         EXPECT_EQ(l.fields[1].unit, 1);
         EXPECT_EQ(l.fields[1].scale, 1);
       }},
      {"toggle: range 0..1 with step 1, value becomes 0 or 1",
       std::string(kHeader) + "field,Toggle,t,0,7,5,9,4,1,7,3,0,-2\nfield,toggle,u,1,7,,,,,0\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 2u);
         const SettingField& t = l.fields[0];
         EXPECT_EQ(std::make_tuple(t.min, t.max, t.unit, t.value), std::make_tuple(0, 1, 1, 1));
         EXPECT_EQ(std::make_tuple(t.rus_default, t.uzb_default, t.tjk_default),
                   std::make_tuple(1, 0, 0));
         EXPECT_EQ(l.fields[1].value, 0);
       }},
      {"defaults to the nearest step, values down to a step, both clamped",
       std::string(kHeader) + "field,number,n,0,7,4,20,4,1,11,7,5,30\n"
                              "field,number,m,1,7,4,20,4,1,2,-9,6,1\n"
                              "field,number,v,2,7,0,255,1,1,300\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 3u);
         const SettingField& n = l.fields[0];
         EXPECT_EQ(std::make_tuple(n.value, n.rus_default, n.uzb_default, n.tjk_default),
                   std::make_tuple(8, 8, 4, 20));
         const SettingField& m = l.fields[1];
         EXPECT_EQ(std::make_tuple(m.value, m.rus_default, m.uzb_default, m.tjk_default),
                   std::make_tuple(4, 4, 8, 4));
         EXPECT_EQ(l.fields[2].value, 255);
       }},
      {"empty cells read as 0, the unset value stays", std::string(kHeader) + "field,number\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 1u);
         const SettingField& f = l.fields[0];
         EXPECT_EQ(std::make_tuple(f.index, f.display, f.min, f.max, f.unit, f.scale, f.value),
                   std::make_tuple(0, 0, 0, 0, 1, 1, 0));
       }},
      {"hostile numbers saturate and are normalised",
       std::string(kHeader) +
           "field,number,h,3,-99999999999,-99999999999,99999999999,99999999999,99999999999,"
           "99999999999,99999999999,-99999999999,2147483647\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 1u);
         const SettingField& f = l.fields[0];
         EXPECT_EQ(std::make_tuple(f.display, f.min, f.max, f.unit, f.scale),
                   std::make_tuple(0, 0, 255, INT_MAX, INT_MAX));
         EXPECT_EQ(std::make_tuple(f.value, f.rus_default, f.uzb_default, f.tjk_default),
                   std::make_tuple(255, 255, 0, 255));
       }},
      {"options split at bars, trimmed, empty pieces dropped",
       std::string(kHeader) + "field,enum,o,0,7,0,255,1,1,0,,,,\" A || B \"\nfield,enum,p,1,7,"
                              "0,255,1,1,0,,,,| |\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 2u);
         EXPECT_EQ(l.fields[0].options, (std::vector<std::string>{"A", "B"}));
         EXPECT_EQ(l.fields[0].max, 1);
         EXPECT_TRUE(l.fields[1].options.empty());
         EXPECT_EQ(l.fields[1].max, 255);
       }},
      {"texts: type, name and category kept as written, suffix and hint trimmed",
       std::string(kHeader) + "field, enum , FW_Country ,0,7,0,9,1,1,0,,,,,\" h \",d,\" m \","
                              " c \nfield,x,n,1,7,0,9,1,1,0,,,,,\"   \",d\nfield,x,n,2,7,0,9,1,1,"
                              "0,,,,,,\" d \"\nfield,\xFFx,\xD0\x93\xC3,3\n",
       [](const Loaded& l) {
         ASSERT_EQ(l.fields.size(), 4u);
         const SettingField& f = l.fields[0];
         EXPECT_EQ(std::make_tuple(f.type, f.name, f.category, f.suffix, f.hint),
                   std::make_tuple(" enum ", " FW_Country ", " c ", "m", "h"));
         EXPECT_EQ(f.max, 9);  // " enum " is a number
         EXPECT_EQ(l.fields[1].hint, "");
         EXPECT_EQ(l.fields[2].hint, "d");
         EXPECT_EQ(l.fields[3].type, "\xEF\xBF\xBDx");
         EXPECT_EQ(l.fields[3].name, "\xD0\x93\xEF\xBF\xBD");
       }},
      {"country setting: FW_Country by name, folding case but untrimmed",
       std::string(kHeader) + "field,enum,FW_Country ,5,7,0,9,1,1,0,,,,RUS|UZB\n"
                              "field,number,fw_country,7,7,0,9\nfield,number,FW_Country,8,7,0,9\n",
       [](const Loaded& l) { EXPECT_EQ(l.meta.fw_index, 7); }},
      {"country setting: else the first enum with a country option",
       "rowtype,type,index,options\nfield,number,3,RUS\nfield,enum,4,A|B\nfield,ENUM,5,a|uzb\n"
       "field,enum,6,TJK\n",
       [](const Loaded& l) { EXPECT_EQ(l.meta.fw_index, 5); }},
      {"country setting: options are trimmed, a type \"enum \" is no enum",
       "rowtype,type,rus_default,index,options\nmeta,fw_index,12\nfield,enum,,4,\" RUS \"\n"
       "field,enum ,,5,RUS\n",
       [](const Loaded& l) { EXPECT_EQ(l.meta.fw_index, 4); }},
      {"fw_index of meta rows only when no field names the country",
       "rowtype,type,rus_default,index,options\nmeta,fw_index,12\nfield,enum,,4,A|B\n",
       [](const Loaded& l) { EXPECT_EQ(l.meta.fw_index, 12); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Loaded loaded = Load(c.csv);
    ASSERT_TRUE(loaded.ok) << loaded.message;
    c.check(loaded);
  }
}

TEST(SettingsSchemaTest, LoadFailures) {
  const SchemaMeta before{"kept", 5, 6};
  const Fields beforeFields = {EnumField(1, {"kept"})};
  const struct {
    const char* what;
    std::string csv;
    std::string_view message;
    bool untouched;
    std::size_t fieldsRead;
  } cases[] = {
      {"empty file", "", kSchemaEmpty, true, 0},
      {"only commas and empty lines", ",,,\n\n,\n", "CSV 비어있음", true, 0},
      {"negative index", "rowtype,index\nfield,0\nfield,-1\nfield,-2\n", "field index 누락", false,
       3},
      {"index at byte_length",
       "rowtype,type,rus_default,index\nmeta,byte_length,4\nfield,,,3\nfield,,,4\n",
       "index가 byte_length 범위를 초과", false, 2},
      {"oversized input", std::string(kMaxSchemaFileBytes + 1, '\n'), kSchemaOpenFailed, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SchemaMeta meta = before;
    Fields fields = beforeFields;
    std::string message;
    EXPECT_FALSE(LoadSettingsSchemaBytes(c.csv, meta, fields, &message));
    EXPECT_EQ(message, c.message);
    if (c.untouched) {
      EXPECT_EQ(meta.schema_version, "kept");
      EXPECT_EQ(fields, beforeFields);
    } else if (c.fieldsRead != 0) {
      EXPECT_EQ(fields.size(), c.fieldsRead);
    }
  }
  // The message is optional.
  SchemaMeta meta;
  Fields fields;
  EXPECT_FALSE(LoadSettingsSchemaBytes("", meta, fields));
}

TEST(SettingsSchemaTest, LoadsFromAFile) {
  testing::ScopedTempDir dir;
  const auto file = dir.path() / "schema.csv";
  std::ofstream(file, std::ios::binary) << "rowtype,type,rus_default,index\nmeta,byte_length,8,\n"
                                           "field,,,7\n";
  SchemaMeta meta;
  Fields fields;
  std::string message;
  ASSERT_TRUE(LoadSettingsSchema(file, meta, fields, &message)) << message;
  EXPECT_EQ(meta.byte_length, 8);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].index, 7);

  // A file at the limit is read (and found empty); one byte more is refused.
  const auto limit = dir.path() / "limit.csv";
  std::ofstream(limit, std::ios::binary) << std::string(kMaxSchemaFileBytes, '\n');
  EXPECT_FALSE(LoadSettingsSchema(limit, meta, fields, &message));
  EXPECT_EQ(message, "CSV 비어있음");

  const auto large = dir.path() / "large.csv";
  std::ofstream(large, std::ios::binary) << std::string(kMaxSchemaFileBytes + 1, '\n');
  for (const auto& unreadable : {dir.path() / "missing.csv", dir.path(), large}) {
    SCOPED_TRACE(unreadable.string());
    message.clear();
    EXPECT_FALSE(LoadSettingsSchema(unreadable, meta, fields, &message));
    EXPECT_EQ(message, "CSV 열기 실패");
    EXPECT_EQ(meta.byte_length, 8);
    EXPECT_EQ(fields.size(), 1u);
  }
}

}  // namespace
}  // namespace korvan
