// `korvan probe`: one scan of drives 0..25 with the identification, listing every device
// that answers and every disk that could not be opened.
#pragma once

#include <ostream>

#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

// Tells which drives hold a disk that could not be opened and why: the likely reason no device
// answered (a detector the user has no access to). When permission was missing, also how to
// give the logged-in user access to the detector.
void ReportUnopenableDisks(DiskHost& host, std::ostream& err);

// Exit status: 0 when a device answered, 1 when none did.
int RunProbe(DiskHost& host, const frontend::GlobalOptions& options, std::ostream& out,
             std::ostream& err);

}  // namespace korvan::cli
