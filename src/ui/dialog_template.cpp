#include "ui/dialog_template.h"

#include <algorithm>

#include "app/control_ids.h"

namespace korvan::ui {
namespace {

using K = ControlKind;
constexpr bool kHidden = true;

// The placeholder of the fields the program fills; the initialisation blanks them.
constexpr std::string_view kPlaceholder = "Static";

// The four version fields are wider than first drawn (52, 63, 63 and 65 units): wide enough for
// "Ошибка соединения!!", which the narrower fields cut. They grow into empty space.
constexpr ControlTemplate kControls[] = {
    {-1, K::GroupBox, "Korvan", {7, 33, 249, 70}},
    {ids::kModelLabel, K::Static, "Модель :", {24, 45, 30, 12}},
    {ids::kModelText, K::Static, kPlaceholder, {63, 45, 185, 8}},
    {ids::kVersionLabel, K::Static, "Версия :", {24, 60, 36, 12}},
    {ids::kFwVersionText, K::Static, kPlaceholder, {63, 60, 72, 8}},
    {ids::kDbVersionLabel, K::Static, "БД Версия :", {24, 75, 43, 12}},
    {ids::kDbVersionText, K::Static, kPlaceholder, {73, 75, 72, 8}},
    {ids::kVoiceVersionLabel, K::Static, "ГОЛОС Версия :", {24, 89, 68, 12}},
    {ids::kVoiceVersionText, K::Static, kPlaceholder, {87, 89, 72, 8}},
    {ids::kRussiaRadio, K::Radio, "Russia", {177, 78, 34, 10}, kHidden, true},
    {ids::kUzbekistanRadio, K::Radio, "Uzbekistan", {177, 91, 49, 10}, kHidden},
    {ids::kAuxGroup, K::GroupBox, "", {138, 53, 116, 21}, kHidden},
    {ids::kAuxLabel, K::Static, "Версия1 :", {144, 61, 33, 8}, kHidden},
    {ids::kAuxVersionText, K::Static, kPlaceholder, {183, 61, 70, 8}, kHidden},
    {ids::kLogo, K::StaticBitmap, "", {9, 6, 122, 22}},
    {-1, K::GroupBox, "Загрузка последней прошивки с сервера", {23, 104, 233, 42}},
    {ids::kServerSourceRadio, K::Radio, "", {12, 122, 10, 10}, false, true},
    {ids::kVoiceLabel, K::Static, "ГОЛОС :", {27, 122, 32, 12}},
    {ids::kVoiceCombo, K::DropDownList, "", {60, 120, 116, 94}},
    {ids::kDownloadButton, K::Button, "Загрузить", {181, 117, 69, 20}},
    {-1, K::GroupBox, "Выбор данных для загрузки", {22, 148, 234, 102}},
    {ids::kFileSourceRadio, K::Radio, "", {12, 175, 10, 10}},
    {-1, K::Static, "Файл", {29, 176, 18, 8}},
    {ids::kFilePathEdit, K::Edit, "", {49, 174, 144, 14}},
    {ids::kOpenButton, K::Button, "Открыть", {200, 175, 50, 14}},
    {ids::kVerifyCheck, K::CheckBox, "проверить", {200, 197, 50, 10}},
    {ids::kUploadModeRadio, K::Radio, "FW+БД+ГОЛОС", {45, 161, 62, 10}, kHidden, true},
    {ids::kMenuModeRadio, K::Radio, "Меню", {127, 161, 34, 10}, kHidden},
    {ids::kDbModeRadio, K::Radio, "ОБ", {186, 161, 25, 10}, kHidden},
    {ids::kUploadButton, K::Button, "Загрузить в устройство", {40, 217, 182, 24}},
    {-1, K::Static, "Версия", {49, 269, 24, 8}},
    {-1, K::Static, "ГОЛОС", {49, 282, 23, 8}},
    {-1, K::Static, "БД", {49, 295, 10, 8}},
    {ids::kFileFwVersionText, K::Static, kPlaceholder, {97, 269, 32, 8}},
    {ids::kFileVoiceVersionText, K::Static, kPlaceholder, {97, 282, 35, 8}},
    {ids::kFileDbText, K::Static, kPlaceholder, {97, 295, 26, 8}},
    {ids::kFwResultText, K::Static, kPlaceholder, {147, 269, 74, 8}},
    {ids::kVoiceResultText, K::Static, kPlaceholder, {147, 282, 77, 8}},
    {ids::kDbResultText, K::Static, kPlaceholder, {147, 295, 74, 8}},
    // The frames of the three-row table: version label, file version, result.
    {-1, K::GroupBox, "", {40, 261, 50, 19}},
    {-1, K::GroupBox, "", {40, 274, 50, 19}},
    {-1, K::GroupBox, "", {40, 288, 50, 19}},
    {-1, K::GroupBox, "", {89, 261, 53, 19}},
    {-1, K::GroupBox, "", {89, 274, 53, 19}},
    {-1, K::GroupBox, "", {89, 288, 53, 19}},
    {-1, K::GroupBox, "", {141, 261, 88, 19}},
    {-1, K::GroupBox, "", {141, 274, 88, 19}},
    {-1, K::GroupBox, "", {141, 288, 88, 19}},
    {ids::kStatusBar, K::ProgressBar, "", {7, 320, 249, 21}},
    {ids::kReadButton, K::Button, "READ", {7, 344, 25, 14}, kHidden},
    {ids::kEraseButton, K::Button, "ERASE", {34, 344, 25, 14}, kHidden},
    {ids::kMenuSettingsButton, K::Button, "Настройки меню", {114, 344, 88, 14}},
    {ids::kEnd, K::Button, "End", {206, 344, 50, 14}},
    {ids::kUnusedText, K::Static, kPlaceholder, {139, 20, 117, 8}, kHidden},
    {ids::kTestButton, K::Button, "testbutton", {201, 142, 50, 14}, kHidden},
};

// The margin the template keeps between its controls and the dialog's edges.
constexpr int kMargin = 7;

}  // namespace

std::span<const ControlTemplate> MainDialogTemplate() {
  return kControls;
}

DialogRect MainDialogClientArea() {
  int right = 0;
  int bottom = 0;
  for (const auto& control : kControls) {
    // A drop-down list's height is its opened list's, not the control's.
    const int height = control.kind == ControlKind::DropDownList ? 0 : control.rect.height;
    right = std::max(right, control.rect.x + control.rect.width);
    bottom = std::max(bottom, control.rect.y + height);
  }
  return {0, 0, right + kMargin, bottom + kMargin};
}

}  // namespace korvan::ui
