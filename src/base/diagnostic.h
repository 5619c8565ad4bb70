// Errors and warnings as data. A fault is raised where it is found, as its code with the values
// that its message names; the conversion adds the voice, the measure and the place it knows;
// message_text renders the program's own words. Nothing here knows how a message is shown.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "pn2tavix/message.h"

namespace pn2tavix::detail {

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
  int measure = 0;
  long long voice = 0;
};

/// The one way a conversion ends early: thrown where a fault is found, caught once, where the
/// conversion ends and the failure becomes a message.
class RunError : public std::exception {
 public:
  explicit RunError(Failure f) : failure(std::move(f)) {}
  const char* what() const noexcept override { return "pn2tavix conversion error"; }
  Failure failure;
};

// Out of line and cold, so that the code that finds a fault carries no Failure of its own: the
// per-note and per-token functions stay small.
[[noreturn, gnu::cold]] void fail(Failure f);
[[noreturn, gnu::cold]] void fail(Code code, long long number = 0, long long other = 0,
                                  char letter = 0);
[[noreturn, gnu::cold]] void fail_word(Code code, std::string_view word,
                                       std::string_view keyword = {}, long long number = 0);
[[noreturn, gnu::cold]] void fail_at(Code code, const Position& at);

/// The text of the message, exactly as the program prints it after "NAME: ".
std::string message_text(const Failure& f);

Severity severity_of(Code code);
/// The exit status that a message of this code ends a conversion with; 0 for a warning.
int status_of(Code code);
/// False for what has no place in the input: the command line, files, writing, memory.
bool has_place(Code code);
/// False for the warnings that only pn2tavix-check reports.
bool printed_by_program(Code code);

/// The message for `f`, without notes.
Message make_message(const Failure& f);

}  // namespace pn2tavix::detail
