// One run per working folder, with the korvan program as processes: while one run holds the
// folder, every command that works in it is refused at once with exit status 3, names the
// holder and touches nothing there; the history can still be read; and when the holder dies,
// however it ends, the folder is free again.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.insert(fs::relative(entry.path(), folder).string() + " " +
                 std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
  }
  return names;
}

std::optional<int> RunKorvan(const std::vector<std::string>& args, const fs::path& log) {
  const pid_t pid = testing::StartProcess(KORVAN_CLI, args, testing::Environment({}), log);
  if (pid <= 0) {
    return std::nullopt;
  }
  const auto status = testing::WaitExit(pid, 30s);
  if (!status) {
    kill(pid, SIGKILL);
    testing::WaitExit(pid, 10s);
  }
  return status;
}

TEST(CliFolderLockTest, ASecondRunIsRefusedAtOnceUntilTheHolderEnds) {
  testing::ScopedTempDir home{"korvan_folder_lock"};
  const fs::path work = home / "work";
  const fs::path holderLog = home / "holder.log";
  // The holder searches for a device that never answers: it keeps the folder until killed.
  const pid_t holder =
      testing::StartProcess(KORVAN_CLI, {"--workdir", work.string(), "--simulate", "26", "detect"},
                            testing::Environment({"KORVAN_SIMULATE_FAULT=unplug@0"}), holderLog);
  ASSERT_GT(holder, 0);
  ASSERT_TRUE(testing::WaitFor(
      [&] { return testing::ReadText(holderLog).find("Searching drives") != std::string::npos; },
      30s))
      << testing::ReadText(holderLog);
  const auto before = Listing(work);

  const std::string refusal = "korvan: the working folder " + work.string() +
                              " is in use by another run (korvan, pid " + std::to_string(holder) +
                              "); give this run its own --workdir, or update several devices "
                              "with update --all\n";
  const std::vector<std::vector<std::string>> commands = {
      {"detect", "--once"},
      {"detect", "--once", "--json"},
      {"check", "update.bin"},
      {"diff", "update.bin"},
      {"update", "update.bin"},
      {"update", "update.bin", "--all"},
      {"restore", (work / "backups" / "FernUltra_1").string()},
      {"fetch", "--type", "26"},
      {"download"},
      {"settings", "show"},
  };
  for (const auto& command : commands) {
    std::vector<std::string> args{"--workdir", work.string(), "--simulate", "26"};
    args.insert(args.end(), command.begin(), command.end());
    SCOPED_TRACE(command.front() + (command.size() > 1 ? " " + command[1] : ""));
    const fs::path log = home / "second.log";
    EXPECT_EQ(RunKorvan(args, log), std::optional<int>(3));
    EXPECT_EQ(testing::ReadText(log), refusal);
    EXPECT_EQ(Listing(work), before) << "the refused run touched the folder";
  }

  // Reading the history needs no lock.
  EXPECT_EQ(RunKorvan({"--workdir", work.string(), "history"}, home / "history.log"),
            std::optional<int>(0))
      << testing::ReadText(home / "history.log");

  // A holder killed outright leaves nothing to clean up.
  kill(holder, SIGKILL);
  ASSERT_TRUE(testing::WaitExit(holder, 10s));
  const fs::path log = home / "after.log";
  EXPECT_EQ(RunKorvan({"--workdir", work.string(), "--simulate", "26", "detect", "--once"}, log),
            std::optional<int>(0))
      << testing::ReadText(log);
}

}  // namespace
}  // namespace korvan
