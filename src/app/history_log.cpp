#include "app/history_log.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <ctime>
#include <deque>
#include <fstream>
#include <nlohmann/json.hpp>

namespace korvan {
namespace {

using Json = nlohmann::ordered_json;

Json VersionsJson(const HistoryVersions& versions) {
  const auto text = [](const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
  };
  return Json{{"firmware", text(versions.firmware)},
              {"voice", text(versions.voice)},
              {"database", text(versions.database)}};
}

// A text member, or nullopt when it is missing or not a text.
std::optional<std::string> Text(const Json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) {
    return std::nullopt;
  }
  return it->get<std::string>();
}

std::optional<HistoryVersions> ParseVersions(const Json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_object()) {
    return std::nullopt;
  }
  HistoryVersions versions;
  for (const auto& [name, field] :
       {std::pair{"firmware", &versions.firmware}, std::pair{"voice", &versions.voice},
        std::pair{"database", &versions.database}}) {
    const auto member = it->find(name);
    if (member == it->end() || member->is_null()) {
      continue;
    }
    if (!member->is_string()) {
      return std::nullopt;
    }
    *field = member->get<std::string>();
  }
  return versions;
}

// Appends `bytes` to the file at `path` (created when missing) with one append-mode write, so
// lines of runs in several processes stay whole.
#ifdef _WIN32
bool AppendWhole(const std::filesystem::path& path, std::string_view bytes) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file, as
  // O_APPEND does. FILE_READ_DATA is what the byte lock below needs.
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  // Writers of other handles wait on a lock of one byte far past any line: appending at the end
  // is then one writer's step at a time even where the file system (or wine) appends by seeking
  // to the end and writing, two steps another writer can come between.
  OVERLAPPED lockAt{};
  lockAt.Offset = 0;
  lockAt.OffsetHigh = 0x40000000;
  const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
  bool written = true;
  while (written && !bytes.empty()) {
    DWORD n = 0;
    written =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n > 0;
    bytes.remove_prefix(n);
  }
  if (locked) {
    ::UnlockFileEx(file, 0, 1, 0, &lockAt);
  }
  return ::CloseHandle(file) && written;
}
#else
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool AppendWhole(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  const bool written = WriteAll(fd, bytes);
  return ::close(fd) == 0 && written;
}
#endif

}  // namespace

std::string HistoryTime(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string HistoryLine(const HistoryEntry& entry) {
  Json components = Json::object();
  for (const HistoryComponent& component : entry.components) {
    components[component.name] = component.result;
  }
  const Json line{
      {"time", entry.time},
      {"frontEnd", entry.frontEnd},
      {"kind", entry.kind},
      {"model", entry.model},
      {"typeCode", entry.typeCode},
      {"drive", entry.drive},
      {"before", VersionsJson(entry.before)},
      {"after", VersionsJson(entry.after)},
      {"source", entry.source},
      {"components", components},
      {"error", entry.error.empty() ? Json(nullptr) : Json(entry.error)},
  };
  // Texts from devices and file names may hold bytes that are not UTF-8; they are replaced
  // rather than losing the line.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<HistoryEntry> ParseHistoryLine(std::string_view line) {
  const Json json = Json::parse(line, nullptr, false);
  if (!json.is_object()) {
    return std::nullopt;
  }
  HistoryEntry entry;
  const auto time = Text(json, "time");
  const auto kind = Text(json, "kind");
  if (!time || !kind) {
    return std::nullopt;
  }
  entry.time = *time;
  entry.kind = *kind;
  entry.frontEnd = Text(json, "frontEnd").value_or("");
  entry.model = Text(json, "model").value_or("");
  entry.source = Text(json, "source").value_or("");
  entry.error = Text(json, "error").value_or("");
  for (const auto& [key, field] :
       {std::pair{"typeCode", &entry.typeCode}, std::pair{"drive", &entry.drive}}) {
    const auto it = json.find(key);
    if (it != json.end() && it->is_number_integer()) {
      const auto value = it->get<int64_t>();
      if (value >= -1 && value <= 255) {
        *field = static_cast<int>(value);
      }
    }
  }
  entry.before = ParseVersions(json, "before").value_or(HistoryVersions{});
  entry.after = ParseVersions(json, "after").value_or(HistoryVersions{});
  if (const auto it = json.find("components"); it != json.end() && it->is_object()) {
    for (const auto& [name, result] : it->items()) {
      if (result.is_string()) {
        entry.components.push_back({name, result.get<std::string>()});
      }
    }
  }
  return entry;
}

bool AppendHistory(const std::filesystem::path& folder, HistoryEntry entry) {
  if (entry.time.empty()) {
    entry.time = HistoryTime(std::chrono::system_clock::now());
  }
  const std::string line = HistoryLine(entry) + "\n";
  return AppendWhole(folder / kHistoryFileName, line);
}

HistoryRead ReadHistory(const std::filesystem::path& folder, size_t last) {
  HistoryRead read;
  std::ifstream in(folder / kHistoryFileName, std::ios::binary);
  if (!in) {
    read.fileMissing = true;
    return read;
  }
  // Only the last `last` entries are kept while reading: the file grows for ever.
  std::deque<HistoryEntry> kept;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) {
      continue;
    }
    std::optional<HistoryEntry> entry = ParseHistoryLine(line);
    if (!entry) {
      ++read.unreadable;
      continue;
    }
    kept.push_back(std::move(*entry));
    if (last != 0 && kept.size() > last) {
      kept.pop_front();
    }
  }
  read.entries.assign(std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()));
  return read;
}

}  // namespace korvan
