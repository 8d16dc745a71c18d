#include "sources/curl_http_client.h"

#include <curl/curl.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

namespace korvan {
namespace {

// libcurl's process-wide set-up, once, before the first handle (it is not thread-safe itself).
void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// fopen(path, "wb") with the path in the system's own encoding: Windows' narrow names are the
// ANSI code page's, which cannot hold every folder name a user may have.
std::FILE* CreateForWriting(const std::filesystem::path& path) {
#ifdef _WIN32
  return ::_wfopen(path.c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

struct Transfer {
  std::FILE* out = nullptr;
  uint64_t written = 0;
  uint64_t maxBytes = 0;
  bool tooLarge = false;
  bool writeFailed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (transfer.written + bytes > transfer.maxBytes) {
    transfer.tooLarge = true;
    return 0;  // makes libcurl end the transfer with a write error
  }
  if (std::fwrite(data, 1, bytes, transfer.out) != bytes) {
    transfer.writeFailed = true;
    return 0;
  }
  transfer.written += bytes;
  return bytes;
}

HttpResult Classify(CURLcode code, const Transfer& transfer) {
  switch (code) {
    case CURLE_OK:
      return HttpResult::Ok;
    case CURLE_HTTP_RETURNED_ERROR:
      return HttpResult::HttpError;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpResult::ConnectFailed;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpResult::TimedOut;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
      return HttpResult::Incomplete;
    case CURLE_FILESIZE_EXCEEDED:
      return HttpResult::TooLarge;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_TOO_MANY_REDIRECTS:
      return HttpResult::BadUrl;
    case CURLE_WRITE_ERROR:
      return transfer.tooLarge ? HttpResult::TooLarge : HttpResult::WriteFailed;
    case CURLE_ABORTED_BY_CALLBACK:
      return HttpResult::Cancelled;
    default:
      return HttpResult::Failed;
  }
}

}  // namespace

CurlHttpClient::CurlHttpClient(CurlOptions options) : options_(options) {
  GlobalInit();
}

HttpOutcome CurlHttpClient::Download(std::string_view url, const std::filesystem::path& target,
                                     uint64_t maxBytes, const HttpProgress& progress) {
  HttpOutcome outcome;
  std::filesystem::path part = target;
  part += ".part";
  std::error_code ignored;
  auto discard = [&part, &ignored] { std::filesystem::remove(part, ignored); };

  const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) {
    outcome.detail = "the HTTP library could not start";
    return outcome;
  }
  // "wb" creates or truncates; a leftover .part of an earlier run is overwritten, never taken.
  std::unique_ptr<std::FILE, FileCloser> file(CreateForWriting(part));
  if (!file) {
    outcome.result = HttpResult::WriteFailed;
    outcome.detail = "cannot create " + part.string();
    return outcome;
  }
  // Large pieces: a package is written in a few hundred calls, not thousands.
  std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 20);
  Transfer transfer{file.get(), 0, maxBytes};
  char errorText[CURL_ERROR_SIZE] = {};
  const std::string address(url);
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  // A 404 page is not the file asked for.
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  // Only the web: a redirect must not reach local files or other protocols.
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options_.connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stallTimeout.count()));
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // Large receive pieces: with the default 16 KiB a 16 MiB package took a third longer than
  // the curl tool on loopback (download_bench).
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 1024L * 1024);
  // Every request asks the server afresh: no cache between us and the package.
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(h, CURLOPT_USERAGENT, "korvan-updater");

  // The multi interface lets the wait for data end every 100 ms, so a cancel (the window
  // closing) is seen at once even while the server sends nothing.
  curl_multi_add_handle(multi.get(), h);
  CURLcode code = CURLE_OK;
  bool cancelled = false;
  for (;;) {
    int running = 0;
    const CURLMcode step = curl_multi_perform(multi.get(), &running);
    if (step != CURLM_OK) {
      code = CURLE_FAILED_INIT;
      break;
    }
    if (progress) {
      curl_off_t total = 0;
      curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
      if (!progress(transfer.written, total > 0 ? static_cast<uint64_t>(total) : 0)) {
        cancelled = true;
        break;
      }
    }
    if (running == 0) {
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE) {
          code = message->data.result;
        }
      }
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, 100, nullptr);
  }
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &outcome.status);
  curl_multi_remove_handle(multi.get(), h);
  curl_slist_free_all(headers);

  const bool flushed = std::fclose(file.release()) == 0;
  outcome.result = cancelled ? HttpResult::Cancelled : Classify(code, transfer);
  if (outcome.result == HttpResult::Ok && !flushed) {
    outcome.result = HttpResult::WriteFailed;
  }
  outcome.detail =
      cancelled ? "cancelled" : (errorText[0] != '\0' ? errorText : curl_easy_strerror(code));
  if (!outcome.ok()) {
    discard();
    return outcome;
  }
  std::filesystem::rename(part, target, ignored);
  if (ignored) {
    outcome.result = HttpResult::WriteFailed;
    outcome.detail = "cannot rename " + part.string() + ": " + ignored.message();
    discard();
  }
  return outcome;
}

}  // namespace korvan
