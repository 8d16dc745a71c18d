// What `korvan probe` and `korvan detect` say when no detector answered and a SCSI generic node
// could not be opened: which node, why, and how the logged-in user gets access. The Linux host
// runs over a fake sysfs and injected open(2) results, so no disk of this machine is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/detect_command.h"
#include "cli/probe_command.h"
#include "device/linux/sg_disk_host.h"
#include "tests/support/scoped_temp_dir.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRemedyLines[] = {
    "  cp packaging/udev/70-korvan-updater.rules /etc/udev/rules.d/\n",
    "  modprobe sg\n",
    "  udevadm control --reload\n",
    "  udevadm trigger --subsystem-match=scsi_generic\n",
};

// A machine's /dev/sgN nodes: each listed node fails open(2) with its errno (0: opens, but
// every command fails), every other one does not exist. The kernel's description of a node
// in sysfs is optional, as on a real machine.
class FakeNodes {
 public:
  FakeNodes() = default;

  void Node(int drive, int openErrno) { openErrno_[drive] = openErrno; }

  // Writes sysfs' vendor and model files as the kernel does: padded to 8 and 16 characters.
  void Describe(int drive, std::string vendor, std::string model) {
    const fs::path device = sysfs_ / ("sg" + std::to_string(drive)) / "device";
    fs::create_directories(device);
    vendor.resize(8, ' ');
    model.resize(16, ' ');
    std::ofstream(device / "vendor") << vendor << '\n';
    std::ofstream(device / "model") << model << '\n';
  }

  SgDiskHost Host() {
    SgDiskHost::Options options;
    options.sysfsDir = sysfs_.path();
    auto calls = std::make_shared<const SgSystemCalls>(SgSystemCalls{
        [this](const char* path, int) {
          opened_.emplace_back(path);
          const std::string name = fs::path(path).filename().string();
          const auto node = openErrno_.find(std::stoi(name.substr(2)));
          errno = node == openErrno_.end() ? ENOENT : node->second;
          return errno == 0 ? 50 : -1;
        },
        [](int, sg_io_hdr_t*) {
          errno = EIO;
          return -1;
        },
        [](int) { return 0; },
    });
    return SgDiskHost(options, calls);
  }

  bool Opened(const std::string& path) const {
    return std::find(opened_.begin(), opened_.end(), path) != opened_.end();
  }

 private:
  testing::ScopedTempDir sysfs_{"korvan_sysfs"};
  std::map<int, int> openErrno_;
  std::vector<std::string> opened_;
};

struct Report {
  int status;
  std::string out;
  std::string err;
};

using Command = std::function<Report(DiskHost&)>;

std::vector<std::pair<const char*, Command>> ProbeAndDetect(const fs::path& workdir) {
  return {
      {"probe",
       [](DiskHost& host) {
         std::ostringstream out, err;
         const int status = cli::RunProbe(host, frontend::GlobalOptions{}, out, err);
         return Report{status, out.str(), err.str()};
       }},
      {"detect --once",
       [workdir](DiskHost& host) {
         frontend::GlobalOptions options;
         options.workdir = workdir;
         std::ostringstream out, err;
         const int status = cli::RunDetect(host, options, {.once = true}, out, err);
         return Report{status, out.str(), err.str()};
       }},
  };
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(CliAccessTest, DeniedNodesNamedWithTheirReasonAndTheRemedyOnce) {
  testing::ScopedTempDir work("korvan_access_work");
  for (const auto& [name, run] : ProbeAndDetect(work.path())) {
    SCOPED_TRACE(name);
    FakeNodes nodes;
    nodes.Node(0, EACCES);  // the system disk: sysfs says what it is, so it is never opened
    nodes.Describe(0, "ATA", "Samsung SSD 860");
    nodes.Node(3, EACCES);  // the detector, its node still root's and group disk's
    nodes.Describe(3, "Firmware", " Update Device");
    nodes.Node(5, EPERM);  // no description in sysfs: only opening it can tell
    nodes.Node(9, 0);      // opens, but does not answer as a detector
    SgDiskHost host = nodes.Host();

    const Report report = run(host);
    EXPECT_EQ(report.status, 1);
    EXPECT_NE(report.out.find("No device answered"), std::string::npos) << report.out;
    const std::string& err = report.err;
    EXPECT_NE(err.find("/dev/sg3: this user may not open the disk read-write (Permission denied)"),
              std::string::npos)
        << err;
    EXPECT_NE(
        err.find("/dev/sg5: this user may not open the disk read-write (Operation not permitted)"),
        std::string::npos)
        << err;
    EXPECT_EQ(err.find("/dev/sg0"), std::string::npos) << err;
    EXPECT_EQ(err.find("/dev/sg9"), std::string::npos) << err;
    EXPECT_FALSE(nodes.Opened("/dev/sg0"));
    EXPECT_NE(err.find("korvan-updater package"), std::string::npos) << err;
    for (const char* line : kRemedyLines) {
      EXPECT_EQ(Count(err, line), 1U) << line << err;
    }
  }
}

TEST(CliAccessTest, OtherOpenFailuresNamedWithoutTheRemedy) {
  testing::ScopedTempDir work("korvan_access_work");
  for (const auto& [name, run] : ProbeAndDetect(work.path())) {
    SCOPED_TRACE(name);
    FakeNodes nodes;
    nodes.Node(1, EROFS);
    nodes.Node(4, EIO);
    SgDiskHost host = nodes.Host();

    const Report report = run(host);
    EXPECT_EQ(report.status, 1);
    EXPECT_NE(report.err.find("/dev/sg1: could not open the disk (Read-only file system)\n"),
              std::string::npos)
        << report.err;
    EXPECT_NE(report.err.find("/dev/sg4: could not open the disk (Input/output error)\n"),
              std::string::npos)
        << report.err;
    EXPECT_EQ(report.err.find("udevadm"), std::string::npos) << report.err;
  }
}

TEST(CliAccessTest, TheRuleTheRemedyCopiesIsInTheSourceTree) {
  const std::string line = kRemedyLines[0];
  const size_t from = line.find("packaging/");
  const std::string rule = line.substr(from, line.find(' ', from) - from);
  EXPECT_TRUE(fs::is_regular_file(fs::path(KORVAN_SOURCE_DIR) / rule)) << rule;
}

}  // namespace
}  // namespace korvan
