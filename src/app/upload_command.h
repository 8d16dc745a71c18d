// The main window's "Загрузить в устройство" (Upload) command.
#pragma once

#include "app/app_state.h"
#include "app/update_worker.h"
#include "app/view.h"

namespace korvan {

// Checks that an accepted update file (or pending settings) is there and starts the update
// worker; refuses an unaccepted file with the "invalid update file" message. Returns whether
// the worker was started. Window thread.
bool UploadCommand(View& view, AppState& state, UpdateWorker& worker);

}  // namespace korvan
