// The seven letters of the scale, c d e f g a b: where each lies in the octave, counted in
// letter steps and in semitones from c, and the letter at each place. Notes are translated, and
// named in the hints, with these alone.
#pragma once

namespace pn2tavix::detail {

// Indexed from 'a': tables at namespace scope, so that a lookup is a load from them rather than
// an array built anew in each call.
inline constexpr int kStepOfLetter[7] = {5, 6, 0, 1, 2, 3, 4};
inline constexpr int kSemitoneOfLetter[7] = {9, 11, 0, 2, 4, 5, 7};

/// The letter step of 'a' to 'g' in its octave: c 0, d 1 ... b 6.
constexpr int step_of_letter(char letter) { return kStepOfLetter[letter - 'a']; }

/// The letter at step 0 to 6 of an octave.
constexpr char letter_of_step(long long step) { return "cdefgab"[step]; }

/// The semitone of 'a' to 'g' in its octave, without an accidental: c 0, d 2 ... b 11.
constexpr int semitone_of_letter(char letter) { return kSemitoneOfLetter[letter - 'a']; }

/// The letter at semitone 0 to 11 of an octave, a black key named as the sharp of the letter
/// below it.
constexpr char letter_of_semitone(long long semitone) { return "ccddeffggaab"[semitone]; }
/// The accidental of semitone 0 to 11 of an octave so named: '+' for a black key, else '='.
constexpr char accid_of_semitone(long long semitone) { return "=+=+==+=+=+="[semitone]; }
/// Whether semitone 0 to 11 of an octave is a black key: the sharp of letter_of_semitone.
constexpr bool is_sharp_semitone(long long semitone) { return accid_of_semitone(semitone) == '+'; }

}  // namespace pn2tavix::detail
