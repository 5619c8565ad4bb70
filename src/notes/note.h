// Owns note and rest tokens: what one note leaves for the next, the accidentals written so far
// in the measure, and the transposition and default articulation in force. Turns each token
// into its "$shorten" and "/L" lines. Reaches the input only through is_next_tok_rest.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "base/scale.h"
#include "input/token_reader.h"
#include "notes/pitch.h"

namespace pn2tavix::detail {

constexpr int kStaffPositions = 38;  // staff positions a2 (0) to c7 (37)

/// The articulation divisor that a letter sets, as a statement for the notes that follow or
/// inside a note token for that note alone; 0 for a character that is no articulation letter.
constexpr int artic_divisor(char letter) {
  switch (letter) {
    case 'l':
      return 1024;
    case 'e':
      return 8;
    case 'h':
    case 's':
      return 2;
    case 'q':
      return 4;
    default:
      return 0;
  }
}
constexpr int kDefaultArtic = artic_divisor('e');     // at each voice start
constexpr int kArticBeforeRest = artic_divisor('l');  // a note that a rest follows

/// The semitone of a note from c2 (0) on: 12 per octave, the letter's place in it, and one up
/// for '+' or down for '-'.
inline int semitone_of(char letter, char accid, int octave_digit) {
  return 12 * (octave_digit - '2') + semitone_of_letter(letter) + (accid == '+') - (accid == '-');
}

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
  // The same for notes written outside a2 to c7 that a transposition brings into range: few,
  // so a list (staff position, accidental) rather than a table to clear at every bar line.
  std::vector<std::pair<int, char>> far_accid;
  long long cur_transposition = 0;  // semitones; wide so that any "up"/"down" argument adds safely
  int cur_artic = kDefaultArtic;    // default articulation divisor
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
/// room for kNoteLineMax characters; `len` is the length formed. The name written goes into
/// `letter` ('r' for a rest), `accid` ('+', '-' or 0) and `octave` (a digit character), and
/// what its lines say of its time into the rest.
struct NoteLine {
  char* text;
  size_t len = 0;
  char letter = 0;
  char accid = 0;
  char octave = 0;
  bool triplet = false;         // "/Ln:96/"
  bool ignored_letter = false;  // the token holds a letter that means nothing in a note
  int length = 0;               // the n of "/Ln:64/" or "/Ln:96/"
  int shortening = 0;           // the "$shorten": 384ths; 0 for a rest
  std::string_view view() const { return {text, len}; }
};
constexpr size_t kNoteLineMax = 64;

/// Everything a note reads or changes besides its token.
struct NoteContext {
  NoteState& notes;
  const PitchState& pitch;
  TokenReader& reader;  // for the one token of lookahead after a note
  Failure& failure;     // the conversion's: where a malformed token's failure is kept
};

/// What parse_note gives for a token that fails, its Failure kept in the context.
constexpr int kNoteFailed = -1;

/// Translates a note or rest token into `line` and gives the 192nds it fills; 0 means nothing
/// is to be written, kNoteFailed that the token is malformed (or the input ended, or failed,
/// where the note looked ahead).
int parse_note(NoteContext& ctx, std::string_view token, NoteLine& line);
/// The same for a token as read, which is examined without a pass over it per sign.
int parse_note(NoteContext& ctx, const Token& token, NoteLine& line);

/// Where the first letter in `token` that means nothing in a note lies; its size where none.
size_t ignored_letter_in(std::string_view token);

}  // namespace pn2tavix::detail
