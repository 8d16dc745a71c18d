// The steps of an update from the server, without a window: the version the server offers,
// the package download, its extraction into the `update` folder and the choice of the update
// file inside. The download flow (app/download_worker) runs them on a worker and shows them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sources/http_client.h"

namespace korvan {

inline constexpr std::string_view kVersionFileName = "version.txt";
inline constexpr std::string_view kInitialServerVersion = "00-00-0000";

// What a download may be at most: version.txt is a line, a package a few dozen MiB.
inline constexpr uint64_t kMaxVersionFileBytes = 4096;
inline constexpr uint64_t kMaxPackageBytes = 512ull << 20;

// version.txt as the program trusts it. The raw file must hold at least 10 bytes. A leading
// UTF-8 byte-order mark and trailing CR, LF, spaces and tabs are removed; what is left must be
// 10 to 64 characters of 0-9 A-Z a-z . _ - and not start with a dot, since it becomes a folder
// of the package's URL and part of a local file name. nullopt for anything else.
std::optional<std::string> ParseServerVersion(std::string_view raw);

// `serverUrl` + `path`: the download directory always ends in '/'.
std::string ServerFileUrl(std::string_view serverUrl, std::string_view path);

// The download directory as given by the user: "" stays "", else a '/' is added when missing.
std::string NormaliseServerUrl(std::string_view url);

struct FetchedVersion {
  std::optional<std::string> version;  // nullopt: no usable version
  HttpOutcome transfer;                // how the download of version.txt went
};

// Downloads version.txt into `folder`, reads it, deletes it and checks it.
FetchedVersion FetchServerVersion(HttpClient& http, std::string_view serverUrl,
                                  const std::filesystem::path& folder,
                                  const HttpProgress& keepGoing);

struct ExtractedItem {
  std::string name;     // the item's cleaned name
  uint32_t result = 0;  // its ZipResult
};

struct ExtractReport {
  bool opened = false;                // the package is a zip that could be read
  bool cancelled = false;             // `keepGoing` ended it before the last item
  std::vector<ExtractedItem> failed;  // items that did not land whole in the folder

  // Every item is in the folder.
  bool complete() const { return opened && !cancelled && failed.empty(); }
};

// `ExtractPackage`: every item of the zip `package` into `updateFolder` (created when missing),
// none outside it. The package is deleted when every item extracted; it stays otherwise.
// `keepGoing` is asked between items (an item, at most 64 MiB, is not cut short); when it
// answers false the extraction ends (what was extracted stays for the caller to remove).
ExtractReport ExtractPackage(const std::filesystem::path& package,
                             const std::filesystem::path& updateFolder,
                             const std::function<bool()>& keepGoing);

// Every regular file of `folder` (top level only) that PickUpdateImage would consider: not
// "Thumbs.db", extension ".bin" in any case. Sorted by name.
std::vector<std::string> UpdateImageCandidates(const std::filesystem::path& folder);

// `PickUpdateImage`: the last candidate, in name order, that `acceptable` takes (the package
// may carry update files of several models that share its name); nullopt when none.
std::optional<std::string> PickUpdateImage(
    const std::filesystem::path& folder,
    const std::function<bool(const std::filesystem::path&)>& acceptable);

}  // namespace korvan
