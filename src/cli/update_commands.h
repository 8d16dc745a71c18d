// `korvan check`, `korvan diff` and `korvan update`: the local update file taken through the
// window's Open and Upload commands, on the detected device.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/app_state.h"
#include "cli/console_view.h"
#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

struct CheckOptions {
  std::string file;
  std::optional<uint8_t> type;  // judge the file for this model without a device
};

// Exit status: 0 when the file is accepted (Upload would be enabled), 1 when refused or no
// device answered, 2 when the working folder cannot be used.
int RunCheck(DiskHost& host, const frontend::GlobalOptions& options, const CheckOptions& check,
             std::ostream& out, std::ostream& err);

struct UpdateOptions {
  std::string file;
  bool verify = true;  // --no-verify clears the "проверить" box
  bool quiet = false;  // no live progress line
  bool all = false;    // every attached device of the file's model (update_all_command.h)
};

// The Open command with `file` as the user's choice in the open-file dialog.
void OpenFile(ConsoleView& view, AppState& state, const std::string& file);
// Whether the opened file was accepted: Upload would be enabled.
bool Accepted(const ConsoleView& view, const AppState& state);

// Exit status: 0 when every attempted component ended "Обновлено" (or all were "Same"), 1
// otherwise (refused file, failed or parked write, no device), 2 when the working folder
// cannot be used.
int RunUpdate(DiskHost& host, const frontend::GlobalOptions& options, const UpdateOptions& update,
              std::ostream& out, std::ostream& err);

struct DiffOptions {
  std::string file;
};

// The dry run: what `update FILE` would write, component by component, with nothing sent to the
// device but the detection's reads. Exit status: 0 when the report was made and the update
// would not fail, 1 when the file is refused, no device answered or a component would fail, 2
// when the working folder cannot be used.
int RunDiff(DiskHost& host, const frontend::GlobalOptions& options, const DiffOptions& diff,
            std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
