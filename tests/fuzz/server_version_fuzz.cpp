// libFuzzer target: any bytes as the server's version.txt. A version ParseServerVersion takes
// must be what the file holds less a byte-order mark and trailing blanks, 10 to 64 characters
// of 0-9 A-Z a-z . _ - not starting with a dot; the package URL and local package name built
// from it, for a model, every country and every voice, must keep to URL-safe characters, have
// no "." or ".." step, and carry the version where the server's layout puts it.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/model_catalogue.h"
#include "sources/package_name.h"
#include "sources/server_download.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace korvan;
using fuzz::Require;

constexpr std::string_view kServer = "https://updates.example:8443/wp-content/db/";

bool VersionCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
         c == '_' || c == '-';
}

bool UrlCharacter(char c) {
  return VersionCharacter(c) || c == '~' || c == '/' || c == ':';
}

bool Blank(char c) {
  return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

void CheckPath(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view step = path.substr(start, end - start);
    Require(!step.empty() && step != "." && step != "..");
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> version = ParseServerVersion(raw);
  if (!version) {
    return 0;
  }
  Require(version->size() >= 10 && version->size() <= 64 && version->front() != '.');
  for (const char c : *version) {
    Require(VersionCharacter(c));
  }
  const size_t at = raw.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  Require(raw.substr(at, version->size()) == *version);
  for (const char c : raw.substr(at + version->size())) {
    Require(Blank(c));
  }

  std::string compact = *version;
  std::erase(compact, '-');
  Require(CompactVersion(*version) == compact);
  // One model per input, picked by its length: the names differ only in the prefix.
  const auto type =
      static_cast<int8_t>(ModelCatalogue::kFirstModelCode + size % ModelCatalogue::kLastModelCode);
  const std::string_view prefix = ModelCatalogue::ModelPrefix(type);
  const std::string local = LocalPackageName(type, *version);
  Require(local == std::string(prefix) + compact + ".zip");
  CheckPath(local);
  // No package is named for any other country.
  Require(!PackagePath(type, *version, kCountryThird, 0) && !PackagePath(type, *version, 0, 0));
  for (const uint8_t country : {kCountryRussia, kCountryUzbekistan}) {
    const std::string folder(*CountryFolder(country));
    for (int voice = -1; voice <= 4; ++voice) {
      const std::optional<std::string> path = PackagePath(type, *version, country, voice);
      const std::string name =
          std::string(prefix) + compact + std::string(VoiceSuffix(country, voice)) + ".zip";
      Require(path == *version + "/" + folder + "/" + name);
      CheckPath(*path);
      const std::string url = ServerFileUrl(kServer, *path);
      Require(url == std::string(kServer) + *path);
      for (const char c : url) {
        Require(UrlCharacter(c));
      }
    }
  }
  return 0;
}
