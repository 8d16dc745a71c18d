// A symbolic link to a folder for tests about links. Windows makes one only for an
// administrator or in developer mode (and wine may not at all): the tests then skip.
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

}  // namespace korvan::testing
