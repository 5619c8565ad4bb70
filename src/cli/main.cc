// pn2tavix: the command line over the process's own streams.
#include <iostream>

#include "cli/convert_cli.h"

int main(int argc, char** argv) {
  return pn2tavix::cli::run_convert({argv, argv + argc}, std::cin, std::cout, std::cerr);
}
