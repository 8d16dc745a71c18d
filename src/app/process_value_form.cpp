#include "app/process_value_form.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "settings/schema_csv.h"

namespace korvan {
namespace {

// The hint's escapes as the schema writes them, as plain text.
constexpr std::string_view kEscapedNewline = "\\n";
constexpr std::string_view kEscapedLineSeparator = "\\u2028";

// Line breaks in the description area. The schema's escapes become the platform's own line
// break, which is what the toolkit's text controls break at here.
std::string Description(std::string_view hint) {
  std::string text;
  for (size_t i = 0; i < hint.size();) {
    if (hint.substr(i, kEscapedLineSeparator.size()) == kEscapedLineSeparator) {
      text += '\n';
      i += kEscapedLineSeparator.size();
    } else if (hint.substr(i, kEscapedNewline.size()) == kEscapedNewline) {
      text += '\n';
      i += kEscapedNewline.size();
    } else {
      text += hint[i++];
    }
  }
  return text;
}

void AddOption(GridProperty& property, std::string text) {
  if (std::find(property.options.begin(), property.options.end(), text) == property.options.end()) {
    property.options.push_back(std::move(text));
  }
}

}  // namespace

std::span<const uint8_t> SettingsPacketFrame(std::span<const uint8_t, 1024> unit) {
  constexpr size_t kLengthOffset = kSettingsPacketHeaderSize + kSettingsPacketVersionSize;
  const size_t length = unit[kLengthOffset] | (size_t{unit[kLengthOffset + 1]} << 8);
  return std::span<const uint8_t>(unit).first(
      std::min(kSettingsPacketPayloadOffset + length, unit.size()));
}

ProcessValueForm::ProcessValueForm(std::filesystem::path schemaPath)
    : schemaPath_(std::move(schemaPath)) {}

bool ProcessValueForm::EnsureSchema(std::string& message) {
  if (!schema_.fields.empty()) {
    return true;
  }
  return LoadSettingsSchema(schemaPath_, schema_.meta, schema_.fields, &message);
}

bool ProcessValueForm::LoadFromDevice(std::span<const uint8_t> frame, SettingsPacketHeader& header,
                                      std::string& version, std::string& message) {
  if (!EnsureSchema(message)) {
    return false;
  }
  uint16_t payloadLength = 0;
  if (!ParseSettingsPacket(frame, &header, version, payloadLength, schema_.meta, schema_.fields,
                           &message)) {
    return false;
  }
  RefreshCountry();
  RebuildGrid();
  FillCountryList();
  return true;
}

const SettingField* ProcessValueForm::CountryField() const {
  for (const SettingField& field : schema_.fields) {
    if (field.index == schema_.meta.fw_index) {
      return &field;
    }
  }
  return nullptr;
}

SettingField* ProcessValueForm::MutableCountryField() {
  return const_cast<SettingField*>(std::as_const(*this).CountryField());
}

void ProcessValueForm::RefreshCountry() {
  const SettingField* countryField = CountryField();
  const int32_t value = countryField != nullptr ? countryField->value : 0;
  country_ = CountryOf(schema_.fields, schema_.meta.fw_index, value);
  visible_.clear();
  for (size_t i = 0; i < schema_.fields.size(); ++i) {
    const SettingField& field = schema_.fields[i];
    if (field.index != schema_.meta.fw_index && IsVisible(field, country_)) {
      visible_.push_back(i);
    }
  }
}

void ProcessValueForm::FillCountryList() {
  countryEntries_.clear();
  countrySelection_.reset();
  if (const SettingField* field = CountryField()) {
    countryEntries_ = field->options;
  }
  SelectCountryEntry();
}

void ProcessValueForm::SelectCountryEntry() {
  const SettingField* field = CountryField();
  if (field == nullptr || countryEntries_.empty()) {
    return;
  }
  int32_t entry = Clamp(field->value, field->min, field->max);
  if (entry < 0 || entry >= static_cast<int32_t>(countryEntries_.size())) {
    entry = 0;
  }
  countrySelection_ = entry;
}

std::string ProcessValueForm::NumberText(const SettingField& field, int64_t raw) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f ", static_cast<double>(raw) * field.scale);
  return text + field.suffix;
}

std::string ProcessValueForm::ValueText(const SettingField& field) {
  if (IsToggleField(field)) {
    return std::string(field.value != 0 ? kToggleOn : kToggleOff);
  }
  if (IsEnumField(field)) {
    if (field.value >= 0 && static_cast<size_t>(field.value) < field.options.size()) {
      return field.options[static_cast<size_t>(field.value)];
    }
    return field.options.empty() ? std::string() : field.options.front();
  }
  return NumberText(field, field.value);
}

