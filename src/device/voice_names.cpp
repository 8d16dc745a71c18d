#include "device/voice_names.h"

namespace korvan {
namespace {

bool HasVoiceList(int type) {
  return (type >= 3 && type <= 6) || type == 8 || type == 9 || (type >= 16 && type <= 27);
}

}  // namespace

VoiceSlots BuildVoiceNames(int type, const DeviceInfo& info) {
  VoiceSlots slots;
  uint8_t country = info.legacyModel ? kCountryRussia : info.country;
  if (info.packageCountry != 0) {
    country = info.packageCountry;
  }
  if (type >= 25 && type <= 27) {  // the large models offer one voice
    slots[0] = VoiceNames[6];
    return slots;
  }
  if (country == kCountryUzbekistan) {
    slots[0] = VoiceNames[4];
    slots[1] = VoiceNames[5];
    return slots;
  }
  if (type == 3 || type == 4 || type == 8 || type == 9 || (type >= 16 && type <= 24)) {
    for (size_t i = 0; i < 4; ++i) {
      slots[i] = VoiceNames[i];
    }
  } else if (type == 5) {
    slots[1] = VoiceNames[1];
    slots[3] = VoiceNames[3];
  } else if (type == 6) {
    slots[0] = VoiceNames[0];
  }
  return slots;
}

std::optional<std::vector<VoiceItem>> VoiceComboItems(int type, const DeviceInfo& info) {
  if (!HasVoiceList(type)) {
    return std::nullopt;
  }
  std::vector<VoiceItem> items;
  const VoiceSlots slots = BuildVoiceNames(type, info);
  for (size_t i = 0; i < slots.size(); ++i) {
    if (!slots[i].empty()) {
      items.push_back({slots[i], static_cast<int>(i)});
    }
  }
  return items;
}

}  // namespace korvan
