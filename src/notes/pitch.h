// Owns the clef and key signature in force and the constant tables behind them: a pitch number
// on the staff becomes a note letter and an octave digit, and a letter gets the key's accidental.
// Set by the clef and "key" statements; read by note translation.
#pragma once

#include "base/diagnostic.h"
#include "base/limits.h"

namespace pn2tavix::detail {

// pitch2tavix and get_key_accid are defined in this header, to be inlined: they are called for
// every note of a file.

struct PitchState {
  int cur_clef = 0;                // 0 treble, 1 alto, 2 tenor, 3 bass
  int cur_key_sharp_flat = 0;      // 1 sharps, -1 flats, 0 none
  int cur_key_num_sharp_flat = 0;  // 0 to 7; the "key" statement refuses any other count
};

/// Treble clef, no key signature: how every voice begins.
void reset_for_voice(PitchState& p);

/// Sets `letter` ('a'..'g') and `octave` (a digit character) for `pitch` under the clef in
/// force; a pitch number outside 0 to 15 fails, kept in `failure`.
inline Status pitch2tavix(const PitchState& p, int pitch, char& letter, char& octave,
                          Failure& failure) {
  // Row = clef, column = pitch number: 0 is the space below the staff, the odd numbers 1 to 9
  // its five lines, and every step up the next letter of the scale.
  static constexpr char note_xlate[4][17] = {
      "defgabcdefgabcde",  // treble: d5 .. e7
      "efgabcdefgabcdef",  // alto:   e4 .. f6
      "cdefgabcdefgabcd",  // tenor:  c4 .. d6
      "fgabcdefgabcdefg",  // bass:   f3 .. g5
  };
  static constexpr char octave_xlate[4][17] = {
      "5555556666666777",
      "4444455555556666",
      "4444444555555566",
      "3333444444455555",
  };
  if (pitch > kMaxPitch)
    return fail_with(failure, [] { return Fault{.code = Code::kPitchTooHigh}; });
  if (pitch < 0) {
    return fail_with(failure, [=] { return Fault{.code = Code::kPitchTooLow, .number = pitch}; });
  }
  letter = note_xlate[p.cur_clef][pitch];
  octave = octave_xlate[p.cur_clef][pitch];
  return Status::kOk;
}

/// The accidental that the key signature in force gives `letter`: '=', '+' or '-'.
inline char get_key_accid(const PitchState& p, char letter) {
  // Row = number of flats (sharps), column = letter a..g. Flats come in the order
  // b e a d g c f, sharps in the order f c g d a e b.
  static constexpr char key_flats[8][8] = {
      "=======", "=-=====", "=-==-==", "--==-==", "--=--==", "--=--=-", "-----=-", "-------",
  };
  static constexpr char key_sharps[8][8] = {
      "=======", "=====+=", "==+==+=", "==+==++", "==++=++", "+=++=++", "+=+++++", "+++++++",
  };
  if (p.cur_key_sharp_flat == 0) return '=';
  const int column = letter - 'a';
  if (p.cur_key_sharp_flat > 0) return key_sharps[p.cur_key_num_sharp_flat][column];
  return key_flats[p.cur_key_num_sharp_flat][column];
}

}  // namespace pn2tavix::detail
