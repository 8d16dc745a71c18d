// The server download's pure steps: version.txt as the program trusts it, the package's name
// and path, and the choice of the update file among what a package unpacked.
#include "sources/server_download.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "sources/package_name.h"
#include "tests/support/folder_link.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

TEST(ServerVersionTest, OnlyAPlainVersionIsTrusted) {
  struct Case {
    const char* name;
    std::string raw;
    std::optional<std::string> version;
  };
  const Case cases[] = {
      {"exactly ten bytes", "15-05-2023", "15-05-2023"},
      {"nine bytes", "5-05-2023", std::nullopt},
      {"line break and CRLF after it", "15-05-2023\r\n", "15-05-2023"},
      {"spaces and tabs after it", "15-05-2023 \t\n", "15-05-2023"},
      {"byte-order mark before it", "\xEF\xBB\xBF" "15-05-2023\n", "15-05-2023"},
      {"ten raw bytes, fewer after trimming", "5-05-2023\n", std::nullopt},
      {"a path step", "../x/15-05-2023", std::nullopt},
      {"encoded dots", "%2e%2e%2f15-05-2023", std::nullopt},
      {"a leading dot", ".15-05-2023", std::nullopt},
      {"a line break inside", "15-05\n-2023", std::nullopt},
      {"a space inside", "15-05 -2023", std::nullopt},
      {"300 bytes", std::string(300, '1'), std::nullopt},
      {"64 characters", std::string(64, '1'), std::string(64, '1')},
      {"an HTML error page", "<html><body>Not here</body></html>\n", std::nullopt},
      {"a zero byte", std::string("15-05-2023\0x", 12), std::nullopt},
      {"UTF-8 letters", "15-05-2023-ё", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseServerVersion(c.raw), c.version) << c.name;
  }
}

TEST(PackageNameTest, PathsOfEveryCountryAndVoice) {
  struct Case {
    int8_t type;
    uint8_t country;
    int voice;
    std::optional<std::string> path;
  };
  const Case cases[] = {
      {4, 3, 0, "15-05-2023/RUS/Dahlia_15052023.zip"},
      {4, 3, 1, "15-05-2023/RUS/Dahlia_15052023_v2.zip"},
      {4, 3, 2, "15-05-2023/RUS/Dahlia_15052023_m.zip"},
      {4, 3, 3, "15-05-2023/RUS/Dahlia_15052023_mv2.zip"},
      {9, 12, 0, "15-05-2023/UZB/DahliaLite_15052023_uz_rus.zip"},
      {9, 12, 1, "15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip"},
      {26, 3, 0, "15-05-2023/RUS/FernUltra_15052023.zip"},
      {26, 12, 0, "15-05-2023/UZB/FernUltra_15052023_uz_rus.zip"},
      {4, 0, 0, std::nullopt},
      {4, 109, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PackagePath(c.type, "15-05-2023", c.country, c.voice), c.path)
        << int{c.type} << " " << int{c.country} << " " << c.voice;
  }
  EXPECT_EQ(LocalPackageName(9, "15-05-2023"), "DahliaLite_15052023.zip");
  EXPECT_EQ(ServerFileUrl("http://h/wp-content/db", "version.txt"),
            "http://h/wp-content/db/version.txt");
}

TEST(PickUpdateImageTest, TakesTheLastAcceptableBinFile) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::string> acceptable;  // what the record check takes
    std::optional<std::string> picked;
  };
  const Case cases[] = {
      {"a package as shipped", {"readme.txt", "Thumbs.db", "docs/a.bin", "FW.BIN"}, {"FW.BIN"},
       "FW.BIN"},
      {"two update files: the last in name order", {"a.bin", "b.bin"}, {"a.bin", "b.bin"},
       "b.bin"},
      {"another model's file is passed over", {"a.bin", "b.bin"}, {"a.bin"}, "a.bin"},
      {"no acceptable file", {"a.bin"}, {}, std::nullopt},
      {"no .bin at all", {"readme.txt", "bin", "x.bin.txt"}, {"readme.txt"}, std::nullopt},
  };
  for (const auto& c : cases) {
    testing::ScopedTempDir folder("pick");
    for (const auto& file : c.files) {
      fs::create_directories((folder / file).parent_path());
      std::ofstream(folder / file) << "x";
    }
    const auto picked = PickUpdateImage(folder.path(), [&](const fs::path& path) {
      const std::string name = path.filename().string();
      return std::find(c.acceptable.begin(), c.acceptable.end(), name) != c.acceptable.end();
    });
    EXPECT_EQ(picked, c.picked) << c.name;
  }

  // A link is never followed out of the folder, even when named like an update file.
  testing::ScopedTempDir folder("pick");
  testing::ScopedTempDir outside("outside");
  std::ofstream(outside / "real.bin") << "x";
  if (!testing::MakeFileLink(outside / "real.bin", folder / "link.bin")) {
    GTEST_SKIP() << "this platform cannot make symbolic links";
  }
  EXPECT_EQ(PickUpdateImage(folder.path(), [](const fs::path&) { return true; }), std::nullopt);
}

}  // namespace
}  // namespace korvan
