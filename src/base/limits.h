// The limits of the input and of what is kept of it, each written once: the readers and the
// store keep to them, and the messages that name a limit print it from here.
#pragma once

#include <cstddef>

namespace pn2tavix::detail {

constexpr int kMaxMeasures = 5000;        // measure numbers 1 to 5000 in each voice
constexpr size_t kMeasureTextMax = 5007;  // characters of one stored measure
// Events (notes, rests and settings, for a caller that draws or plays the piece) of one stored
// measure: each writes a line of 9 characters or more ("/L1:64/r\n"), so a measure with more
// is too long to store anyway.
constexpr size_t kMeasureEventsMax = kMeasureTextMax / 9;
constexpr size_t kTokenMax = 79;      // characters of a token or a statement argument
constexpr size_t kTitleMax = 255;     // characters of a title
constexpr int kMaxTempo = 682;        // the highest value of "tempo"
constexpr int kMaxPitch = 15;         // the highest pitch number
constexpr int kMaxKeyCount = 7;       // sharps or flats that the key tables know
constexpr int kWholeNote = 64;        // a note value N gives 64 / N 64ths; above 64, none
constexpr int kLowestOctave = 2;      // notes run from c2 ...
constexpr int kHighestOctave = 7;     // ... to c7, the one note of that octave
constexpr int kHighestSemitone = 60;  // c7, counted in semitones from c2

}  // namespace pn2tavix::detail
