// The settings schema of types 25-27 from the update server: one CSV file per model in the
// download directory, stored in the working folder as Schema.csv whatever the model.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "sources/http_client.h"

namespace korvan {

inline constexpr std::string_view kSchemaLocalName = "Schema.csv";

// The schema's name on the server: "schema_Gorse.csv" (25), "schema_FernUltra.csv" (26),
// "schema_GorseTwo.csv" (27); empty for the other models, which have none.
std::string_view SchemaFileName(int8_t typeCode);

// `DownloadSchema`: the model's schema into `target`. The old copy goes first, so after a
// failed download there is none: a schema left by an earlier run is never taken for this one.
// A body above `maxBytes` fails.
HttpOutcome DownloadSchema(HttpClient& http, std::string_view serverUrl, int8_t typeCode,
                           const std::filesystem::path& target, uint64_t maxBytes);

}  // namespace korvan
