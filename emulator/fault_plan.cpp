#include "emulator/fault_plan.h"

#include <algorithm>

namespace korvan::emu {

void FaultPlan::FailNthCommand(uint64_t k) {
  if (k > 0) {
    failAt_.push_back(seen_ + k);
  }
}

void FaultPlan::FailMatching(uint8_t opcode, uint32_t unit,
                             std::optional<MemorySelector> selector) {
  matchRules_.push_back({opcode, unit, selector});
}

void FaultPlan::CorruptReads(MemorySelector selector, uint32_t unit, uint32_t count,
                             ByteRange bytes) {
  if (count > 0) {
    corruptions_.push_back({selector, unit, count, bytes});
  }
}

void FaultPlan::DisconnectAfter(uint64_t n) {
  if (n == 0) {
    unplugged_ = true;
    lastServed_.reset();
  } else {
    lastServed_ = seen_ + n;
  }
}

void FaultPlan::StallAfter(uint64_t n) {
  if (n == 0) {
    stalled_ = true;
  } else {
    stallFrom_ = seen_ + n + 1;
  }
}

void FaultPlan::StrikeAt(uint8_t opcode, MemorySelector selector, uint32_t unit, Strike strike) {
  targets_.push_back({opcode, selector, unit, strike});
}

void FaultPlan::Clear() {
  const uint64_t seen = seen_;  // counts of faults set later start from here
  *this = FaultPlan{};
  seen_ = seen;
}

FaultPlan::Verdict FaultPlan::Admit(const Cdb& cdb) {
  const uint64_t index = ++seen_;
  if (unplugged_) {
    return Verdict::Unplugged;
  }
  if (stallFrom_ && index >= *stallFrom_) {
    stalled_ = true;
    stallFrom_.reset();
  }
  const auto target = std::find_if(targets_.begin(), targets_.end(), [&](const Target& t) {
    return t.opcode == CdbOpcode(cdb) && static_cast<uint8_t>(t.selector) == CdbSelector(cdb) &&
           t.unit == CdbUnit(cdb);
  });
  if (target != targets_.end()) {
    const Strike strike = target->strike;
    targets_.erase(target);
    switch (strike) {
      case Strike::Fail:
        return Verdict::Fail;
      case Strike::Unplug:
        unplugged_ = true;
        lastServed_.reset();
        return Verdict::Unplugged;
      case Strike::Stall:
        stalled_ = true;
        break;
    }
  }
  if (stalled_) {
    return Verdict::Stall;
  }
  if (lastServed_ && index >= *lastServed_) {
    // This command is still answered; the cable goes right after it, so a drive open that
    // comes later already finds nothing.
    unplugged_ = true;
    lastServed_.reset();
  }
  if (const auto it = std::find(failAt_.begin(), failAt_.end(), index); it != failAt_.end()) {
    failAt_.erase(it);
    return Verdict::Fail;
  }
  const bool matched = std::any_of(matchRules_.begin(), matchRules_.end(), [&](const MatchRule& r) {
    return r.opcode == CdbOpcode(cdb) && r.unit == CdbUnit(cdb) &&
           (!r.selector || static_cast<uint8_t>(*r.selector) == CdbSelector(cdb));
  });
  return matched ? Verdict::Fail : Verdict::Serve;
}

void FaultPlan::AlterRead(const Cdb& cdb, std::span<uint8_t> data) {
  if (CdbOpcode(cdb) != kOpReadUnit) {
    return;
  }
  for (Corruption& c : corruptions_) {
    if (c.remaining == 0 || static_cast<uint8_t>(c.selector) != CdbSelector(cdb) ||
        c.unit != CdbUnit(cdb)) {
      continue;
    }
    const size_t begin = std::min(c.bytes.offset, data.size());
    const size_t end = begin + std::min(c.bytes.length, data.size() - begin);
    for (size_t i = begin; i < end; ++i) {
      data[i] = static_cast<uint8_t>(~data[i]);
    }
    --c.remaining;
  }
  std::erase_if(corruptions_, [](const Corruption& c) { return c.remaining == 0; });
}

}  // namespace korvan::emu
