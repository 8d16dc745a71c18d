// A fresh folder under the test temp directory, removed with everything in it at scope end.
// Unique per call (mkdtemp), so tests of several builds may run at once.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace korvan::testing {

class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& tag = "korvan") {
    std::string pattern =
        (std::filesystem::path(::testing::TempDir()) / (tag + "_XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "cannot create a temporary folder from " << pattern;
    }
    path_ = pattern;
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace korvan::testing
