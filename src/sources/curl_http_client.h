// HttpClient over libcurl: http and https only (redirects too, at most five), a connect
// time-out, a stall time-out, proxies from the usual environment variables, and a cancel that
// takes effect within a tenth of a second even when no byte arrives.
#pragma once

#include <chrono>

#include "sources/http_client.h"

namespace korvan {

struct CurlOptions {
  std::chrono::seconds connectTimeout{15};
  // A transfer slower than one byte a second for this long is given up.
  std::chrono::seconds stallTimeout{30};
};

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(CurlOptions options = {});
  HttpOutcome Download(std::string_view url, const std::filesystem::path& target,
                       uint64_t maxBytes, const HttpProgress& progress) override;

 private:
  CurlOptions options_;
};

}  // namespace korvan
