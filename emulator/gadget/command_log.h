// What the gadget tells on stderr (the guest's serial console): every command block the host
// sent, with how it ended. The storage driver's own commands get a line each; runs of unit
// commands on one memory (a detection's thousands of reads, an update's write and read-back
// pairs) are told as one line with their counts, so the log stays readable and cheap to print.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "emulator/gadget/mass_storage_target.h"

namespace korvan::emu {

class CommandLog {
 public:
  CommandLog(std::ostream& out, std::string name);

  void Command(const CommandBlockWrapper& command, const TargetReply& reply);
  // A line of its own (link events, faults); an open run is told first.
  void Note(std::string_view text);
  // Tells the open run of unit commands, if any.
  void Flush();

  uint64_t commands() const { return commands_; }
  uint64_t unitWrites() const { return writes_; }

 private:
  struct Run {
    bool open = false;
    uint8_t selector = 0;
    uint32_t first = 0;
    uint32_t last = 0;
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t failed = 0;
    std::string firstCdb;
    std::string startedAt;
  };

  std::string Stamp() const;

  std::ostream& out_;
  std::string name_;
  std::chrono::steady_clock::time_point start_;
  Run run_;
  uint64_t commands_ = 0;
  uint64_t writes_ = 0;
};

// "12 00 00 00 24 00": the first `length` bytes of the command block.
std::string CdbHex(const CommandBlockWrapper& command);

}  // namespace korvan::emu
