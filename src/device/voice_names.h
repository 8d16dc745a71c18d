// The voice variants a model's packages come in, as offered in the main window's voice list.
// The window fills its combo box from VoiceComboItems; the slot index of an item is what the
// server download reads to pick the package's voice suffix.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_info.h"

namespace korvan {

// `VoiceNames`, UTF-8.
inline constexpr std::array<std::string_view, 7> VoiceNames{
    "женский голос",            // female voice
    "женский урезанный голос",  // female voice, reduced
    "мужской голос",            // male voice
    "мужской урезанный голос",  // male voice, reduced
    "Русский голос",            // Russian voice
    "узбекский голос",          // Uzbek voice
    "женский урезанный голос",  // female voice, reduced: the list of types 25-27
};

inline constexpr size_t kVoiceSlotCount = 5;
using VoiceSlots = std::array<std::string, kVoiceSlotCount>;

// Five slots, empty where the model offers nothing, for model `type` and the country the
// device reported or the package country the user chose.
VoiceSlots BuildVoiceNames(int type, const DeviceInfo& info);

struct VoiceItem {
  std::string text;
  int itemData;  // the slot index 0..4
};

// What the voice combo box shows for `type`: the non-empty slots in slot order (the first is
// selected), or nullopt when the model has no voice list and the combo box is disabled.
std::optional<std::vector<VoiceItem>> VoiceComboItems(int type, const DeviceInfo& info);

}  // namespace korvan
