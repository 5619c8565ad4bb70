#include "notes/pitch.h"

#include "driver/errors.h"

void reset_for_voice(PitchState& p) { p = PitchState{}; }

void pitch2tavix(const PitchState& p, int pitch, char& letter, char& octave, int measure) {
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
  if (pitch > 15) {
    fail(kExitError, "oops, can't handle pitch numbers greater then %d in measure %d.  Fix me!", 15,
         measure);
  }
  if (pitch < 0) {
    fail(kExitError, "Lowest allowed pitch value is 0, you specified %d in measure %d.", pitch,
         measure);
  }
  letter = note_xlate[p.cur_clef][pitch];
  octave = octave_xlate[p.cur_clef][pitch];
}

char get_key_accid(const PitchState& p, char letter) {
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
