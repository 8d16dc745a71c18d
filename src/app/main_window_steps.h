// Small steps of the main window shared by several commands and workers: the status bar
// reset, the file-source radio, the voice list, and the texts of models and versions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/view.h"
#include "device/device_info.h"

namespace korvan {

inline constexpr std::string_view kSearchingText = "Поиск может занять 1-2мин.. Пжл, подождите!";
inline constexpr std::string_view kConnectionErrorText = "Ошибка соединения!!";
inline constexpr std::string_view kOldHardwareModelText =
    "DAHLIA - Обнаружено устройство старого типа!!";

// Twelve spaces: the blank text of the model, version and result fields before any is set.
inline constexpr std::string_view kBlankFieldText = "            ";

// The main dialog's controls as its initialisation leaves them: the template's hidden controls
// hidden; Open, Upload and Menu settings, the hidden mode radios, the verify box, Download and
// the voice list disabled; the fields blank; the server source, first upload mode and verify
// checked; the path empty.
void InitMainDialogControls(View& view);

// `DisableInputs`: the source radios, Open, Upload, Menu settings, Download, the voice list
// and the hidden mode radios, in that order.
void DisableInputs(View& view);

// `ResetStatusBar`: position 0, `text`, text shown, green bar on white.
void ResetStatusBar(View& view, std::string_view text);

// `EnableFileSource`: the local-file source radio is disabled while `busy` is 1.
void EnableFileSource(View& view, int busy);

// `FillVoiceCombo`: the voice list of `type`; a model without one disables the combo box.
void FillVoiceCombo(View& view, int type, const DeviceInfo& info);

// "v%d%d.%d%d": digits 0, 1, 7, 3 give "v01.73"; 255s print as "255".
std::string FormatVersionText(int d0, int d1, int d2, int d3);

// A version field after detection: the digits, or the connection error when unread.
std::string DetectedVersionText(const VersionDigits& digits);

// The database field after detection: "v%c.%c %c%c%c%c%c%c", or the connection error when
// unread. Bytes are characters of their own value; a zero byte ends the text, as in a C string.
std::string DetectedDbVersionText(const std::array<uint8_t, 8>& db);

// The model field after detection.
std::string ModelText(const DeviceInfo& info);

}  // namespace korvan
