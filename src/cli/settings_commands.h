// `korvan settings show|set|defaults`: the window's "Настройки меню" form on the detected
// device, played from the command line. The same command code reads the settings unit into
// Parameters.ini, runs the form and has the update worker write the unit back.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

enum class SettingsAction {
  Show,      // the form opened and cancelled: what the device holds
  Set,       // lists changed, then OK
  Defaults,  // "По умолч", then OK
};

struct SettingsOptions {
  SettingsAction action = SettingsAction::Show;
  std::vector<std::string> assignments;  // KEY=ENTRY, the entry as its list shows it
};

// Exit status: 0 when the settings were shown, or written and read back (or nothing changed);
// 1 when no device answered, the device has no fixed settings form, or reading or writing
// failed; 2 for an unknown key or entry, a setting the form disables for this model, or a
// working folder that cannot be used. Nothing is written to the device before every
// assignment is found good.
int RunSettings(DiskHost& host, const frontend::GlobalOptions& options,
                const SettingsOptions& settings, std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
