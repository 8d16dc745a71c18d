// `DriveSlotTable`: the four slots that record which physical drives an operation has claimed.
// The detection scan skips claimed drives, and a slot's index picks the progress bar an
// operation reports on. Shared by every thread, so each call takes the table's mutex.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace korvan {

class DriveSlotTable {
 public:
  static constexpr int kSlotCount = 4;
  static constexpr int32_t kFree = -1;

  // Index of the first slot holding `drive`, else -1.
  int Find(int32_t drive) const;
  // The slot already holding `drive`, else the lowest free slot now holding it; -1 when all
  // four are taken by other drives. Find and insert happen under one lock.
  int Claim(int32_t drive);
  // Frees the first slot holding `drive`; does nothing when none does.
  void Release(int32_t drive);
  // All slots free.
  void Reset();
  // A copy of the four slots, for reports and tests.
  std::array<int32_t, kSlotCount> Snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::array<int32_t, kSlotCount> slots_{kFree, kFree, kFree, kFree};
};

}  // namespace korvan
