#include "sources/schema_download.h"

#include <system_error>

#include "sources/server_download.h"

namespace korvan {

std::string_view SchemaFileName(int8_t typeCode) {
  switch (typeCode) {
    case 25:
      return "schema_Gorse.csv";
    case 26:
      return "schema_FernUltra.csv";
    case 27:
      return "schema_GorseTwo.csv";
    default:
      return {};
  }
}

HttpOutcome DownloadSchema(HttpClient& http, std::string_view serverUrl, int8_t typeCode,
                           const std::filesystem::path& target, uint64_t maxBytes) {
  std::error_code error;
  std::filesystem::remove(target, error);
  if (error) {
    return {HttpResult::WriteFailed, 0, target.string() + ": " + error.message()};
  }
  const std::string_view name = SchemaFileName(typeCode);
  if (name.empty()) {
    return {HttpResult::BadUrl, 0, "this model has no settings schema"};
  }
  // The schema is a few KiB: it arrives at once or not at all, so nothing asks to stop it.
  return http.Download(ServerFileUrl(serverUrl, name), target, maxBytes,
                       [](uint64_t, uint64_t) { return true; });
}

}  // namespace korvan
