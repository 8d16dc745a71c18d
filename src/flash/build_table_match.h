// Matching a memory copy against a `FirmwareBuildTable`: every row's `ByteSum8` found in one
// pass over the copy. `BuildTableScan` works on bytes handed to it (tests and fuzzers feed it
// directly); `ScanBuildTable` and `MatchBuildTable` stream it from a copy file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/device_info.h"
#include "flash/firmware_build_table.h"
#include "flash/memory_copy_file.h"

namespace korvan {

struct BuildTableMatches {
  int matches = 0;                       // rows whose sum equals the copy's
  VersionDigits digits = kUnreadDigits;  // digits of the last matching row
};

// Sums the copy's bytes from the table's start offset once, noting the running sum as the
// stream passes each row's length, so the longest row's prefix is read once for all rows.
class BuildTableScan {
 public:
  // Keeps a view of the table's rows: they must outlive the scan (the shipped tables do).
  explicit BuildTableScan(const FirmwareBuildTable& table);

  // Bytes still to feed before every row has its sum.
  uint64_t BytesWanted() const;
  // The next bytes of the copy; anything beyond the longest row is ignored.
  void Feed(std::span<const uint8_t> bytes);
  // The copy ends here. The rows still open read zeros from here on, which add nothing to a
  // sum, so they take the running sum.
  void EndOfCopy();

  // A row has no sum when the stream stopped before its end without reaching the end of the
  // copy (a failed read); such a row does not match.
  std::optional<uint8_t> RowSum(size_t row) const { return rowSums_[row]; }
  bool RowMatches(size_t row) const;
  // Rows are counted in table order; the digits are those of the last matching row.
  BuildTableMatches Result() const;

 private:
  void CloseRowsEndingAtFed();

  FirmwareBuildTable table_;
  std::vector<size_t> byLength_;  // row indexes, shortest first
  size_t nextOpen_ = 0;           // first row in byLength_ still without a sum
  uint64_t fed_ = 0;
  uint8_t sum_ = 0;
  std::vector<std::optional<uint8_t>> rowSums_;
};

// Matches every row of `table` against the copy in one pass over the longest row's prefix,
// read in chunks of bounded size. Gives the same result as `MatchBuildTable` row by row.
BuildTableMatches ScanBuildTable(MemoryCopyFile& copy, const FirmwareBuildTable& table);

// `MatchBuildTable`: whether `row` of `table` matches the copy; on a match its digits go to
// `digits`. Reads that row's prefix alone: use `ScanBuildTable` to try a whole table.
bool MatchBuildTable(MemoryCopyFile& copy, const FirmwareBuildTable& table, size_t row,
                     VersionDigits& digits);

}  // namespace korvan
