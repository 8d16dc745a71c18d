#include "device/device_copies.h"

#include <gtest/gtest.h>

namespace korvan {
namespace {

TEST(DeviceCopiesTest, FlashVersionRecordRule) {
  struct Case {
    const char* name;
    uint8_t knownCountry;
    std::optional<VersionRecordBytes> record;
    bool applied;
  };
  const VersionDigits digits{0, 2, 3, 7};
  const Case cases[] = {
      {"accepted", 0, EncodeVersionRecord(3, 5, digits), true},
      {"type with flag bit", 0, EncodeVersionRecord(12, 5 | 0x80, digits), true},
      {"third country", 7, EncodeVersionRecord(109, 5, digits), true},
      {"magic is not looked at", 0, VersionRecordBytes{0, 0, 3, 5, 0, 2, 3, 7}, true},
      {"other type", 0, EncodeVersionRecord(3, 6, digits), false},
      {"unknown country", 0, EncodeVersionRecord(7, 5, digits), false},
      {"country already known", 12, EncodeVersionRecord(3, 5, digits), false},
      {"short read", 0, std::nullopt, false},
  };
  for (const auto& c : cases) {
    DeviceInfo info;
    info.typeCode = 5;
    info.country = c.knownCountry;
    EXPECT_EQ(ApplyFlashVersionRecord(c.record, info), c.applied) << c.name;
    if (c.applied) {
      EXPECT_EQ(info.country, (*c.record)[2]) << c.name;
      EXPECT_EQ(info.fwVersion, digits) << c.name;
    } else {
      EXPECT_EQ(info.country, c.knownCountry) << c.name;
      EXPECT_EQ(info.fwVersion, kUnreadDigits) << c.name;
    }
  }
}

TEST(DeviceCopiesTest, CopyPercentIsTruncatedSinglePrecision) {
  EXPECT_EQ(FlashCopyPercent(0, 0x800000), 0);
  EXPECT_EQ(FlashCopyPercent(0x800000 - 1024, 0x800000), 100);
  EXPECT_EQ(FlashCopyPercent(0x800000 / 2 - 1024, 0x800000), 50);
  EXPECT_EQ(FlashCopyPercent(0, 0), 100) << "a model without data flash copies one unit";
  // 16 MiB: 16384 units give 101 distinct shown values (0..100).
  int changes = 0;
  int last = -1;
  for (uint32_t a = 0; a < 0x1000000; a += 1024) {
    const int percent = FlashCopyPercent(a, 0x1000000);
    changes += percent != last;
    last = percent;
  }
  EXPECT_EQ(changes, 101);
}

}  // namespace
}  // namespace korvan
