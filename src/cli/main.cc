// pn2tavix: the program is the library's run() over the process's own streams.
#include <iostream>

#include "pn2tavix/pn2tavix.h"

int main(int argc, char** argv) {
  return pn2tavix::run(argc, argv, std::cin, std::cout, std::cerr);
}
