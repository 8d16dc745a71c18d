// The 48 menu settings of the fixed-layout models (every type except 25-27): how each is shown
// (label, group, list entries, tooltip), how its stored byte maps to a list entry, its factory
// defaults, and which lists the settings form disables for a model. Pure data and functions;
// the form model, the command line and the writers build on it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvan {

inline constexpr int kMenuSettingCount = 48;

// How a stored value relates to the index of the list entry it selects.
enum class StoredRule : uint8_t {
  Entry,          // stored value = entry index
  SmartGpsSwap,   // 1 = entry 0 ("Вкл"), 0 = entry 1 ("Вык"), 2 = entry 2 ("База")
  ReversedThree,  // 2 = entry 0, 1 = entry 1, 0 = entry 2
  Offset,         // stored value = entry index + offset
};

// A list of numbers, each shown as "%d" followed by `suffix`: first, first + step, ... (`count`
// of them), after an optional leading "Вык".
struct NumericEntries {
  std::string_view suffix;
  int count = 0;  // 0: the setting has a fixed list of texts
  int first = 0;
  int step = 0;
  bool leadingOff = false;
};

struct MenuSetting {
  std::string_view key;    // Parameters.ini key in section "Menu"
  std::string_view label;  // exact text, trailing spaces included
  std::string_view group;  // empty: outside any group box
  int controlId;
  std::vector<std::string_view> texts;  // fixed entries (empty for numeric lists)
  NumericEntries numbers;
  StoredRule rule = StoredRule::Entry;
  int offset = 0;  // StoredRule::Offset only
  // Stored values written by "По умолч".
  int defaultForUzbekistan;
  int defaultForOthers;
};

inline constexpr int kLanguageSetting = 0;
inline constexpr int kSmartGpsSetting = 7;

// The table, indexed by the byte position in the settings unit.
const std::array<MenuSetting, kMenuSettingCount>& MenuSettings();

// The tooltip of settings 0-17; empty for the others.
std::string_view MenuTooltip(int index);

// The list entries as shown, entry 0 first. Language's second entry and Smart GPS's third
// depend on the device.
std::vector<std::string> MenuEntries(int index, int8_t typeCode, uint8_t country);
int MenuEntryCount(int index, int8_t typeCode);

// The entry a stored value selects; nullopt ("no selection") when that entry does not exist,
// as for the 99 of a missing key or the -1 of a list saved without selection.
std::optional<int> EntryForStored(int index, int stored, int8_t typeCode);
// The value saved for `entry`; a list without selection saves -1 (after its offset, if any).
int StoredForEntry(int index, std::optional<int> entry);

// The stored value "По умолч" writes.
int DefaultStoredValue(int index, uint8_t country);

// Control ids of the lists the form disables for this model. Disabled lists stay visible,
// keep their selection and are still saved.
std::set<int> DisabledControls(int8_t typeCode, uint8_t country, bool legacyModel);

}  // namespace korvan
