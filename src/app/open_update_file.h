// The main window's "Открыть" (Open) command: the user picks a local update file, which is
// checked against the connected model and recorded for the next upload. Also the display of
// a chosen file's versions, which the server download shares.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/app_state.h"
#include "app/view.h"
#include "device/device_info.h"

namespace korvan {

// The single status text of every refused file, whatever the cause.
inline constexpr std::string_view kFirmwareFileNotFoundText = "Файл прошивки не найден!!";
// Filter of the open-file dialog.
inline constexpr std::string_view kBinFileFilter = "Bin file(*.bin)|*.bin|";

// `ShowUpdateFileVersions`: the file-to-load column: firmware (1038) and voice (1039) versions
// of `info`, where a digit not read shows as 255, and the date field of `name` (1040).
void ShowUpdateFileVersions(View& view, const UpdateFileInfo& info, int8_t type,
                            std::string_view name);

// `OpenUpdateFile`: asks for a file and records it when its name fits the model's pattern and
// its version record belongs to the model with an accepted country. Success enables Upload and
// sets UpdateFileReady; any refusal disables Upload, clears UpdateFileReady and shows
// kFirmwareFileNotFoundText, leaving UpdateFilePath and the path box as they were. Returns
// whether the file was accepted. Window thread.
bool OpenUpdateFile(View& view, AppState& state);

}  // namespace korvan
