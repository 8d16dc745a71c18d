// `ProgramFolder`: the folder that holds every working file (device copies, read-back files,
// downloads, Parameters.ini and the `update` folder), unless the user names another one
// (--workdir). On Linux it is $XDG_DATA_HOME/korvan-updater/ (default
// ~/.local/share/korvan-updater/). On Windows it is the executable's own folder, as the
// program has always kept its files there, or %LOCALAPPDATA%\Korvan Updater\ where this user
// may not write beside the executable (an installation under Program Files).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

// The platform's folder for working files, without creating it.
std::filesystem::path DefaultProgramFolder();

// The Windows choice, with the places given: `executableFolder` when a file can be created
// there, else `localAppData`/"Korvan Updater" (the current folder's when that is not known).
std::filesystem::path ChooseBesideOrLocal(const std::filesystem::path& executableFolder,
                                          const std::optional<std::filesystem::path>& localAppData);

// The working folder to use (`chosen` when given, else the default), created when missing.
// nullopt with `error` set when it cannot be created.
std::optional<std::filesystem::path> PrepareProgramFolder(
    const std::optional<std::filesystem::path>& chosen, std::string& error);

// `folder` as text ending with a path separator.
std::string ProgramFolder(const std::filesystem::path& folder);

// ProgramFolder(folder) followed directly by `name`.
std::string ProgramFolderFile(const std::filesystem::path& folder, std::string_view name);

// Deletes the folder `path` with everything inside. Files that cannot be deleted are passed
// over; the result is whether the folder itself is gone. Symbolic links are removed, never
// followed, so nothing outside `path` is touched. An empty path answers false.
bool RemoveFolderTree(const std::filesystem::path& path);

}  // namespace korvan
