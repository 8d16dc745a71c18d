#include "cli/settings_commands.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

#include "app/main_window_steps.h"
#include "app/menu_settings_command.h"
#include "app/show_result.h"
#include "app/update_worker.h"
#include "cli/console_session.h"
#include "cli/json_text.h"
#include "settings/menu_settings.h"
#include "settings/parameter_form.h"
#include "settings/parameters_ini.h"
#include "settings/settings_unit_writer.h"

namespace korvan::cli {
namespace {

constexpr int kBadArguments = 2;

struct Assignment {
  int index = 0;
  std::string entry;
};

// One list of the form as the user sees it.
struct Row {
  int stored = 0;
  std::optional<std::string> entry;  // none: the list shows no selection
  bool enabled = true;
};
using Rows = std::vector<Row>;

std::optional<int> SettingIndex(std::string_view key) {
  const auto& settings = MenuSettings();
  for (size_t i = 0; i < settings.size(); ++i) {
    if (settings[i].key == key) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

template <typename Texts>
std::string QuotedList(const Texts& texts) {
  std::string list;
  for (const auto& text : texts) {
    list += (list.empty() ? "" : ", ") + Quoted(text);
  }
  return list;
}

// KEY=ENTRY, split at the first '=' (keys have none; they may have spaces). Every fault is
// told, then false.
bool ParseAssignments(const std::vector<std::string>& texts, std::vector<Assignment>& parsed,
                      std::ostream& err) {
  bool good = true;
  std::vector<int> seen;
  for (const std::string& text : texts) {
    const size_t equals = text.find('=');
    const std::string key = text.substr(0, equals);
    const std::optional<int> index = SettingIndex(key);
    if (equals == std::string::npos) {
      err << "korvan: " << Quoted(text) << ": expected KEY=ENTRY, as in \"X OnOff=Вык\"\n";
      good = false;
    } else if (!index) {
      std::vector<std::string_view> keys;
      for (const MenuSetting& setting : MenuSettings()) {
        keys.push_back(setting.key);
      }
      err << "korvan: " << Quoted(key) << ": no such setting; the settings are " << QuotedList(keys)
          << '\n';
      good = false;
    } else if (std::find(seen.begin(), seen.end(), *index) != seen.end()) {
      err << "korvan: " << Quoted(key) << " is given twice\n";
      good = false;
    } else {
      seen.push_back(*index);
      parsed.push_back({*index, text.substr(equals + 1)});
    }
  }
  return good;
}

Rows RowsOf(const ParameterForm& form, const std::filesystem::path& ini) {
  Rows rows;
  for (int i = 0; i < kMenuSettingCount; ++i) {
    Row row;
    const std::optional<int> selection = form.Selection(i);
    // A list without selection keeps what Parameters.ini holds (99, -1, a value off the list).
    row.stored = selection
                     ? StoredForEntry(i, selection)
                     : ReadMenuValue(ini, kMenuSection, MenuSettings()[static_cast<size_t>(i)].key,
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
bool Apply(ParameterForm& form, const std::vector<Assignment>& assignments, std::ostream& err) {
  bool good = true;
  for (const Assignment& assignment : assignments) {
    const std::string_view key = MenuSettings()[static_cast<size_t>(assignment.index)].key;
    const std::vector<std::string>& entries = form.Entries(assignment.index);
    const auto entry = std::find(entries.begin(), entries.end(), assignment.entry);
    if (entry == entries.end()) {
      err << "korvan: " << Quoted(key) << " has no entry " << Quoted(assignment.entry)
          << "; its list has " << QuotedList(entries) << '\n';
      good = false;
    } else if (!form.Enabled(assignment.index)) {
      err << "korvan: " << Quoted(key)
          << " cannot be changed: the form disables it for this model\n";
      good = false;
    } else {
      form.Select(assignment.index, static_cast<int>(entry - entries.begin()));
    }
  }
  return good;
}

nlohmann::ordered_json EntryJson(const std::optional<std::string>& entry) {
  return entry ? nlohmann::ordered_json(*entry) : nlohmann::ordered_json(nullptr);
}

std::string EntryText(const std::optional<std::string>& entry) {
  return entry ? *entry : "(none)";
}

// Pads `text` to `columns` characters (not bytes: the labels are Cyrillic).
std::string Padded(std::string_view text, size_t columns) {
  const auto shown = static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
  return std::string(text) + std::string(columns > shown ? columns - shown : 0, ' ');
}

void PrintRows(const Rows& rows, bool json, std::ostream& out) {
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

// What the written form changed, and how the run ended.
void PrintWrite(const Rows& before, const Rows& after, bool written, std::string_view message,
                bool json, std::ostream& out) {
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

}  // namespace

int RunSettings(DiskHost& host, const frontend::GlobalOptions& options,
                const SettingsOptions& settings, std::ostream& out, std::ostream& err) {
  std::vector<Assignment> assignments;
  if (!ParseAssignments(settings.assignments, assignments, err)) {
    return kBadArguments;
  }
  if (settings.action == SettingsAction::Set && assignments.empty()) {
    err << "korvan: settings set: give at least one KEY=ENTRY\n";
    return kBadArguments;
  }
  ConsoleSession session(host, options, err);
  if (!session.PrepareFolder(options, err)) {
    return kBadArguments;
  }
  if (!session.Detect(true, false, options, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  AppState& state = session.state;
  ConsoleView& view = session.view;
  const std::filesystem::path ini = ParametersIniPath(state.programFolder);

  Rows before;
  Rows after;
  bool refused = false;
  bool defaultsFailed = false;
  view.QueueFormAnswer([&](ParameterForm& form) {
    before = RowsOf(form, ini);
    switch (settings.action) {
      case SettingsAction::Show:
        return false;
      case SettingsAction::Set:
        refused = !Apply(form, assignments, err);
        break;
      case SettingsAction::Defaults:
        defaultsFailed = !form.Defaults();
        break;
    }
    after = RowsOf(form, ini);
    return !refused && !defaultsFailed;
  });

  SettingsUnitWriter writer(ini);
  MenuSettingsOutcome outcome;
  {
    UpdateWorker worker(host, session.slots, session.window, view, state, &writer);
    outcome = OpenMenuSettings(view, state, {host, session.slots, worker, writer});
    session.FinishUpdate(worker, outcome == MenuSettingsOutcome::Started);
  }
  view.EndProgressLine();

  switch (outcome) {
    case MenuSettingsOutcome::Refused:
      err << "korvan: the device is busy; try again\n";
      return 1;
    case MenuSettingsOutcome::SchemaModel:
      err << "korvan: model " << int{state.deviceInfo.typeCode}
          << " keeps its menu settings by a schema; the schema settings are not built yet\n";
      return 1;
    case MenuSettingsOutcome::ReadFailed:
      err << "korvan: " << kConnectionErrorText << " The settings unit could not be read.\n";
      return 1;
    case MenuSettingsOutcome::IniFailed:
    case MenuSettingsOutcome::NotSaved:
      err << "korvan: " << kFileOpenErrorText << ' ' << ini.string()
          << " could not be written; nothing was sent to the device.\n";
      return 1;
    case MenuSettingsOutcome::Cancelled:
      if (refused) {
        return kBadArguments;
      }
      if (defaultsFailed) {
        err << "korvan: " << ini.string() << " could not be written; nothing was sent\n";
        return 1;
      }
      PrintRows(before, options.json, out);
      return 0;
    case MenuSettingsOutcome::Unchanged:
      PrintWrite(before, after, false, "Nothing changed; nothing was written.", options.json, out);
      return 0;
    case MenuSettingsOutcome::Started:
      break;
  }
  const bool written = state.updatePhase == UpdatePhase::Finished && !state.updateFailed &&
                       view.LastMessage() == kSettingsLoadedText;
  const std::string message = state.updatePhase == UpdatePhase::Parked
                                  ? std::string(view.Status().text)
                                  : view.LastMessage();
  PrintWrite(before, after, written, message, options.json, out);
  return written ? 0 : 1;
}

}  // namespace korvan::cli
