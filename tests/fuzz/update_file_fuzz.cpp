// libFuzzer target: the Open command's checks of a local update file, over any file name and
// file bytes, for every model code. The input is
//   model code (1 byte), file name up to '\n' (a '/' in it starts a wildcard pattern that is
//   matched against the name), file size (4 bytes LE, below 32 MiB), version record (8 bytes,
//   put at the model's record offset), voice digits (4 bytes, put at the model's voice offset),
//   the file's first bytes (the rest).
// The file is written sparse under that name and opened through OpenUpdateFile, and its parts
// are checked on their own: the name against the model's pattern (and the wildcard match
// against a plain dynamic-programming match), the record and voice read against the bytes in
// the file, the header's component lengths against the file and the model's memory. A file
// the command accepts must have its name, record and every component where they belong.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/control_ids.h"
#include "app/open_update_file.h"
#include "app/recording_view.h"
#include "device/model_catalogue.h"
#include "device/update_file_header.h"
#include "sources/update_file_layout.h"
#include "sources/update_file_rules.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using namespace korvan;
using fuzz::Require;

constexpr uint32_t kFileSizeMask = (32u << 20) - 1;

// Whole-string match with '?' for one character and '*' for any run, by the textbook table.
bool PlainWildcardMatch(std::string_view pattern, std::string_view name) {
  std::vector<char> row(pattern.size() + 1, 0);
  row[0] = 1;
  for (size_t j = 1; j <= pattern.size() && pattern[j - 1] == '*'; ++j) {
    row[j] = 1;
  }
  for (const char c : name) {
    std::vector<char> next(pattern.size() + 1, 0);
    for (size_t j = 1; j <= pattern.size(); ++j) {
      const char p = pattern[j - 1];
      next[j] = p == '*' ? (next[j - 1] || row[j]) : (row[j - 1] && (p == '?' || p == c));
    }
    row.swap(next);
  }
  return row[pattern.size()] != 0;
}

bool CanNameFile(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
         name.find('\0') == std::string_view::npos;
}

uint32_t Le32(const std::array<uint8_t, kUpdateFileHeaderSize>& bytes, size_t at) {
  return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
         (uint32_t{bytes[at + 3]} << 24);
}

// ReadImageVersions against the bytes the file holds. `before` is the info it started from.
void CheckVersions(const fuzz::SparseImage& image, int8_t type, ImageVersionsResult read,
                   const UpdateFileInfo& before, const UpdateFileInfo& info) {
  const uint32_t recordAt = VersionRecordFileOffset(type);
  if (recordAt == 0) {
    Require(read == ImageVersionsResult::NoLocalFiles && info == before);
    return;
  }
  // A record the file ends inside counts as absent, however much of it is there.
  const auto record = image.Read<8>(recordAt).value_or(std::array<uint8_t, 8>{});
  if (record[0] != 0xA4 || record[1] != 0x5B || (record[3] & 0x7F) != type) {
    Require(read == ImageVersionsResult::BadRecord && info == before);
    return;
  }
  const auto voice =
      image.Read<4>(ModelCatalogue::VoiceFileOffset(type)).value_or(std::array<uint8_t, 4>{});
  for (size_t i = 0; i < 4; ++i) {
    Require(info.fileFwVersion[i] == record[4 + i] && info.fileVoiceVersion[i] == voice[i]);
  }
  if (IsAcceptedCountry(record[2])) {
    Require(read == ImageVersionsResult::Ok && info.fileCountry == record[2] &&
            info.fileAccepted == before.fileAccepted);
  } else {
    Require(read == ImageVersionsResult::CountryRefused && info.fileCountry == before.fileCountry &&
            !info.fileAccepted);
  }
}

