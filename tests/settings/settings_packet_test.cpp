// The byte image of the settings, the packet's version digits, building a packet and reading
// one back from the device (short packets, a length field beyond the data, the payload rules).
#include "settings/settings_packet.h"

#include <gtest/gtest.h>

#include <numeric>

namespace korvan {
namespace {

using Bytes = std::vector<uint8_t>;
using Fields = std::vector<SettingField>;

SettingField Field(int32_t index, int32_t value, std::string type = "number") {
  SettingField field;
  field.index = index;
  field.value = value;
  field.type = std::move(type);
  field.max = 255;
  return field;
}

TEST(SettingsPacketTest, BuildsTheImage) {
  const struct {
    const char* what;
    int32_t byteLength;
    Fields fields;
    Bytes image;
  } cases[] = {
      {"no fields", 0, {}, {}},
      {"length from the highest index",
       0,
       {Field(10, 7), Field(3, 1)},
       {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 7}},
      {"byte_length pads and cuts", 3, {Field(0, 9), Field(5, 1)}, {9, 0, 0}},
      {"unset value and clamping", 0, {Field(0, 255), Field(1, 300), Field(2, -4)}, {0xFF, 255, 0}},
      {"the later of two fields on one byte wins", 0, {Field(4, 1), Field(4, 2)}, {0, 0, 0, 0, 2}},
      {"negative indexes are left out", 0, {Field(-1, 5), Field(1, 6)}, {0, 6}},
      {"only negative indexes", 0, {Field(-3, 5)}, {}},
      {"a length of 65535 still fits",
       65535,
       {Field(65534, 1)},
       [] {
         Bytes image(65535, 0);
         image.back() = 1;
         return image;
       }()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildSettingsImage(SchemaMeta{"", c.byteLength, 62}, c.fields), c.image) << c.what;
  }
}

TEST(SettingsPacketTest, ImagesTooLargeForAPacketAreNeverBuilt) {
  std::vector<uint8_t> packet = {1, 2, 3};
  for (const auto& [byteLength, index] : {std::pair{65536, 0}, std::pair{0, 65535},
                                          std::pair{INT32_MAX, 0}, std::pair{0, INT32_MAX}}) {
    const SchemaMeta meta{"1", byteLength, 62};
    const Fields fields = {Field(index, 1)};
    EXPECT_GT(SettingsImageLength(meta, fields), 65535);
    EXPECT_TRUE(BuildSettingsImage(meta, fields).empty());
    EXPECT_FALSE(BuildSettingsPacket(meta, fields, nullptr, packet));
    EXPECT_EQ(packet, (Bytes{1, 2, 3}));
  }
}

TEST(SettingsPacketTest, VersionDigits) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"1.2", "000012"},
      {"2024-05-17b9", "405179"},
      {"2.4.1-07", "024107"},
      {"", "000000"},
      {"v", "000000"},
      {"123456", "123456"},
      {"\xD9\xA1"
       "7",
       "000007"},  // an Arabic-Indic one is no ASCII digit
  };
  for (const auto& [version, digits] : cases) {
    EXPECT_EQ(PacketVersionDigits(version), digits) << version;
  }
}

TEST(SettingsPacketTest, BuildsThePacket) {
  Fields fields(300, Field(0, 0));
  for (int32_t i = 0; i < 300; ++i) {
    fields[static_cast<std::size_t>(i)] = Field(i, i % 7);
  }
  const SchemaMeta meta{"2.4.1-07", 0, 62};
  SettingsPacketHeader header;
  std::iota(header.begin(), header.end(), uint8_t{0xA0});

  for (const SettingsPacketHeader* given : {&header, static_cast<SettingsPacketHeader*>(nullptr)}) {
    Bytes packet;
    ASSERT_TRUE(BuildSettingsPacket(meta, fields, given, packet));
    ASSERT_EQ(packet.size(), 24u + 300u);
    const Bytes head(packet.begin(), packet.begin() + 16);
    EXPECT_EQ(head, given != nullptr ? Bytes(header.begin(), header.end()) : Bytes(16, 0));
    EXPECT_EQ(std::string(packet.begin() + 16, packet.begin() + 22), "024107");
    EXPECT_EQ(packet[22], 300 & 0xFF);
    EXPECT_EQ(packet[23], 300 >> 8);
    EXPECT_EQ(Bytes(packet.begin() + 24, packet.end()), BuildSettingsImage(meta, fields));
  }
}

