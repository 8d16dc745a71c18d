#include "flash/build_table_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/flash/copy_fixtures.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

using testing::CopyMatchingRows;
using testing::PseudoRandomBytes;
using testing::ReferenceRowSum;
using testing::ScopedTempDir;
using testing::WriteCopy;

// Short rows in no particular order, two of one length and one of none, so that every way the
// stream can meet a row boundary shows up within a few hundred bytes.
constexpr FirmwareBuildRow kSmallRows[] = {
    {17, 0, {0, 0, 0, 1}}, {5, 0, {0, 0, 0, 2}},   {64, 0, {0, 0, 0, 3}}, {17, 0, {0, 0, 0, 4}},
    {0, 0, {0, 0, 0, 5}},  {100, 0, {0, 0, 0, 6}}, {3, 0, {0, 0, 0, 7}},
};
constexpr FirmwareBuildTable kSmallTable{"small", 0, kSmallRows};

TEST(BuildTableScanTest, EveryRowGetsTheSumOfItsPrefixWhateverTheChunking) {
  const size_t copySizes[] = {0, 2, 3, 16, 17, 18, 63, 64, 99, 100, 101, 250};
  const size_t chunkSizes[] = {1, 2, 7, 17, 64, 1000};
  for (const size_t copySize : copySizes) {
    const std::vector<uint8_t> copy = PseudoRandomBytes(copySize, copySize + 1);
    for (const size_t chunkSize : chunkSizes) {
      SCOPED_TRACE(::testing::Message() << "copy " << copySize << ", chunks of " << chunkSize);
      BuildTableScan scan(kSmallTable);
      for (size_t at = 0; at < copy.size() && scan.BytesWanted() > 0; at += chunkSize) {
        scan.Feed(std::span(copy).subspan(at, std::min(chunkSize, copy.size() - at)));
      }
      scan.EndOfCopy();
      EXPECT_EQ(scan.BytesWanted(), 0u);
      for (size_t row = 0; row < std::size(kSmallRows); ++row) {
        EXPECT_EQ(scan.RowSum(row), ReferenceRowSum(copy, 0, kSmallRows[row].length))
            << "row " << row;
      }
    }
  }
}

TEST(BuildTableScanTest, RowsCountInTableOrderAndTheLastMatchGivesTheDigits) {
  const std::vector<uint8_t> copy = PseudoRandomBytes(100, 7);
  std::vector<FirmwareBuildRow> rows(std::begin(kSmallRows), std::end(kSmallRows));
  for (auto& row : rows) {
    row.sum = static_cast<uint8_t>(ReferenceRowSum(copy, 0, row.length) + 1);  // no match
  }
  rows[0].sum = ReferenceRowSum(copy, 0, rows[0].length);
  rows[5].sum = ReferenceRowSum(copy, 0, rows[5].length);
  const FirmwareBuildTable table{"two", 0, rows};

  BuildTableScan scan(table);
  scan.Feed(copy);
  const BuildTableMatches result = scan.Result();
  EXPECT_EQ(result.matches, 2);
  EXPECT_EQ(result.digits, rows[5].digits);
}

TEST(BuildTableScanTest, RowsTheStreamNeverReachedDoNotMatch) {
  // The stream stops after 20 bytes without reaching the end of the copy, as after a failed
  // read. The longer rows would match zero-filled bytes; they must not match unread ones.
  const std::vector<uint8_t> copy = PseudoRandomBytes(20, 3);
  const uint8_t sumOf20 = ReferenceRowSum(copy, 0, 20);
  std::vector<FirmwareBuildRow> rows(std::begin(kSmallRows), std::end(kSmallRows));
  for (auto& row : rows) {
    row.sum = ReferenceRowSum(copy, 0, row.length);
  }
  rows[2].sum = rows[5].sum = sumOf20;  // rows of 64 and 100 bytes
  const FirmwareBuildTable table{"cut", 0, rows};

  BuildTableScan scan(table);
  scan.Feed(copy);
  EXPECT_GT(scan.BytesWanted(), 0u);
  for (size_t row = 0; row < rows.size(); ++row) {
    EXPECT_EQ(scan.RowMatches(row), rows[row].length <= 20) << "row " << row;
  }
  EXPECT_EQ(scan.Result().matches, 5);
}

// The one-pass scan of a copy file against the tables as shipped, checked row by row against
// MatchBuildTable (each row read on its own) and against the rows the copy was built for.
TEST(ScanBuildTableTest, MatchesTheRowByRowReadingOnCopyFiles) {
  struct Case {
    const char* what;
    const FirmwareBuildTable& table;
    size_t copySize;
    std::vector<size_t> wanted;
  };
  const Case cases[] = {
      {"one T3 row", BuildTableT3(), 0x20000, {3}},
      {"no T3 row", BuildTableT3(), 0x20000, {}},
      {"two T4 rows", BuildTableT4(), 0x20000, {0, 5}},
      {"T3 row past the end of a short copy", BuildTableT3(), 0x3000 + 73060, {4}},
      {"copy ending at the table start", BuildTableT1(), 0x3000, {}},
      {"one voice row", BuildTableTV(), 0x300000, {7}},
      {"longest voice row past the end", BuildTableTV(), 2962000, {13}},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto path = dir / "copy.bin";
    WriteCopy(path, CopyMatchingRows(c.copySize, c.table, c.wanted));

    MemoryCopyFile copy(path);
    ASSERT_TRUE(copy.IsOpen());
    const BuildTableMatches scanned = ScanBuildTable(copy, c.table);
    EXPECT_EQ(scanned.matches, static_cast<int>(c.wanted.size()));
    if (!c.wanted.empty()) {
      EXPECT_EQ(scanned.digits,
                c.table.rows[*std::max_element(c.wanted.begin(), c.wanted.end())].digits);
    }
    for (size_t row = 0; row < c.table.rows.size(); ++row) {
      VersionDigits digits = kUnreadDigits;
      const bool wanted = std::find(c.wanted.begin(), c.wanted.end(), row) != c.wanted.end();
      EXPECT_EQ(MatchBuildTable(copy, c.table, row, digits), wanted) << "row " << row;
      EXPECT_EQ(digits, wanted ? c.table.rows[row].digits : kUnreadDigits) << "row " << row;
    }
  }
}

TEST(ScanBuildTableTest, AnUnreadableCopyMatchesNoRow) {
  // A folder opens but cannot be read: no row can be obtained, not even one that zero-filled
  // bytes would match.
  const FirmwareBuildRow zeroSumRow[] = {{1000, 0, {0, 0, 0, 1}}};
  const FirmwareBuildTable table{"zero", 0, zeroSumRow};
  ScopedTempDir dir;
  MemoryCopyFile copy(dir.path());
#ifdef _WIN32
  if (!copy.IsOpen()) {
    GTEST_SKIP() << "a folder does not open as a file here: no open but unreadable copy to make";
  }
#endif
  ASSERT_TRUE(copy.IsOpen());
  EXPECT_EQ(ScanBuildTable(copy, table).matches, 0);
  VersionDigits digits = kUnreadDigits;
  EXPECT_FALSE(MatchBuildTable(copy, table, 0, digits));
}

}  // namespace
}  // namespace korvan
