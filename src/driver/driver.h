// The conversion driver: the command line, the header, the loop over voices and their tokens,
// every statement, and the checks of measure numbers and measure contents. The one place where
// a run's errors are reported and its exit status chosen.
#pragma once

#include <istream>
#include <ostream>
#include <string_view>

namespace pn2tavix {

/// Runs one whole conversion as the program would with this command line: `in` stands for
/// standard input, `out` and `err` for standard output and standard error. Returns the exit
/// status (0, 1, or 2 for a measure-number mismatch); never ends the process.
int run(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err);

/// The part of `path` after its last '/', else after its last backslash, else all of it.
std::string_view basename(std::string_view path);

}  // namespace pn2tavix
