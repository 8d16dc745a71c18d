// libFuzzer target: any bytes as Parameters.ini. Checked on every input: ParseDecimalPrefix
// agrees with strtoll clamped to int (on the input itself and on every value read); a key reads
// the same through ReadMenuValue and ReadMenuValues; every stored value maps to an entry of its
// list or to none, and an entry maps back to that value; the 48 values written into the file
// read back unchanged, whatever else the file holds.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "settings/menu_settings.h"
#include "settings/parameters_ini.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace korvan;
using fuzz::Require;

// Type codes whose lists differ (Smart GPS has "База" on 17), and codes without any model.
constexpr int8_t kTypes[] = {-128, 0, 4, 17};

int StrtollPrefix(std::string_view text) {
  const std::string terminated(text.substr(0, text.find('\0')));
  const long long value = std::strtoll(terminated.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

void CheckConversions(int index, int stored) {
  for (const int8_t type : kTypes) {
    const int count = MenuEntryCount(index, type);
    if (const std::optional<int> entry = EntryForStored(index, stored, type)) {
      Require(*entry >= 0 && *entry < count && StoredForEntry(index, entry) == stored);
    }
    // A list saved without selection reads back without one.
    Require(!EntryForStored(index, StoredForEntry(index, std::nullopt), type));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Require(ParseDecimalPrefix(text) == StrtollPrefix(text));

  const std::filesystem::path file = fuzz::Workspace() / kParametersIniName;
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(text.size()));

  const std::optional<MenuValues> values = ReadMenuValues(file);
  // One key per input, with two defaults: they agree only when the key is there.
  const int index = static_cast<int>(size % kMenuSettingCount);
  const std::string_view key = MenuSettings()[static_cast<size_t>(index)].key;
  const int read = ReadMenuValue(file, kMenuSection, key, kMissingMenuValueText);
  const int readElse = ReadMenuValue(file, kMenuSection, key, "-7");
  if (values) {
    Require(read == (*values)[static_cast<size_t>(index)] && readElse == read);
    for (int i = 0; i < kMenuSettingCount; ++i) {
      CheckConversions(i, (*values)[static_cast<size_t>(i)]);
    }
  } else {
    CheckConversions(index, read);
  }

  MenuValues written{};
  if (values) {
    written = *values;
  } else {
    for (int i = 0; i < kMenuSettingCount; ++i) {
      written[static_cast<size_t>(i)] = (i % 2 == 0 ? -i : i) * 1000003;
    }
  }
  if (WriteMenuValues(file, written)) {
    Require(ReadMenuValues(file) == written);
  }
  return 0;
}
