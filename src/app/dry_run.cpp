#include "app/dry_run.h"

#include <system_error>

#include "app/update_sequence.h"
#include "device/unit.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

// A copy of `from` in `scratch`; a copy that does not exist stays missing, as the sequence
// then compares against 0xFF either way.
bool ScratchCopy(const fs::path& from, const fs::path& to, std::string& error) {
  std::error_code ec;
  if (from.empty() || !fs::exists(from, ec)) {
    return true;
  }
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    error = "cannot copy " + from.string() + " for the dry run: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

std::string_view DryRunActionName(DryRunAction action) {
  switch (action) {
    case DryRunAction::Write:
      return "write";
    case DryRunAction::Same:
      return "same";
    case DryRunAction::Skip:
      return "skip";
    case DryRunAction::Fail:
      break;
  }
  return "fail";
}

DryRunResult DryRunUpdate(const AppState& state, const fs::path& scratch) {
  DryRunResult result;
  std::error_code ec;
  fs::remove_all(scratch, ec);
  fs::create_directories(scratch, ec);
  if (ec) {
    result.error = "cannot create " + scratch.string() + " for the dry run: " + ec.message();
    return result;
  }
  const fs::path fwCopy = scratch / "controller.copy";
  const fs::path flashCopy = scratch / "flash.copy";
  if (!ScratchCopy(state.FwReadPath, fwCopy, result.error) ||
      !ScratchCopy(state.FlashReadPath, flashCopy, result.error)) {
    fs::remove_all(scratch, ec);
    return result;
  }

  // As the worker does at the start of a run: the header and size the file has now.
  UpdateFileHeader header = state.updateFileHeader;
  ReadUpdateFileHeader(state.UpdateFilePath, header);
  uint64_t fileSize = fs::file_size(state.UpdateFilePath, ec);
  if (ec) {
    fileSize = 0;
  }
  const DeviceInfo& device = state.deviceInfo;
  const UpdateFileInfo& file = state.updateFileInfo;
  for (const UpdateComponent component : ComponentsFor(device.typeCode)) {
    DryRunComponent planned{component, DryRunAction::Skip};
    planned.fileBytes = PlacementOf(component, device.typeCode, header, file, fileSize).length;
    const auto job = SequenceJob(component, device, file, fwCopy, flashCopy);
    if (job) {
      switch (
          PrepareComponent(*job, device.typeCode, header, file, state.UpdateFilePath, fileSize)) {
        case Preparation::Same:
          planned.action = DryRunAction::Same;
          break;
        case Preparation::CannotExtract:
          planned.action = DryRunAction::Fail;
          break;
        case Preparation::Extracted:
          planned.action = DryRunAction::Write;
          if (const uint64_t bytes = fs::file_size(job->deviceCopy, ec); !ec) {
            planned.units = (bytes + kUnitSize - 1) / kUnitSize;
          }
          break;
      }
    }
    result.components.push_back(planned);
  }
  fs::remove_all(scratch, ec);
  return result;
}

}  // namespace korvan
