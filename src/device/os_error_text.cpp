#include "device/os_error_text.h"

#include "device/utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstring>
#endif

namespace korvan {

std::string OsErrorText(int error) {
  std::string text;
#ifdef _WIN32
  wchar_t* wide = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
  if (length > 0) {
    text = Utf8FromWide(std::wstring_view(wide, length));
  }
  ::LocalFree(wide);
  if (text.empty()) {
    text = "error " + std::to_string(error);
  }
#else
  text = std::strerror(error);
#endif
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace korvan
