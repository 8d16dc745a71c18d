#include "flash/memory_copy_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/flash/copy_fixtures.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using testing::ScopedTempDir;
using testing::WriteCopy;

TEST(MemoryCopyFileTest, ReadsZerosWhereTheCopyEnds) {
  struct Case {
    uint64_t offset;
    size_t size;
    std::optional<size_t> readSome;  // bytes ReadSome reports
    std::vector<uint8_t> zeroFilled;
  };
  const Case cases[] = {
      {0, 4, 4, {1, 2, 3, 4}},        {3, 4, 3, {4, 5, 6, 0}}, {6, 3, 0, {0, 0, 0}},
      {0x7FFFFC, 4, 0, {0, 0, 0, 0}}, {2, 0, 0, {}},
  };
  ScopedTempDir dir;
  const auto path = dir / "copy.bin";
  WriteCopy(path, std::vector<uint8_t>{1, 2, 3, 4, 5, 6});
  MemoryCopyFile copy(path);
  ASSERT_TRUE(copy.IsOpen());
  // Reads in an order that leaves the stream at its end between them.
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " bytes at " << c.offset);
    std::vector<uint8_t> some(c.size, 0xAA);
    EXPECT_EQ(copy.ReadSome(c.offset, some), c.readSome);
    std::vector<uint8_t> filled(c.size, 0xAA);
    ASSERT_TRUE(copy.ReadZeroFilled(c.offset, filled));
    EXPECT_EQ(filled, c.zeroFilled);
  }
}

TEST(MemoryCopyFileTest, ReportsCopiesThatCannotBeOpenedOrRead) {
  ScopedTempDir dir;
  MemoryCopyFile missing(dir / "missing.bin");
  EXPECT_FALSE(missing.IsOpen());
  std::vector<uint8_t> bytes(4);
  EXPECT_FALSE(missing.ReadZeroFilled(0, bytes));

  MemoryCopyFile folder(dir.path());  // opens, but no read succeeds
  EXPECT_FALSE(folder.ReadSome(0, bytes).has_value());
  EXPECT_FALSE(folder.ReadZeroFilled(0, bytes));
}

}  // namespace
}  // namespace korvan
