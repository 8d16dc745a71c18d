#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/korvan_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return korvan::cli::RunKorvan(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
