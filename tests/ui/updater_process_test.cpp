// The korvan-updater program as a process: one window per user, and a clear word instead of a
// crash where no display is.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scoped_temp_dir.h"

extern char** environ;

namespace korvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// This process's environment with `changes` ("NAME=value" set, "NAME" removed).
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    bool changed = false;
    for (const auto& change : changes) {
      changed = changed || change.substr(0, change.find('=')) == name;
    }
    if (!changed) {
      env.push_back(text);
    }
  }
  for (const auto& change : changes) {
    if (change.find('=') != std::string::npos) {
      env.push_back(change);
    }
  }
  return env;
}

// Starts korvan-updater with `args`, its output (both streams) into `output`.
pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& output) {
  std::vector<std::string> argvText{KORVAN_UPDATER};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argvText) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  std::vector<std::string> envText = env;
  std::vector<char*> envp;
  for (auto& entry : envText) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(error, 0) << "cannot start " << argv[0];
  return error == 0 ? pid : -1;
}

// The exit status once the process has ended, or nullopt when it still runs after `timeout`.
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= end) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(20ms);
  }
}

std::string Read(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
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
  ASSERT_TRUE(identified()) << Read(home / "first.log");

  const pid_t second = Start({"--simulate", "26", "--workdir", (home / "second").string()}, env,
                             home / "second.log");
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitExit(second, 10s), std::optional<int>(0));
  EXPECT_EQ(Read(home / "second.log"), "");
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
    const std::string said = Read(home / "out.log");
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(said.find("korvan: "), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace korvan
