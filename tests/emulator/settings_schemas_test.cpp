// The settings schemas the simulated server publishes: read back with a small CSV reader of the
// test's own and held against the settings packet of the preset devices, and found in the
// server tree.
#include "emulator/settings_schemas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "device/model_catalogue.h"
#include "emulator/device_presets.h"
#include "emulator/server_tree.h"
#include "settings/settings_schema.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::string>;

// Cells of one line: commas split, double quotes group and "" inside quotes is one quote.
Row SplitLine(std::string_view line) {
  Row cells(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

std::vector<std::string> SplitOptions(const std::string& text) {
  std::vector<std::string> options;
  size_t start = 0;
  for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
    options.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  options.push_back(text.substr(start));
  return options;
}

// A schema's rows as maps from column name to cell.
struct ReadSchema {
  std::map<std::string, std::string> meta;
  std::vector<std::map<std::string, std::string>> fields;
};

ReadSchema Read(const std::string& text) {
  ReadSchema schema;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\r'), std::string::npos);
  Row header;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    const std::string_view line = std::string_view(text).substr(start, end - start);
    const Row cells = SplitLine(line);
    start = end + 1;
    if (header.empty()) {
      header = cells;
      continue;
    }
    EXPECT_EQ(cells.size(), header.size()) << line;
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < header.size() && i < cells.size(); ++i) {
      row[header[i]] = cells[i];
    }
    if (row["rowtype"] == "meta") {
      schema.meta[row["type"]] = row["rus_default"];
    } else {
      EXPECT_EQ(row["rowtype"], "field");
      schema.fields.push_back(row);
    }
  }
  for (const char* column :
       {"rowtype", "type", "name", "category", "index", "display", "rus_default", "uzb_default",
        "tjk_default", "value", "min", "max", "unit", "scale", "suffix", "hint", "options"}) {
    EXPECT_NE(std::find(header.begin(), header.end(), column), header.end()) << column;
  }
  return schema;
}

int Number(const std::string& cell) {
  EXPECT_FALSE(cell.empty());
  return std::atoi(cell.c_str());
}

// The payload of the settings packet a preset device of `type` holds.
std::vector<uint8_t> PresetPayload(int8_t type) {
  PresetOptions options;
  options.rawType = static_cast<uint8_t>(type);
  const DeviceImages images = MakePresetImages(options);
  const size_t unit = ModelCatalogue::SettingsUnit(type)->byteAddress;
  const size_t length = images.flash[unit + kPacketLengthOffset] |
                        static_cast<size_t>(images.flash[unit + kPacketLengthOffset + 1]) << 8;
  const auto from = images.flash.begin() + static_cast<std::ptrdiff_t>(unit + kPacketPayloadOffset);
  return {from, from + static_cast<std::ptrdiff_t>(length)};
}

// Whether `raw` is a value the field can hold: 0/1 for a toggle, an option of an enum, or a
// step of a number's range.
bool Legal(const std::map<std::string, std::string>& field, int raw) {
  const std::string& type = field.at("type");
  if (type == "toggle") {
    return raw == 0 || raw == 1;
  }
  if (type == "enum") {
    return raw >= 0 && raw < static_cast<int>(SplitOptions(field.at("options")).size());
  }
  const int unit = Number(field.at("unit"));
  return raw >= Number(field.at("min")) && raw <= Number(field.at("max")) && unit >= 1 &&
         raw % unit == 0;
}

