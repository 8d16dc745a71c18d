// The run lock on POSIX systems: flock on the lock file, opened relative to the folder's
// descriptor without following a link.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "device/os_error_text.h"
#include "workdir/run_lock.h"

namespace korvan::workdir {

struct RunLock::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) {
      ::close(fd);  // the lock goes with the last descriptor of this open file
    }
  }
};

RunLock::RunLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RunLock::~RunLock() = default;

namespace {

RunLockAttempt Failed(const std::filesystem::path& folder, const std::string& what, int error) {
  return LockFailure(folder, what + ": " + OsErrorText(error));
}

// The holder's line: a program name and a pid fit in far less.
std::string ReadHead(int fd) {
  char buffer[256];
  const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

RunLockAttempt TakeRunLock(const std::filesystem::path& folder, std::string_view program) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    return Failed(folder, "cannot open the folder", errno);
  }
  const std::string name(kRunLockName);
  // O_NOFOLLOW: a link planted in the lock file's place is refused (ELOOP), never written
  // through. O_NONBLOCK: a FIFO or device planted there cannot hold the open (it is refused
  // below as not a plain file). O_CLOEXEC: programs this run starts do not inherit the lock.
  const int fd =
      ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  const int openError = errno;
  ::close(dir);
  if (fd < 0) {
    if (openError == ELOOP) {
      return LockFailure(
          folder, PathText(folder / name) + " is a link, which is never followed; remove it");
    }
    return Failed(folder, "cannot open " + PathText(folder / name), openError);
  }
  auto impl = std::make_unique<RunLock::Impl>();
  impl->fd = fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    return LockFailure(folder, PathText(folder / name) + " is not a plain file; remove it");
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK) {
      return Failed(folder, "cannot lock " + PathText(folder / name), error);
    }
    RunLockAttempt attempt;
    attempt.outcome = RunLockAttempt::Outcome::Busy;
    attempt.holder = DescribeHolder(ReadHead(fd));
    attempt.message = BusyFolderMessage(folder, attempt.holder);
    return attempt;
  }
  // The holder's name for a refused run to show; the lock holds whether or not it is written.
  const std::string text = std::string(program) + " " + std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
  }
  RunLockAttempt attempt;
  attempt.outcome = RunLockAttempt::Outcome::Taken;
  attempt.lock.reset(new RunLock(std::move(impl)));
  return attempt;
}

}  // namespace korvan::workdir
