#include "driver/driver.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "driver/errors.h"
#include "driver/line.h"
#include "driver/sink.h"
#include "input/byte_source.h"
#include "input/token_reader.h"
#include "notes/note.h"
#include "notes/pitch.h"

namespace pn2tavix {
namespace {

constexpr int kHeaderTempo = 67;
constexpr int kMaxTempo = 682;
constexpr int kTempoDividend = 11444;  // "$tempo" is this divided by the tempo statement's value

// The number at the start of `text` as the statement arguments are read: leading white space,
// an optional sign, then digits up to the first other character; no digits give 0. Returns
// false when the number does not fit an int.
bool to_int(std::string_view text, int& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// Everything one conversion holds, made anew for each run.
struct Conversion {
  Conversion(TokenReader& r, Sink& s, std::ostream& e, const std::string& name)
      : reader(r), sink(s), err(e), me(name) {}

  TokenReader& reader;
  Sink& sink;
  std::ostream& err;
  const std::string& me;

  PitchState pitch;
  NoteState notes;
  std::string title;
  LineBuf<512> line;

  int voice = 0;
  int measure = 1;
  long long count = 0;  // 192nds so far in the measure; wide, as nothing bounds a measure's notes
  std::optional<long long> measure_length;  // in 64ths; no value before the first "units"
  bool end_of_voice = false;
  // Whether the measure text belongs to the open measure: only a measure opened by its own
  // measure number has been collected, so only such a measure can be copied later.
  bool measure_opened = false;

  void write_line() { tavix_out(sink, line.view()); }

  int read_int_arg(const char* keyword) {
    const Token& arg = read_token(reader);
    int value;
    if (!to_int(arg.view(), value)) {
      fail(kExitError, "Number %s out of range for \"%s\", in measure %d, voice %d", arg.text,
           keyword, measure, voice);
    }
    return value;
  }

  void check_measure_limit() {
    if (measure > kMaxMeasures) fail(kExitError, "No more than %d measures allowed", kMaxMeasures);
  }

  long long expected_count() {
    if (!measure_length) {
      fail(kExitError, "No \"units\" statement before the end of measure %d, voice %d", measure,
           voice);
    }
    return 3 * *measure_length;
  }

  void write_end_of_measure() {
    line.clear().str("# End measure ").num(measure).str(" of voice ").num(voice).str("\n\n");
    write_line();
  }

  void start_voice() {
    ++voice;
    // Written before anything is reset: while collecting is still on from the voice before,
    // these lines go into the measure text too.
    line.clear()
        .str("@channel ")
        .num(voice)
        .str(" {\n$patch flute\n$attack 127\n$decay 127\n$reverb 0\n$chorus 0\n");
    write_line();
    tavix_out(sink, voice <= 2 ? "$pan 127\n" : "$pan 0\n");
    reset_for_voice(pitch);
    end_of_voice = false;
    measure = 1;
    count = 0;
    measure_opened = false;
    reset_for_voice(notes);
    clear_store(sink);
  }

  void bar_line() {
    const long long expected = expected_count();
    if (count != expected) {
      fail(kExitError, "found %lld 192th notes of music, expected %lld in measure %d, voice %d",
           count, expected, measure, voice);
    }
    stop_collecting(sink);
    write_end_of_measure();
    if (measure_opened) {
      file_measure_text(sink, measure);
    } else {
      file_unopened_measure(sink, measure);
    }
    ++measure;
    count = 0;
    measure_opened = false;
    clear_sticky_accid(notes);
  }

  void key_signature() {
    const Token& arg = read_token(reader);
    const std::string_view sig = arg.view();
    int n = 0;
    if (sig[0] == ')') {
      pitch.cur_key_sharp_flat = 0;
      pitch.cur_key_num_sharp_flat = 0;
      return;
    }
    // The tables know 0 to 7 sharps or flats; any other count is as bogus as a wrong sign.
    if ((sig[0] != '-' && sig[0] != '(') || !to_int(sig.substr(1), n) || n < 0 ||
        n > kMaxKeyCount) {
      fail(kExitError, "bogus parameter %s for \"key\" statement", arg.text);
    }
    pitch.cur_key_sharp_flat = sig[0] == '(' ? 1 : -1;
    pitch.cur_key_num_sharp_flat = n;
  }

  void whole_measure_rests() {
    if (count != 0) {
      flush_output(sink);  // keep the warning after the output that led to it
      err << me << ": \"rest\" command given in a non-empty measure\n";
    }
    const int n = read_int_arg("rest");
    for (int i = 0; i < n; ++i) {
      check_measure_limit();
      expected_count();  // a rest fills a measure, whose length must be known
      // A measure not opened by its number holds a stale text; the rest measure holds its own.
      if (!measure_opened) empty_measure_text(sink);
      start_collecting(sink);
      line.clear().str("/L").num(*measure_length).str(":64/r\n");
      write_line();
      stop_collecting(sink);
      write_end_of_measure();
      file_measure_text(sink, measure);
      empty_measure_text(sink);
      ++measure;
      measure_opened = false;
    }
  }

  void copy_measures() {
    const int first = read_int_arg("copy");
    const int last = read_int_arg("copy");
    // Each copy is filed before the next is taken, so a range that reaches the current
    // measure repeats copies made by this same statement.
    for (long long i = first; i <= last; ++i) {
      check_measure_limit();
      const int from = static_cast<int>(i);
      const char* why = nullptr;
      switch (stored_state(sink, from)) {
        case StoredMeasure::kText:
          break;
        case StoredMeasure::kNone:
          why = "it has not been written yet";
          break;
        case StoredMeasure::kUnopened:
          why = "it was not opened by its measure number";
          break;
        case StoredMeasure::kTooLong:
          why = "its text is longer than 5007 characters";
          break;
      }
      if (why != nullptr) {
        fail(kExitError, "Cannot copy measure %d in measure %d, voice %d: %s", from, measure, voice,
             why);
      }
      replay_measure(sink, from);
      file_copy_of_measure(sink, from, measure);
      write_end_of_measure();
      ++measure;
      measure_opened = false;
    }
  }

  void tempo() {
    const int n = read_int_arg("tempo");
    if (n > kMaxTempo) {
      fail(kExitError, "Maximum allowed tempo is 682, found %d in measure %d, voice %d", n, measure,
           voice);
    }
    if (n == 0) fail(kExitError, "Tempo 0 is not allowed, in measure %d, voice %d", measure, voice);
    line.clear().str("$tempo ").num(kTempoDividend / n).str("\n");
    write_line();
  }

  void measure_number(const Token& token) {
    // The token is all digits, so its value needs none of the argument rules; -1 stands for
    // a number too large for an int, which is still a mismatch, named as written.
    long long value = 0;
    for (char c : token.view()) {
      value = value * 10 + (c - '0');
      if (value > INT_MAX) {
        value = -1;
        break;
      }
    }
    if (value != measure) {
      fail(kExitMeasureMismatch, "input claims measure %s, but actually on measure %d",
           value < 0 ? token.text : std::to_string(value).c_str(), measure);
    }
    empty_measure_text(sink);
    start_collecting(sink);
    measure_opened = true;
  }

  void note_or_rest(const Token& token) {
    NoteContext ctx{notes, pitch, reader};
    NoteLine note_line{open_line(sink, kNoteLineMax)};
    const int filled = parse_note(ctx, token, note_line, measure);
    if (filled != 0) {
      count += filled;
      close_line(sink, note_line.len);
    }
  }

  void statement(const Token& token) {
    switch (parse_token(token)) {
      case TOK_BAR:
        bar_line();
        break;
      case TOK_END:
        tavix_out(sink, "}\n\n");
        end_of_voice = true;
        break;
      case TOK_UNITS:
        measure_length = 2LL * read_int_arg("units");
        line.clear().str("$time_sig ").num(*measure_length).str("/64\n");
        write_line();
        break;
      case TOK_TREBLE:
        pitch.cur_clef = 0;
        break;
      case TOK_ALTO:
        pitch.cur_clef = 1;
        break;
      case TOK_TENOR:
        pitch.cur_clef = 2;
        break;
      case TOK_BASS:
        pitch.cur_clef = 3;
        break;
      case TOK_KEY:
        key_signature();
        break;
      case TOK_REST:
        whole_measure_rests();
        break;
      case TOK_COPY:
        copy_measures();
        break;
      case TOK_UP:
        notes.cur_transposition = read_int_arg("up");
        break;
      case TOK_DOWN:
        notes.cur_transposition = -static_cast<long long>(read_int_arg("down"));
        break;
      case TOK_TEMPO:
        tempo();
        break;
      case TOK_ARTIC_L:
        notes.cur_artic = 1024;
        break;
      case TOK_ARTIC_E:
        notes.cur_artic = 8;
        break;
      case TOK_ARTIC_H:
        notes.cur_artic = 2;
        break;
      case TOK_ARTIC_Q:
        notes.cur_artic = 4;
        break;
      case TOK_ARTIC_S:
        notes.cur_artic = 2;
        break;
      case TOK_NUMBER:
        measure_number(token);
        break;
      case TOK_UPPER:
        break;  // words such as FINE are passed over
      case TOK_NOTE:
        note_or_rest(token);
        break;
    }
  }

  void convert() {
    if (read_title(reader, title) == -1) {
      fail(kExitError, "EOF encountered reading first title, exiting");
    }
    // The title goes out exactly as read, without escaping.
    line.clear()
        .str("@head {\n$title \"")
        .str(title)
        .str("\"\n$tempo ")
        .num(kHeaderTempo)
        .str("\n$resolution 96\n}\n\n@body {\n");
    write_line();
    do {
      start_voice();
      while (!end_of_voice) {
        // Tested before the token is read: once measure 5000 is closed, not even "end" follows.
        check_measure_limit();
        statement(read_token(reader));
      }
      // Only the first title reaches the output; the others just start voices.
    } while (read_title(reader, title) == 1);
    tavix_out(sink, "}\n\n");
  }
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string_view basename(std::string_view path) {
  size_t cut = path.rfind('/');
  if (cut == std::string_view::npos) cut = path.rfind('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

namespace {

// Converts everything `source` holds; the one place where errors become messages.
int convert_source(ByteSource& source, std::ostream& out, std::ostream& err,
                   const std::string& me) {
  Sink sink(out);
  TokenReader reader(source);
  auto report = [&](ExitStatus status, const char* text) {
    try {
      flush_output(sink);  // what was written before the error stays written
    } catch (const RunError&) {
      // The first error is the one worth reporting.
    }
    err << me << ": " << text << '\n';
    err.flush();
    return static_cast<int>(status);
  };
  try {
    Conversion conversion(reader, sink, err, me);
    conversion.convert();
    flush_output(sink);
    return kExitOk;
  } catch (const RunError& e) {
    return report(e.status(), e.what());
  } catch (const std::bad_alloc&) {
    return report(kExitError, "Out of memory");
  }
}

}  // namespace

int convert(std::istream& in, std::ostream& out, std::ostream& err, std::string_view program_name) {
  const std::string me(program_name);
  try {
    auto source = std::make_unique<ByteSource>(in, "standard input");
    return convert_source(*source, out, err, me);
  } catch (const std::bad_alloc&) {
    err << me << ": Out of memory\n";
    return kExitError;
  }
}

int run(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err) {
  // Every message begins with the short name the program was invoked under.
  const std::string invocation = argc > 0 && argv[0] != nullptr ? argv[0] : "pn2tavix";
  const std::string me(basename(invocation));
  if (argc != 1 && argc != 2) {
    err << me << ": Usage: " << me << " [pdp-1 music file]\n";
    return kExitError;
  }
  if (argc == 1) {
    // The process's own standard input is read through its C stream, which, unlike a C++
    // stream, tells a read error (standard input a directory, say) from the end of the input.
    // std::cin shares that stream, so no byte read through either is lost.
    if (&in != &std::cin) return convert(in, out, err, me);
    auto source = std::make_unique<ByteSource>(stdin, "standard input");
    return convert_source(*source, out, err, me);
  }

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(argv[1], "r"));
  int open_error = errno;
  struct stat st;
  // A directory opens for reading here but holds no text: refuse it like a missing file.
  if (file != nullptr && fstat(fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    file.reset();
    open_error = EISDIR;
  }
  if (file == nullptr) {
    err << me << ": Can't open file " << argv[1] << '\n'
        << me << ": " << std::strerror(open_error) << '\n';
    return kExitError;
  }
  auto source = std::make_unique<ByteSource>(file.get(), argv[1]);
  return convert_source(*source, out, err, me);
}

}  // namespace pn2tavix
