// Reads tavix text, as pn2tavix writes it, back into the timeline of the piece it sounds: a
// second way to the same numbers, which the tests set beside the library's own. Knows only the
// text: places, written values, clefs and keys, which the text does not say, stay as a default
// Timeline has them.
#pragma once

#include <string>
#include <string_view>

#include "pn2tavix/timeline.h"

namespace pn2tavix::test_support {

struct TavixText {
  std::string title;      // what "$title" quotes
  int head_tempo = 0;     // the head's "$tempo"
  bool complete = false;  // the text ends as a conversion that succeeded ends it
  Timeline timeline;
};

/// Reads the text line by line (the first voice titled by "$title", the others untitled): "/LN:64/"
/// lasts N × 6 ticks and "/LN:96/" N × 4; "$shorten S" leaves the last S ticks of the next note
/// silent; "$tempo T" holds from its tick in its voice; "$time_sig N/64" is a measure-length
/// change; "# End measure M" closes measure M, and gives its number to what was written in it. A
/// rest of no or negative length takes no time.
TavixText read_tavix(std::string_view text);

/// The General MIDI program (from 0) of a "$patch" name; -1 for a name it does not know.
int gm_program(std::string_view patch);

}  // namespace pn2tavix::test_support
