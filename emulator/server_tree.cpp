#include "emulator/server_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <system_error>

#include "device/model_catalogue.h"
#include "device/voice_names.h"
#include "emulator/settings_schemas.h"
#include "sources/package_name.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;

bool HasVoiceList(int8_t type) {
  DeviceInfo info;
  info.typeCode = type;
  return VoiceComboItems(type, info).has_value();
}

// The voice slots offered for `type` when the user picks package country `country`.
std::vector<VoiceItem> VoicesOf(int8_t type, uint8_t country) {
  DeviceInfo info;
  info.typeCode = type;
  info.packageCountry = country;
  return VoiceComboItems(type, info).value_or(std::vector<VoiceItem>{});
}

std::string SignatureField(int8_t type) {
  std::string field = std::to_string(type);
  return std::string(4 - std::min<size_t>(4, field.size()), '0') + field;
}

std::string VoiceName(int8_t type, uint8_t country, int voiceItemData) {
  for (const VoiceItem& item : VoicesOf(type, country)) {
    if (item.itemData == voiceItemData) {
      return item.text;
    }
  }
  return {};
}

// Noon of the version's date, so the entries' times say when the package was made.
ZipTime VersionTime(std::string_view version) {
  ZipTime time;
  const auto number = [&version](size_t at, size_t length) {
    int value = 0;
    for (size_t i = at; i < at + length; ++i) {
      value = value * 10 + (version[i] - '0');
    }
    return value;
  };
  const int day = number(0, 2);
  const int month = number(3, 2);
  const int year = number(6, 4);
  // Zip headers cannot hold a date outside 1980..2107; such a version keeps the default time.
  if (day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 1980 && year <= 2107) {
    time.day = static_cast<uint8_t>(day);
    time.month = static_cast<uint8_t>(month);
    time.year = static_cast<uint16_t>(year);
  }
  return time;
}

std::string Readme(const ServerPackage& package, std::string_view version) {
  const std::string name = fs::path(package.path).filename().string();
  std::string text = "Korvan update package " + name + "\r\n";
  text += "Version: " + std::string(version) + "\r\n";
  text += "Country: " + std::string(CountryFolder(package.country).value_or("?")) + "\r\n";
  text +=
      "Voice: " + VoiceName(package.types.front(), package.country, package.voiceItemData) + "\r\n";
  text += "Models:";
  for (const int8_t type : package.types) {
    text += (type == package.types.front() ? " " : ", ") + std::to_string(type) + ' ';
    text += ModelCatalogue::ModelIdentifier(type, false);
  }
  text += "\r\nCopy the .bin file of your model and open it in Korvan Updater.\r\n";
  return text;
}

std::string WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    return "cannot write \"" + path.string() + "\": " + std::strerror(errno);
  }
  return {};
}

// The models of `options` that have a settings schema; all of them when every model is published.
std::vector<int8_t> SchemaModels(const ServerTreeOptions& options) {
  std::vector<int8_t> types;
  for (const int8_t type : kSchemaModelTypes) {
    if (options.types.empty() ||
        std::find(options.types.begin(), options.types.end(), type) != options.types.end()) {
      types.push_back(type);
    }
  }
  return types;
}

}  // namespace

bool IsServerVersionText(std::string_view text) {
  if (text.size() != 10) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 2 || i == 5;
    if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9')) {
      return false;
    }
  }
  return true;
}

std::vector<int8_t> ModelsWithVoiceList() {
  std::vector<int8_t> types;
  for (int8_t type = ModelCatalogue::kFirstModelCode; type <= ModelCatalogue::kLastModelCode;
       ++type) {
    if (HasVoiceList(type)) {
      types.push_back(type);
    }
  }
  return types;
}

