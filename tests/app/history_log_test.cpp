// The run history file: what a line holds, lines that are not runs, the last N, and appends
// from several writers at once.
#include "app/history_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

HistoryEntry UpdateEntry(int n) {
  HistoryEntry entry;
  entry.time = "2026-12-11T02:10:0" + std::to_string(n % 10) + "Z";
  entry.frontEnd = "korvan";
  entry.kind = std::string(kHistoryUpdate);
  entry.model = "FERN_ULTRA_Russia";
  entry.typeCode = 26;
  entry.drive = 2;
  entry.before = {"v02.15", "v00.31", "v1.2 240517"};
  entry.after = {"v03.01", std::nullopt, "v1.2 240517"};
  entry.source = "/tmp/u/FernUltra_F0301_V0031_D240517.bin #" + std::to_string(n);
  entry.components = {{"firmware", "written"}, {"voice", "failed"}, {"database", "same"}};
  entry.error = "voice: the device stopped answering or was unplugged";
  return entry;
}

TEST(HistoryLogTest, ALineHoldsTheWholeRunAndReadsBackAsIt) {
  const HistoryEntry entry = UpdateEntry(1);
  const std::string line = HistoryLine(entry);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_NE(line.find("\"after\":{\"firmware\":\"v03.01\",\"voice\":null"), std::string::npos)
      << line;
  EXPECT_EQ(ParseHistoryLine(line), entry);

  HistoryEntry ok = entry;
  ok.error.clear();
  EXPECT_NE(HistoryLine(ok).find("\"error\":null"), std::string::npos);
  EXPECT_EQ(ParseHistoryLine(HistoryLine(ok)), ok);
  EXPECT_EQ(HistoryTime(std::chrono::system_clock::time_point(std::chrono::seconds(1796955005))),
            "2026-12-11T02:10:05Z");
}

TEST(HistoryLogTest, ReadingSkipsWhatIsNotARunAndKeepsTheLastN) {
  testing::ScopedTempDir dir("history");
  {
    std::ofstream file(dir / "history.jsonl", std::ios::binary);
    file << HistoryLine(UpdateEntry(1)) << "\n"
         << "not json\n"
         << "[1, 2]\n"
         << "{\"kind\": \"update\"}\n"               // no time
         << "{\"time\": 5, \"kind\": \"update\"}\n"  // a time that is not a text
         << "\n"
         << HistoryLine(UpdateEntry(2)) << "\n"
         << R"({"time": "t", "kind": "detect", "typeCode": "26", "before": 3, "drive": 99999})"
         << "\n"
         << HistoryLine(UpdateEntry(3)).substr(0, 40);  // cut short by a crash
  }
  HistoryRead all = ReadHistory(dir.path(), 0);
  EXPECT_EQ(all.unreadable, 5u);
  ASSERT_EQ(all.entries.size(), 3u);
  EXPECT_EQ(all.entries[0], UpdateEntry(1));
  EXPECT_EQ(all.entries[1], UpdateEntry(2));
  // Members of the wrong kind are left out, not taken as something else.
  EXPECT_EQ(all.entries[2].kind, "detect");
  EXPECT_EQ(all.entries[2].typeCode, 0);
  EXPECT_EQ(all.entries[2].drive, -1);
  EXPECT_EQ(all.entries[2].before, HistoryVersions{});

  HistoryRead last = ReadHistory(dir.path(), 2);
  ASSERT_EQ(last.entries.size(), 2u);
  EXPECT_EQ(last.entries[0], UpdateEntry(2));

  EXPECT_TRUE(ReadHistory(dir / "none", 0).fileMissing);
}

TEST(HistoryLogTest, WritersAtOnceKeepTheirLinesWhole) {
  testing::ScopedTempDir dir("history");
  constexpr int kPerWriter = 200;
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&dir, w] {
      for (int i = 0; i < kPerWriter; ++i) {
        ASSERT_TRUE(AppendHistory(dir.path(), UpdateEntry(w * kPerWriter + i)));
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  const HistoryRead read = ReadHistory(dir.path(), 0);
  EXPECT_EQ(read.unreadable, 0u);
  EXPECT_EQ(read.entries.size(), 4u * kPerWriter);

  EXPECT_FALSE(AppendHistory(dir / "missing" / "folder", UpdateEntry(0)));
}

}  // namespace
}  // namespace korvan
