#include "sources/program_folder.h"

#include <cstdlib>
#include <system_error>

namespace korvan {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFolderName = "korvan-updater";

std::optional<fs::path> EnvPath(const char* name) {
  const char* value = std::getenv(name);
  // Relative XDG paths are invalid and must be ignored.
  if (value == nullptr || *value == '\0' || fs::path(value).is_relative()) {
    return std::nullopt;
  }
  return fs::path(value);
}

}  // namespace

fs::path DefaultProgramFolder() {
  if (const auto data = EnvPath("XDG_DATA_HOME")) {
    return *data / kFolderName;
  }
  if (const auto home = EnvPath("HOME")) {
    return *home / ".local" / "share" / kFolderName;
  }
  return fs::current_path() / kFolderName;
}

std::optional<fs::path> PrepareProgramFolder(const std::optional<fs::path>& chosen,
                                             std::string& error) {
  const fs::path folder = chosen ? fs::absolute(*chosen) : DefaultProgramFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    error = "cannot use the working folder " + folder.string() +
            (ec ? ": " + ec.message() : std::string(": not a folder"));
    return std::nullopt;
  }
  return folder;
}

std::string ProgramFolder(const fs::path& folder) {
  std::string text = folder.string();
  if (text.empty() || text.back() != fs::path::preferred_separator) {
    text += fs::path::preferred_separator;
  }
  return text;
}

std::string ProgramFolderFile(const fs::path& folder, std::string_view name) {
  return ProgramFolder(folder) + std::string(name);
}

bool RemoveFolderTree(const fs::path& path) {
  if (path.empty()) {
    return false;
  }
  std::error_code ec;
  if (fs::symlink_status(path, ec).type() != fs::file_type::directory) {
    return false;
  }
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (it->symlink_status(entryError).type() == fs::file_type::directory) {
      RemoveFolderTree(it->path());
    } else {
      fs::remove(it->path(), entryError);  // passed over when it cannot be deleted
    }
  }
  return fs::remove(path, ec) && !ec;
}

}  // namespace korvan