std::vector<ServerPackage> PlanServerTree(std::string_view version,
                                          const ServerTreeOptions& options) {
  if (!IsServerVersionText(version)) {
    throw std::invalid_argument("server version \"" + std::string(version) +
                                "\" is not in the form DD-MM-YYYY");
  }
  std::vector<int8_t> types = options.types.empty() ? ModelsWithVoiceList() : options.types;
  std::sort(types.begin(), types.end());
  types.erase(std::unique(types.begin(), types.end()), types.end());
  for (const int8_t type : types) {
    if (!HasVoiceList(type)) {
      throw std::invalid_argument("model " + std::to_string(type) +
                                  " has no voice list and so no server packages");
    }
  }
  // Models of one prefix share the package of each voice they offer.
  std::map<std::string, ServerPackage> packages;
  for (const uint8_t country : options.countries) {
    if (!CountryFolder(country)) {
      throw std::invalid_argument("country " + std::to_string(country) +
                                  " has no package folder; packages exist for 3 and 12");
    }
    for (const int8_t type : types) {
      for (const VoiceItem& voice : VoicesOf(type, country)) {
        const std::string path = *PackagePath(type, version, country, voice.itemData);
        ServerPackage& package = packages[path];
        package.path = path;
        package.country = country;
        package.voiceItemData = voice.itemData;
        package.types.push_back(type);
      }
    }
  }
  std::vector<ServerPackage> planned;
  for (auto& [path, package] : packages) {
    planned.push_back(std::move(package));
  }
  return planned;
}

UpdateFile ServerUpdateFile(int8_t type, uint8_t country, int voiceItemData) {
  PresetOptions device;
  device.rawType = static_cast<uint8_t>(type);
  device.country = country;
  UpdateFileOptions options = NewerUpdateFile(device);
  options.contents.voice[3] = static_cast<uint8_t>(options.contents.voice[3] + voiceItemData);
  options.signatureField = SignatureField(type);
  return MakeUpdateFile(options);
}

std::vector<ZipEntry> PackageEntries(const ServerPackage& package, std::string_view version) {
  std::vector<ZipEntry> entries;
  for (const int8_t type : package.types) {
    UpdateFile file = ServerUpdateFile(type, package.country, package.voiceItemData);
    entries.push_back(ZipFileEntry(std::move(file.name), std::move(file.bytes)));
  }
  entries.push_back(ZipTextEntry(kPackageReadmeName, Readme(package, version)));
  entries.push_back(ZipFolderEntry(kPackageDocsFolder));
  entries.push_back(ZipTextEntry(std::string(kPackageDocsFolder) + "changes.txt",
                                 "Firmware 03.01: faster start-up.\r\n"
                                 "Database 2.0 251201: new cameras.\r\n"));
  const ZipTime time = VersionTime(version);
  for (ZipEntry& entry : entries) {
    entry.modified = time;
  }
  return entries;
}

ServerTreeResult WriteServerTree(const fs::path& root, std::string_view version,
                                 const ServerTreeOptions& options) {
  ServerTreeResult result;
  result.packages = PlanServerTree(version, options);
  const fs::path download = root / kDownloadDirectory;
  std::error_code ec;
  fs::create_directories(download, ec);
  if (ec) {
    result.error = "cannot create \"" + download.string() + "\": " + ec.message();
    return result;
  }
  result.error = WriteBytes(download / kServerVersionFileName, version);
  for (const int8_t type : SchemaModels(options)) {
    if (!result.error.empty()) {
      break;
    }
    result.error = WriteBytes(download / SettingsSchemaFileName(type), SettingsSchemaText(type));
  }
  for (const ServerPackage& package : result.packages) {
    if (!result.error.empty()) {
      break;
    }
    const fs::path path = download / package.path;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
      result.error = "cannot create \"" + path.parent_path().string() + "\": " + ec.message();
      break;
    }
    const std::vector<ZipEntry> entries = PackageEntries(package, version);
    result.error = WriteZip(path, entries).error;
  }
  return result;
}

}  // namespace korvan::emu