Bytes Packet(std::string_view version, uint16_t length, Bytes payload) {
  Bytes packet;
  packet.reserve(24 + payload.size());
  packet.assign(16, 0x5A);
  packet.insert(packet.end(), version.begin(), version.end());
  packet.push_back(static_cast<uint8_t>(length & 0xFF));
  packet.push_back(static_cast<uint8_t>(length >> 8));
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

struct Parsed {
  bool ok = false;
  SettingsPacketHeader header{};
  std::string version = "untouched";
  uint16_t length = 0xBEEF;
  std::string message;
};

Parsed Parse(const Bytes& packet, SchemaMeta& meta, Fields& fields) {
  Parsed parsed;
  parsed.ok = ParseSettingsPacket(packet, &parsed.header, parsed.version, parsed.length, meta,
                                  fields, &parsed.message);
  return parsed;
}

TEST(SettingsPacketTest, ParseFailures) {
  const Fields before = {Field(0, 3)};
  SchemaMeta meta{"old", 0, 62};
  Fields fields = before;
  for (const std::size_t size : {0u, 1u, 23u}) {
    const Parsed parsed = Parse(Bytes(size, 0), meta, fields);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.message, "패킷 길이 부족");
    EXPECT_EQ(parsed.version, "untouched");
    EXPECT_EQ(meta.schema_version, "old");
  }

  // The length is tested after the version has been taken.
  for (const auto& [length, payload, text] :
       {std::tuple{uint16_t{5}, Bytes{}, "길이 필드가 실제 데이터보다 큼 : 5"},
        std::tuple{uint16_t{2}, Bytes{1}, "길이 필드가 실제 데이터보다 큼 : 2"},
        std::tuple{uint16_t{65535}, Bytes(100, 1), "길이 필드가 실제 데이터보다 큼 : 65535"}}) {
    const Parsed parsed = Parse(Packet("000412", length, payload), meta, fields);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.message, text);
    EXPECT_EQ(parsed.length, length);
    EXPECT_EQ(parsed.version, "000412");
    EXPECT_EQ(meta.schema_version, "000412");
    EXPECT_EQ(fields, before);
  }
}

TEST(SettingsPacketTest, ParsesAPacketIntoTheFields) {
  SchemaMeta meta{"old", 64, 62};
  Fields fields = {Field(0, 3)};
  Parsed parsed = Parse(Packet("000123", 0, {}), meta, fields);
  ASSERT_TRUE(parsed.ok) << parsed.message;
  EXPECT_EQ(parsed.length, 0);
  EXPECT_EQ(parsed.version, "000123");
  EXPECT_EQ(meta.schema_version, "000123");
  EXPECT_EQ(meta.byte_length, 64);
  SettingsPacketHeader header;
  header.fill(0x5A);
  EXPECT_EQ(parsed.header, header);
  EXPECT_EQ(fields[0].value, 3);

  // Bytes beyond the length are not payload; version bytes are characters U+0000-U+00FF.
  SettingField stepped = Field(2, 0);
  stepped.min = 4;
  stepped.max = 20;
  stepped.unit = 4;
  SettingField limited = Field(3, 0, "Enum");
  limited.max = 2;
  fields = {Field(0, 9, "toggle"), Field(1, 9, "TOGGLE"), stepped,    limited,
            Field(4, 9),           Field(-1, 9),          Field(6, 9)};
  parsed = Parse(Packet(std::string_view("1\xE9\0"
                                         "2\xFF"
                                         "3",
                                         6),
                        5, {0, 7, 11, 200, 255, 1, 1}),
                 meta, fields);
  ASSERT_TRUE(parsed.ok) << parsed.message;
  EXPECT_EQ(parsed.length, 5);
  EXPECT_EQ(parsed.version, std::string("1\xC3\xA9\0"
                                        "2\xC3\xBF"
                                        "3",
                                        8));
  std::vector<int32_t> values;
  for (const SettingField& field : fields) {
    values.push_back(field.value);
  }
  EXPECT_EQ(values, (std::vector<int32_t>{0, 1, 8, 2, 255, 9, 9}));
}

TEST(SettingsPacketTest, PacketsRoundTrip) {
  const SchemaMeta meta{"7.0.3", 12, 62};
  SettingField toggle = Field(1, 1, "toggle");
  toggle.max = 1;
  const Fields fields = {Field(0, 5), toggle, Field(11, 255), Field(7, 0)};
  SettingsPacketHeader header;
  header.fill(0xC3);
  Bytes packet;
  ASSERT_TRUE(BuildSettingsPacket(meta, fields, &header, packet));

  SchemaMeta readMeta = meta;
  Fields read = fields;
  for (SettingField& field : read) {
    field.value = 42;
  }
  const Parsed parsed = Parse(packet, readMeta, read);
  ASSERT_TRUE(parsed.ok) << parsed.message;
  EXPECT_EQ(parsed.header, header);
  EXPECT_EQ(parsed.version, "000703");
  EXPECT_EQ(parsed.length, 12);
  EXPECT_EQ(read, fields);
}

}  // namespace
}  // namespace korvan
