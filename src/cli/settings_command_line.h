// The `settings` command group of `korvan`: its subcommands and options, and running the one
// that was given.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>

#include "cli/schema_file_commands.h"
#include "cli/settings_commands.h"
#include "device/scsi_transport.h"
#include "frontend/global_options.h"
#include "sources/http_client.h"

namespace korvan::cli {

class SettingsCommandLine {
 public:
  // Adds `settings show|set|defaults|schema|packet` to `app`.
  explicit SettingsCommandLine(CLI::App& app);

  // Whether the settings group was given; then Needs a device (not for schema and packet).
  bool Given() const { return settings_->parsed(); }
  bool NeedsDevice() const { return !schema_->parsed() && !packet_->parsed(); }

  // Runs the given subcommand. `host` may be null when NeedsDevice() is false.
  int Run(DiskHost* host, HttpClient& http, const frontend::GlobalOptions& options,
          std::ostream& out, std::ostream& err);

 private:
  CLI::App* settings_;
  CLI::App* set_;
  CLI::App* defaults_;
  CLI::App* schema_;
  CLI::App* packet_;
  SettingsOptions device_;
  std::string localSchema_;
  std::string schemaFile_;
  PacketOptions packetOptions_;
  std::string devicePacket_;
  std::string country_;
};

}  // namespace korvan::cli
