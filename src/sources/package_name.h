// How the update server names its packages: below the download directory, the version folder,
// the country folder and a name made of the model's prefix, the compact version and the voice.
// Used by the download flow and by the simulated server that builds the same tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

// The version text with every '-' removed: "15-05-2023" -> "15052023".
std::string CompactVersion(std::string_view serverVersion);

// `VoiceSuffix` of the package for `packageCountry` and the voice list's item data: Russia
// "", "_v2", "_m", "_mv2"; Uzbekistan "_uz_rus", "_uz_uz"; anything else "".
std::string_view VoiceSuffix(uint8_t packageCountry, int voiceItemData);

// "RUS" for Russia, "UZB" for Uzbekistan; nullopt for any other package country (no package
// can be named for it).
std::optional<std::string_view> CountryFolder(uint8_t packageCountry);

// `ModelPrefix` + compact version + `VoiceSuffix` + ".zip": "DahliaLite_15052023_uz_uz.zip".
std::string PackageFileName(int8_t type, std::string_view serverVersion,
                            std::string_view voiceSuffix);

// The package's path below the download directory: "15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip";
// nullopt for a package country other than Russia or Uzbekistan.
std::optional<std::string> PackagePath(int8_t type, std::string_view serverVersion,
                                       uint8_t packageCountry, int voiceItemData);

// The local name of a downloaded package: the prefix and compact version, no voice suffix.
std::string LocalPackageName(int8_t type, std::string_view serverVersion);

}  // namespace korvan
