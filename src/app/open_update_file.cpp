#include "app/open_update_file.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "sources/update_file_layout.h"
#include "sources/update_file_rules.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

struct FoundFile {
  fs::path fullPath;
  std::string name;  // the last component, as the directory entry spells it
};

// The file `path` names, as found in the file system. Nothing for an empty path, a missing
// entry or a folder; other entries that are not regular files (fifos, devices) are passed over
// too, since reading one could block the window.
std::optional<FoundFile> FindFile(const std::string& path) {
  if (path.empty()) {
    return std::nullopt;
  }
  std::error_code error;
  const fs::path absolute = fs::absolute(fs::path(path), error);
  if (error || !fs::is_regular_file(absolute, error)) {
    return std::nullopt;
  }
  std::string name = absolute.filename().string();
  if (name.empty()) {
    return std::nullopt;
  }
  return FoundFile{absolute, std::move(name)};
}

// The last step of every outcome: Upload may only be pressed with a file that passed.
bool FinishOpen(View& view, AppState& state, bool accepted) {
  view.EnableControl(ids::kUploadButton, accepted);
  state.UpdateFileReady = accepted;
  if (!accepted) {
    view.SetStatusText(kFirmwareFileNotFoundText);
  }
  return accepted;
}

std::string VersionText(const std::array<uint16_t, 4>& digits) {
  return FormatVersionText(digits[0], digits[1], digits[2], digits[3]);
}

}  // namespace

void ShowUpdateFileVersions(View& view, const UpdateFileInfo& info, int8_t type,
                            std::string_view name) {
  view.SetControlText(ids::kFileFwVersionText, VersionText(info.fileFwVersion));
  view.SetControlText(ids::kFileVoiceVersionText, VersionText(info.fileVoiceVersion));
  view.SetControlText(ids::kFileDbText, FormatDateText(name, type));
}

bool OpenUpdateFile(View& view, AppState& state) {
  ResetUpdateFileInfo(state.updateFileInfo);
  state.updateFileInfo.fileAccepted = true;
  state.UploadMode = 0;

  // A cancelled dialog leaves the path box alone; the file check then finds nothing.
  std::string chosen;
  if (std::optional<std::string> choice = view.ChooseOpenFile(kBinFileFilter)) {
    chosen = std::move(*choice);
    state.filePathText = chosen;
    view.SetControlText(ids::kFilePathEdit, chosen);
  }

  const int8_t type = state.deviceInfo.typeCode;
  const std::optional<FoundFile> found = FindFile(chosen);
  // No file is a refusal even for a model whose expected name is empty.
  if (!found || !MatchWildcard(ExpectedUpdateFileName(type), found->name)) {
    view.SetStatusText(kFirmwareFileNotFoundText);
    view.EnableControl(ids::kUploadButton, false);
    return FinishOpen(view, state, false);
  }

  view.SetStatusText(found->name);
  state.UpdateFilePath = found->fullPath;

  const ImageVersionsResult read = ReadImageVersions(found->fullPath, type, state.updateFileInfo);
  // Shown even when the record was refused: what was not read shows as 255s.
  ShowUpdateFileVersions(view, state.updateFileInfo, type, found->name);
  // The header's component lengths are the file's own word: a component that runs past the
  // file or would not fit the model's memory refuses the file like a bad record does.
  const bool fits =
      read == ImageVersionsResult::Ok &&
      CheckUpdateFileLayout(found->fullPath, type, state.updateFileInfo) == LayoutCheck::Fits;
  return FinishOpen(view, state, fits);
}

}  // namespace korvan
