#include "settings/parameter_form.h"

#include <string>
#include <utility>

namespace korvan {
namespace {

size_t At(int index) {
  return static_cast<size_t>(index);
}

bool Valid(int index) {
  return index >= 0 && index < kMenuSettingCount;
}

}  // namespace

ParameterForm::ParameterForm(int8_t typeCode, uint8_t country, bool legacyModel,
                             std::filesystem::path iniFile)
    : typeCode_(typeCode),
      country_(country),
      iniFile_(std::move(iniFile)),
      disabled_(DisabledControls(typeCode, country, legacyModel)) {
  for (int i = 0; i < kMenuSettingCount; ++i) {
    entries_[At(i)] = MenuEntries(i, typeCode_, country_);
  }
}

void ParameterForm::SelectStored(const MenuValues& values) {
  for (int i = 0; i < kMenuSettingCount; ++i) {
    selection_[At(i)] = EntryForStored(i, values[At(i)], typeCode_);
  }
}

void ParameterForm::Load() {
  MenuValues values{};
  const std::string section(kMenuSection);
  for (int i = 0; i < kMenuSettingCount; ++i) {
    values[At(i)] =
        ReadMenuValue(iniFile_, section, MenuSettings()[At(i)].key, kMissingMenuValueText);
  }
  SelectStored(values);
}

void ParameterForm::Select(int index, std::optional<int> entry) {
  if (!Valid(index)) {
    return;
  }
  if (entry && (*entry < 0 || *entry >= static_cast<int>(entries_[At(index)].size()))) {
    entry.reset();
  }
  selection_[At(index)] = entry;
}

std::optional<int> ParameterForm::Selection(int index) const {
  return Valid(index) ? selection_[At(index)] : std::nullopt;
}

bool ParameterForm::Defaults() {
  MenuValues values{};
  for (int i = 0; i < kMenuSettingCount; ++i) {
    values[At(i)] = DefaultStoredValue(i, country_);
  }
  SelectStored(values);
  return WriteMenuValues(iniFile_, values);
}

MenuValues ParameterForm::StoredValues() const {
  MenuValues values{};
  for (int i = 0; i < kMenuSettingCount; ++i) {
    values[At(i)] = StoredForEntry(i, selection_[At(i)]);
  }
  return values;
}

ParameterForm::OkResult ParameterForm::Ok() {
  OkResult result{};
  result.values = StoredValues();
  for (size_t i = 0; i < result.values.size(); ++i) {
    result.bytes[i] = static_cast<uint8_t>(result.values[i] & 0xFF);
  }
  result.saved = WriteMenuValues(iniFile_, result.values);
  return result;
}

bool ParameterForm::Changed(std::span<const uint8_t, kUnitSize> readBlock) const {
  const MenuValues values = StoredValues();
  for (size_t i = 0; i < values.size(); ++i) {
    if (static_cast<uint8_t>(values[i] & 0xFF) != readBlock[i]) {
      return true;
    }
  }
  return false;
}

bool ParameterForm::Enabled(int index) const {
  return Valid(index) && !disabled_.contains(MenuSettings()[At(index)].controlId);
}

const std::vector<std::string>& ParameterForm::Entries(int index) const {
  static const std::vector<std::string> kNone;
  return Valid(index) ? entries_[At(index)] : kNone;
}

std::string_view ParameterForm::Label(int index) const {
  return Valid(index) ? MenuSettings()[At(index)].label : std::string_view{};
}

std::string_view ParameterForm::Group(int index) const {
  return Valid(index) ? MenuSettings()[At(index)].group : std::string_view{};
}

std::string_view ParameterForm::Tooltip(int index) const {
  return MenuTooltip(index);
}

int ParameterForm::ControlId(int index) const {
  return Valid(index) ? MenuSettings()[At(index)].controlId : 0;
}

}  // namespace korvan
