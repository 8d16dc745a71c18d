// Which device-change notifications end the program: the detector's removal, and any volume's
// removal while no disk names the detector.
#include "app/device_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvan {
namespace {

class ListedDisks final : public EnumeratedDisks {
 public:
  explicit ListedDisks(std::vector<std::string> disks) : disks_(std::move(disks)) {}
  std::vector<std::string> Identifications() const override { return disks_; }

 private:
  std::vector<std::string> disks_;
};

constexpr DeviceChangeEvent kVolumeRemoved{DeviceChange::RemoveComplete, true, true};
const std::string kDetector = "Firmware& Update         ";
const std::string kStick = "SanDisk &Cruzer Blade    ";

// 300 disks, the detector's at `at`: only the first 300 mod 256 = 44 are looked at.
std::vector<std::string> ManyDisks(size_t at) {
  std::vector<std::string> disks(300, kStick);
  disks[at] = kDetector;
  return disks;
}

TEST(DeviceRemovalTest, OnlyTheDetectorsRemovalEndsTheProgram) {
  struct Case {
    const char* what;
    DeviceChangeEvent event;
    std::vector<std::string> disks;
    bool ends;
  };
  const Case cases[] = {
      {"an unrelated stick removed, the detector stays",
       kVolumeRemoved,
       {kStick, kDetector},
       false},
      {"the detector removed", kVolumeRemoved, {kStick}, true},
      {"a volume removed while still searching", kVolumeRemoved, {}, true},
      {"a device that is not a volume", {DeviceChange::RemoveComplete, true, false}, {}, false},
      {"a notification without a header", {DeviceChange::RemoveComplete, false, true}, {}, false},
      {"an arrival", {DeviceChange::Arrival, true, true}, {}, false},
      {"the device tree changed", {DeviceChange::NodesChanged, true, true}, {}, false},
      {"vendor and model the other way round", kVolumeRemoved, {"Update&Firmware"}, false},
      {"case matters", kVolumeRemoved, {"FIRMWARE& UPDATE"}, true},
      {"the detector at 43 of 300 disks", kVolumeRemoved, ManyDisks(43), false},
      {"the detector at 44 of 300 disks: not examined", kVolumeRemoved, ManyDisks(44), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemovalEndsProgram(c.event, ListedDisks(c.disks)), c.ends) << c.what;
  }
}

}  // namespace
}  // namespace korvan
