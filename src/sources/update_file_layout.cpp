#include "sources/update_file_layout.h"

#include <algorithm>
#include <system_error>

#include "device/model_catalogue.h"

namespace korvan {
namespace {

namespace catalogue = ModelCatalogue;

// Where the signature lies: at the 8 MiB mark of the update file, and in the last 8 KiB of an
// 8 MiB data flash.
constexpr uint64_t kSignatureFileOffset = 0x800000;
constexpr uint64_t kSignatureFlashAddress = 0x7FE000;
constexpr uint64_t kSignatureBlock = 8 * 1024;

constexpr UpdateComponent kAll[] = {UpdateComponent::Firmware, UpdateComponent::Voice,
                                    UpdateComponent::Database, UpdateComponent::Signature};

uint64_t FirmwareLength(int8_t type, const UpdateFileHeader& header, uint64_t fileSize) {
  if (type == 1) {
    return fileSize;
  }
  if (const auto fixed = catalogue::FixedFwImageLength(type)) {
    return *fixed;
  }
  return header.FwLength();
}

}  // namespace

std::span<const UpdateComponent> ComponentsFor(int8_t type) {
  if (type < 1) {
    return {};
  }
  if (type == 8) {
    return kAll;
  }
  return std::span(kAll).first(static_cast<size_t>(std::min<int>(type, 3)));
}

ComponentPlacement PlacementOf(UpdateComponent component, int8_t type,
                               const UpdateFileHeader& header, const UpdateFileInfo& file,
                               uint64_t fileSize) {
  ComponentPlacement placement;
  const uint64_t flashSize = catalogue::FlashSize(type);
  switch (component) {
    case UpdateComponent::Firmware:
      placement.fileOffset = catalogue::FwFileOffset(type);
      placement.length = FirmwareLength(type, header, fileSize);
      placement.memoryStart = catalogue::BootLoaderSize(type);
      placement.memoryEnd = catalogue::FwReadLength(type);
      break;
    case UpdateComponent::Voice:
      placement.fileOffset = catalogue::VoiceFileOffset(type);
      placement.length = header.VoiceLength();
      placement.memoryStart = 0;
      placement.memoryEnd = flashSize;
      break;
    case UpdateComponent::Database: {
      DeviceInfo device;
      device.typeCode = type;
      placement.fileOffset = catalogue::DbFileOffset(type);
      placement.length = header.DbLength();
      placement.memoryStart = catalogue::DbFlashOffset(1, device, file);
      placement.memoryEnd = flashSize;
      break;
    }
    case UpdateComponent::Signature:
      placement.fileOffset = kSignatureFileOffset;
      placement.length = header.SignatureLength();
      placement.memoryStart = kSignatureFlashAddress;
      placement.memoryEnd = std::min(flashSize, kSignatureFlashAddress + kSignatureBlock);
      break;
  }
  placement.maxLength =
      placement.memoryEnd > placement.memoryStart ? placement.memoryEnd - placement.memoryStart : 0;
  return placement;
}

LayoutCheck CheckPlacement(const ComponentPlacement& p, uint64_t fileSize) {
  if (p.length == 0) {
    return LayoutCheck::Fits;  // nothing is taken from the file or written
  }
  // All sums are of values below 2^33: no overflow in 64 bits.
  if (p.fileOffset + p.length > fileSize) {
    return LayoutCheck::OutsideFile;
  }
  if (p.length > p.maxLength) {
    return LayoutCheck::TooLarge;
  }
  return LayoutCheck::Fits;
}

LayoutCheck CheckComponent(UpdateComponent component, int8_t type, const UpdateFileHeader& header,
                           const UpdateFileInfo& file, uint64_t fileSize) {
  return CheckPlacement(PlacementOf(component, type, header, file, fileSize), fileSize);
}

LayoutCheck CheckUpdateFileLayout(const std::filesystem::path& path, int8_t type,
                                  const UpdateFileInfo& file) {
  std::error_code error;
  const uint64_t fileSize = std::filesystem::file_size(path, error);
  UpdateFileHeader header;
  if (error || ReadUpdateFileHeader(path, header) == 0) {
    return LayoutCheck::CannotRead;
  }
  for (const UpdateComponent component : ComponentsFor(type)) {
    const LayoutCheck check = CheckComponent(component, type, header, file, fileSize);
    if (check != LayoutCheck::Fits) {
      return check;
    }
  }
  return LayoutCheck::Fits;
}

}  // namespace korvan
