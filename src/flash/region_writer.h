// Programming one region of the device from a file: every 1024-byte unit is written, read
// back at once and rewritten until it matches, then, on request, the whole region is read
// back into a file and compared with the source. Four regions: firmware (controller memory
// behind the boot loader), voice (data flash from 0), database (data flash from its model's
// address) and signature (8 units at 0x7FE000 of the data flash).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string_view>

#include "device/device_channel.h"
#include "device/device_copies.h"

namespace korvan {

// `StepResult` of a region writer.
enum class StepResult : int {
  Ok = 0,              // every unit matched; verification passed or was not asked for
  VerifyFailed = 1,    // the read-back file differs from the source
  LinkLost = 2,        // the last read-back of the unit loop failed
  FileOpenFailed = 3,  // the source file cannot be opened, or would not fit the region
  Parked = 4,          // the writer gave up on the device: the worker must do nothing more
};

enum class Region { Firmware, Voice, Database, Signature };

// A unit that still reads back different after this many rewrites is treated as a unit whose
// read-back failed: the device is not taking the data, and retrying for ever would hang.
inline constexpr int kMaxUnitRewrites = 16;

inline constexpr uint32_t kSignatureAddress = 0x7FE000;
inline constexpr uint32_t kSignatureUnits = 8;

inline constexpr std::string_view kVerifyFwName = "VerifyFwData.bin";
inline constexpr std::string_view kVerifyVoiceName = "VerifyImage.bin";
inline constexpr std::string_view kVerifyDbName = "VerifyDb.bin";
inline constexpr std::string_view kVerifySignatureName = "VerifySignature.bin";

inline constexpr std::string_view kCheckingText = "проверка..";
inline constexpr std::string_view kReconnectText = "Переподключите USB кабель!!";
inline constexpr std::string_view kFirstUnitFailedText =
    "Невозможно произвести обновление.\nПожалуйста, переподключите USB кабель и повторите "
    "попытку...";
inline constexpr std::string_view kErrorCaption = "Oшибка";  // the first letter is a Latin O

// What a writer shows, called on the writer's thread. The window side decides how the calls
// reach the window (posted tasks) and which slot's bar is visible.
class RegionWriterObserver {
 public:
  virtual ~RegionWriterObserver() = default;
  // Progress of the unit loop, 0..100, on the bar of `slot`.
  virtual void SlotPosition(int slot, int position) = 0;
  // The bytes behind the SlotPosition call that follows: `done` of `total`. Only a front end
  // that shows a rate needs them.
  virtual void SlotAmount(int /*slot*/, uint64_t /*done*/, uint64_t /*total*/) {}
  // A text on the bar of `slot` (the reconnect request before parking).
  virtual void SlotText(int slot, std::string_view text) = 0;
  // The writer's status cell (1041-1043) shows "проверка.." while verifying.
  virtual void RegionCellText(Region region, std::string_view text) = 0;
  // A modal error box; returns when it was closed (or the program is closing).
  virtual void ShowError(std::string_view text, std::string_view caption) = 0;
};

struct RegionWrite {
  Region region = Region::Firmware;
  int8_t typeCode = 0;
  std::filesystem::path source;  // the component to write
  bool verify = true;            // the "проверить" box
  // Database start in the data flash (the layout the update file produces).
  uint32_t databaseAddress = 0;
  // For the read-back channels and files.
  DeviceLink link;
  std::filesystem::path folder;
  std::stop_token stop;
};

// Writes `request.source` through `channel` (claimed for the detected drive and open; `slot` is
// its slot). `verifyPath`, when given, receives the read-back file's path.
// A source whose units would run past the end of the model's memory (the controller memory's
// FwReadLength, the data flash's FlashSize) is refused with FileOpenFailed before anything is
// sent: it would overwrite what lies behind the region (settings, version record) or wrap.
// Parked comes back after the reconnect text (a unit that cannot be written, or the first
// firmware unit refused, with the error box before it), and, with nothing more sent or shown,
// when `request.stop` is requested. The signature writer never parks on a unit: it goes on with
// the next one; any unit whose read-back failed makes the result LinkLost (unless the
// verification failed first), and a unit that still read back different after kMaxUnitRewrites
// rewrites makes it VerifyFailed.
StepResult WriteRegion(DeviceChannel& channel, int slot, const RegionWrite& request,
                       RegionWriterObserver& observer, std::filesystem::path* verifyPath = nullptr);

// Copies the data-flash range [start, start + length) unit by unit into folder/fileName (one
// unit when length is 0) through a fresh channel for the link's drive, and returns the path,
// whether or not the file could be created (when it could not, nothing is read). A failed read
// appends the buffer as it stood. A stop request ends the copy early.
std::filesystem::path ReadFlashRangeToFile(const DeviceLink& link,
                                           const std::filesystem::path& folder,
                                           std::string_view fileName, uint32_t start,
                                           uint32_t length, std::stop_token stop = {});

enum class CompareOutcome {
  Equal,      // the regions are equal; nothing changed
  Extracted,  // they differ, and fileA now holds fileB's region
  Failed,     // fileB could not be read, or fileA could not be replaced: fileA is as it was
};

// Compares `length` bytes of fileA from offsetA with fileB from offsetB; bytes beyond a file's
// end (or, for fileA, of a file that cannot be opened) count as 0xFF. Equal: nothing changes.
// Different: fileA is replaced by fileB's region, padded with 0xFF up to extractEnd - offsetA
// bytes when extractEnd is not 0 (cut to that size when it is smaller than `length`, empty when
// extractEnd <= offsetA). Any length; memory use does not grow with it. fileB may be fileA
// itself: the extract is completed beside fileA and then renamed over it.
// WARNING: on Failed fileA still holds its old bytes (the whole memory copy); it must not be
// written to the device as if it were the component.
CompareOutcome CompareAndExtract(const std::filesystem::path& fileA, uint64_t offsetA,
                                 const std::filesystem::path& fileB, uint64_t offsetB,
                                 uint64_t length, uint64_t extractEnd);

// The same comparison without extraction; true when equal or when `enabled` is false.
bool CompareFileRegions(const std::filesystem::path& fileA, uint64_t offsetA,
                        const std::filesystem::path& fileB, uint64_t offsetB, uint64_t length,
                        bool enabled);

}  // namespace korvan
