#include "sources/update_file_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

TEST(UpdateFileRulesTest, MatchWildcard) {
  struct Case {
    const char* pattern;
    const char* name;
    bool expected;
  };
  const Case cases[] = {
      // Without stars: same length, each character equal or matched by '?'.
      {"F????.bin", "F0173.bin", true},
      {"F????.bin", "F017.bin", false},
      {"F????.bin", "F01734.bin", false},
      {"F????.bin", "F0173.BIN", false},
      {"F????.bin", "f0173.bin", false},
      {"F????.bin", "F0173.bin ", false},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"?", "", false},
      // Stars absorb any run, including an empty one.
      {"*", "", true},
      {"**", "", true},
      {"*", "anything.bin", true},
      {"a*", "a", true},
      {"a*", "bcd", false},
      {"a*b", "ab", true},
      {"a*c", "abxyc", true},
      {"a*c", "abxycd", false},
      {"*.bin", "x.BIN", false},
      {"*.bin", "a.bin.bin", true},
      {"a*?", "a", false},
      {"a*?", "ab", true},
      {"?*", "", false},
      {"**a", "a", true},
      {"a**", "a", true},
      // A mismatch behind a star goes back and lets the star take one more character.
      {"*ab", "aab", true},
      {"a*bc", "abcbc", true},
      {"a*b*c", "aXbYc", true},
      {"*a*b", "xaybzb", true},
      {"*a*b", "xaybzc", false},
      {"ab*cd", "abXcYcd", true},
      {"*?x", "abx", true},
      {"*x?", "abx", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.expected)
        << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
  }
}

TEST(UpdateFileRulesTest, PatternAndRecordOffsetPerModel) {
  constexpr const char* kDated = "F????_V????_D??????.bin";
  constexpr const char* kSigned = "F????_V????_D??????_S????.bin";
  struct Case {
    int type;
    const char* pattern;
    uint32_t recordOffset;
  };
  const Case cases[] = {
      {1, "F????.bin", 0},
      {2, "F????_V????.bin", 0},
      {3, kDated, 0},
      {4, kDated, 0x1CF00},
      {5, kDated, 0x1CF00},
      {6, kDated, 0x1CF00},
      {7, "", 0},
      {8, kSigned, 0x3CF00},
      {9, kSigned, 0x79F00},
      {10, "", 0},
      {11, "", 0},
      {12, "", 0},
      {13, "", 0},
      {14, "", 0},
      {15, "", 0},
      {16, kSigned, 0x3CF00},
      {17, kSigned, 0x5CF00},
      {18, kSigned, 0xB6F00},
      {19, kSigned, 0x79F00},
      {20, kSigned, 0xF0F00},
      {21, kSigned, 0xB3F00},
      {22, kSigned, 0xB9F00},
      {23, kSigned, 0x5CF00},
      {24, kSigned, 0x5BF00},
      {25, kDated, 0x10},
      {26, kDated, 0x10},
      {27, kDated, 0x10},
      {0, "", 0},
      {28, "", 0},
      {-1, "", 0},
      {-128, "", 0},
      {127, "", 0},
  };
  for (const auto& c : cases) {
    const auto type = static_cast<int8_t>(c.type);
    EXPECT_EQ(FileNamePattern(type), c.pattern) << c.type;
    EXPECT_EQ(VersionRecordFileOffset(type), c.recordOffset) << c.type;
  }
}

TEST(UpdateFileRulesTest, ExpectedNameJoinsPrefixAndPattern) {
  EXPECT_EQ(ExpectedUpdateFileName(4), "Dahlia_F????_V????_D??????.bin");
  EXPECT_EQ(ExpectedUpdateFileName(20), "DahliaLite_F????_V????_D??????_S????.bin");
  EXPECT_EQ(ExpectedUpdateFileName(1), "Aster_F????.bin");
  EXPECT_EQ(ExpectedUpdateFileName(7), "");
  EXPECT_EQ(ExpectedUpdateFileName(30), "");

  EXPECT_TRUE(MatchWildcard(ExpectedUpdateFileName(4), "Dahlia_F0173_V0012_D150523.bin"));
  EXPECT_FALSE(MatchWildcard(ExpectedUpdateFileName(4), "dahlia_F0173_V0012_D150523.bin"));
  EXPECT_FALSE(MatchWildcard(ExpectedUpdateFileName(4), "Dahlia_F0173_V0012_D150523.BIN"));
  // No non-empty name fits a model without pattern.
  EXPECT_FALSE(MatchWildcard(ExpectedUpdateFileName(7), "Dahlia_F0173_V0012_D150523.bin"));
}

