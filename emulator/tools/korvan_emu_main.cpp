// korvan-emu: makes simulated device folders (see emulator/device_folder.h for their layout).
#include <iostream>

#include "emulator/tools/emu_tool.h"

int main(int argc, char** argv) {
  return korvan::emu::RunEmuTool(argc, argv, std::cout, std::cerr);
}
