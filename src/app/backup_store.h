// Backups of the device's two memories, saved before anything is written to it, and read back
// for a restore. A backup is a folder <workdir>/backups/<model>_<YYYYMMDD-HHMMSS>[-N]/ with the
// controller-memory image, the data-flash image and manifest.json. It is made in a hidden
// staging folder and renamed into place only when complete, so a folder with the backup
// name is never half written.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "device/device_info.h"

namespace korvan {

inline constexpr int kDefaultBackupsKept = 5;
inline constexpr std::string_view kBackupsFolderName = "backups";
inline constexpr std::string_view kBackupManifestName = "manifest.json";
inline constexpr std::string_view kBackupControllerName = "controller.bin";
inline constexpr std::string_view kBackupFlashName = "dataflash.bin";
// Staging folders start with this; rotation never looks at them.
inline constexpr std::string_view kBackupStagingPrefix = ".staging-";

struct BackupSettings {
  int keep = kDefaultBackupsKept;  // newest backups kept per model; 0: no backups are made
  std::string programVersion;      // written into each manifest
  // Backups made since then are never pruned: the devices of one `update --all` may be of one
  // model, and each must keep the backup of its own memories whatever `keep` says.
  std::optional<std::chrono::system_clock::time_point> keepSince = std::nullopt;

  bool enabled() const { return keep > 0; }
};

// What a backup is made of: the memory copies of the detection, byte for byte as read.
struct BackupSource {
  DeviceInfo device;
  std::filesystem::path controllerCopy;
  std::filesystem::path flashCopy;
  std::string programVersion;
};

struct BackupResult {
  std::filesystem::path path;  // the staging folder, or the published backup
  std::string error;           // empty on success; an English sentence otherwise
  bool ok() const { return error.empty(); }
};

// The folder name part for the model: its identifier, or "type<N>" for a code without one.
std::string BackupModelName(const DeviceInfo& device);

// Copies the two memory copies into a new staging folder under <workdir>/backups and writes
// the manifest there. The copies must be as long as the model's memories (the detection read
// them whole); anything else fails, as does any file that cannot be written.
BackupResult StageBackup(const std::filesystem::path& workdir, const BackupSource& source);

// Renames the staging folder to <model>_<stamp of `now`, local time>, with -2, -3, ... when that
// name is taken, then keeps only the newest `keep` backups of the model (and any made since
// `keepSince`). Fails when the rename does; the staging folder is then left for the caller to
// discard.
BackupResult PublishBackup(
    const std::filesystem::path& staged, const std::filesystem::path& workdir,
    std::string_view model, int keep,
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
    std::optional<std::chrono::system_clock::time_point> keepSince = {});

// StageBackup then PublishBackup (the staging folder is discarded on failure).
BackupResult SaveBackup(const std::filesystem::path& workdir, const BackupSource& source, int keep);

// Deletes a staging folder; an empty path does nothing.
void DiscardStagedBackup(const std::filesystem::path& staged);

// Keeps the newest `keep` backups of `model` in `backupsFolder`, newest by the stamp and suffix
// in the folder name. Only real folders named exactly <model>_<YYYYMMDD-HHMMSS>[-N] are counted
// or deleted: whatever else lies there (other models, files, links, the user's own folders)
// is left alone, and so is a backup made since `keepSince`.
void PruneBackups(const std::filesystem::path& backupsFolder, std::string_view model, int keep,
                  std::optional<std::chrono::system_clock::time_point> keepSince = {});

struct BackupImageRecord {
  uint64_t size = 0;
  std::string sha256;
};

// manifest.json as read back; only what a restore relies on is required.
struct BackupManifest {
  std::string model;
  int8_t typeCode = 0;
  BackupImageRecord controller;
  BackupImageRecord dataFlash;
};

// Reads and checks <dir>/manifest.json, which is untrusted: it must be a JSON object with the
// keys of a backup of the right types, a model code the program knows, image sizes equal to
// that model's memories, and hashes of 64 hex digits; both image files must be regular files
// of those sizes. nullopt with `error` set otherwise. The hashes are checked by
// CopyVerifiedImage, on the bytes that are then written.
std::optional<BackupManifest> ReadBackupManifest(const std::filesystem::path& dir,
                                                 std::string& error);

// Copies `from` to `to` and checks the copy's size and SHA-256 against `record`; false with
// `error` set (and `to` removed) when it cannot be copied or does not match.
bool CopyVerifiedImage(const std::filesystem::path& from, const std::filesystem::path& to,
                       const BackupImageRecord& record, std::string& error);

}  // namespace korvan
