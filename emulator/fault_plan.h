// The faults a test can inject into the simulated device: failed commands, altered read data,
// an unplugged cable and slow answers. Every count is taken from the moment the fault is set.
// Not synchronised itself: SimulatedDevice keeps it under its lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/command_block.h"

namespace korvan::emu {

// Bytes of a returned unit that an altered read inverts.
struct ByteRange {
  size_t offset = 0;
  size_t length = 1;
};

class FaultPlan {
 public:
  enum class Verdict : uint8_t { Serve, Fail, Unplugged, Stall };

  // The k-th command from now fails (k = 1: the next one). k = 0 is ignored.
  void FailNthCommand(uint64_t k);
  // Every command with this opcode and unit (and selector, when given) fails until Clear.
  void FailMatching(uint8_t opcode, uint32_t unit, std::optional<MemorySelector> selector);
  // The next `count` successful reads (0xC8) of this unit come back with `bytes` inverted.
  void CorruptReads(MemorySelector selector, uint32_t unit, uint32_t count, ByteRange bytes);
  // The next `n` commands are served; from then on the device is unplugged. n = 0: now.
  void DisconnectAfter(uint64_t n);
  // The next `n` commands are served; from then on the device takes commands and never
  // answers them (until Clear). n = 0: now.
  void StallAfter(uint64_t n);
  void SetDelay(std::chrono::nanoseconds delay) { delay_ = delay; }
  // What a strike does to the command it hits.
  enum class Strike : uint8_t {
    Fail,     // that command fails (CHECK CONDITION); the ones after it are served
    Unplug,   // the device is unplugged just before it: it and every later command fail
    Stall,    // the device stops answering from it on (see StallAfter)
  };
  // The first command from now with this opcode, memory and unit is struck. Aims a fault at
  // a unit of a region, wherever its command falls in the run.
  void StrikeAt(uint8_t opcode, MemorySelector selector, uint32_t unit, Strike strike);
  // Forgets every fault, an unplugged state included.
  void Clear();

  // Called once for every command, in arrival order.
  Verdict Admit(const Cdb& cdb);
  // Called with the data of every served read before it is handed out.
  void AlterRead(const Cdb& cdb, std::span<uint8_t> data);

  bool unplugged() const { return unplugged_; }
  bool stalled() const { return stalled_; }
  std::chrono::nanoseconds delay() const { return delay_; }

 private:
  struct MatchRule {
    uint8_t opcode;
    uint32_t unit;
    std::optional<MemorySelector> selector;
  };
  struct Target {
    uint8_t opcode;
    MemorySelector selector;
    uint32_t unit;
    Strike strike;
  };
  struct Corruption {
    MemorySelector selector;
    uint32_t unit;
    uint32_t remaining;
    ByteRange bytes;
  };

  uint64_t seen_ = 0;             // commands admitted so far
  std::vector<uint64_t> failAt_;  // indices (in seen_ terms) of commands to fail
  std::vector<MatchRule> matchRules_;
  std::vector<Corruption> corruptions_;
  std::vector<Target> targets_;
  std::optional<uint64_t> lastServed_;  // index of the last command before the unplug
  bool unplugged_ = false;
  std::optional<uint64_t> stallFrom_;  // index of the first command never answered
  bool stalled_ = false;
  std::chrono::nanoseconds delay_{0};
};

}  // namespace korvan::emu
