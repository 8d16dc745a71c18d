#include "device/drive_slot_table.h"

#include <algorithm>

namespace korvan {
namespace {

int IndexOf(const std::array<int32_t, DriveSlotTable::kSlotCount>& slots, int32_t value) {
  const auto it = std::find(slots.begin(), slots.end(), value);
  return it == slots.end() ? -1 : static_cast<int>(it - slots.begin());
}

}  // namespace

int DriveSlotTable::Find(int32_t drive) const {
  if (drive < 0) {
    return -1;  // -1 marks a free slot; it is never a drive
  }
  std::lock_guard lock(mutex_);
  return IndexOf(slots_, drive);
}

int DriveSlotTable::Claim(int32_t drive) {
  if (drive < 0) {
    return -1;
  }
  std::lock_guard lock(mutex_);
  if (const int existing = IndexOf(slots_, drive); existing >= 0) {
    return existing;
  }
  const int free = IndexOf(slots_, kFree);
  if (free >= 0) {
    slots_[static_cast<size_t>(free)] = drive;
  }
  return free;
}

void DriveSlotTable::Release(int32_t drive) {
  if (drive < 0) {
    return;
  }
  std::lock_guard lock(mutex_);
  if (const int slot = IndexOf(slots_, drive); slot >= 0) {
    slots_[static_cast<size_t>(slot)] = kFree;
  }
}

void DriveSlotTable::Reset() {
  std::lock_guard lock(mutex_);
  slots_.fill(kFree);
}

std::array<int32_t, DriveSlotTable::kSlotCount> DriveSlotTable::Snapshot() const {
  std::lock_guard lock(mutex_);
  return slots_;
}

}  // namespace korvan
