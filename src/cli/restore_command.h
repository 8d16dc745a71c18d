// `korvan restore BACKUP_DIR`: a backup of the device's memories written back into the
// detected device, region by region, with read-back and verification.
#pragma once

#include <ostream>
#include <string>

#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

struct RestoreOptions {
  std::string backupDir;
  bool quiet = false;  // no live progress line
};

// Exit status: 0 when every region was written and verified, 1 when the backup was refused
// (unreadable, tampered with, another model), the device's memories could not be saved first,
// a region failed or the device stopped taking data, or no device answered; 2 when the working
// folder cannot be used.
int RunRestoreCommand(DiskHost& host, const frontend::GlobalOptions& options,
                      const RestoreOptions& restore, std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
