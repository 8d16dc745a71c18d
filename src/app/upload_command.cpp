#include "app/upload_command.h"

#include "app/control_ids.h"
#include "app/show_result.h"

namespace korvan {

bool UploadCommand(View& view, AppState& state, UpdateWorker& worker) {
  view.ShowControl(ids::kRussiaRadio, false);
  view.ShowControl(ids::kUzbekistanRadio, false);
  state.UploadMode = 0;
  if (!state.updateFileInfo.fileAccepted) {
    ShowResult(view, 6);
    return false;
  }
  // The first upload-mode radio is always the checked one: the path must have been chosen.
  if (state.filePathText.empty()) {
    return false;
  }
  if (!state.UpdateFileReady && !state.SettingsPending) {
    return false;
  }
  state.QuietUpload = false;
  view.EnableControl(ids::kUploadButton, false);
  view.EnableControl(ids::kVerifyCheck, false);
  worker.Start();
  return true;
}

}  // namespace korvan
