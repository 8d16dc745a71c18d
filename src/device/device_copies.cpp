#include "device/device_copies.h"

#include <algorithm>
#include <fstream>

#include "device/device_channel.h"
#include "device/model_catalogue.h"

namespace korvan {
namespace {

void AppendUnit(std::ostream& file, const UnitBuffer& buffer) {
  file.write(reinterpret_cast<const char*>(buffer.data()),
             static_cast<std::streamsize>(buffer.size()));
}

std::optional<VersionRecordBytes> ReadRecordAt(std::istream& file, uint32_t offset) {
  file.clear();
  file.seekg(offset);
  VersionRecordBytes record{};
  file.read(reinterpret_cast<char*>(record.data()), static_cast<std::streamsize>(record.size()));
  if (file.gcount() != static_cast<std::streamsize>(record.size())) {
    return std::nullopt;
  }
  return record;
}

}  // namespace

int FlashCopyPercent(uint32_t byteAddress, uint32_t flashSize) {
  if (flashSize == 0) {
    return 100;
  }
  const float fraction =
      static_cast<float>(byteAddress + kUnitSize) / static_cast<float>(flashSize);
  return static_cast<int>(fraction * 100.0f);
}

bool ApplyFlashVersionRecord(const std::optional<VersionRecordBytes>& record, DeviceInfo& info) {
  if (!record || IsAcceptedCountry(info.country)) {
    return false;
  }
  const auto bytes = std::span<const uint8_t, kVersionRecordSize>(*record);
  if (!IsAcceptedCountry(VersionRecordCountry(bytes)) ||
      VersionRecordType(bytes) != static_cast<uint8_t>(info.typeCode)) {
    return false;
  }
  info.country = VersionRecordCountry(bytes);
  info.fwVersion = VersionRecordDigits(bytes);
  return true;
}

std::filesystem::path CopyUnitsToFile(const DeviceLink& link, MemorySelector selector,
                                      uint32_t start, uint64_t length,
                                      const std::filesystem::path& path, std::stop_token stop) {
  DeviceChannel channel(link.host, link.slots);
  channel.Claim(link.drive);
  channel.Open();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) {
    // Read results are not looked at: a failed read appends the buffer as it stood.
    UnitBuffer buffer{};
    const uint64_t end = std::max<uint64_t>(length, 1);  // a length of 0 still copies one unit
    for (uint64_t offset = 0; offset < end && !stop.stop_requested(); offset += kUnitSize) {
      channel.ReadUnit(buffer, selector, static_cast<uint32_t>(start + offset));
      AppendUnit(file, buffer);
    }
  }
  file.close();
  channel.Close();
  return path;
}

std::filesystem::path ReadControllerToFile(const DeviceLink& link, int8_t typeCode,
                                           const std::filesystem::path& folder,
                                           std::string_view fileName, std::stop_token stop) {
  return CopyUnitsToFile(link, MemorySelector::Controller, kControllerBase,
                         ModelCatalogue::FwReadLength(typeCode), folder / fileName, stop);
}

std::filesystem::path ReadFlashToFile(const DeviceLink& link, DeviceInfo& info,
                                      const std::filesystem::path& folder,
                                      std::string_view fileName, CopyObserver& observer,
                                      std::stop_token stop) {
  DeviceChannel channel(link.host, link.slots);
  channel.Claim(link.drive);
  channel.Open();
  const int slot = channel.FindDriveSlot(link.drive);
  observer.SlotText(slot, kCheckingVersionText);
  const std::filesystem::path path = folder / fileName;
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
  if (file) {
    const uint32_t flashSize = ModelCatalogue::FlashSize(info.typeCode);
    UnitBuffer buffer{};
    uint32_t address = 0;
    do {
      channel.ReadUnit(buffer, MemorySelector::DataFlash, address);
      AppendUnit(file, buffer);
      observer.SlotAmount(slot, std::min<uint64_t>(uint64_t{address} + kUnitSize, flashSize),
                          flashSize);
      observer.SlotPosition(slot, FlashCopyPercent(address, flashSize));
      address += kUnitSize;
    } while (address < flashSize && !stop.stop_requested());
    if (stop.stop_requested()) {
      // The program is closing: the copy is incomplete and nothing more is shown.
      file.close();
      channel.Close();
      return path;
    }
    file.flush();
    ApplyFlashVersionRecord(
        ReadRecordAt(file, ModelCatalogue::FlashVersionRecordAddress(info.typeCode)), info);
  }
  file.close();
  channel.Close();
  observer.SlotText(slot, kReadyText);
  return path;
}

}  // namespace korvan
