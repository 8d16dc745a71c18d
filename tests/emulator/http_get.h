// A minimal HTTP client for the loopback server's tests: one GET with libcurl, no redirects
// followed, keeping what a test looks at (status, headers, body, how the transfer ended).
#pragma once

#include <curl/curl.h>

#include <string>

namespace korvan::testing {

struct HttpGetOptions {
  long timeoutMs = 20000;  // the whole transfer; a guard against hangs
  bool pathAsIs = false;   // send "/../" as written instead of resolving it first
};

struct HttpGetResult {
  CURLcode code = CURLE_OK;  // CURLE_PARTIAL_FILE for a short body, CURLE_OPERATION_TIMEDOUT...
  long status = 0;           // 0 when no status line arrived
  curl_off_t contentLength = -1;
  std::string location;  // the Location header as sent
  std::string body;      // what arrived, complete or not
};

inline size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

inline size_t KeepLocation(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  constexpr char kName[] = "location:";
  if (line.size() > sizeof(kName) - 1 &&
      curl_strnequal(line.c_str(), kName, sizeof(kName) - 1) != 0) {
    line.erase(0, sizeof(kName) - 1);
    const size_t first = line.find_first_not_of(" \t");
    const size_t last = line.find_last_not_of(" \t\r\n");
    *static_cast<std::string*>(target) =
        first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
  }
  return size * count;
}

inline HttpGetResult HttpGet(const std::string& url, const HttpGetOptions& options = {}) {
  HttpGetResult result;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");  // a proxy from the environment must not answer
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.timeoutMs);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, options.pathAsIs ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &KeepLocation);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.location);
  result.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &result.contentLength);
  curl_easy_cleanup(curl);
  return result;
}

}  // namespace korvan::testing
