// Where the command line finds its drives: the machine's disks, or simulated devices
// (--simulate, --device-dir) standing in for them.
#pragma once

#include <memory>
#include <ostream>

#include "cli/global_options.h"
#include "device/scsi_transport.h"

namespace korvan::cli {

// The host for `options`; null after writing the reason to `err` (a device folder that cannot
// be loaded, two devices on one drive).
std::unique_ptr<DiskHost> MakeDiskHost(const GlobalOptions& options, std::ostream& err);

}  // namespace korvan::cli
