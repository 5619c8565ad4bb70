// The conversion driver: the command line, the header, the loop over voices and their tokens,
// every statement, and the checks of measure numbers and measure contents. The one place where
// a run's errors are reported and its exit status chosen.
#pragma once

#include <string_view>

#include "pn2tavix/pn2tavix.h"

namespace pn2tavix {

/// The part of `path` after its last '/', else after its last backslash, else all of it.
std::string_view basename(std::string_view path);

}  // namespace pn2tavix
