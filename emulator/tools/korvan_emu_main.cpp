// korvan-emu: makes simulated device folders, update files and server trees, and serves a tree
// over HTTP (see emulator/tools/emu_tool.h).
#include <iostream>

#include "emulator/tools/emu_tool.h"

int main(int argc, char** argv) {
  return korvan::emu::RunEmuTool(argc, argv, std::cout, std::cerr);
}
