#include <charconv>

#include "workdir/run_lock.h"

namespace korvan::workdir {

std::string DescribeHolder(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  const auto space = text.rfind(' ');
  if (space == std::string_view::npos || space == 0) {
    return "another program";
  }
  const std::string_view program = text.substr(0, space);
  const std::string_view digits = text.substr(space + 1);
  long pid = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) {
    return "another program";
  }
  // Only a program name of ours is repeated: the file is in a folder others may have written.
  for (const char c : program) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) {
      return "another program";
    }
  }
  return std::string(program) + ", pid " + std::to_string(pid);
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

RunLockAttempt LockFailure(const std::filesystem::path& folder, const std::string& what) {
  RunLockAttempt attempt;
  attempt.outcome = RunLockAttempt::Outcome::Failed;
  attempt.message = "cannot lock the working folder " + PathText(folder) + ": " + what;
  return attempt;
}

std::string BusyFolderMessage(const std::filesystem::path& folder, std::string_view holder) {
  return "the working folder " + PathText(folder) + " is in use by another run (" +
         std::string(holder) +
         "); give this run its own --workdir, or update several devices with update --all";
}

}  // namespace korvan::workdir
