// Copies of the device's two memories into working files, made at detection and by the READ
// service command: the controller memory (boot loader and firmware) and the whole data flash,
// from whose copy the data-flash version record is applied to DeviceInfo.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "device/device_info.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "device/version_record.h"

namespace korvan {

// Working-file names of the copies.
inline constexpr std::string_view kControllerCopyName = "TempFwData.bin";
inline constexpr std::string_view kFlashCopyName = "TempImageData.bin";
inline constexpr std::string_view kReadFlashName = "ReadFlashData.bin";

inline constexpr std::string_view kCheckingVersionText = "Проверка версии ПО..";
inline constexpr std::string_view kReadyText = "готов";

// Where a copy reports: the progress bar picked by the operation's drive slot. A slot of -1
// (no slot free) still gets the calls; the receiver decides what a slot shows.
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  virtual void SlotText(int slot, std::string_view text) = 0;
  virtual void SlotPosition(int slot, int position) = 0;
  // The bytes behind the SlotPosition call that follows: `done` of `total`. Only a front end
  // that shows a rate needs them.
  virtual void SlotAmount(int /*slot*/, uint64_t /*done*/, uint64_t /*total*/) {}
};

// What a copy needs of the device link.
struct DeviceLink {
  DiskHost& host;
  DriveSlotTable& slots;
  int32_t drive;  // `DetectedDrive`
};

// Copies the units of `selector` from byte address `start` while the offset is below `length`
// (one unit when it is 0) into `path` through a fresh channel claimed for the link's drive, and
// returns `path` whether or not the file could be created. Failed reads are not detected.
std::filesystem::path CopyUnitsToFile(const DeviceLink& link, MemorySelector selector,
                                      uint32_t start, uint64_t length,
                                      const std::filesystem::path& path, std::stop_token stop = {});

// Copies FwReadLength(typeCode) bytes of controller memory (at least one unit) into
// `folder`/`fileName`, one unit per command, and returns the path whether or not the file
// could be created. Failed reads are not detected: the unit then holds the buffer as it stood.
// A stop request ends the copy early (the program is closing).
std::filesystem::path ReadControllerToFile(const DeviceLink& link, int8_t typeCode,
                                           const std::filesystem::path& folder,
                                           std::string_view fileName, std::stop_token stop = {});

// Copies FlashSize bytes of data flash (at least one unit) into `folder`/`fileName` with the
// "checking version" text and progress on the operation's slot, applies the data-flash version
// record to `info`, shows "готов" and returns the path. A stop request ends the copy early,
// without the record and without the ready text.
std::filesystem::path ReadFlashToFile(const DeviceLink& link, DeviceInfo& info,
                                      const std::filesystem::path& folder,
                                      std::string_view fileName, CopyObserver& observer,
                                      std::stop_token stop = {});

// Percentage shown after copying the unit at `byteAddress` of a flash of `flashSize` bytes:
// the integer part of (address + 1024) / size x 100 in single precision. A model without a
// data flash copies one unit, shown as done.
int FlashCopyPercent(uint32_t byteAddress, uint32_t flashSize);

// The data-flash version record rule: applied only while `info.country` is not yet an accepted
// country, to a record with an accepted country whose type (flag bit cleared) equals
// `info.typeCode`; then country and fwVersion come from it. nullopt (a short read) changes
// nothing. Returns whether the record was applied.
bool ApplyFlashVersionRecord(const std::optional<VersionRecordBytes>& record, DeviceInfo& info);

}  // namespace korvan
