// The update server's tree: the package names the download asks for, and what each package
// holds (read back with minizip and judged by the program's own update-file rules).
#include "emulator/server_tree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <stdexcept>

#include "sources/package_name.h"
#include "sources/update_file_rules.h"
#include "tests/emulator/zip_reader.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;
using korvan::testing::ReadZip;
using korvan::testing::ReadZipEntry;

constexpr char kVersion[] = "15-05-2023";

const ServerPackage* FindPackage(const std::vector<ServerPackage>& packages,
                                 const std::string& path) {
  for (const ServerPackage& package : packages) {
    if (package.path == path) {
      return &package;
    }
  }
  return nullptr;
}

TEST(ServerTreeTest, PackagesAreNamedPerPrefixCountryAndVoice) {
  const std::vector<ServerPackage> plan = PlanServerTree(kVersion);
  const struct {
    const char* path;
    std::vector<int8_t> types;
    uint8_t country;
    int voice;
  } present[] = {
      {"15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip", {8, 9, 18, 20}, 12, 1},
      {"15-05-2023/UZB/DahliaLite_15052023_uz_rus.zip", {8, 9, 18, 20}, 12, 0},
      {"15-05-2023/RUS/Dahlia_15052023_m.zip", {4}, 3, 2},
      {"15-05-2023/RUS/Cedar_15052023.zip", {3}, 3, 0},
      {"15-05-2023/RUS/DahliaMax_15052023_v2.zip", {5}, 3, 1},
      {"15-05-2023/RUS/FernOne_15052023_mv2.zip", {16, 19, 21}, 3, 3},
      {"15-05-2023/RUS/DahliaPlus_15052023.zip", {22, 23}, 3, 0},
      {"15-05-2023/RUS/BriarMax_15052023.zip", {6}, 3, 0},
      {"15-05-2023/RUS/FernUltra_15052023.zip", {26}, 3, 0},
      {"15-05-2023/UZB/GorseTwoAir_15052023_uz_rus.zip", {27}, 12, 0},
  };
  for (const auto& expected : present) {
    const ServerPackage* package = FindPackage(plan, expected.path);
    ASSERT_NE(package, nullptr) << expected.path;
    EXPECT_EQ(package->types, expected.types) << expected.path;
    EXPECT_EQ(package->country, expected.country) << expected.path;
    EXPECT_EQ(package->voiceItemData, expected.voice) << expected.path;
  }
  // Voices a model does not offer have no package.
  for (const char* absent :
       {"15-05-2023/RUS/DahliaMax_15052023.zip", "15-05-2023/RUS/BriarMax_15052023_v2.zip",
        "15-05-2023/RUS/FernUltra_15052023_m.zip", "15-05-2023/UZB/FernUltra_15052023_uz_uz.zip"}) {
    EXPECT_EQ(FindPackage(plan, absent), nullptr) << absent;
  }
  // The download finds each model's package by PackagePath: every one must be there.
  std::set<std::string> paths;
  for (const ServerPackage& package : plan) {
    EXPECT_TRUE(paths.insert(package.path).second) << "twice: " << package.path;
    for (const int8_t type : package.types) {
      EXPECT_EQ(PackagePath(type, kVersion, package.country, package.voiceItemData), package.path);
    }
  }
  EXPECT_EQ(paths.size(), 55u);
}

TEST(ServerTreeTest, ImpossibleTreesAreRefused) {
  const struct {
    const char* version;
    ServerTreeOptions options;
  } cases[] = {
      {"2023-05-15", {}},
      {"15-05-23", {}},
      {"15-05-2023\n", {}},
      {kVersion, {{1}, {kCountryRussia}}},  // no voice list
      {kVersion, {{7}, {kCountryRussia}}},  // no model
      {kVersion, {{9}, {kCountryThird}}},   // no package folder
  };
  for (const auto& c : cases) {
    EXPECT_THROW(PlanServerTree(c.version, c.options), std::invalid_argument) << c.version;
  }
}

class WrittenTreeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new korvan::testing::ScopedTempDir("server_tree");
    ServerTreeOptions options;
    options.types = {4, 9, 18};
    result_ = new ServerTreeResult(WriteServerTree(dir_->path(), kVersion, options));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete dir_;
  }

  static fs::path Download() { return dir_->path() / kDownloadDirectory; }

  // Judges each .bin entry of `package` as the program judges a chosen update file.
  struct Judged {
    std::string name;
    ImageVersionsResult result;
    UpdateFileInfo info;
  };
  static std::vector<Judged> Judge(const std::vector<ReadZipEntry>& entries, int8_t type) {
    std::vector<Judged> judged;
    for (const ReadZipEntry& entry : entries) {
      if (fs::path(entry.name).extension() != ".bin") {
        continue;
      }
      const fs::path copy = dir_->path() / entry.name;
      std::ofstream(copy, std::ios::binary)
          .write(reinterpret_cast<const char*>(entry.bytes.data()),
                 static_cast<std::streamsize>(entry.bytes.size()));
      UpdateFileInfo info;
      const ImageVersionsResult result = ReadImageVersions(copy, type, info);
      judged.push_back({entry.name, result, info});
      fs::remove(copy);
    }
    return judged;
  }

  static korvan::testing::ScopedTempDir* dir_;
  static ServerTreeResult* result_;
};

