#include "cli/schema_form_play.h"

#include <algorithm>

#include "cli/json_text.h"

namespace korvan::cli {
namespace {

const GridProperty* RowNamed(const ProcessValueForm& form, std::string_view name) {
  for (const GridGroup& group : form.Grid()) {
    for (const GridProperty& property : group.properties) {
      if (property.name == name) {
        return &property;
      }
    }
  }
  return nullptr;
}

bool ApplyCountry(ProcessValueForm& form, const Assignment& assignment, std::ostream& err) {
  const std::vector<std::string>& entries = form.CountryEntries();
  const auto entry = std::find(entries.begin(), entries.end(), assignment.entry);
  if (entry == entries.end()) {
    err << "korvan: " << Quoted(assignment.key) << " has no entry " << Quoted(assignment.entry)
        << "; its list has " << QuotedList(entries) << '\n';
    return false;
  }
  form.OnCountryChanged(static_cast<int>(entry - entries.begin()));
  return true;
}

bool ApplyRow(ProcessValueForm& form, const Assignment& assignment, std::ostream& err) {
  const GridProperty* row = RowNamed(form, assignment.key);
  if (row == nullptr) {
    const auto& fields = form.Schema().fields;
    if (std::any_of(fields.begin(), fields.end(),
                    [&](const SettingField& f) { return f.name == assignment.key; })) {
      err << "korvan: " << Quoted(assignment.key)
          << " is not shown for this country; the dialog cannot change it\n";
    } else {
      std::vector<std::string> names;
      for (const GridGroup& group : form.Grid()) {
        for (const GridProperty& property : group.properties) {
          names.push_back(property.name);
        }
      }
      err << "korvan: " << Quoted(assignment.key) << ": no such setting; the dialog shows "
          << QuotedList(names) << '\n';
    }
    return false;
  }
  if (std::find(row->options.begin(), row->options.end(), assignment.entry) == row->options.end()) {
    err << "korvan: " << Quoted(assignment.key) << " has no entry " << Quoted(assignment.entry)
        << "; its list has " << QuotedList(row->options) << '\n';
    return false;
  }
  form.OnPropertyChanged(row->field, assignment.entry);
  return true;
}

nlohmann::ordered_json OptionalText(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

}  // namespace

bool ApplySchemaAssignments(ProcessValueForm& form, const std::vector<Assignment>& assignments,
                            std::ostream& err) {
  const SettingField* country = form.CountryField();
  const auto isCountry = [country](const Assignment& a) {
    return country != nullptr && a.key == country->name;
  };
  bool good = true;
  for (const Assignment& assignment : assignments) {
    if (isCountry(assignment)) {
      good = ApplyCountry(form, assignment, err) && good;
    }
  }
  for (const Assignment& assignment : assignments) {
    if (!isCountry(assignment)) {
      good = ApplyRow(form, assignment, err) && good;
    }
  }
  return good;
}

SchemaFormPlay::Snapshot SchemaFormPlay::SnapshotOf(const ProcessValueForm& form) {
  Snapshot snapshot;
  snapshot.countries = form.CountryEntries();
  if (const std::optional<int> selection = form.CountrySelection()) {
    snapshot.country = snapshot.countries[static_cast<size_t>(*selection)];
  }
  snapshot.grid = form.Grid();
  snapshot.fields = form.Schema().fields;
  return snapshot;
}

bool SchemaFormPlay::operator()(ProcessValueForm& form) {
  before_ = SnapshotOf(form);
  switch (action_) {
    case SettingsAction::Show:
      return false;
    case SettingsAction::Set:
      refused_ = !ApplySchemaAssignments(form, assignments_, err_);
      break;
    case SettingsAction::Defaults:
      form.OnDefaults();
      break;
  }
  after_ = SnapshotOf(form);
  return !refused_;
}

void SchemaFormPlay::PrintShown(bool json, std::ostream& out) const {
  if (json) {
    nlohmann::ordered_json settings = nlohmann::ordered_json::array();
    for (const GridGroup& group : before_.grid) {
      for (const GridProperty& property : group.properties) {
        settings.push_back({{"category", group.category},
                            {"name", property.name},
                            {"value", property.value},
                            {"options", property.options}});
      }
    }
    out << JsonLine({{"country", OptionalText(before_.country)},
                     {"countries", before_.countries},
                     {"settings", settings}})
        << '\n';
    return;
  }
  out << "Country: " << before_.country.value_or("(none)") << " (of "
      << QuotedList(before_.countries) << ")\n";
  for (const GridGroup& group : before_.grid) {
    out << group.category << '\n';
    for (const GridProperty& property : group.properties) {
      out << "  " << Padded(property.name, 26) << property.value << '\n';
    }
  }
}

void SchemaFormPlay::PrintWritten(bool written, std::string_view message, bool json,
                                  std::ostream& out) const {
  nlohmann::ordered_json changed = nlohmann::ordered_json::array();
  for (size_t i = 0; i < after_.fields.size() && i < before_.fields.size(); ++i) {
    const SettingField& was = before_.fields[i];
    const SettingField& now = after_.fields[i];
    if (was.value == now.value) {
      continue;
    }
    const std::string from = ProcessValueForm::ValueText(was);
    const std::string to = ProcessValueForm::ValueText(now);
    if (json) {
      changed.push_back({{"name", now.name}, {"from", from}, {"to", to}, {"raw", now.value}});
    } else {
      out << Padded(now.name, 26) << from << " -> " << to << '\n';
    }
  }
  if (json) {
    out << JsonLine({{"written", written}, {"changed", changed}, {"message", message}}) << '\n';
  } else {
    out << message << '\n';
  }
}

}  // namespace korvan::cli
