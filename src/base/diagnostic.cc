#include "base/diagnostic.h"

#include <iterator>
#include <string>

#include "base/limits.h"
#include "base/note_values.h"
#include "base/scale.h"

namespace pn2tavix::detail {

Failure failure_of(const Fault& fault) {
  Failure f;
  f.code = fault.code;
  f.word = fault.word;
  f.keyword = fault.keyword;
  f.reason = fault.reason;
  f.number = fault.number;
  f.other = fault.other;
  f.letter = fault.letter;
  f.at = fault.at;
  f.length = fault.length;
  return f;
}

Status fail(Failure& kept, const Fault& fault) {
  kept = failure_of(fault);
  return Status::kFailed;
}

namespace {

// Joins the pieces of a message: texts, and numbers in decimal.
struct Text {
  std::string s;
  Text& operator<<(std::string_view t) {
    s += t;
    return *this;
  }
  Text& operator<<(char c) {
    s += c;
    return *this;
  }
  Text& operator<<(long long n) {
    s += std::to_string(n);
    return *this;
  }
  Text& operator<<(int n) { return *this << static_cast<long long>(n); }
  Text& operator<<(size_t n) { return *this << static_cast<long long>(n); }
};

}  // namespace

std::string message_text(const Failure& f) {
  Text t;
  // Most messages of statements and notes end by naming where they happened.
  const auto in_measure = [&] { t << " in measure " << f.measure; };
  const auto in_measure_and_voice = [&] {
    t << " in measure " << f.measure << ", voice " << f.voice;
  };
  switch (f.code) {
    case Code::kUsage:
      t << "Usage: " << f.word << " [pdp-1 music file]";
      break;
    case Code::kCannotOpen:
      t << "Can't open file";
      if (f.word.empty()) {
        t << ": " << f.reason;
      } else {
        t << ' ' << f.word;
      }
      break;
    case Code::kReadError:
      t << "Error reading " << f.word << ": " << f.reason;
      break;
    case Code::kWriteError:
      t << "Error writing standard output";
      if (!f.reason.empty()) t << ": " << f.reason;
      break;
    case Code::kUnreadableInput:
      t << "Cannot read the input: " << f.reason;
      break;
    case Code::kUnwritableOutput:
      t << "Cannot write the output: " << f.reason;
      break;
    case Code::kOutOfMemory:
      t << "Out of memory";
      break;
    case Code::kNoTitle:
      t << "EOF encountered reading first title, exiting";
      break;
    case Code::kEndOfInput:
      t << "EOF while reading token";
      break;
    case Code::kNulByte:
      t << "NUL byte in the input, which is not a text file";
      break;
    case Code::kTokenTooLong:
      t << "Token longer than " << kTokenMax << " characters";
      break;
    case Code::kTitleTooLong:
      t << "Title longer than " << kTitleMax << " characters";
      break;
    case Code::kTooManyMeasures:
      t << "No more than " << kMaxMeasures << " measures allowed";
      break;
    case Code::kMeasureCount:
      t << "found " << f.number << " 192th notes of music, expected " << f.other;
      in_measure_and_voice();
      break;
    case Code::kNoUnits:
      t << "No \"units\" statement before the end of measure " << f.measure << ", voice "
        << f.voice;
      break;
    case Code::kMeasureNumber:
      // A number too large to read is named as written.
      t << "input claims measure ";
      if (f.number < 0) {
        t << f.word;
      } else {
        t << f.number;
      }
      t << ", but actually on measure " << f.measure;
      break;
    case Code::kBadKey:
      t << "bogus parameter " << f.word << " for \"key\" statement";
      break;
    case Code::kTempoTooHigh:
      t << "Maximum allowed tempo is " << kMaxTempo << ", found " << f.number;
      in_measure_and_voice();
      break;
    case Code::kTempoZero:
      t << "Tempo 0 is not allowed,";
      in_measure_and_voice();
      break;
    case Code::kNumberOutOfRange:
      t << "Number " << f.word << " out of range for \"" << f.keyword << "\",";
      in_measure_and_voice();
      break;
    case Code::kCopyNotWritten:
    case Code::kCopyNotOpened:
    case Code::kCopyTooLong:
      t << "Cannot copy measure " << f.number;
      in_measure_and_voice();
      if (f.code == Code::kCopyNotWritten) {
        t << ": it has not been written yet";
      } else if (f.code == Code::kCopyNotOpened) {
        t << ": it was not opened by its measure number";
      } else {
        t << ": its text is longer than " << kMeasureTextMax << " characters";
      }
      break;
    case Code::kRestInFullMeasure:
      t << "\"rest\" command given in a non-empty measure";
      break;
    case Code::kRestWithoutDuration:
      t << "No duration found for rest";
      in_measure();
      break;
    case Code::kNoteWithoutPitch:
      t << "No pitch found for note " << f.word;
      in_measure();
      break;
    case Code::kNoteWithoutDuration:
      t << "No duration found for note " << f.word;
      in_measure();
      break;
    case Code::kDurationWithComma:
      t << "You cannot specify a duration with the ,";
      in_measure();
      break;
    case Code::kPitchTooHigh:
      t << "oops, can't handle pitch numbers greater then " << kMaxPitch;
      in_measure();
      t << ".  Fix me!";
      break;
    case Code::kPitchTooLow:
      t << "Lowest allowed pitch value is 0, you specified " << f.number;
      in_measure();
      t << '.';
      break;
    case Code::kDotWithComma:
      t << "You cannot specify a dot with a comma";
      in_measure();
      break;
    case Code::kDoubleSharp:
    case Code::kDoubleFlat:
      t << "Gah, who used a double " << (f.code == Code::kDoubleSharp ? "sharp" : "flat");
      in_measure();
      t << "?  Fix me to deal with them";
      break;
    case Code::kTransposedOutOfRange:
      t << "Transposition resulted in a note out of range.  The legal range is 0 to "
        << kHighestSemitone << ", the generated note is " << f.number << ',';
      in_measure();
      break;
    case Code::kOctaveTooLow:
      t << "The lowest allowed octave is " << kLowestOctave << ", found octave " << f.number;
      in_measure();
      break;
    case Code::kOctaveTooHigh:
      t << "The highest allowed octave is " << kHighestOctave
        << ", and only for the 'c',  found note " << f.letter << ", octave " << f.number;
      in_measure();
      break;
    case Code::kZeroNoteValue:
      t << "A note value of 0 has no length,";
      in_measure();
      break;
    case Code::kNoPreviousNote:
      t << "No previous note to repeat with the ,";
      in_measure();
      break;
    case Code::kUncheckedMeasure:
      t << "measure " << f.measure << " of voice " << f.voice
        << " is never checked: \"end\" comes before its bar line";
      break;
    case Code::kSuspectTitle:
      if (f.word.empty()) {
        t << "the title runs over more than one line: is its '/' missing?";
      } else {
        t << "the title holds the statement word \"" << f.word << "\": is its '/' missing?";
      }
      break;
    case Code::kNoteWithoutLength:
      t << f.word << " has no length and is left out of the output: ";
      if (f.number != 0) {
        t << "its note value is above " << kWholeNote;
      } else {
        t << "it repeats a note of no length";
      }
      break;
    case Code::kNegativeTempo:
      t << "tempo " << f.number << " is negative: it writes \"$tempo " << f.other << '"';
      break;
    case Code::kCheckNoFiles:
      t << "no file to check";
      break;
    case Code::kCheckBadColumns:
      t << "columns count bytes, chars or display, not " << f.word;
      break;
    case Code::kCheckUnknownOption:
      t << "unknown option " << f.word;
      break;
    case Code::kCheckUnreadableFolder:
      t << "Can't read the folder: " << f.reason;
      break;
    case Code::kCheckEmptyFolder:
      t << "no .pdp1 file in this folder";
      break;
    case Code::kIgnoredLetter:
      t << f.word << " holds the letter '" << f.letter
        << "', which means nothing in a note and is passed over";
      break;
    case Code::kUnreadInput:
      t << "the piece has ended: what follows, which reads as more music, is never read";
      break;
  }
  return std::move(t.s);
}

Severity severity_of(Code code) {
  switch (code) {
    case Code::kRestInFullMeasure:
    case Code::kUncheckedMeasure:
    case Code::kSuspectTitle:
    case Code::kNoteWithoutLength:
    case Code::kNegativeTempo:
    case Code::kCheckEmptyFolder:
    case Code::kIgnoredLetter:
    case Code::kUnreadInput:
      return Severity::kWarning;
    default:
      return Severity::kError;
  }
}

int status_of(Code code) {
  if (severity_of(code) == Severity::kWarning) return 0;
  switch (code) {
    case Code::kMeasureNumber:
    case Code::kCheckNoFiles:  // the checker's usage errors
    case Code::kCheckBadColumns:
    case Code::kCheckUnknownOption:
      return 2;
    default:
      return 1;
  }
}

bool has_place(Code code) {
  switch (code) {
    case Code::kUsage:
    case Code::kCannotOpen:
    case Code::kReadError:
    case Code::kWriteError:
    case Code::kUnreadableInput:
    case Code::kUnwritableOutput:
    case Code::kOutOfMemory:
    case Code::kCheckNoFiles:
    case Code::kCheckBadColumns:
    case Code::kCheckUnknownOption:
    case Code::kCheckUnreadableFolder:
    case Code::kCheckEmptyFolder:
      return false;
    default:
      return true;
  }
}

bool printed_by_program(Code code) {
  switch (code) {
    case Code::kCheckNoFiles:  // the checker's own
    case Code::kCheckBadColumns:
    case Code::kCheckUnknownOption:
    case Code::kCheckUnreadableFolder:
    case Code::kCheckEmptyFolder:
      return false;
    default:  // errors, and of the warnings only that of "rest" in a measure with music
      return severity_of(code) == Severity::kError || code == Code::kRestInFullMeasure;
  }
}

namespace {

std::string str(long long n) { return std::to_string(n); }

// "a quarter (48 192nds)"
std::string amount(long long n) { return as_note_values(n) + " (" + str(n) + " 192nds)"; }

Hint began_here(const Failure& f) {
  return {.text = "measure " + str(f.measure) + " began here",
          .at = f.measure_began,
          .length = f.measure_began_length};
}

// The story of music that a "rest" or "copy" did not clear: how much came from where.
void tell_carried(const Failure& f, std::vector<Hint>& hints) {
  for (const Carry& c : f.carried) {
    hints.push_back({.text = amount(c.amount) + " was carried from measure " + str(c.measure) +
                             ", which began here",
                     .at = c.from,
                     .length = c.from_length});
    hints.push_back({.text = '"' + std::string(c.keyword) +
                             "\" here did not clear it, so it counts in measure " + str(f.measure),
                     .at = c.by,
                     .length = c.by_length});
  }
}

// Where a measure that holds more than its length was full: after a note, where a bar line is
// probably missing, or inside one.
void tell_filled(const Failure& f, long long expected, std::vector<Hint>& hints) {
  if (!f.carried.empty() || !f.filled) return;  // the carried music tells the story
  const Fill& n = *f.filled;
  if (n.before >= expected || n.after < expected) return;
  const std::string m = "measure " + str(f.measure);
  if (n.after == expected) {
    hints.push_back({.text = m + " is full after this note: is a bar line missing after it?",
                     .at = n.at,
                     .length = n.length});
  } else {
    hints.push_back(
        {.text = "this note runs over the end of " + m + " by " + amount(n.after - expected),
         .at = n.at,
         .length = n.length});
  }
}

// Notes as the output names them: the letter, '+' or '-', the octave.
std::string note_name(char letter, int accidental, long long octave) {
  std::string name(1, letter);
  if (accidental > 0) name += '+';
  if (accidental < 0) name += '-';
  return name + str(octave);
}
// Counted from c2, sharps for the black keys, as a transposed note is named.
std::string note_name(long long semitone) {
  const long long in_octave = (semitone % 12 + 12) % 12;
  return note_name(letter_of_semitone(in_octave), is_sharp_semitone(in_octave) ? 1 : 0,
                   2 + (semitone - in_octave) / 12);
}
std::string times(long long n, std::string_view one) {
  return (n == 1   ? std::string("one")
          : n == 2 ? std::string("two")
                   : str(n)) +
         ' ' + std::string(one) + (n == 1 ? "" : "s");
}

// The notes that the clef and the transposition allow, and how to write the note meant: the
// one written, moved by whole octaves into what is allowed.
void tell_range(const Failure& f, char letter, int accidental, long long octave,
                std::vector<Hint>& hints) {
  const NoteRange& r = f.notes;
  const long long t = r.transposition;
  // Written notes are allowed from c2 to c7, or, under a transposition, where it takes them
  // there; by staff steps and pitch numbers without 'a' or 'b', to name the clef's part of it.
  const long long lowest = t == 0 ? 0 : -t;
  const long long highest = t == 0 ? 60 : 60 - t;
  const auto allowed = [&](long long step, int accid) {
    const long long in_octave = (step % 7 + 7) % 7;
    const long long o = (step - in_octave) / 7;
    const char l = letter_of_step(in_octave);
    if (t == 0) return o >= 2 && (o < 7 || (o == 7 && l == 'c'));
    const long long s = 12 * (o - 2) + semitone_of_letter(l) + accid;
    return s >= lowest && s <= highest;
  };
  int first = -1;
  int last = -1;
  for (int p = 0; p <= kMaxPitch; ++p) {
    if (!allowed(r.lowest_step + p, 0)) continue;
    if (first < 0) first = p;
    last = p;
  }
  std::string text = "the " + std::string(r.clef) + " clef";
  if (t != 0)
    text += ", transposed " + std::string(t > 0 ? "up " : "down ") + str(t > 0 ? t : -t) + ',';
  text += " allows " +
          (t == 0 ? std::string("c2 to c7")
                  : note_name(lowest) + " to " + note_name(highest) + " as written") +
          ": ";
  if (first < 0) {
    text += "no pitch number without 'a' or 'b'";
  } else {
    text += "pitch numbers " + str(first) + " to " + str(last) + " without 'a' or 'b'";
  }
  hints.push_back({.text = text, .at = std::nullopt});

  if (letter < 'a' || letter > 'g') return;  // a ',' with no note before it
  // The octave meant: the nearest one allowed.
  long long meant = octave;
  if (t == 0) {
    const long long top = letter == 'c' ? 7 : 6;
    meant = octave < 2 ? 2 : octave > top ? top : octave;
  } else {
    const long long s = 12 * (octave - 2) + semitone_of_letter(letter) + accidental;
    if (s < lowest) meant += (lowest - s + 11) / 12;
    if (s > highest) meant -= (s - highest + 11) / 12;
  }
  if (meant == octave) return;
  // A pitch number with as few 'a' or 'b' as give that note: each moves it 12 staff steps.
  const long long offset = 7 * meant + step_of_letter(letter) - r.lowest_step;
  long long shifts = 0;
  if (offset > kMaxPitch) shifts = (offset - kMaxPitch + 11) / 12;
  if (offset < 0) shifts = -((-offset + 11) / 12);
  const long long pitch = offset - 12 * shifts;
  const long long moved = meant - octave;
  std::string how = note_name(letter, accidental, meant) + ", " +
                    (moved == 1 || moved == -1 ? std::string("an octave")
                                               : times(moved > 0 ? moved : -moved, "octave")) +
                    (moved > 0 ? " higher" : " lower") + ", is pitch number " + str(pitch);
  if (shifts != 0)
    how += " with " + times(shifts > 0 ? shifts : -shifts, shifts > 0 ? "'a'" : "'b'");
  hints.push_back({.text = how, .at = std::nullopt});
}

std::string measures_to_copy(const Failure& f) {
  if (f.copyable.empty()) {
    return "no measure can be copied here: a measure can be, once it is closed, if its number "
           "opened it";
  }
  // Runs of three or more as "1 to 3", shorter ones measure by measure.
  std::vector<std::string> items;
  for (const auto& [first, last] : f.copyable) {
    if (last - first >= 2) {
      items.push_back(str(first) + " to " + str(last));
    } else {
      for (int m = first; m <= last; ++m) items.push_back(str(m));
    }
  }
  constexpr size_t kShown = 8;
  std::string list;
  const size_t shown = items.size() < kShown ? items.size() : kShown;
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) list += i + 1 == items.size() ? " and " : ", ";
    list += items[i];
  }
  if (items.size() > kShown) list += " and more";
  return (items.size() == 1 && f.copyable[0].first == f.copyable[0].second ? "only measure "
                                                                           : "measures ") +
         list + " can be copied here";
}

