// Parameters.ini: the menu settings as the user last loaded, edited or read them, one key per
// setting in section "Menu", in the working folder (ProgramFolder). Read and written with
// SimpleIni; every function takes the file, so --workdir and tests choose where it lives.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

#include "settings/menu_settings.h"

namespace korvan {

inline constexpr std::string_view kParametersIniName = "Parameters.ini";
inline constexpr std::string_view kMenuSection = "Menu";
// What a missing key reads as: 99 selects no entry of any list.
inline constexpr std::string_view kMissingMenuValueText = "99";

using MenuValues = std::array<int, kMenuSettingCount>;

// Parameters.ini inside `folder`.
std::filesystem::path ParametersIniPath(const std::filesystem::path& folder);

// The decimal prefix of `text`: leading white space, an optional sign, digits; no digits
// gives 0. Values beyond int saturate.
int ParseDecimalPrefix(std::string_view text);

// The value of `key`, read as ParseDecimalPrefix; `defaultText` is parsed the same way when the
// file, the section or the key is missing or the file cannot be read.
int ReadMenuValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                  std::string_view defaultText);

// Sets `key` to `value` ("%d"), keeping every other key and section. Creates the file when it
// does not exist. False when the file exists but cannot be read (it is then left alone, so its
// other keys are not lost) or cannot be written.
bool WriteMenuValue(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, int value);

// All 48 values of section "Menu"; nullopt when the file cannot be read or lacks any key.
std::optional<MenuValues> ReadMenuValues(const std::filesystem::path& file);

// Writes all 48 values in one pass, with WriteMenuValue's rules.
bool WriteMenuValues(const std::filesystem::path& file, const MenuValues& values);

}  // namespace korvan