TEST(SettingsSchemasTest, EachModelsSchemaFitsThePresetSettingsPacket) {
  const struct {
    int8_t type;
    const char* fileName;
    size_t fields;
  } models[] = {
      {25, "schema_Gorse.csv", 18},
      {26, "schema_FernUltra.csv", 22},
      {27, "schema_GorseTwo.csv", 25},
  };
  std::set<std::string> versions;
  for (const auto& model : models) {
    SCOPED_TRACE(::testing::Message() << "type " << int{model.type});
    EXPECT_EQ(SettingsSchemaFileName(model.type), model.fileName);
    const ReadSchema schema = Read(SettingsSchemaText(model.type));
    const std::vector<uint8_t> payload = PresetPayload(model.type);

    ASSERT_EQ(schema.meta.count("byte_length"), 1u);
    ASSERT_EQ(schema.meta.count("fw_index"), 1u);
    ASSERT_EQ(schema.meta.count("schema_version"), 1u);
    EXPECT_TRUE(versions.insert(schema.meta.at("schema_version")).second) << "same version";
    EXPECT_EQ(Number(schema.meta.at("byte_length")), static_cast<int>(payload.size()));
    EXPECT_EQ(schema.fields.size(), model.fields);

    std::set<int> indexes;
    const std::map<std::string, std::string>* country = nullptr;
    for (const auto& field : schema.fields) {
      SCOPED_TRACE(field.at("name"));
      const int index = Number(field.at("index"));
      ASSERT_GE(index, 0);
      ASSERT_LT(index, static_cast<int>(payload.size()));
      EXPECT_TRUE(indexes.insert(index).second) << "two fields share byte " << index;
      const int display = Number(field.at("display"));
      EXPECT_TRUE(display >= 1 && display <= 7) << display;
      EXPECT_EQ(Number(field.at("value")), 255);
      EXPECT_GE(Number(field.at("scale")), 1);
      EXPECT_TRUE(Legal(field, payload[static_cast<size_t>(index)]))
          << "preset byte " << int{payload[static_cast<size_t>(index)]};
      for (const char* column : {"rus_default", "uzb_default", "tjk_default"}) {
        EXPECT_TRUE(Legal(field, Number(field.at(column)))) << column;
      }
      if (field.at("name") == "FW_Country") {
        country = &field;
      }
    }

    // The country setting: an enum of the three countries at fw_index, and RUS in the presets,
    // which are Russian devices.
    ASSERT_NE(country, nullptr);
    EXPECT_EQ(country->at("type"), "enum");
    const int fwIndex = Number(schema.meta.at("fw_index"));
    EXPECT_EQ(Number(country->at("index")), fwIndex);
    const std::vector<std::string> options = SplitOptions(country->at("options"));
    for (const char* name : {"RUS", "UZB", "TJK"}) {
      EXPECT_NE(std::find(options.begin(), options.end(), name), options.end()) << name;
    }
    EXPECT_EQ(options.at(payload[static_cast<size_t>(fwIndex)]), "RUS");
  }
  for (const int8_t other : {int8_t{24}, int8_t{9}, int8_t{0}}) {
    EXPECT_THROW(SettingsSchemaText(other), std::invalid_argument) << int{other};
    EXPECT_TRUE(SettingsSchemaFileName(other).empty()) << int{other};
  }
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The schemas sit next to version.txt, one for each published model that has one, and the
// program's loader takes each of them.
TEST(SettingsSchemasTest, ServerTreePublishesTheSchemasOfItsModels) {
  korvan::testing::ScopedTempDir dir("settings_schemas");
  const struct {
    std::vector<int8_t> types;
    std::vector<int8_t> withSchema;
  } cases[] = {
      {{25, 26, 27}, {25, 26, 27}},
      {{9, 26}, {26}},
      {{4}, {}},
  };
  for (const auto& c : cases) {
    const fs::path root = dir / ("tree" + std::to_string(&c - cases));
    ServerTreeOptions options;
    options.types = c.types;
    options.countries = {kCountryRussia};
    const ServerTreeResult result = WriteServerTree(root, "15-05-2023", options);
    ASSERT_TRUE(result.ok()) << result.error;
    const fs::path download = root / kDownloadDirectory;
    for (const int8_t type : kSchemaModelTypes) {
      const fs::path file = download / SettingsSchemaFileName(type);
      const bool published =
          std::find(c.withSchema.begin(), c.withSchema.end(), type) != c.withSchema.end();
      EXPECT_EQ(fs::exists(file), published) << file;
      if (!published) {
        continue;
      }
      EXPECT_EQ(FileText(file), SettingsSchemaText(type)) << file;
      SchemaMeta meta;
      std::vector<SettingField> fields;
      std::string message;
      EXPECT_TRUE(LoadSettingsSchema(file, meta, fields, &message)) << file;
      EXPECT_EQ(message, "") << file;
      EXPECT_EQ(meta.byte_length, static_cast<int32_t>(kPresetPacketPayloadLength)) << file;
      EXPECT_EQ(fields.size(), Read(SettingsSchemaText(type)).fields.size()) << file;
    }
  }
}

}  // namespace
}  // namespace korvan::emu
