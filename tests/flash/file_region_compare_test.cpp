// CompareAndExtract and CompareFileRegions on small files built in code, on a file that is both
// compared and replaced, and on regions longer than 8 MiB.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "flash/region_writer.h"
#include "tests/flash/copy_fixtures.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using Bytes = std::vector<uint8_t>;
using korvan::testing::PseudoRandomBytes;
using korvan::testing::WriteCopy;

std::optional<Bytes> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Erased(size_t size) {
  return Bytes(size, 0xFF);
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Slice(const Bytes& bytes, size_t offset, size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CompareAndExtractTest, ErasedPaddingAndExtraction) {
  const Bytes r64 = PseudoRandomBytes(64, 1);
  const Bytes other64 = PseudoRandomBytes(64, 2);
  struct Case {
    const char* name;
    std::optional<Bytes> a;  // nullopt: fileA does not exist
    uint64_t offsetA;
    Bytes b;
    uint64_t offsetB;
    uint64_t length;
    uint64_t extractEnd;
    bool equal;
    std::optional<Bytes> aAfter;  // nullopt: fileA still does not exist
  };
  const Bytes aWithRegionAt100 = Cat(PseudoRandomBytes(100, 3), r64);
  const Bytes bWithRegionAt16 = Cat(PseudoRandomBytes(16, 4), other64);
  const Case cases[] = {
      {"equal regions at different offsets leave fileA alone", aWithRegionAt100, 100,
       Cat(Bytes(7, 0), r64), 7, 64, 0, true, aWithRegionAt100},
      {"differing: fileA becomes fileB's region", r64, 0, bWithRegionAt16, 16, 64, 0, false,
       other64},
      {"missing fileA compares as erased and is created", std::nullopt, 0, r64, 0, 64, 0, false,
       r64},
      {"missing fileA equals an erased region and stays missing", std::nullopt, 0, Erased(64), 0,
       64, 0, true, std::nullopt},
      {"both regions past their files' ends are erased", r64, 200, other64, 100, 32, 0, true, r64},
      {"fileA ending early matches erased bytes in fileB", Slice(r64, 0, 40), 0,
       Cat(Slice(r64, 0, 40), Erased(24)), 0, 64, 0, true, Slice(r64, 0, 40)},
      {"fileB ending early: the extract is padded with 0xFF", Bytes(64, 0), 0, Slice(r64, 0, 40), 0,
       64, 0, false, Cat(Slice(r64, 0, 40), Erased(24))},
      {"extraction end past the region pads up to it", aWithRegionAt100, 100, other64, 0, 64,
       100 + 100, false, Cat(other64, Erased(36))},
      {"extraction end inside the region cuts the extract", aWithRegionAt100, 100, other64, 0, 64,
       100 + 40, false, Slice(other64, 0, 40)},
      {"extraction end before offsetA leaves an empty file", aWithRegionAt100, 100, other64, 0, 64,
       50, false, Bytes{}},
      {"length 0 is equal", r64, 0, other64, 0, 0, 0, true, r64},
  };
  for (const auto& c : cases) {
    korvan::testing::ScopedTempDir dir("compare");
    const auto fileA = dir / "TempImageData.bin";
    const auto fileB = dir / "update.bin";
    if (c.a) {
      WriteCopy(fileA, *c.a);
    }
    WriteCopy(fileB, c.b);
    EXPECT_EQ(CompareAndExtract(fileA, c.offsetA, fileB, c.offsetB, c.length, c.extractEnd),
              c.equal ? CompareOutcome::Equal : CompareOutcome::Extracted)
        << c.name;
    EXPECT_EQ(ReadFile(fileA), c.aAfter) << c.name;
    EXPECT_EQ(ReadFile(fileB), c.b) << c.name << ": fileB is only read";
    const std::vector<std::string> expectedEntries =
        c.aAfter ? std::vector<std::string>{"TempImageData.bin", "update.bin"}
                 : std::vector<std::string>{"update.bin"};
    EXPECT_EQ(FolderEntries(dir.path()), expectedEntries) << c.name << ": nothing left behind";
  }
}

TEST(CompareAndExtractTest, FileReplacedByARegionOfItself) {
  // The device copy is both the file compared and the file replaced; here it is also the file
  // the region comes from, so its old bytes must survive until the extract is complete.
  const Bytes first = PseudoRandomBytes(4096, 5);
  const Bytes second = PseudoRandomBytes(4096, 6);
  struct Case {
    const char* name;
    uint64_t extractEnd;
    Bytes expected;
  };
  const Case cases[] = {
      {"region length", 0, second},
      {"padded to the extraction end", 6000, Cat(second, Erased(6000 - 4096))},
  };
  for (const auto& c : cases) {
    korvan::testing::ScopedTempDir dir("compare");
    const auto copy = dir / "TempImageData.bin";
    WriteCopy(copy, Cat(first, second));
    EXPECT_EQ(CompareAndExtract(copy, 0, copy, 4096, 4096, c.extractEnd), CompareOutcome::Extracted)
        << c.name;
    EXPECT_EQ(ReadFile(copy), c.expected) << c.name;
    EXPECT_THAT(FolderEntries(dir.path()), ::testing::ElementsAre("TempImageData.bin")) << c.name;
  }
}

TEST(CompareAndExtractTest, CopyReplacedComponentByComponent) {
  // The voice step replaces the data-flash copy with the voice; the database step then finds its
  // device side past the end of that file, erased, and extracts the database.
  korvan::testing::ScopedTempDir dir("compare");
  const auto copy = dir / "TempImageData.bin";
  const auto update = dir / "update.bin";
  const Bytes flash = PseudoRandomBytes(64 * 1024, 7);
  const Bytes voice = PseudoRandomBytes(8 * 1024, 8);
  const Bytes database = Slice(flash, 0x8000, 4096);  // what the device already holds
  WriteCopy(copy, flash);
  WriteCopy(update, Cat(Cat(Bytes(16, 0), voice), database));

  EXPECT_EQ(CompareAndExtract(copy, 0x8000, update, 16 + voice.size(), database.size(), 0),
            CompareOutcome::Equal)
      << "before the voice step the database is the same";
  EXPECT_EQ(CompareAndExtract(copy, 0, update, 16, voice.size(), 0), CompareOutcome::Extracted);
  EXPECT_EQ(ReadFile(copy), voice);
  EXPECT_EQ(CompareAndExtract(copy, 0x8000, update, 16 + voice.size(), database.size(), 0),
            CompareOutcome::Extracted);
  EXPECT_EQ(ReadFile(copy), database);
}

TEST(CompareAndExtractTest, AnExtractThatCannotBeMadeLeavesTheCopyAndSaysSo) {
  // The copy keeps the whole memory read at detection when no extract replaces it; that must
  // never pass for the component.
  const Bytes copyBytes = PseudoRandomBytes(4096, 10);
  const Bytes component = PseudoRandomBytes(1024, 11);
  struct Case {
    const char* name;
    bool partIsFolder;  // something not ours stands where the extract is written
    bool updateMissing;
    bool updateIsFolder;
  };
  const Case cases[] = {
      {"extract cannot be written", true, false, false},
      {"update file missing", false, true, false},
      {"update file is a folder", false, false, true},
  };
  for (const auto& c : cases) {
    korvan::testing::ScopedTempDir dir("compare");
    const auto copy = dir / "TempImageData.bin";
    const auto update = dir / "update.bin";
    WriteCopy(copy, copyBytes);
    if (c.updateIsFolder) {
      std::filesystem::create_directory(update);
    } else if (!c.updateMissing) {
      WriteCopy(update, component);
    }
    if (c.partIsFolder) {
      std::filesystem::create_directory(dir / "TempImageData.bin.part");
    }
    EXPECT_EQ(CompareAndExtract(copy, 0, update, 0, component.size(), 0), CompareOutcome::Failed)
        << c.name;
    EXPECT_EQ(ReadFile(copy), copyBytes) << c.name;
    EXPECT_EQ(std::filesystem::is_directory(dir / "TempImageData.bin.part"), c.partIsFolder)
        << c.name << ": a folder that is not ours stays";
  }
}

TEST(CompareFileRegionsTest, ComparesWithoutChangingAnything) {
  const Bytes r64 = PseudoRandomBytes(64, 9);
  Bytes changed = r64;
  changed[63] ^= 0x01;
  struct Case {
    const char* name;
    std::optional<Bytes> a;
    std::optional<Bytes> b;
    bool enabled;
    bool equal;
  };
  const Case cases[] = {
      {"equal", r64, r64, true, true},
      {"last byte differs", r64, changed, true, false},
      {"missing read-back against data", std::nullopt, r64, true, false},
      {"both missing: erased against erased", std::nullopt, std::nullopt, true, true},
      {"disabled: equal whatever the files hold", r64, changed, false, true},
      {"disabled with missing files", std::nullopt, r64, false, true},
  };
  for (const auto& c : cases) {
    korvan::testing::ScopedTempDir dir("compare");
    const auto fileA = dir / "VerifyImage.bin";
    const auto fileB = dir / "TempImageData.bin";
    if (c.a) {
      WriteCopy(fileA, *c.a);
    }
    if (c.b) {
      WriteCopy(fileB, *c.b);
    }
    EXPECT_EQ(CompareFileRegions(fileA, 0, fileB, 0, 64, c.enabled), c.equal) << c.name;
    EXPECT_EQ(ReadFile(fileA), c.a) << c.name;
    EXPECT_EQ(ReadFile(fileB), c.b) << c.name;
  }
}

TEST(CompareAndExtractTest, RegionsLongerThanEightMebibytes) {
  // Longer than any single buffer the comparison uses, and not a whole number of chunks.
  constexpr uint64_t kLength = 8 * 1024 * 1024 + 3 * 1024 + 5;
  constexpr uint64_t kOffsetB = 16;
  const Bytes a = PseudoRandomBytes(kLength, 10);
  struct Case {
    const char* name;
    std::optional<uint64_t> flippedAt;  // byte of the region that differs in fileB
  };
  const Case cases[] = {
      {"equal", std::nullopt},
      {"differs past 8 MiB", 8 * 1024 * 1024 + 100},
      {"differs in the last byte", kLength - 1},
  };
  for (const auto& c : cases) {
    korvan::testing::ScopedTempDir dir("compare");
    const auto fileA = dir / "TempFwData.bin";
    const auto fileB = dir / "update.bin";
    Bytes region = a;
    if (c.flippedAt) {
      region[*c.flippedAt] ^= 0x80;
    }
    WriteCopy(fileA, a);
    WriteCopy(fileB, Cat(Bytes(kOffsetB, 0), region));
    const bool equal = !c.flippedAt;
    EXPECT_EQ(CompareFileRegions(fileA, 0, fileB, kOffsetB, kLength, true), equal) << c.name;
    EXPECT_EQ(CompareAndExtract(fileA, 0, fileB, kOffsetB, kLength, 0),
              equal ? CompareOutcome::Equal : CompareOutcome::Extracted)
        << c.name;
    EXPECT_TRUE(ReadFile(fileA) == region) << c.name << ": fileA holds fileB's region";
  }
}

}  // namespace
}  // namespace korvan
