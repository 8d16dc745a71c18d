#include "device/os_error_text.h"

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
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0,
                                           nullptr, nullptr);
    text.resize(static_cast<size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), size, nullptr,
                          nullptr);
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
