// A fresh folder under the test temp directory, removed with everything in it at scope end.
// Unique per call (a random name that create_directory only takes when nothing has it), so tests
// of several builds may run at once.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace korvan::testing {

class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& tag = "korvan") {
    const std::filesystem::path base(::testing::TempDir());
    std::random_device seed;
    std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[17];
      std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
      const std::filesystem::path candidate = base / (tag + "_" + suffix);
      std::error_code error;
      // False without an error: the name is taken; try another.
      if (std::filesystem::create_directory(candidate, error)) {
        path_ = candidate;
        return;
      }
      if (error) {
        ADD_FAILURE() << "cannot create a temporary folder " << candidate << ": "
                      << error.message();
        return;
      }
    }
    ADD_FAILURE() << "no free temporary folder name under " << base;
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ignored);
    }
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace korvan::testing
