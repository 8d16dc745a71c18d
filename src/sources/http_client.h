// `HttpClient`: what the download flow needs of the web: one URL fetched into one local file.
// Implemented with libcurl (CurlHttpClient); tests fetch from the simulated server on loopback.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace korvan {

enum class HttpResult {
  Ok,             // the whole body is in the target file
  HttpError,      // the server answered with a status other than 2xx
  ConnectFailed,  // no connection (refused, no route, name not found)
  TimedOut,       // no connection in time, or the transfer stalled
  Incomplete,     // the body ended before its announced length
  TooLarge,       // the body is longer than the caller allows
  BadUrl,         // not an http or https URL, or a redirect elsewhere (file://, ftp://, ...)
  WriteFailed,    // the target could not be written
  Cancelled,      // the caller's progress callback asked to stop
  Failed,         // anything else
};

struct HttpOutcome {
  HttpResult result = HttpResult::Failed;
  long status = 0;     // the last HTTP status seen, 0 without one
  std::string detail;  // for people: what the transport said

  bool ok() const { return result == HttpResult::Ok; }
};

// Called while a body arrives: bytes so far and the announced total (0 when unknown). Return
// false to cancel the transfer. Called on the thread that called Download, also while nothing
// arrives, so a cancel is noticed promptly.
using HttpProgress = std::function<bool(uint64_t received, uint64_t total)>;

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Fetches `url` into `target`. The body goes to `target` + ".part" and is renamed onto
  // `target` only when complete; on any failure neither file is left. Blocks until done.
  virtual HttpOutcome Download(std::string_view url, const std::filesystem::path& target,
                               uint64_t maxBytes, const HttpProgress& progress) = 0;
};

}  // namespace korvan
