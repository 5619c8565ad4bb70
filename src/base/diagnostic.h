// Errors and warnings as data. A fault is kept where it is found, as its code with the values
// that its message names, and returned as a failed status; the conversion adds the voice, the
// measure and the place it knows; message_text renders the program's own words. Nothing here knows
// how a message is shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pn2tavix/message.h"

namespace pn2tavix::detail {

/// Music counted in the open measure that was written in an earlier one: a "rest" or "copy"
/// statement closed that measure without clearing its count.
struct Carry {
  long long amount = 0;  // 192nds
  int measure = 0;       // where it was written
  Position from;         // where that measure began
  std::uint64_t from_length = 0;
  std::string_view keyword;  // "rest" or "copy"
  Position by;               // the statement
  std::uint64_t by_length = 0;
};

/// The note with which a measure reached its length: the count without it and with it.
struct Fill {
  Position at;
  std::uint64_t length = 0;
  long long before = 0;
  long long after = 0;
};

/// The notes that a note token may give: the clef's, under the transposition in force.
struct NoteRange {
  std::string_view clef;  // "treble", "alto", "tenor", "bass"
  int lowest_step = 0;    // pitch number 0 as a staff step: 7 per octave, c = 0
  long long transposition = 0;
};

/// What went wrong, with what its message names. Fields that a code does not use stay empty.
struct Failure {
  Code code = Code::kEndOfInput;
  std::string word;          // the token, argument or name that the message quotes, as written
  std::string_view keyword;  // the statement it belongs to ("units", "tempo", ...)
  std::string reason;        // the system's reason, for reading and writing
  long long number = 0;      // the number it names
  long long other = 0;       // a second one: the count expected, the "$tempo" written
  char letter = 0;           // the note letter it names
  std::optional<Position> at;
  std::uint64_t length = 0;  // bytes of the token or title at `at`
  int measure = 0;
  long long voice = 0;
  // The places that hints point at, as the conversion knows them when the message is made.
  std::optional<Position> measure_began;  // the token that began the open measure
  std::uint64_t measure_began_length = 0;
  std::optional<Position> title_end;   // the '/' that closed the title read last, or the end
  std::uint64_t title_end_length = 0;  // 1 for a '/', 0 for the end of input
  std::optional<Position> title_at;    // the first byte of the title read last
  std::uint64_t title_length = 0;
  std::optional<Position> handled;  // the token or title being handled: "end", the last one read
  std::uint64_t handled_length = 0;
  // The open measure: its count so far, the count it needs (none before "units"), the music in
  // it from earlier measures, and the note with which it was full.
  long long count = 0;
  std::optional<long long> expected;
  std::vector<Carry> carried;
  std::optional<Fill> filled;
  std::vector<std::pair<int, int>> copyable;  // the runs of measures that "copy" can repeat
  NoteRange notes;
};

/// What a fault names, by field, as the code that finds it knows it: fail() keeps it as the
/// conversion's Failure. Plain values, so that naming one costs the finding function nothing
/// but a few stores on its way out.
struct Fault {
  Code code = Code::kEndOfInput;
  long long number = 0;
  long long other = 0;
  char letter = 0;
  std::string_view word = {};
  std::string_view keyword = {};
  std::string_view reason = {};
  std::optional<Position> at = {};
  std::uint64_t length = 0;
};

/// How a step of a conversion went. A step that fails has kept its Failure where the conversion
/// keeps it, and every step above it returns at once: the first failure is the one reported.
enum class [[nodiscard]] Status : unsigned char{kOk, kFailed};

// Out of line and cold: failing is rare, and its work stays out of the functions that find it.
/// Keeps `fault` in `kept` and gives Status::kFailed, for the caller to return.
[[gnu::cold, gnu::noinline]] Status fail(Failure& kept, const Fault& fault);

/// fail() for the code that runs per token and per note: `name` makes the Fault inside a cold
/// function of its own, so that the caller's code holds no Fault, nor the stack room and the
/// stack guard that one would bring. `name` captures its values by copy.
template <typename Name>
[[gnu::cold, gnu::noinline]] Status fail_with(Failure& kept, Name name) {
  return fail(kept, name());
}

/// The Failure that `fault` names, with nothing yet of where it happened.
Failure failure_of(const Fault& fault);

/// The text of the message, exactly as the program prints it after "NAME: ".
std::string message_text(const Failure& f);

Severity severity_of(Code code);
/// The exit status that a message of this code ends a conversion with; 0 for a warning.
int status_of(Code code);
/// False for what has no place in the input: the command line, files, writing, memory.
bool has_place(Code code);
/// False for the warnings that only pn2tavix-check reports.
bool printed_by_program(Code code);

/// The message for `f` with the hints that help to fix it: the one place where both are made.
Message make_message(const Failure& f);

}  // namespace pn2tavix::detail
