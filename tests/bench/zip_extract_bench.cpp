// Extraction of a 16 MiB update package by ZipExtractor against Info-ZIP `unzip -o`, on the same
// package and disk. Both run as child processes, alternately, from a clean page of dirty data
// (sync between runs); the medians and their ratio (ours / unzip) are printed, with the peak RSS
// of each. Usage: zip_extract_bench [--rounds N] [--dir FOLDER]
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "sources/zip_extractor.h"
#include "tests/sources/zip_test_package.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// An update package's kind of content: a firmware image that does not compress, voice data that
// compresses a little, a database that compresses well, and erased flash.
std::vector<korvan::testing::TestItem> PackageItems() {
  std::mt19937 random(20240517);
  auto bytes = [&](std::size_t size, auto&& next) {
    std::string data(size, '\0');
    for (char& c : data) {
      c = static_cast<char>(next());
    }
    return data;
  };
  std::vector<korvan::testing::TestItem> items(4);
  items[0].name = "Dahlia_F0173_V0012_D150523.bin";
  items[0].data = bytes(9u << 20, [&] { return random() & 0xFF; });
  items[1].name = "voice/voice_ru.bin";
  int phase = 0;
  items[1].data = bytes(6u << 20, [&] {
    phase += 7;
    return static_cast<int>(128 + 60 * std::sin(phase / 40.0)) + static_cast<int>(random() % 9);
  });
  items[2].name = "database/points.bin";
  uint32_t record = 0;
  items[2].data = bytes(12u << 20, [&] {
    ++record;
    return (record % 16 < 4) ? static_cast<int>(random() % 4) : static_cast<int>(record / 16 % 251);
  });
  items[3].name = "erased.bin";
  items[3].data = std::string(4u << 20, '\xFF');
  return items;
}

long OwnHighWaterKiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  long kib = 0;
  char line[256];
  while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld", &kib) == 1) {
      break;
    }
  }
  if (status != nullptr) {
    std::fclose(status);
  }
  return kib;
}

struct Run {
  double seconds = 0;
  long maxRssKiB = 0;  // from wait4: at least the measuring process's own, see Measure
  long hwmKiB = 0;     // VmHWM the extracting child reported itself; 0 for unzip
  long floorKiB = 0;   // VmHWM of the measuring process when it forked
};

// Runs `args` from a fresh process of this program ("--measure"), whose small memory is all the
// child inherits: the Linux maxrss of an exec'd child starts from the memory of whoever cloned it,
// and this process holds the package it built.
Run RunMeasured(const std::string& self, const std::vector<std::string>& args) {
  std::vector<std::string> all = {self, "--measure"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (const std::string& arg : all) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    std::exit(1);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string output;
  char buffer[256];
  for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  Run run;
  const char* hwm = std::strstr(output.c_str(), "hwm ");
  const char* measured = std::strstr(output.c_str(), "run ");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || measured == nullptr ||
      std::sscanf(measured, "run %lf %ld", &run.seconds, &run.maxRssKiB) != 2) {
    std::fprintf(stderr, "%s failed\n", args[0].c_str());
    std::exit(1);
  }
  if (hwm != nullptr) {
    std::sscanf(hwm, "hwm %ld", &run.hwmKiB);
  }
  if (const char* floor = std::strstr(output.c_str(), "floor ")) {
    std::sscanf(floor, "floor %ld", &run.floorKiB);
  }
  return run;
}

// The measuring process: fork, exec, wait; prints "floor <KiB>" and "run <seconds> <maxrss KiB>".
int Measure(char** args) {
  std::printf("floor %ld\n", OwnHighWaterKiB());
  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (std::strcmp(args[0], "unzip") == 0) {
      // unzip -q still names nothing, but keep its output out of the pipe all the same.
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
    }
    execvp(args[0], args);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return 1;
  }
  std::printf("run %.6f %ld\n", seconds, usage.ru_maxrss);
  return 0;
}

