// The byte image of a schema's settings and the settings packet that carries it to and from the
// device's settings area:
//   offset 0   16 bytes  header, opaque: kept from the packet read, zeros when there is none
//   offset 16   6 bytes  version, six ASCII decimal digits
//   offset 22   2 bytes  payload length n, little-endian
//   offset 24   n bytes  payload: the byte image
// Pure functions over bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_schema.h"

namespace korvan {

using SettingsPacketHeader = std::array<uint8_t, 16>;

inline constexpr std::size_t kSettingsPacketHeaderSize = 16;
inline constexpr std::size_t kSettingsPacketVersionSize = 6;
inline constexpr std::size_t kSettingsPacketPayloadOffset = 24;
// The length field is 16 bits wide.
inline constexpr std::size_t kMaxSettingsImageBytes = 65535;

// Messages of ParseSettingsPacket; the second is a format with the payload length.
inline constexpr std::string_view kPacketTooShort = "패킷 길이 부족";
inline constexpr std::string_view kPacketLengthBeyondData = "길이 필드가 실제 데이터보다 큼 : %d";

// Length of the image: byte_length when above 0, else highest field index + 1 (0 without
// fields). 64 bits, since a schema without byte_length may name any index.
int64_t SettingsImageLength(const SchemaMeta& meta, std::span<const SettingField> fields);

// The payload: each field with 0 <= index < length sets its byte to Clamp(value, 0, 255), in
// file order, so an unset value writes 0xFF and the later of two fields on one byte wins.
// Empty when the length is above kMaxSettingsImageBytes: no packet can carry such an image, and
// a schema may claim a length of gigabytes.
std::vector<uint8_t> BuildSettingsImage(const SchemaMeta& meta,
                                        std::span<const SettingField> fields);

// The six version digits of a schema version: its characters '0'-'9' in order, left-padded with
// '0' to six, or the last six of them. "1.2" -> "000012".
std::string PacketVersionDigits(std::string_view schemaVersion);

// Serialises the packet into `packet`, with `header` (16 zero bytes when null). False, leaving
// `packet` alone, when the image is longer than kMaxSettingsImageBytes.
bool BuildSettingsPacket(const SchemaMeta& meta, std::span<const SettingField> fields,
                         const SettingsPacketHeader* header, std::vector<uint8_t>& packet);

// Reads a packet from the device into the model. Fails with kPacketTooShort below 24 bytes
// (nothing changed). Otherwise copies the header (when `header` is not null), returns the
// version bytes as text (each byte one character, so the text is valid UTF-8 whatever the bytes)
// and sets meta.schema_version to it, returns the payload length, and then fails with
// kPacketLengthBeyondData when the packet is shorter than that length says. Else applies the
// payload (ApplyDevicePayload). `message` may be null.
bool ParseSettingsPacket(std::span<const uint8_t> packet, SettingsPacketHeader* header,
                         std::string& version, uint16_t& payloadLength, SchemaMeta& meta,
                         std::vector<SettingField>& fields, std::string* message = nullptr);

// Every field with 0 <= index < payload size takes its value from its payload byte b: a toggle 1
// when b is not 0, else 0; any other field Clamp(StepDown(b, unit), min, max). Other fields keep
// their value.
void ApplyDevicePayload(std::span<SettingField> fields, std::span<const uint8_t> payload);

}  // namespace korvan
