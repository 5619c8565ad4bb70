// A program of someone else's that converts music with the installed library: a file into its
// own standard output, then a faulty piece into strings, to see the status and the message.
#include <fstream>
#include <iostream>
#include <sstream>

#include "pn2tavix/pn2tavix.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: consumer MUSIC_FILE\n";
    return 64;
  }
  std::ifstream piece(argv[1]);
  const int status = pn2tavix::convert(piece, std::cout, std::cerr, "consumer");

  std::istringstream faulty("Faulty/ units 8 2 6q4/ end\n");
  std::ostringstream out;
  std::ostringstream err;
  const int faulty_status = pn2tavix::convert(faulty, out, err, "consumer");
  const char* want = "consumer: input claims measure 2, but actually on measure 1\n";
  if (faulty_status != 2 || err.str() != want) {
    std::cerr << "unexpected status " << faulty_status << " and message: " << err.str();
    return 1;
  }

  // The same piece into a result, with the message's place in the input.
  const pn2tavix::Result r = pn2tavix::convert("Faulty/ units 8 2 6q4/ end\n");
  if (r.status != 2 || r.messages.size() != 1 || !r.messages[0].at ||
      r.messages[0].at->column != 17 || pn2tavix::version() != pn2tavix::kVersion) {
    std::cerr << "unexpected result of the string conversion\n";
    return 1;
  }
  return status;
}
