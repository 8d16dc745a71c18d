#include "cli/probe_command.h"

#include <cerrno>
#include <string>
#include <vector>

#include "cli/console_session.h"
#include "cli/json_text.h"
#include "device/device_channel.h"
#include "device/os_error_text.h"

namespace korvan::cli {
namespace {

struct Found {
  int drive;
  uint8_t rawType;
};

std::string Hex(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0x0F];
}

bool IsPermissionError(int osError) {
#ifdef _WIN32
  return osError == 5;  // ERROR_ACCESS_DENIED
#else
  return osError == EACCES || osError == EPERM;
#endif
}

}  // namespace

void ReportUnopenableDisks(DiskHost& host, std::ostream& err) {
  bool permissionDenied = false;
  for (int drive = kFirstDrive; drive <= kLastDrive; ++drive) {
    const OpenResult opened = host.OpenDrive(drive);
    if (opened.status == OpenStatus::AccessDenied && IsPermissionError(opened.osError)) {
      permissionDenied = true;
      err << host.DriveName(drive) << ": this user may not open the disk read-write ("
          << OsErrorText(opened.osError) << "); a detector there cannot be reached\n";
    } else if (opened.status == OpenStatus::AccessDenied || opened.status == OpenStatus::Failed) {
      err << host.DriveName(drive) << ": could not open the disk (" << OsErrorText(opened.osError)
          << ")\n";
    }
  }
#ifdef _WIN32
  if (permissionDenied) {
    err << R"(Windows lets only an administrator open a disk for reading and writing. Start the
program as an administrator (in its context menu, "Run as administrator").
)";
  }
#else
  if (permissionDenied) {
    err << R"(A detector is reached through its SCSI generic node, which the program must open for
reading and writing. The udev rule of the korvan-updater package gives the user logged in at
this computer that access, to the detector's node only: no sudo, no group to join. With the
package installed, unplug the detector and plug it in again. Without the package, apply the
rule from the source tree by hand, as root:
  cp packaging/udev/70-korvan-updater.rules /etc/udev/rules.d/
  modprobe sg
  udevadm control --reload
  udevadm trigger --subsystem-match=scsi_generic
The access goes to the local desktop session, not to a login over ssh.
)";
  }
#endif
}

int RunProbe(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& out,
             std::ostream& err) {
  DriveSlotTable slots;  // the probe claims nothing; the channel still needs a table
  DeviceChannel channel(host, slots);
  std::vector<Found> found;
  const int first = options.drive.value_or(kFirstDrive);
  const int last = options.drive.value_or(kLastDrive);
  for (int drive = first; drive <= last; ++drive) {
    DeviceInfo info;
    if (channel.ProbeDrive(drive, info)) {
      found.push_back({drive, static_cast<uint8_t>(info.typeCode)});
    }
  }

  if (options.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& f : found) {
      list.push_back({{"drive", f.drive}, {"rawType", f.rawType}});
    }
    out << JsonLine(list) << '\n';
  } else {
    for (const auto& f : found) {
      out << "Drive " << f.drive << " (" << host.DriveName(f.drive)
          << "): device found, raw type byte " << int{f.rawType} << " (" << Hex(f.rawType) << ")\n";
    }
    if (found.empty()) {
      out << "No device answered on " << DrivesSearched(options) << ".\n";
    }
  }
  if (found.empty()) {
    ReportUnopenableDisks(host, err);
  }
  return found.empty() ? 1 : 0;
}

}  // namespace korvan::cli
