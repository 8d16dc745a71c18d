// libFuzzer target: reading any bytes as a settings packet into the fields of a small fixed
// schema. Checked on every input: short packets change nothing, the header, version and length
// are taken as the packet holds them, a length beyond the data changes no value, every value
// read lies in its field's range, and a packet built again keeps the header.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/schema_csv.h"
#include "settings/settings_packet.h"
#include "settings/settings_schema.h"

namespace {

using korvan::SettingField;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Every kind of field: enums (one the country setting), toggles, stepped numbers, two fields on
// one byte, and a byte_length that leaves room past the last field.
constexpr std::string_view kSchema =
    "rowtype,type,name,index,display,min,max,unit,scale,value,rus_default,uzb_default,"
    "tjk_default,options\n"
    "meta,schema_version,,,,,,,,,3.1.4\n"
    "meta,byte_length,,,,,,,,,12\n"
    "field,enum,FW_Country,10,7,0,255,1,1,255,0,1,2,RUS|UZB|TJK\n"
    "field,toggle,Laser,0,7,,,,,255,1,1,0\n"
    "field,number,Range,1,6,2,28,2,50,255,8,6,4\n"
    "field,number,Volume,2,7,0,255,1,1,255,5,5,5\n"
    "field,enum,Mode,3,7,0,1,1,1,255,0,0,0,A|B|C\n"
    "field,number,Shared,4,7,10,20,3,1,255,12,12,12\n"
    "field,toggle,Shared,4,7,,,,,255,1,1,1\n";

struct Schema {
  korvan::SchemaMeta meta;
  std::vector<SettingField> fields;
};

const Schema& FixedSchema() {
  static const Schema schema = [] {
    Schema loaded;
    Require(korvan::LoadSettingsSchemaBytes(kSchema, loaded.meta, loaded.fields));
    Require(loaded.meta.schema_version == "3.1.4" && loaded.meta.byte_length == 12 &&
            loaded.meta.fw_index == 10 && loaded.fields.size() == 7);
    return loaded;
  }();
  return schema;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const Schema& schema = FixedSchema();
  korvan::SchemaMeta meta = schema.meta;
  std::vector<SettingField> fields = schema.fields;
  korvan::SettingsPacketHeader header{};
  std::string version = "none";
  uint16_t length = 0;
  std::string message;
  const std::span<const uint8_t> packet(data, size);
  const bool parsed =
      korvan::ParseSettingsPacket(packet, &header, version, length, meta, fields, &message);
  Require(parsed == message.empty());

  if (size < korvan::kSettingsPacketPayloadOffset) {
    Require(!parsed && message == korvan::kPacketTooShort && version == "none");
    Require(meta.schema_version == schema.meta.schema_version && fields == schema.fields);
    return 0;
  }
  Require(std::equal(header.begin(), header.end(), data));
  Require(length == (data[22] | (data[23] << 8)));
  Require(meta.schema_version == version && korvan::DecodeCellText(version) == version);
  Require(parsed == (korvan::kSettingsPacketPayloadOffset + length <= size));
  if (!parsed) {
    Require(message == "길이 필드가 실제 데이터보다 큼 : " + std::to_string(length));
    Require(fields == schema.fields);
    return 0;
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const SettingField& field = fields[i];
    if (field.index >= length) {
      Require(field.value == schema.fields[i].value);
    } else if (korvan::IsToggleField(field)) {
      Require(field.value == (data[24 + field.index] != 0 ? 1 : 0));
    } else {
      Require(field.value >= field.min && field.value <= field.max);
      Require(field.value % field.unit == 0 || field.value == field.min ||
              field.value == field.max);
    }
  }

  std::vector<uint8_t> rebuilt;
  Require(korvan::BuildSettingsPacket(meta, fields, &header, rebuilt));
  Require(rebuilt.size() == korvan::kSettingsPacketPayloadOffset + 12);
  Require(std::equal(header.begin(), header.end(), rebuilt.begin()));
  Require(std::string(rebuilt.begin() + 16, rebuilt.begin() + 22) ==
          korvan::PacketVersionDigits(version));
  return 0;
}
