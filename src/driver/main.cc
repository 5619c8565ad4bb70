#include <iostream>

#include "pn2tavix/pn2tavix.h"

int main(int argc, char** argv) {
  return pn2tavix::run(argc, argv, std::cin, std::cout, std::cerr);
}
