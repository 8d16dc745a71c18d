// The extraction target on POSIX systems: every step is opened relative to the descriptor of the
// folder before it (openat with O_NOFOLLOW), so no path is ever resolved twice.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <system_error>
#include <utility>
#include <vector>

#include "sources/extraction_target.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~UniqueFd() { Reset(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the kernel accepted the last writes.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

timespec ToTimespec(uint64_t fileTime) {
  const auto sinceUnix = static_cast<int64_t>(fileTime - kUnixEpochTicks);
  const auto ticks = static_cast<int64_t>(kTicksPerSecond);
  int64_t seconds = sinceUnix / ticks;
  int64_t rest = sinceUnix % ticks;
  if (rest < 0) {
    rest += ticks;
    --seconds;
  }
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

}  // namespace

struct FolderChain::Impl {
  std::vector<UniqueFd> fds;       // the root, then each folder entered
  std::vector<std::string> names;  // names[i] lies in fds[i]
  std::vector<bool> created;
  bool keep = false;

  int folder() const { return fds.back().get(); }
};

FolderChain::FolderChain() : impl_(std::make_unique<Impl>()) {}

FolderChain::~FolderChain() {
  if (!impl_->keep) {
    // Only folders this call made, innermost first; rmdir leaves any that is not empty.
    for (std::size_t i = impl_->created.size(); i-- > 0;) {
      if (impl_->created[i]) {
        ::unlinkat(impl_->fds[i].get(), impl_->names[i].c_str(), AT_REMOVEDIR);
      }
    }
  }
}

ZipResult FolderChain::OpenRoot(const fs::path& root) {
  std::error_code ignored;
  fs::create_directories(root, ignored);
  impl_->fds.emplace_back(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return impl_->fds.back().valid() ? ZipResult::Ok : ZipResult::CannotOpen;
}

ZipResult FolderChain::Enter(const std::string& name) {
  const int parent = impl_->folder();
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  bool created = false;
  int fd = ::openat(parent, name.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) {
    if (::mkdirat(parent, name.c_str(), 0755) == 0) {
      created = true;
    } else if (errno != EEXIST) {
      return ZipResult::CannotOpen;
    }
    fd = ::openat(parent, name.c_str(), kFlags);
  }
  if (fd < 0) {
    struct stat st {};
    const bool link =
        errno == ELOOP ||
        (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode));
    if (created) {
      ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
    }
    return link ? ZipResult::BadArguments : ZipResult::CannotOpen;
  }
  impl_->names.push_back(name);
  impl_->created.push_back(created);
  impl_->fds.emplace_back(fd);
  return ZipResult::Ok;
}

void FolderChain::Keep() {
  impl_->keep = true;
}

struct PartFile::Impl {
  int folder = -1;
  std::string name;  // the item's
  std::string part;  // name + ".part"
  UniqueFd fd;
  bool made = false;
};

PartFile::PartFile(FolderChain& chain, const std::string& name) : impl_(std::make_unique<Impl>()) {
  impl_->folder = chain.impl_->folder();
  impl_->name = name;
  impl_->part = name + ".part";
}

PartFile::~PartFile() {
  impl_->fd.Reset();
  if (impl_->made) {
    ::unlinkat(impl_->folder, impl_->part.c_str(), 0);
  }
}

ZipResult PartFile::Create(bool readOnly) {
  // A stale .part (or a link planted under that name) is removed, not followed; O_EXCL then
  // makes sure the file written is a new one.
  ::unlinkat(impl_->folder, impl_->part.c_str(), 0);
  impl_->fd.Reset(::openat(impl_->folder, impl_->part.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           readOnly ? 0444 : 0644));
  impl_->made = impl_->fd.valid();
  return impl_->made ? ZipResult::Ok : ZipResult::CannotOpen;
}

bool PartFile::Write(const uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(impl_->fd.get(), data, size);
    if (done < 0 && errno == EINTR) {
      continue;
    }
    if (done <= 0) {
      return false;
    }
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

bool PartFile::Finish(const FileTimes& times) {
  if (!impl_->fd.Close()) {
    return false;
  }
  const timespec both[2] = {ToTimespec(times.access), ToTimespec(times.write)};
  ::utimensat(impl_->folder, impl_->part.c_str(), both, AT_SYMLINK_NOFOLLOW);
  return true;
}

// rename replaces a file or a link at the target itself and never writes through a link.
ZipResult PartFile::Commit() {
  if (::renameat(impl_->folder, impl_->part.c_str(), impl_->folder, impl_->name.c_str()) != 0) {
    return ZipResult::CannotOpen;
  }
  impl_->made = false;
  return ZipResult::Ok;
}

}  // namespace korvan
