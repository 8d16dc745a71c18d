#include "emulator/gadget/command_log.h"

#include <cstdio>
#include <utility>

namespace korvan::emu {
namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

const char* OutcomeText(CommandOutcome outcome) {
  switch (outcome) {
    case CommandOutcome::Passed:
      return "passed";
    case CommandOutcome::Failed:
      return "failed";
    case CommandOutcome::PhaseError:
      return "phase error";
  }
  return "?";
}

}  // namespace

std::string CdbHex(const CommandBlockWrapper& command) {
  std::string text;
  for (size_t i = 0; i < command.cdbLength; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", command.cdb[i]);
    text += byte;
  }
  return text;
}

CommandLog::CommandLog(std::ostream& out, std::string name)
    : out_(out), name_(std::move(name)), start_(std::chrono::steady_clock::now()) {}

std::string CommandLog::Stamp() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start_);
  char text[32];
  std::snprintf(text, sizeof text, "[%4lld.%03lld]", static_cast<long long>(elapsed.count() / 1000),
                static_cast<long long>(elapsed.count() % 1000));
  return text;
}

void CommandLog::Command(const CommandBlockWrapper& command, const TargetReply& reply) {
  ++commands_;
  const uint8_t opcode = command.cdb[0];
  const bool unitCommand = opcode == kOpReadUnit || opcode == kOpWriteUnit;
  if (opcode == kOpWriteUnit && reply.outcome == CommandOutcome::Passed) {
    ++writes_;
  }
  if (unitCommand) {
    const uint8_t selector = command.cdb[1];
    const uint32_t unit = CdbUnit(Cdb{command.cdb[0], command.cdb[1], command.cdb[2],
                                      command.cdb[3], command.cdb[4], command.cdb[5]});
    // A run goes on over the same unit (the read-back after a write) or the next one.
    if (!run_.open || run_.selector != selector || (unit != run_.last && unit != run_.last + 1)) {
      Flush();
      run_ = Run{true, selector, unit, unit, 0, 0, 0, CdbHex(command), Stamp()};
    }
    run_.last = unit;
    (opcode == kOpReadUnit ? run_.reads : run_.writes) += 1;
    if (reply.outcome != CommandOutcome::Passed) {
      ++run_.failed;
    }
    return;
  }
  Flush();
  const char* name = OperationName(opcode);
  out_ << Stamp() << " " << name_ << ": " << (name != nullptr ? name : "opcode") << " ["
       << CdbHex(command) << "]";
  if (command.dataLength > 0) {
    out_ << " " << (command.dataIn ? "in " : "out ") << command.dataLength - reply.residue << "/"
         << command.dataLength;
  }
  out_ << " " << OutcomeText(reply.outcome) << "\n" << std::flush;
}

void CommandLog::Note(std::string_view text) {
  Flush();
  out_ << Stamp() << " " << name_ << ": " << text << "\n" << std::flush;
}

void CommandLog::Flush() {
  if (!run_.open) {
    return;
  }
  run_.open = false;
  out_ << run_.startedAt << " " << name_ << ": memory " << int{run_.selector} << " units "
       << Hex(run_.first) << "-" << Hex(run_.last) << ": " << run_.reads << " read, " << run_.writes
       << " write, "
       << (run_.failed == 0 ? std::string("all passed") : std::to_string(run_.failed) + " failed")
       << " [" << run_.firstCdb << " ...]\n"
       << std::flush;
}

}  // namespace korvan::emu
