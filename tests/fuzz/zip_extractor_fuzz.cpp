// libFuzzer target: ZipExtractor over any package bytes. Each input is written to a file, opened,
// listed, and every item extracted both ways into a fresh folder; then nothing may be found
// beside that folder, and inside it no link and no .part file but an item's own.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>

#include "sources/zip_extractor.h"

namespace {

namespace fs = std::filesystem;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// One folder for the whole run, in memory when the machine has /dev/shm. Kept in a string that
// is never destroyed, so that the exit handler can still name it.
const fs::path& Workspace() {
  static const std::string* folder = [] {
    auto* made = new std::string(
        (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
        "/korvan_zip_fuzz_XXXXXX");
    Require(mkdtemp(made->data()) != nullptr);
    return made;
  }();
  static const fs::path path = *folder;
  static const bool cleanup = [] {
    return std::atexit([] {
             std::error_code ignored;
             fs::remove_all(*folder, ignored);
           }) == 0;
  }();
  (void)cleanup;
  return path;
}

std::string Slashed(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const fs::path& work = Workspace();
  const fs::path package = work / "package.zip";
  const fs::path out = work / "out";
  std::ofstream(package, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  // Items may be named "x.part" themselves; any other .part is one the extractor left.
  std::set<fs::path> extracted;
  // Small limits keep each input quick; the checks are the same at any size.
  if (auto zip =
          korvan::ZipExtractor::Open(package, nullptr, korvan::ZipLimits{1u << 20, 4u << 20})) {
    korvan::ZipEntry all;
    Require(zip->GetEntry(-1, all) == korvan::ZipResult::Ok);
    for (int32_t i = 0; i < all.index; ++i) {
      korvan::ZipEntry entry;
      zip->GetEntry(i, entry);
      Require(entry.name.find('\0') == std::string::npos);
      const bool into = zip->ExtractEntryInto(i, out) == korvan::ZipResult::Ok;
      const bool to =
          zip->ExtractEntry(i, out.string() + "/" + entry.name) == korvan::ZipResult::Ok;
      if (into || to) {
        extracted.insert((out / Slashed(entry.name)).lexically_normal());
      }
    }
    Require(zip->Close() == korvan::ZipResult::Ok);
  }

  for (const auto& item : fs::directory_iterator(work)) {
    Require(item.path() == package || item.path() == out);
  }
  std::error_code ec;
  if (fs::exists(out, ec)) {
    for (const auto& item : fs::recursive_directory_iterator(out)) {
      Require(!item.is_symlink());
      Require(item.is_directory() || item.is_regular_file());
      Require(item.path().extension() != ".part" || extracted.contains(item.path()));
    }
  }
  fs::remove_all(out, ec);
  return 0;
}
