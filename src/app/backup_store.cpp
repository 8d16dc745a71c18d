#include "app/backup_store.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

#include "app/main_window_steps.h"
#include "app/sha256_file.h"
#include "device/model_catalogue.h"
#include "device/unit.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr int kManifestFormat = 1;
constexpr size_t kStampLength = 15;  // YYYYMMDD-HHMMSS

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

std::string Because(const std::error_code& error) {
  return error ? ": " + error.message() : std::string();
}

// The sizes the detection's copies have: the model's memories. A model without data flash has
// no copy of it (the detection reads none) and an empty image.
uint64_t ExpectedControllerSize(int8_t type) {
  return std::max<uint64_t>(ModelCatalogue::FwReadLength(type), kUnitSize);
}
uint64_t ExpectedFlashSize(int8_t type) {
  return ModelCatalogue::FlashSize(type);
}

std::string Stamp(std::chrono::system_clock::time_point now) {
  const std::time_t time = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The stamp and suffix of a backup folder name of `model`; nullopt for any other name.
struct BackupName {
  std::string stamp;
  unsigned suffix = 1;  // no suffix: the first backup of its second
};
std::optional<BackupName> ParseBackupName(std::string_view name, std::string_view model) {
  if (name.size() < model.size() + 1 + kStampLength || name.substr(0, model.size()) != model ||
      name[model.size()] != '_') {
    return std::nullopt;
  }
  const std::string_view stamp = name.substr(model.size() + 1, kStampLength);
  if (!AllDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !AllDigits(stamp.substr(9))) {
    return std::nullopt;
  }
  BackupName parsed{std::string(stamp)};
  const std::string_view rest = name.substr(model.size() + 1 + kStampLength);
  if (!rest.empty()) {
    if (rest[0] != '-' || rest.size() > 6 || !AllDigits(rest.substr(1))) {
      return std::nullopt;
    }
    parsed.suffix = static_cast<unsigned>(std::stoul(std::string(rest.substr(1))));
    if (parsed.suffix < 2) {
      return std::nullopt;
    }
  }
  return parsed;
}

bool CopyImage(const fs::path& from, const fs::path& to, uint64_t expected, std::string_view what,
               std::string& error) {
  std::error_code code;
  if (expected == 0) {
    std::ofstream empty(to, std::ios::binary | std::ios::trunc);
    if (!empty) {
      error = "cannot create " + Quoted(to);
      return false;
    }
    return true;
  }
  const uint64_t size = fs::file_size(from, code);
  if (code || size != expected) {
    error =
        "the " + std::string(what) + " copy " + Quoted(from) +
        (code ? " cannot be read" + Because(code)
              : " holds " + std::to_string(size) + " bytes instead of " + std::to_string(expected));
    return false;
  }
  if (!fs::copy_file(from, to, code) || fs::file_size(to, code) != expected) {
    error = "cannot copy the " + std::string(what) + " image to " + Quoted(to) + Because(code);
    return false;
  }
  return true;
}

bool WriteText(const fs::path& path, const std::string& text, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    error = "cannot write " + Quoted(path);
    return false;
  }
  return true;
}

Json ImageRecord(std::string_view file, uint64_t size, const std::string& sha256) {
  return Json{{"file", file}, {"size", size}, {"sha256", sha256}};
}

