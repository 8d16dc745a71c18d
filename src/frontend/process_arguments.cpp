#include "frontend/process_arguments.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include "device/utf8.h"

namespace korvan::frontend {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide != nullptr) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
      arguments.push_back(Utf8FromWide(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

std::vector<char*> ArgvOf(std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  return argv;
}

void PrepareStandardStreams() {
#ifdef _WIN32
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  ::SetConsoleOutputCP(CP_UTF8);
#endif
}

}  // namespace korvan::frontend
