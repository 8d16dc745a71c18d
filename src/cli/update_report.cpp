#include "cli/update_report.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/update_worker.h"
#include "cli/json_text.h"
#include "flash/region_writer.h"

namespace korvan::cli {
namespace {

// The error texts the status bar showed during the run, in order, each once: the bar's last
// text is only what the last component left there.
std::vector<std::string> ErrorsShown(const ConsoleView& view) {
  const std::string_view errors[] = {kFileOpenErrorText, kVerifyErrorText, kConnectionErrorText,
                                     kReconnectText};
  std::vector<std::string> shown;
  for (const std::string& call : view.Calls()) {
    constexpr std::string_view kStatus = "status ";
    if (call.rfind(kStatus, 0) != 0) {
      continue;
    }
    const std::string text = call.substr(kStatus.size());
    if (std::find(std::begin(errors), std::end(errors), text) != std::end(errors) &&
        std::find(shown.begin(), shown.end(), text) == shown.end()) {
      shown.push_back(text);
    }
  }
  return shown;
}

}  // namespace

UpdateOutcome OutcomeOf(const ConsoleView& view, const AppState& state, bool started) {
  UpdateOutcome outcome;
  outcome.firmware = view.FieldText(ids::kFwResultText);
  outcome.voice = view.FieldText(ids::kVoiceResultText);
  outcome.database = view.FieldText(ids::kDbResultText);
  outcome.status = view.StatusShown();
  outcome.message = view.LastMessage();
  outcome.parked = state.updatePhase == UpdatePhase::Parked;
  outcome.errors = ErrorsShown(view);
  outcome.backup = state.lastBackup.string();
  if (!state.backupError.empty()) {
    outcome.errors.push_back(
        "the device's memories could not be backed up, so nothing was written: " +
        state.backupError);
  }
  outcome.good = started && !outcome.parked && !state.updateFailed && state.backupError.empty();
  for (const std::string* cell : {&outcome.firmware, &outcome.voice, &outcome.database}) {
    outcome.good = outcome.good && (cell->empty() || *cell == kSameText || *cell == kUpdatedText);
  }
  return outcome;
}

nlohmann::ordered_json OutcomeJson(const UpdateOutcome& outcome,
                                   const nlohmann::ordered_json& extra) {
  nlohmann::ordered_json report = extra.is_object() ? extra : nlohmann::ordered_json::object();
  report["firmware"] = outcome.firmware;
  report["voice"] = outcome.voice;
  report["database"] = outcome.database;
  report["status"] = outcome.status;
  report["message"] = outcome.message;
  report["parked"] = outcome.parked;
  report["backup"] =
      outcome.backup.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(outcome.backup);
  report["errors"] = outcome.errors;
  return report;
}

int ReportUpdate(const ConsoleSession& session, bool started, bool json,
                 const nlohmann::ordered_json& extra, std::ostream& out) {
  const UpdateOutcome outcome = OutcomeOf(session.view, session.state, started);
  if (json) {
    out << JsonLine(OutcomeJson(outcome, extra)) << '\n';
    return outcome.good ? 0 : 1;
  }
  if (extra.is_object()) {
    for (const auto& [key, value] : extra.items()) {
      out << key << ": " << (value.is_string() ? value.get<std::string>() : value.dump()) << '\n';
    }
  }
  out << "Firmware:  " << outcome.firmware << '\n'
      << "Voice:     " << outcome.voice << '\n'
      << "Database:  " << outcome.database << '\n'
      << "Status:    " << outcome.status << '\n';
  if (!outcome.backup.empty()) {
    out << "Backup:    " << outcome.backup << '\n';
  }
  for (const std::string& error : outcome.errors) {
    out << "Error:     " << error << '\n';
  }
  if (!outcome.message.empty()) {
    out << "Message:\n" << outcome.message << '\n';
  }
  if (outcome.parked) {
    out << "The device stopped taking data; reconnect the USB cable and run the update "
           "again.\n";
  }
  return outcome.good ? 0 : 1;
}

}  // namespace korvan::cli
