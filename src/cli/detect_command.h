// `korvan detect`: the program's detection with the window replaced by the console. Prints
// model, versions and status exactly as the main window would show them.
#pragma once

#include <ostream>

#include "device/scsi_transport.h"
#include "frontend/global_options.h"

namespace korvan::cli {

struct DetectOptions {
  bool once = false;     // one scan; no device answering is a result, not a wait
  bool service = false;  // service mode: the second version of type 8 devices is shown
};

// Exit status: 0 when a device was read, 1 when none answered (--once), 2 when the working
// folder cannot be used.
int RunDetect(DiskHost& host, const frontend::GlobalOptions& options, const DetectOptions& detect,
              std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