TEST(UpdateFileRulesTest, DateTextFollowsThePrefixLength) {
  struct Case {
    const char* name;
    int type;
    const char* expected;
  };
  const Case cases[] = {
      {"Dahlia_F0173_V0012_D150523.bin", 4, "150523"},
      {"Cedar_F0173_V0012_D150523.bin", 3, "150523"},
      {"DahliaLite_F0001_V0002_D240101_S0001.bin", 8, "240101"},
      {"GorseTwoAir_F0101_V0003_D231130.bin", 27, "231130"},
      // Only the position counts, not what the characters are.
      {"Dahlia_F0173_V0012_DABCDEF.bin", 4, "ABCDEF"},
      {"Dahlia_F0173_V0012_D150523", 4, "150523"},
      // The position comes from the model's prefix, whatever the name begins with.
      {"DahliaLite_F0001_V0002_D240101_S0001.bin", 4, "02_D24"},
      // No date for types 1 and 2, nor for codes without prefix.
      {"Aster_F0173_V0012_D150523.bin", 1, ""},
      {"Briar_F0173_V0012_D150523.bin", 2, ""},
      {"Dahlia_F0173_V0012_D150523.bin", 7, ""},
      {"Dahlia_F0173_V0012_D150523.bin", 0, ""},
      // A name that ends before the field has none.
      {"Dahlia_F0173_V0012_D15052", 4, ""},
      {"Dahlia_", 4, ""},
      {"", 4, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateText(c.name, static_cast<int8_t>(c.type)), c.expected)
        << c.name << " type " << c.type;
  }
}

struct Placed {
  uint32_t offset;
  std::vector<uint8_t> bytes;
};

