#include "flash/region_writer.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <system_error>

#include "device/model_catalogue.h"

namespace korvan {
namespace {

// Where a region lies and how its units are made.
struct RegionLayout {
  MemorySelector selector;
  uint32_t start;   // byte address of the first unit
  uint8_t fill;     // what a unit holds where the source has no bytes for it
  bool fixedUnits;  // the signature: always kSignatureUnits units, whatever the file length
};

RegionLayout LayoutOf(const RegionWrite& request) {
  switch (request.region) {
    case Region::Firmware:
      return {MemorySelector::Controller,
              kControllerBase + ModelCatalogue::BootLoaderSize(request.typeCode), 0xFF, false};
    case Region::Voice:
      return {MemorySelector::DataFlash, kDataFlashBase, 0xFF, false};
    case Region::Database:
      return {MemorySelector::DataFlash, request.databaseAddress, 0xFF, false};
    case Region::Signature:
      break;
  }
  return {MemorySelector::DataFlash, kSignatureAddress, 0x00, true};
}

// The bar's value: the integer part of done / total x 100. An empty source is done at once.
int Percent(uint64_t done, uint64_t total) {
  if (total == 0) {
    return 100;
  }
  return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

enum class UnitOutcome {
  Matched,            // the unit reads back as written
  ReadBackFailed,     // the read failed with the unit different
  RewritesExhausted,  // the reads succeed but keep returning other bytes
  FirstUnitRefused,   // the first firmware unit differs: it is not rewritten
  Stopped,            // the program is closing
};

// Writes `unit` and reads it back until it matches. `lastRead` receives the result of the last
// read-back. A unit that never matches is given kMaxUnitRewrites rewrites and then gives up: a
// device that keeps answering with other bytes would otherwise hold the update in this loop for
// ever.
UnitOutcome WriteAndConfirmUnit(DeviceChannel& channel, const UnitBuffer& unit,
                                MemorySelector selector, uint32_t address, bool refuseAtOnce,
                                const std::stop_token& stop, int& lastRead) {
  UnitBuffer readBack;
  for (int rewrites = 0;; ++rewrites) {
    channel.WriteUnit(unit, selector, address);
    // Cleared first, so a failed read cannot leave the data of an earlier unit to compare.
    readBack.fill(0x00);
    lastRead = channel.ReadUnit(readBack, selector, address);
    if (stop.stop_requested()) {
      return UnitOutcome::Stopped;
    }
    if (readBack == unit) {
      return UnitOutcome::Matched;
    }
    if (refuseAtOnce) {
      return UnitOutcome::FirstUnitRefused;
    }
    if (lastRead == 0) {
      return UnitOutcome::ReadBackFailed;
    }
    if (rewrites == kMaxUnitRewrites) {
      return UnitOutcome::RewritesExhausted;
    }
  }
}

// The end of the memory the region lies in, as a byte address of the channel.
uint64_t MemoryEnd(const RegionWrite& request, const RegionLayout& layout) {
  if (layout.selector == MemorySelector::Controller) {
    return uint64_t{kControllerBase} + ModelCatalogue::FwReadLength(request.typeCode);
  }
  return uint64_t{kDataFlashBase} + ModelCatalogue::FlashSize(request.typeCode);
}

// Bytes of device memory the write covers: whole units, the last one padded.
uint64_t UnitsCovered(const RegionLayout& layout, uint64_t length) {
  if (layout.fixedUnits) {
    return uint64_t{kSignatureUnits} * kUnitSize;
  }
  // An empty source still writes one (blank) unit.
  return std::max<uint64_t>(1, (length + kUnitSize - 1) / kUnitSize) * kUnitSize;
}

uint64_t SourceLength(std::ifstream& source) {
  source.seekg(0, std::ios::end);
  const std::streamoff end = source.tellg();
  source.seekg(0, std::ios::beg);
  return end > 0 ? static_cast<uint64_t>(end) : 0;
}

enum class VerifyOutcome { Passed, Failed, Stopped };

// Reads the region back into its file and compares it with the source: the firmware through a
// copy of the whole controller memory, compared from behind the boot loader; the others through
// a copy of just their range. `length` is the source length (the signature reads back 8 KiB and
// compares the source's bytes).
VerifyOutcome VerifyRegion(const RegionWrite& request, RegionWriterObserver& observer,
                           uint64_t length, std::filesystem::path* verifyPath) {
  const std::stop_token& stop = request.stop;
  if (stop.stop_requested()) {
    return VerifyOutcome::Stopped;
  }
  if (request.region != Region::Signature) {
    observer.RegionCellText(request.region, kCheckingText);
    if (stop.stop_requested()) {
      return VerifyOutcome::Stopped;  // closing while the text was on its way
    }
  }
  // The device addresses 32 bits; a longer source never got this far without parking.
  const auto rangeLength =
      static_cast<uint32_t>(std::min<uint64_t>(length, std::numeric_limits<uint32_t>::max()));
  std::filesystem::path readBack;
  uint64_t offset = 0;
  uint64_t compared = length;
  switch (request.region) {
    case Region::Firmware:
      readBack =
          ReadControllerToFile(request.link, request.typeCode, request.folder, kVerifyFwName, stop);
      offset = ModelCatalogue::BootLoaderSize(request.typeCode);
      break;
    case Region::Voice:
      readBack = ReadFlashRangeToFile(request.link, request.folder, kVerifyVoiceName,
                                      kDataFlashBase, rangeLength, stop);
      break;
    case Region::Database:
      readBack = ReadFlashRangeToFile(request.link, request.folder, kVerifyDbName,
                                      request.databaseAddress, rangeLength, stop);
      break;
    case Region::Signature: {
      const uint64_t block = uint64_t{kSignatureUnits} * kUnitSize;
      readBack = ReadFlashRangeToFile(request.link, request.folder, kVerifySignatureName,
                                      kSignatureAddress, static_cast<uint32_t>(block), stop);
      // The block behind a short signature file was written as zeros, which the comparison
      // would read as erased bytes of the source and call a failure: only the file's own bytes
      // are compared.
      compared = std::min<uint64_t>(length, block);
      break;
    }
  }
  if (verifyPath != nullptr) {
    *verifyPath = readBack;
  }
  if (stop.stop_requested()) {
    return VerifyOutcome::Stopped;
  }
  return CompareFileRegions(readBack, offset, request.source, 0, compared, true)
             ? VerifyOutcome::Passed
             : VerifyOutcome::Failed;
}

}  // namespace

StepResult WriteRegion(DeviceChannel& channel, int slot, const RegionWrite& request,
                       RegionWriterObserver& observer, std::filesystem::path* verifyPath) {
  const std::stop_token& stop = request.stop;
  if (stop.stop_requested()) {
    return StepResult::Parked;
  }
  std::error_code error;
  if (std::filesystem::is_directory(request.source, error)) {
    return StepResult::FileOpenFailed;  // opens on this host, but holds no bytes to write
  }
  std::ifstream source(request.source, std::ios::binary);
  if (!source) {
    return StepResult::FileOpenFailed;
  }
  const uint64_t length = SourceLength(source);
  const RegionLayout layout = LayoutOf(request);
  if (layout.start + UnitsCovered(layout, length) > MemoryEnd(request, layout)) {
    return StepResult::FileOpenFailed;  // nothing sent: the source does not fit its region
  }

  UnitBuffer unit;
  uint64_t done = 0;  // source bytes written
  int lastRead = 1;
  bool unitRefused = false;  // a signature unit never read back as written
  // A signature unit whose read-back failed. The signature goes on with its next unit, whose
  // read then replaces lastRead; remembered here so that the unit is not forgotten. It matters
  // even when a verification follows, which compares only the file's own bytes and not the
  // zero units behind them (a failed read of a zero unit leaves the cleared buffer equal).
  bool unitUnconfirmed = false;
  for (uint32_t index = 0;; ++index) {
    if (stop.stop_requested()) {
      return StepResult::Parked;
    }
    unit.fill(layout.fill);
    source.read(reinterpret_cast<char*>(unit.data()), kUnitSize);
    const auto n = static_cast<uint32_t>(source.gcount());
    // Units follow each other whatever the source gave: a short source must not make the
    // signature's remaining units land on its first one.
    const uint32_t address = layout.start + index * kUnitSize;
    const bool firstFirmwareUnit = request.region == Region::Firmware && done == 0;

    switch (WriteAndConfirmUnit(channel, unit, layout.selector, address, firstFirmwareUnit, stop,
                                lastRead)) {
      case UnitOutcome::Matched:
        break;
      case UnitOutcome::Stopped:
        return StepResult::Parked;
      case UnitOutcome::FirstUnitRefused:
        // The device does not take even the first unit: nothing is lost yet, and the user can
        // try again after reconnecting.
        observer.ShowError(kFirstUnitFailedText, kErrorCaption);
        if (stop.stop_requested()) {
          return StepResult::Parked;
        }
        observer.SlotText(slot, kReconnectText);
        return StepResult::Parked;
      case UnitOutcome::ReadBackFailed:
        lastRead = 0;
        if (!layout.fixedUnits) {
          // A firmware, voice or database region left half written: only a reconnect helps.
          observer.SlotText(slot, kReconnectText);
          return StepResult::Parked;
        }
        break;  // the signature goes on with its next unit
      case UnitOutcome::RewritesExhausted:
        if (!layout.fixedUnits) {
          observer.SlotText(slot, kReconnectText);
          return StepResult::Parked;
        }
        // The link works but the unit does not hold what was written: a verification failure,
        // whatever the last read says.
        unitRefused = true;
        break;
    }

    done += n;
    if (layout.fixedUnits) {
      unitUnconfirmed = unitUnconfirmed || lastRead == 0;
      observer.SlotAmount(slot, uint64_t{index + 1} * kUnitSize,
                          uint64_t{kSignatureUnits} * kUnitSize);
      observer.SlotPosition(
          slot, Percent(uint64_t{index + 1} * kUnitSize, uint64_t{kSignatureUnits} * kUnitSize));
      if (index + 1 == kSignatureUnits) {
        break;
      }
    } else {
      observer.SlotAmount(slot, done, length);
      observer.SlotPosition(slot, Percent(done, length));
      if (n < kUnitSize || lastRead == 0 || done >= length) {
        break;
      }
    }
  }
  source.close();

  if (request.verify) {
    switch (VerifyRegion(request, observer, length, verifyPath)) {
      case VerifyOutcome::Passed:
        break;
      case VerifyOutcome::Failed:
        return StepResult::VerifyFailed;
      case VerifyOutcome::Stopped:
        return StepResult::Parked;
    }
  }
  if (lastRead == 0 || unitUnconfirmed) {
    return StepResult::LinkLost;
  }
  return unitRefused ? StepResult::VerifyFailed : StepResult::Ok;
}

std::filesystem::path ReadFlashRangeToFile(const DeviceLink& link,
                                           const std::filesystem::path& folder,
                                           std::string_view fileName, uint32_t start,
                                           uint32_t length, std::stop_token stop) {
  // A failed read appends the buffer as it stood; the comparison that follows finds it.
  return CopyUnitsToFile(link, MemorySelector::DataFlash, start, length, folder / fileName, stop);
}

}  // namespace korvan
