#include "emulator/loopback_server.h"

#include <httplib.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;

constexpr char kHost[] = "127.0.0.1";
constexpr size_t kReadChunk = 64 * 1024;
// Worker threads. A stalled body holds its worker until Stop even after the client has gone
// (not a byte may be sent, so nothing tells the server), so tests get room for many stalls.
constexpr size_t kWorkerThreads = 16;
// The slow body goes out in this many pieces a second, so the rate holds over short spans too.
constexpr int kSlowPiecesPerSecond = 8;

constexpr std::array<std::pair<ServerFault, std::string_view>, 7> kFaultNames{{
    {ServerFault::None, "none"},
    {ServerFault::NotFound, "404"},
    {ServerFault::ServerError, "500"},
    {ServerFault::Stall, "stall"},
    {ServerFault::Cut, "cut"},
    {ServerFault::Slow, "slow"},
    {ServerFault::RedirectFile, "redirect-file"},
}};

// Where a request path leads.
struct Resolved {
  enum class Kind : uint8_t { File, Missing, Outside };
  Kind kind = Kind::Missing;
  fs::path path;  // below the root, for File and Missing
  uintmax_t size = 0;
};

bool IsBelow(const fs::path& root, const fs::path& path) {
  return std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// `requestPath` is already percent-decoded, so "%2e%2e" arrives here as "..".
Resolved Resolve(const fs::path& root, const std::string& requestPath) {
  Resolved resolved;
  if (requestPath.find('\0') != std::string::npos) {
    resolved.kind = Resolved::Kind::Outside;
    return resolved;
  }
  fs::path path = root;
  size_t start = 0;
  while (start <= requestPath.size()) {
    size_t end = requestPath.find('/', start);
    if (end == std::string::npos) {
      end = requestPath.size();
    }
    const std::string_view segment(requestPath.data() + start, end - start);
    if (segment == "..") {
      resolved.kind = Resolved::Kind::Outside;
      return resolved;
    }
    if (!segment.empty() && segment != ".") {
      path /= segment;
    }
    start = end + 1;
  }
  resolved.path = path;
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    return resolved;
  }
  // A symbolic link inside the tree may still point out of it.
  const fs::path real = fs::canonical(path, ec);
  if (ec || !IsBelow(root, real)) {
    resolved.kind = Resolved::Kind::Outside;
    return resolved;
  }
  if (fs::is_regular_file(real, ec)) {
    resolved.kind = Resolved::Kind::File;
    resolved.size = fs::file_size(real, ec);
  }
  return resolved;
}

std::string FileUrl(const fs::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
#ifdef _WIN32
  // file:///C:/folder/name
  const std::string text = "/" + path.generic_string();
  constexpr bool kColon = true;
#else
  const std::string text = path.string();
  constexpr bool kColon = false;
#endif
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' ||
        (kColon && c == ':')) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0xF];
    }
  }
  return url;
}

