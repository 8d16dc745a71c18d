// `SettingsUnitWriter`: the settings writers of upload modes 5, 6 and 7. It owns the
// process-wide `SettingsWriteBlock`: bytes 0-47 come from Parameters.ini (modes 5, 6), the
// packet of types 25-27 is put there by whoever builds it (mode 7). The app keeps one writer
// for the whole run and hands it to the UpdateWorker.
#pragma once

#include <filesystem>
#include <mutex>
#include <span>

#include "device/unit.h"
#include "settings/settings_block_writer.h"

namespace korvan {

// Upload modes of the settings unit.
inline constexpr int kUploadLegacySettings = 5;  // types 1-5: memory 2 at 0x08080400
inline constexpr int kUploadFlashSettings = 6;   // types 6, 8, 9, 16-24: data flash 0x7FC000
inline constexpr int kUploadSettingsPacket = 7;  // types 25-27: data flash 0xFFC000

inline constexpr uint32_t kLegacySettingsAddress = 0x08080400;
inline constexpr uint32_t kFlashSettingsAddress = 0x7FC000;
inline constexpr uint32_t kPacketSettingsAddress = 0xFFC000;

// Bytes 1020-1023 of a data-flash settings unit: the firmware takes the unit as valid only
// with them.
inline constexpr std::array<uint8_t, 4> kSettingsUnitSignature{0x19, 0x54, 0xAF, 0x13};
inline constexpr size_t kSettingsUnitSignatureOffset = 1020;

// Rewrites of the settings unit before it counts as not taken; the same bound as the region
// writers' kMaxUnitRewrites, so a device that keeps answering other bytes cannot hang the run.
inline constexpr int kMaxSettingsRewrites = 16;

class SettingsUnitWriter final : public SettingsBlockWriter {
 public:
  // `iniFile`: the Parameters.ini modes 5 and 6 take bytes 0-47 from.
  explicit SettingsUnitWriter(std::filesystem::path iniFile);

  // Mode 5 or 6: fails with kSettingsSourceMissing, sending nothing, when Parameters.ini cannot
  // be read or lacks a key. Then, for every mode: write, clear a buffer, read back, until the
  // read-back equals the whole block (kSettingsWritten), a read-back fails (kSettingsLinkLost)
  // or kMaxSettingsRewrites rewrites did not help (kSettingsNotConfirmed). Another mode sends
  // nothing and answers kSettingsLinkLost. The block keeps what was put into it afterwards.
  int WriteSettingsBlock(DeviceChannel& channel, int uploadMode) override;

  // The block as it stands; it starts as zeros and is never cleared. Thread-safe.
  UnitBuffer SettingsWriteBlock() const;
  void SetSettingsWriteBlock(std::span<const uint8_t, kUnitSize> bytes);

 private:
  const std::filesystem::path iniFile_;
  mutable std::mutex mutex_;
  UnitBuffer block_{};
};

}  // namespace korvan
