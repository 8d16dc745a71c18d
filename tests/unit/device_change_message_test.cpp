// WM_DEVICECHANGE decoded into the event the removal watch judges.
#include "device/device_change_message.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace korvan {
namespace {

TEST(DeviceChangeMessageTest, DecodesTypeAndBroadcastHeader) {
  constexpr uint32_t kNoHeader = 0xFFFFFFFF;
  struct Case {
    const char* name;
    uint32_t eventType;
    uint32_t deviceType;  // kNoHeader: the message carries no header
    DeviceChange type;
    bool hasHeader;
    bool volume;
  };
  const Case cases[] = {
      {"volume removed", 0x8004, 2, DeviceChange::RemoveComplete, true, true},
      {"device interface removed", 0x8004, 5, DeviceChange::RemoveComplete, true, false},
      {"port removed", 0x8004, 3, DeviceChange::RemoveComplete, true, false},
      {"removal without header", 0x8004, kNoHeader, DeviceChange::RemoveComplete, false, false},
      {"volume arrived", 0x8000, 2, DeviceChange::Arrival, true, true},
      {"nodes changed", 7, kNoHeader, DeviceChange::NodesChanged, false, false},
      {"query remove", 0x8001, 2, DeviceChange::Other, true, true},
      {"remove pending", 0x8003, 2, DeviceChange::Other, true, true},
      {"type with the removal's low bits", 0x18004, 2, DeviceChange::Other, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // DEV_BROADCAST_HDR at an odd address: the decoder must not assume its alignment.
    std::array<unsigned char, 1 + 12> storage{};
    const uint32_t header[3] = {12, c.deviceType, 0};
    std::memcpy(storage.data() + 1, header, sizeof header);
    const DeviceChangeEvent event =
        DecodeDeviceChange(c.eventType, c.deviceType == kNoHeader ? nullptr : storage.data() + 1);
    EXPECT_EQ(event.type, c.type);
    EXPECT_EQ(event.hasHeader, c.hasHeader);
    EXPECT_EQ(event.volume, c.volume);
  }
}

}  // namespace
}  // namespace korvan