// A file of `size` zero bytes with `parts` written at their offsets.
void WriteImage(const fs::path& path, uint32_t size, const std::vector<Placed>& parts) {
  std::vector<uint8_t> bytes(size, 0);
  for (const Placed& part : parts) {
    for (size_t i = 0; i < part.bytes.size() && part.offset + i < size; ++i) {
      bytes[part.offset + i] = part.bytes[i];
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
  ASSERT_TRUE(out.good()) << path;
}

using Digits16 = std::array<uint16_t, 4>;
constexpr Digits16 kUnread16{0xFF, 0xFF, 0xFF, 0xFF};

TEST(UpdateFileRulesTest, ReadImageVersionsChecksTheRecordOfTheModel) {
  // Type 4 keeps its record at 0x1CF00 and its voice image at 0x1D010.
  constexpr uint32_t kRecord = 0x1CF00;
  constexpr uint32_t kVoice = 0x1D010;
  constexpr uint32_t kFullSize = kVoice + 0x100;
  const std::vector<uint8_t> voice{0, 0, 1, 2};
  using R = ImageVersionsResult;
  struct Case {
    const char* what;
    std::vector<uint8_t> record;
    uint32_t size;
    R expected;
    Digits16 fw;
    Digits16 voice;
    uint8_t country;
    bool accepted;
  };
  const Case cases[] = {
      {"flagged type byte",
       {0xA4, 0x5B, 3, 0x84, 0, 1, 7, 3},
       kFullSize,
       R::Ok,
       {0, 1, 7, 3},
       {0, 0, 1, 2},
       3,
       true},
      {"plain type byte",
       {0xA4, 0x5B, 12, 0x04, 2, 5, 0, 9},
       kFullSize,
       R::Ok,
       {2, 5, 0, 9},
       {0, 0, 1, 2},
       12,
       true},
      {"third country, digits above 9",
       {0xA4, 0x5B, 109, 0x04, 255, 10, 0, 99},
       kFullSize,
       R::Ok,
       {255, 10, 0, 99},
       {0, 0, 1, 2},
       109,
       true},
      {"another model",
       {0xA4, 0x5B, 3, 0x05, 0, 1, 7, 3},
       kFullSize,
       R::BadRecord,
       kUnread16,
       kUnread16,
       0,
       true},
      {"another model, flagged",
       {0xA4, 0x5B, 3, 0x85, 0, 1, 7, 3},
       kFullSize,
       R::BadRecord,
       kUnread16,
       kUnread16,
       0,
       true},
      {"first magic byte",
       {0xA5, 0x5B, 3, 0x04, 0, 1, 7, 3},
       kFullSize,
       R::BadRecord,
       kUnread16,
       kUnread16,
       0,
       true},
      {"second magic byte",
       {0xA4, 0x5A, 3, 0x04, 0, 1, 7, 3},
       kFullSize,
       R::BadRecord,
       kUnread16,
       kUnread16,
       0,
       true},
      {"unknown country",
       {0xA4, 0x5B, 7, 0x04, 0, 1, 7, 3},
       kFullSize,
       R::CountryRefused,
       {0, 1, 7, 3},
       {0, 0, 1, 2},
       0,
       false},
      {"country zero",
       {0xA4, 0x5B, 0, 0x84, 0, 1, 7, 3},
       kFullSize,
       R::CountryRefused,
       {0, 1, 7, 3},
       {0, 0, 1, 2},
       0,
       false},
      // A record cut short reads as all zero, so the magic test fails even when the magic and
      // the type are there.
      {"file ends inside the record",
       {0xA4, 0x5B, 3, 0x04, 0, 1, 7, 3},
       kRecord + 4,
       R::BadRecord,
       kUnread16,
       kUnread16,
       0,
       true},
      {"file ends before the record", {}, kRecord, R::BadRecord, kUnread16, kUnread16, 0, true},
      {"empty file", {}, 0, R::BadRecord, kUnread16, kUnread16, 0, true},
      // A file that ends before its voice image: the voice digits read as zero.
      {"file ends inside the voice digits",
       {0xA4, 0x5B, 3, 0x04, 0, 1, 7, 3},
       kVoice + 2,
       R::Ok,
       {0, 1, 7, 3},
       {0, 0, 0, 0},
       3,
       true},
      {"file ends behind the record",
       {0xA4, 0x5B, 3, 0x04, 0, 1, 7, 3},
       kRecord + 8,
       R::Ok,
       {0, 1, 7, 3},
       {0, 0, 0, 0},
       3,
       true},
  };
  testing::ScopedTempDir temp("korvan_rules");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path path = temp / "Dahlia_F0173_V0012_D150523.bin";
    WriteImage(path, c.size, {{kRecord, c.record}, {kVoice, voice}});
    UpdateFileInfo info;
    info.fileAccepted = true;  // as the Open command sets it before reading
    EXPECT_EQ(ReadImageVersions(path, 4, info), c.expected);
    EXPECT_EQ(info.fileFwVersion, c.fw);
    EXPECT_EQ(info.fileVoiceVersion, c.voice);
    EXPECT_EQ(info.fileCountry, c.country);
    EXPECT_EQ(info.fileAccepted, c.accepted);
  }
}

TEST(UpdateFileRulesTest, ReadImageVersionsFindsRecordAndVoicePerModel) {
  struct Case {
    int type;
    uint32_t record;
    uint32_t voice;
  };
  // The first and the last record offset of the table, and a model whose voice image lies far
  // behind its record.
  const Case cases[] = {{4, 0x1CF00, 0x1D010}, {20, 0xF0F00, 0x100000}, {26, 0x10, 0x100010}};
  testing::ScopedTempDir temp("korvan_rules");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const fs::path path = temp / "image.bin";
    const auto type = static_cast<uint8_t>(c.type);
    WriteImage(path, c.voice + 4,
               {{c.record, {0xA4, 0x5B, 3, type, 1, 2, 3, 4}}, {c.voice, {5, 6, 7, 8}}});
    UpdateFileInfo info;
    EXPECT_EQ(ReadImageVersions(path, static_cast<int8_t>(c.type), info), ImageVersionsResult::Ok);
    EXPECT_EQ(info.fileFwVersion, (Digits16{1, 2, 3, 4}));
    EXPECT_EQ(info.fileVoiceVersion, (Digits16{5, 6, 7, 8}));
  }
}

TEST(UpdateFileRulesTest, ReadImageVersionsRefusesWithoutReading) {
  testing::ScopedTempDir temp("korvan_rules");
  // A type-3 file with a record where a type-4 file keeps it: type 3 takes no local files.
  const fs::path path = temp / "Cedar_F0173_V0012_D150523.bin";
  WriteImage(path, 0x1D100, {{0x1CF00, {0xA4, 0x5B, 3, 0x03, 0, 1, 7, 3}}});
  struct Case {
    fs::path path;
    int type;
    ImageVersionsResult expected;
  };
  const Case cases[] = {
      {path, 1, ImageVersionsResult::NoLocalFiles},
      {path, 2, ImageVersionsResult::NoLocalFiles},
      {path, 3, ImageVersionsResult::NoLocalFiles},
      {path, 7, ImageVersionsResult::NoLocalFiles},
      {path, 12, ImageVersionsResult::NoLocalFiles},
      {temp / "missing.bin", 4, ImageVersionsResult::CannotOpen},
  };
  for (const auto& c : cases) {
    UpdateFileInfo info;
    EXPECT_EQ(ReadImageVersions(c.path, static_cast<int8_t>(c.type), info), c.expected)
        << c.path << " type " << c.type;
    EXPECT_EQ(info, UpdateFileInfo{});
  }
}

}  // namespace
}  // namespace korvan
