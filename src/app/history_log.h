// The run history: every detection, update, download, restore and settings run appends one JSON
// line to <working folder>/history.jsonl, so a service centre can tell what was done to which
// detector, with which file, and how it ended.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvan {

inline constexpr std::string_view kHistoryFileName = "history.jsonl";

// The kinds of run.
inline constexpr std::string_view kHistoryDetect = "detect";
inline constexpr std::string_view kHistoryUpdate = "update";      // from a local file
inline constexpr std::string_view kHistoryDownload = "download";  // from the update server
inline constexpr std::string_view kHistoryRestore = "restore";
inline constexpr std::string_view kHistorySettings = "settings";

// What became of one component (firmware, voice, database, signature, settings, ...).
inline constexpr std::string_view kHistoryWritten = "written";  // written and read back
inline constexpr std::string_view kHistorySame = "same";        // the device already held it
inline constexpr std::string_view kHistoryFailed = "failed";    // the device does not hold it

// Version texts as the window shows them; nullopt where not known (after a failed write the
// device holds neither the old version nor the new one).
struct HistoryVersions {
  std::optional<std::string> firmware;
  std::optional<std::string> voice;
  std::optional<std::string> database;

  bool operator==(const HistoryVersions&) const = default;
};

struct HistoryComponent {
  std::string name;
  std::string result;

  bool operator==(const HistoryComponent&) const = default;
};

struct HistoryEntry {
  std::string time;  // UTC, "2026-12-11T02:10:05Z"; AppendHistory fills it when empty
  std::string frontEnd;
  std::string kind;
  std::string model;
  int typeCode = 0;
  int drive = -1;
  HistoryVersions before;
  HistoryVersions after;
  std::string source;  // the update file, the package, the backup
  std::vector<HistoryComponent> components;
  std::string error;  // empty when the run did its work

  bool operator==(const HistoryEntry&) const = default;
};

// "2026-12-11T02:10:05Z".
std::string HistoryTime(std::chrono::system_clock::time_point when);

// One line of the file, without the line break.
std::string HistoryLine(const HistoryEntry& entry);

// The entry a line holds; nullopt for a line that is not one (the file is anybody's to edit,
// and a crash may have cut its last line).
std::optional<HistoryEntry> ParseHistoryLine(std::string_view line);

// Appends `entry` (its time set to now when empty) with one write, so runs of several
// processes do not mix their lines. False when the file cannot be written.
bool AppendHistory(const std::filesystem::path& folder, HistoryEntry entry);

struct HistoryRead {
  std::vector<HistoryEntry> entries;  // oldest first
  size_t unreadable = 0;              // lines that are not entries
  bool fileMissing = false;
};

// The last `last` entries of the folder's history (all when 0).
HistoryRead ReadHistory(const std::filesystem::path& folder, size_t last);

}  // namespace korvan