// CheckUpdateFileLayout against the header in the file: each component's length is the one its
// header field (or the update step's firmware length) gives, and the file fits when every
// component lies inside the file and inside the memory it is written to.
void CheckLayout(const fuzz::SparseImage& image, const fs::path& path, int8_t type,
                 const UpdateFileInfo& info, LayoutCheck layout) {
  const auto bytes = image.Read<kUpdateFileHeaderSize>(0);
  if (!bytes) {
    Require(layout == LayoutCheck::CannotRead);
    return;
  }
  UpdateFileHeader header;
  header.bytes = *bytes;
  UpdateFileHeader updateStepHeader;
  const uint64_t firmwareLength = FwImageLength(path, type, updateStepHeader);
  bool allFit = true;
  for (const UpdateComponent component : ComponentsFor(type)) {
    const ComponentPlacement p = PlacementOf(component, type, header, info, image.size());
    switch (component) {
      case UpdateComponent::Firmware:
        Require(p.length == firmwareLength);
        break;
      case UpdateComponent::Voice:
        Require(p.length == Le32(*bytes, 5));
        break;
      case UpdateComponent::Database:
        Require(p.length == Le32(*bytes, 9));
        break;
      case UpdateComponent::Signature:
        Require(p.length == (uint32_t{(*bytes)[13]} | (uint32_t{(*bytes)[14]} << 8)));
        break;
    }
    allFit = allFit && (p.length == 0 || (p.fileOffset + p.length <= image.size() &&
                                          p.memoryStart + p.length <= p.memoryEnd));
  }
  Require(layout != LayoutCheck::CannotRead && (layout == LayoutCheck::Fits) == allFit);
}

const fs::path& OpenFolder() {
  static const fs::path folder = [] {
    fs::path made = fuzz::Workspace() / "open";
    fs::create_directories(made);
    return made;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::InputReader in(data, size);
  const auto type = static_cast<int8_t>(in.Byte());
  const std::string_view nameField = in.Until('\n');
  const std::string_view name = nameField.substr(0, nameField.find('/'));
  const uint64_t fileSize = in.Le<4>() & kFileSizeMask;
  const auto record = in.Bytes<8>();
  const auto voice = in.Bytes<4>();
  const auto head = in.Rest();

  // The table costs pattern x name steps: long pairs are left to the model's own pattern.
  if (name.size() < nameField.size() && nameField.size() <= 512) {
    const std::string_view pattern = nameField.substr(name.size() + 1);
    Require(MatchWildcard(pattern, name) == PlainWildcardMatch(pattern, name));
  }
  const std::string expected = ExpectedUpdateFileName(type);
  const bool matches = MatchWildcard(expected, name);
  Require(matches == PlainWildcardMatch(expected, name));
  // Only the empty name matches the empty pattern of a model without local files, and no file
  // has that name.
  const bool nameFits = matches && !name.empty();
  const std::string date = FormatDateText(name, type);
  Require(date.empty() || date.size() == 6);
  if (nameFits) {
    Require(name.size() == expected.size() && name.ends_with(".bin") &&
            name.starts_with(ModelCatalogue::ModelPrefix(type)));
    const size_t dateField = expected.find("_D");
    Require(dateField == std::string::npos ? date.empty() : date == name.substr(dateField + 2, 6));
  }

  fuzz::SparseImage image(std::max<uint64_t>(fileSize, head.size()));
  image.Put(0, head);
  if (const uint32_t at = VersionRecordFileOffset(type); at != 0) {
    image.Put(at, record);
  }
  if (const uint32_t at = ModelCatalogue::VoiceFileOffset(type); at != 0) {
    image.Put(at, voice);
  }
  const bool named = CanNameFile(name);
  const fs::path path = OpenFolder() / (named ? std::string(name) : std::string("update.bin"));
  image.WriteTo(path);

  // The Open command starts from a reset record that it marks accepted.
  UpdateFileInfo before;
  ResetUpdateFileInfo(before);
  before.fileAccepted = true;
  UpdateFileInfo info = before;
  const ImageVersionsResult read = ReadImageVersions(path, type, info);
  CheckVersions(image, type, read, before, info);
  const LayoutCheck layout = CheckUpdateFileLayout(path, type, info);
  CheckLayout(image, path, type, info, layout);

  if (named) {
    AppState state;
    state.deviceInfo.typeCode = type;
    RecordingView view;
    view.QueueFileChoice(path.string());
    const bool accepted = OpenUpdateFile(view, state);
    Require(accepted ==
            (nameFits && read == ImageVersionsResult::Ok && layout == LayoutCheck::Fits));
    Require(state.UpdateFileReady == accepted &&
            view.Control(ids::kUploadButton).enabled == accepted &&
            state.filePathText == path.string());
    Require(state.updateFileInfo == (nameFits ? info : before));
    Require(state.UpdateFilePath == (nameFits ? path : fs::path()));
    if (nameFits) {
      Require(view.Text(ids::kFileDbText) == date);
    }
    if (accepted) {
      Require(state.updateFileInfo.fileAccepted &&
              IsAcceptedCountry(state.updateFileInfo.fileCountry));
    } else {
      Require(view.Status().text == kFirmwareFileNotFoundText);
    }
  }
  fs::remove(path);
  return 0;
}
