// The system's own wording of an operating-system error code as the device layer reports it in
// OpenResult::osError and CommandResult::osError: errno on Linux, a Windows error code on
// Windows. UTF-8, without a closing full stop or line break.
#pragma once

#include <string>

namespace korvan {

std::string OsErrorText(int error);

}  // namespace korvan