void ProcessValueForm::RebuildGrid() {
  grid_.clear();
  std::map<std::string, size_t> groups;
  for (const size_t i : visible_) {
    const SettingField& field = schema_.fields[i];
    auto [group, added] = groups.try_emplace(field.category, grid_.size());
    if (added) {
      grid_.push_back(GridGroup{field.category, {}});
    }
    GridProperty property;
    property.field = i;
    property.name = field.name;
    property.description = Description(field.hint);
    if (IsToggleField(field)) {
      AddOption(property, std::string(kToggleOff));
      AddOption(property, std::string(kToggleOn));
    } else if (IsEnumField(field)) {
      for (const std::string& option : field.options) {
        AddOption(property, option);
      }
    } else {
      // A byte holds 0..255, which is the range a sound schema gives; a range that reaches
      // beyond it (a negative max or a min above 255 get swapped in) would otherwise list
      // billions of entries. Only the raw values of the range's grid a byte can hold are offered.
      int64_t raw = field.min;
      if (raw < 0) {
        raw += (-raw + field.unit - 1) / field.unit * field.unit;
      }
      for (; raw <= std::min<int64_t>(field.max, 255); raw += field.unit) {
        std::string text = NumberText(field, raw);
        if (std::find(property.options.begin(), property.options.end(), text) ==
            property.options.end()) {
          property.options.push_back(std::move(text));
          property.rawValues.push_back(static_cast<int32_t>(raw));
        }
      }
    }
    property.value = ValueText(field);
    grid_[group->second].properties.push_back(std::move(property));
  }
}

const GridProperty* ProcessValueForm::Property(size_t field) const {
  for (const GridGroup& group : grid_) {
    for (const GridProperty& property : group.properties) {
      if (property.field == field) {
        return &property;
      }
    }
  }
  return nullptr;
}

GridProperty* ProcessValueForm::MutableProperty(size_t field) {
  return const_cast<GridProperty*>(std::as_const(*this).Property(field));
}

void ProcessValueForm::OnPropertyChanged(size_t fieldIndex, std::string_view text) {
  GridProperty* property = MutableProperty(fieldIndex);
  if (property == nullptr) {
    return;  // not a row of the grid
  }
  SettingField& field = schema_.fields[fieldIndex];
  if (IsToggleField(field)) {
    field.value = EqualsIgnoringAsciiCase(text, kToggleOn) ? 1 : 0;
  } else if (IsEnumField(field)) {
    int32_t k = field.value;
    const auto option =
        std::find_if(field.options.begin(), field.options.end(),
                     [text](const std::string& o) { return EqualsIgnoringAsciiCase(o, text); });
    if (option != field.options.end()) {
      k = static_cast<int32_t>(option - field.options.begin());
    }
    if (!field.options.empty()) {
      k = Clamp(k, 0, static_cast<int32_t>(field.options.size()) - 1);
    }
    field.value = Clamp(k, field.min, field.max);
  } else if (!property->rawValues.empty()) {
    int32_t k = field.value;
    for (const int32_t raw : property->rawValues) {
      if (EqualsIgnoringAsciiCase(NumberText(field, raw), text)) {
        k = raw;
        break;
      }
    }
    field.value = Clamp(k, field.min, field.max);
  }
  // An enum whose range is narrower than its option list takes another value than the option
  // picked: the row shows what will be written, not what was clicked.
  property->value = ValueText(field);
}

void ProcessValueForm::OnCountryChanged(int selection) {
  SettingField* field = MutableCountryField();
  if (field == nullptr) {
    return;
  }
  if (selection >= 0) {
    field->value = selection;
    if (static_cast<size_t>(selection) < countryEntries_.size()) {
      countrySelection_ = selection;
    }
  }
  RefreshCountry();
  RebuildGrid();
}

void ProcessValueForm::OnDefaults() {
  for (SettingField& field : schema_.fields) {
    const int32_t d = DefaultFor(field, country_);
    if (IsToggleField(field)) {
      field.value = d != 0 ? 1 : 0;
    } else if (IsEnumField(field)) {
      field.value = d;
    } else {
      field.value = Clamp(d, field.min, field.max);
    }
  }
  RebuildGrid();
  SelectCountryEntry();
}

bool ProcessValueForm::BuildUploadPacket(const SettingsPacketHeader& header,
                                         std::vector<uint8_t>& packet) const {
  return BuildSettingsPacket(schema_.meta, schema_.fields, &header, packet);
}

}  // namespace korvan
