// `ShowResult`: the result message boxes of the main window, by code.
#pragma once

#include <string_view>

#include "app/view.h"

namespace korvan {

inline constexpr std::string_view kManualUpdateText =
    "Пожалуйста, обновите устройство вручную с сайта!";
inline constexpr std::string_view kFirmwareUpdatedText =
    "Прошивка успешно обновлена! \nПри следующем включении устройства сделайте сброс на "
    "Заводские установки!";
inline constexpr std::string_view kDatabaseUpdatedText = "База данных успешно обновлена!";
inline constexpr std::string_view kInvalidUpdateFileText = "Неверный файл обновления.";
inline constexpr std::string_view kType8Notice =
    "          Внимание!\nВаше устройство совместимо\nс прошивкой v01.73 и ниже.\n"
    "Обновится только база данных.";
inline constexpr std::string_view kSettingsLoadedText = "Загрузка настроек произведена.";
inline constexpr std::string_view kUpdateFailedText = "Ошибка обновления! Повторите загрузку.";
inline constexpr std::string_view kSettingsFailedText =
    "Ошибка загрузки настроек! Повторите загрузку.";

// Our own codes, after a run that left something unwritten (the others are the device tools').
inline constexpr int kResultUpdateFailed = 9;
inline constexpr int kResultSettingsFailed = 10;

struct ResultMessage {
  std::string_view text;  // empty for a code without a message
  MessageIcon icon;
};

// Codes 0 and 1: manual update; 3 firmware updated; 4 database updated; 6 invalid update file;
// 7 the type-8 notice; 8 settings loaded; 9 update failed; 10 settings not loaded (both with
// the error icon). Other codes have no message.
ResultMessage ResultMessageFor(int code);

// Shows the message of `code` (modal, OK button); nothing for a code without one.
void ShowResult(View& view, int code);

}  // namespace korvan