std::string ContentType(const fs::path& path) {
  const std::string extension = path.extension().string();
  if (extension == ".txt") {
    return "text/plain";
  }
  if (extension == ".zip") {
    return "application/zip";
  }
  return "application/octet-stream";
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::string_view ServerFaultName(ServerFault fault) {
  for (const auto& [value, name] : kFaultNames) {
    if (value == fault) {
      return name;
    }
  }
  return "none";
}

std::optional<ServerFault> ParseServerFault(std::string_view name) {
  for (const auto& [value, text] : kFaultNames) {
    if (text == name) {
      return value;
    }
  }
  return std::nullopt;
}

struct LoopbackServer::Impl {
  fs::path root;
  LoopbackServerOptions options;
  httplib::Server server;
  std::thread thread;
  std::atomic<bool> listenEnded{false};

  mutable std::mutex mutex;
  std::condition_variable stopCondition;  // wakes the stalled and slow bodies
  bool stopping = false;
  ServerFault fault = ServerFault::None;
  std::string faultPathSuffix;
  std::vector<std::string> requested;

  // Waits up to `wait` (forever without one) or until Stop; false once stopping.
  bool WaitUnlessStopping(std::optional<std::chrono::milliseconds> wait) {
    std::unique_lock lock(mutex);
    if (wait) {
      stopCondition.wait_for(lock, *wait, [this] { return stopping; });
    } else {
      stopCondition.wait(lock, [this] { return stopping; });
    }
    return !stopping;
  }

  void Handle(const httplib::Request& request, httplib::Response& response);
  void ServeBody(const Resolved& file, ServerFault bodyFault, httplib::Response& response);
};

void LoopbackServer::Impl::Handle(const httplib::Request& request, httplib::Response& response) {
  ServerFault active = ServerFault::None;
  {
    std::lock_guard lock(mutex);
    requested.push_back(request.path);
    if (faultPathSuffix.empty() || EndsWith(request.path, faultPathSuffix)) {
      active = fault;
    }
  }
  if (active == ServerFault::NotFound || active == ServerFault::ServerError) {
    response.status = active == ServerFault::NotFound ? 404 : 500;
    response.set_content(active == ServerFault::NotFound ? "not found\n" : "server error\n",
                         "text/plain");
    return;
  }
  const Resolved resolved = Resolve(root, request.path);
  if (resolved.kind == Resolved::Kind::Outside) {
    response.status = 403;
    response.set_content("forbidden\n", "text/plain");
    return;
  }
  if (active == ServerFault::RedirectFile) {
    response.set_redirect(FileUrl(resolved.path), 302);
    return;
  }
  if (resolved.kind != Resolved::Kind::File) {
    response.status = 404;
    response.set_content("not found\n", "text/plain");
    return;
  }
  ServeBody(resolved, active, response);
}

void LoopbackServer::Impl::ServeBody(const Resolved& file, ServerFault bodyFault,
                                     httplib::Response& response) {
  auto stream = std::make_shared<std::ifstream>(file.path, std::ios::binary);
  if (!*stream) {
    response.status = 500;
    response.set_content("cannot read the file\n", "text/plain");
    return;
  }
  const auto size = static_cast<size_t>(file.size);
  // Bytes sent before a cut, and the piece size of a slow body.
  const size_t end = bodyFault == ServerFault::Cut ? size / 2 : size;
  const size_t piece = bodyFault == ServerFault::Slow
                           ? std::max<size_t>(1, options.slowBytesPerSecond / kSlowPiecesPerSecond)
                           : kReadChunk;
  response.status = 200;
  // The library writes the status line and headers before it first asks for body bytes, so a
  // stalled body still shows the client a complete header.
  response.set_content_provider(
      size, ContentType(file.path),
      [this, stream, end, piece, bodyFault](size_t offset, size_t length, httplib::DataSink& sink) {
        if (bodyFault == ServerFault::Stall) {
          WaitUnlessStopping(std::nullopt);
          return false;  // closes the connection without a byte of the body
        }
        if (offset >= end) {
          return false;  // the cut: the client is left short of Content-Length
        }
        if (bodyFault == ServerFault::Slow && offset > 0 &&
            !WaitUnlessStopping(std::chrono::milliseconds(1000 / kSlowPiecesPerSecond))) {
          return false;
        }
        std::vector<char> buffer(std::min({length, end - offset, piece}));
        stream->seekg(static_cast<std::streamoff>(offset));
        stream->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (stream->gcount() != static_cast<std::streamsize>(buffer.size())) {
          return false;  // the file shrank under us: end the connection rather than pad
        }
        return sink.write(buffer.data(), buffer.size());
      });
}

LoopbackServer::LoopbackServer(fs::path root, LoopbackServerOptions options)
    : impl_(std::make_unique<Impl>()) {
  impl_->root = std::move(root);
  impl_->options = std::move(options);
  impl_->fault = impl_->options.fault;
  impl_->faultPathSuffix = impl_->options.faultPathSuffix;
}

LoopbackServer::~LoopbackServer() {
  Stop();
}

bool LoopbackServer::Start() {
  Impl& impl = *impl_;
  std::error_code ec;
  const fs::path canonical = fs::canonical(impl.root, ec);
  if (ec || !fs::is_directory(canonical, ec)) {
    error_ = "\"" + impl.root.string() + "\" is not a folder";
    return false;
  }
  impl.root = canonical;

#ifndef _WIN32
  // WARNING: the library sends without MSG_NOSIGNAL. A client that gives up in the middle of a
  // body (the point of the stall and slow faults) would end the whole process with SIGPIPE.
  // (Windows has no SIGPIPE: a send to a closed connection fails.)
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    signal(SIGPIPE, SIG_IGN);
  }
#endif

  // Stop waits for the worker threads, and the library's waits for a client do not look at
  // it: one request per connection, so no worker sits in the keep-alive wait between requests,
  // and one second (not five) for a connection to send its request, for a client that connects
  // and sends nothing or half a request.
  impl.server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  impl.server.set_keep_alive_max_count(1);
  impl.server.set_keep_alive_timeout(1);
  impl.server.set_read_timeout(1, 0);
  // WARNING: the library's default sets SO_REUSEPORT, which lets a second server bind a port
  // already in use and then shares the connections between them. SO_REUSEADDR instead: a busy
  // port fails Start, and a port just freed can be bound again.
  // On Windows SO_REUSEADDR would let another socket take the port over; SO_EXCLUSIVEADDRUSE
  // is that system's way to make a busy port fail.
  impl.server.set_socket_options([](socket_t sock) {
    const int yes = 1;
#ifdef _WIN32
    setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
               sizeof(yes));
#else
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
#endif
  });
  impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
    impl.Handle(request, response);
  });

  const int port =
      impl.options.port == 0
          ? impl.server.bind_to_any_port(kHost)
          : (impl.server.bind_to_port(kHost, impl.options.port) ? impl.options.port : -1);
  if (port <= 0) {
    error_ = "cannot listen on " + std::string(kHost) + ":" + std::to_string(impl.options.port);
    return false;
  }
  port_ = port;
  impl.thread = std::thread([&impl] {
    impl.server.listen_after_bind();
    impl.listenEnded = true;
  });
  // stop() acts only on a running server: until the thread has marked it running, a Stop would
  // be lost and the join would wait forever.
  while (!impl.server.is_running() && !impl.listenEnded) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void LoopbackServer::Stop() {
  Impl& impl = *impl_;
  {
    std::lock_guard lock(impl.mutex);
    impl.stopping = true;
  }
  impl.stopCondition.notify_all();
  impl.server.stop();
  if (impl.thread.joinable()) {
    impl.thread.join();  // the library joins its workers before listen_after_bind returns
  }
}

std::string LoopbackServer::url() const {
  return "http://" + std::string(kHost) + ":" + std::to_string(port_) + "/";
}

void LoopbackServer::SetFault(ServerFault fault, std::string pathSuffix) {
  std::lock_guard lock(impl_->mutex);
  impl_->fault = fault;
  impl_->faultPathSuffix = std::move(pathSuffix);
}

std::vector<std::string> LoopbackServer::RequestedPaths() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requested;
}

}  // namespace korvan::emu
