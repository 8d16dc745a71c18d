// `korvan update FILE --all`: every attached device of the file's model brought up to date at
// once, one update worker per device, with one live line per device and a summary per device.
#pragma once

#include <ostream>

#include "cli/update_commands.h"
#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

// Every answering drive (the --drive alone when given) is read as the detection reads it; the
// devices that accept the file as Open would are updated concurrently, the others are listed
// as skipped with the reason. Exit status: 0 when every device that answered and is of the
// file's model was brought up to date, 1 when any of them failed, could not be read, or when
// no device of the model answered; 2 when the working folder cannot be used.
int RunUpdateAll(DiskHost& host, const frontend::GlobalOptions& options,
                 const UpdateOptions& update, std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
