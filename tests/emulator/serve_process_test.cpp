// `korvan-emu serve` as a process, as scripts and the demo run it: it prints its URL first,
// serves the folder, and ends cleanly on SIGTERM or SIGINT.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <algorithm>
#include <string_view>
#include <thread>

#include "tests/emulator/http_get.h"
#include "tests/support/scoped_temp_dir.h"

extern char** environ;

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A child process with its stdout on a pipe; killed and reaped at scope end if still running.
class ServeProcess {
 public:
  explicit ServeProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) {
      ADD_FAILURE() << "pipe failed";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      ADD_FAILURE() << "cannot start " << args[0];
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~ServeProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
  }

  // The first line of stdout without its line break; empty when none came within `wait`.
  std::string FirstLine(std::chrono::milliseconds wait) {
    std::string line;
    const auto deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
      pollfd fd{out_, POLLIN, 0};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (poll(&fd, 1, static_cast<int>(std::max<long>(1, left.count()))) <= 0) {
        continue;
      }
      char c = 0;
      if (read(out_, &c, 1) != 1) {
        break;  // the process ended
      }
      if (c == '\n') {
        return line;
      }
      line += c;
    }
    return {};
  }

  // Sends `signal` and waits for the end; the wait status, or nullopt if it does not end.
  std::optional<int> SignalAndWait(int signal, std::chrono::seconds wait) {
    kill(pid_, signal);
    const auto deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(ServeProcessTest, PrintsItsUrlServesAndEndsOnASignal) {
  korvan::testing::ScopedTempDir dir("serve_process");
  fs::create_directories(dir / "wp-content" / "db");
  std::ofstream(dir / "wp-content" / "db" / "version.txt", std::ios::binary) << "15-05-2023";

  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    ServeProcess serve({KORVAN_EMU_PATH, "serve", dir.path().string(), "--port", "0"});
    const std::string url = serve.FirstLine(std::chrono::seconds(20));
    // "http://127.0.0.1:PORT/" with a port of digits.
    constexpr std::string_view kPrefix = "http://127.0.0.1:";
    ASSERT_TRUE(url.size() > kPrefix.size() + 1 && url.starts_with(kPrefix) && url.back() == '/')
        << url;
    const std::string_view port(url.data() + kPrefix.size(), url.size() - kPrefix.size() - 1);
    ASSERT_TRUE(std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        << url;

    const auto got = korvan::testing::HttpGet(url + "wp-content/db/version.txt");
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body, "15-05-2023");

    const std::optional<int> status = serve.SignalAndWait(signal, std::chrono::seconds(10));
    ASSERT_TRUE(status) << "still running after the signal";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by a signal, not cleanly";
    EXPECT_EQ(WEXITSTATUS(*status), 0);
  }
}

}  // namespace
}  // namespace korvan::emu
