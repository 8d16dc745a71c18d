#include "sources/program_folder.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvan {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFolderName = "korvan-updater";
constexpr std::wstring_view kWindowsFolderName = L"Korvan Updater";

#ifndef _WIN32
std::optional<fs::path> EnvPath(const char* name) {
  const char* value = std::getenv(name);
  // Relative XDG paths are invalid and must be ignored.
  if (value == nullptr || *value == '\0' || fs::path(value).is_relative()) {
    return std::nullopt;
  }
  return fs::path(value);
}
#endif

// Whether a new file can be made in `folder`: the test Windows itself would apply, with the
// user's rights, the folder's permissions and any virtualisation taken into account.
bool CanCreateFilesIn(const fs::path& folder) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path probe = folder / (".korvan-write-test-" + std::to_string(stamp));
  bool made = false;
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    made = static_cast<bool>(out);
  }
  std::error_code ignored;
  fs::remove(probe, ignored);
  return made;
}

#ifdef _WIN32
std::optional<fs::path> ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return std::nullopt;
    }
    if (length < path.size()) {
      path.resize(length);
      return fs::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

std::optional<fs::path> LocalAppData() {
  const wchar_t* value = _wgetenv(L"LOCALAPPDATA");
  if (value == nullptr || *value == L'\0' || fs::path(value).is_relative()) {
    return std::nullopt;
  }
  return fs::path(value);
}
#endif

}  // namespace

fs::path ChooseBesideOrLocal(const fs::path& executableFolder,
                             const std::optional<fs::path>& localAppData) {
  if (!executableFolder.empty() && CanCreateFilesIn(executableFolder)) {
    return executableFolder;
  }
  return (localAppData ? *localAppData : fs::current_path()) / kWindowsFolderName;
}

fs::path DefaultProgramFolder() {
#ifdef _WIN32
  return ChooseBesideOrLocal(ExecutableFolder().value_or(fs::path()), LocalAppData());
#else
  if (const auto data = EnvPath("XDG_DATA_HOME")) {
    return *data / kFolderName;
  }
  if (const auto home = EnvPath("HOME")) {
    return *home / ".local" / "share" / kFolderName;
  }
  return fs::current_path() / kFolderName;
#endif
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
  // '/' ends a folder name on Windows too.
  if (text.empty() || (text.back() != '/' && text.back() != fs::path::preferred_separator)) {
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
