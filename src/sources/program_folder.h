// `ProgramFolder`: the folder that holds every working file (device copies, read-back files,
// downloads, Parameters.ini and the `update` folder). On Linux it is
// $XDG_DATA_HOME/korvan-updater/ (default ~/.local/share/korvan-updater/) unless the user
// names another one (--workdir).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

// The platform's folder for working files, without creating it.
std::filesystem::path DefaultProgramFolder();

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
