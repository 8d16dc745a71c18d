#include "cli/probe_command.h"

#include <cstring>
#include <string>
#include <vector>

#include "cli/json_text.h"
#include "device/device_channel.h"

namespace korvan::cli {
namespace {

struct Found {
  int drive;
  uint8_t rawType;
};

struct Unopened {
  int drive;
  OpenStatus status;
  int osError;
};

std::string Hex(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0x0F];
}

void ReportUnopened(DiskHost& host, const std::vector<Unopened>& unopened, std::ostream& err) {
  for (const auto& u : unopened) {
    err << host.DriveName(u.drive) << ": ";
    if (u.status == OpenStatus::AccessDenied) {
      err << "found a disk it may not open (" << std::strerror(u.osError)
          << "); install the udev rule from packaging/ or run as root\n";
    } else {
      err << "could not open the disk (" << std::strerror(u.osError) << ")\n";
    }
  }
}

}  // namespace

int RunProbe(DiskHost& host, const GlobalOptions& options, std::ostream& out, std::ostream& err) {
  DriveSlotTable slots;  // the probe claims nothing; the channel still needs a table
  DeviceChannel channel(host, slots);
  std::vector<Found> found;
  std::vector<Unopened> unopened;
  for (int drive = kFirstDrive; drive <= kLastDrive; ++drive) {
    DeviceInfo info;
    if (channel.ProbeDrive(drive, info)) {
      found.push_back({drive, static_cast<uint8_t>(info.typeCode)});
    } else if (channel.LastOpenStatus() == OpenStatus::AccessDenied ||
               channel.LastOpenStatus() == OpenStatus::Failed) {
      unopened.push_back({drive, channel.LastOpenStatus(), channel.LastOpenError()});
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
      out << "No device answered on drives " << kFirstDrive << "-" << kLastDrive << ".\n";
    }
  }
  if (found.empty()) {
    ReportUnopened(host, unopened, err);
  }
  return found.empty() ? 1 : 0;
}

}  // namespace korvan::cli
