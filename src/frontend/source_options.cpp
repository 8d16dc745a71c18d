#include "frontend/source_options.h"

#include <cstdlib>

#include "app/addresses.h"
#include "emulator/command_latency.h"
#include "frontend/version.h"

namespace korvan::frontend {

void AddSourceOptions(CLI::App& app, SourceOptionTexts& texts) {
  app.add_option("--simulate", texts.simulate,
                 "Use a built-in simulated device of this raw type byte (decimal or 0x hex) as "
                 "drive 2")
      ->type_name("TYPE");
  app.add_option("--device-dir", texts.deviceDirs,
                 "Use a device folder as drive N (default 2); may be repeated")
      ->type_name("DIR[@N]");
  app.add_option("--sim-latency", texts.simLatency,
                 "Simulated devices take this long per command (a real one: about 1000)")
      ->type_name("MICROSECONDS");
  app.add_option("--workdir", texts.workdir, "Folder for working files")->type_name("DIR");
  app.add_option("--backups", texts.backups,
                 "Backups of the device's memories kept per model in the working folder's "
                 "backups folder, saved before anything is written (default 5; 0: none)")
      ->type_name("N")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--server", texts.server,
                 "The update server's download directory (default: $KORVAN_SERVER, else the "
                 "maker's)")
      ->type_name("URL");
}

void AddVersionFlag(CLI::App& app, std::string_view program) {
  app.set_version_flag("--version", std::string(program) + " " + std::string(kProgramVersion),
                       "Print the version and exit");
}

bool ResolveSourceOptions(const SourceOptionTexts& texts, GlobalOptions& options,
                          std::string_view program, std::ostream& err) {
  if (!texts.simulate.empty()) {
    options.simulateType = ParseTypeByte(texts.simulate);
    if (!options.simulateType) {
      err << program << ": --simulate " << texts.simulate
          << ": expected a type byte from 0 to 255 (decimal or 0x hex)\n";
      return false;
    }
  }
  for (const auto& text : texts.deviceDirs) {
    std::string error;
    const auto dir = ParseDeviceDir(text, error);
    if (!dir) {
      err << program << ": " << error << "\n";
      return false;
    }
    options.deviceDirs.push_back(*dir);
  }
  if (!texts.simLatency.empty()) {
    std::string error;
    options.simLatency = emu::ParseCommandLatency(texts.simLatency, error);
    if (!options.simLatency) {
      err << program << ": --sim-latency " << error << "\n";
      return false;
    }
    if (!options.Simulated()) {
      err << program
          << ": --sim-latency slows simulated devices only; give --simulate or "
             "--device-dir\n";
      return false;
    }
  }
  if (!texts.workdir.empty()) {
    options.workdir = texts.workdir;
  }
  options.backups = texts.backups;
  std::string error;
  const auto server = ResolveServerUrl(texts.server, std::getenv(kServerUrlVariable), error);
  if (!server) {
    err << program << ": " << error << "\n";
    return false;
  }
  options.serverUrl = *server;
  const char* fault = std::getenv(kSimulateFaultVariable);
  if (fault != nullptr && *fault != '\0' && options.Simulated()) {
    options.simulateFault = ParseSimulatedFault(fault, error);
    if (!options.simulateFault) {
      err << program << ": " << error << "\n";
      return false;
    }
  }
  return true;
}

}  // namespace korvan::frontend
