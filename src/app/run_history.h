// The history lines of the main window's runs, built from what the window knows of the device
// and the update file (see history_log.h for the file itself).
#pragma once

#include <filesystem>
#include <string_view>

#include "app/app_state.h"
#include "app/history_log.h"

namespace korvan {

// The versions as the window shows them after detection; unread ones are unknown.
HistoryVersions DeviceVersions(const DeviceInfo& info);

// An update file's versions as the window shows them once it is chosen.
HistoryVersions UpdateFileVersions(const UpdateFileInfo& info, int8_t type,
                                   const std::filesystem::path& file);

// A line of `kind` for the device `info` on `drive`: front end, model, and its versions as
// "before" (and as "after", until the run says otherwise).
HistoryEntry DeviceHistoryEntry(std::string_view kind, std::string_view frontEnd,
                                const DeviceInfo& info, int drive);

}  // namespace korvan
