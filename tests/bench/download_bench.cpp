// Download of a 16 MiB update package from the simulated server on loopback: our HTTP client
// against `curl -o` on the same file and disk, medians of both and their ratio (ours / curl;
// curl's own time_total, so neither side pays for starting a process), then the peak RSS of a
// whole `korvan fetch` of that package (download, extraction, choice of the update file).
// Usage: download_bench KORVAN [--rounds N]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "device/device_info.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "emulator/zip_writer.h"
#include "sources/curl_http_client.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr const char* kPackage = "wp-content/db/15-05-2023/RUS/FernUltra_15052023.zip";

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The type-26 update file the server tree carries, and 8 MiB of data that does not compress
// beside it, so the package is about 16 MiB on the wire.
bool WritePackage(const fs::path& root) {
  fs::create_directories(root / "wp-content/db/15-05-2023/RUS");
  std::ofstream(root / "wp-content/db/version.txt") << "15-05-2023";
  const auto update = korvan::emu::ServerUpdateFile(26, korvan::kCountryRussia, 0);
  std::vector<uint8_t> noise(15u << 20);
  std::mt19937 random(26);
  std::generate(noise.begin(), noise.end(), [&] { return static_cast<uint8_t>(random()); });
  std::vector<korvan::emu::ZipEntry> entries = {
      korvan::emu::ZipFileEntry(update.name, update.bytes),
      korvan::emu::ZipFileEntry("voice-samples.dat", noise)};
  entries[1].method = korvan::emu::ZipEntry::Method::Store;
  return korvan::emu::WriteZip(root / kPackage, entries).ok();
}

std::string Run(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
      output += buffer;
    }
    pclose(pipe);
  }
  return output;
}

// Peak RSS in KiB of `args` run as a child.
long PeakRssKiB(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: download_bench KORVAN [--rounds N]\n");
    return 2;
  }
  const std::string korvan = fs::absolute(argv[1]).string();
  int rounds = 7;
  if (argc >= 4 && std::strcmp(argv[2], "--rounds") == 0) {
    rounds = std::max(1, std::atoi(argv[3]));
  }
  const fs::path dir = fs::temp_directory_path() / ("korvan_download_bench_" + std::to_string(getpid()));
  const fs::path root = dir / "server";
  if (!WritePackage(root)) {
    std::fprintf(stderr, "cannot write the package\n");
    return 1;
  }
  korvan::emu::LoopbackServer server(root);
  if (!server.Start()) {
    std::fprintf(stderr, "%s\n", server.error().c_str());
    return 1;
  }
  const std::string url = server.url() + kPackage;
  const auto size = fs::file_size(root / kPackage);

  korvan::CurlHttpClient http;
  std::vector<double> ours;
  std::vector<double> curl;
  for (int i = 0; i < rounds; ++i) {
    // Both write a file that is not there yet.
    const fs::path target = dir / "ours.zip";
    fs::remove(target);
    fs::remove(dir / "curl.zip");
    const auto start = Clock::now();
    const auto outcome = http.Download(url, target, 1ull << 30, {});
    ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (!outcome.ok()) {
      std::fprintf(stderr, "download failed: %s\n", outcome.detail.c_str());
      return 1;
    }
    const std::string took = Run("curl -s -o '" + (dir / "curl.zip").string() +
                                 "' -w '%{time_total}' '" + url + "'");
    curl.push_back(std::strtod(took.c_str(), nullptr));
  }
  const double oursMedian = Median(ours);
  const double curlMedian = Median(curl);
  std::printf("package %.1f MiB, %d rounds\n", static_cast<double>(size) / (1 << 20), rounds);
  std::printf("ours  %7.1f ms\ncurl  %7.1f ms\nratio %7.2f (goal <= 1.10)\n", oursMedian * 1e3,
              curlMedian * 1e3, oursMedian / curlMedian);

  const long rss = PeakRssKiB({korvan, "--workdir", (dir / "work").string(), "--server",
                               server.url() + "wp-content/db/", "fetch", "--type", "26",
                               "--country", "3"});
  std::printf("korvan fetch peak RSS %.1f MiB (goal < 32 MiB)\n", static_cast<double>(rss) / 1024);
  server.Stop();
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}
