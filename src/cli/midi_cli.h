// The command line of pn2tavix-midi: one piece to a MIDI file or standard output, or many into
// a folder.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pn2tavix::cli {

/// Runs pn2tavix-midi with this command line (args[0] the invocation name): the MIDI file of a
/// piece written to standard output goes to `out`, which `out_is_terminal` says is a terminal
/// (and then is refused); messages and usage errors go to `err`; "-" reads the process's own
/// standard input. Returns the exit status: 0 every piece written, 1 some piece not, 2 a usage
/// error.
int run_midi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool out_is_terminal);

}  // namespace pn2tavix::cli
