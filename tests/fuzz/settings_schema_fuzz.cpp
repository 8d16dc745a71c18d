// libFuzzer target: the settings schema loader over any file bytes, then the image and packet of
// what it loaded. Checked on every input: the failures leave what they promise, every text is
// valid UTF-8, every field is normalised, and a packet is built exactly when its image fits.
#include <cstdint>
#include <cstdlib>
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

bool ValidUtf8(const std::string& text) {
  return korvan::DecodeCellText(text) == text;
}

bool InRange(int32_t v, const SettingField& field) {
  return v >= field.min && v <= field.max;
}

void CheckField(const SettingField& field) {
  for (const std::string* text :
       {&field.category, &field.name, &field.type, &field.suffix, &field.hint}) {
    Require(ValidUtf8(*text));
  }
  Require(korvan::TrimSchemaText(field.suffix) == field.suffix);
  Require(korvan::TrimSchemaText(field.hint) == field.hint);
  for (const std::string& option : field.options) {
    Require(ValidUtf8(option) && !option.empty());
    Require(korvan::TrimSchemaText(option) == option);
    Require(option.find('|') == std::string::npos);
  }
  Require(field.display >= 0 && field.unit >= 1 && field.scale >= 1);
  Require(field.min <= field.max && field.min <= 255 && field.max >= 0);
  if (korvan::IsToggleField(field)) {
    Require(field.min == 0 && field.max == 1 && field.unit == 1);
  } else if (korvan::IsEnumField(field) && !field.options.empty()) {
    Require(field.min == 0 && field.max < static_cast<int32_t>(field.options.size()));
  }
  Require(InRange(field.rus_default, field) && InRange(field.uzb_default, field) &&
          InRange(field.tjk_default, field));
  Require(field.value == korvan::kUnsetValue || InRange(field.value, field));
}

void CheckPacket(const korvan::SchemaMeta& meta, const std::vector<SettingField>& fields) {
  const int64_t length = korvan::SettingsImageLength(meta, fields);
  const std::vector<uint8_t> image = korvan::BuildSettingsImage(meta, fields);
  std::vector<uint8_t> packet;
  const bool built = korvan::BuildSettingsPacket(meta, fields, nullptr, packet);
  Require(built == (length <= static_cast<int64_t>(korvan::kMaxSettingsImageBytes)));
  if (!built) {
    Require(image.empty() && packet.empty());
    return;
  }
  Require(static_cast<int64_t>(image.size()) == length);
  Require(packet.size() == korvan::kSettingsPacketPayloadOffset + image.size());
  for (std::size_t i = 0; i < 16; ++i) {
    Require(packet[i] == 0);
  }
  for (std::size_t i = 16; i < 22; ++i) {
    Require(packet[i] >= '0' && packet[i] <= '9');
  }
  Require(std::vector<uint8_t>(packet.begin() + 24, packet.end()) == image);

  // Reading the packet back takes its version and length and keeps every value in its range.
  korvan::SchemaMeta readMeta = meta;
  std::vector<SettingField> read = fields;
  std::string version;
  uint16_t payloadLength = 0;
  Require(korvan::ParseSettingsPacket(packet, nullptr, version, payloadLength, readMeta, read));
  Require(payloadLength == image.size());
  Require(version == korvan::PacketVersionDigits(meta.schema_version));
  Require(readMeta.schema_version == version);
  for (const SettingField& field : read) {
    Require(field.value == korvan::kUnsetValue || InRange(field.value, field));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const korvan::SchemaMeta before{"before", 7, 8};
  korvan::SchemaMeta meta = before;
  std::vector<SettingField> fields(1);
  std::string message;
  const bool loaded = korvan::LoadSettingsSchemaBytes(bytes, meta, fields, &message);
  Require(loaded == message.empty());
  Require(ValidUtf8(meta.schema_version));

  if (message == korvan::kSchemaEmpty || message == korvan::kSchemaOpenFailed) {
    Require(meta.schema_version == before.schema_version && meta.byte_length == 7 &&
            meta.fw_index == 8 && fields.size() == 1);
    return 0;
  }
  Require(loaded || message == korvan::kSchemaIndexMissing ||
          message == korvan::kSchemaIndexBeyondLength);
  Require(meta.byte_length >= 0);
  for (const SettingField& field : fields) {
    CheckField(field);
  }
  if (loaded) {
    for (const SettingField& field : fields) {
      Require(field.index >= 0);
      Require(meta.byte_length == 0 || field.index < meta.byte_length);
    }
  }
  for (int32_t v = -1; v < 4; ++v) {
    (void)korvan::CountryOf(fields, meta.fw_index, v);
  }
  CheckPacket(meta, fields);
  return 0;
}
