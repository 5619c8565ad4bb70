#include "notes/note.h"

#include <climits>
#include <cstring>

#include "driver/errors.h"

namespace {

constexpr int kPrevPitch = -1;  // a comma note without a pitch number repeats the last note
constexpr int kRestPitch = -2;  // a comma rest
constexpr int kPrevValue = -1;  // a comma note or rest takes the previous length

inline bool has(std::string_view token, char c) { return token.find(c) != std::string_view::npos; }

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The run of digits at `pos` as a number; a run too long for an int stays at INT_MAX, which
// every later test treats like any other number that is far too large.
int digit_run(std::string_view token, size_t pos) {
  int value = 0;
  for (; pos < token.size() && is_digit(token[pos]); ++pos) {
    int digit = token[pos] - '0';
    value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
  }
  return value;
}

size_t first_digit(std::string_view token, size_t from = 0) {
  for (size_t i = from; i < token.size(); ++i) {
    if (is_digit(token[i])) return i;
  }
  return std::string_view::npos;
}

int length_of_value(int value, int measure) {
  if (value == 0) fail(kExitError, "A note value of 0 has no length, in measure %d", measure);
  return 64 / value;
}

// Every dot adds the base length divided by a divisor that each 'x' and each '.' doubles, so
// the order of 'x' and '.' counts.
int apply_dots(int base, std::string_view token) {
  int divisor = 2;
  int addition = 0;
  for (char c : token) {
    if (c != 'x' && c != '.') continue;
    if (c == '.') addition += base / divisor;
    // Past any length a larger divisor adds nothing; stop before it overflows.
    if (divisor < (1 << 20)) divisor *= 2;
  }
  return base + addition;
}

// Moves a note by twelve letter steps along c d e f g a b, the octave changing between b and c.
void shift_up(char& letter, int& octave) {
  octave += (letter == 'c' || letter == 'd') ? 1 : 2;
  letter = static_cast<char>(letter + 5 > 'g' ? letter + 5 - 7 : letter + 5);
}

void shift_down(char& letter, int& octave) {
  octave -= (letter == 'a' || letter == 'b') ? 1 : 2;
  letter = static_cast<char>(letter - 5 < 'a' ? letter - 5 + 7 : letter - 5);
}

int tavix_note_gen(NoteContext& ctx, int pitch, int value, std::string_view token, NoteLine& line,
                   bool comma, int measure) {
  NoteState& n = ctx.notes;

  // Starting pitch. The octave is kept as its digit character, widened so that shifts past
  // the ends of the range cannot wrap around.
  char letter;
  int octave;
  char explicit_accid = 0;
  if (pitch == kRestPitch) {
    letter = 'r';
    octave = '2';
  } else if (pitch == kPrevPitch) {
    if (n.prev_note == 0) {
      fail(kExitError, "No previous note to repeat with the , in measure %d", measure);
    }
    letter = n.prev_note;
    explicit_accid = n.prev_accid;  // the previous note's accidental counts as written here
    octave = n.prev_octave;
  } else {
    char digit;
    pitch2tavix(ctx.pitch, pitch, letter, digit, measure);
    octave = digit;
  }

  if (comma && has(token, '.')) {
    fail(kExitError, "You cannot specify a dot with a comma in measure %d", measure);
  }

  int base;
  bool triplet;
  if (value == kPrevValue) {
    base = n.prev_dur;
    triplet = n.prev_triplet != 0;
  } else {
    base = length_of_value(value, measure);
    triplet = false;
  }
  const int length = apply_dots(base, token);
  if (has(token, 'c')) triplet = true;

  // A rest has no pitch to shift.
  if (letter != 'r') {
    int shift = 0;
    for (char c : token) shift += (c == 'a') - (c == 'b');
    for (; shift > 0; --shift) shift_up(letter, octave);
    for (; shift < 0; ++shift) shift_down(letter, octave);
  }

  // ')' wins over every other sign; otherwise the last '(' or '-' does.
  if (has(token, ')')) {
    explicit_accid = '=';
  } else {
    for (size_t i = 0; i < token.size(); ++i) {
      const bool doubled = i + 1 < token.size() && token[i + 1] == token[i];
      if (token[i] == '(' && doubled) {
        fail(kExitError, "Gah, who used a double sharp in measure %d?  Fix me to deal with them",
             measure);
      }
      if (token[i] == '-' && doubled) {
        fail(kExitError, "Gah, who used a double flat in measure %d?  Fix me to deal with them",
             measure);
      }
      if (token[i] == '(') explicit_accid = '+';
      if (token[i] == '-') explicit_accid = '-';
    }
  }

  char accid = 0;
  if (letter != 'r') {
    // Staff positions key the memory by letter and octave as written, before any transposition.
    // Only a transposed note can lie outside the memory; it then takes its own accidental or
    // the key's, and leaves nothing behind for later notes.
    const int pos = 7 * (octave - '2') + (letter - 'a');
    if (pos >= 0 && pos < kStaffPositions) {
      if (explicit_accid != 0) n.sticky_accid[pos] = explicit_accid;
      accid = n.sticky_accid[pos];
    } else {
      accid = explicit_accid;
    }
    if (accid == 0) accid = get_key_accid(ctx.pitch, letter);
  }
  // What the next comma note repeats: the note as written, before any transposition.
  const char remembered_note = letter;
  const char remembered_accid = accid;
  const int remembered_octave = octave;

  if (letter != 'r' && n.cur_transposition != 0) {
    static constexpr int semitone_of_letter[7] = {9, 11, 0, 2, 4, 5, 7};  // a..g
    static constexpr char letter_of_semitone[13] = "ccddeffggaab";
    static constexpr char accid_of_semitone[13] = "=+=+==+=+=+=";
    long long semitone = 12LL * (octave - '2') + semitone_of_letter[letter - 'a'];
    if (accid == '-') --semitone;
    if (accid == '+') ++semitone;
    semitone += n.cur_transposition;
    if (semitone < 0 || semitone > 60) {
      fail(kExitError,
           "Transposition resulted in a note out of range.  The legal range is 0 to 60, the "
           "generated note is %lld, in measure %d",
           semitone, measure);
    }
    octave = '2' + static_cast<int>(semitone / 12);
    letter = letter_of_semitone[semitone % 12];
    accid = accid_of_semitone[semitone % 12];
  }

  // The default, then a following rest, then the token's own letters: the last letter wins.
  int divisor = n.cur_artic;
  if (is_next_tok_rest(ctx.reader)) divisor = 1024;
  for (char c : token) {
    switch (c) {
      case 'l':
        divisor = 1024;
        break;
      case 'e':
        divisor = 8;
        break;
      case 'h':
        divisor = 2;
        break;
      case 'q':
        divisor = 4;
        break;
      case 's':
        divisor = 2;
        break;
      default:
        break;
    }
  }
  // In 384ths of a whole note, whether the length counts 64ths or 96ths.
  int shortening = length * 6 / divisor;
  if (triplet) shortening = 2 * shortening / 3;

  // The octave is reported as a number: the same as the digit for octaves 0 to 9, and still
  // readable for a note shifted far beyond them.
  if (octave < '2') {
    fail(kExitError, "The lowest allowed octave is 2, found octave %d in measure %d", octave - '0',
         measure);
  }
  if (octave > '7' || (octave == '7' && letter != 'c')) {
    fail(kExitError,
         "The highest allowed octave is 7, and only for the 'c',  found note %c, octave %d in "
         "measure %d",
         letter, octave - '0', measure);
  }

  char name[4] = {letter, 0, 0, 0};
  if (letter != 'r') {
    size_t k = 1;
    if (accid == '+' || accid == '-') name[k++] = accid;
    name[k] = static_cast<char>(octave);
  }
  line.clear()
      .str("$shorten ")
      .num(shortening)
      .str("\n/L")
      .num(length)
      .str(triplet ? ":96/" : ":64/")
      .str(name)
      .str("\n");

  n.prev_dur = length;
  if (!comma) n.prev_triplet = triplet ? 1 : 0;
  // A comma rest has no pitch of its own, so the note that a later ',' repeats stays the one
  // before it.
  if (remembered_note != 'r') {
    n.prev_note = remembered_note;
    n.prev_accid = remembered_accid;
    n.prev_octave = remembered_octave;
  }
  return triplet ? 2 * length : 3 * length;
}

}  // namespace

