#include "device/device_info.h"

namespace korvan {

void ResetDeviceInfo(DeviceInfo& info) {
  info = DeviceInfo{};
}

void ResetUpdateFileInfo(UpdateFileInfo& info) {
  info = UpdateFileInfo{};
}

}  // namespace korvan
