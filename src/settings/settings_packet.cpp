#include "settings/settings_packet.h"

#include <algorithm>

namespace korvan {
namespace {

// The version bytes as text, each byte the character of the same number (U+0000-U+00FF).
std::string VersionText(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t b : bytes) {
    if (b < 0x80) {
      text += static_cast<char>(b);
    } else {
      text += static_cast<char>(0xC0 | (b >> 6));
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

std::string LengthMessage(uint16_t length) {
  std::string text(kPacketLengthBeyondData);
  text.replace(text.find("%d"), 2, std::to_string(length));
  return text;
}

}  // namespace

int64_t SettingsImageLength(const SchemaMeta& meta, std::span<const SettingField> fields) {
  if (meta.byte_length > 0) {
    return meta.byte_length;
  }
  if (fields.empty()) {
    return 0;
  }
  const auto highest = std::max_element(
      fields.begin(), fields.end(),
      [](const SettingField& a, const SettingField& b) { return a.index < b.index; });
  // All indexes negative gives 0 or less; nothing to write then.
  return std::max<int64_t>(int64_t{highest->index} + 1, 0);
}

std::vector<uint8_t> BuildSettingsImage(const SchemaMeta& meta,
                                        std::span<const SettingField> fields) {
  const int64_t length = SettingsImageLength(meta, fields);
  if (length > static_cast<int64_t>(kMaxSettingsImageBytes)) {
    return {};
  }
  std::vector<uint8_t> image(static_cast<std::size_t>(length), 0);
  for (const SettingField& field : fields) {
    if (field.index >= 0 && field.index < length) {
      image[static_cast<std::size_t>(field.index)] =
          static_cast<uint8_t>(Clamp(field.value, 0, 255));
    }
  }
  return image;
}

std::string PacketVersionDigits(std::string_view schemaVersion) {
  std::string digits;
  for (const char c : schemaVersion) {
    if (c >= '0' && c <= '9') {
      digits += c;
    }
  }
  if (digits.size() < kSettingsPacketVersionSize) {
    digits.insert(0, kSettingsPacketVersionSize - digits.size(), '0');
  }
  return digits.substr(digits.size() - kSettingsPacketVersionSize);
}

bool BuildSettingsPacket(const SchemaMeta& meta, std::span<const SettingField> fields,
                         const SettingsPacketHeader* header, std::vector<uint8_t>& packet) {
  if (SettingsImageLength(meta, fields) > static_cast<int64_t>(kMaxSettingsImageBytes)) {
    return false;
  }
  const std::vector<uint8_t> image = BuildSettingsImage(meta, fields);
  std::vector<uint8_t> built;
  built.reserve(kSettingsPacketPayloadOffset + image.size());
  if (header != nullptr) {
    built.insert(built.end(), header->begin(), header->end());
  } else {
    built.resize(kSettingsPacketHeaderSize, 0);
  }
  const std::string digits = PacketVersionDigits(meta.schema_version);
  built.insert(built.end(), digits.begin(), digits.end());
  built.push_back(static_cast<uint8_t>(image.size() & 0xFF));
  built.push_back(static_cast<uint8_t>(image.size() >> 8));
  built.insert(built.end(), image.begin(), image.end());
  packet = std::move(built);
  return true;
}

bool ParseSettingsPacket(std::span<const uint8_t> packet, SettingsPacketHeader* header,
                         std::string& version, uint16_t& payloadLength, SchemaMeta& meta,
                         std::vector<SettingField>& fields, std::string* message) {
  if (packet.data() == nullptr || packet.size() < kSettingsPacketPayloadOffset) {
    if (message != nullptr) {
      *message = kPacketTooShort;
    }
    return false;
  }
  if (header != nullptr) {
    std::copy_n(packet.begin(), kSettingsPacketHeaderSize, header->begin());
  }
  version = VersionText(packet.subspan(kSettingsPacketHeaderSize, kSettingsPacketVersionSize));
  meta.schema_version = version;
  payloadLength = static_cast<uint16_t>(packet[22] | (packet[23] << 8));
  if (kSettingsPacketPayloadOffset + payloadLength > packet.size()) {
    if (message != nullptr) {
      *message = LengthMessage(payloadLength);
    }
    return false;
  }
  ApplyDevicePayload(fields, packet.subspan(kSettingsPacketPayloadOffset, payloadLength));
  return true;
}

void ApplyDevicePayload(std::span<SettingField> fields, std::span<const uint8_t> payload) {
  for (SettingField& field : fields) {
    if (field.index < 0 || static_cast<std::size_t>(field.index) >= payload.size()) {
      continue;
    }
    const uint8_t b = payload[static_cast<std::size_t>(field.index)];
    field.value = IsToggleField(field) ? (b != 0 ? 1 : 0)
                                       : Clamp(StepDown(b, field.unit), field.min, field.max);
  }
}

}  // namespace korvan
