// KORVAN_SIMULATE_FAULT: the one fault the simulated devices of a run are given.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "frontend/global_options.h"

namespace korvan::frontend {
namespace {

TEST(SimulatedFaultTest, ParsesStallAndUnplugAndRefusesTheRest) {
  using Kind = SimulatedFault::Kind;
  struct Case {
    const char* text;
    std::optional<Kind> kind;
    uint64_t answered;
    std::optional<int> drive = std::nullopt;  // aimed at this drive alone
  };
  const Case cases[] = {
      {"stall@0", Kind::Stall, 0},          {"stall@9218", Kind::Stall, 9218},
      {"unplug@12", Kind::Unplug, 12},      {"stall", std::nullopt, 0},
      {"stall@", std::nullopt, 0},          {"stall@-1", std::nullopt, 0},
      {"stall@1x", std::nullopt, 0},        {"Stall@1", std::nullopt, 0},
      {"freeze@1", std::nullopt, 0},        {"unplug@99999999999999999999", std::nullopt, 0},
      {"unplug@12:3", Kind::Unplug, 12, 3}, {"stall@0:25", Kind::Stall, 0, 25},
      {"stall@1:26", std::nullopt, 0},      {"stall@1:", std::nullopt, 0},
      {"stall@1:-1", std::nullopt, 0},      {"stall:3", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto fault = ParseSimulatedFault(c.text, error);
    ASSERT_EQ(fault.has_value(), c.kind.has_value()) << error;
    if (fault) {
      EXPECT_EQ(fault->kind, *c.kind);
      EXPECT_EQ(fault->answered, c.answered);
      EXPECT_EQ(fault->drive, c.drive);
      // A fault without a drive hits every device; one with a drive hits that one only.
      EXPECT_TRUE(fault->Hits(c.drive.value_or(7)));
      EXPECT_EQ(fault->Hits(c.drive.value_or(7) + 1), !c.drive.has_value());
    } else {
      EXPECT_NE(error.find("KORVAN_SIMULATE_FAULT="), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace korvan::frontend
