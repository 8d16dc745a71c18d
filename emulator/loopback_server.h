// `LoopbackServer`: a web server on 127.0.0.1 that serves a folder (a server tree, see
// server_tree.h) to the program's download, with the faults a real server shows: error codes,
// a stalled or cut-off body, a slow line, a redirect to a local file. Runs on threads of its
// own, so a test starts it, points the download at url(), and stops it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvan::emu {

enum class ServerFault : uint8_t {
  None,
  NotFound,     // "404": every request answers 404
  ServerError,  // "500": every request answers 500
  // The body faults act on files that exist (a missing file still answers 404):
  Stall,  // "stall": status and headers, then no byte of the body until the server stops
  Cut,    // "cut": the full Content-Length, half the body, then the connection is closed
  Slow,   // "slow": the body at LoopbackServerOptions::slowBytesPerSecond
  // "redirect-file": 302 to the file:// URL of the requested path below the root
  RedirectFile,
};

// The names above ("none", "404", "500", "stall", "cut", "slow", "redirect-file").
std::string_view ServerFaultName(ServerFault fault);
std::optional<ServerFault> ParseServerFault(std::string_view name);

struct LoopbackServerOptions {
  int port = 0;  // 0: any free port
  ServerFault fault = ServerFault::None;
  // The fault acts only on request paths that end in this ("version.txt", ".zip"); empty: on all.
  std::string faultPathSuffix;
  size_t slowBytesPerSecond = 4096;
};

class LoopbackServer {
 public:
  // Serves the files below `root`. Nothing happens until Start.
  explicit LoopbackServer(std::filesystem::path root, LoopbackServerOptions options = {});
  // Stops the server.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Binds 127.0.0.1 and serves from then on; connections are accepted as soon as it returns.
  // False, with error() saying why, when the root is not a folder or the port cannot be bound.
  // Call it once.
  bool Start();
  // Ends every request in progress (a stalled or slow body is cut off), closes the port and
  // joins the server's threads. Returns at once for the requests being answered, whatever
  // their fault; a connection that has not yet sent its whole request holds it up to a second.
  // Idempotent.
  void Stop();

  const std::string& error() const { return error_; }
  // The bound port, 0 before a successful Start.
  int port() const { return port_; }
  // "http://127.0.0.1:PORT/", the root folder's URL.
  std::string url() const;

  // Changes the fault for the requests that arrive from now on. Thread-safe.
  void SetFault(ServerFault fault, std::string pathSuffix = {});
  // The decoded paths of the requests received so far ("/wp-content/db/version.txt"), in
  // arrival order. Thread-safe.
  std::vector<std::string> RequestedPaths() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;  // keeps the HTTP library out of this header
  std::string error_;
  int port_ = 0;
};

}  // namespace korvan::emu
