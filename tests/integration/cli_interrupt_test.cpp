// Ctrl+C on the command line, with the korvan program as a process: whatever holds it (a
// search with no device, a worker stuck in a command of a device that stopped answering, the
// main thread stuck in one), it ends within two seconds, says so, and exits with 130.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

uintmax_t FileSize(const fs::path& path) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

TEST(CliInterruptTest, CtrlCEndsTheRunOnTime) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* fault;
    // True once the run is where the case wants it held.
    std::function<bool(const fs::path& work, const fs::path& log)> held;
  };
  const Case cases[] = {
      {"searching, no device answers",
       {"--simulate", "26", "detect"},
       "unplug@0",
       [](const fs::path&, const fs::path& log) {
         return testing::ReadText(log).find("Searching drives") != std::string::npos;
       }},
      // INQUIRY and nine units of the firmware copy, then the detection's worker waits.
      {"a worker in a stalled command",
       {"--simulate", "26", "update", "no-such-file.bin"},
       "stall@10",
       [](const fs::path& work, const fs::path&) {
         return FileSize(work / "TempFwData.bin") == 9 * 1024;
       }},
      // update --all: the scan's INQUIRY, the device's own detection (INQUIRY and nine units,
      // into the device's folder), then its worker waits.
      {"a device's worker of update --all in a stalled command",
       {"--simulate", "26", "update", "no-such-file.bin", "--all"},
       "stall@11",
       [](const fs::path& work, const fs::path&) {
         return FileSize(work / "drive2" / "TempFwData.bin") == 9 * 1024;
       }},
      // The whole detection (INQUIRY, 384 units of firmware, 8192 of data flash); the read of
      // the settings unit, made on the main thread, never returns.
      {"the main thread in a stalled command",
       {"--simulate", "24", "settings", "show"},
       "stall@8577",
       [](const fs::path& work, const fs::path&) {
         return FileSize(work / "TempImageData.bin") == 8192 * 1024;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScopedTempDir home{"korvan_interrupt"};
    const fs::path work = home / "work";
    const fs::path log = home / "out.log";
    std::vector<std::string> args{"--workdir", work.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const pid_t pid = testing::StartProcess(
        KORVAN_CLI, args, testing::Environment({std::string("KORVAN_SIMULATE_FAULT=") + c.fault}),
        log);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(testing::WaitFor([&] { return c.held(work, log); }, 30s)) << testing::ReadText(log);
    std::this_thread::sleep_for(100ms);  // it stays there
    ASSERT_EQ(testing::WaitExit(pid, 0ms), std::nullopt) << testing::ReadText(log);

    const auto asked = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    const auto status = testing::WaitExit(pid, 10s);
    const auto took = std::chrono::steady_clock::now() - asked;
    if (!status) {
      kill(pid, SIGKILL);
      testing::WaitExit(pid, 10s);
    }
    EXPECT_EQ(status, std::optional<int>(130)) << testing::ReadText(log);
    EXPECT_LT(took, 2s);
    const std::string said = testing::ReadText(log);
    EXPECT_NE(said.find("korvan: interrupted\n"), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace korvan
