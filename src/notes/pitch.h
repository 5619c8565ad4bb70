// Owns the clef and key signature in force and the constant tables behind them: a pitch number
// on the staff becomes a note letter and an octave digit, and a letter gets the key's accidental.
// Set by the clef and "key" statements; read by note translation.
#pragma once

struct PitchState {
  int cur_clef = 0;                // 0 treble, 1 alto, 2 tenor, 3 bass
  int cur_key_sharp_flat = 0;      // 1 sharps, -1 flats, 0 none
  int cur_key_num_sharp_flat = 0;  // 0 to 7; the "key" statement refuses any other count
};

constexpr int kMaxKeyCount = 7;  // the key tables have rows for 0 to 7 sharps or flats

/// Treble clef, no key signature: how every voice begins.
void reset_for_voice(PitchState& p);

/// Sets `letter` ('a'..'g') and `octave` (a digit character) for `pitch` under the clef in
/// force; a pitch number outside 0 to 15 ends the run, naming `measure`.
void pitch2tavix(const PitchState& p, int pitch, char& letter, char& octave, int measure);

/// The accidental that the key signature in force gives `letter`: '=', '+' or '-'.
char get_key_accid(const PitchState& p, char letter);
