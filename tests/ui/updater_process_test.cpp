// The korvan-updater program as a process: one window per user, a clear word instead of a
// crash where no display is, an end on time when the device stops answering, and one run per
// working folder between the window and the command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/ui/top_level_window.h"

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
  const auto env =
      Environment({"HOME=" + home.path().string(), "XDG_RUNTIME_DIR=" + home.path().string(),
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

TEST(UpdaterProcessTest, TheWindowAndTheCommandLineNeverShareAWorkingFolder) {
  testing::ScopedTempDir home{"korvan_window_lock"};
  const fs::path work = home / "work";
  const auto env =
      Environment({"HOME=" + home.path().string(), "XDG_RUNTIME_DIR=" + home.path().string()});

  // The window holds its folder for as long as it is open: the command line is refused.
  const pid_t window = Start({"--simulate", "26", "--workdir", work.string()}, env, home / "w.log");
  ASSERT_GT(window, 0);
  ASSERT_TRUE(testing::WaitFor([&] { return fs::exists(work / "TempImageData.bin"); }, 30s))
      << ReadText(home / "w.log");
  const pid_t cli = testing::StartProcess(
      KORVAN_CLI, {"--workdir", work.string(), "--simulate", "26", "detect", "--once"}, env,
      home / "cli.log");
  ASSERT_GT(cli, 0);
  EXPECT_EQ(WaitExit(cli, 30s), std::optional<int>(3));
  EXPECT_EQ(ReadText(home / "cli.log"),
            "korvan: the working folder " + work.string() +
                " is in use by another run (korvan-updater, pid " + std::to_string(window) +
                "); give this run its own --workdir, or update several devices with update "
                "--all\n");
  kill(window, SIGTERM);
  ASSERT_EQ(WaitExit(window, 10s), std::optional<int>(0)) << ReadText(home / "w.log");

  // A window started on a folder the command line holds says so in a box, which the user
  // closes with Enter, and ends without searching.
  const fs::path holderLog = home / "holder.log";
  const pid_t holder =
      testing::StartProcess(KORVAN_CLI, {"--workdir", work.string(), "--simulate", "26", "detect"},
                            Environment({"KORVAN_SIMULATE_FAULT=unplug@0"}), holderLog);
  ASSERT_GT(holder, 0);
  ASSERT_TRUE(testing::WaitFor(
      [&] { return ReadText(holderLog).find("Searching drives") != std::string::npos; }, 30s));
  fs::remove(work / "TempFwData.bin");
  const pid_t refused =
      Start({"--simulate", "26", "--workdir", work.string()}, env, home / "refused.log");
  ASSERT_GT(refused, 0);
  const std::string said = "korvan-updater: the working folder " + work.string() +
                           " is in use by another run (korvan, pid " + std::to_string(holder) + ")";
  EXPECT_TRUE(testing::WaitFor(
      [&] { return ReadText(home / "refused.log").find(said) != std::string::npos; }, 30s))
      << ReadText(home / "refused.log");
  // The user presses the box's OK, the button across its foot.
  std::optional<testing::ScreenRect> box;
  ASSERT_TRUE(testing::WaitFor(
      [&] { return (box = testing::FindTopLevelWindow("Korvan Updater")).has_value(); }, 10s));
  std::this_thread::sleep_for(300ms);  // its first paint
  wxUIActionSimulator input;
  input.MouseMove(box->x + box->width / 2, box->y + box->height - 12);
  wxYield();
  input.MouseClick();
  wxYield();
  std::optional<int> status = WaitExit(refused, 10s);
  if (!status) {
    kill(refused, SIGKILL);
    WaitExit(refused, 10s);
  }
  EXPECT_EQ(status, std::optional<int>(4)) << ReadText(home / "refused.log");
  EXPECT_FALSE(fs::exists(work / "TempFwData.bin")) << "the refused window searched";
  kill(holder, SIGKILL);
  WaitExit(holder, 10s);
}

}  // namespace
}  // namespace korvan
