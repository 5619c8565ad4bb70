// The command line of pn2tavix: no argument reads standard input, one names the input file.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace pn2tavix::cli {

/// Runs pn2tavix with this command line (args[0] the invocation name, then at most one input
/// path); `in` stands for standard input. Every message begins with the invocation name's last
/// path component. Returns the exit status.
int run_convert(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace pn2tavix::cli
