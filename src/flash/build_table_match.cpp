#include "flash/build_table_match.h"

#include <algorithm>
#include <memory>
#include <new>
#include <numeric>

namespace korvan {
namespace {

// Large enough that the read calls cost little next to the summing, small enough to stay in
// cache whatever the row length.
constexpr size_t kChunkSize = 64 * 1024;

}  // namespace

BuildTableScan::BuildTableScan(const FirmwareBuildTable& table)
    : table_(table), byLength_(table.rows.size()), rowSums_(table.rows.size()) {
  std::iota(byLength_.begin(), byLength_.end(), size_t{0});
  std::stable_sort(byLength_.begin(), byLength_.end(), [this](size_t a, size_t b) {
    return table_.rows[a].length < table_.rows[b].length;
  });
  CloseRowsEndingAtFed();  // rows of length 0
}

uint64_t BuildTableScan::BytesWanted() const {
  if (nextOpen_ == byLength_.size()) {
    return 0;
  }
  return table_.rows[byLength_.back()].length - fed_;
}

void BuildTableScan::Feed(std::span<const uint8_t> bytes) {
  while (!bytes.empty() && nextOpen_ < byLength_.size()) {
    const uint64_t toRowEnd = table_.rows[byLength_[nextOpen_]].length - fed_;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(bytes.size(), toRowEnd));
    sum_ = static_cast<uint8_t>(sum_ + ByteSum8(bytes.first(take)));
    fed_ += take;
    bytes = bytes.subspan(take);
    CloseRowsEndingAtFed();
  }
}

void BuildTableScan::EndOfCopy() {
  for (; nextOpen_ < byLength_.size(); ++nextOpen_) {
    rowSums_[byLength_[nextOpen_]] = sum_;
  }
}

void BuildTableScan::CloseRowsEndingAtFed() {
  while (nextOpen_ < byLength_.size() && table_.rows[byLength_[nextOpen_]].length == fed_) {
    rowSums_[byLength_[nextOpen_]] = sum_;
    ++nextOpen_;
  }
}

bool BuildTableScan::RowMatches(size_t row) const {
  return rowSums_[row].has_value() && *rowSums_[row] == table_.rows[row].sum;
}

BuildTableMatches BuildTableScan::Result() const {
  BuildTableMatches result;
  for (size_t row = 0; row < table_.rows.size(); ++row) {
    if (RowMatches(row)) {
      ++result.matches;
      result.digits = table_.rows[row].digits;
    }
  }
  return result;
}

BuildTableMatches ScanBuildTable(MemoryCopyFile& copy, const FirmwareBuildTable& table) {
  BuildTableScan scan(table);
  // Without a buffer no row can be read, and a row that cannot be read does not match.
  const std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunkSize]);
  if (!chunk) {
    return scan.Result();
  }
  uint64_t offset = table.startOffset;
  while (scan.BytesWanted() > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, scan.BytesWanted()));
    const std::optional<size_t> got = copy.ReadSome(offset, {chunk.get(), want});
    if (!got) {
      break;  // the rows not yet summed stay without a sum
    }
    scan.Feed({chunk.get(), *got});
    if (*got < want) {
      scan.EndOfCopy();
      break;
    }
    offset += *got;
  }
  return scan.Result();
}

bool MatchBuildTable(MemoryCopyFile& copy, const FirmwareBuildTable& table, size_t row,
                     VersionDigits& digits) {
  if (row >= table.rows.size()) {
    return false;
  }
  const FirmwareBuildTable oneRow{table.name, table.startOffset, table.rows.subspan(row, 1)};
  const BuildTableMatches result = ScanBuildTable(copy, oneRow);
  if (result.matches == 0) {
    return false;
  }
  digits = result.digits;
  return true;
}

}  // namespace korvan
