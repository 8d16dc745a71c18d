// The run lock on Windows: LockFileEx on the lock file, opened without following a reparse
// point. The locked byte lies far past the text, so a refused run can still read who holds it
// (Windows' locks keep others from reading the bytes they cover).
#include <windows.h>

#include <string>
#include <utility>

#include "device/os_error_text.h"
#include "device/utf8.h"
#include "workdir/run_lock.h"

namespace korvan::workdir {

namespace {
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;  // one byte at 2^63 - 2^32, never written
}  // namespace

struct RunLock::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
  ~Impl() {
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);  // the lock goes with the handle
    }
  }
};

RunLock::RunLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RunLock::~RunLock() = default;

namespace {

RunLockAttempt Failed(const std::filesystem::path& folder, const std::string& what, DWORD error) {
  return LockFailure(folder, what + ": " + OsErrorText(static_cast<int>(error)));
}

std::string ReadHead(HANDLE file) {
  std::string text(256, '\0');
  OVERLAPPED at{};
  DWORD read = 0;
  if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, &at)) {
    return {};
  }
  text.resize(read);
  return text;
}

}  // namespace

RunLockAttempt TakeRunLock(const std::filesystem::path& folder, std::string_view program) {
  const std::filesystem::path path = folder / std::string(kRunLockName);
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than what it points to; it is then
  // refused below. The share mode lets the other runs open the file to read who holds it.
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Failed(folder, "cannot open " + PathText(path), GetLastError());
  }
  auto impl = std::make_unique<RunLock::Impl>();
  impl->file = file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) {
    return Failed(folder, "cannot read " + PathText(path), GetLastError());
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return LockFailure(folder, PathText(path) + " is a link, which is never followed; remove it");
  }
  OVERLAPPED range{};
  range.Offset = 0;
  range.OffsetHigh = kLockOffsetHigh;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      return Failed(folder, "cannot lock " + PathText(path), error);
    }
    RunLockAttempt attempt;
    attempt.outcome = RunLockAttempt::Outcome::Busy;
    attempt.holder = DescribeHolder(ReadHead(file));
    attempt.message = BusyFolderMessage(folder, attempt.holder);
    return attempt;
  }
  const std::string text =
      std::string(program) + " " + std::to_string(GetCurrentProcessId()) + "\n";
  OVERLAPPED start{};
  DWORD written = 0;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      SetEndOfFile(file)) {
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &start);
  }
  RunLockAttempt attempt;
  attempt.outcome = RunLockAttempt::Outcome::Taken;
  attempt.lock.reset(new RunLock(std::move(impl)));
  return attempt;
}

}  // namespace korvan::workdir
