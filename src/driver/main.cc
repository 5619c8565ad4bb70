#include <iostream>

#include "driver/driver.h"

int main(int argc, char** argv) {
  return pn2tavix::run(argc, argv, std::cin, std::cout, std::cerr);
}
