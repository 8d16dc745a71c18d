#include "settings/parameters_ini.h"

// The keys and values are ASCII and Cyrillic UTF-8 passed through as bytes; no wide-character
// API is used, so SimpleIni needs neither its UTF converter nor ICU. Debian's header keeps the
// member definitions behind SI_IMPLEMENTATION (its library is built for ICU): this file
// compiles them itself, and is the only one that includes the header.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "sources/program_folder.h"

namespace korvan {
namespace {

enum class LoadResult { Loaded, Missing, Unreadable };

LoadResult Load(const std::filesystem::path& file, CSimpleIniA& ini) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    return LoadResult::Missing;
  }
  // A folder or device node in the file's place opens without error on Linux, so it is turned
  // away before anything tries to parse it.
  if (error || status.type() != std::filesystem::file_type::regular) {
    return LoadResult::Unreadable;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return LoadResult::Unreadable;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad() || ini.LoadData(text) < 0) {
    return LoadResult::Unreadable;
  }
  return LoadResult::Loaded;
}

void Configure(CSimpleIniA& ini) {
  ini.SetUnicode(true);
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  // "key=value", as the device tools that share this file write it.
  ini.SetSpaces(false);
}

bool Save(const std::filesystem::path& file, const CSimpleIniA& ini) {
  std::string text;
  if (ini.Save(text) < 0) {
    return false;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

std::string Text(std::string_view view) {
  return std::string(view);
}

}  // namespace

std::filesystem::path ParametersIniPath(const std::filesystem::path& folder) {
  return ProgramFolderFile(folder, kParametersIniName);
}

int ParseDecimalPrefix(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) {
      value = kLimit;
    }
  }
  value = negative ? -value : value;
  if (value > std::numeric_limits<int>::max()) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

int ReadMenuValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                  std::string_view defaultText) {
  CSimpleIniA ini;
  Configure(ini);
  if (Load(file, ini) != LoadResult::Loaded) {
    return ParseDecimalPrefix(defaultText);
  }
  const char* value = ini.GetValue(Text(section).c_str(), Text(key).c_str(), nullptr);
  return ParseDecimalPrefix(value != nullptr ? std::string_view(value) : defaultText);
}

bool WriteMenuValue(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, int value) {
  CSimpleIniA ini;
  Configure(ini);
  if (Load(file, ini) == LoadResult::Unreadable) {
    return false;
  }
  ini.SetValue(Text(section).c_str(), Text(key).c_str(), std::to_string(value).c_str());
  return Save(file, ini);
}

std::optional<MenuValues> ReadMenuValues(const std::filesystem::path& file) {
  CSimpleIniA ini;
  Configure(ini);
  if (Load(file, ini) != LoadResult::Loaded) {
    return std::nullopt;
  }
  const std::string section = Text(kMenuSection);
  MenuValues values{};
  for (size_t i = 0; i < values.size(); ++i) {
    const char* value = ini.GetValue(section.c_str(), Text(MenuSettings()[i].key).c_str(), nullptr);
    if (value == nullptr) {
      return std::nullopt;
    }
    values[i] = ParseDecimalPrefix(value);
  }
  return values;
}

bool WriteMenuValues(const std::filesystem::path& file, const MenuValues& values) {
  CSimpleIniA ini;
  Configure(ini);
  if (Load(file, ini) == LoadResult::Unreadable) {
    return false;
  }
  const std::string section = Text(kMenuSection);
  for (size_t i = 0; i < values.size(); ++i) {
    ini.SetValue(section.c_str(), Text(MenuSettings()[i].key).c_str(),
                 std::to_string(values[i]).c_str());
  }
  return Save(file, ini);
}

}  // namespace korvan
