#include "base/diagnostic.h"

#include <iterator>
#include <string>

#include "base/limits.h"
#include "base/note_values.h"

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
    case Code::kCheckNotAFile:
      t << "not a file or a folder";
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
      return Severity::kWarning;
    default:
      return Severity::kError;
  }
}

int status_of(Code code) {
  if (severity_of(code) == Severity::kWarning) return 0;
  return code == Code::kMeasureNumber ? 2 : 1;
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
    case Code::kCheckNotAFile:
    case Code::kCheckUnknownOption:
    case Code::kCheckUnreadableFolder:
    case Code::kCheckEmptyFolder:
      return false;
    default:
      return true;
  }
}

bool printed_by_program(Code code) {
  if (code >= Code::kCheckNoFiles) return false;  // the checker's own
  return severity_of(code) == Severity::kError || code == Code::kRestInFullMeasure;
}

namespace {

Hint began_here(const Failure& f) {
  return {.text = "measure " + std::to_string(f.measure) + " began here",
          .at = f.measure_began,
          .length = f.measure_began_length};
}

// The hints of a message, each from the values of its failure.
std::vector<Hint> hints_of(const Failure& f) {
  switch (f.code) {
    case Code::kCannotOpen:
      // The file named in the message, the system's reason in the hint.
      if (f.word.empty()) return {};
      return {{.text = f.reason, .at = std::nullopt}};
    case Code::kMeasureCount: {
      const long long missing = f.other - f.number;
      const long long size = missing > 0 ? missing : -missing;
      return {{.text = "measure " + std::to_string(f.measure) + " is " +
                       (missing > 0 ? "short by " : "long by ") + as_note_values(size) + " (" +
                       std::to_string(size) + " 192nds)",
               .at = std::nullopt},
              began_here(f)};
    }
    case Code::kMeasureNumber:
    case Code::kUncheckedMeasure:
      return {began_here(f)};
    case Code::kSuspectTitle:
      return {{.text = "the title ends here", .at = f.title_end, .length = f.title_end_length}};
    default:
      return {};
  }
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
