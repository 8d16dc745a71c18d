// The command line of korvan-emu, kept apart from main() so tests can run it in-process.
//   korvan-emu make TYPE DIR [options]          writes a preset device folder
//   korvan-emu update-file TYPE DIR [options]   writes an update file for a model
//   korvan-emu server-tree DIR --version V      writes the update server's files
//   korvan-emu serve DIR [--port N] [--fault M] serves a folder on 127.0.0.1 until stopped
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace korvan::emu {

// Exit codes.
inline constexpr int kToolOk = 0;
inline constexpr int kToolFailed = 1;  // a file could not be written, a port not bound
inline constexpr int kToolBadArguments = 2;

// Runs the tool with `argv[0..argc)`; messages go to `out` and `err`. Returns the exit code.
int RunEmuTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// A model byte as given on the command line: decimal or 0x-hex, 0..255.
std::optional<uint8_t> ParseModelByte(std::string_view text);

}  // namespace korvan::emu
