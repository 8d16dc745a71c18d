#include "app/update_sequence.h"

#include "app/control_ids.h"
#include "device/model_catalogue.h"
#include "flash/region_writer.h"

namespace korvan {
namespace {

namespace catalogue = ModelCatalogue;

constexpr VersionDigits kLastType8Firmware{0, 1, 7, 3};

}  // namespace

std::string_view ComponentName(UpdateComponent component) {
  switch (component) {
    case UpdateComponent::Firmware:
      return "firmware";
    case UpdateComponent::Voice:
      return "voice";
    case UpdateComponent::Database:
      return "database";
    case UpdateComponent::Signature:
      break;
  }
  return "signature";
}

std::optional<ComponentJob> SequenceJob(UpdateComponent component, const DeviceInfo& device,
                                        const UpdateFileInfo& file,
                                        const std::filesystem::path& fwCopy,
                                        const std::filesystem::path& flashCopy) {
  const int8_t type = device.typeCode;
  switch (component) {
    case UpdateComponent::Firmware: {
      const auto& f = file.fileFwVersion;
      if (type == 8 && device.fwVersion == kLastType8Firmware && f[0] == 0 && f[1] == 1 &&
          f[2] == 7 && f[3] == 3) {
        return std::nullopt;
      }
      return ComponentJob{component,
                          fwCopy,
                          catalogue::BootLoaderSize(type),
                          catalogue::FwEndOffset(type),
                          0,
                          ids::kFwResultText};
    }
    case UpdateComponent::Voice:
      if (type == 8 && file.fileVoiceVersion[0] != 0) {
        return std::nullopt;
      }
      return ComponentJob{component, flashCopy, 0, 0, 1, ids::kVoiceResultText};
    case UpdateComponent::Database:
      // Compared where the device's own layout keeps it; written where the file's firmware
      // will look for it (the worker's upload step).
      return ComponentJob{component, flashCopy, catalogue::DbFlashOffset(0, device, file),
                          0,         2,         ids::kDbResultText};
    case UpdateComponent::Signature:
      if (type != 8) {
        return std::nullopt;
      }
      return ComponentJob{component, flashCopy, kSignatureAddress, 0, 3, 0};
  }
  return std::nullopt;
}

Preparation PrepareComponent(const ComponentJob& job, int8_t type, const UpdateFileHeader& header,
                             const UpdateFileInfo& file, const std::filesystem::path& updateFile,
                             uint64_t fileSize) {
  const ComponentPlacement placement = PlacementOf(job.component, type, header, file, fileSize);
  // A component that does not lie inside the file, or would not fit the memory, is neither
  // extracted nor written.
  if (CheckPlacement(placement, fileSize) != LayoutCheck::Fits) {
    return Preparation::CannotExtract;
  }
  switch (CompareAndExtract(job.deviceCopy, job.deviceOffset, updateFile, placement.fileOffset,
                            placement.length, job.extractEnd)) {
    case CompareOutcome::Equal:
      return Preparation::Same;
    case CompareOutcome::Failed:
      return Preparation::CannotExtract;
    case CompareOutcome::Extracted:
      break;
  }
  return Preparation::Extracted;
}

}  // namespace korvan
