// `korvan settings show|set|defaults`: the window's "Настройки меню" on the detected device,
// played from the command line. The same command code reads the device's settings, opens the
// form of the model (the fixed form, or the schema dialog of types 25-27) and has the update
// worker write the unit back.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/form_play.h"
#include "device/scsi_transport.h"
#include "frontend/global_options.h"
#include "sources/http_client.h"

namespace korvan::cli {

struct SettingsOptions {
  SettingsAction action = SettingsAction::Show;
  std::vector<std::string> assignments;  // KEY=ENTRY, the entry as its list shows it
  // Types 25-27: this schema file instead of the server's.
  std::optional<std::filesystem::path> schema;
};

// Exit status: 0 when the settings were shown, or written and read back (or nothing changed);
// 1 when no device answered, or reading, the schema or writing failed; 2 for an unknown key or
// entry, a setting the form disables or hides, or a working folder that cannot be used.
// Nothing is written to the device before every assignment is found good.
int RunSettings(DiskHost& host, HttpClient& http, const frontend::GlobalOptions& options,
                const SettingsOptions& settings, std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