// The hints of a message, each from the values of its failure.
std::vector<Hint> hints_of(const Failure& f) {
  std::vector<Hint> hints;
  switch (f.code) {
    case Code::kCannotOpen:
      // The file named in the message, the system's reason in the hint.
      if (!f.word.empty()) hints.push_back({.text = f.reason, .at = std::nullopt});
      break;
    case Code::kMeasureCount: {
      const long long missing = f.other - f.number;
      const long long size = missing > 0 ? missing : -missing;
      hints.push_back({.text = "measure " + str(f.measure) + " is " +
                               (missing > 0 ? "short by " : "long by ") + amount(size),
                       .at = std::nullopt});
      tell_carried(f, hints);
      if (missing < 0) tell_filled(f, f.other, hints);
      hints.push_back(began_here(f));
      break;
    }
    case Code::kMeasureNumber:
      tell_carried(f, hints);
      if (f.expected && f.count >= *f.expected) tell_filled(f, *f.expected, hints);
      if (f.expected && f.count > 0 && f.count < *f.expected && f.carried.empty()) {
        hints.push_back({.text = "measure " + str(f.measure) + " holds " + amount(f.count) +
                                 " so far, short by " + amount(*f.expected - f.count),
                         .at = std::nullopt});
      }
      hints.push_back(began_here(f));
      break;
    case Code::kUncheckedMeasure:
      tell_carried(f, hints);
      // Where the measure began, when the music in it is not its own and it began before "end".
      if (!f.carried.empty() && f.measure_began != f.handled) hints.push_back(began_here(f));
      hints.push_back(
          {.text = "the voice ends here, before the bar line of measure " + str(f.measure),
           .at = f.handled,
           .length = f.handled_length});
      break;
    case Code::kSuspectTitle:
      hints.push_back(
          {.text = "the title ends here", .at = f.title_end, .length = f.title_end_length});
      break;
    case Code::kBadKey:
      hints.push_back({.text = "\"key\" takes \")\" for no key signature, \"(N\" for N sharps "
                               "or \"-N\" for N flats, N from 0 to " +
                               str(kMaxKeyCount),
                       .at = std::nullopt});
      break;
    case Code::kEndOfInput:
      if (f.title_at && !f.title_end_length) {
        hints.push_back({.text = "the title of voice " + str(f.voice) +
                                 " begins here and never closes: is its '/' missing?",
                         .at = f.title_at,
                         .length = f.title_length});
      } else if (f.handled) {
        const bool only_title = f.handled == f.title_at;
        hints.push_back(
            {.text = "voice " + str(f.voice) + " has no \"end\": " +
                     (only_title ? "nothing follows its title, here" : "its last token is here"),
             .at = f.handled,
             .length = f.handled_length});
      }
      break;
    case Code::kTitleTooLong:
      hints.push_back({.text = "the title begins here and has no '/' in its first " +
                               str(static_cast<long long>(kTitleMax)) +
                               " characters: is its '/' missing?",
                       .at = f.at,
                       .length = f.length});
      break;
    case Code::kTokenTooLong:
      hints.push_back({.text = "the token that begins here runs on for more than " +
                               str(static_cast<long long>(kTokenMax)) +
                               " characters: is a blank missing?",
                       .at = f.at,
                       .length = f.length});
      break;
    case Code::kCopyNotWritten:
    case Code::kCopyNotOpened:
    case Code::kCopyTooLong:
      hints.push_back({.text = measures_to_copy(f), .at = std::nullopt});
      break;
    case Code::kOctaveTooLow:
    case Code::kOctaveTooHigh:
      tell_range(f, f.letter, f.other == '+' ? 1 : f.other == '-' ? -1 : 0, f.number, hints);
      break;
    case Code::kTransposedOutOfRange: {
      // The note as written: its letter and octave, and the sign that the semitone tells.
      const long long written = f.number - f.notes.transposition;
      const char l = f.letter >= 'a' && f.letter <= 'g' ? f.letter : 'c';
      const long long sign = written - 12 * (f.other - 2) - semitone_of_letter(l);
      tell_range(f, f.letter, static_cast<int>(sign), f.other, hints);
      break;
    }
    case Code::kIgnoredLetter:
      hints.push_back({.text = "the letters of a note are a, b, c, e, g, h, l, q, r, s and x, in "
                               "lower case",
                       .at = std::nullopt});
      break;
    case Code::kUnreadInput:
      hints.push_back({.text = "the piece ends at this '/': after \"end\", an empty title ends "
                               "the piece",
                       .at = f.title_end,
                       .length = f.title_end_length});
      break;
    default:
      break;
  }
  return hints;
}

}  // namespace

Message make_message(const Failure& f) {
  Message m;
  m.severity = severity_of(f.code);
  m.code = f.code;
  m.text = message_text(f);
  m.at = f.at;
  m.length = f.length;
  m.voice = f.voice;
  m.measure = f.measure;
  m.status = status_of(f.code);
  m.printed = printed_by_program(f.code);
  m.hints = hints_of(f);
  return m;
}

}  // namespace pn2tavix::detail