bool IsHexDigest(const std::string& text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

std::string BackupModelName(const DeviceInfo& device) {
  std::string name(ModelCatalogue::ModelIdentifier(device.typeCode, device.typeForced));
  if (name.empty()) {
    name = "type" + std::to_string(device.typeCode);
  }
  // The name becomes part of a path: nothing but letters, digits and '_'.
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return name;
}

BackupResult StageBackup(const fs::path& workdir, const BackupSource& source) {
  const fs::path backups = workdir / kBackupsFolderName;
  std::error_code code;
  fs::create_directories(backups, code);
  if (code || !fs::is_directory(backups)) {
    return {{}, "cannot create the backups folder " + Quoted(backups) + Because(code)};
  }
  fs::path staged;
  std::random_device random;
  for (int attempt = 0; attempt < 100 && staged.empty(); ++attempt) {
    const fs::path candidate =
        backups / (std::string(kBackupStagingPrefix) + std::to_string(random()));
    if (fs::create_directory(candidate, code)) {
      staged = candidate;
    } else if (code) {
      return {{}, "cannot create a folder in " + Quoted(backups) + Because(code)};
    }
  }
  if (staged.empty()) {
    return {{}, "cannot find a free staging folder name in " + Quoted(backups)};
  }

  const int8_t type = source.device.typeCode;
  BackupResult result{staged, {}};
  const fs::path controller = staged / kBackupControllerName;
  const fs::path flash = staged / kBackupFlashName;
  if (!CopyImage(source.controllerCopy, controller, ExpectedControllerSize(type),
                 "controller-memory", result.error) ||
      !CopyImage(source.flashCopy, flash, ExpectedFlashSize(type), "data-flash", result.error)) {
    DiscardStagedBackup(staged);
    return {{}, result.error};
  }
  // Hashed from the backup's own files: what the manifest vouches for is what was stored.
  const auto controllerHash = Sha256File(controller);
  const auto flashHash = Sha256File(flash);
  if (!controllerHash || !flashHash) {
    DiscardStagedBackup(staged);
    return {{}, "cannot read back the images in " + Quoted(staged)};
  }
  const DeviceInfo& device = source.device;
  const Json manifest{
      {"format", kManifestFormat},
      {"model", BackupModelName(device)},
      {"typeCode", device.typeCode},
      {"country", device.country},
      {"firmware", DetectedVersionText(device.fwVersion)},
      {"voice", DetectedVersionText(device.voiceVersion)},
      {"database", DetectedDbVersionText(device.dbVersion)},
      {"program", source.programVersion},
      {"images",
       {{"controller",
         ImageRecord(kBackupControllerName, ExpectedControllerSize(type), *controllerHash)},
        {"dataFlash", ImageRecord(kBackupFlashName, ExpectedFlashSize(type), *flashHash)}}},
  };
  // The database text holds the device's bytes as they are: not always UTF-8.
  if (!WriteText(staged / kBackupManifestName,
                 manifest.dump(2, ' ', false, Json::error_handler_t::replace) + "\n",
                 result.error)) {
    DiscardStagedBackup(staged);
    return {{}, result.error};
  }
  return result;
}

BackupResult PublishBackup(const fs::path& staged, const fs::path& workdir, std::string_view model,
                           int keep, std::chrono::system_clock::time_point now,
                           std::optional<std::chrono::system_clock::time_point> keepSince) {
  const fs::path backups = workdir / kBackupsFolderName;
  const std::string base = std::string(model) + "_" + Stamp(now);
  std::error_code code;
  for (unsigned suffix = 1; suffix < 1000; ++suffix) {
    const fs::path target = backups / (suffix == 1 ? base : base + "-" + std::to_string(suffix));
    // Two backups in one second get different names. A rename onto an existing folder could
    // replace an empty one, so taken names are passed over first.
    if (fs::exists(fs::symlink_status(target, code))) {
      continue;
    }
    fs::rename(staged, target, code);
    if (!code) {
      PruneBackups(backups, model, keep, keepSince);
      return {target, {}};
    }
    if (code != std::errc::directory_not_empty && code != std::errc::file_exists) {
      break;
    }
  }
  return {staged, "cannot move the backup into place in " + Quoted(backups) + Because(code)};
}

BackupResult SaveBackup(const fs::path& workdir, const BackupSource& source, int keep) {
  const BackupResult staged = StageBackup(workdir, source);
  if (!staged.ok()) {
    return staged;
  }
  BackupResult published =
      PublishBackup(staged.path, workdir, BackupModelName(source.device), keep);
  if (!published.ok()) {
    DiscardStagedBackup(staged.path);
  }
  return published;
}

void DiscardStagedBackup(const fs::path& staged) {
  if (!staged.empty()) {
    std::error_code ignored;
    fs::remove_all(staged, ignored);
  }
}

void PruneBackups(const fs::path& backupsFolder, std::string_view model, int keep,
                  std::optional<std::chrono::system_clock::time_point> keepSince) {
  // Stamps are local times written most significant first, so they compare as texts.
  const std::string kept = keepSince ? Stamp(*keepSince) : std::string();
  struct Found {
    BackupName name;
    fs::path path;
  };
  std::vector<Found> found;
  std::error_code code;
  for (fs::directory_iterator it(backupsFolder, code), end; !code && it != end;
       it.increment(code)) {
    const auto name = ParseBackupName(it->path().filename().string(), model);
    // A link is never ours, even when it points at a folder.
    if (name && it->is_directory(code) && !it->is_symlink(code)) {
      found.push_back({*name, it->path()});
    }
  }
  if (code || found.size() <= static_cast<size_t>(std::max(keep, 0))) {
    return;
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.name.stamp != b.name.stamp ? a.name.stamp > b.name.stamp
                                        : a.name.suffix > b.name.suffix;
  });
  for (size_t i = static_cast<size_t>(std::max(keep, 0)); i < found.size(); ++i) {
    if (!kept.empty() && found[i].name.stamp >= kept) {
      continue;
    }
    std::error_code ignored;
    fs::remove_all(found[i].path, ignored);
  }
}

