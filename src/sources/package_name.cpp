#include "sources/package_name.h"

#include "device/device_info.h"
#include "device/model_catalogue.h"

namespace korvan {

std::string CompactVersion(std::string_view serverVersion) {
  std::string compact;
  for (const char c : serverVersion) {
    if (c != '-') {
      compact += c;
    }
  }
  return compact;
}

std::string_view VoiceSuffix(uint8_t packageCountry, int voiceItemData) {
  if (packageCountry == kCountryRussia) {
    switch (voiceItemData) {
      case 1:
        return "_v2";
      case 2:
        return "_m";
      case 3:
        return "_mv2";
      default:
        return "";
    }
  }
  if (packageCountry == kCountryUzbekistan) {
    switch (voiceItemData) {
      case 0:
        return "_uz_rus";
      case 1:
        return "_uz_uz";
      default:
        return "";
    }
  }
  return "";
}

std::optional<std::string_view> CountryFolder(uint8_t packageCountry) {
  if (packageCountry == kCountryRussia) {
    return "RUS";
  }
  if (packageCountry == kCountryUzbekistan) {
    return "UZB";
  }
  return std::nullopt;
}

std::string PackageFileName(int8_t type, std::string_view serverVersion,
                            std::string_view voiceSuffix) {
  std::string name(ModelCatalogue::ModelPrefix(type));
  name += CompactVersion(serverVersion);
  name += voiceSuffix;
  name += ".zip";
  return name;
}

std::optional<std::string> PackagePath(int8_t type, std::string_view serverVersion,
                                       uint8_t packageCountry, int voiceItemData) {
  const auto folder = CountryFolder(packageCountry);
  if (!folder) {
    return std::nullopt;
  }
  std::string path(serverVersion);
  path += '/';
  path += *folder;
  path += '/';
  path += PackageFileName(type, serverVersion, VoiceSuffix(packageCountry, voiceItemData));
  return path;
}

std::string LocalPackageName(int8_t type, std::string_view serverVersion) {
  return PackageFileName(type, serverVersion, "");
}

}  // namespace korvan
