// `korvan fetch` and `korvan download`: the window's Download command on the command line. fetch
// stops once the package is unpacked and its update file chosen (nothing is written to a
// device, and with --type and --country no device is needed); download goes on with the update
// sequence on the detected device.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

#include "device/scsi_transport.h"
#include "frontend/global_options.h"
#include "sources/http_client.h"

namespace korvan::cli {

struct FetchOptions {
  std::optional<uint8_t> type;     // the model, instead of a detected device
  std::optional<uint8_t> country;  // the package country: 3 Russia, 12 Uzbekistan
  std::optional<int> voice;        // the voice list's item data; the first entry when absent
};

// Exit status: 0 when an update file was picked, 1 when the server or the package failed or no
// device answered, 2 for bad options or a working folder that cannot be used.
int RunFetch(DiskHost& host, HttpClient& http, const frontend::GlobalOptions& options,
             const FetchOptions& fetch, std::ostream& out, std::ostream& err);

struct DownloadOptions {
  std::optional<uint8_t> country;
  std::optional<int> voice;
  bool verify = true;
  bool quiet = false;
};

// Exit status as `korvan update`: 0 when the device holds the package's update file, 1 when
// the download or the update failed, 2 for bad options.
int RunDownload(DiskHost& host, HttpClient& http, const frontend::GlobalOptions& options,
                const DownloadOptions& download, std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
