#include "notes/note.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/chars.h"
#include "base/diagnostic.h"
#include "base/limits.h"
#include "base/line.h"
#include "base/scale.h"
#include "notes/note_memo.h"

namespace pn2tavix::detail {

namespace {

constexpr int kPrevPitch = -1;  // a comma note without a pitch number repeats the last note
constexpr int kRestPitch = -2;  // a comma rest

// A digit appended to a number; a run too long for an int stays at INT_MAX, which every later
// test treats like any other number that is far too large.
inline int append_digit(int value, int digit) {
  return value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
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

// What each character adds, indexed by character: one lookup per character.
struct SignOf {
  short artic = 0;  // divisor of 'l', 'e', 'h', 'q', 's'
  unsigned char held = 0;
  signed char shift = 0;  // 'a' +1, 'b' -1
  char accid = 0;         // '+' for '(', '-' for '-'
};
constexpr std::array<SignOf, 256> sign_of = [] {
  std::array<SignOf, 256> t{};
  t['r'].held = NoteSigns::kR;
  t[','].held = NoteSigns::kComma;
  t['g'].held = NoteSigns::kG;
  t['.'].held = NoteSigns::kDot;
  t['c'].held = NoteSigns::kC;
  t[')'].held = NoteSigns::kNatural;
  // Letters that no rule reads: upper case, and the lower case ones left over.
  for (const char c : std::string_view("dfijkmnoptuvwyzABCDEFGHIJKLMNOPQRSTUVWXYZ")) {
    t[static_cast<unsigned char>(c)].held = NoteSigns::kIgnoredLetter;
  }
  for (unsigned c = 0; c < 256; ++c) {
    if (is_digit(static_cast<unsigned char>(c))) t[c].held = NoteSigns::kDigit;
    t[c].artic = static_cast<short>(artic_divisor(static_cast<char>(c)));
  }
  t['a'].shift = 1;
  t['b'].shift = -1;
  t['('].accid = '+';
  t['-'].accid = '-';
  return t;
}();

}  // namespace

size_t ignored_letter_in(std::string_view token) {
  size_t i = 0;
  while (i < token.size() &&
         sign_of[static_cast<unsigned char>(token[i])].held != NoteSigns::kIgnoredLetter) {
    ++i;
  }
  return i;
}

NoteSigns scan_signs(std::string_view token) {
  NoteSigns s;
  // Locals while scanning, so that they stay in registers rather than in the result's memory.
  unsigned held = 0;
  int shift = 0;
  int artic = 0;
  int runs = 0;
  int number[2] = {0, 0};  // the first two runs of digits
  bool in_run = false;
  for (size_t i = 0; i < token.size(); ++i) {
    const char c = token[i];
    const SignOf k = sign_of[static_cast<unsigned char>(c)];
    if (k.held == NoteSigns::kDigit) {
      if (!in_run) ++runs;
      in_run = true;
      if (runs <= 2) number[runs - 1] = append_digit(number[runs - 1], c - '0');
      // kComma moved up to kDigitAfterComma: a digit at or after the first ','.
      held |= (held & NoteSigns::kComma) * (NoteSigns::kDigitAfterComma / NoteSigns::kComma);
    } else {
      in_run = false;
    }
    held |= k.held;
    shift += k.shift;
    artic = k.artic != 0 ? k.artic : artic;  // the last letter wins
    if (k.accid != 0) {
      s.accid = k.accid;  // the last sign wins
      if (s.doubled == 0 && i + 1 < token.size() && token[i + 1] == c) s.doubled = c;
    }
  }
  s.held = static_cast<unsigned short>(held);
  s.shift = static_cast<signed char>(shift);
  s.artic = static_cast<short>(artic);
  s.runs = static_cast<unsigned char>(runs < 2 ? runs : 2);
  s.pitch = number[0];
  const bool plain_rest = s.has(NoteSigns::kR) && !s.has(NoteSigns::kComma);
  const int value = plain_rest ? number[0] : number[1];
  if (value == 0) {
    s.held |= NoteSigns::kZeroValue;
  } else {
    const int base = kWholeNote / value;
    s.length = s.has(NoteSigns::kDot) ? apply_dots(base, token) : base;  // no dot, nothing to add
  }
  return s;
}

namespace {

// Moves a note by `shift` times twelve letter steps along c d e f g a b, up for a positive
// shift, the octave changing between b and c.
void shift_note(char& letter, int& octave, int shift) {
  const int step = 7 * octave + step_of_letter(letter) + 12 * shift;
  const int in_octave = (step % 7 + 7) % 7;  // the step may be below 0: round down
  octave = (step - in_octave) / 7;
  letter = letter_of_step(in_octave);
}

// The accidental memory for a note outside a2 to c7, which only a transposition makes legal:
// the sign written on it holds for the rest of the measure like any other.
char remember_far(NoteState& n, int pos, char explicit_accid) {
  for (auto& [at, accid] : n.far_accid) {
    if (at == pos) {
      if (explicit_accid != 0) accid = explicit_accid;
      return accid;
    }
  }
  if (explicit_accid != 0) n.far_accid.emplace_back(pos, explicit_accid);
  return explicit_accid;
}

// Keeps the failure of a note token, named by `name`, and gives what parse_note gives for it.
template <typename Name>
int note_fails(NoteContext& ctx, Name name) {
  (void)fail_with(ctx.failure, name);
  return kNoteFailed;
}

// A comma token takes the previous note's length; any other takes its own.
int tavix_note_gen(NoteContext& ctx, int pitch, const NoteSigns& signs, NoteLine& line,
                   bool comma) {
  NoteState& n = ctx.notes;

  // Starting pitch. The octave is kept as its digit character, widened so that shifts past
  // the ends of the range cannot wrap around.
  char letter = 0;
  int octave;
  char explicit_accid = 0;
  // A ',' before any note has no note to repeat. Its own faults are still told first, in their
  // order: it fails only where the note would be used, in a transposition or the octave check.
  const bool no_previous = pitch == kPrevPitch && n.prev_note == 0;
  if (pitch == kRestPitch) {
    letter = 'r';
    octave = '2';
  } else if (pitch == kPrevPitch) {
    letter = n.prev_note;
    explicit_accid = n.prev_accid;  // the previous note's accidental counts as written here
    octave = n.prev_octave;
  } else {
    char digit = 0;  // set, unless the pitch fails
    if (pitch2tavix(ctx.pitch, pitch, letter, digit, ctx.failure) == Status::kFailed) {
      return kNoteFailed;
    }
    octave = digit;
  }

  if (comma && signs.has(NoteSigns::kDot))
    return note_fails(ctx, [=] { return Fault{.code = Code::kDotWithComma}; });

  if (!comma && signs.has(NoteSigns::kZeroValue)) {
    return note_fails(ctx, [=] { return Fault{.code = Code::kZeroNoteValue}; });
  }
  const int length = comma ? n.prev_dur : signs.length;  // a dot with a comma was refused
  const bool triplet = (comma && n.prev_triplet != 0) || signs.has(NoteSigns::kC);

  // A rest has no pitch to shift.
  if (letter != 'r' && signs.shift != 0 && !no_previous) shift_note(letter, octave, signs.shift);

  // ')' wins over every other sign; otherwise the last '(' or '-' does, unless a sign is
  // doubled somewhere.
  const bool natural = signs.has(NoteSigns::kNatural);
  if (!natural && signs.doubled != 0) {
    return note_fails(ctx, [=] {
      return Fault{.code = signs.doubled == '(' ? Code::kDoubleSharp : Code::kDoubleFlat};
    });
  }
  explicit_accid = signs.accid != 0 ? signs.accid : explicit_accid;
  explicit_accid = natural ? '=' : explicit_accid;

  char accid = 0;
  if (letter != 'r' && !no_previous) {
    // Staff positions key the memory by letter and octave as written, before any transposition.
    const int pos = 7 * (octave - '2') + (letter - 'a');
    if (pos >= 0 && pos < kStaffPositions) {
      accid = explicit_accid != 0 ? explicit_accid : n.sticky_accid[pos];
      n.sticky_accid[pos] = accid;
    } else {
      accid = remember_far(n, pos, explicit_accid);
    }
    const char key_accid = get_key_accid(ctx.pitch, letter);
    accid = accid != 0 ? accid : key_accid;
  }
  // What the next comma note repeats: the note as written, before any transposition.
  const char remembered_note = letter;
  const char remembered_accid = accid;
  const int remembered_octave = octave;

  if (letter != 'r' && n.cur_transposition != 0) {
    if (no_previous) return note_fails(ctx, [=] { return Fault{.code = Code::kNoPreviousNote}; });
    const long long semitone = semitone_of(letter, accid, octave) + n.cur_transposition;
    if (semitone < 0 || semitone > kHighestSemitone) {
      return note_fails(ctx, [=] {
        return Fault{.code = Code::kTransposedOutOfRange,
                     .number = semitone,
                     .other = octave - '0',
                     .letter = letter};
      });
    }
    octave = '2' + static_cast<int>(semitone / 12);
    letter = letter_of_semitone(semitone % 12);
    accid = accid_of_semitone(semitone % 12);
  }

  // The default, then a following rest, then the token's own letters: the last letter wins.
  const Token* next = peek_next_token(ctx.reader);  // the token stays pending
  if (next == nullptr) return kNoteFailed;
  int divisor = is_rest_token(*next) ? kArticBeforeRest : n.cur_artic;
  divisor = signs.artic != 0 ? static_cast<int>(signs.artic) : divisor;
  // In 384ths of a whole note, whether the length counts 64ths or 96ths.
  int shortening = length * 6 / divisor;
  shortening = triplet ? 2 * shortening / 3 : shortening;

  if (no_previous) return note_fails(ctx, [=] { return Fault{.code = Code::kNoPreviousNote}; });
  // The octave is reported as a number: the same as the digit for octaves 0 to 9, and still
  // readable for a note shifted far beyond them.
  constexpr int lowest = '0' + kLowestOctave;
  constexpr int highest = '0' + kHighestOctave;
  if (octave < lowest) {
    return note_fails(ctx, [=] {
      return Fault{
          .code = Code::kOctaveTooLow, .number = octave - '0', .other = accid, .letter = letter};
    });
  }
  if (octave > highest || (octave == highest && letter != 'c')) {
    return note_fails(ctx, [=] {
      return Fault{
          .code = Code::kOctaveTooHigh, .number = octave - '0', .other = accid, .letter = letter};
    });
  }

  static_assert(kNoteLineMax >= 9 + kNumberRoom + 3 + kNumberRoom + 4 + 3 + 1);
  char* at = put_text(line.text, "$shorten ");
  at = put_number(at, shortening);
  at = put_text(at, "\n/L");
  at = put_number(at, length);
  at = put_text(at, std::string_view(triplet ? ":96/" : ":64/", 4));
  *at++ = letter;
  if (letter != 'r') {
    if (accid == '+' || accid == '-') *at++ = accid;
    *at++ = static_cast<char>(octave);
  }
  *at++ = '\n';
  line.len = static_cast<size_t>(at - line.text);
  line.letter = letter;
  line.accid = accid == '+' || accid == '-' ? accid : 0;
  line.octave = static_cast<char>(octave);
  line.triplet = triplet;
  line.length = length;
  line.shortening = shortening;

  n.prev_dur = length;
  n.prev_triplet = comma ? n.prev_triplet : static_cast<int>(triplet);
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
  n.cur_artic = kDefaultArtic;
  clear_sticky_accid(n);
}

void clear_sticky_accid(NoteState& n) {
  std::memset(n.sticky_accid, 0, sizeof n.sticky_accid);
  n.far_accid.clear();
}

namespace {

// parse_note with the token's signs already gathered.
int translate_note(NoteContext& ctx, std::string_view token, const NoteSigns& signs,
                   NoteLine& line) {
  if (signs.has(NoteSigns::kIgnoredLetter)) [[unlikely]]
    line.ignored_letter = true;
  if (signs.has(NoteSigns::kR) && !signs.has(NoteSigns::kComma)) {
    // A plain rest: its own note value, no pitch, no lookahead.
    if (signs.runs == 0)
      return note_fails(ctx, [=] { return Fault{.code = Code::kRestWithoutDuration}; });
    if (signs.has(NoteSigns::kZeroValue))
      return note_fails(ctx, [=] { return Fault{.code = Code::kZeroNoteValue}; });
    const int length = signs.length;
    const bool triplet = signs.has(NoteSigns::kC);
    char* at = put_text(line.text, "/L");
    at = put_number(at, length);
    at = put_text(at, std::string_view(triplet ? ":96/r\n" : ":64/r\n", 6));
    line.len = static_cast<size_t>(at - line.text);
    line.letter = 'r';
    line.triplet = triplet;
    line.length = length;
    line.shortening = 0;
    ctx.notes.prev_dur = length;
    return triplet ? 2 * length : 3 * length;
  }

  if (!signs.has(NoteSigns::kComma)) {
    if (signs.has(NoteSigns::kG)) return 0;  // a skipped token
    if (signs.runs == 0)
      return note_fails(ctx, [=] { return Fault{.code = Code::kNoteWithoutPitch, .word = token}; });
    // The note value is the next run of digits after the pitch number's.
    if (signs.runs == 1) {
      return note_fails(ctx,
                        [=] { return Fault{.code = Code::kNoteWithoutDuration, .word = token}; });
    }
    return tavix_note_gen(ctx, signs.pitch, signs, line, false);
  }

  if (signs.has(NoteSigns::kG)) return 0;  // a skipped token
  if (signs.has(NoteSigns::kDigitAfterComma))
    return note_fails(ctx, [=] { return Fault{.code = Code::kDurationWithComma}; });
  int pitch = kRestPitch;
  if (!signs.has(NoteSigns::kR)) pitch = signs.runs == 0 ? kPrevPitch : signs.pitch;
  return tavix_note_gen(ctx, pitch, signs, line, true);
}

}  // namespace

int parse_note(NoteContext& ctx, std::string_view token, NoteLine& line) {
  return translate_note(ctx, token, scan_signs(token), line);
}

void SignsMemoDeleter::operator()(SignsMemo* memo) const { std::free(memo); }

namespace {

// The signs of a token as read: from the memo, or found anew where the memo cannot keep them.
NoteSigns signs_of(NoteState& n, const Token& token) {
  if (token.len >= SignsMemo::kTextSize) return scan_signs(token.view());
  if (n.signs_memo == nullptr) {
    // calloc: a large block comes zeroed from the system, page by page as it is first used, so
    // a short piece does not pay for the whole table.
    void* memo = std::calloc(1, sizeof(SignsMemo));
    // Without the memory for it, every note is examined anew: slower, and the same.
    if (memo == nullptr) return scan_signs(token.view());
    n.signs_memo.reset(static_cast<SignsMemo*>(memo));
  }
  return n.signs_memo->signs_of(token);
}

}  // namespace

int parse_note(NoteContext& ctx, const Token& token, NoteLine& line) {
  return translate_note(ctx, token.view(), signs_of(ctx.notes, token), line);
}

}  // namespace pn2tavix::detail
