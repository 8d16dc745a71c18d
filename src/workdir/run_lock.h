// One run per working folder. Every run that works with a device or the server in a working
// folder holds an exclusive lock on the lock file inside it for as long as it runs; a second
// run on the same folder is refused at once, before it touches any other file there, and told
// which program holds the folder. The lock is the system's own (flock on POSIX, LockFileEx on
// Windows): it goes with the process that held it, however that process ended, so there is no
// stale lock to clean up.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace korvan::workdir {

// The lock file's name inside the working folder.
inline constexpr std::string_view kRunLockName = "korvan-updater.lock";

struct RunLockAttempt;

// Held by a run for as long as the folder is its own; the lock goes when this is destroyed.
class RunLock {
 public:
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  friend RunLockAttempt TakeRunLock(const std::filesystem::path&, std::string_view);
  struct Impl;
  explicit RunLock(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

struct RunLockAttempt {
  enum class Outcome { Taken, Busy, Failed };
  Outcome outcome = Outcome::Failed;
  std::unique_ptr<RunLock> lock;  // while held, the folder is this run's
  std::string holder;             // Busy: "korvan-updater, pid 4711", or "another program"
  std::string message;            // Busy and Failed: what to tell the user, naming the folder
};

// Takes the lock of the working folder `folder` (which must exist) for this process, and leaves
// `program` and this process's id in the lock file for a refused run to name. Busy when another
// run holds it; Failed when the lock file cannot be made or opened, or is a link (which is
// never followed).
RunLockAttempt TakeRunLock(const std::filesystem::path& folder, std::string_view program);

// "korvan-updater, pid 4711" from the lock file's text "korvan-updater 4711\n"; "another
// program" when the text is not that (a run that has just taken the lock and not yet written
// it, or a file of someone else's).
std::string DescribeHolder(std::string_view lockFileText);

// `path` as UTF-8 text, for messages (on Windows too, where string() would use the ANSI code
// page).
std::string PathText(const std::filesystem::path& path);

// A Failed attempt whose message names the folder and says `what`, e.g. "cannot open F: reason".
RunLockAttempt LockFailure(const std::filesystem::path& folder, const std::string& what);

// What a refused run says about a busy folder.
std::string BusyFolderMessage(const std::filesystem::path& folder, std::string_view holder);

}  // namespace korvan::workdir
