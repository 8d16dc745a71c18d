// The options both front ends share, the command line and the window: where the drives come
// from (--simulate, --device-dir, --sim-latency), where the working files go (--workdir) and which update
// server is asked (--server).
#pragma once

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/global_options.h"

namespace korvan::frontend {

// The options' texts as given, before they are checked.
struct SourceOptionTexts {
  std::string simulate;
  std::vector<std::string> deviceDirs;
  std::string workdir;
  std::string server;
  std::string simLatency;
};

void AddSourceOptions(CLI::App& app, SourceOptionTexts& texts);

// --version: prints "<program> <version>" and exits (CLI::CallForVersion carries the text).
void AddVersionFlag(CLI::App& app, std::string_view program);

// Checks the texts into `options` (the server address from --server, else KORVAN_SERVER, else
// the built-in one); false after telling `err` what is wrong, each message prefixed with
// `program`.
bool ResolveSourceOptions(const SourceOptionTexts& texts, GlobalOptions& options,
                          std::string_view program, std::ostream& err);

}  // namespace korvan::frontend
