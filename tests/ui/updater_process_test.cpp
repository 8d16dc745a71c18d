// The korvan-updater program as a process: one window per user, a clear word instead of a
// crash where no display is, and an end on time when the device stops answering.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::Environment;
using testing::ReadText;
using testing::WaitExit;

pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& output) {
  return testing::StartProcess(KORVAN_UPDATER, args, env, output);
}

TEST(UpdaterProcessTest, ASecondStartEndsAtOnceAndSilently) {
  testing::ScopedTempDir home{"korvan_instance"};
  fs::create_directories(home / "run");
  const auto env =
      Environment({"HOME=" + home.path().string(), "XDG_RUNTIME_DIR=" + (home / "run").string()});

  const pid_t first =
      Start({"--simulate", "26", "--workdir", (home / "first").string()}, env, home / "first.log");
  ASSERT_GT(first, 0);
  // The first window holds the lock and identifies its device.
  const auto identified = [&] { return fs::exists(home / "first" / "TempImageData.bin"); };
  const auto until = std::chrono::steady_clock::now() + 30s;
  while (!identified() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(identified()) << ReadText(home / "first.log");

  const pid_t second = Start({"--simulate", "26", "--workdir", (home / "second").string()}, env,
                             home / "second.log");
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitExit(second, 10s), std::optional<int>(0));
  EXPECT_EQ(ReadText(home / "second.log"), "");
  EXPECT_FALSE(fs::exists(home / "second" / "TempFwData.bin"));  // it never searched

  EXPECT_EQ(WaitExit(first, 0ms), std::nullopt) << "the first window must stay";
  kill(first, SIGTERM);
  WaitExit(first, 10s);
}

TEST(UpdaterProcessTest, RefusesToStartWithoutADisplayOrWithBadOptions) {
  testing::ScopedTempDir home{"korvan_start"};
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> envChanges;
    int exitCode;
    std::string says;
  };
  const Case cases[] = {
      {{"--simulate", "26"}, {"DISPLAY", "WAYLAND_DISPLAY"}, 3, "xvfb-run"},
      {{"--simulate", "300"}, {}, 2, "expected a type byte"},
      {{"--device-dir", "/nonexistent@40"}, {}, 2, "40"},
      {{"--no-such-option"}, {}, 109, "no-such-option"},
      // Errors found after parsing name the window's program, not the command line's.
      {{"--device-dir", "/nonexistent"}, {}, 2, "korvan-updater: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    auto changes = c.envChanges;
    changes.push_back("HOME=" + home.path().string());
    changes.push_back("XDG_RUNTIME_DIR=" + home.path().string());
    const auto args = [&] {
      auto all = c.args;
      all.insert(all.end(), {"--workdir", (home / "work").string()});
      return all;
    }();
    const pid_t pid = Start(args, Environment(changes), home / "out.log");
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitExit(pid, 20s), std::optional<int>(c.exitCode));
    const std::string said = ReadText(home / "out.log");
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(said.find("korvan: "), std::string::npos) << said;
  }
}

// The detection's worker is held inside a device command for good: the device answered ten
// reads of the firmware copy and then nothing. The session's end (SIGTERM) closes the window
// as End does, within two seconds, with the working copies gone.
TEST(UpdaterProcessTest, ClosesOnTimeWhenTheDeviceStopsAnswering) {
  testing::ScopedTempDir home{"korvan_stall"};
  const fs::path work = home / "work";
  const auto env = Environment({"HOME=" + home.path().string(),
                                "XDG_RUNTIME_DIR=" + home.path().string(),
                                "KORVAN_SIMULATE_FAULT=stall@10"});
  const pid_t pid = Start({"--simulate", "26", "--workdir", work.string()}, env, home / "out.log");
  ASSERT_GT(pid, 0);
  // INQUIRY and nine units of the firmware copy were answered; the tenth read never will be.
  const fs::path copy = work / "TempFwData.bin";
  const auto stalled = [&] {
    std::error_code ec;
    return fs::file_size(copy, ec) == 9 * 1024;
  };
  ASSERT_TRUE(testing::WaitFor(stalled, 30s)) << ReadText(home / "out.log");

  const auto asked = std::chrono::steady_clock::now();
  kill(pid, SIGTERM);
  const auto status = WaitExit(pid, 10s);
  const auto took = std::chrono::steady_clock::now() - asked;
  if (!status) {
    kill(pid, SIGKILL);
    WaitExit(pid, 10s);
  }
  EXPECT_EQ(status, std::optional<int>(0)) << ReadText(home / "out.log");
  EXPECT_LT(took, 2s) << "the close waited for the stuck worker";
  EXPECT_FALSE(fs::exists(copy)) << "the close's clean-up did not run";
}

}  // namespace
}  // namespace korvan
