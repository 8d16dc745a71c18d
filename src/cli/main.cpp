#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/interrupt_watch.h"
#include "cli/korvan_cli.h"

int main(int argc, char** argv) {
  korvan::cli::StartInterruptWatch();
  std::vector<std::string> args(argv + 1, argv + argc);
  return korvan::cli::RunKorvan(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
