#include "cli/fixed_form_play.h"

#include <algorithm>

#include "cli/json_text.h"
#include "settings/menu_settings.h"
#include "settings/parameters_ini.h"

namespace korvan::cli {
namespace {

std::optional<int> SettingIndex(std::string_view key) {
  const auto& settings = MenuSettings();
  for (size_t i = 0; i < settings.size(); ++i) {
    if (settings[i].key == key) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

nlohmann::ordered_json EntryJson(const std::optional<std::string>& entry) {
  return entry ? nlohmann::ordered_json(*entry) : nlohmann::ordered_json(nullptr);
}

std::string EntryText(const std::optional<std::string>& entry) {
  return entry ? *entry : "(none)";
}

}  // namespace

bool FixedFormPlay::operator()(ParameterForm& form) {
  before_ = RowsOf(form);
  switch (action_) {
    case SettingsAction::Show:
      return false;
    case SettingsAction::Set:
      refused_ = !Apply(form);
      break;
    case SettingsAction::Defaults:
      if (!form.Defaults()) {
        err_ << "korvan: " << ini_.string() << " could not be written; nothing was sent\n";
        failed_ = true;
      }
      break;
  }
  after_ = RowsOf(form);
  return !refused_ && !failed_;
}

FixedFormPlay::Rows FixedFormPlay::RowsOf(const ParameterForm& form) const {
  Rows rows;
  for (int i = 0; i < kMenuSettingCount; ++i) {
    Row row;
    const std::optional<int> selection = form.Selection(i);
    // A list without selection keeps what Parameters.ini holds (99, -1, a value off the list).
    row.stored = selection
                     ? StoredForEntry(i, selection)
                     : ReadMenuValue(ini_, kMenuSection, MenuSettings()[static_cast<size_t>(i)].key,
                                     kMissingMenuValueText);
    if (selection) {
      row.entry = form.Entries(i)[static_cast<size_t>(*selection)];
    }
    row.enabled = form.Enabled(i);
    rows.push_back(std::move(row));
  }
  return rows;
}

// Picks each assignment's entry in the form; every refusal is told. False when any was refused:
// the form is then cancelled and nothing reaches the device.
bool FixedFormPlay::Apply(ParameterForm& form) {
  bool good = true;
  for (const Assignment& assignment : assignments_) {
    const std::optional<int> index = SettingIndex(assignment.key);
    if (!index) {
      std::vector<std::string_view> keys;
      for (const MenuSetting& setting : MenuSettings()) {
        keys.push_back(setting.key);
      }
      err_ << "korvan: " << Quoted(assignment.key) << ": no such setting; the settings are "
           << QuotedList(keys) << '\n';
      good = false;
      continue;
    }
    const std::vector<std::string>& entries = form.Entries(*index);
    const auto entry = std::find(entries.begin(), entries.end(), assignment.entry);
    if (entry == entries.end()) {
      err_ << "korvan: " << Quoted(assignment.key) << " has no entry " << Quoted(assignment.entry)
           << "; its list has " << QuotedList(entries) << '\n';
      good = false;
    } else if (!form.Enabled(*index)) {
      err_ << "korvan: " << Quoted(assignment.key)
           << " cannot be changed: the form disables it for this model\n";
      good = false;
    } else {
      form.Select(*index, static_cast<int>(entry - entries.begin()));
    }
  }
  return good;
}

void FixedFormPlay::PrintShown(bool json, std::ostream& out) const {
  const Rows& rows = before_;
  const auto& settings = MenuSettings();
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (size_t i = 0; i < rows.size(); ++i) {
      list.push_back({{"key", settings[i].key},
                      {"label", settings[i].label},
                      {"stored", rows[i].stored},
                      {"entry", EntryJson(rows[i].entry)},
                      {"enabled", rows[i].enabled}});
    }
    out << JsonLine(list) << '\n';
    return;
  }
  out << Padded("Key", 18) << Padded("Label", 23) << Padded("Stored", 8) << "Entry\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    out << Padded(settings[i].key, 18) << Padded(settings[i].label, 23)
        << Padded(std::to_string(rows[i].stored), 8)
        << (rows[i].enabled ? EntryText(rows[i].entry)
                            : Padded(EntryText(rows[i].entry), 14) + "disabled")
        << '\n';
  }
}

void FixedFormPlay::PrintWritten(bool written, std::string_view message, bool json,
                                 std::ostream& out) const {
  const Rows& before = before_;
  const Rows& after = after_;
  const auto& settings = MenuSettings();
  nlohmann::ordered_json changed = nlohmann::ordered_json::array();
  for (size_t i = 0; i < after.size(); ++i) {
    if (before[i].stored == after[i].stored) {
      continue;
    }
    if (json) {
      changed.push_back({{"key", settings[i].key},
                         {"from", EntryJson(before[i].entry)},
                         {"to", EntryJson(after[i].entry)},
                         {"stored", after[i].stored}});
    } else {
      out << Padded(settings[i].key, 18) << EntryText(before[i].entry) << " -> "
          << EntryText(after[i].entry) << '\n';
    }
  }
  if (json) {
    out << JsonLine({{"written", written}, {"changed", changed}, {"message", message}}) << '\n';
  } else {
    out << message << '\n';
  }
}

}  // namespace korvan::cli
