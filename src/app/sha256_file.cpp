#include "app/sha256_file.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <openssl/evp.h>
#endif

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>

namespace korvan {
namespace {

inline constexpr size_t kDigestSize = 32;
using Digest = std::array<unsigned char, kDigestSize>;

#ifdef _WIN32
// Windows' own SHA-256 (bcrypt.dll); OpenSSL's libcrypto is not built for Windows here.
class Sha256 {
 public:
  Sha256() {
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      algorithm_ = nullptr;
      return;
    }
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
      hash_ = nullptr;
    }
  }
  ~Sha256() {
    if (hash_ != nullptr) {
      BCryptDestroyHash(hash_);
    }
    if (algorithm_ != nullptr) {
      BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Ready() const { return hash_ != nullptr; }
  bool Update(const char* data, size_t size) {
    // The file is read in pieces far below 4 GB, the most one call takes.
    return BCRYPT_SUCCESS(BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)),
                                         static_cast<ULONG>(size), 0));
  }
  bool Final(Digest& digest) {
    return BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest.data(), kDigestSize, 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};
#else
class Sha256 {
 public:
  Sha256() : context_(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
    if (context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
      context_.reset();
    }
  }

  bool Ready() const { return context_ != nullptr; }
  bool Update(const char* data, size_t size) {
    return EVP_DigestUpdate(context_.get(), data, size) == 1;
  }
  bool Final(Digest& digest) {
    unsigned int length = 0;
    return EVP_DigestFinal_ex(context_.get(), digest.data(), &length) == 1 && length == kDigestSize;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};
#endif

}  // namespace

std::optional<std::string> Sha256File(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  Sha256 hash;
  if (!hash.Ready()) {
    return std::nullopt;
  }
  std::array<char, 64 * 1024> buffer;
  while (in) {
    in.read(buffer.data(), buffer.size());
    const std::streamsize got = in.gcount();
    if (got > 0 && !hash.Update(buffer.data(), static_cast<size_t>(got))) {
      return std::nullopt;
    }
  }
  // A read error (not the end of the file) must not pass as the hash of a shorter file.
  if (in.bad() || !in.eof()) {
    return std::nullopt;
  }
  Digest digest;
  if (!hash.Final(digest)) {
    return std::nullopt;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(kDigestSize * 2);
  for (const unsigned char byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

}  // namespace korvan
