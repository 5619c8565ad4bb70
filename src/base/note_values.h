// Says an amount of music in the note values a musician reads, for the hints of a measure
// that does not add up. Knows nothing of tokens or measures.
#pragma once

#include <string>

namespace pn2tavix::detail {

/// `n` 192nds of a whole note (n > 0) in words: "a dotted quarter", "an eighth and a dotted
/// 32nd", "2 whole notes and a 16th". Whole notes come first; the rest is said with the fewest
/// values from a triplet whole note to a 64th (plain, dotted or triplet, at most three), and
/// only what no three of them make is said as a number of 192nds.
std::string as_note_values(long long n);

}  // namespace pn2tavix::detail
