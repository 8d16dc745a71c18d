#include "sources/update_file_rules.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "device/model_catalogue.h"
#include "device/version_record.h"

namespace korvan {
namespace {

constexpr std::string_view kFirmwareOnly = "F????.bin";
constexpr std::string_view kFirmwareVoice = "F????_V????.bin";
constexpr std::string_view kWithDate = "F????_V????_D??????.bin";
constexpr std::string_view kWithSignature = "F????_V????_D??????_S????.bin";

// The date field follows "F????_V????_D" behind the prefix.
constexpr size_t kDateFieldStart = 13;
constexpr size_t kDateFieldLength = 6;

constexpr size_t kVoiceDigitCount = 4;

// Reads `out.size()` bytes at `offset` into `out`, which the caller has zero-filled. Only a
// complete read is kept: a file that ends inside the field leaves it all zero, so a record cut
// short fails the magic test however much of it is there. A failed seek or read is no error
// here; the callers' checks on the bytes decide.
template <size_t N>
void ReadAt(std::ifstream& file, uint32_t offset, std::array<uint8_t, N>& out) {
  std::array<char, N> got{};
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(got.data(), static_cast<std::streamsize>(N));
  if (file.gcount() == static_cast<std::streamsize>(N)) {
    std::copy(got.begin(), got.end(), out.begin());
  }
}

}  // namespace

std::string_view FileNamePattern(int8_t type) {
  switch (type) {
    case 1:
      return kFirmwareOnly;
    case 2:
      return kFirmwareVoice;
    case 3:
    case 4:
    case 5:
    case 6:
    case 25:
    case 26:
    case 27:
      return kWithDate;
    case 8:
    case 9:
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
      return kWithSignature;
    default:
      return {};
  }
}

uint32_t VersionRecordFileOffset(int8_t type) {
  switch (type) {
    case 4:
    case 5:
    case 6:
      return 0x1CF00;
    case 8:
    case 16:
      return 0x3CF00;
    case 9:
    case 19:
      return 0x79F00;
    case 17:
    case 23:
      return 0x5CF00;
    case 18:
      return 0xB6F00;
    case 20:
      return 0xF0F00;
    case 21:
      return 0xB3F00;
    case 22:
      return 0xB9F00;
    case 24:
      return 0x5BF00;
    case 25:
    case 26:
    case 27:
      return 0x10;
    default:
      return 0;
  }
}

bool MatchWildcard(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  // Up to the first star every character must match one for one.
  while (n < name.size() && (p == pattern.size() || pattern[p] != '*')) {
    if (p == pattern.size() || (pattern[p] != '?' && pattern[p] != name[n])) {
      return false;
    }
    ++p;
    ++n;
  }
  // Behind a star: on a mismatch go back to just behind the last star and let it absorb one
  // more character of the name. The first loop stopped at a star whenever the name has
  // characters left, so a resume point exists before any mismatch can happen here.
  size_t resumePattern = 0;
  size_t resumeName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      ++p;
      if (p == pattern.size()) {
        return true;
      }
      resumePattern = p;
      resumeName = n + 1;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else {
      p = resumePattern;
      n = resumeName++;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

std::string ExpectedUpdateFileName(int8_t type) {
  std::string expected(ModelCatalogue::ModelPrefix(type));
  expected += FileNamePattern(type);
  return expected;
}

std::string FormatDateText(std::string_view name, int8_t type) {
  const std::string_view prefix = ModelCatalogue::ModelPrefix(type);
  if (type == 1 || type == 2 || prefix.empty()) {
    return {};
  }
  const size_t start = prefix.size() + kDateFieldStart;
  if (name.size() < start + kDateFieldLength) {
    return {};
  }
  return std::string(name.substr(start, kDateFieldLength));
}

ImageVersionsResult ReadImageVersions(const std::filesystem::path& path, int8_t type,
                                      UpdateFileInfo& info) {
  const uint32_t recordOffset = VersionRecordFileOffset(type);
  if (recordOffset == 0) {
    return ImageVersionsResult::NoLocalFiles;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    return ImageVersionsResult::CannotOpen;
  }

  VersionRecordBytes record{};
  ReadAt(file, recordOffset, record);
  record[3] &= 0x7F;  // bit 7 of the type byte is a flag, not part of the model
  if (!HasVersionRecordMagic(record) || int{VersionRecordType(record)} != int{type}) {
    return ImageVersionsResult::BadRecord;
  }

  const VersionDigits firmware = VersionRecordDigits(record);
  std::copy(firmware.begin(), firmware.end(), info.fileFwVersion.begin());

  auto result = ImageVersionsResult::Ok;
  const uint8_t country = VersionRecordCountry(record);
  if (IsAcceptedCountry(country)) {
    info.fileCountry = country;
  } else {
    // Refused, but the voice version is still read so the window shows what the file holds.
    info.fileAccepted = false;
    result = ImageVersionsResult::CountryRefused;
  }

  std::array<uint8_t, kVoiceDigitCount> voice{};
  ReadAt(file, ModelCatalogue::VoiceFileOffset(type), voice);
  std::copy(voice.begin(), voice.end(), info.fileVoiceVersion.begin());
  return result;
}

}  // namespace korvan
