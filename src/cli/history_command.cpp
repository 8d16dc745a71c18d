#include "cli/history_command.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/history_log.h"
#include "cli/json_text.h"
#include "sources/program_folder.h"

namespace korvan::cli {
namespace {

// "v02.15", or "v02.15 > v03.01" when the run changed it; "?" where it is not known.
std::string Change(const std::optional<std::string>& before,
                   const std::optional<std::string>& after) {
  if (!before && !after) {
    return "";
  }
  if (before == after) {
    return *before;
  }
  return before.value_or("?") + " > " + after.value_or("?");
}

std::string Result(const HistoryEntry& entry) {
  return entry.error.empty() ? "ok" : "failed: " + entry.error;
}

void PrintTable(const std::vector<HistoryEntry>& entries, std::ostream& out) {
  using Row = std::array<std::string, 8>;
  std::vector<Row> rows{
      {"TIME", "PROGRAM", "KIND", "MODEL", "FIRMWARE", "VOICE", "DATABASE", "RESULT"}};
  for (const HistoryEntry& e : entries) {
    rows.push_back({e.time, e.frontEnd, e.kind, e.model,
                    Change(e.before.firmware, e.after.firmware),
                    Change(e.before.voice, e.after.voice),
                    Change(e.before.database, e.after.database), Result(e)});
  }
  std::array<size_t, 8> widths{};
  for (const Row& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  for (const Row& row : rows) {
    std::string line;
    for (size_t i = 0; i + 1 < row.size(); ++i) {
      line += row[i] + std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out << line << row.back() << '\n';
  }
}

}  // namespace

int RunHistory(const frontend::GlobalOptions& options, const HistoryOptions& history,
               std::ostream& out, std::ostream& err) {
  std::string error;
  const auto folder = PrepareProgramFolder(options.workdir, error);
  if (!folder) {
    err << "korvan: " << error << "\n";
    return 2;
  }
  const HistoryRead read = ReadHistory(*folder, history.last);
  if (read.unreadable != 0) {
    err << "korvan: " << (*folder / kHistoryFileName).string() << ": " << read.unreadable
        << (read.unreadable == 1 ? " line is" : " lines are") << " not a run and "
        << (read.unreadable == 1 ? "was" : "were") << " skipped\n";
  }
  if (options.json) {
    nlohmann::ordered_json runs = nlohmann::ordered_json::array();
    for (const HistoryEntry& entry : read.entries) {
      runs.push_back(nlohmann::ordered_json::parse(HistoryLine(entry)));
    }
    out << JsonLine(runs) << '\n';
    return 0;
  }
  if (read.entries.empty()) {
    out << "No runs recorded in " << (*folder / kHistoryFileName).string() << " yet.\n";
    return 0;
  }
  PrintTable(read.entries, out);
  return 0;
}

}  // namespace korvan::cli
