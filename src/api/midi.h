// The piece as a Standard MIDI File: a timeline's notes, tempos and settings as the bytes of
// format 1 with 96 ticks to a quarter. Knows nothing of how the timeline was made.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pn2tavix/timeline.h"

namespace pn2tavix::detail {

/// The file's bytes: a conductor track (named `first_title`, with the tempo map and the first
/// voice's time signatures), then one track per voice, named by its title, with its program,
/// pan, reverb and chorus, and its notes. When the voices keep one tempo map, ticks are the
/// timeline's own; when they do not, a tick is a millisecond. Either way every note begins
/// within 1 ms of when the timeline sounds it. A tempo of 0 or below is no speed: the voice
/// keeps the tempo it had. Nothing starts past tick 2^32 - 1 of the file (50 days of
/// milliseconds): a note that would is left out.
std::string write_midi(const Timeline& timeline, std::string_view first_title);

/// The channel (from 0) of each voice: never 9, General MIDI's percussion. The first 15
/// voices have one each; a later voice shares the least used channel of the first 15 whose
/// voice has its program, pan, reverb and chorus, so that sharing changes no sound; failing
/// that, the channel of voice (index mod 15).
std::vector<int> midi_channels(const Timeline& timeline);

}  // namespace pn2tavix::detail
