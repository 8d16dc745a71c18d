#include "sources/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

TEST(ProgramFolderTest, NamesEndWithASeparator) {
  EXPECT_EQ(ProgramFolder("/work/x"), "/work/x/");
  EXPECT_EQ(ProgramFolder("/work/x/"), "/work/x/");
  EXPECT_EQ(ProgramFolderFile("/work/x", "TempFwData.bin"), "/work/x/TempFwData.bin");
}

TEST(ProgramFolderTest, DefaultFollowsXdgDataHome) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string savedValue = saved ? saved : "";
  setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(DefaultProgramFolder(), fs::path("/data/home/korvan-updater"));
  setenv("XDG_DATA_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/user", 1);
  EXPECT_EQ(DefaultProgramFolder(), fs::path("/home/user/.local/share/korvan-updater"));
  if (saved) {
    setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

TEST(ProgramFolderTest, PrepareCreatesTheFolderOrSaysWhy) {
  testing::ScopedTempDir temp("korvan_folder");
  std::string error;
  const auto made = PrepareProgramFolder(temp / "a/b", error);
  ASSERT_TRUE(made.has_value()) << error;
  EXPECT_TRUE(fs::is_directory(*made));

  std::ofstream(temp / "file") << "x";
  EXPECT_FALSE(PrepareProgramFolder(temp / "file", error).has_value());
  EXPECT_NE(error.find("file"), std::string::npos);
}

TEST(ProgramFolderTest, RemoveFolderTreeRemovesEverythingButFollowsNoLink) {
  testing::ScopedTempDir temp("korvan_tree");
  const fs::path outside = temp / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "keep.txt") << "keep";

  const fs::path tree = temp / "update";
  fs::create_directories(tree / "sub/deeper");
  std::ofstream(tree / "a.bin") << "a";
  std::ofstream(tree / "sub/deeper/b.bin") << "b";
  fs::create_directory_symlink(outside, tree / "sub/link");

  EXPECT_TRUE(RemoveFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(outside / "keep.txt")) << "a link is removed, not followed";

  EXPECT_FALSE(RemoveFolderTree(""));
  EXPECT_FALSE(RemoveFolderTree(temp / "missing"));
}

TEST(ProgramFolderTest, RemoveFolderTreeReportsWhatRemains) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root may delete anything; the permission case needs a normal user";
  }
  testing::ScopedTempDir temp("korvan_tree_locked");
  const fs::path tree = temp / "update";
  fs::create_directories(tree / "locked");
  std::ofstream(tree / "locked/x.bin") << "x";
  std::ofstream(tree / "free.bin") << "f";
  chmod((tree / "locked").c_str(), 0500);
  EXPECT_FALSE(RemoveFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree / "free.bin")) << "the rest is removed all the same";
  chmod((tree / "locked").c_str(), 0700);
}

}  // namespace
}  // namespace korvan
