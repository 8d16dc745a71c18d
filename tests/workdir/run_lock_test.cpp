// The run lock of a working folder: one holder at a time, the holder named to the refused run,
// free again when the holder lets go, and never a link followed.
#include "workdir/run_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/support/folder_link.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::workdir {
namespace {

namespace fs = std::filesystem;
using Outcome = RunLockAttempt::Outcome;

long ThisProcess() {
#ifdef _WIN32
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RunLockTest, OneHolderAtATimeAndTheRefusedRunLearnsWho) {
  testing::ScopedTempDir work{"korvan_lock"};
  auto first = TakeRunLock(work.path(), "korvan-updater");
  ASSERT_EQ(first.outcome, Outcome::Taken) << first.message;
  ASSERT_NE(first.lock, nullptr);

  // A second open of the lock file conflicts even within one process, as another run's would.
  const auto second = TakeRunLock(work.path(), "korvan");
  EXPECT_EQ(second.outcome, Outcome::Busy);
  EXPECT_EQ(second.lock, nullptr);
  const std::string holder = "korvan-updater, pid " + std::to_string(ThisProcess());
  EXPECT_EQ(second.holder, holder);
  EXPECT_EQ(second.message, "the working folder " + PathText(work.path()) +
                                " is in use by another run (" + holder +
                                "); give this run its own --workdir, or update several devices "
                                "with update --all");

  first.lock.reset();
  const auto third = TakeRunLock(work.path(), "korvan");
  EXPECT_EQ(third.outcome, Outcome::Taken) << third.message;
  EXPECT_EQ(ReadText(work / std::string(kRunLockName)),
            "korvan " + std::to_string(ThisProcess()) + "\n");
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(stat((work / std::string(kRunLockName)).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
}

TEST(RunLockTest, ALinkInTheLockFilesPlaceIsRefusedAndNotWrittenThrough) {
  testing::ScopedTempDir home{"korvan_lock_link"};
  const fs::path work = home / "work";
  fs::create_directories(work);
  const fs::path outside = home / "notes.txt";
  std::ofstream(outside) << "a user's notes\n";
  const fs::path link = work / std::string(kRunLockName);
  if (!testing::MakeFileLink(outside, link) || !fs::is_symlink(link)) {
    GTEST_SKIP() << "this platform cannot make the link";
  }
  const auto attempt = TakeRunLock(work, "korvan");
  EXPECT_EQ(attempt.outcome, Outcome::Failed);
  EXPECT_EQ(attempt.lock, nullptr);
  EXPECT_NE(attempt.message.find("is a link, which is never followed"), std::string::npos)
      << attempt.message;
  EXPECT_NE(attempt.message.find(PathText(work / std::string(kRunLockName))), std::string::npos);
  EXPECT_EQ(ReadText(outside), "a user's notes\n");
}

#ifndef _WIN32
TEST(RunLockTest, AFifoInTheLockFilesPlaceIsRefusedWithoutWaiting) {
  testing::ScopedTempDir work{"korvan_lock_fifo"};
  const fs::path fifo = work / std::string(kRunLockName);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto attempt = TakeRunLock(work.path(), "korvan");
  EXPECT_EQ(attempt.outcome, Outcome::Failed);
  EXPECT_EQ(attempt.lock, nullptr);
  EXPECT_NE(attempt.message.find(PathText(fifo) + " is not a plain file"), std::string::npos)
      << attempt.message;
}
#endif

TEST(RunLockTest, AMissingFolderFailsNamingIt) {
  testing::ScopedTempDir home{"korvan_lock_missing"};
  const auto attempt = TakeRunLock(home / "gone", "korvan");
  EXPECT_EQ(attempt.outcome, Outcome::Failed);
  EXPECT_NE(attempt.message.find(PathText(home / "gone")), std::string::npos) << attempt.message;
}

TEST(RunLockTest, OnlyAWellFormedHolderIsRepeated) {
  const struct {
    const char* text;
    const char* holder;
  } cases[] = {
      {"korvan-updater 4711\n", "korvan-updater, pid 4711"},
      {"korvan 12", "korvan, pid 12"},
      {"", "another program"},                 // taken, not yet written
      {"korvan\n", "another program"},         // no pid
      {"korvan -3\n", "another program"},      // not a pid
      {"korvan 12abc\n", "another program"},   // trailing rubbish
      {"\x1b[31mred 5\n", "another program"},  // terminal escapes are not repeated
      {"two words 5\n", "another program"},    // a space inside the name
      {" 5\n", "another program"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeHolder(c.text), c.holder) << c.text;
  }
}

}  // namespace
}  // namespace korvan::workdir
