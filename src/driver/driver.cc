#include "driver/driver.h"

#include <climits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/chars.h"
#include "base/diagnostic.h"
#include "base/limits.h"
#include "base/note_values.h"
#include "base/line.h"
#include "input/token_reader.h"
#include "notes/note.h"
#include "notes/pitch.h"

namespace pn2tavix::detail {
namespace {

constexpr int kHeaderTempo = 67;
constexpr int kTempoDividend = 11444;  // "$tempo" is this divided by the tempo statement's value

// The number at the start of `text` as the statement arguments are read: leading white space,
// an optional sign, then digits up to the first other character; no digits give 0. Returns
// false when the number does not fit an int.
bool to_int(std::string_view text, int& value) {
  size_t i = 0;
  while (i < text.size() && is_white(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && is_digit(static_cast<unsigned char>(text[i])); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// Statements whose argument a title that lacks its '/' would swallow: a title holding one of
// them, followed by what looks like its argument, is probably not a title at all.
std::string_view statement_in_title(std::string_view title) {
  static constexpr std::string_view numeric[] = {"units", "tempo", "rest", "copy", "up", "down"};
  std::string_view previous;
  size_t i = 0;
  while (i < title.size()) {
    while (i < title.size() && is_white(static_cast<unsigned char>(title[i]))) ++i;
    size_t end = i;
    while (end < title.size() && !is_white(static_cast<unsigned char>(title[end]))) ++end;
    if (end == i) break;
    const std::string_view word = title.substr(i, end - i);
    const char first = word[0];
    const bool number = is_digit(static_cast<unsigned char>(first)) ||
                        ((first == '-' || first == '+') && word.size() > 1 &&
                         is_digit(static_cast<unsigned char>(word[1])));
    if (previous == "key" && (first == '(' || first == '-' || first == ')')) return previous;
    for (std::string_view k : numeric) {
      if (previous == k && number) return k;
    }
    previous = word;
    i = end;
  }
  return {};
}

// Everything one conversion holds, made anew for each run.
struct Conversion {
  Conversion(TokenReader& r, Sink& s, MessageHandler& m, std::vector<NoteEvent>* e)
      : reader(r), sink(s), messages(m), events(e) {
    if (events != nullptr) measure_events.resize(kMaxMeasures + 1);
  }

  TokenReader& reader;
  Sink& sink;
  MessageHandler& messages;

  PitchState pitch;
  NoteState notes;
  std::string title;
  LineBuf<512> line;

  long long voice = 0;  // wide: nothing bounds the number of voices of a long input
  int measure = 1;
  long long count = 0;  // 192nds so far in the measure; wide, as nothing bounds a measure's notes
  std::optional<long long> measure_length;  // in 64ths; no value before the first "units"
  bool end_of_voice = false;
  // Whether the measure text belongs to the open measure: only a measure opened by its own
  // measure number has been collected, so only such a measure can be copied later.
  bool measure_opened = false;

  // Places, for the messages: that of the title or token being handled, pointed to as the
  // tokens go by (a token's buffer holds it while the one after it is read ahead), or kept in
  // `held` where a statement reads on past its arguments; and where the open measure began:
  // its measure number, else the first token read after the measure before it was closed
  // (kept only where places are shown).
  const Position* at = nullptr;
  Position held;
  Position measure_began;
  bool measure_begins = true;

  // The notes written, for a caller that draws the piece; and for each measure filed in the
  // voice, the events collected for it, so that "copy" repeats them as it repeats its text.
  std::vector<NoteEvent>* events;
  struct EventRange {
    size_t first = 0;
    size_t last = 0;
  };
  std::vector<EventRange> measure_events;
  size_t events_collected_from = 0;

  void write_line() { tavix_out(sink, line.view()); }

  // A warning: the conversion goes on. One that the program prints comes after the output
  // that led to it. Out of line, as warnings are rare: the statements that give them stay small.
  [[gnu::noinline]] void warn(Code code, std::string_view word = {}, long long number = 0,
                              long long other = 0) {
    Failure f;
    f.code = code;
    f.word = word;
    f.number = number;
    f.other = other;
    if (at != nullptr) f.at = *at;
    f.measure = measure;
    f.voice = voice;
    Message m = make_message(f);
    if (code == Code::kUncheckedMeasure) m.hints.push_back(began_here());
    if (code == Code::kSuspectTitle) m.hints.push_back({"the title ends here", reader.title_end});
    if (m.printed) flush_output(sink);
    messages.report(std::move(m));
  }

  Hint began_here() const {
    return {"measure " + std::to_string(measure) + " began here", measure_began};
  }

  const Token& read_argument() {
    const Token& arg = read_token(reader);
    at = &arg.at;
    return arg;
  }

  int read_int_arg(std::string_view keyword) {
    const Token& arg = read_argument();
    int value;
    if (!to_int(arg.view(), value)) fail_word(Code::kNumberOutOfRange, arg.view(), keyword);
    return value;
  }

  void check_measure_limit() {
    if (measure > kMaxMeasures) fail(Code::kTooManyMeasures);
  }

  long long expected_count() {
    if (!measure_length) fail(Code::kNoUnits);
    return 3 * *measure_length;
  }

  void close_measure() {
    ++measure;
    measure_opened = false;
    measure_begins = true;
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
    measure_begins = true;
    reset_for_voice(notes);
    clear_store(sink);
    if (events != nullptr) measure_events.assign(measure_events.size(), EventRange{});
  }

  void bar_line() {
    const long long expected = expected_count();
    if (count != expected) fail(Code::kMeasureCount, count, expected);
    stop_collecting(sink);
    write_end_of_measure();
    if (measure_opened) {
      file_measure_text(sink, measure);
      file_events(events_collected_from);
    } else {
      file_unopened_measure(sink, measure);
      file_events(events != nullptr ? events->size() : 0);
    }
    count = 0;
    clear_sticky_accid(notes);
    close_measure();
  }

  void key_signature() {
    const Token& arg = read_argument();
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
      fail_word(Code::kBadKey, sig);
    }
    pitch.cur_key_sharp_flat = sig[0] == '(' ? 1 : -1;
    pitch.cur_key_num_sharp_flat = n;
  }

  // Keeps the place of the statement being handled, for its messages after its arguments.
  void hold_place() {
    held = *at;
    at = &held;
  }

  void whole_measure_rests() {
    hold_place();
    const Position* statement = at;
    if (count != 0) warn(Code::kRestInFullMeasure);
    const int n = read_int_arg("rest");
    at = statement;
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
      file_events(events != nullptr ? events->size() : 0);
      close_measure();
    }
  }

  void copy_measures() {
    hold_place();
    const Position* statement = at;
    const int first = read_int_arg("copy");
    const int last = read_int_arg("copy");
    at = statement;
    // Each copy is filed before the next is taken, so a range that reaches the current
    // measure repeats copies made by this same statement.
    for (long long i = first; i <= last; ++i) {
      check_measure_limit();
      const int from = static_cast<int>(i);
      switch (stored_state(sink, from)) {
        case StoredMeasure::kText:
          break;
        case StoredMeasure::kNone:
          fail(Code::kCopyNotWritten, from);
        case StoredMeasure::kUnopened:
          fail(Code::kCopyNotOpened, from);
        case StoredMeasure::kTooLong:
          fail(Code::kCopyTooLong, from);
      }
      replay_measure(sink, from);
      file_copy_of_measure(sink, from, measure);
      copy_events(from);
      write_end_of_measure();
      close_measure();
    }
  }

  void tempo() {
    const int n = read_int_arg("tempo");
    if (n > kMaxTempo) fail(Code::kTempoTooHigh, n);
    if (n == 0) fail(Code::kTempoZero);
    if (n < 0) warn(Code::kNegativeTempo, {}, n, kTempoDividend / n);
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
    if (value != measure) fail_word(Code::kMeasureNumber, token.view(), {}, value);
    empty_measure_text(sink);
    start_collecting(sink);
    measure_opened = true;
    measure_began = token.at;  // where the writer began the measure
    if (events != nullptr) events_collected_from = events->size();
  }

  void note_or_rest(const Token& token) {
    NoteContext ctx{notes, pitch, reader};
    NoteLine note_line{open_line(sink, kNoteLineMax)};
    const int filled = parse_note(ctx, token, note_line);
    if (filled != 0) {
      if (events != nullptr && note_line.letter != 'r') add_event(token, note_line, filled);
      count += filled;
      close_line(sink, note_line.len);
    } else if (note_line.len != 0) {
      warn_no_length(token);
    }
  }

  // A note formed, yet of no length: a note value above 64, or a repeat of such a note.
  void warn_no_length(const Token& token) {
    const bool own_value = token.view().find(',') == std::string_view::npos;
    warn(Code::kNoteWithoutLength, token.view(), own_value);
  }

  void end_voice() {
    if (count != 0) warn(Code::kUncheckedMeasure);
    tavix_out(sink, "}\n\n");
    end_of_voice = true;
  }

  [[gnu::noinline]] void add_event(const Token& token, const NoteLine& n, int filled) {
    NoteEvent e;
    e.voice = voice;
    e.measure = measure;
    e.start = count;
    e.length = filled;
    e.measure_length = measure_length ? 3 * *measure_length : 0;
    e.letter = n.letter;
    e.accidental = n.accid;
    e.octave = n.octave - '0';
    e.semitone = semitone_of(n.letter, n.accid, n.octave);
    e.at = token.at;
    e.token_length = static_cast<int>(token.len);
    events->push_back(e);
  }

  // Files with the measure just closed the events written since `from`.
  void file_events(size_t from) {
    if (events == nullptr) return;
    measure_events[static_cast<size_t>(measure)] = {from, events->size()};
  }

  // The events of stored measure `from`, again, as those of the measure being written.
  void copy_events(int from) {
    if (events == nullptr) return;
    const EventRange r = measure_events[static_cast<size_t>(from)];
    const size_t first = events->size();
    for (size_t k = r.first; k < r.last; ++k) {
      NoteEvent e = (*events)[k];
      e.measure += measure - from;
      events->push_back(e);
    }
    measure_events[static_cast<size_t>(measure)] = {first, events->size()};
  }

  void statement(const Token& token) {
    at = &token.at;
    if (reader.count_lines && measure_begins) {  // only where places are shown
      measure_began = token.at;
      measure_begins = false;
    }
    switch (parse_token(token)) {
      case TokenKind::TOK_BAR:
        bar_line();
        break;
      case TokenKind::TOK_END:
        end_voice();
        break;
      case TokenKind::TOK_UNITS:
        measure_length = 2LL * read_int_arg("units");
        line.clear().str("$time_sig ").num(*measure_length).str("/64\n");
        write_line();
        break;
      case TokenKind::TOK_TREBLE:
        pitch.cur_clef = 0;
        break;
      case TokenKind::TOK_ALTO:
        pitch.cur_clef = 1;
        break;
      case TokenKind::TOK_TENOR:
        pitch.cur_clef = 2;
        break;
      case TokenKind::TOK_BASS:
        pitch.cur_clef = 3;
        break;
      case TokenKind::TOK_KEY:
        key_signature();
        break;
      case TokenKind::TOK_REST:
        whole_measure_rests();
        break;
      case TokenKind::TOK_COPY:
        copy_measures();
        break;
      case TokenKind::TOK_UP:
        notes.cur_transposition = read_int_arg("up");
        break;
      case TokenKind::TOK_DOWN:
        notes.cur_transposition = -static_cast<long long>(read_int_arg("down"));
        break;
      case TokenKind::TOK_TEMPO:
        tempo();
        break;
      case TokenKind::TOK_ARTIC_L:
      case TokenKind::TOK_ARTIC_E:
      case TokenKind::TOK_ARTIC_H:
      case TokenKind::TOK_ARTIC_Q:
      case TokenKind::TOK_ARTIC_S:
        notes.cur_artic = artic_divisor(token.text[0]);
        break;
      case TokenKind::TOK_NUMBER:
        measure_number(token);
        break;
      case TokenKind::TOK_UPPER:
        break;  // words such as FINE are passed over
      case TokenKind::TOK_NOTE:
        note_or_rest(token);
        break;
    }
  }

  // A title whose '/' is missing swallows what follows it, up to the next '/'.
  void check_title() {
    std::string_view t = title;
    while (!t.empty() && is_white(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    const std::string_view word = statement_in_title(t);
    if (t.find('\n') == std::string_view::npos && word.empty()) return;
    warn(Code::kSuspectTitle, word);
  }

  bool read_next_title() {
    const bool read = read_title(reader, title) == 1;
    held = reader.title_at;
    at = &held;
    return read;
  }

  void convert() {
    if (!read_next_title()) fail(Code::kNoTitle);
    check_title();
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
      if (!read_next_title()) break;
      check_title();
    } while (true);
    tavix_out(sink, "}\n\n");
  }

  // Adds to a failure what the conversion knows of where it happened, and the hints that
  // help to fix it.
  Message complete(Failure f) const {
    if (!has_place(f.code)) return make_message(f);
    if (!f.at && at != nullptr) f.at = *at;
    f.measure = voice > 0 ? measure : 0;
    f.voice = voice;
    Message m = make_message(f);
    if (f.code == Code::kMeasureCount) {
      const long long missing = f.other - f.number;
      m.hints.push_back({"measure " + std::to_string(measure) + " is " +
                             (missing > 0 ? "short by " : "long by ") +
                             as_note_values(missing > 0 ? missing : -missing) + " (" +
                             std::to_string(missing > 0 ? missing : -missing) + " 192nds)",
                         std::nullopt});
      m.hints.push_back(began_here());
    } else if (f.code == Code::kMeasureNumber) {
      m.hints.push_back(began_here());
    }
    return m;
  }
};

// A message without a place in the input.
Message unplaced(Code code) {
  Failure f;
  f.code = code;
  return make_message(f);
}

}  // namespace

int convert_source(ByteSource& source, Sink& sink, MessageHandler& messages, bool lines,
                   std::vector<NoteEvent>* events) {
  std::optional<Message> error;
  try {
    TokenReader reader(source, lines);
    Conversion conversion(reader, sink, messages, events);
    try {
      conversion.convert();
      flush_output(sink);
      return 0;
    } catch (const RunError& e) {
      error = conversion.complete(e.failure);
    }
  } catch (const RunError& e) {
    error = make_message(e.failure);  // writing a warning failed, or the output at the end
  } catch (const std::bad_alloc&) {
    error = unplaced(Code::kOutOfMemory);
  }
  try {
    flush_output(sink);  // what was written before the error stays written
  } catch (const RunError&) {
    // The first error is the one worth reporting.
  }
  const int status = error->status;
  messages.report(std::move(*error));
  return status;
}

}  // namespace pn2tavix::detail
