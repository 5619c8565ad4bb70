// pn2tavix-check: the command line over the process's own streams.
#include <iostream>

#include "cli/check_cli.h"

int main(int argc, char** argv) {
  return pn2tavix::cli::run_check({argv, argv + argc}, std::cout, std::cerr);
}
