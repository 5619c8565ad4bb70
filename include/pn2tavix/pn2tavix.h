// pn2tavix as a library: converts a PDP-1 music file to tavix text inside the calling program.
//
// A conversion never ends the process and keeps no state between calls. Conversions may run
// on several threads at once: each keeps all its state to itself, and the library has none
// of its own; only the streams, strings and results given to one conversion must not be
// touched by another thread until it returns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "pn2tavix/message.h"
#include "pn2tavix/timeline.h"
#include "pn2tavix/version.h"

namespace pn2tavix {

/// The version of the library the program was compiled against ("0.4.0").
inline constexpr std::string_view kVersion = PN2TAVIX_VERSION;
/// The version of the library the program runs with.
std::string_view version() noexcept;

struct Options {
  bool keep_output = true;   // false: the tavix text is made and checked, but not kept
  bool note_events = false;  // fill Result::notes
  bool timeline = false;     // fill Result::timeline
  bool midi = false;         // fill Result::midi
  /// Where the tavix text goes as it is made, in blocks, instead of into Result::output (then
  /// left empty). A write that fails ends the conversion as the program's does: "Error writing
  /// output", status 1.
  std::streambuf* write_to = nullptr;
};

struct Result {
  int status = 0;      // the program's exit status: 0 converted, 1 an error, 2 a measure number
  std::string output;  // the tavix text; on an error, what was written before it
  std::vector<Message> messages;  // in the order they happened; an error comes last
  std::vector<NoteEvent> notes;   // with Options::note_events
  std::string title;              // the first title as read: the one the output names
  std::vector<Title> titles;      // each voice's, in order
  Timeline timeline;              // with Options::timeline: what sounding and drawing it needs
  /// With Options::midi, the piece as a Standard MIDI File (the bytes pn2tavix-midi writes);
  /// empty when the piece does not convert.
  std::string midi;
};

/// Converts the music in `input`, which is read as bytes, exactly as the program reads a file.
Result convert(std::string_view input, const Options& options = {});

/// The same, reading from a stream.
Result convert(std::istream& in, const Options& options = {});

/// The same, reading from an open C stream, such as stdin; a read error is reported as such.
Result convert(std::FILE* in, const Options& options = {});

/// The same, reading the file at `path`. A file that cannot be opened, or a folder, gives the
/// program's "Can't open file" message, with the system's reason as its hint.
Result convert_file(const std::string& path, const Options& options = {});

/// The message of a code that names no place in the input, in the library's own words: the
/// programs' usage lines and the checker's own messages come from here, as every other text
/// does. `word` is what the message quotes (the program's name for kUsage, the option, the
/// columns asked for); `reason` the system's reason, where the message gives one.
Message message_of(Code code, std::string_view word = {}, std::string_view reason = {});

/// Converts the music read from `in`, writing tavix text to `out` and the messages that the
/// program prints to `err`, each one line beginning with `program_name` and ": ". Returns the
/// exit status the program would have: 0 converted, 1 any error, 2 a measure number that
/// differs from the running count. On an error, what was written to `out` before it stays.
int convert(std::istream& in, std::ostream& out, std::ostream& err,
            std::string_view program_name = "pn2tavix");

/// The same, reading from an open C stream, such as stdin (as the program reads standard
/// input: a read error is told from the end of the input).
int convert(std::FILE* in, std::ostream& out, std::ostream& err,
            std::string_view program_name = "pn2tavix");

/// The same, reading the file at `path`. A file that cannot be opened, or a folder, gives the
/// program's "Can't open file" message and the system's reason, one line each.
int convert_file(const std::string& path, std::ostream& out, std::ostream& err,
                 std::string_view program_name = "pn2tavix");

}  // namespace pn2tavix
