// What makes a file an update file for a model: the name it must carry, where its
// `VersionRecord` and voice version sit, and the reading of those versions into
// `UpdateFileInfo`. Used by the local file choice and by the server download.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "device/device_info.h"

namespace korvan {

// The part of an update file's name behind `ModelPrefix`, e.g. "F????_V????_D??????.bin".
// `?` stands for one character. Empty for 7, 10-15 and codes outside 1-27.
std::string_view FileNamePattern(int8_t type);

// Byte offset of the `VersionRecord` inside an update file of `type`. 0 means the model takes
// no local update files (1, 2, 3, and every code without catalogue entries).
uint32_t VersionRecordFileOffset(int8_t type);

// Case-sensitive wildcard match of the whole `name`: `?` matches one character, `*` any run
// (the last star seen absorbs characters on a mismatch).
bool MatchWildcard(std::string_view pattern, std::string_view name);

// `ModelPrefix` followed by the pattern: "Dahlia_F????_V????_D??????.bin" for type 4. Empty
// for a model without pattern; no non-empty name matches that.
std::string ExpectedUpdateFileName(int8_t type);

// The six characters of the database date field in `name` ("150523" from
// "Dahlia_F0173_V0012_D150523.bin"). They sit right behind "F????_V????_D", so the position
// follows from the prefix length. Empty for types 1 and 2, for codes without prefix, and for a
// name too short to hold the field.
std::string FormatDateText(std::string_view name, int8_t type);

// How reading an update file's versions ended. Anything but Ok refuses the file.
enum class ImageVersionsResult {
  Ok,
  NoLocalFiles,    // the model takes no local update files
  CannotOpen,      // the file cannot be opened for reading
  BadRecord,       // wrong magic or another model's type: nothing was recorded
  CountryRefused,  // unknown country: fileAccepted cleared, both versions still recorded
};

// Reads the `VersionRecord` of the update file `path` for a device of `type` and, when it
// belongs to that model, its firmware version, country and the voice version at
// `VoiceFileOffset` into `info`. A field the file ends inside reads as all zero, so a file too
// short for its record fails the magic test. Does not reset `info`: the caller does.
ImageVersionsResult ReadImageVersions(const std::filesystem::path& path, int8_t type,
                                      UpdateFileInfo& info);

}  // namespace korvan
