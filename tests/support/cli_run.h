// Runs the korvan command line in-process and keeps its exit status and output.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/korvan_cli.h"

namespace korvan::testing {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

inline CliRun RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::RunKorvan(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace korvan::testing
