// The vocabulary of what a conversion reports: every kind of message, where in the input it
// happened, the hints that help to fix it, and the notes of the music as written. Plain data,
// with nothing of how it is shown: pn2tavix prints "name: text", pn2tavix-check
// "file:line:column: error: text". Also where a place lies as each kind of editor counts columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pn2tavix {

/// A place in the input: the line and column of a byte (both from 1; columns count bytes, not
/// characters, and only a line feed ends a line) and its offset (bytes before it, from 0).
/// locate() counts them as other editors do.
struct Position {
  std::uint64_t line = 1;
  std::uint64_t column = 1;
  std::uint64_t offset = 0;
  friend bool operator==(const Position& a, const Position& b) {
    return a.line == b.line && a.column == b.column && a.offset == b.offset;
  }
  friend bool operator!=(const Position& a, const Position& b) { return !(a == b); }
};

/// How locate() counts the column of a place, for the editor that is to land on it.
enum class ColumnMode {
  kBytes,    // bytes, as Position does: vim's %c, clang, editors that count bytes
  kChars,    // characters of UTF-8, and one for each byte that is not part of one: editors
             // that count characters
  kDisplay,  // columns of a terminal: tabs to the next multiple of 8, wide characters 2, marks
             // that combine with the character before 0: GCC's default, Emacs
};

/// The line and column of the byte at `offset` in `input` (an offset past the end gives the
/// end), the column counted as `mode` says. Lines end at a line feed, at a carriage return
/// followed by a line feed, and at a carriage return alone (which Position does not count as
/// a line end). A UTF-8 byte-order mark at the start of the input takes no column in kChars
/// and kDisplay.
Position locate(std::string_view input, std::uint64_t offset, ColumnMode mode);

/// locate() for many places of one input: each place is found from the one before where it
/// lies after it, as a conversion's messages mostly do, so that a file with many messages is
/// read once rather than once a message. `input` must outlive the Locator.
class Locator {
 public:
  Locator(std::string_view input, ColumnMode mode) : input_(input), mode_(mode) {}
  /// What locate(input, offset, mode) gives.
  Position at(std::uint64_t offset);

 private:
  std::string_view input_;
  ColumnMode mode_;
  std::size_t scanned_ = 0;     // line ends before this byte are counted
  std::uint64_t line_ = 1;      // the line that holds byte scanned_
  std::size_t line_start_ = 0;  // where that line begins
  std::size_t counted_to_ = 0;  // columns are counted on that line up to this byte,
  std::uint64_t column_ = 0;    // which is column_ (from 0)
};

enum class Severity { kError, kWarning };

