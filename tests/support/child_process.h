// Runs one of our programs as a child process, for the tests that need the process itself:
// its exit status, its signals, its output as a file.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
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

extern char** environ;

namespace korvan::testing {

// This process's environment with `changes` ("NAME=value" set, "NAME" removed).
inline std::vector<std::string> Environment(const std::vector<std::string>& changes) {
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

// Starts `program` with `args` and `env`, both its output streams into `output`; -1 (and a
// test failure) when it cannot be started.
inline pid_t StartProcess(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& env,
                          const std::filesystem::path& output) {
  std::vector<std::string> argvText{program};
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

// The exit status once the process has ended (128 + the signal for one a signal ended), or
// nullopt when it still runs after `timeout`.
inline std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= end) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Waits until `condition` holds, up to `timeout`.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace korvan::testing
