// The walk over the registry's list of enumerated disks, with the values served from memory.
#include "device/registry_disk_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace korvan {
namespace {

// REG_SZ data: UTF-16LE with its terminating NUL.
std::vector<uint8_t> Sz(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (const char16_t unit : text + u'\0') {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

std::vector<uint8_t> Dword(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

struct FakeKey {
  std::map<std::string, std::vector<uint8_t>> values;
  std::vector<std::string> asked;

  RegistryValueReader Reader() {
    return [this](const std::string& name) -> std::optional<std::vector<uint8_t>> {
      asked.push_back(name);
      const auto found = values.find(name);
      if (found == values.end()) {
        return std::nullopt;
      }
      return found->second;
    };
  }
};

constexpr char16_t kDetector[] = u"USBSTOR\\Disk&Ven_Firmware&Prod_Update&Rev_1.00\\7&1f2e3d4c&0";
constexpr char kDetectorUtf8[] = "USBSTOR\\Disk&Ven_Firmware&Prod_Update&Rev_1.00\\7&1f2e3d4c&0";

TEST(RegistryDiskListTest, ListsEachValueUpToCount) {
  FakeKey key;
  key.values["Count"] = Dword(3);
  key.values["0"] = Sz(u"SCSI\\Disk&Ven_NVMe&Prod_Samsung_SSD_970\\5&2a&0&000000");
  key.values["1"] = Sz(kDetector);
  key.values["2"] = Sz(u"USBSTOR\\Disk&Ven_Флешка&Prod_😀");
  key.values["3"] = Sz(u"beyond Count");
  const RegistryDiskList list(key.Reader());
  EXPECT_EQ(list.Identifications(),
            (std::vector<std::string>{"SCSI\\Disk&Ven_NVMe&Prod_Samsung_SSD_970\\5&2a&0&000000",
                                      kDetectorUtf8, "USBSTOR\\Disk&Ven_Флешка&Prod_😀"}));
  EXPECT_EQ(key.asked, (std::vector<std::string>{"Count", "0", "1", "2"}));
}

TEST(RegistryDiskListTest, OnlyTheLowByteOfCountCounts) {
  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> count;
    size_t listed;
  };
  const Case cases[] = {
      {"300", Dword(300), 44},
      {"256", Dword(256), 0},
      {"255", Dword(255), 255},
      {"missing", std::nullopt, 0},
      {"longer than the buffer", std::vector<uint8_t>(257, 5), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeKey key;
    if (c.count) {
      key.values["Count"] = *c.count;
    }
    for (int i = 0; i < 300; ++i) {
      key.values[std::to_string(i)] = Sz(kDetector);
    }
    const std::vector<std::string> disks = ReadRegistryDiskList(key.Reader());
    EXPECT_EQ(disks.size(), c.listed);
    EXPECT_EQ(key.asked.size(), 1 + c.listed);
    if (c.listed > 0) {
      EXPECT_EQ(key.asked.back(), std::to_string(c.listed - 1));
    }
  }
}

// A missing value and one that does not fit the 256-byte buffer read as empty, in their place.
TEST(RegistryDiskListTest, UnreadableValuesReadAsEmpty) {
  const std::u16string fits(127, u'x');  // with its NUL exactly 256 bytes
  FakeKey key;
  key.values["Count"] = Dword(5);
  key.values["0"] = Sz(fits);
  key.values["1"] = Sz(fits + u'x');  // 258 bytes
  // "2" is missing
  key.values["3"] = Sz(kDetector);
  key.values["4"] = {};
  EXPECT_EQ(ReadRegistryDiskList(key.Reader()),
            (std::vector<std::string>{std::string(127, 'x'), "", "", kDetectorUtf8, ""}));
}

TEST(RegistryDiskListTest, Utf16Conversion) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"stops at the first NUL", {'A', 0, 0, 0, 'B', 0}, "A"},
      {"without a NUL", {'A', 0, 'B', 0}, "AB"},
      {"odd last byte dropped", {'A', 0, 'B'}, "A"},
      {"two-byte form", {0x16, 0x04}, "\xD0\x96"},                       // U+0416
      {"three-byte form", {0xAC, 0x20}, "\xE2\x82\xAC"},                 // U+20AC
      {"surrogate pair", {0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},  // U+1F600
      {"lone high surrogate",
       {0x3D, 0xD8, 'A', 0},
       "\xEF\xBF\xBD"
       "A"},
      {"high surrogate at the end", {'A', 0, 0x3D, 0xD8}, "A\xEF\xBF\xBD"},
      {"lone low surrogate",
       {0x00, 0xDE, 'A', 0},
       "\xEF\xBF\xBD"
       "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16LeToUtf8(c.bytes), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace korvan
