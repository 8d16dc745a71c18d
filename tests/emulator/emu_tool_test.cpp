#include "emulator/tools/emu_tool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "device/model_catalogue.h"
#include "emulator/device_folder.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

ToolRun RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "korvan-emu");
  std::vector<const char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunEmuTool(static_cast<int>(argv.size()), argv.data(), out, err);
  return {code, out.str(), err.str()};
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmuToolTest, MakeWritesALoadableFolderAndSaysSo) {
  korvan::testing::ScopedTempDir dir("emu_tool");
  const fs::path folder = dir / "dahlia";
  const ToolRun run = RunTool({"make", "0x84", folder.string()});
  ASSERT_EQ(run.exitCode, kToolOk) << run.err;
  EXPECT_NE(run.out.find(folder.string()), std::string::npos) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
  for (const char* name : {"inquiry.bin", "controller.bin", "flash.bin", "memory2.bin"}) {
    EXPECT_TRUE(fs::exists(folder / name)) << name;
  }
  EXPECT_EQ(ReadFile(folder / "inquiry.bin")[24], 0x84);
  EXPECT_EQ(fs::file_size(folder / "flash.bin"), ModelCatalogue::FlashSize(4));
  EXPECT_TRUE(LoadDeviceFolder(folder).device);
}

TEST(EmuToolTest, MakeOptionsReachTheImages) {
  korvan::testing::ScopedTempDir dir("emu_tool");
  const fs::path folder = dir / "lite";
  const ToolRun run =
      RunTool({"make", "9", folder.string(), "--firmware", "0238", "--voice", "0042", "--database",
               "v2.0 250131", "--country", "12", "--record-flag", "--inquiry-length", "136"});
  ASSERT_EQ(run.exitCode, kToolOk) << run.err;
  const std::vector<uint8_t> controller = ReadFile(folder / "controller.bin");
  const size_t record = ModelCatalogue::ControllerVersionRecordOffset(9);
  EXPECT_EQ(std::vector<uint8_t>(controller.begin() + static_cast<long>(record),
                                 controller.begin() + static_cast<long>(record) + 8),
            (std::vector<uint8_t>{0xA4, 0x5B, 12, 0x89, 0, 2, 3, 8}));
  const std::vector<uint8_t> flash = ReadFile(folder / "flash.bin");
  EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 4),
            (std::vector<uint8_t>{0, 0, 4, 2}));
  EXPECT_EQ(std::string(flash.begin() + 0x410000 + 12, flash.begin() + 0x410000 + 23),
            "V2.0_250131");
  EXPECT_EQ(fs::file_size(folder / "inquiry.bin"), 136u);
  EXPECT_FALSE(fs::exists(folder / "memory2.bin"));
}

TEST(EmuToolTest, BadArgumentsExitWithTwoAndAMessage) {
  korvan::testing::ScopedTempDir dir("emu_tool");
  const std::string folder = (dir / "x").string();
  const std::vector<std::string> cases[] = {
      {},
      {"explode", "5", folder},
      {"make", "5"},
      {"make", "256", folder},
      {"make", "0x1G", folder},
      {"make", "-1", folder},
      {"make", "5", folder, "--firmware", "215"},
      {"make", "5", folder, "--voice", "00a1"},
      {"make", "5", folder, "--aux", "12345"},
      {"make", "5", folder, "--database", "1.2-240517"},
      {"make", "5", folder, "--country", "256"},
      {"make", "5", folder, "--build-row", "0"},  // type 5 has no build table
      {"make", "3", folder, "--build-row", "5"},
      {"make", "1", folder, "--voice-build-row", "0"},
      {"make", "5", folder, "--inquiry-length", "35"},
      {"make", "5", folder, "--no-such-option"},
      {"server-tree", folder},
      {"server-tree", folder, "--version", "2023-05-15"},
      {"server-tree", folder, "--version", "15-05-2023", "--types", "1"},  // no voice list
      {"server-tree", folder, "--version", "15-05-2023", "--types", "4,x"},
      {"server-tree", folder, "--version", "15-05-2023", "--countries", "109"},
      {"serve", folder, "--fault", "timeout"},
      {"serve", folder, "--port", "70000"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const auto& a : args) {
      line += a + " ";
    }
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, kToolBadArguments) << line;
    EXPECT_FALSE(run.err.empty()) << line;
    EXPECT_FALSE(fs::exists(folder)) << line << ": nothing is written for bad arguments";
  }
}

TEST(EmuToolTest, ServerTreeWritesTheChosenPackagesAndSaysSo) {
  korvan::testing::ScopedTempDir dir("emu_tool");
  const fs::path root = dir / "server";
  const ToolRun run = RunTool({"server-tree", root.string(), "--version", "15-05-2023", "--types",
                               "9,4", "--countries", "12"});
  ASSERT_EQ(run.exitCode, kToolOk) << run.err;
  EXPECT_NE(run.out.find("4 packages"), std::string::npos) << run.out;
  const fs::path db = root / "wp-content" / "db";
  EXPECT_EQ(fs::file_size(db / "version.txt"), 10u);
  EXPECT_TRUE(fs::exists(db / "15-05-2023" / "UZB" / "DahliaLite_15052023_uz_uz.zip"));
  EXPECT_TRUE(fs::exists(db / "15-05-2023" / "UZB" / "Dahlia_15052023_uz_rus.zip"));
  EXPECT_FALSE(fs::exists(db / "15-05-2023" / "RUS"));
}

TEST(EmuToolTest, ServeOfAMissingFolderFails) {
  korvan::testing::ScopedTempDir dir("emu_tool");
  const ToolRun run = RunTool({"serve", (dir / "missing").string()});
  EXPECT_EQ(run.exitCode, kToolFailed);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find("missing"), std::string::npos) << run.err;
}

TEST(EmuToolTest, HelpIsNotAnError) {
  const ToolRun run = RunTool({"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("make"), std::string::npos);
}

TEST(EmuToolTest, ModelByteText) {
  const struct {
    const char* text;
    std::optional<uint8_t> value;
  } cases[] = {{"5", 5},
               {"0x85", 0x85},
               {"0X1b", 0x1B},
               {"255", 255},
               {"0", 0},
               {"256", std::nullopt},
               {"0x100", std::nullopt},
               {"", std::nullopt},
               {"0x", std::nullopt},
               {"5a", std::nullopt},
               {"-5", std::nullopt},
               {" 5", std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(ParseModelByte(c.text), c.value) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace korvan::emu
