// pn2tavix as a library: converts a PDP-1 music file to tavix text inside the calling program.
// A conversion never ends the process and keeps no state between calls; several may run one
// after another, each with its own streams.
#pragma once

#include <istream>
#include <ostream>
#include <string_view>

namespace pn2tavix {

/// Converts the music read from `in`, writing tavix text to `out` and messages to `err`, each
/// message one line beginning with `program_name` and ": ". Returns the exit status the
/// program would have: 0 converted, 1 any error, 2 a measure number that differs from the
/// running count. On an error, what was written to `out` before it stays there.
int convert(std::istream& in, std::ostream& out, std::ostream& err,
            std::string_view program_name = "pn2tavix");

/// Runs the program with this command line (argv[0] the invocation name, then at most one
/// input path); `in` stands for standard input. Returns the exit status.
int run(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace pn2tavix
