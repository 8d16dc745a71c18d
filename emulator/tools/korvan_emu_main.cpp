// korvan-emu: makes simulated device folders, update files and server trees, and serves a tree
// over HTTP (see emulator/tools/emu_tool.h).
#include <iostream>
#include <string>
#include <vector>

#include "emulator/tools/emu_tool.h"
#include "frontend/process_arguments.h"

int main(int argc, char** argv) {
  korvan::frontend::PrepareStandardStreams();
  std::vector<std::string> arguments = korvan::frontend::Utf8Arguments(argc, argv);
  std::vector<char*> utf8Argv = korvan::frontend::ArgvOf(arguments);
  return korvan::emu::RunEmuTool(static_cast<int>(arguments.size()), utf8Argv.data(), std::cout,
                                 std::cerr);
}
