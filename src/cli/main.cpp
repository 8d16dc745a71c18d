#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/interrupt_watch.h"
#include "cli/korvan_cli.h"
#include "frontend/process_arguments.h"

int main(int argc, char** argv) {
  korvan::frontend::PrepareStandardStreams();
  korvan::cli::StartInterruptWatch();
  std::vector<std::string> args = korvan::frontend::Utf8Arguments(argc, argv);
  args.erase(args.begin());
  return korvan::cli::RunKorvan(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
