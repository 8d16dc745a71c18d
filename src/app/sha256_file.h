// SHA-256 of a file, for the manifests of device backups. Kept apart so that a build without
// OpenSSL's libcrypto (Windows) can put another implementation behind the same function.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace korvan {

// The file's SHA-256 as 64 lowercase hex digits; nullopt when it cannot be read to its end.
// Memory use does not grow with the file.
std::optional<std::string> Sha256File(const std::filesystem::path& path);

}  // namespace korvan
