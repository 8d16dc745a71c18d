// Parameters.ini: how values are read (decimal prefix, 99 for what is missing), written ("%d",
// other keys kept) and what happens with a file that cannot be read.
#include "settings/parameters_ini.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>

#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spit(const std::filesystem::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

TEST(ParametersIniTest, DecimalPrefix) {
  struct Case {
    std::string_view text;
    int value;
  };
  const Case cases[] = {
      {"12", 12},
      {" -12abc", -12},
      {"abc", 0},
      {"", 0},
      {"+7", 7},
      {"\t 3 4", 3},
      {"-", 0},
      {"0x10", 0},
      {"-128", -128},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseDecimalPrefix(c.text), c.value) << "'" << c.text << "'";
  }
}

TEST(ParametersIniTest, ReadsValuesAndDefaultsForWhatIsMissing) {
  testing::ScopedTempDir dir;
  const auto ini = ParametersIniPath(dir.path());
  EXPECT_EQ(ini.filename(), "Parameters.ini");
  // No file at all: the default text.
  EXPECT_EQ(ReadMenuValue(ini, "Menu", "Laser", "99"), 99);
  Spit(ini, "[Menu]\nLaser= -12abc\nRobot=abc\nX OnOff=1\n[Other]\nAutocon=5\n");
  struct Case {
    std::string_view section;
    std::string_view key;
    int value;
  };
  const Case cases[] = {
      {"Menu", "Laser", -12},  {"Menu", "Robot", 0},    {"Menu", "X OnOff", 1},
      {"Menu", "Autocon", 99}, {"Other", "Autocon", 5}, {"Missing", "Laser", 99},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadMenuValue(ini, c.section, c.key, "99"), c.value) << c.section << "/" << c.key;
  }
  // The list reader wants every key.
  EXPECT_FALSE(ReadMenuValues(ini).has_value());
}

TEST(ParametersIniTest, WritesDecimalAndKeepsTheOtherKeys) {
  testing::ScopedTempDir dir;
  const auto ini = ParametersIniPath(dir.path());
  Spit(ini, "[Menu]\nLaser=1\nRobot=0\n[Other]\nName=keep me\n");
  ASSERT_TRUE(WriteMenuValue(ini, "Menu", "Robot", -1));
  ASSERT_TRUE(WriteMenuValue(ini, "Menu", "X OnOff", 250));
  const std::string text = Slurp(ini);
  // Lines end as the platform's own INI files do.
#ifdef _WIN32
  const std::string eol = "\r\n";
#else
  const std::string eol = "\n";
#endif
  EXPECT_NE(text.find("Robot=-1" + eol), std::string::npos) << text;
  EXPECT_NE(text.find("X OnOff=250" + eol), std::string::npos) << text;
  EXPECT_EQ(ReadMenuValue(ini, "Menu", "Laser", "99"), 1);
  EXPECT_EQ(ReadMenuValue(ini, "Menu", "Robot", "99"), -1);
  EXPECT_EQ(ReadMenuValue(ini, "Other", "Name", "99"), 0);
  EXPECT_NE(text.find("Name=keep me"), std::string::npos) << text;

  // All 48 at once, read back as written.
  MenuValues values{};
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<int>(i) - 20;
  }
  ASSERT_TRUE(WriteMenuValues(ini, values));
  EXPECT_EQ(ReadMenuValues(ini), values);
  EXPECT_NE(Slurp(ini).find("Name=keep me"), std::string::npos);
}

TEST(ParametersIniTest, FileThatCannotBeRead) {
  testing::ScopedTempDir dir;
  // A folder where the file should be: it exists, but no file can be read from or written to it.
  const auto ini = ParametersIniPath(dir.path());
  std::filesystem::create_directory(ini);
  EXPECT_EQ(ReadMenuValue(ini, "Menu", "Laser", "99"), 99);
  EXPECT_FALSE(ReadMenuValues(ini).has_value());
  EXPECT_FALSE(WriteMenuValue(ini, "Menu", "Laser", 1));
  EXPECT_FALSE(WriteMenuValues(ini, MenuValues{}));
  EXPECT_TRUE(std::filesystem::is_directory(ini));
  // A folder that does not exist: writing cannot create the file.
  EXPECT_FALSE(WriteMenuValue(dir.path() / "none" / "Parameters.ini", "Menu", "Laser", 1));
}

}  // namespace
}  // namespace korvan
