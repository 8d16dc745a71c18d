#include "emulator/update_file_builder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "device/model_catalogue.h"
#include "sources/update_file_rules.h"

namespace korvan::emu {
namespace {

namespace catalogue = ModelCatalogue;

constexpr uint32_t kSignatureFileOffset = 0x800000;
constexpr size_t kHeaderSize = 16;

void PutLe(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// Copies [from, from + length) of `source` (0xFF beyond its end) to `at` of `file`, growing it.
void Place(std::vector<uint8_t>& file, size_t at, const std::vector<uint8_t>& source, size_t from,
           size_t length) {
  if (file.size() < at + length) {
    file.resize(at + length, 0xFF);
  }
  for (size_t i = 0; i < length; ++i) {
    file[at + i] = from + i < source.size() ? source[from + i] : 0xFF;
  }
}

std::string DigitsText(const VersionDigits& digits) {
  std::string text;
  for (const uint8_t d : digits) {
    text += static_cast<char>('0' + d % 10);
  }
  return text;
}

// Fills the pattern's '?' runs in order: F firmware, V voice, D database date, S signature.
std::string FileName(int8_t type, const UpdateFileOptions& options) {
  const std::string pattern(FileNamePattern(type));
  if (pattern.empty()) {
    return {};
  }
  const PresetOptions& c = options.contents;
  const std::string date(c.database.begin() + 2, c.database.end());
  std::string name(catalogue::ModelPrefix(type));
  for (size_t i = 0; i < pattern.size();) {
    const char field = pattern[i];
    name += field;
    ++i;
    if (i < pattern.size() && pattern[i] == '?') {
      const std::string value = field == 'F'   ? DigitsText(c.firmware)
                                : field == 'V' ? DigitsText(c.voice)
                                : field == 'D' ? date
                                               : options.signatureField;
      size_t run = 0;
      while (i < pattern.size() && pattern[i] == '?') {
        name += run < value.size() ? value[run] : '0';
        ++run;
        ++i;
      }
    }
  }
  return name;
}

}  // namespace

UpdateFile MakeUpdateFile(const UpdateFileOptions& options) {
  const int8_t type = EffectiveModelType(options.contents.rawType);
  if (!catalogue::HasEntries(type)) {
    throw std::invalid_argument("model " + std::to_string(type) + " has no update files");
  }
  const DeviceImages images = MakePresetImages(options.contents);
  const DeviceInfo info = PresetDeviceInfo(options.contents);
  const uint32_t boot = catalogue::BootLoaderSize(type);
  const uint32_t fwLength = catalogue::FwEndOffset(type) - boot;

  UpdateFile file;
  file.name = FileName(type, options);
  if (type == 1) {
    // The whole file is the firmware image.
    Place(file.bytes, 0, images.controller, boot, fwLength);
    return file;
  }
  file.bytes.assign(kHeaderSize, 0);
  PutLe(file.bytes, 1, fwLength, 4);
  PutLe(file.bytes, 5, options.voiceLength, 4);
  PutLe(file.bytes, 9, options.databaseLength, 4);
  PutLe(file.bytes, 13, type == 8 ? options.signatureLength : 0, 2);
  Place(file.bytes, catalogue::FwFileOffset(type), images.controller, boot, fwLength);
  Place(file.bytes, catalogue::VoiceFileOffset(type), images.flash, 0, options.voiceLength);
  if (catalogue::DbFileOffset(type) != 0) {
    Place(file.bytes, catalogue::DbFileOffset(type), images.flash,
          catalogue::DbFlashOffset(0, info, {}), options.databaseLength);
  }
  if (type == 8) {
    std::vector<uint8_t> signature(options.signatureLength);
    for (size_t i = 0; i < signature.size(); ++i) {
      signature[i] = static_cast<uint8_t>(0x5A ^ (i * 31));
    }
    Place(file.bytes, kSignatureFileOffset, signature, 0, signature.size());
  }
  return file;
}

UpdateFileOptions NewerUpdateFile(const PresetOptions& device) {
  UpdateFileOptions options;
  options.contents = device;
  options.contents.firmware = {0, 3, 0, 1};
  options.contents.voice = {0, 0, 4, 0};
  options.contents.database = {'2', '0', '2', '5', '1', '2', '0', '1'};
  return options;
}

std::optional<std::filesystem::path> WriteUpdateFile(const std::filesystem::path& folder,
                                                     const UpdateFile& file) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const auto path = folder / (file.name.empty() ? "update.bin" : file.name);
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(reinterpret_cast<const char*>(file.bytes.data()),
               static_cast<std::streamsize>(file.bytes.size()));
  stream.close();
  if (!stream) {
    return std::nullopt;
  }
  return path;
}

}  // namespace korvan::emu
