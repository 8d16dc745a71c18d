// What `korvan update` and `korvan download` print when the update sequence has run: the three
// result cells, the status bar, the message box, the errors the bar showed on the way, and
// whether the device now holds the file.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>

#include "cli/console_session.h"

namespace korvan::cli {

// Prints the report (JSON with `extra`'s keys first, or text) and returns the exit status: 0
// when every component ended "Обновлено" or "Same" and nothing failed, 1 otherwise.
int ReportUpdate(const ConsoleSession& session, bool started, bool json,
                 const nlohmann::ordered_json& extra, std::ostream& out);

}  // namespace korvan::cli