/// Every kind of message. Those marked "check" are warnings of pn2tavix-check only: the input
/// converts, but almost surely not as its writer meant; pn2tavix does not print them.
///
/// Codes are only ever appended, never renumbered nor removed: programs keep their numbers.
enum class Code {
  // The command line and the files: no place in the input.
  kUsage,             // Usage: NAME [pdp-1 music file]
  kCannotOpen,        // Can't open file PATH (followed by the system's reason)
  kReadError,         // Error reading NAME: REASON
  kWriteError,        // Error writing standard output: REASON
  kUnreadableInput,   // Cannot read the input: the stream has no buffer, or has failed
  kUnwritableOutput,  // Cannot write the output: the stream has no buffer, or has failed
  kOutOfMemory,       // Out of memory
  // Reading titles and tokens.
  kNoTitle,       // EOF encountered reading first title, exiting
  kEndOfInput,    // EOF while reading token
  kNulByte,       // NUL byte in the input, which is not a text file
  kTokenTooLong,  // Token longer than 79 characters
  kTitleTooLong,  // Title longer than 255 characters
  // Statements and measures.
  kTooManyMeasures,    // No more than 5000 measures allowed
  kMeasureCount,       // found N 192th notes of music, expected M in measure ...
  kNoUnits,            // No "units" statement before the end of measure ...
  kMeasureNumber,      // input claims measure N, but actually on measure M (exit status 2)
  kBadKey,             // bogus parameter X for "key" statement
  kTempoTooHigh,       // Maximum allowed tempo is 682, found N ...
  kTempoZero,          // Tempo 0 is not allowed ...
  kNumberOutOfRange,   // Number N out of range for "KEYWORD" ...
  kCopyNotWritten,     // Cannot copy measure I ...: it has not been written yet
  kCopyNotOpened,      // ...: it was not opened by its measure number
  kCopyTooLong,        // ...: its text is longer than 5007 characters
  kRestInFullMeasure,  // (warning) "rest" command given in a non-empty measure
  // Note and rest tokens.
  kRestWithoutDuration,   // No duration found for rest ...
  kNoteWithoutPitch,      // No pitch found for note T ...
  kNoteWithoutDuration,   // No duration found for note T ...
  kDurationWithComma,     // You cannot specify a duration with the , ...
  kPitchTooHigh,          // oops, can't handle pitch numbers greater then 15 ...
  kPitchTooLow,           // Lowest allowed pitch value is 0 ...
  kDotWithComma,          // You cannot specify a dot with a comma ...
  kDoubleSharp,           // Gah, who used a double sharp ...
  kDoubleFlat,            // Gah, who used a double flat ...
  kTransposedOutOfRange,  // Transposition resulted in a note out of range ...
  kOctaveTooLow,          // The lowest allowed octave is 2 ...
  kOctaveTooHigh,         // The highest allowed octave is 7 ...
  kZeroNoteValue,         // A note value of 0 has no length ...
  kNoPreviousNote,        // No previous note to repeat with the , ...
  // Warnings of pn2tavix-check.
  kUncheckedMeasure,   // check: music after the last bar line of a voice, never checked
  kSuspectTitle,       // check: a title over several lines or holding statement words
  kNoteWithoutLength,  // check: a note value above 64 gives no length; nothing is written
  kNegativeTempo,      // check: a negative tempo writes a negative "$tempo"
  // pn2tavix-check's own command line and folders: no place in the input.
  kCheckNoFiles,           // no file to check (with the usage)
  kCheckBadColumns,        // columns count bytes, chars or display, not X (with the usage)
  kCheckUnknownOption,     // unknown option X (with the usage)
  kCheckUnreadableFolder,  // Can't read the folder: REASON
  kCheckEmptyFolder,       // (warning) no .pdp1 file in this folder
  // Later warnings of pn2tavix-check, placed in the input.
  kIgnoredLetter,  // check: a letter in a note token that means nothing there
  kUnreadInput,    // check: input after the end of the piece that holds a '/', never read
};

/// A hint that helps to fix what a message reports, with the place it points at if any
/// (pn2tavix-check prints it as a "note:").
struct Hint {
  std::string text;
  std::optional<Position> at;
  std::uint64_t length = 0;  // bytes of the token or title at `at`; 0 where it has no extent
};

/// One message of a conversion.
struct Message {
  Severity severity = Severity::kError;
  Code code = Code::kEndOfInput;
  std::string text;  // exactly as pn2tavix prints it after "NAME: ", without the line break
  /// The first byte of the title or token being handled; for a measure that does not add up,
  /// the bar line or statement that closed it; for the end of input, the end. None where the
  /// input has no place in it (usage, files, writing, memory).
  std::optional<Position> at;
  /// Bytes of the token (or title) at `at`: 0 for the end of input, and where the message has
  /// no extent.
  std::uint64_t length = 0;
  std::int64_t voice = 0;  // 1 for the first voice; 0 where not known
  int measure = 0;         // 0 where not known
  int status = 0;          // the exit status the message ends the conversion with; 0 if none
  bool printed = true;     // pn2tavix prints it; false for the warnings of pn2tavix-check
  std::vector<Hint> hints;
};

/// The title that started a voice, as read: without the '@' and blanks before it, and without
/// its '/'. Only the first voice's reaches the output.
struct Title {
  std::int64_t voice = 0;  // 1 for the first
  std::string text;
  Position at;   // its first byte
  Position end;  // the '/' that closed it; the end of input where none did
};

/// A note as the output writes it, for drawing the piece. Rests are left out.
struct NoteEvent {
  std::int64_t voice = 0;
  int measure = 0;
  std::int64_t start = 0;           // 192nds of a whole note from the start of the measure
  std::int64_t length = 0;          // 192nds
  std::int64_t measure_length = 0;  // 192nds that the measure holds; 0 before any "units"
  char letter = 'c';                // 'a' to 'g', as in the output
  char accidental = 0;              // '+' or '-' as in the output; 0 for none
  int octave = 0;                   // 2 to 7
  int semitone = 0;                 // 0 for c2 to 60 for c7: the pitch, whatever its spelling
  /// The token that wrote it: for a measure written by "copy", the token in the measure copied.
  Position at;
  int token_length = 0;  // bytes
};

}  // namespace pn2tavix
