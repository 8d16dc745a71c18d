// The update server's files as a folder tree, for the loopback server to serve to the download:
//   wp-content/db/version.txt                     the package version, "15-05-2023", no line break
//   wp-content/db/<version>/RUS|UZB/<package>     one zip per model prefix, country and voice
//   wp-content/db/schema_<name>.csv               the settings schema of each published model
//                                                 of types 25-27 (settings_schemas.h)
// A package holds the update file of every model that shares its name (one per model, told apart
// by the S field of the name), a readme.txt and a docs/ folder, as the maker's packages do. Its
// files are newer than the preset devices (NewerUpdateFile) and carry the package's country in
// their version records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_info.h"
#include "emulator/update_file_builder.h"
#include "emulator/zip_writer.h"

namespace korvan::emu {

// Below the tree's root; the download directory URL ends in it.
inline constexpr char kDownloadDirectory[] = "wp-content/db";
inline constexpr char kServerVersionFileName[] = "version.txt";
inline constexpr char kPackageReadmeName[] = "readme.txt";
inline constexpr char kPackageDocsFolder[] = "docs/";

struct ServerTreeOptions {
  // Models to publish; empty: every model with a voice list (3-6, 8, 9, 16-27). A package then
  // carries the files of the listed models that share its name, and only those.
  std::vector<int8_t> types;
  // Package countries: kCountryRussia and/or kCountryUzbekistan.
  std::vector<uint8_t> countries{kCountryRussia, kCountryUzbekistan};
};

struct ServerPackage {
  std::string path;  // below the download directory: "15-05-2023/UZB/DahliaLite_15052023_uz_uz.zip"
  uint8_t country = 0;
  int voiceItemData = 0;      // the voice list slot the package is for
  std::vector<int8_t> types;  // the models whose update files it carries, ascending
};

// True for "DD-MM-YYYY" (digits and dashes in that shape; the date itself is not checked).
bool IsServerVersionText(std::string_view text);

// The models that have a voice list and so have packages on the server, ascending.
std::vector<int8_t> ModelsWithVoiceList();

// The packages a tree holds, sorted by path. Throws std::invalid_argument for a version not in
// the DD-MM-YYYY shape, a model without a voice list, or a country other than Russia or
// Uzbekistan.
std::vector<ServerPackage> PlanServerTree(std::string_view version,
                                          const ServerTreeOptions& options = {});

// The update file a package for `country` and voice slot `voiceItemData` carries for `type`:
// NewerUpdateFile of the model's preset, with the package's country, S field = the type code
// ("..._S0009.bin"), and the voice version 00.40 + voiceItemData (00.40 .. 00.43), so a test
// can tell which voice a downloaded file came from.
UpdateFile ServerUpdateFile(int8_t type, uint8_t country, int voiceItemData);

// The entries of `package`, in the order they are written: the update files, readme.txt,
// docs/ and docs/changes.txt, dated by the package's version.
std::vector<ZipEntry> PackageEntries(const ServerPackage& package, std::string_view version);

struct ServerTreeResult {
  std::string error;  // empty on success; otherwise a sentence naming the file
  std::vector<ServerPackage> packages;
  bool ok() const { return error.empty(); }
};

// Writes the tree below `root` (created when missing): version.txt, the settings schemas of the
// published models that have one, and every planned package.
// Files already in the tree are replaced, others left alone. Throws like PlanServerTree.
ServerTreeResult WriteServerTree(const std::filesystem::path& root, std::string_view version,
                                 const ServerTreeOptions& options = {});

}  // namespace korvan::emu
