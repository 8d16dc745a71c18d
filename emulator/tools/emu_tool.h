// The command line of korvan-emu, kept apart from main() so tests can run it in-process.
//   korvan-emu make TYPE DIR [options]   writes a preset device folder
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace korvan::emu {

// Exit codes.
inline constexpr int kToolOk = 0;
inline constexpr int kToolFailed = 1;  // the folder could not be written
inline constexpr int kToolBadArguments = 2;

// Runs the tool with `argv[0..argc)`; messages go to `out` and `err`. Returns the exit code.
int RunEmuTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// A model byte as given on the command line: decimal or 0x-hex, 0..255.
std::optional<uint8_t> ParseModelByte(std::string_view text);

}  // namespace korvan::emu
