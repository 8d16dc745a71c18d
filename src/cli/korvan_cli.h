// The `korvan` command line: parses the global options and runs one command. Kept apart from
// main() so tests can run it in-process with their own streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvan::cli {

// Exit status: the command's own (0 success, 1 nothing found / refused), 2 for bad arguments.
// `errIsTerminal`: `err` is a terminal, where long work may draw a live progress line.
int RunKorvan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool errIsTerminal = false);

}  // namespace korvan::cli
