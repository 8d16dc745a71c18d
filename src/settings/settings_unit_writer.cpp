#include "settings/settings_unit_writer.h"

#include <algorithm>
#include <utility>

#include "settings/parameters_ini.h"

namespace korvan {

SettingsUnitWriter::SettingsUnitWriter(std::filesystem::path iniFile)
    : iniFile_(std::move(iniFile)) {}

UnitBuffer SettingsUnitWriter::SettingsWriteBlock() const {
  std::lock_guard lock(mutex_);
  return block_;
}

void SettingsUnitWriter::SetSettingsWriteBlock(std::span<const uint8_t, kUnitSize> bytes) {
  std::lock_guard lock(mutex_);
  std::copy(bytes.begin(), bytes.end(), block_.begin());
}

int SettingsUnitWriter::WriteSettingsBlock(DeviceChannel& channel, int uploadMode) {
  MemorySelector selector = MemorySelector::DataFlash;
  uint32_t address = 0;
  switch (uploadMode) {
    case kUploadLegacySettings:
      selector = MemorySelector::LegacySettings;
      address = kLegacySettingsAddress;
      break;
    case kUploadFlashSettings:
      address = kFlashSettingsAddress;
      break;
    case kUploadSettingsPacket:
      address = kPacketSettingsAddress;
      break;
    default:
      return kSettingsLinkLost;
  }

  UnitBuffer unit;
  {
    std::lock_guard lock(mutex_);
    if (uploadMode != kUploadSettingsPacket) {
      // An incomplete file would put 99 into the missing settings, a value the firmware does not
      // expect; better to leave the device's settings as they are.
      const std::optional<MenuValues> values = ReadMenuValues(iniFile_);
      if (!values) {
        return kSettingsSourceMissing;
      }
      for (size_t i = 0; i < values->size(); ++i) {
        block_[i] = static_cast<uint8_t>((*values)[i] & 0xFF);
      }
    }
    if (uploadMode != kUploadLegacySettings) {
      std::copy(kSettingsUnitSignature.begin(), kSettingsUnitSignature.end(),
                block_.begin() + kSettingsUnitSignatureOffset);
    }
    unit = block_;
  }

  UnitBuffer readBack;
  for (int rewrites = 0;; ++rewrites) {
    channel.WriteUnit(unit, selector, address);
    // Cleared first, so a failed read cannot leave an earlier read's bytes to compare.
    readBack.fill(0x00);
    const int read = channel.ReadUnit(readBack, selector, address);
    if (read == 0) {
      return kSettingsLinkLost;
    }
    if (readBack == unit) {
      return kSettingsWritten;
    }
    if (rewrites == kMaxSettingsRewrites) {
      return kSettingsNotConfirmed;
    }
  }
}

}  // namespace korvan
