// pn2tavix-midi: the command line over the process's own streams.
#include <unistd.h>

#include <iostream>

#include "cli/midi_cli.h"

int main(int argc, char** argv) {
  return pn2tavix::cli::run_midi({argv, argv + argc}, std::cout, std::cerr, isatty(STDOUT_FILENO));
}
