#include "sources/program_folder.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <fstream>

#include "tests/support/folder_link.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

TEST(ProgramFolderTest, NamesEndWithASeparator) {
#ifdef _WIN32
  EXPECT_EQ(ProgramFolder("C:\\work\\x"), "C:\\work\\x\\");
  EXPECT_EQ(ProgramFolder("C:\\work\\x\\"), "C:\\work\\x\\");
  EXPECT_EQ(ProgramFolder("C:/work/x/"), "C:/work/x/");
  EXPECT_EQ(ProgramFolderFile("C:\\work\\x", "TempFwData.bin"), "C:\\work\\x\\TempFwData.bin");
#else
  EXPECT_EQ(ProgramFolder("/work/x"), "/work/x/");
  EXPECT_EQ(ProgramFolder("/work/x/"), "/work/x/");
  EXPECT_EQ(ProgramFolderFile("/work/x", "TempFwData.bin"), "/work/x/TempFwData.bin");
#endif
}

// Beside the executable where a file can be made there, else in the user's local data.
TEST(ProgramFolderTest, WindowsFolderIsBesideTheProgramOrLocal) {
  testing::ScopedTempDir temp("korvan_beside");
  EXPECT_EQ(ChooseBesideOrLocal(temp.path(), temp / "local"), temp.path());
  EXPECT_TRUE(fs::is_empty(temp.path())) << "the probe file is removed";
  EXPECT_EQ(ChooseBesideOrLocal(temp / "gone", temp / "local"), temp / "local" / "Korvan Updater");
  EXPECT_EQ(ChooseBesideOrLocal({}, temp / "local"), temp / "local" / "Korvan Updater");
}

#ifndef _WIN32
TEST(ProgramFolderTest, DefaultFollowsXdgDataHome) {
  {
    testing::ScopedEnv data("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(DefaultProgramFolder(), fs::path("/data/home/korvan-updater"));
  }
  testing::ScopedEnv data("XDG_DATA_HOME", "relative/ignored");
  testing::ScopedEnv home("HOME", "/home/user");
  EXPECT_EQ(DefaultProgramFolder(), fs::path("/home/user/.local/share/korvan-updater"));
}
#endif

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
  if (!testing::MakeFolderLink(outside, tree / "sub/link")) {
    GTEST_SKIP() << "this platform or user cannot make symbolic links";
  }

  EXPECT_TRUE(RemoveFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(outside / "keep.txt")) << "a link is removed, not followed";

  EXPECT_FALSE(RemoveFolderTree(""));
  EXPECT_FALSE(RemoveFolderTree(temp / "missing"));
}

TEST(ProgramFolderTest, RemoveFolderTreeReportsWhatRemains) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows folder has no permission bit that keeps its entries";
#else
  if (geteuid() == 0) {
    GTEST_SKIP() << "root may delete anything; the permission case needs a normal user";
  }
#endif
  testing::ScopedTempDir temp("korvan_tree_locked");
  const fs::path tree = temp / "update";
  fs::create_directories(tree / "locked");
  std::ofstream(tree / "locked/x.bin") << "x";
  std::ofstream(tree / "free.bin") << "f";
  fs::permissions(tree / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(RemoveFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree / "free.bin")) << "the rest is removed all the same";
  fs::permissions(tree / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace korvan
