// What `korvan update` and `korvan download` print when the update sequence has run: the three
// result cells, the status bar, the message box, the errors the bar showed on the way, and
// whether the device now holds the file.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "cli/console_session.h"
#include "cli/console_view.h"

namespace korvan::cli {

// How one device's update ended, as its window shows it.
struct UpdateOutcome {
  std::string firmware, voice, database;  // the result cells; empty when not attempted
  std::string status;                     // the status bar
  std::string message;                    // the last message box, or empty
  bool parked = false;                    // the device stopped taking data
  std::vector<std::string> errors;        // error texts the bar showed, each once
  std::string backup;                     // the backup saved before the first write, or empty
  bool good = false;  // every component "Обновлено" or "Same", and nothing failed
};

UpdateOutcome OutcomeOf(const ConsoleView& view, const AppState& state, bool started);

// The outcome's fields as `update --json` prints them, after `extra`'s keys.
nlohmann::ordered_json OutcomeJson(const UpdateOutcome& outcome,
                                   const nlohmann::ordered_json& extra = {});

// Prints the report (JSON with `extra`'s keys first, or text) and returns the exit status: 0
// when every component ended "Обновлено" or "Same" and nothing failed, 1 otherwise.
int ReportUpdate(const ConsoleSession& session, bool started, bool json,
                 const nlohmann::ordered_json& extra, std::ostream& out);

}  // namespace korvan::cli
