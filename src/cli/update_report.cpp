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

int ReportUpdate(const ConsoleSession& session, bool started, bool json,
                 const nlohmann::ordered_json& extra, std::ostream& out) {
  const ConsoleView& view = session.view;
  const AppState& state = session.state;
  const std::string cells[] = {view.FieldText(ids::kFwResultText),
                               view.FieldText(ids::kVoiceResultText),
                               view.FieldText(ids::kDbResultText)};
  const bool parked = state.updatePhase == UpdatePhase::Parked;
  std::vector<std::string> errors = ErrorsShown(view);
  if (!state.backupError.empty()) {
    errors.push_back("the device's memories could not be backed up, so nothing was written: " +
                     state.backupError);
  }
  bool good = started && !parked && !state.updateFailed && state.backupError.empty();
  for (const auto& cell : cells) {
    good = good && (cell.empty() || cell == kSameText || cell == kUpdatedText);
  }
  if (json) {
    nlohmann::ordered_json report = extra.is_object() ? extra : nlohmann::ordered_json::object();
    report["firmware"] = cells[0];
    report["voice"] = cells[1];
    report["database"] = cells[2];
    report["status"] = view.StatusShown();
    report["message"] = view.LastMessage();
    report["parked"] = parked;
    report["backup"] = state.lastBackup.empty() ? nlohmann::ordered_json()
                                                : nlohmann::ordered_json(state.lastBackup.string());
    report["errors"] = errors;
    out << JsonLine(report) << '\n';
    return good ? 0 : 1;
  }
  if (extra.is_object()) {
    for (const auto& [key, value] : extra.items()) {
      out << key << ": " << (value.is_string() ? value.get<std::string>() : value.dump()) << '\n';
    }
  }
  out << "Firmware:  " << cells[0] << '\n'
      << "Voice:     " << cells[1] << '\n'
      << "Database:  " << cells[2] << '\n'
      << "Status:    " << view.StatusShown() << '\n';
  if (!state.lastBackup.empty()) {
    out << "Backup:    " << state.lastBackup.string() << '\n';
  }
  for (const std::string& error : errors) {
    out << "Error:     " << error << '\n';
  }
  if (const std::string message = view.LastMessage(); !message.empty()) {
    out << "Message:\n" << message << '\n';
  }
  if (parked) {
    out << "The device stopped taking data; reconnect the USB cable and run the update "
           "again.\n";
  }
  return good ? 0 : 1;
}

}  // namespace korvan::cli
