// Symbolic links for tests about links. Windows makes them only for an administrator or in
// developer mode, and wine not at all: the tests then skip what needs them.
#pragma once

#include <filesystem>
#include <system_error>

namespace korvan::testing {

// False when this platform or user cannot make the link.
inline bool MakeFolderLink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  std::filesystem::create_directory_symlink(target, link, error);
  return !error;
}

// False when this platform or user cannot make the link.
inline bool MakeFileLink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  return !error;
}

}  // namespace korvan::testing