korvan::testing::ScopedTempDir* WrittenTreeTest::dir_ = nullptr;
ServerTreeResult* WrittenTreeTest::result_ = nullptr;

TEST_F(WrittenTreeTest, HoldsTheVersionTextAndThePlannedPackagesOnly) {
  ASSERT_TRUE(result_->ok()) << result_->error;
  std::ifstream in(Download() / kServerVersionFileName, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(text, "15-05-2023");

  std::set<std::string> expected{kServerVersionFileName};
  for (const ServerPackage& package : result_->packages) {
    expected.insert(package.path);
  }
  std::set<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir_->path())) {
    if (entry.is_regular_file()) {
      found.insert(fs::relative(entry.path(), Download()).generic_string());
    }
  }
  EXPECT_EQ(found, expected);
  // Dahlia (4) and DahliaLite (9, 18): four Russian and two Uzbek voices each.
  EXPECT_EQ(result_->packages.size(), 12u);
}

// A shared package carries one file per model; the program keeps the one whose version record
// is its model's, so for each model exactly one file must pass.
TEST_F(WrittenTreeTest, SharedPackageHoldsOneFittingFilePerModel) {
  const auto entries = ReadZip(Download() / "15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip");
  ASSERT_TRUE(entries);
  std::vector<std::string> names;
  for (const ReadZipEntry& entry : *entries) {
    names.push_back(entry.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"DahliaLite_F0301_V0041_D251201_S0009.bin",
                                             "DahliaLite_F0301_V0041_D251201_S0018.bin",
                                             "readme.txt", "docs/", "docs/changes.txt"}));
  for (const int8_t type : {int8_t{9}, int8_t{18}}) {
    int fitting = 0;
    for (const Judged& judged : Judge(*entries, type)) {
      EXPECT_TRUE(MatchWildcard(ExpectedUpdateFileName(type), judged.name)) << judged.name;
      if (judged.result != ImageVersionsResult::Ok) {
        continue;
      }
      ++fitting;
      EXPECT_EQ(judged.info.fileCountry, kCountryUzbekistan) << judged.name;
      EXPECT_EQ(judged.info.fileVoiceVersion, (std::array<uint16_t, 4>{0, 0, 4, 1}));
      EXPECT_EQ(judged.info.fileFwVersion, (std::array<uint16_t, 4>{0, 3, 0, 1}));
    }
    EXPECT_EQ(fitting, 1) << "type " << int{type};
  }
  // What the tests of the download compare a fetched file with.
  EXPECT_EQ((*entries)[0].bytes, ServerUpdateFile(9, kCountryUzbekistan, 1).bytes);
}

TEST_F(WrittenTreeTest, EachPackageCarriesItsCountryAndVoice) {
  const struct {
    const char* path;
    int8_t type;
    uint8_t country;
    uint16_t voiceDigit;  // the voice version is 00.40 + the voice's slot
  } cases[] = {
      {"15-05-2023/RUS/Dahlia_15052023_m.zip", 4, kCountryRussia, 2},
      {"15-05-2023/RUS/Dahlia_15052023.zip", 4, kCountryRussia, 0},
      {"15-05-2023/UZB/Dahlia_15052023_uz_uz.zip", 4, kCountryUzbekistan, 1},
      {"15-05-2023/UZB/Dahlia_15052023_uz_rus.zip", 4, kCountryUzbekistan, 0},
      {"15-05-2023/RUS/DahliaLite_15052023_mv2.zip", 18, kCountryRussia, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto entries = ReadZip(Download() / c.path);
    ASSERT_TRUE(entries);
    int fitting = 0;
    for (const Judged& judged : Judge(*entries, c.type)) {
      if (judged.result == ImageVersionsResult::Ok) {
        ++fitting;
        EXPECT_EQ(judged.info.fileCountry, c.country);
        EXPECT_EQ(judged.info.fileVoiceVersion, (std::array<uint16_t, 4>{0, 0, 4, c.voiceDigit}));
      }
    }
    EXPECT_EQ(fitting, 1);
    const ReadZipEntry* docs = korvan::testing::FindEntry(*entries, "docs/");
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(docs->bytes.empty());
    const ReadZipEntry* readme = korvan::testing::FindEntry(*entries, "readme.txt");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(readme->time.tm_year, 2023u);
    EXPECT_EQ(readme->time.tm_mon, 4u);
    EXPECT_EQ(readme->time.tm_mday, 15u);
  }
}

TEST(ServerTreeWriteTest, AnUnwritableRootIsReported) {
  korvan::testing::ScopedTempDir dir("server_tree");
  const fs::path file = dir / "plain-file";
  std::ofstream(file) << "x";
  ServerTreeOptions options;
  options.types = {6};
  const ServerTreeResult result = WriteServerTree(file, kVersion, options);
  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.error.find(file.string()), std::string::npos) << result.error;
}

}  // namespace
}  // namespace korvan::emu