void reset_for_voice(NoteState& n) {
  n.cur_artic = 8;
  clear_sticky_accid(n);
}

void clear_sticky_accid(NoteState& n) { std::memset(n.sticky_accid, 0, sizeof n.sticky_accid); }

int parse_note(NoteContext& ctx, std::string_view token, NoteLine& line, int measure) {
  const bool has_r = has(token, 'r');
  const bool has_comma = has(token, ',');
  const bool has_g = has(token, 'g');
  const int tlen = static_cast<int>(token.size());

  if (has_r && !has_comma) {
    // A plain rest: its own note value, no pitch, no lookahead.
    const size_t at = first_digit(token);
    if (at == std::string_view::npos) {
      fail(kExitError, "No duration found for rest in measure %d", measure);
    }
    const int length = apply_dots(length_of_value(digit_run(token, at), measure), token);
    const bool triplet = has(token, 'c');
    line.clear().str("/L").num(length).str(triplet ? ":96/r\n" : ":64/r\n");
    ctx.notes.prev_dur = length;
    return triplet ? 2 * length : 3 * length;
  }

  if (!has_comma) {
    if (has_g) return 0;  // a skipped token
    const size_t at = first_digit(token);
    if (at == std::string_view::npos) {
      fail(kExitError, "No pitch found for note %.*s in measure %d", tlen, token.data(), measure);
    }
    const int pitch = digit_run(token, at);
    size_t after = at;
    while (after < token.size() && is_digit(token[after])) ++after;
    const size_t value_at = first_digit(token, after);
    if (value_at == std::string_view::npos) {
      fail(kExitError, "No duration found for note %.*s in measure %d", tlen, token.data(),
           measure);
    }
    return tavix_note_gen(ctx, pitch, digit_run(token, value_at), token, line, false, measure);
  }

  if (has_g) return 0;  // a skipped token
  if (first_digit(token, token.find(',')) != std::string_view::npos) {
    fail(kExitError, "You cannot specify a duration with the , in measure %d", measure);
  }
  int pitch = kRestPitch;
  if (!has_r) {
    const size_t at = first_digit(token);
    pitch = at == std::string_view::npos ? kPrevPitch : digit_run(token, at);
  }
  return tavix_note_gen(ctx, pitch, kPrevValue, token, line, true, measure);
}