// The child's part: every item into `folder`, as the download flow does it.
int ExtractAll(const fs::path& package, const fs::path& folder) {
  auto zip = korvan::ZipExtractor::Open(package);
  if (!zip) {
    return 1;
  }
  korvan::ZipEntry all;
  zip->GetEntry(-1, all);
  for (int32_t i = 0; i < all.index; ++i) {
    if (zip->ExtractEntryInto(i, folder) != korvan::ZipResult::Ok) {
      return 1;
    }
  }
  if (zip->Close() != korvan::ZipResult::Ok) {
    return 1;
  }
  std::printf("hwm %ld\n", OwnHighWaterKiB());
  return 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--extract") == 0) {
    return ExtractAll(argv[2], argv[3]);
  }
  if (argc > 2 && std::strcmp(argv[1], "--measure") == 0) {
    return Measure(argv + 2);
  }
  int rounds = 15;
  fs::path base = fs::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) {
      rounds = std::max(1, std::atoi(argv[i + 1]));
    } else if (std::strcmp(argv[i], "--dir") == 0) {
      base = argv[i + 1];
    }
  }
  std::string pattern = (base / "korvan_zip_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path work = pattern;
  const fs::path package = work / "package.zip";
  uint64_t inflated = 0;
  {
    const auto items = PackageItems();
    for (const auto& item : items) {
      inflated += item.data.size();
    }
    if (!korvan::testing::WritePackage(package, items)) {
      std::fprintf(stderr, "cannot write the package\n");
      return 1;
    }
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  const fs::path ours = work / "ours";
  const fs::path theirs = work / "unzip";

  std::vector<double> ourTimes;
  std::vector<double> unzipTimes;
  Run ourPeak;
  Run unzipPeak;
  for (int round = 0; round < rounds; ++round) {
    fs::remove_all(ours);
    fs::remove_all(theirs);
    sync();
    const Run a = RunMeasured(self, {self, "--extract", package.string(), ours.string()});
    sync();
    const Run b = RunMeasured(self, {"unzip", "-o", "-q", package.string(), "-d", theirs.string()});
    ourTimes.push_back(a.seconds);
    unzipTimes.push_back(b.seconds);
    ourPeak.maxRssKiB = std::max(ourPeak.maxRssKiB, a.maxRssKiB);
    ourPeak.hwmKiB = std::max(ourPeak.hwmKiB, a.hwmKiB);
    unzipPeak.maxRssKiB = std::max(unzipPeak.maxRssKiB, b.maxRssKiB);
    unzipPeak.floorKiB = std::max(unzipPeak.floorKiB, b.floorKiB);
  }
  // Same files, same bytes.
  for (const auto& item : fs::recursive_directory_iterator(theirs)) {
    const fs::path mine = ours / item.path().lexically_relative(theirs);
    if (item.is_regular_file() &&
        korvan::testing::ReadBytes(mine) != korvan::testing::ReadBytes(item.path())) {
      std::fprintf(stderr, "extractions differ at %s\n", mine.c_str());
      return 1;
    }
  }

  const double ourMedian = Median(ourTimes);
  const double unzipMedian = Median(unzipTimes);
  std::printf("package: %.1f MiB, %.1f MiB inflated, %d rounds, in %s\n",
              static_cast<double>(fs::file_size(package)) / (1 << 20),
              static_cast<double>(inflated) / (1 << 20), rounds, work.c_str());
  std::printf(
      "ZipExtractor: median %.1f ms, peak RSS %ld KiB (VmHWM of the extracting process "
      "%ld KiB)\n",
      ourMedian * 1000, ourPeak.maxRssKiB, ourPeak.hwmKiB);
  std::printf(
      "unzip -o:     median %.1f ms, peak RSS %ld KiB (at most; the measuring process "
      "held %ld KiB when it forked)\n",
      unzipMedian * 1000, unzipPeak.maxRssKiB, unzipPeak.floorKiB);
  std::printf("ratio (ours / unzip): %.2f\n", ourMedian / unzipMedian);
  fs::remove_all(work);
  return 0;
}
