#include "device/drive_slot_table.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace korvan {
namespace {

using Slots = std::array<int32_t, 4>;

TEST(DriveSlotTableTest, ClaimFindReleaseAndReset) {
  DriveSlotTable table;
  EXPECT_EQ(table.Snapshot(), (Slots{-1, -1, -1, -1}));
  EXPECT_EQ(table.Claim(5), 0);
  EXPECT_EQ(table.Claim(9), 1);
  EXPECT_EQ(table.Claim(5), 0) << "a drive already held keeps its slot";
  EXPECT_EQ(table.Snapshot(), (Slots{5, 9, -1, -1}));
  EXPECT_EQ(table.Find(9), 1);
  EXPECT_EQ(table.Find(3), -1);

  table.Release(5);
  EXPECT_EQ(table.Claim(7), 0) << "the lowest free slot is taken";
  EXPECT_EQ(table.Claim(1), 2);
  EXPECT_EQ(table.Claim(2), 3);
  EXPECT_EQ(table.Claim(4), -1) << "a fifth drive gets no slot";
  EXPECT_EQ(table.Snapshot(), (Slots{7, 9, 1, 2}));

  table.Release(4);  // not in the table: nothing changes
  EXPECT_EQ(table.Snapshot(), (Slots{7, 9, 1, 2}));
  table.Reset();
  EXPECT_EQ(table.Snapshot(), (Slots{-1, -1, -1, -1}));
}

TEST(DriveSlotTableTest, TheFreeMarkerIsNeverADrive) {
  DriveSlotTable table;
  EXPECT_EQ(table.Find(-1), -1);
  EXPECT_EQ(table.Claim(-1), -1);
  EXPECT_EQ(table.Snapshot(), (Slots{-1, -1, -1, -1}));
}

// Detection, update and window threads claim and free drives at once; every claim must stay
// whole (run under ThreadSanitizer in CI).
TEST(DriveSlotTableTest, ConcurrentClaimsKeepOneSlotPerDrive) {
  DriveSlotTable table;
  std::vector<std::thread> threads;
  for (int32_t drive = 0; drive < 4; ++drive) {
    threads.emplace_back([&table, drive] {
      for (int i = 0; i < 2000; ++i) {
        const int slot = table.Claim(drive);
        ASSERT_GE(slot, 0);
        ASSERT_EQ(table.Find(drive), slot);
        table.Release(drive);
      }
      table.Claim(drive);
    });
  }
  for (auto& t : threads) {
    t.join();
  }
  auto slots = table.Snapshot();
  std::sort(slots.begin(), slots.end());
  EXPECT_EQ(slots, (Slots{0, 1, 2, 3}));
}

}  // namespace
}  // namespace korvan