std::optional<BackupManifest> ReadBackupManifest(const fs::path& dir, std::string& error) {
  const fs::path path = dir / kBackupManifestName;
  std::ifstream in(path, std::ios::binary);
  if (!fs::is_directory(dir) || !in) {
    error = "no backup in " + Quoted(dir) + ": " + std::string(kBackupManifestName) +
            " cannot be opened";
    return std::nullopt;
  }
  const Json manifest = Json::parse(in, nullptr, false);
  const auto bad = [&error, &path](std::string_view why) {
    error = Quoted(path) + " is not a backup manifest: " + std::string(why);
    return std::nullopt;
  };
  if (manifest.is_discarded() || !manifest.is_object()) {
    return bad("not a JSON object");
  }
  BackupManifest result;
  const auto model = manifest.find("model");
  const auto type = manifest.find("typeCode");
  const auto images = manifest.find("images");
  if (model == manifest.end() || !model->is_string()) {
    return bad("\"model\" is missing or not a string");
  }
  if (type == manifest.end() || !type->is_number_integer() || *type < -128 || *type > 127 ||
      !ModelCatalogue::HasEntries(type->get<int8_t>())) {
    return bad("\"typeCode\" is missing or not a model code of this program");
  }
  if (images == manifest.end() || !images->is_object()) {
    return bad("\"images\" is missing or not an object");
  }
  result.model = model->get<std::string>();
  result.typeCode = type->get<int8_t>();
  struct Image {
    const char* key;
    std::string_view file;
    uint64_t size;
    BackupImageRecord* record;
  };
  const Image expected[] = {
      {"controller", kBackupControllerName, ExpectedControllerSize(result.typeCode),
       &result.controller},
      {"dataFlash", kBackupFlashName, ExpectedFlashSize(result.typeCode), &result.dataFlash},
  };
  for (const Image& image : expected) {
    const auto entry = images->find(image.key);
    if (entry == images->end() || !entry->is_object()) {
      return bad("\"images\"." + std::string(image.key) + " is missing");
    }
    const auto size = entry->find("size");
    const auto sha = entry->find("sha256");
    const auto file = entry->find("file");
    if (size == entry->end() || !size->is_number_unsigned() || sha == entry->end() ||
        !sha->is_string() || !IsHexDigest(sha->get<std::string>())) {
      return bad(std::string(image.key) + ": \"size\" or \"sha256\" is missing or malformed");
    }
    // The images have fixed names: a manifest cannot point the restore at other files.
    if (file != entry->end() && (!file->is_string() || file->get<std::string>() != image.file)) {
      return bad(std::string(image.key) + ": \"file\" must be " + std::string(image.file));
    }
    if (size->get<uint64_t>() != image.size) {
      return bad(std::string(image.key) + " is " + std::to_string(size->get<uint64_t>()) +
                 " bytes; the model's memory is " + std::to_string(image.size));
    }
    const fs::path imagePath = dir / image.file;
    std::error_code code;
    const auto status = fs::status(imagePath, code);
    if (code || !fs::is_regular_file(status) || fs::file_size(imagePath, code) != image.size ||
        code) {
      error = "the image " + Quoted(imagePath) + " is missing or not " +
              std::to_string(image.size) + " bytes long";
      return std::nullopt;
    }
    *image.record = {image.size, sha->get<std::string>()};
  }
  return result;
}

bool CopyVerifiedImage(const fs::path& from, const fs::path& to, const BackupImageRecord& record,
                       std::string& error) {
  std::error_code code;
  fs::remove(to, code);
  if (!fs::copy_file(from, to, code)) {
    error = "cannot copy " + Quoted(from) + " to " + Quoted(to) + Because(code);
    return false;
  }
  const auto hash = Sha256File(to);
  if (fs::file_size(to, code) != record.size || code || !hash || *hash != record.sha256) {
    fs::remove(to, code);
    error = "the image " + Quoted(from) + " does not match its SHA-256 in the manifest";
    return false;
  }
  return true;
}

}  // namespace korvan
