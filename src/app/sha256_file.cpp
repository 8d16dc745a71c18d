#include "app/sha256_file.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>

namespace korvan {

std::optional<std::string> Sha256File(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    return std::nullopt;
  }
  std::array<char, 64 * 1024> buffer;
  while (in) {
    in.read(buffer.data(), buffer.size());
    const std::streamsize got = in.gcount();
    if (got > 0 && EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got)) != 1) {
      return std::nullopt;
    }
  }
  // A read error (not the end of the file) must not pass as the hash of a shorter file.
  if (in.bad() || !in.eof()) {
    return std::nullopt;
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
    return std::nullopt;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace korvan
