// The interface through which the update worker has the settings unit written (upload modes 5,
// 6 and 7). Header-only, so the app layer can call it without linking the settings code;
// SettingsUnitWriter (settings_unit_writer.h) implements it, tests fake it.
#pragma once

#include "device/device_channel.h"

namespace korvan {

// Results of WriteSettingsBlock. The worker shows 1, 2 and 3 as it shows the region writers'
// verify failure, lost link and unopenable source; anything but 0 is a failure.
inline constexpr int kSettingsWritten = 0;
inline constexpr int kSettingsNotConfirmed = 1;   // never read back equal within the bound
inline constexpr int kSettingsLinkLost = 2;       // a read-back failed (or the mode is unknown)
inline constexpr int kSettingsSourceMissing = 3;  // Parameters.ini unreadable or incomplete

class SettingsBlockWriter {
 public:
  virtual ~SettingsBlockWriter() = default;
  // Writes the settings unit for `uploadMode` 5, 6 or 7 through `channel` (claimed and open)
  // and reads it back. Called on the update worker's thread.
  virtual int WriteSettingsBlock(DeviceChannel& channel, int uploadMode) = 0;
};

}  // namespace korvan
