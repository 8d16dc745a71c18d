// Where a front end finds its drives: the machine's disks, or simulated devices
// (--simulate, --device-dir) standing in for them.
#pragma once

#include <memory>
#include <ostream>
#include <string_view>

#include "frontend/global_options.h"
#include "device/scsi_transport.h"

namespace korvan::frontend {

// The host for `options`; null after writing the reason to `err`, prefixed with `program` (a
// device folder that cannot be loaded, two devices on one drive).
std::unique_ptr<DiskHost> MakeDiskHost(const GlobalOptions& options, std::string_view program,
                                       std::ostream& err);

}  // namespace korvan::frontend
