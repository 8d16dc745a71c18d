// libFuzzer target: the reading and cleaning of item names over any bytes, with the properties
// the extractor relies on checked on every input.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "sources/zip_name.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::size_t CodePoints(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  }
  return count;
}

void CheckCleaned(const std::string& name) {
  const std::string cleaned = korvan::CleanEntryName(name);
  Require(name.ends_with(cleaned));
  Require(korvan::CleanEntryName(cleaned) == cleaned);
  const auto steps = korvan::EntryPathSteps(cleaned);
  if (!steps) {
    return;
  }
  const std::filesystem::path root = "/root/of/extraction";
  std::filesystem::path target = root;
  for (const std::string& step : *steps) {
    Require(!step.empty() && step.find_first_of("/\\") == std::string::npos);
    Require(step.find_first_not_of('.') != std::string::npos);
    target /= step;
  }
  const std::string normal = target.lexically_normal().string();
  Require(normal.starts_with(root.string() + "/") && normal.size() > root.string().size() + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string stored(reinterpret_cast<const char*>(data), size);
  const std::string decoded = korvan::DecodeEntryName(stored);
  // Valid UTF-8 decodes to itself; no NUL; never longer than the limit.
  Require(korvan::DecodeEntryName(decoded) == decoded);
  Require(decoded.find('\0') == std::string::npos);
  Require(CodePoints(decoded) <= korvan::kMaxEntryNameLength);
  CheckCleaned(stored);
  CheckCleaned(decoded);
  return 0;
}
