// The command line of pn2tavix-check: files and folders to check, "-" for standard input.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pn2tavix::cli {

/// Runs pn2tavix-check with this command line (args[0] the invocation name): every message
/// found goes to `out`, the summary and usage errors to `err`; "-" reads the process's own
/// standard input. Returns the exit status: 0 every file converts, 1 some file does not, 2 a
/// usage error.
int run_check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pn2tavix::cli
