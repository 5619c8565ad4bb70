// Owns note and rest tokens: what one note leaves for the next, the accidentals written so far
// in the measure, and the transposition and default articulation in force. Turns each token
// into its "$shorten" and "/L" lines. Reaches the input only through is_next_tok_rest.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "input/token_reader.h"
#include "notes/pitch.h"

constexpr int kStaffPositions = 38;  // staff positions a2 (0) to c7 (37)

// What the note tokens met so far hold, by their text (note.cc).
struct SignsMemo;
struct SignsMemoDeleter {
  void operator()(SignsMemo* memo) const;
};

struct NoteState {
  // The last pitched note or comma note, before any transposition; 0 before the first.
  char prev_note = 0;
  char prev_accid = 0;
  int prev_octave = 0;   // a digit character; wider, as a far-shifted note may be repeated
  int prev_dur = 0;      // length of the last note or rest, in 64ths or (triplet) 96ths
  int prev_triplet = 0;  // triplet flag of the last pitched note
  char sticky_accid[kStaffPositions] = {};  // accidentals written so far in the measure
  long long cur_transposition = 0;  // semitones; wide so that any "up"/"down" argument adds safely
  int cur_artic = 8;                // default articulation divisor
  // Music repeats itself: most note tokens of a file have been met before, and looking up
  // what one holds is quicker than examining it again. Made at the first note.
  std::unique_ptr<SignsMemo, SignsMemoDeleter> signs_memo;
};

/// Default articulation and an empty accidental memory: how every voice begins. The
/// previous-note values and the transposition carry over.
void reset_for_voice(NoteState& n);

/// Forgets the accidentals written in the measure; at every bar line.
void clear_sticky_accid(NoteState& n);

/// Where the text of one note or rest goes: at most two lines, formed at `text`, which has
/// room for kNoteLineMax characters; `len` is the length formed.
struct NoteLine {
  char* text;
  size_t len = 0;
  std::string_view view() const { return {text, len}; }
};
constexpr size_t kNoteLineMax = 64;

/// Everything a note reads or changes besides its token.
struct NoteContext {
  NoteState& notes;
  const PitchState& pitch;
  TokenReader& reader;  // for the one token of lookahead after a note
};

/// Translates a note or rest token into `line` and gives the 192nds it fills; 0 means nothing
/// is to be written. A malformed token ends the run, naming `measure`.
int parse_note(NoteContext& ctx, std::string_view token, NoteLine& line, int measure);
/// The same for a token as read, which is examined without a pass over it per sign.
int parse_note(NoteContext& ctx, const Token& token, NoteLine& line, int measure);
