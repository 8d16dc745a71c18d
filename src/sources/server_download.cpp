#include "sources/server_download.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "sources/zip_extractor.h"

namespace korvan {
namespace {

constexpr size_t kMinVersionFileBytes = 10;
constexpr size_t kMaxVersionLength = 64;

bool VersionCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
         c == '_' || c == '-';
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<std::string> ParseServerVersion(std::string_view raw) {
  if (raw.size() < kMinVersionFileBytes) {
    return std::nullopt;
  }
  std::string_view text = raw;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                           text.back() == '\t')) {
    text.remove_suffix(1);
  }
  if (text.size() < kMinVersionFileBytes || text.size() > kMaxVersionLength ||
      text.front() == '.' || !std::all_of(text.begin(), text.end(), VersionCharacter)) {
    return std::nullopt;
  }
  return std::string(text);
}

std::string NormaliseServerUrl(std::string_view url) {
  std::string normal(url);
  if (!normal.empty() && normal.back() != '/') {
    normal += '/';
  }
  return normal;
}

std::string ServerFileUrl(std::string_view serverUrl, std::string_view path) {
  return NormaliseServerUrl(serverUrl) + std::string(path);
}

FetchedVersion FetchServerVersion(HttpClient& http, std::string_view serverUrl,
                                  const std::filesystem::path& folder,
                                  const HttpProgress& keepGoing) {
  FetchedVersion fetched;
  const std::filesystem::path local = folder / kVersionFileName;
  fetched.transfer = http.Download(ServerFileUrl(serverUrl, kVersionFileName), local,
                                   kMaxVersionFileBytes, keepGoing);
  if (!fetched.transfer.ok()) {
    return fetched;
  }
  std::string raw;
  {
    std::ifstream in(local, std::ios::binary);
    raw.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::error_code ignored;
  std::filesystem::remove(local, ignored);
  fetched.version = ParseServerVersion(raw);
  return fetched;
}

ExtractReport ExtractPackage(const std::filesystem::path& package,
                             const std::filesystem::path& updateFolder,
                             const std::function<bool()>& keepGoing) {
  ExtractReport report;
  std::error_code error;
  std::filesystem::create_directories(updateFolder, error);
  std::unique_ptr<ZipExtractor> zip = ZipExtractor::Open(package);
  if (!zip) {
    return report;  // the package stays, as it came
  }
  report.opened = true;
  ZipEntry count;
  zip->GetEntry(-1, count);
  for (int32_t index = 0; index < count.index; ++index) {
    if (keepGoing && !keepGoing()) {
      report.cancelled = true;
      break;
    }
    ZipEntry entry;
    zip->GetEntry(index, entry);
    // Every item must land inside the update folder, whole, or not at all.
    const ZipResult result = zip->ExtractEntryInto(index, updateFolder);
    if (result != ZipResult::Ok) {
      report.failed.push_back({entry.name, static_cast<uint32_t>(result)});
    }
  }
  zip->Close();
  if (report.complete()) {
    std::filesystem::remove(package, error);
  }
  return report;
}

std::vector<std::string> UpdateImageCandidates(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    // Only what the extraction wrote as a file; a link is never followed out of the folder.
    if (!it->is_regular_file(error) || it->is_symlink(error)) {
      continue;
    }
    const std::string name = it->path().filename().string();
    if (name == "Thumbs.db") {
      continue;
    }
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
      continue;
    }
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(), AsciiLower);
    if (extension == ".bin") {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> PickUpdateImage(
    const std::filesystem::path& folder,
    const std::function<bool(const std::filesystem::path&)>& acceptable) {
  const std::vector<std::string> names = UpdateImageCandidates(folder);
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (acceptable(folder / *it)) {
      return *it;
    }
  }
  return std::nullopt;
}

}  // namespace korvan
