#include "app/run_history.h"

#include <algorithm>

#include "app/main_window_steps.h"
#include "sources/update_file_rules.h"

namespace korvan {
namespace {

std::optional<std::string> Known(const VersionDigits& digits) {
  if (digits == kUnreadDigits) {
    return std::nullopt;
  }
  return DetectedVersionText(digits);
}

}  // namespace

HistoryVersions DeviceVersions(const DeviceInfo& info) {
  HistoryVersions versions;
  versions.firmware = Known(info.fwVersion);
  versions.voice = Known(info.voiceVersion);
  const bool dbUnread = std::all_of(info.dbVersion.begin(), info.dbVersion.end(),
                                    [](uint8_t byte) { return byte == 0xFF; });
  if (!dbUnread) {
    versions.database = DetectedDbVersionText(info.dbVersion);
  }
  return versions;
}

HistoryVersions UpdateFileVersions(const UpdateFileInfo& info, int8_t type,
                                   const std::filesystem::path& file) {
  const auto text = [](const std::array<uint16_t, 4>& d) {
    return FormatVersionText(d[0], d[1], d[2], d[3]);
  };
  return {text(info.fileFwVersion), text(info.fileVoiceVersion),
          FormatDateText(file.filename().string(), type)};
}

HistoryEntry DeviceHistoryEntry(std::string_view kind, std::string_view frontEnd,
                                const DeviceInfo& info, int drive) {
  HistoryEntry entry;
  entry.kind = kind;
  entry.frontEnd = frontEnd;
  entry.model = ModelText(info);
  entry.typeCode = info.typeCode;
  entry.drive = drive;
  entry.before = DeviceVersions(info);
  entry.after = entry.before;
  return entry;
}

}  // namespace korvan
